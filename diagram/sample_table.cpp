#include "diagram/sample_table.h"

namespace ternova {

void SampleTable::Resize(int32_t count) {
  const auto rows = static_cast<std::size_t>(count) + 1;
  const bool shrinking = rows < SampleValues.size();
  SampleValues.resize(rows);
  SamplePoints.resize(rows);
  if (shrinking) {
    SampleValues.shrink_to_fit();
    SamplePoints.shrink_to_fit();
  }
  SampleCount = count;
}

}  // namespace ternova
