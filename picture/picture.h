#pragma once
// The recorded vector picture: a list of small drawing operations that every consumer (screen
// playback, EMF, WMF, PDF, SVG, Qt's image writers) walks in order.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "base/big_allocator.h"

namespace ternova {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kGrey{128, 128, 128};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kRed{255, 0, 0};

enum class FillStyle : uint8_t { Solid, None };

// The reference device the picture is recorded against: the screen.
struct ScreenInfo {
  int32_t widthPx = 1280, heightPx = 1024;
  int32_t widthMm = 320, heightMm = 256;
  int32_t dpi = 96;
  friend bool operator==(const ScreenInfo&, const ScreenInfo&) = default;
};

struct FontSpec {
  std::string face;     // UTF-8, as asked for; readers substitute what they have
  int32_t height = 0;   // logical units; negative: character height without internal leading
  int32_t weight = 400;
  bool japanese = false;  // Shift-JIS character set (128) rather than the default one (1)
  Rgb colour;
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

// One text drawn by TextOut: its characters and the advance of each one in logical units,
// so every writer places the glyphs where the recording measured them.
struct PictureText {
  std::u16string chars;           // UTF-16, as the metafile text records hold it
  std::vector<int32_t> advances;  // one per UTF-16 unit (0 for a low surrogate)
  int32_t width = 0;              // sum of advances
};

// A box in logical units, ends included.
struct LogicalBounds {
  int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool Meets(const LogicalBounds& o) const { return x0 <= o.x1 && o.x0 <= x1 && y0 <= o.y1 && o.y0 <= y1; }
  friend bool operator==(const LogicalBounds&, const LogicalBounds&) = default;
};

struct PolygonSet;

// What a drawing operation's bounds depend on besides itself, as playback stands before it.
struct BoundsState {
  int32_t currentX = 0, currentY = 0;  // the point a LineTo starts from
  int32_t penWidth = 0;                // 0 with no pen
  int32_t fontHeight = 0;              // logical, as FontSpec::height
  const PictureText* text = nullptr;   // the text a TextOut draws
  const PolygonSet* polygons = nullptr;         // the set a Polygons draws
};

namespace detail {
inline LogicalBounds Around(int64_t xa, int64_t ya, int64_t xb, int64_t yb, int64_t margin) {
  return {std::min(xa, xb) - margin, std::min(ya, yb) - margin, std::max(xa, xb) + margin,
          std::max(ya, yb) + margin};
}
// Half a pen's width and a unit for the rounding of a scaled replay.
inline int64_t PenMargin(const BoundsState& s) { return s.penWidth / 2 + 1; }
}  // namespace detail

namespace op {
// State changes: recorded only when the state really changes before a drawing operation.
struct Brush { FillStyle style; Rgb colour; };
struct Pen { FillStyle style; Rgb colour; int32_t width; };
struct Font { uint32_t font; };  // index into PictureContent::fonts
// A brush change inside a run of discs of several colours (see DiscColours), as the metafile
// writers are given it: such a brush comes again and again, so they keep it.
struct RunBrush : Brush {};
// Drawing operations, coordinates in logical units exactly as given to the surface.
// Each can say the box it may paint (a little more, never less), so a replay into a clip
// passes over what lies outside it.
struct Rectangle {
  int32_t x1, y1, x2, y2;
  LogicalBounds Bounds(const BoundsState& s) const { return detail::Around(x1, y1, x2, y2, detail::PenMargin(s)); }
};
struct Ellipse {
  int32_t x1, y1, x2, y2;
  LogicalBounds Bounds(const BoundsState& s) const { return detail::Around(x1, y1, x2, y2, detail::PenMargin(s)); }
};
struct MoveTo { int32_t x, y; };
struct LineTo {
  int32_t x, y;
  LogicalBounds Bounds(const BoundsState& s) const {
    return detail::Around(s.currentX, s.currentY, x, y, detail::PenMargin(s));
  }
};
// Opaque on a box of the current brush colour while the brush is solid, else transparent.
struct TextOut {
  int32_t x, y;
  uint32_t text;  // index into PictureContent::texts
  LogicalBounds Bounds(const BoundsState& s) const {
    // Glyphs may reach past their advances and below the character height: a generous box.
    const int64_t h = std::abs(int64_t{s.fontHeight});
    const int64_t w = s.text ? s.text->width : 0;
    return {int64_t{x} - h, int64_t{y} - h, int64_t{x} + w + h, int64_t{y} + 3 * h};
  }
};
// A run of discs drawn one after the other as ellipses; see DiscRun.
struct Discs { uint32_t run; };  // index into PictureContent::runs
// Closed polygons filled with the brush and outlined with the pen, all in one operation, as the
// metafiles' PolyPolygon draws them; see PolygonSet.
struct Polygons {
  uint32_t set;  // index into PictureContent::polygons
  LogicalBounds Bounds(const BoundsState& s) const;
};
}  // namespace op

using PictureOp = std::variant<op::Brush, op::Pen, op::Font, op::Rectangle, op::Ellipse, op::MoveTo,
                               op::LineTo, op::TextOut, op::Discs, op::Polygons>;

struct PicturePoint {
  int32_t x = 0, y = 0;
  friend bool operator==(const PicturePoint&, const PicturePoint&) = default;
};

// Polygons one after the other in `points`, polygon k having counts[k] corners. Where they
// overlap, a point is filled when an odd number of them cover it (the metafiles' ALTERNATE
// mode), or, with `winding`, when their windings round it do not cancel out.
struct PolygonSet {
  std::vector<PicturePoint> points;
  std::vector<uint32_t> counts;
  bool winding = false;
  LogicalBounds box;  // of every point; see Close()
  // Drops a last polygon left without corners and computes the box.
  void Close();
};

struct DiscCentre {
  int32_t x = 0, y = 0;
};
// A million samples' centres per face: big blocks, and no clearing before they are written.
using DiscCentres = std::vector<DiscCentre, BigScratchAllocator<DiscCentre>>;

// The box of a disc of radius `r` around `c`, clamped to 32 bits so a centre far outside the
// picture stays outside.
inline op::Ellipse DiscBox(DiscCentre c, int32_t r) {
  auto clamp = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  return {clamp(int64_t{c.x} - r), clamp(int64_t{c.y} - r), clamp(int64_t{c.x} + r), clamp(int64_t{c.y} + r)};
}

// The colour of each centre of a shared list, for runs whose discs are not all of the brush's
// colour: an index into `palette`, or kNoDisc for a centre whose disc is not drawn.
inline constexpr uint8_t kNoDisc = 255;
struct DiscColours {
  std::vector<uint8_t, BigUninitAllocator<uint8_t>> ofCentre;
  std::vector<Rgb> palette;
  // The colour of centre k, or null when it is not drawn.
  const Rgb* Of(uint32_t k) const {
    const uint8_t c = k < ofCentre.size() ? ofCentre[k] : kNoDisc;
    return c < palette.size() ? &palette[c] : nullptr;
  }
};

// Discs of one radius around centres [begin, end) of a shared, never-changing list. A diagram
// of a million samples records four of these instead of four million ellipses, and every
// recording of the same data shares the one list.
struct DiscRun {
  std::shared_ptr<const DiscCentres> centres;
  uint32_t begin = 0, end = 0;
  int32_t radius = 0;
  // Null: every disc in the brush's colour. Else each disc in its own, with a brush change
  // where the colour changes, and the brush after the run is the last disc's.
  std::shared_ptr<const DiscColours> colours = nullptr;
  // When known, a box every centre of the run lies in: a magnified view passes over a run that
  // lies wholly outside it without looking at its discs.
  std::optional<LogicalBounds> within = std::nullopt;
  size_t Size() const { return end - begin; }
};

// An imported metafile of a million samples holds four million operations: they live in big blocks.
using PictureOps = std::vector<PictureOp, BigAllocator<PictureOp>>;

struct PictureContent {
  PictureOps ops;
  std::vector<FontSpec> fonts;
  std::vector<PictureText> texts;
  std::vector<DiscRun> runs;
  // Shared: every drawing of the same density view records the same sets.
  std::vector<std::shared_ptr<const PolygonSet>> polygons;
};

// The set a Polygons operation draws; null for an index past the list.
inline const PolygonSet* PolygonsOf(const PictureContent& c, const op::Polygons& p) {
  return p.set < c.polygons.size() ? c.polygons[p.set].get() : nullptr;
}

// Calls `visit` with operations [begin, end) in order, every disc of a run as its own
// op::Ellipse: consumers draw and encode runs without knowing them, and the output is the
// same as for the ellipses one by one. A run of several colours gives an op::Brush before each
// disc whose colour differs from the one before; with `kRunBrushes` that is an op::RunBrush,
// for a writer that keeps such brushes.
template <bool kRunBrushes = false, typename Visit>
void ForEachOperation(const PictureContent& c, size_t begin, size_t end, Visit&& visit) {
  for (size_t i = begin; i < end; ++i) {
    const PictureOp& o = c.ops[i];
    if (const auto* d = std::get_if<op::Discs>(&o)) {
      if (d->run >= c.runs.size()) continue;
      const DiscRun& run = c.runs[d->run];
      const DiscCentre* centres = run.centres->data();
      if (!run.colours) {
        for (uint32_t k = run.begin; k < run.end; ++k) visit(DiscBox(centres[k], run.radius));
        continue;
      }
      // Stretch by stretch of one colour, each as tight a loop as a plain run's.
      const uint8_t* looks = run.colours->ofCentre.data();
      const auto known = static_cast<uint32_t>(std::min<size_t>(run.colours->ofCentre.size(), run.end));
      const Rgb* brush = nullptr;
      for (uint32_t k = run.begin; k < run.end;) {
        const uint8_t look = k < known ? looks[k] : kNoDisc;
        uint32_t stop = k < known ? k + 1 : run.end;
        while (stop < known && looks[stop] == look) ++stop;
        if (look < run.colours->palette.size()) {
          const Rgb* colour = &run.colours->palette[look];
          if (!brush || !(*brush == *colour)) {
            if constexpr (kRunBrushes) visit(op::RunBrush{{FillStyle::Solid, *colour}});
            else visit(op::Brush{FillStyle::Solid, *colour});
            brush = colour;
          }
          for (uint32_t j = k; j < stop; ++j) visit(DiscBox(centres[j], run.radius));
        }
        k = stop;
      }
    } else {
      std::visit(
          [&](const auto& v) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(v)>, op::Discs>) visit(v);
          },
          o);
    }
  }
}
template <bool kRunBrushes = false, typename Visit>
void ForEachOperation(const PictureContent& c, Visit&& visit) {
  ForEachOperation<kRunBrushes>(c, 0, c.ops.size(), std::forward<Visit>(visit));
}

