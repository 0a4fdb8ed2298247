#include "diagram/sample_table.h"

#include <algorithm>

namespace ternova {

namespace {

// A fresh array of `count` rows: zero-filled by its allocator, surviving rows copied over.
template <typename Rows>
void ResizeRows(Rows& rows, std::size_t count) {
  if (rows.size() == count) return;
  Rows fresh(count);
  std::copy_n(rows.begin(), std::min(rows.size(), count), fresh.begin());
  rows.swap(fresh);
}

}  // namespace

void SampleTable::Resize(int32_t count) {
  const auto rows = static_cast<std::size_t>(count) + 1;
  ResizeRows(SampleValues, rows);
  ResizeRows(SamplePoints, rows);
  SampleCount = count;
}

}  // namespace ternova
