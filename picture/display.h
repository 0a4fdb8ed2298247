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

// A box of logical units or pixels, ends included.
struct DisplayBox {
  int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// A magnified view of the shown picture: positions are `scale` times as far apart as at the
// whole view, and the image shows from pixel (x, y) of the magnified picture on. The offset
// is whole pixels, so a view shows exactly the pixels of the magnified picture it crops.
// Sizes (symbols, pens, text) stay as at the whole view.
struct DisplayZoom {
  static constexpr double kMax = 64;
  double scale = 1;
  int64_t x = 0, y = 0;
  bool Whole() const { return scale == 1 && x == 0 && y == 0; }
  friend bool operator==(const DisplayZoom&, const DisplayZoom&) = default;
};

// Logical units of a picture and pixels of the image it is shown in: the picture fills the
// image but for its last row and column, (0, 0)-(w, h) onto (0, 0)-(iw - 1, ih - 1). Every
// place the display maps coordinates goes through one of these.
class DisplayMapping {
 public:
  DisplayMapping() = default;
  // A picture of w x h units shown in a control of cw x ch pixels, by the display rule.
  static DisplayMapping ForControl(int32_t w, int32_t h, int32_t cw, int32_t ch, const DisplayZoom& zoom = {}) {
    return ForImage(w, h, FitPicture(w, h, cw, ch), zoom);
  }
  // A picture of w x h units as it was played into an image of `image` pixels.
  static DisplayMapping ForImage(int32_t w, int32_t h, DisplayRect image, const DisplayZoom& zoom = {}) {
    DisplayMapping m;
    m.w_ = w;
    m.h_ = h;
    m.image_ = image;
    m.sx_ = w > 0 ? (image.width - 1.0) / w : 1;
    m.sy_ = h > 0 ? (image.height - 1.0) / h : 1;
    m.zoom_ = zoom;
    m.zx_ = m.sx_ * zoom.scale;
    m.zy_ = m.sy_ * zoom.scale;
    return m;
  }

  // The pixels the picture is shown in, anchored at the control's top-left corner.
  const DisplayRect& Image() const { return image_; }
  // Whether any of the picture can be seen: an image of one pixel's width has no scale.
  bool Shows() const { return w_ > 0 && h_ > 0 && image_.width >= 2 && image_.height >= 2; }
  // Pixels per logical unit between positions; the device size the picture is played at.
  double ScaleX() const { return zx_; }
  double ScaleY() const { return zy_; }
  // Pixels per logical unit of a size (a symbol's radius, a pen, a font), which zooming keeps.
  double SizeScaleX() const { return sx_; }
  double SizeScaleY() const { return sy_; }
  double DeviceWidth() const { return image_.width - 1.0; }
  double DeviceHeight() const { return image_.height - 1.0; }
  const DisplayZoom& Zoom() const { return zoom_; }
  // Where logical (0, 0) lies, in pixels of the image.
  double OriginX() const { return -static_cast<double>(zoom_.x); }
  double OriginY() const { return -static_cast<double>(zoom_.y); }

  double PixelX(double x) const { return x * zx_ - static_cast<double>(zoom_.x); }
  double PixelY(double y) const { return y * zy_ - static_cast<double>(zoom_.y); }
  // The logical point a pixel shows: the one at its centre.
  double LogicalAtPixelX(int32_t px) const {
    return (px + 0.5 + static_cast<double>(zoom_.x)) * w_ / ((image_.width - 1) * zoom_.scale);
  }
  double LogicalAtPixelY(int32_t py) const {
    return (py + 0.5 + static_cast<double>(zoom_.y)) * h_ / ((image_.height - 1) * zoom_.scale);
  }
  bool InImage(int32_t px, int32_t py) const { return px >= 0 && py >= 0 && px < image_.width && py < image_.height; }

  // The pixels a logical box touches (outward to whole pixels).
  DisplayBox PixelsOf(double left, double top, double right, double bottom) const;
  // The logical units whose points a box of pixels shows (outward to whole units).
  DisplayBox LogicalOf(const DisplayBox& pixels) const;
  // The logical units the whole image shows.
  DisplayBox Shown() const { return LogicalOf({0, 0, image_.width - 1, image_.height - 1}); }

  // The view magnified to `scale` (clamped to 1..DisplayZoom::kMax) about pixel (px, py) of the
  // image, which goes on showing the point it shows now; kept within the picture.
  DisplayZoom ZoomedAbout(double scale, double px, double py) const;
  // The view moved by (dx, dy) pixels (the picture follows the pointer), kept within the picture.
  DisplayZoom Panned(int64_t dx, int64_t dy) const;
  // The same logical point at the image's top-left corner, at the same scale, for a picture of
  // w x h units in a control of cw x ch pixels.
  DisplayZoom ZoomFor(int32_t w, int32_t h, int32_t cw, int32_t ch) const;

 private:
  DisplayZoom Within(DisplayZoom zoom) const;

  int32_t w_ = 0, h_ = 0;
  DisplayRect image_;
  double sx_ = 1, sy_ = 1;
  DisplayZoom zoom_;
  double zx_ = 1, zy_ = 1;
};

}  // namespace ternova
