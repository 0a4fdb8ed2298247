#include "picture/qt/playback.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPolygonF>
#include <climits>
#include <cstring>
#include <cmath>
#include <algorithm>
#include <array>
#include <map>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "base/encoding.h"
#include "picture/display.h"
#include "picture/qt/qt_text_metrics.h"
#include "picture/work_budget.h"

namespace ternova {

namespace {

QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

// Where operations land on the device: a position (x, y) at (x * sx - ox, y * sy - oy), and a
// size (a disc's radius, a pen, a font) scaled by (rx, ry). A magnified view moves positions
// apart and keeps sizes, so crowds of symbols open up.
struct Placement {
  double sx = 1, sy = 1;
  double ox = 0, oy = 0;
  double rx = 1, ry = 1;
  static Placement Scaled(double sx, double sy) { return {sx, sy, 0, 0, sx, sy}; }
  static Placement Of(const DisplayMapping& m) {
    return {m.ScaleX(), m.ScaleY(), -m.OriginX(), -m.OriginY(), m.SizeScaleX(), m.SizeScaleY()};
  }
  bool Plain() const { return ox == 0 && oy == 0 && rx == sx && ry == sy; }
};

// Tiny filled discs make up nearly all of a large diagram; filling their spans straight into
// the image is many times faster than the general path and gives the same pixels a
// pixel-centre test would.
// A pixel coordinate from a whole-numbered double that may lie far outside any image: clamped
// before the conversion, which would be undefined beyond the int range.
int ToPixel(double v) { return static_cast<int>(std::clamp(v, -1e9, 1e9)); }

class DiscFiller {
 public:
  explicit DiscFiller(QPainter& painter) {
    auto* image = dynamic_cast<QImage*>(painter.device());
    if (!image || !painter.transform().isIdentity() || painter.hasClipping()) return;
    Use(image, image->rect());
  }
  // Fills only within `bounds` of `image`.
  DiscFiller(QImage& image, QRect bounds) { Use(&image, bounds & image.rect()); }
  bool Available() const { return image_ != nullptr; }

  // From now on, discs are given topmost first: each fills only the pixels no disc given before
  // it filled. Covered() tells when every pixel of the bounds is taken.
  void FillUnderneath() {
    if (!image_ || right_ < left_ || bottom_ < top_) return;
    maskWidth_ = right_ - left_ + 1;
    const int height = bottom_ - top_ + 1;
    passed_.clear();
    pixels_ = static_cast<size_t>(maskWidth_) * height;
    // Eight more bytes, all taken, so a span's bytes are read eight at a time up to the last pixel.
    mask_.assign(pixels_ + 8, 0);
    std::fill(mask_.begin() + static_cast<ptrdiff_t>(pixels_), mask_.end(), 1);
    uncovered_ = static_cast<int64_t>(pixels_);
    // Each tile counts its pixels still free, so a disc over full tiles is passed over at once.
    // One more column and row of tiles, all taken, so a small disc's box is looked up as two by
    // two tiles without a test at the edge.
    tilesWide_ = (maskWidth_ + kTile - 1) / kTile + 1;
    tiles_.assign(static_cast<size_t>(tilesWide_) * ((height + kTile - 1) / kTile + 1), 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < maskWidth_; x += kTile)
        tiles_[static_cast<size_t>(y / kTile) * tilesWide_ + x / kTile] += static_cast<uint8_t>(std::min(kTile, maskWidth_ - x));
  }
  // Back to filling every pixel, over whatever is there.
  void FillOver() {
    mask_.clear();
    tiles_.clear();
    passed_.clear();
  }
  bool Covered() const { return !mask_.empty() && uncovered_ == 0; }
  // From filling underneath to filling by order: the pixels taken so far stay as they are, and
  // each free one shows the disc latest in the drawing order (see SetOrder) of those given from
  // now on, whatever order they come in. The mask stays as it was: a disc over taken pixels
  // only is still passed over at once.
  void FillByOrder() {
    if (mask_.empty()) return;
    orders_.resize(pixels_);
    for (size_t i = 0; i < pixels_; ++i) orders_[i] = mask_[i] ? UINT32_MAX : 0;
  }
  // The place in the drawing order of the discs that follow.
  void SetOrder(uint32_t order) { order_ = order; }

  QImage* Image() const { return image_; }
  QRect Bounds() const { return QRect(QPoint(left_, top_), QPoint(right_, bottom_)); }

  // Both filling underneath over the same bounds: the pixels `lower` took and this did not
  // come from `lower`, as if its discs had been given after this one's.
  void Underlay(const DiscFiller& lower) {
    if (mask_.empty() || lower.mask_.size() != mask_.size() || lower.maskWidth_ != maskWidth_) return;
    for (int y = top_; y <= bottom_; ++y) {
      const ptrdiff_t m = static_cast<ptrdiff_t>(y - top_) * maskWidth_ - left_;
      uint32_t* row = bits_ + static_cast<ptrdiff_t>(y) * stride_;
      const uint32_t* from = lower.bits_ + static_cast<ptrdiff_t>(y) * lower.stride_;
      for (int x = left_; x <= right_; ++x) {
        if (mask_[m + x] || !lower.mask_[m + x]) continue;
        mask_[m + x] = 1;
        row[x] = from[x];
        --uncovered_;
      }
    }
  }

  void Use(QImage* image, QRect bounds) {
    if (image->format() != QImage::Format_ARGB32_Premultiplied && image->format() != QImage::Format_RGB32 &&
        image->format() != QImage::Format_ARGB32)
      return;
    image_ = image;
    bits_ = reinterpret_cast<uint32_t*>(image->bits());
    stride_ = image->bytesPerLine() / 4;
    left_ = bounds.left(), top_ = bounds.top(), right_ = bounds.right(), bottom_ = bounds.bottom();
  }