// How many operations ForEachOperation gives for `o`: a run's discs and, for one of several
// colours, its brush changes; else one.
inline size_t OperationsIn(const PictureContent& c, const PictureOp& o) {
  const auto* d = std::get_if<op::Discs>(&o);
  if (!d) return 1;
  if (d->run >= c.runs.size()) return 0;
  const DiscRun& run = c.runs[d->run];
  if (!run.colours) return run.Size();
  size_t n = 0;
  uint8_t brush = kNoDisc;
  for (uint32_t k = run.begin; k < run.end; ++k) {
    if (!run.colours->Of(k)) continue;
    const uint8_t look = run.colours->ofCentre[k];
    n += 1 + (look != brush);
    brush = look;
  }
  return n;
}
// How many it gives in all.
size_t OperationCount(const PictureContent& c);

// The bounds of `o` as played from `state`; none for a state change, which paints nothing.
template <typename Op>
std::optional<LogicalBounds> BoundsOf(const Op& o, const BoundsState& state) {
  if constexpr (requires { o.Bounds(state); }) return o.Bounds(state);
  else return std::nullopt;
}

// Physical size of the picture in 0.01 mm.
struct Frame {
  int32_t width = 0, height = 0;
  friend bool operator==(const Frame&, const Frame&) = default;
};

