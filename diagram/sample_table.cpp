#include "diagram/sample_table.h"

#include <algorithm>

namespace ternova {

namespace {

// A fresh array of `count` rows: zero-filled by its allocator, surviving rows copied over.
template <typename Rows>
Rows Resized(const Rows& rows, std::size_t count) {
  Rows fresh(count);
  std::copy_n(rows.begin(), std::min(rows.size(), count), fresh.begin());
  return fresh;
}

}  // namespace

void SampleTable::Resize(int32_t count) {
  const auto rows = static_cast<std::size_t>(count) + 1;
  if (SampleValues.size() == rows && SamplePoints.size() == rows) {
    SampleCount = count;
    return;
  }
  // Both arrays are built before either is replaced: out of memory leaves the table as it was.
  auto values = Resized(SampleValues, rows);
  auto points = Resized(SamplePoints, rows);
  SampleValues.swap(values);
  SamplePoints.swap(points);
  SampleCount = count;
}

}  // namespace ternova