  // Discs [begin, end) of `run` from the last to the first, each as Fill would fill its box: the centre
  // and radius scaled straight from the run, which is the same arithmetic without the box.
  void FillRunBackwards(const DiscRun& run, uint32_t begin, uint32_t end, const Placement& at, Rgb colour,
                        WorkBudget* budget) {
    const DiscCentre* centres = run.centres->data();
    const double sx = at.sx, sy = at.sy;
    const double r = run.radius * at.rx;
    if (run.within) {
      // A run wholly outside the bounds, as a magnified view leaves most of them: nothing to look at.
      const LogicalBounds& b = *run.within;
      const double rx = std::abs(run.radius * at.rx) + 2, ry = std::abs(run.radius * at.ry) + 2;
      if (b.x1 * sx - at.ox + rx < left_ || b.x0 * sx - at.ox - rx > right_ || b.y1 * sy - at.oy + ry < top_ ||
          b.y0 * sy - at.oy - ry > bottom_)
        return;
    }
    const bool stamped = r > 0 && r == run.radius * at.ry && r < kStampRadius;
    // Centres within these are stamped as Fill stamps them: no clamping of the box, and well
    // inside int once scaled. Any other goes through Fill, which gives the same pixels.
    auto within = [&](double scale) {
      const double limit = std::min<double>(int64_t{INT32_MAX} - std::abs(int64_t{run.radius}) - 1, 1e9 / std::abs(scale) - 1);
      return static_cast<uint64_t>(std::max(0.0, std::floor(limit)));
    };
    const uint64_t withinX = within(sx), withinY = within(sy);
    uint32_t argb = Argb(colour);
    const DiscColours* colours = run.colours.get();
    // Around the centre's pixel, every pixel the disc can take, wherever in that pixel the
    // centre lies: where all of them are taken the disc is passed over before any more arithmetic.
    const int near = stamped ? static_cast<int>(std::floor(r + 0.5)) : 0;
    auto stampable = [&](DiscCentre c) {
      return stamped && static_cast<uint64_t>(int64_t{c.x} + static_cast<int64_t>(withinX)) <= 2 * withinX &&
             static_cast<uint64_t>(int64_t{c.y} + static_cast<int64_t>(withinY)) <= 2 * withinY;
    };
    // Most discs of a crowd are passed over before Stamp: the tiles around a centre are looked
    // up by its logical coordinates, worked out once per coordinate instead of once per disc,
    // and the bounds are copied here, where the calls below cannot be taken to change them.
    const int boundsLeft = left_, boundsTop = top_, boundsRight = right_, boundsBottom = bottom_;
    TileAxis columns, rows;
    if (stamped && !mask_.empty()) {
      columns = AxisOfTiles(sx, at.ox, near, left_, right_, 1, 1, withinX);
      rows = AxisOfTiles(sy, at.oy, near, top_, bottom_, static_cast<uint32_t>(tilesWide_), maskWidth_, withinY);
      // Where the pixels around a centre's pixel were all found taken, they stay taken: the
      // next disc there is passed over at once. The finding holds for this reach only.
      if (passed_.empty() || passedNear_ != near) passed_.assign(pixels_, 0);
      passedNear_ = near;
    }
    const uint8_t* tiles = tiles_.data();
    const ptrdiff_t tilesWide = tilesWide_;
    for (uint32_t k = end; k-- > begin && !Covered();) {
      if (budget && (k & 0xFFFF) == 0 && budget->Spent()) return;
      const DiscCentre c = centres[k];
      if (colours) {
        const Rgb* own = colours->Of(k);
        if (!own) continue;
        colour = *own;
        argb = Argb(colour);
      }
      size_t passedAt = SIZE_MAX;
      if (static_cast<uint32_t>(c.x) < columns.kind.size() && static_cast<uint32_t>(c.y) < rows.kind.size()) {
        const int kind = columns.kind[static_cast<uint32_t>(c.x)] | rows.kind[static_cast<uint32_t>(c.y)];
        if (kind & kOffBounds) continue;
        if (kind == 0) {
          const uint8_t* t = tiles + columns.first[static_cast<uint32_t>(c.x)] + rows.first[static_cast<uint32_t>(c.y)];
          if ((t[0] | t[1] | t[tilesWide] | t[tilesWide + 1]) == 0) continue;
        }
        const int32_t px = columns.pixel[static_cast<uint32_t>(c.x)], py = rows.pixel[static_cast<uint32_t>(c.y)];
        if (px >= 0 && py >= 0) {
          if (passed_[static_cast<size_t>(px + py)]) continue;
          passedAt = static_cast<size_t>(px + py);
        }
      } else if (c.x >= columns.offFrom || c.y >= rows.offFrom) {
        continue;
      }
      if (!stampable(c)) {
        Fill(DiscBox(c, run.radius), at, colour);
        continue;
      }
      const double cx = c.x * sx - at.ox, cy = c.y * sy - at.oy;
      if (!mask_.empty()) {
        const int ox = Floor(cx), oy = Floor(cy);
        const int left = std::max(boundsLeft, ox - near), top = std::max(boundsTop, oy - near);
        const int right = std::min(boundsRight, ox + near), bottom = std::min(boundsBottom, oy + near);
        if (AllTaken(left, top, right, bottom)) continue;
        if (!AnyFree(left, top, right, bottom)) {
          if (passedAt != SIZE_MAX) passed_[passedAt] = 1;
          continue;
        }
      }
      Stamp(cx, cy, r, argb);
    }
  }

