#include "picture/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <limits>

namespace ternova {

namespace {

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// a × b / c rounded to nearest, halves away from zero, as MulDiv does, without overflowing
// for any 32-bit inputs; the result saturates.
int32_t RoundedRatio(int64_t a, int64_t b, int64_t c) {
  const long double q = static_cast<long double>(a) * static_cast<long double>(b) / static_cast<long double>(c);
  return Saturate(static_cast<int64_t>(std::clamp<long double>(std::roundl(q), -9.0e18L, 9.0e18L)));
}

// Screen size from pixels at the screen's dpi (96 if it reports none either).
int32_t MmFromPixels(int32_t px, int32_t dpi) {
  return std::max(RoundedRatio(px, 254, int64_t{dpi > 0 ? dpi : 96} * 10), 1);
}

}  // namespace

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

int32_t ReferenceWidthMm(const ScreenInfo& s) {
  return s.widthMm > 0 ? s.widthMm : MmFromPixels(s.widthPx, s.dpi);
}

int32_t ReferenceHeightMm(const ScreenInfo& s) {
  return s.heightMm > 0 ? s.heightMm : MmFromPixels(s.heightPx, s.dpi);
}

Frame MetafileFrame(const PictureSnapshot& p) {
  if (p.frame.width > 0 && p.frame.height > 0) return p.frame;
  const ScreenInfo& s = p.reference;
  auto scaled = [](int32_t logical, int32_t mm, int32_t px) {
    return px > 0 ? RoundedRatio(logical, int64_t{mm} * 100, px) : logical;
  };
  return {scaled(p.width, ReferenceWidthMm(s), s.widthPx), scaled(p.height, ReferenceHeightMm(s), s.heightPx)};
}

void PolygonSet::Close() {
  uint64_t total = 0;
  for (uint32_t n : counts) total += n;
  // A count that promises more corners than there are is cut to what there is.
  if (total > points.size()) {
    uint64_t left = points.size();
    for (uint32_t& n : counts) {
      n = static_cast<uint32_t>(std::min<uint64_t>(n, left));
      left -= n;
    }
  }
  while (!counts.empty() && counts.back() == 0) counts.pop_back();
  if (points.empty()) {
    box = {};
    return;
  }
  box = {points[0].x, points[0].y, points[0].x, points[0].y};
  for (const PicturePoint& p : points) {
    box.x0 = std::min<int64_t>(box.x0, p.x);
    box.y0 = std::min<int64_t>(box.y0, p.y);
    box.x1 = std::max<int64_t>(box.x1, p.x);
    box.y1 = std::max<int64_t>(box.y1, p.y);
  }
}

LogicalBounds op::Polygons::Bounds(const BoundsState& s) const {
  if (!s.polygons) return {INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN};  // meets nothing
  const int64_t m = detail::PenMargin(s);
  const LogicalBounds& b = s.polygons->box;
  return {b.x0 - m, b.y0 - m, b.x1 + m, b.y1 + m};
}

size_t OperationCount(const PictureContent& c) {
  size_t n = 0;
  for (const PictureOp& o : c.ops) n += OperationsIn(c, o);
  return n;
}

}  // namespace ternova
