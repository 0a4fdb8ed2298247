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
  // A file about as long as the last one fits the arrays already there: their pages are kept,
  // where fresh ones for a million rows cost more than reading the file. Rows they held beyond
  // the last file are cleared here; a much shorter file gives the memory back instead.
  const std::size_t capacity = std::min(SampleValues.capacity(), SamplePoints.capacity());
  if (rows <= capacity && rows * 2 >= capacity) {
    const std::size_t before = std::min(SampleValues.size(), SamplePoints.size());
    SampleValues.resize(rows);
    SamplePoints.resize(rows);
    if (rows > before) {
      std::fill(SampleValues.begin() + static_cast<std::ptrdiff_t>(before), SampleValues.end(), std::array<double, 5>{});
      std::fill(SamplePoints.begin() + static_cast<std::ptrdiff_t>(before), SamplePoints.end(), std::array<Point, 5>{});
    }
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