  // Along one axis, for each logical coordinate from 0 on: the tiles that the pixels `near`
  // around the centre's pixel cover within the bounds [lo, hi], as AllTaken works them out.
  // `first` is the first tile times `step`; `kind` is 0 for at most two tiles, 1 for more, and
  // kOffBounds for none. Only coordinates whose discs are stamped are listed.
  struct TileAxis {
    std::vector<uint32_t> first;
    std::vector<uint8_t> kind;
    std::vector<int32_t> pixel;  // the centre's pixel within the bounds times `pixelStep`, or -1
    // Coordinates from here on have their discs wholly past the bounds' far side: a magnified
    // view leaves most of a face there.
    int64_t offFrom = INT64_MAX;
  };
  static constexpr uint8_t kOffBounds = 2;
  static TileAxis AxisOfTiles(double scale, double offset, int near, int lo, int hi, uint32_t step, int32_t pixelStep,
                              uint64_t within) {
    TileAxis axis;
    if (!(scale > 0) || hi < lo || offset < 0) return axis;
    // Beyond this a centre's pixel lies past the bounds by more than `near`.
    const double reach = (static_cast<double>(hi) + near + 2 + offset) / scale + 1;
    const auto size = static_cast<size_t>(std::min({reach, 65536.0, static_cast<double>(within) + 1}));
    if (reach <= 65536.0 && reach <= static_cast<double>(within) + 1) axis.offFrom = static_cast<int64_t>(size);
    axis.first.resize(size);
    axis.kind.resize(size);
    axis.pixel.resize(size);
    for (size_t v = 0; v < size; ++v) {
      const int o = Floor(static_cast<int32_t>(v) * scale - offset);
      axis.pixel[v] = o >= lo && o <= hi ? (o - lo) * pixelStep : -1;
      const int a = std::max(lo, o - near), b = std::min(hi, o + near);
      if (a > b) {
        axis.kind[v] = kOffBounds;
        continue;
      }
      const unsigned t0 = unsigned(a - lo) / kTile, t1 = unsigned(b - lo) / kTile;
      axis.first[v] = t0 * step;
      axis.kind[v] = t1 - t0 > 1;
    }
    return axis;
  }

  // The ellipse in the logical box (x1, y1, x2, y2), placed by `at`.
  void Fill(const op::Ellipse& e, const Placement& at, Rgb colour) {
    const uint32_t argb = Argb(colour);
    // Centre and radii from the logical box, so a circle stays exactly round when scaled.
    const double cx = (static_cast<double>(e.x1) + e.x2) / 2 * at.sx - at.ox;
    const double cy = (static_cast<double>(e.y1) + e.y2) / 2 * at.sy - at.oy;
    const double rx = std::abs(static_cast<double>(e.x2) - e.x1) / 2 * at.rx;
    const double ry = std::abs(static_cast<double>(e.y2) - e.y1) / 2 * at.ry;
    if (rx <= 0 || ry <= 0) return;
    if (rx == ry && rx < kStampRadius && std::abs(cx) < 1e9 && std::abs(cy) < 1e9) {
      Stamp(cx, cy, rx, argb);
      return;
    }
    const int top = std::max(top_, ToPixel(std::ceil(cy - ry - 0.5)));
    const int bottom = std::min(bottom_, ToPixel(std::floor(cy + ry - 0.5)));
    if (!mask_.empty()) {
      const double left = std::ceil(cx - rx - 0.5), right = std::floor(cx + rx - 0.5);
      if (left > right_ || right < left_ ||
          AllTaken(static_cast<int>(std::max<double>(left_, left)), top, static_cast<int>(std::min<double>(right_, right)), bottom))
        return;
    }
    for (int py = top; py <= bottom; ++py) {
      const double t = (py + 0.5 - cy) / ry;
      const double q = 1 - t * t;
      if (q < 0) continue;
      const double dx = rx * std::sqrt(q);
      const int left = std::max(left_, ToPixel(std::ceil(cx - dx - 0.5)));
      const int right = std::min(right_, ToPixel(std::floor(cx + dx - 0.5)));
      FillSpan(py, left, right, argb);
    }
  }