// The diagram's picture: 2000 x 2000 logical units (reference-device pixels), its physical frame
// fixed at the first recording, and the content of the last completed recording. A reader that
// took Content() keeps what it took while later recordings replace the picture's own content.
class DiagramPicture {
 public:
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  void SetWidth(int32_t w) { width_ = w; }
  void SetHeight(int32_t h) { height_ = h; }

  const Frame& PhysicalFrame() const { return frame_; }
  const ScreenInfo& Reference() const { return reference_; }
  // Computes the frame from the screen the first time only; later screens change nothing.
  void FixFrame(const ScreenInfo& screen);

  std::shared_ptr<const PictureContent> Content() const { return content_; }
  bool Empty() const { return !content_; }
  void SetContent(std::shared_ptr<const PictureContent> content) { content_ = std::move(content); }

 private:
  int32_t width_ = 0, height_ = 0;
  Frame frame_;
  ScreenInfo reference_;
  std::shared_ptr<const PictureContent> content_;
};

// Integer multiply-divide, nearest with halves away from zero (as the platform's MulDiv).
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// A picture as a writer sees it: the content to encode and the sizes that go in the header.
struct PictureSnapshot {
  std::shared_ptr<const PictureContent> content;  // null: nothing recorded
  int32_t width = 2000, height = 2000;            // logical units
  Frame frame;
  ScreenInfo reference;
};

inline PictureSnapshot Snapshot(const DiagramPicture& p) {
  return {p.Content(), p.Width(), p.Height(), p.PhysicalFrame(), p.Reference()};
}

// The physical frame the file headers carry: the picture's own, or, when it has none (a
// screen that reported no size), one from the logical size at the reference screen's
// resolution, since readers divide by it.
Frame MetafileFrame(const PictureSnapshot& picture);

// The reference screen's size in mm, never zero for the same reason.
int32_t ReferenceWidthMm(const ScreenInfo& screen);
int32_t ReferenceHeightMm(const ScreenInfo& screen);

// Lambdas joined into one visitor of the operations: with std::visit, a consumer that misses an
// operation does not compile.
template <typename... F>
struct Overloaded : F... {
  using F::operator()...;
};
// Clang 14 deduces no template arguments for an aggregate without this guide.
template <typename... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace ternova
