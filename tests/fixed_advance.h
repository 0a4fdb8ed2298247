#pragma once
// Text metrics for tests: every character the same width, so placed glyphs are easy to predict.
#include <cstdint>
#include <string_view>
#include <vector>

#include "picture/surface.h"

namespace ternova::testing {

class FixedAdvance : public TextMetrics {
 public:
  explicit FixedAdvance(int32_t advance = 30) : advance_(advance) {}
  std::vector<int32_t> Advances(const FontSpec&, std::u16string_view text) const override {
    return std::vector<int32_t>(text.size(), advance_);
  }

 private:
  int32_t advance_;
};

}  // namespace ternova::testing