  // The polygons of `set` placed at (x sx - ox, y sy - oy), filled by the set's rule: each pixel whose centre
  // lies inside, a centre on an edge going to the side right of and below it. Polygons sharing
  // an edge work out the same crossings on it, so neighbouring cells leave no pixel between
  // them and take none twice, whichever set each belongs to.
  void FillPolygons(const PolygonSet& set, double sx, double sy, double ox, double oy, Rgb colour) {
    struct Edge {
      double xTop, yTop, slope;
      int firstRow, endRow;  // pixel rows [firstRow, endRow) whose centres the edge crosses
      int winding;
    };
    std::vector<Edge> edges;
    size_t at = 0;
    for (uint32_t n : set.counts) {
      if (n > set.points.size() - at) break;
      for (size_t k = 0; k < n; ++k) {
        const PicturePoint& p = set.points[at + k];
        const PicturePoint& q = set.points[at + (k + 1) % n];
        if (p.y == q.y) continue;
        // Ordered top first, so both polygons of a shared edge compute the same numbers.
        const bool down = p.y < q.y;
        const PicturePoint& t = down ? p : q;
        const PicturePoint& b = down ? q : p;
        const double yt = t.y * sy - oy, yb = b.y * sy - oy;
        Edge e{t.x * sx - ox, yt, (b.x - t.x) * sx / (yb - yt), ToPixel(std::ceil(yt - 0.5)), ToPixel(std::ceil(yb - 0.5)),
               down ? 1 : -1};
        e.firstRow = std::max(e.firstRow, top_);
        e.endRow = std::min(e.endRow, bottom_ + 1);
        if (e.firstRow < e.endRow) edges.push_back(e);
      }
      at += n;
    }
    if (edges.empty()) return;
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.firstRow < b.firstRow; });
    const uint32_t argb = Argb(colour);
    std::vector<const Edge*> active;
    std::vector<std::pair<double, int>> crossings;
    size_t next = 0;
    for (int y = edges.front().firstRow; y <= bottom_ && (next < edges.size() || !active.empty()); ++y) {
      while (next < edges.size() && edges[next].firstRow <= y) active.push_back(&edges[next++]);
      std::erase_if(active, [y](const Edge* e) { return e->endRow <= y; });
      if (active.empty()) {
        if (next < edges.size()) y = edges[next].firstRow - 1;
        continue;
      }
      const double centre = y + 0.5;
      crossings.clear();
      for (const Edge* e : active) crossings.emplace_back(e->xTop + (centre - e->yTop) * e->slope, e->winding);
      std::sort(crossings.begin(), crossings.end());
      int winding = 0;
      for (size_t k = 0; k + 1 < crossings.size(); ++k) {
        winding += crossings[k].second;
        const bool inside = set.winding ? winding != 0 : (k % 2 == 0);
        if (!inside) continue;
        const int left = std::max(left_, ToPixel(std::ceil(crossings[k].first - 0.5)));
        const int right = std::min(right_, ToPixel(std::ceil(crossings[k + 1].first - 0.5)) - 1);
        if (left <= right) FillSpan(y, left, right, argb);
      }
    }
  }

 private:
  static constexpr double kStampRadius = 24;
  static uint32_t Argb(Rgb c) { return 0xFF000000u | (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b; }
  // std::floor without a call into the C library, for |v| well inside int.
  static int Floor(double v) {
    const int i = static_cast<int>(v);
    return i - (v < i);
  }
  static constexpr int kTile = 8;  // 64 pixels: a tile's free count fits a byte
  std::vector<uint32_t> orders_;  // filling by order: per pixel of the bounds, the latest disc's place
  uint32_t order_ = 0;

  // A round disc is the same set of spans wherever its centre falls on the same sub-pixel
  // position: those spans are worked out once per radius and offset (in sixteenths of a
  // pixel), then copied. A diagram has a radius or two, so the last table is kept at hand.
  struct Stamp_ {
    bool built = false;
    int top = 0;                             // first row, relative to the centre's pixel
    int left = INT_MAX, right = INT_MIN;     // the outermost columns of the spans, relative
    std::vector<std::pair<int, int>> spans;  // per row: first and last column, relative
  };
  using StampTable = std::array<Stamp_, 256>;

  const Stamp_& StampFor(double r, int fx, int fy) {
    if (r != lastRadius_ || !lastTable_) {
      auto& table = stamps_[r];
      if (!table) table = std::make_unique<StampTable>();
      lastTable_ = table.get();
      lastRadius_ = r;
    }
    Stamp_& s = (*lastTable_)[static_cast<size_t>(fx * 16 + fy)];
    if (s.built) return s;
    const double cx = (fx + 0.5) / 16, cy = (fy + 0.5) / 16;
    s.top = static_cast<int>(std::ceil(cy - r - 0.5));
    const int bottom = static_cast<int>(std::floor(cy + r - 0.5));
    for (int py = s.top; py <= bottom; ++py) {
      const double t = (py + 0.5 - cy) / r;
      const double dx = r * std::sqrt(std::max(0.0, 1 - t * t));
      s.spans.emplace_back(static_cast<int>(std::ceil(cx - dx - 0.5)), static_cast<int>(std::floor(cx + dx - 0.5)));
      s.left = std::min(s.left, s.spans.back().first);
      s.right = std::max(s.right, s.spans.back().second);
    }
    s.built = true;
    return s;
  }

  void Stamp(double cx, double cy, double r, uint32_t argb) {
    const int ox = Floor(cx), oy = Floor(cy);
    const int fx = static_cast<int>((cx - ox) * 16), fy = static_cast<int>((cy - oy) * 16);
    const Stamp_& s = StampFor(r, fx, fy);
    int y = oy + s.top;
    if (s.spans.empty()) return;
    if (!mask_.empty()) {
      if (AllTaken(std::max(left_, ox + s.left), std::max(top_, y), std::min(right_, ox + s.right),
                   std::min(bottom_, y + static_cast<int>(s.spans.size()) - 1)))
        return;
      if (!AnyFree(s, ox, y)) return;
    }
    for (const auto& [a, b] : s.spans) {
      if (y >= top_ && y <= bottom_) {
        const int left = std::max(left_, ox + a), right = std::min(right_, ox + b);
        FillSpan(y, left, right, argb);
      }
      ++y;
    }
  }

  // True when every pixel of the box (within the bounds) is taken: a disc there changes nothing.
  bool AllTaken(int left, int top, int right, int bottom) const {
    if (uncovered_ == 0 || left > right || top > bottom) return true;
    // Unsigned: the box lies within the bounds, and the division becomes a shift.
    const unsigned tx0 = unsigned(left - left_) / kTile, tx1 = unsigned(right - left_) / kTile;
    const unsigned ty0 = unsigned(top - top_) / kTile, ty1 = unsigned(bottom - top_) / kTile;
    if (tx1 - tx0 <= 1 && ty1 - ty0 <= 1) {  // most discs: one test, no branch per tile
      const uint8_t* t = tiles_.data() + static_cast<size_t>(ty0) * tilesWide_ + tx0;
      return (t[0] | t[1] | t[tilesWide_] | t[tilesWide_ + 1]) == 0;
    }
    for (unsigned ty = ty0; ty <= ty1; ++ty) {
      const uint8_t* row = tiles_.data() + static_cast<size_t>(ty) * tilesWide_;
      for (unsigned tx = tx0; tx <= tx1; ++tx)
        if (row[tx]) return false;
    }
    return true;
  }

  // Whether a pixel of row `y` from `left` to `right`, all within the bounds, is still free.
  // The tiles are coarse: at a crowd's edge they stay partly free for good, and nearly every
  // disc there would be filled pixel by pixel for nothing, so the pixels are looked at first,
  // eight at a time.
  bool SpanFree(int y, int left, int right) const {
    constexpr uint64_t kAllTaken = 0x0101010101010101u;
    const uint8_t* taken = mask_.data() + static_cast<ptrdiff_t>(y - top_) * maskWidth_ + (left - left_);
    for (int n = right - left + 1; n > 0; n -= 8, taken += 8) {
      uint64_t bytes;
      std::memcpy(&bytes, taken, 8);
      const uint64_t within = n >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * n)) - 1;
      if ((bytes & within) != (kAllTaken & within)) return true;
    }
    return false;
  }
  bool AnyFree(int left, int top, int right, int bottom) const {
    for (int y = top; y <= bottom; ++y)
      if (SpanFree(y, left, right)) return true;
    return false;
  }
  // The same for the stamp's spans, its first row at `y`.
  bool AnyFree(const Stamp_& s, int ox, int y) const {
    for (const auto& [a, b] : s.spans) {
      if (y >= top_ && y <= bottom_ && SpanFree(y, std::max(left_, ox + a), std::min(right_, ox + b))) return true;
      ++y;
    }
    return false;
  }

  void FillSpan(int y, int left, int right, uint32_t argb) {
    uint32_t* row = bits_ + static_cast<ptrdiff_t>(y) * stride_;
    if (!orders_.empty()) {
      uint32_t* orders = orders_.data() + static_cast<ptrdiff_t>(y - top_) * maskWidth_ - left_;
      for (int x = left; x <= right; ++x) {
        if (orders[x] >= order_) continue;
        orders[x] = order_;
        row[x] = argb;
      }
      return;
    }
    if (mask_.empty()) {
      for (int x = left; x <= right; ++x) row[x] = argb;
      return;
    }
    uint8_t* taken = mask_.data() + static_cast<ptrdiff_t>(y - top_) * maskWidth_ - left_;
    uint8_t* tiles = tiles_.data() + static_cast<ptrdiff_t>((y - top_) / kTile) * tilesWide_;
    for (int x = left; x <= right; ++x) {
      if (taken[x]) continue;
      taken[x] = 1;
      row[x] = argb;
      --uncovered_;
      --tiles[(x - left_) / kTile];
    }
  }

  std::vector<uint8_t> mask_;  // per pixel of the bounds: 1 once taken
  std::vector<uint8_t> passed_;  // per pixel of the bounds: 1 once every pixel `passedNear_` around it is taken
  int passedNear_ = -1;
  size_t pixels_ = 0;
  int maskWidth_ = 0;
  std::vector<uint8_t> tiles_;  // per tile of the mask: pixels not yet taken
  int tilesWide_ = 0;
  int64_t uncovered_ = 0;
  std::map<double, std::unique_ptr<StampTable>> stamps_;
  StampTable* lastTable_ = nullptr;
  double lastRadius_ = -1;
  QImage* image_ = nullptr;
  uint32_t* bits_ = nullptr;
  ptrdiff_t stride_ = 0;
  int left_ = 0, top_ = 0, right_ = -1, bottom_ = -1;
};

