#include "picture/display.h"

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

}  // namespace ternova
