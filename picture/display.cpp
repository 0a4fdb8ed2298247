#include "picture/display.h"

#include <cmath>

namespace ternova {

DisplayRect FitPicture(int32_t w, int32_t h, int32_t cw, int32_t ch) {
  if (w <= 0 || h <= 0) return {0, 0};
  if (w > cw || h > ch) {
    const double a = static_cast<double>(w) / h;
    if (w > h) {
      w = cw;
      h = static_cast<int32_t>(cw / a);
      if (h > ch) {
        h = ch;
        w = static_cast<int32_t>(ch * a);
      }
    } else {
      h = ch;
      w = static_cast<int32_t>(ch * a);
      if (w > cw) {
        w = cw;
        h = static_cast<int32_t>(cw / a);
      }
    }
  }
  return {w, h};
}

DisplayBox DisplayMapping::PixelsOf(double left, double top, double right, double bottom) const {
  return {static_cast<int64_t>(std::floor(left * sx_)), static_cast<int64_t>(std::floor(top * sy_)),
          static_cast<int64_t>(std::ceil(right * sx_)), static_cast<int64_t>(std::ceil(bottom * sy_))};
}

DisplayBox DisplayMapping::LogicalOf(const DisplayBox& pixels) const {
  // A pixel spans [p, p + 1) of the device.
  return {static_cast<int64_t>(std::floor(pixels.x0 / sx_)), static_cast<int64_t>(std::floor(pixels.y0 / sy_)),
          static_cast<int64_t>(std::ceil((pixels.x1 + 1) / sx_)), static_cast<int64_t>(std::ceil((pixels.y1 + 1) / sy_))};
}

}  // namespace ternova