// A stretch of operations that only fill discs with a solid brush and no outline: each pixel
// ends up the colour of the last disc over it, whatever order the discs are filled in.
struct DiscStretch {
  size_t end = 0;    // the first operation after the stretch
  size_t discs = 0;  // the discs in it, a run's counted one by one
};

// The longest such stretch from `begin`, with `brush` the brush before it (the pen is none).
DiscStretch FindDiscStretch(const PictureContent& content, size_t begin, size_t end, op::Brush brush) {
  DiscStretch s{begin, 0};
  for (; s.end < end; ++s.end) {
    const PictureOp& o = content.ops[s.end];
    if (const auto* b = std::get_if<op::Brush>(&o)) {
      if (b->style != FillStyle::Solid) break;
      brush = *b;
    } else if (std::holds_alternative<op::Ellipse>(o)) {
      if (brush.style != FillStyle::Solid) break;
      ++s.discs;
    } else if (const auto* d = std::get_if<op::Discs>(&o)) {
      if (brush.style != FillStyle::Solid) break;
      if (d->run < content.runs.size()) s.discs += content.runs[d->run].Size();
    } else {
      break;
    }
  }
  return s;
}

// Fills the discs of operations [begin, end), a DiscStretch starting with `brush`, numbered
// [first, last) counting from the last one drawn, that one first, each only where no disc
// before it in this order lies. False when `budget` ran out first.
bool FillFromTop(DiscFiller& filler, const PictureContent& content, size_t begin, size_t end, Rgb brush,
                 const Placement& at, size_t first, size_t last, WorkBudget* budget) {
  std::vector<std::pair<size_t, Rgb>> colours{{begin, brush}};  // the brush from each change on
  for (size_t i = begin; i < end; ++i)
    if (const auto* b = std::get_if<op::Brush>(&content.ops[i])) colours.emplace_back(i, b->colour);
  size_t above = 0;  // discs after operation i
  for (size_t i = end; i-- > begin && above < last && !filler.Covered();) {
    while (colours.back().first > i) colours.pop_back();
    const Rgb colour = colours.back().second;
    const PictureOp& o = content.ops[i];
    if (const auto* e = std::get_if<op::Ellipse>(&o)) {
      if (above >= first) filler.Fill(*e, at, colour);
      ++above;
    } else if (const auto* d = std::get_if<op::Discs>(&o); d && d->run < content.runs.size()) {
      // Disc k of the run is number above + (run.end - 1 - k).
      const DiscRun& run = content.runs[d->run];
      const size_t from = std::max(first, above), to = std::min(last, above + run.Size());
      if (from < to)
        filler.FillRunBackwards(run, static_cast<uint32_t>(run.end - (to - above)),
                                static_cast<uint32_t>(run.end - (from - above)), at, colour, budget);
      above += run.Size();
    }
    if (budget && budget->Spent()) return false;
  }
  return !(budget && budget->Spent());
}

