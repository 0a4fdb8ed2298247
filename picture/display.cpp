#include "picture/display.h"

#include <algorithm>
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
  return {static_cast<int64_t>(std::floor(PixelX(left))), static_cast<int64_t>(std::floor(PixelY(top))),
          static_cast<int64_t>(std::ceil(PixelX(right))), static_cast<int64_t>(std::ceil(PixelY(bottom)))};
}

DisplayBox DisplayMapping::LogicalOf(const DisplayBox& pixels) const {
  // A pixel spans [p, p + 1) of the device.
  const double ox = static_cast<double>(zoom_.x), oy = static_cast<double>(zoom_.y);
  return {static_cast<int64_t>(std::floor((pixels.x0 + ox) / zx_)), static_cast<int64_t>(std::floor((pixels.y0 + oy) / zy_)),
          static_cast<int64_t>(std::ceil((pixels.x1 + 1 + ox) / zx_)),
          static_cast<int64_t>(std::ceil((pixels.y1 + 1 + oy) / zy_))};
}

DisplayZoom DisplayMapping::Within(DisplayZoom zoom) const {
  zoom.scale = std::clamp(zoom.scale, 1.0, DisplayZoom::kMax);
  // The magnified picture spans (0, 0)-(device * scale): the image never shows past its edges.
  auto clampAxis = [&](int64_t offset, double device) {
    const auto most = static_cast<int64_t>(std::floor(device * (zoom.scale - 1)));
    return std::clamp<int64_t>(offset, 0, std::max<int64_t>(most, 0));
  };
  zoom.x = clampAxis(zoom.x, DeviceWidth());
  zoom.y = clampAxis(zoom.y, DeviceHeight());
  if (zoom.scale == 1) zoom.x = zoom.y = 0;
  return zoom;
}

DisplayZoom DisplayMapping::ZoomedAbout(double scale, double px, double py) const {
  DisplayZoom zoom;
  zoom.scale = std::clamp(scale, 1.0, DisplayZoom::kMax);
  const double k = zoom.scale / zoom_.scale;
  zoom.x = std::llround((px + static_cast<double>(zoom_.x)) * k - px);
  zoom.y = std::llround((py + static_cast<double>(zoom_.y)) * k - py);
  return Within(zoom);
}

DisplayZoom DisplayMapping::Panned(int64_t dx, int64_t dy) const {
  DisplayZoom zoom = zoom_;
  zoom.x -= dx;
  zoom.y -= dy;
  return Within(zoom);
}

DisplayZoom DisplayMapping::ZoomFor(int32_t w, int32_t h, int32_t cw, int32_t ch) const {
  const DisplayMapping other = ForControl(w, h, cw, ch);
  DisplayZoom zoom = zoom_;
  if (zx_ > 0 && zy_ > 0) {
    zoom.x = std::llround(static_cast<double>(zoom_.x) / zx_ * other.sx_ * zoom.scale);
    zoom.y = std::llround(static_cast<double>(zoom_.y) / zy_ * other.sy_ * zoom.scale);
  }
  return other.Within(zoom);
}

}  // namespace ternova
