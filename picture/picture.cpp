#include "picture/picture.h"

#include <cstdlib>

namespace ternova {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t product = static_cast<int64_t>(a) * b;
  const int64_t half = std::llabs(c) / 2;
  // Round the magnitude, halves away from zero, then restore the sign.
  const bool negative = (product < 0) != (c < 0);
  const int64_t q = (std::llabs(product) + half) / std::llabs(c);
  return static_cast<int32_t>(negative ? -q : q);
}

void DiagramPicture::FixFrame(const ScreenInfo& screen) {
  if (frame_.width != 0 || frame_.height != 0) return;
  reference_ = screen;
  frame_.width = MulDiv(width_, screen.widthMm * 100, screen.widthPx);
  frame_.height = MulDiv(height_, screen.heightMm * 100, screen.heightPx);
}

}  // namespace ternova