// The colour of the last disc drawn by a run of several colours; null for any other operation
// or when the run draws none.
const Rgb* LastColourOf(const PictureContent& content, const PictureOp& o) {
  const auto* d = std::get_if<op::Discs>(&o);
  if (!d || d->run >= content.runs.size() || !content.runs[d->run].colours) return nullptr;
  const DiscRun& run = content.runs[d->run];
  for (uint32_t k = run.end; k-- > run.begin;)
    if (const Rgb* c = run.colours->Of(k)) return c;
  return nullptr;
}

// Where a second core pays for the second image and the merge.
constexpr size_t kTwoCoresDiscs = 200'000;

// The discs of a DiscStretch filled the last first, each only where no later disc lies: with a
// hundred discs or more over every pixel of a large diagram, most are passed over whole. With a
// second core, the lower half of the discs is filled at the same time into an image of its own
// and shows wherever the upper half left a pixel free. False when `budget` ran out first.
bool FillTopmostFirst(DiscFiller& filler, const PictureContent& content, const DiscStretch& stretch, size_t begin,
                      Rgb brush, const Placement& at, WorkBudget* budget) {
  bool complete = true;
  const bool twoCores = !budget && stretch.discs >= kTwoCoresDiscs && std::thread::hardware_concurrency() > 1;
  if (twoCores && at.sx >= 2 * at.rx && filler.Bounds().height() >= 2) {
    // Magnified twice or more, the discs in view may all be of one half of the drawing order:
    // the image is halved instead, upper rows on one core and lower ones on the other, each
    // from every disc.
    const QRect bounds = filler.Bounds();
    const int middle = bounds.top() + bounds.height() / 2;
    DiscFiller upper(*filler.Image(), QRect(QPoint(bounds.left(), bounds.top()), QPoint(bounds.right(), middle - 1)));
    DiscFiller lower(*filler.Image(), QRect(QPoint(bounds.left(), middle), bounds.bottomRight()));
    upper.FillUnderneath();
    lower.FillUnderneath();
    std::exception_ptr failed;
    std::thread second([&] {
      try {
        FillFromTop(lower, content, begin, stretch.end, brush, at, 0, stretch.discs, nullptr);
      } catch (...) {
        failed = std::current_exception();
      }
    });
    try {
      FillFromTop(upper, content, begin, stretch.end, brush, at, 0, stretch.discs, nullptr);
    } catch (...) {
      second.join();
      throw;
    }
    second.join();
    if (failed) std::rethrow_exception(failed);
    return true;
  }
  filler.FillUnderneath();
  if (twoCores) {
    const size_t half = stretch.discs / 2;
    QImage image(filler.Image()->size(), filler.Image()->format());
    DiscFiller lower(image, filler.Bounds());
    lower.FillUnderneath();
    std::exception_ptr failed;
    std::thread second([&] {
      try {
        FillFromTop(lower, content, begin, stretch.end, brush, at, half, stretch.discs, nullptr);
      } catch (...) {
        failed = std::current_exception();
      }
    });
    try {
      FillFromTop(filler, content, begin, stretch.end, brush, at, 0, half, nullptr);
    } catch (...) {
      second.join();
      throw;
    }
    second.join();
    if (failed) std::rethrow_exception(failed);
    filler.Underlay(lower);
  } else {
    complete = FillFromTop(filler, content, begin, stretch.end, brush, at, 0, stretch.discs, budget);
  }
  filler.FillOver();
  return complete;
}

// Below this many discs a stretch is filled in order: the mask would cost more than it saves.
constexpr size_t kTopmostFirstDiscs = 256;

