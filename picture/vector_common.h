#pragma once
// What the PDF and SVG writers share: decimal text into a ByteWriter, and the table of disc
// kinds, so each kind of filled ellipse is defined once in the file and placed many times.
#include <cstdint>
#include <unordered_map>
#include <variant>
#include <vector>

#include "picture/byte_writer.h"
#include "picture/picture.h"
#include "picture/picture_file.h"

namespace ternova {

// The whole file a streaming writer produces, gathered in memory.
std::vector<uint8_t> EncodeWhole(const PictureSnapshot& picture,
                                 void (*write)(const PictureSnapshot&, const ByteSink&));

// Writes `v` in decimal.
void Decimal(ByteWriter& out, int64_t v);
// Writes `halves` / 2 in decimal: "617" or "617.5".
void HalfDecimal(ByteWriter& out, int64_t halves);
// Calls `polygon(first, count)` for each polygon of `set` with corners, the corners being
// set.points[first, first + count); a set that promises more corners than it has ends there.
template <typename Polygon>
void ForEachPolygon(const PolygonSet& set, Polygon&& polygon) {
  size_t at = 0;
  for (uint32_t n : set.counts) {
    if (n > set.points.size() - at) return;
    if (n > 0) polygon(at, size_t{n});
    at += n;
  }
}

// Writes `v` / 255 with up to four decimals ("0", "1", "0.502"), a colour channel for PDF.
void Channel(ByteWriter& out, uint8_t v);

// One kind of ellipse: its box's size and the brush and pen it is drawn with.
struct EllipseKind {
  int64_t width = 0, height = 0;  // always >= 0
  op::Brush brush{};
  op::Pen pen{};
  friend bool operator==(const EllipseKind& a, const EllipseKind& b) {
    return a.width == b.width && a.height == b.height && a.brush.style == b.brush.style &&
           a.brush.colour == b.brush.colour && a.pen.style == b.pen.style && a.pen.colour == b.pen.colour &&
           a.pen.width == b.pen.width;
  }
};

// Every kind of ellipse a picture draws, numbered in the order first drawn. A diagram has two
// or three (the blue symbols, the red highlighted one), found through a one-entry cache; any
// other picture through a hash table.
class EllipseKinds {
 public:
  explicit EllipseKinds(const PictureContent& content);
  const std::vector<EllipseKind>& All() const { return kinds_; }
  // Index of the kind; the kind must be one the picture draws.
  size_t Find(const EllipseKind& kind);
  static EllipseKind Of(const op::Ellipse& e, const op::Brush& brush, const op::Pen& pen);

 private:
  struct Hash {
    size_t operator()(const EllipseKind& k) const;
  };
  std::vector<EllipseKind> kinds_;
  std::unordered_map<EllipseKind, size_t, Hash> index_;
  size_t last_ = 0;
};

// The drawing state every operation list starts with (as the surface and playback assume).
inline constexpr op::Brush kInitialBrush{FillStyle::Solid, kWhite};
inline constexpr op::Pen kInitialPen{FillStyle::Solid, kBlack, 1};

// The drawing state a text-format writer tracks while it walks the operations, and the walk
// itself. `Writer` draws: EndPath() before anything that is not a line, LineTo(x, y) for a line
// with a solid pen (from (x_, y_)), PlaceEllipse(e, kind), DrawRectangle(r), DrawPolygons(set)
// and Text(t, text); the state operations only change the members below.
template <typename Writer>
class VectorWalk {
 protected:
  template <typename Op>
  void Walk(const PictureContent& c, EllipseKinds& kinds, const Op& o) {
    Writer& w = static_cast<Writer&>(*this);
    Overloaded{
            [&](const op::Ellipse& e) {
              w.EndPath();
              w.PlaceEllipse(e, kinds.Find(EllipseKinds::Of(e, brush_, pen_)));
            },
            [&](const op::LineTo& l) {
              if (pen_.style == FillStyle::Solid) w.LineTo(l.x, l.y);
              x_ = l.x;
              y_ = l.y;
            },
            [&](const op::MoveTo& m) {
              x_ = m.x;
              y_ = m.y;
            },
            [&](const op::Brush& b) { brush_ = b; },
            [&](const op::Pen& pen) {
              w.EndPath();
              pen_ = pen;
            },
            [&](const op::Font& f) { font_ = f.font < c.fonts.size() ? &c.fonts[f.font] : nullptr; },
            [&](const op::Rectangle& r) {
              w.EndPath();
              w.DrawRectangle(r);
            },
            [&](const op::TextOut& t) {
              w.EndPath();
              if (t.text < c.texts.size()) w.Text(t, c.texts[t.text]);
            },
            [&](const op::Polygons& g) {
              w.EndPath();
              const PolygonSet* set = PolygonsOf(c, g);
              if (set && !set->counts.empty()) w.DrawPolygons(*set);
            },
    }(o);
  }

  op::Brush brush_ = kInitialBrush;
  op::Pen pen_ = kInitialPen;
  const FontSpec* font_ = nullptr;
  int32_t x_ = 0, y_ = 0;
};

}  // namespace ternova
