#pragma once
#include <cstdint>

namespace ternova {

struct DisplayRect {
  int32_t width = 0, height = 0;  // anchored at the control's top-left corner
  friend bool operator==(const DisplayRect&, const DisplayRect&) = default;
};

// Where a picture of w x h logical units goes in a control of cw x ch pixels: shrunk to fit
// keeping its aspect ratio, never enlarged. The picture is then played into
// (0, 0, width - 1, height - 1).
DisplayRect FitPicture(int32_t w, int32_t h, int32_t cw, int32_t ch);

}  // namespace ternova