// Plays operations [begin, end) of `content` placed by `place`; false when `budget` ran out first.
// With a `clip` (logical units), what cannot reach into it is passed over.
bool Play(QPainter& painter, const PictureContent& content, size_t begin, size_t end, const Placement& place,
          WorkBudget* budget = nullptr, const LogicalBounds* clip = nullptr) {
  const double sx = place.sx, sy = place.sy;
  const bool plain = place.Plain();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  DiscFiller discs(painter);

  op::Brush brush{FillStyle::Solid, kWhite};
  op::Pen pen{FillStyle::Solid, kBlack, 1};
  const FontSpec* font = nullptr;
  QPointF current(0, 0);
  auto map = [&](int32_t x, int32_t y) { return QPointF(x * sx - place.ox, y * sy - place.oy); };
  auto applyPen = [&] {
    if (pen.style == FillStyle::None) {
      painter.setPen(Qt::NoPen);
      return;
    }
    QPen p(ToQColor(pen.colour));
    p.setWidthF(std::max(1.0, pen.width * place.rx));
    p.setCapStyle(Qt::RoundCap);
    p.setJoinStyle(Qt::RoundJoin);
    painter.setPen(p);
  };
  auto applyBrush = [&] {
    painter.setBrush(brush.style == FillStyle::Solid ? QBrush(ToQColor(brush.colour)) : QBrush(Qt::NoBrush));
  };
  applyPen();
  applyBrush();

  const auto play = Overloaded{
      [&](const op::Ellipse& e) {
        if (discs.Available() && pen.style == FillStyle::None && brush.style == FillStyle::Solid)
          discs.Fill(e, place, brush.colour);
        else if (plain)
          painter.drawEllipse(QRectF(map(e.x1, e.y1), map(e.x2, e.y2)));
        else
          painter.drawEllipse(QPointF((static_cast<double>(e.x1) + e.x2) / 2 * sx - place.ox,
                                      (static_cast<double>(e.y1) + e.y2) / 2 * sy - place.oy),
                              std::abs(static_cast<double>(e.x2) - e.x1) / 2 * place.rx,
                              std::abs(static_cast<double>(e.y2) - e.y1) / 2 * place.ry);
      },
      [&](const op::LineTo& l) {
        const QPointF to = map(l.x, l.y);
        if (pen.style == FillStyle::Solid) painter.drawLine(current, to);
        current = to;
      },
      [&](const op::MoveTo& m) { current = map(m.x, m.y); },
      [&](const op::Brush& b) {
        brush = b;
        applyBrush();
      },
      [&](const op::Pen& p) {
        pen = p;
        applyPen();
      },
      [&](const op::Font& f) { font = f.font < content.fonts.size() ? &content.fonts[f.font] : nullptr; },
      [&](const op::Rectangle& r) { painter.drawRect(QRectF(map(r.x1, r.y1), map(r.x2, r.y2))); },
      [&](const op::Polygons& g) {
        const PolygonSet* set = PolygonsOf(content, g);
        if (!set) return;
        if (discs.Available() && pen.style == FillStyle::None && brush.style == FillStyle::Solid) {
          discs.FillPolygons(*set, sx, sy, place.ox, place.oy, brush.colour);
          return;
        }
        // One path, so the fill rule works across the polygons as the metafiles' PolyPolygon does.
        QPainterPath path;
        path.setFillRule(set->winding ? Qt::WindingFill : Qt::OddEvenFill);
        size_t at = 0;
        for (uint32_t n : set->counts) {
          if (n > set->points.size() - at) break;
          QPolygonF polygon;
          polygon.reserve(static_cast<qsizetype>(n) + 1);
          for (size_t i = at; i < at + n; ++i) polygon << map(set->points[i].x, set->points[i].y);
          if (n > 0) polygon << polygon.front();
          path.addPolygon(polygon);
          path.closeSubpath();
          at += n;
        }
        painter.drawPath(path);
      },
      [&](const op::TextOut& t) {
        if (t.text >= content.texts.size()) return;
        const PictureText& text = content.texts[t.text];
        FontSpec face = font ? *font : FontSpec{};
        const QFont qfont = QtFontFor(face, std::abs(static_cast<double>(face.height)) * place.ry);
        const QFontMetricsF fm(qfont);
        const QPointF origin = map(t.x, t.y);
        if (brush.style == FillStyle::Solid)
          painter.fillRect(QRectF(origin, QSizeF(text.width * place.rx, fm.height())), ToQColor(brush.colour));
        painter.save();
        painter.setFont(qfont);
        painter.setPen(ToQColor(face.colour));
        double x = 0;
        for (size_t i = 0; i < text.chars.size() && !(budget && budget->Spent()); ++i) {
          const bool pair = CharacterUnits(text.chars, i) == 2;
          const QString glyph = QString::fromUtf16(text.chars.data() + i, pair ? 2 : 1);
          painter.drawText(QPointF(origin.x() + x * place.rx, origin.y() + fm.ascent()), glyph);
          x += static_cast<double>(text.advances[i]) + (pair ? text.advances[i + 1] : 0);
          if (pair) ++i;
        }
        painter.restore();
      },
  };
  // What the bounds of the next operation depend on, kept only for a clipped replay.
  BoundsState at;
  const auto track = Overloaded{
      [&](const op::MoveTo& m) { at.currentX = m.x, at.currentY = m.y; },
      [&](const op::LineTo& l) { at.currentX = l.x, at.currentY = l.y; },
      [&](const op::Pen& p) { at.penWidth = p.style == FillStyle::Solid ? p.width : 0; },
      [&](const op::Font& f) { at.fontHeight = f.font < content.fonts.size() ? content.fonts[f.font].height : 0; },
      [&](const auto&) {},
  };
  const auto playClipped = [&](const auto& o) {
    if constexpr (std::is_same_v<std::decay_t<decltype(o)>, op::TextOut>)
      at.text = o.text < content.texts.size() ? &content.texts[o.text] : nullptr;
    if constexpr (std::is_same_v<std::decay_t<decltype(o)>, op::Polygons>) at.polygons = PolygonsOf(content, o);
    const std::optional<LogicalBounds> bounds = BoundsOf(o, at);
    track(o);  // a line's end is where the next one starts
    if (bounds && !bounds->Meets(*clip)) {
      // A line passed over still moves the current point.
      if constexpr (std::is_same_v<std::decay_t<decltype(o)>, op::LineTo>) current = map(o.x, o.y);
      return;
    }
    play(o);
  };
  // A run of discs counts as one operation: only our own recordings hold runs, never a file.
  size_t i = begin;
  size_t inOrderUntil = begin;  // the end of a stretch of discs too short to fill topmost first
  while (i < end && !(budget && budget->Spent())) {
    if (discs.Available() && i >= inOrderUntil && pen.style == FillStyle::None) {
      const DiscStretch stretch = FindDiscStretch(content, i, end, brush);
      if (stretch.discs >= kTopmostFirstDiscs) {
        if (!FillTopmostFirst(discs, content, stretch, i, brush.colour, place, budget)) break;
        // The brush as the stretch leaves it, for what follows.
        for (; i < stretch.end; ++i) {
          if (std::holds_alternative<op::Brush>(content.ops[i])) ForEachOperation(content, i, i + 1, play);
          if (const Rgb* last = LastColourOf(content, content.ops[i])) play(op::Brush{FillStyle::Solid, *last});
        }
        continue;
      }
      inOrderUntil = stretch.end;
    }
    if (clip) ForEachOperation(content, i, i + 1, playClipped);
    else ForEachOperation(content, i, i + 1, play);
    ++i;
  }
  painter.restore();
  return i == end && !(budget && budget->Spent());
}

}  // namespace

bool PlayPicture(QPainter& painter, const PictureContent& content, int32_t logicalW, int32_t logicalH,
                 double destW, double destH, WorkBudget* budget, const LogicalBounds* clip) {
  const double sx = logicalW > 0 ? destW / logicalW : 1, sy = logicalH > 0 ? destH / logicalH : 1;
  return Play(painter, content, 0, content.ops.size(), Placement::Scaled(sx, sy), budget, clip);
}

bool PlayPicture(QPainter& painter, const PictureContent& content, const DisplayMapping& mapping, WorkBudget* budget,
                 const LogicalBounds* clip) {
  return Play(painter, content, 0, content.ops.size(), Placement::Of(mapping), budget, clip);
}

void RepaintDisplayed(QImage& image, QRect clip, const PictureSnapshot& picture, size_t firstDisc,
                      const std::function<bool(PlacedDisc&)>& nextTopmost,
                      const std::function<void(const DiscSink&)>& rest) {
  RepaintDisplayed(image, clip, picture, {}, firstDisc, nextTopmost, rest);
}

void RepaintDisplayed(QImage& image, QRect clip, const PictureSnapshot& picture, const DisplayZoom& zoom,
                      size_t firstDisc, const std::function<bool(PlacedDisc&)>& nextTopmost,
                      const std::function<void(const DiscSink&)>& rest) {
  if (!picture.content || image.isNull()) return;
  clip &= image.rect();
  if (clip.isEmpty()) return;
  // The placement RenderForDisplay played at.
  const DisplayMapping mapping =
      DisplayMapping::ForImage(picture.width, picture.height, {image.width(), image.height()}, zoom);
  const Placement at = Placement::Of(mapping);
  {
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(clip, Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setClipRect(clip);
    // Only what reaches into the clip is played: a unit more around it for the rounding.
    const DisplayBox units = mapping.LogicalOf({clip.left(), clip.top(), clip.right(), clip.bottom()});
    const LogicalBounds area{units.x0 - 1, units.y0 - 1, units.x1 + 1, units.y1 + 1};
    Play(painter, *picture.content, 0, std::min(firstDisc, picture.content->ops.size()), at, nullptr, &area);
  }
  // Where symbols crowd, a few of the topmost cover the whole box: the rest need no drawing.
  // Taking the discs topmost first costs more per disc than filling them in any order, so when
  // the box is still not covered after a good many, the rest are filled by order.
  constexpr int kTopmostFirst = 1024;
  DiscFiller filler(image, clip);
  filler.FillUnderneath();
  PlacedDisc d;
  int given = 0;
  while (!filler.Covered() && given < kTopmostFirst && nextTopmost(d)) {
    filler.Fill(d.box, at, d.colour);
    ++given;
  }
  if (filler.Covered() || given < kTopmostFirst) return;
  filler.FillByOrder();
  rest([&](const PlacedDisc& disc) {
    filler.SetOrder(disc.order);
    filler.Fill(disc.box, at, disc.colour);
  });
}

QImage RenderForDisplay(const PictureSnapshot& picture, QSize controlSize, WorkBudget* budget) {
  return RenderForDisplay(picture, controlSize, {}, budget);
}

QImage RenderForDisplay(const PictureSnapshot& picture, QSize controlSize, const DisplayZoom& zoom, WorkBudget* budget) {
  if (!picture.content || controlSize.isEmpty()) return {};
  const DisplayMapping mapping =
      DisplayMapping::ForControl(picture.width, picture.height, controlSize.width(), controlSize.height(), zoom);
  const DisplayRect fit = mapping.Image();
  if (fit.width <= 0 || fit.height <= 0) return {};
  QImage image(fit.width, fit.height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  if (zoom.Whole()) {
    if (!PlayPicture(painter, *picture.content, picture.width, picture.height, mapping.DeviceWidth(),
                     mapping.DeviceHeight(), budget))
      return {};
    return image;
  }
  // Magnified, most of the picture lies outside the image: only what reaches into it is played,
  // a unit more around it for the rounding.
  const DisplayBox units = mapping.Shown();
  const LogicalBounds shown{units.x0 - 1, units.y0 - 1, units.x1 + 1, units.y1 + 1};
  if (!PlayPicture(painter, *picture.content, mapping, budget, &shown)) return {};
  return image;
}

QImage RenderToImage(const PictureSnapshot& picture, QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  if (picture.content) {
    QPainter painter(&image);
    PlayPicture(painter, *picture.content, picture.width, picture.height, size.width(), size.height());
  }
  return image;
}

}  // namespace ternova
