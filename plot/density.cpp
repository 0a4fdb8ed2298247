#include "plot/density.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/two_cores.h"
#include "diagram/projection.h"

namespace ternova {

namespace {

// --- exact arithmetic on the amounts as the file gave them ---

// A finite double as m × 2^e with m a whole number below 2^53.
struct Binary {
  uint64_t m = 0;
  int e = 0;
};
Binary Decompose(double x) {
  const uint64_t bits = std::bit_cast<uint64_t>(x);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  if (biased == 0) return {fraction, -1074};  // subnormal or zero
  return {fraction | (uint64_t{1} << 52), biased - 1075};
}

// A whole number of up to 36 × 64 bits: room for any sum of the terms below, whose exponents
// lie between -1074 and 971.
class Wide {
 public:
  // Adds v × 2^shift.
  void Add(unsigned __int128 v, int shift) {
    size_t limb = static_cast<size_t>(shift / 64);
    const int bit = shift % 64;
    // v spans at most 67 bits; shifted, it reaches into three limbs.
    uint64_t parts[3] = {static_cast<uint64_t>(v << bit), 0, 0};
    const unsigned __int128 high = bit == 0 ? v >> 64 : v >> (64 - bit);
    parts[1] = static_cast<uint64_t>(high);
    parts[2] = static_cast<uint64_t>(high >> 64);
    unsigned __int128 carry = 0;
    for (int k = 0; limb < kLimbs && (k < 3 || carry); ++k, ++limb) {
      const unsigned __int128 sum = static_cast<unsigned __int128>(limbs_[limb]) + (k < 3 ? parts[k] : 0) + carry;
      limbs_[limb] = static_cast<uint64_t>(sum);
      carry = sum >> 64;
    }
  }
  friend int Compare(const Wide& a, const Wide& b) {
    for (size_t k = kLimbs; k-- > 0;)
      if (a.limbs_[k] != b.limbs_[k]) return a.limbs_[k] < b.limbs_[k] ? -1 : 1;
    return 0;
  }

 private:
  static constexpr size_t kLimbs = 36;
  uint64_t limbs_[kLimbs] = {};
};

// The sign of coefficient[0] x[0] + coefficient[1] x[1] + coefficient[2] x[2], exactly, for
// finite x and |coefficient| below 2^14.
int ExactSign(const int64_t (&coefficient)[3], const double (&x)[3]) {
  Binary parts[3];
  int low = INT32_MAX, high = INT32_MIN;
  for (int k = 0; k < 3; ++k) {
    parts[k] = Decompose(x[k]);
    if (parts[k].m == 0 || coefficient[k] == 0) continue;
    low = std::min(low, parts[k].e);
    high = std::max(high, parts[k].e);
  }
  if (low == INT32_MAX) return 0;
  auto negative = [&](int k) { return (coefficient[k] < 0) != std::signbit(x[k]); };
  auto magnitude = [&](int k) {
    return static_cast<unsigned __int128>(std::llabs(coefficient[k])) * parts[k].m;  // below 2^67
  };
  if (high - low <= 56) {
    // Three terms below 2^123 each: their sum fits 128 bits with its sign.
    __int128 sum = 0;
    for (int k = 0; k < 3; ++k) {
      if (parts[k].m == 0 || coefficient[k] == 0) continue;
      const __int128 term = static_cast<__int128>(magnitude(k) << (parts[k].e - low));
      sum += negative(k) ? -term : term;
    }
    return sum > 0 ? 1 : sum < 0 ? -1 : 0;
  }
  Wide plus, minus;
  for (int k = 0; k < 3; ++k) {
    if (parts[k].m == 0 || coefficient[k] == 0) continue;
    (negative(k) ? minus : plus).Add(magnitude(k), parts[k].e - low);
  }
  return Compare(plus, minus);
}

// floor(n a / (a + b + c)) for a, b, c >= 0 with a positive sum, given `x` within a millionth
// of that quotient: the whole number nearest x, or the one below it.
int32_t ExactFloor(double x, double a, double b, double c, int32_t n) {
  const int64_t nearest = std::clamp<int64_t>(std::llround(std::clamp(x, -1.0, n + 1.0)), 0, n);
  // n a >= nearest (a + b + c)
  return ExactSign({n - nearest, -nearest, -nearest}, {a, b, c}) >= 0 ? static_cast<int32_t>(nearest)
                                                                       : static_cast<int32_t>(nearest - 1);
}

// The floors of u, v, w for weights a, b, c >= 0 with a positive sum. The quotients are
// worked out in doubles, which miss the true ones by less than 5 units in the last place of
// n; only a quotient that comes closer than the margin to a whole number is decided exactly.
// A zero weight gives exactly 0.
struct Floors {
  int32_t i, j, k;
};
Floors FloorsOf(double a, double b, double c, int32_t n) {
  // Scaled by a power of two, so the sum is a normal number and n / sum finite; only the
  // estimates use the scaled weights.
  const int scale = std::ilogb(std::max({a, b, c}));
  const double sa = std::ldexp(a, -scale), sb = std::ldexp(b, -scale), sc = std::ldexp(c, -scale);
  const double r = n / (sa + sb + sc);
  const double margin = std::ldexp(static_cast<double>(n), -44);
  auto floorOf = [&](double weight, double x, double o1, double o2) {
    if (weight == 0) return int32_t{0};
    const double f = std::floor(x);
    if (x - f > margin && f + 1 - x > margin) return static_cast<int32_t>(f);
    return ExactFloor(x, weight, o1, o2, n);
  };
  return {floorOf(a, sa * r, b, c), floorOf(b, sb * r, a, c), floorOf(c, sc * r, a, b)};
}

std::optional<Cell> CellOfFloors(Floors f, int32_t n) {
  // The face's own edges belong to the cells along them.
  f.i = std::min(f.i, n - 1);
  f.j = std::min(f.j, n - 1);
  f.k = std::min(f.k, n - 1);
  const int32_t sum = f.i + f.j + f.k;
  if (sum == n - 1) return Cell{f.i, f.j, true};
  if (sum == n - 2) return Cell{f.i, f.j, false};
  // A lattice point: the up cell with it as its (i, j) corner, or on the edge w = 0 (which no
  // such cell reaches) the one below it.
  if (f.k >= 1) return Cell{f.i, f.j, true};
  return Cell{f.i, f.j - 1, true};
}

// The weights of a point outside the face, or of no number: no cell.
std::optional<Cell> SlowCellOf(double a, double b, double c, int32_t n) {
  if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) return std::nullopt;
  const int sign = ExactSign({1, 1, 1}, {a, b, c});
  if (sign == 0) return std::nullopt;
  if (sign < 0) a = -a, b = -b, c = -c;
  // A weight of the sign opposite to the sum puts the point beyond the opposite edge; -0 is 0.
  if (a < 0 || b < 0 || c < 0) return std::nullopt;
  return CellOfFloors(FloorsOf(a, b, c, n), n);
}

// The common case, decided without exact arithmetic or a call into the C library: three
// weights of 0 or more, not all 0, each quotient n a / s clear of whole numbers by more than
// n 2^-44 (far beyond any rounding of it), so that the floors are the truncations. False for any other point; the floors are
// then not set.
struct QuickLattice {
  int32_t n;
  double nd, reach;  // n, and how near a half a quotient's fraction must lie
  explicit QuickLattice(int32_t divisions)
      : n(divisions), nd(divisions), reach(0.5 - std::ldexp(static_cast<double>(divisions), -44)) {}
  bool Floors(double a, double b, double c, Floors& f) const {
    const double s = a + b + c, q = nd / s;
    if (!((a >= 0) & (b >= 0) & (c >= 0) & (s > 0) & (q < 1e300))) return false;
    const double u = a * q, v = b * q, w = c * q;
    f = {static_cast<int32_t>(u), static_cast<int32_t>(v), static_cast<int32_t>(w)};
    // A zero weight gives exactly 0, whole and exact.
    auto clear = [this](double fraction, double weight) { return (std::fabs(fraction - 0.5) < reach) | (weight == 0); };
    return clear(u - f.i, a) & clear(v - f.j, b) & clear(w - f.k, c) & (f.i < n) & (f.j < n);
  }
};

// The same as SlowCellOf, with the common case first.
inline std::optional<Cell> FastCellOf(double a, double b, double c, const QuickLattice& lattice) {
  Floors f;
  if (lattice.Floors(a, b, c, f)) return CellOfFloors(f, lattice.n);
  return SlowCellOf(a, b, c, lattice.n);
}

void AddCell(CellCounts& counts, const std::optional<Cell>& cell) {
  if (!cell) {
    ++counts.outsideFace;
    return;
  }
  if (!counts.Holds(*cell)) {
    ++counts.outsideWindow;
    return;
  }
  const CellWindow& w = counts.window;
  const size_t at = static_cast<size_t>(cell->i - w.i0) + static_cast<size_t>(cell->j - w.j0) * static_cast<size_t>(w.Width());
  ++(cell->up ? counts.up : counts.down)[at];
}

std::vector<CellCounts> EmptyCounts(std::span<const CellWindow> windows) {
  std::vector<CellCounts> all;
  for (const CellWindow& w : windows) {
    CellCounts c;
    c.window = w;
    const size_t cells = static_cast<size_t>(std::max(w.Width(), 0)) * static_cast<size_t>(std::max(w.Height(), 0));
    c.up.assign(cells, 0);
    c.down.assign(cells, 0);
    all.push_back(std::move(c));
  }
  return all;
}

template <bool kFiltered>
void CountRows(const SampleTable& table, int32_t from, int32_t to, std::vector<CellCounts>& counts,
               const DiscColours* shown) {
  // One pass over the rows for every window: the table is far larger than any cache.
  struct Face {
    CellCounts* counts;
    uint32_t* cells[2];  // up, down
    QuickLattice lattice;
    int32_t i0, j0;
    uint32_t width, height;
    int a, b, c;
  };
  std::vector<Face> faces;
  for (CellCounts& c : counts) {
    const int f = std::clamp(c.window.face, 1, 4) - 1;
    const CellWindow& w = c.window;
    faces.push_back({&c, {c.up.data(), c.down.data()}, QuickLattice(w.divisions), w.i0, w.j0,
                     static_cast<uint32_t>(std::max(w.Width(), 0)), static_cast<uint32_t>(std::max(w.Height(), 0)),
                     kFaceComponents[f][0], kFaceComponents[f][1], kFaceComponents[f][2]});
  }
  for (int32_t r = from; r < to; ++r) {
    if constexpr (kFiltered) {
      if (!shown->Of(static_cast<uint32_t>(r - 1))) continue;
    }
    const std::array<double, 5>& v = table.SampleValues[static_cast<size_t>(r)];
    for (const Face& f : faces) {
      const double a = v[f.a], b = v[f.b], c = v[f.c];
      // In the common case the cell follows from the floors' sum alone.
      Floors q;
      if (f.lattice.Floors(a, b, c, q)) {
        const uint32_t col = static_cast<uint32_t>(q.i - f.i0), row = static_cast<uint32_t>(q.j - f.j0);
        if (col < f.width && row < f.height) {
          ++f.cells[q.i + q.j + q.k == f.lattice.n - 2][col + row * f.width];
        } else {
          ++f.counts->outsideWindow;
        }
        continue;
      }
      AddCell(*f.counts, SlowCellOf(a, b, c, f.lattice.n));
    }
  }
}

// Every face whole on one lattice, faces 1 to 4 in order: the count the density view makes once
// per load, with the windows' bounds, which hold every cell, left out of the common case.
template <bool kFiltered>
void CountWholeFaces(const SampleTable& table, int32_t from, int32_t to, std::vector<CellCounts>& counts,
                     const DiscColours* shown) {
  const QuickLattice lattice(counts[0].window.divisions);
  const int32_t n = lattice.n;
  uint32_t* cells[4][2];
  for (int f = 0; f < 4; ++f) cells[f][0] = counts[f].up.data(), cells[f][1] = counts[f].down.data();
  const auto width = static_cast<size_t>(n);
  auto one = [&](int f, double a, double b, double c) {
    Floors q;
    if (lattice.Floors(a, b, c, q)) {
      ++cells[f][q.i + q.j + q.k == n - 2][static_cast<size_t>(q.i) + static_cast<size_t>(q.j) * width];
      return;
    }
    AddCell(counts[static_cast<size_t>(f)], SlowCellOf(a, b, c, n));
  };
  for (int32_t r = from; r < to; ++r) {
    if constexpr (kFiltered) {
      if (!shown->Of(static_cast<uint32_t>(r - 1))) continue;
    }
    const std::array<double, 5>& v = table.SampleValues[static_cast<size_t>(r)];
    one(0, v[1], v[2], v[3]);
    one(1, v[1], v[2], v[4]);
    one(2, v[2], v[3], v[4]);
    one(3, v[1], v[3], v[4]);
  }
}

bool WholeFacesInOrder(const std::vector<CellCounts>& counts) {
  if (counts.size() != 4) return false;
  for (int f = 0; f < 4; ++f)
    if (!(counts[f].window == CellWindow::WholeFace(f + 1, counts[0].window.divisions))) return false;
  return counts[0].window.divisions >= 1 && counts[0].window.divisions <= 8192;
}

// Where a second core pays for itself.
constexpr int32_t kTwoCoresRows = 50'000;

// Viridis at every 8th of its 256 steps (and the last), from the published table.
constexpr double kViridisAnchors[][3] = {
    {0.267004, 0.004874, 0.329415}, {0.277018, 0.050344, 0.375715}, {0.282327, 0.094955, 0.417331},
    {0.282884, 0.135920, 0.453427}, {0.278826, 0.175490, 0.483397}, {0.270595, 0.214069, 0.507052},
    {0.258965, 0.251537, 0.524736}, {0.244972, 0.287675, 0.537260}, {0.229739, 0.322361, 0.545706},
    {0.214298, 0.355619, 0.551184}, {0.199430, 0.387607, 0.554642}, {0.185556, 0.418570, 0.556753},
    {0.172719, 0.448791, 0.557885}, {0.160665, 0.478540, 0.558115}, {0.149039, 0.508051, 0.557250},
    {0.137770, 0.537492, 0.554906}, {0.127568, 0.566949, 0.550556}, {0.120565, 0.596422, 0.543611},
    {0.120638, 0.625828, 0.533488}, {0.132268, 0.655014, 0.519661}, {0.157851, 0.683765, 0.501686},
    {0.196571, 0.711827, 0.479221}, {0.246070, 0.738910, 0.452024}, {0.304148, 0.764704, 0.419943},
    {0.369214, 0.788888, 0.382914}, {0.440137, 0.811138, 0.340967}, {0.515992, 0.831158, 0.294279},
    {0.595839, 0.848717, 0.243329}, {0.678489, 0.863742, 0.189503}, {0.762373, 0.876424, 0.137064},
    {0.845561, 0.887322, 0.099702}, {0.926106, 0.897330, 0.104071}, {0.993248, 0.906157, 0.143936},
};

// The colour of step `index` (0..255) by the line between its anchors.
Rgb ViridisStep(int index) {
  const int a = std::min(index / 8, 31);
  const int from = a * 8, to = a == 31 ? 255 : from + 8;
  const double t = static_cast<double>(index - from) / (to - from);
  auto channel = [&](int k) {
    const double v = kViridisAnchors[a][k] + t * (kViridisAnchors[a + 1][k] - kViridisAnchors[a][k]);
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
  };
  return {channel(0), channel(1), channel(2)};
}

int ViridisIndex(double t) { return static_cast<int>(std::lround(std::clamp(t, 0.0, 1.0) * 255)); }

// round(num / den), halves away from zero, for den > 0.
int32_t RoundedQuotient(int64_t num, int64_t den) {
  const int64_t q = (2 * std::llabs(num) + den) / (2 * den);
  return static_cast<int32_t>(num < 0 ? -q : q);
}

}  // namespace

std::optional<Cell> CellOf(double a, double b, double c, int32_t divisions) {
  if (divisions < 1 || divisions > 8192) return std::nullopt;
  return FastCellOf(a, b, c, QuickLattice(divisions));
}

uint32_t CellCounts::Count(const Cell& c) const {
  if (!Holds(c)) return 0;
  const size_t at = static_cast<size_t>(c.i - window.i0) + static_cast<size_t>(c.j - window.j0) * static_cast<size_t>(window.Width());
  return (c.up ? up : down)[at];
}

std::vector<CellCounts> CountCells(const SampleTable& table, int32_t rows, std::span<const CellWindow> windows,
                                   const DiscColours* shown) {
  rows = std::clamp<int32_t>(rows, 0, static_cast<int32_t>(table.SampleValues.size()) - 1);
  std::vector<CellCounts> counts = EmptyCounts(windows), second = EmptyCounts(windows);
  const int32_t half = 1 + rows / 2;
  const bool whole = WholeFacesInOrder(counts);
  auto count = [&](int32_t from, int32_t to, std::vector<CellCounts>& into) {
    if (whole && shown)
      CountWholeFaces<true>(table, from, to, into, shown);
    else if (whole)
      CountWholeFaces<false>(table, from, to, into, nullptr);
    else if (shown)
      CountRows<true>(table, from, to, into, shown);
    else
      CountRows<false>(table, from, to, into, nullptr);
  };
  OnTwoCores(
      rows >= kTwoCoresRows, [&] { count(half, rows + 1, second); }, [&] { count(1, half, counts); });
  for (size_t w = 0; w < counts.size(); ++w) {
    for (size_t k = 0; k < counts[w].up.size(); ++k) counts[w].up[k] += second[w].up[k];
    for (size_t k = 0; k < counts[w].down.size(); ++k) counts[w].down[k] += second[w].down[k];
    counts[w].outsideFace += second[w].outsideFace;
    counts[w].outsideWindow += second[w].outsideWindow;
  }
  return counts;
}

std::vector<CellCounts> CountCellsNear(const SampleTable& table, const SymbolIndex& index,
                                       const DiagramGeometry& geometry, std::span<const CellWindow> windows,
                                       const DiscColours* shown) {
  std::vector<CellCounts> counts = EmptyCounts(windows);
  const auto rows = static_cast<int32_t>(table.SampleValues.size()) - 1;
  for (CellCounts& c : counts) {
    const CellWindow& w = c.window;
    if (w.Empty()) continue;
    const int f = std::clamp(w.face, 1, 4);
    const Point v1 = geometry.Vertex(f, 1), v2 = geometry.Vertex(f, 2), v3 = geometry.Vertex(f, 3);
    // The window's cells lie within the parallelogram of its lattice corners; a symbol's centre
    // is its point rounded to drawing units, so two units around that box find every sample.
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    for (const int32_t u : {w.i0, w.i1})
      for (const int32_t v : {w.j0, w.j1}) {
        const double n = w.divisions, t = n - u - v;
        const double x = (u * v1.x + v * v2.x + t * v3.x) / n, y = (u * v1.y + v * v2.y + t * v3.y) / n;
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
      }
    const int* components = kFaceComponents[f - 1];
    const QuickLattice lattice(w.divisions);
    SymbolIndex::TopmostWalk walk(index, static_cast<int64_t>(std::floor(x0)) - 2, static_cast<int64_t>(std::floor(y0)) - 2,
                                  static_cast<int64_t>(std::ceil(x1)) + 2, static_cast<int64_t>(std::ceil(y1)) + 2, 0);
    walk.Rest([&](const PlacedSymbol& symbol) {
      if (symbol.face != f || symbol.row < 1 || symbol.row > rows) return;
      if (shown && !shown->Of(static_cast<uint32_t>(symbol.row - 1))) return;
      const std::array<double, 5>& v = table.SampleValues[static_cast<size_t>(symbol.row)];
      const std::optional<Cell> cell = FastCellOf(v[components[0]], v[components[1]], v[components[2]], lattice);
      if (cell && c.Holds(*cell)) AddCell(c, cell);
    });
  }
  return counts;
}

CellWindow WindowOver(const DiagramGeometry& geometry, int face, int32_t divisions, double x0, double y0, double x1,
                      double y1, int32_t margin) {
  CellWindow w{face, divisions, 0, 0, 0, 0};
  const int f = std::clamp(face, 1, 4);
  const Point v1 = geometry.Vertex(f, 1), v2 = geometry.Vertex(f, 2), v3 = geometry.Vertex(f, 3);
  // Lattice coordinates of a point: P - v3 = (u (v1 - v3) + v (v2 - v3)) / n.
  const double ax = v1.x - v3.x, ay = v1.y - v3.y, bx = v2.x - v3.x, by = v2.y - v3.y;
  const double det = ax * by - ay * bx;
  if (det == 0 || divisions < 1) return w;
  double u0 = HUGE_VAL, v0 = HUGE_VAL, u1 = -HUGE_VAL, vv1 = -HUGE_VAL;
  for (const double x : {x0, x1})
    for (const double y : {y0, y1}) {
      const double px = x - v3.x, py = y - v3.y;
      const double u = divisions * (px * by - py * bx) / det, v = divisions * (ax * py - ay * px) / det;
      u0 = std::min(u0, u), v0 = std::min(v0, v), u1 = std::max(u1, u), vv1 = std::max(vv1, v);
    }
  // u + v = n - w >= 0 bounds nothing more here: cells past the face's edge stay empty.
  auto clampTo = [&](double t) { return static_cast<int32_t>(std::clamp(t, 0.0, static_cast<double>(divisions))); };
  w.i0 = clampTo(std::floor(u0) - margin);
  w.j0 = clampTo(std::floor(v0) - margin);
  w.i1 = clampTo(std::ceil(u1) + margin);
  w.j1 = clampTo(std::ceil(vv1) + margin);
  // A box beyond the edge w = 0 (u + v >= n) holds no cell either.
  if (w.i0 + w.j0 >= divisions) w.i1 = w.i0;
  if (w.Empty()) w.i0 = w.i1 = w.j0 = w.j1 = 0;
  return w;
}

DensityField FieldOf(int32_t divisions, std::array<CellCounts, 4> faces, int64_t outside) {
  DensityField field;
  field.divisions = divisions;
  field.faces = std::move(faces);
  field.outside = outside;
  for (const CellCounts& c : field.faces) {
    for (uint32_t v : c.up) field.maxCount = std::max(field.maxCount, v);
    for (uint32_t v : c.down) field.maxCount = std::max(field.maxCount, v);
  }
  return field;
}

DensityField CountDensity(const SampleTable& table, int32_t rows, int32_t divisions, const DiscColours* shown) {
  const CellWindow windows[] = {CellWindow::WholeFace(1, divisions), CellWindow::WholeFace(2, divisions),
                                CellWindow::WholeFace(3, divisions), CellWindow::WholeFace(4, divisions)};
  std::vector<CellCounts> counts = CountCells(table, rows, windows, shown);
  std::array<CellCounts, 4> faces;
  int64_t outside = 0;
  for (int f = 0; f < 4; ++f) {
    outside += counts[f].outsideFace;
    faces[f] = std::move(counts[f]);
  }
  return FieldOf(divisions, std::move(faces), outside);
}

Rgb SampleViridis(double t) {
  static const std::array<Rgb, 256> table = [] {
    std::array<Rgb, 256> steps;
    for (int k = 0; k < 256; ++k) steps[k] = ViridisStep(k);
    return steps;
  }();
  return table[ViridisIndex(t)];
}

double DensityScale(uint32_t count, uint32_t maxCount) {
  if (count <= 1 || maxCount <= 1) return 0;
  return std::min(1.0, std::log(static_cast<double>(count)) / std::log(static_cast<double>(maxCount)));
}

Rgb DensityColour(uint32_t count, uint32_t maxCount) { return SampleViridis(DensityScale(count, maxCount)); }

double DensityField::Scale(uint32_t count) const {
  // Past the scale's end the colour stays at its end.
  const uint64_t weighted = std::min<uint64_t>(count * weight, maxCount);
  return DensityScale(static_cast<uint32_t>(weighted), maxCount);
}

Rgb DensityColour(const DensityField& field, uint32_t count) { return SampleViridis(field.Scale(count)); }

std::vector<DensityPolygons> DensityCellPolygons(const DensityField& field, const DiagramGeometry& geometry) {
  const int32_t n = field.divisions;
  std::array<std::shared_ptr<PolygonSet>, 256> sets;
  for (int f = 1; f <= 4 && n > 0; ++f) {
    const CellCounts& counts = field.faces[f - 1];
    const Point v1 = geometry.Vertex(f, 1), v2 = geometry.Vertex(f, 2), v3 = geometry.Vertex(f, 3);
    // Lattice point (u, v) on the face, rounded to drawing units.
    auto at = [&](int64_t u, int64_t v) {
      const int64_t w = n - u - v;
      return PicturePoint{RoundedQuotient(u * v1.x + v * v2.x + w * v3.x, n),
                          RoundedQuotient(u * v1.y + v * v2.y + w * v3.y, n)};
    };
    // Cell t of row j: t even the up cell t / 2, t odd the down cell (t - 1) / 2.
    auto step = [&](int32_t t, int32_t j) {
      const uint32_t c = counts.Count({t / 2, j, t % 2 == 0});
      return c == 0 ? -1 : ViridisIndex(field.Scale(c));
    };
    // Only the window's cells: a magnified view counts a small part of a fine lattice.
    const CellWindow& window = counts.window;
    for (int32_t j = std::max(window.j0, 0); j < std::min(window.j1, n); ++j) {
      const int32_t cells = std::min(2 * (n - j) - 1, 2 * window.i1);
      for (int32_t t0 = std::max(2 * window.i0, 0); t0 < cells;) {
        const int colour = step(t0, j);
        int32_t t1 = t0;
        while (t1 + 1 < cells && step(t1 + 1, j) == colour) ++t1;
        if (colour >= 0) {
          // Round the run: along the row's lower side, up its right end, back along the upper
          // side. Every lattice point on the way is a corner: rounded to drawing units they no
          // longer lie on one line, and the neighbouring rows' runs must meet these at each.
          const int32_t i0 = t0 / 2, i1 = t1 / 2;
          const int32_t lowFrom = t0 % 2 == 0 ? i0 : i0 + 1, lowTo = i1 + 1;
          const int32_t highFrom = t1 % 2 == 0 ? i1 : i1 + 1, highTo = i0;
          auto& set = sets[static_cast<size_t>(colour)];
          if (!set) set = std::make_shared<PolygonSet>();
          const size_t before = set->points.size();
          auto add = [&](const PicturePoint& p) {
            if (set->points.size() == before || !(set->points.back() == p)) set->points.push_back(p);
          };
          for (int32_t u = lowFrom; u <= lowTo; ++u) add(at(u, j));
          for (int32_t u = highFrom; u >= highTo; --u) add(at(u, j + 1));
          if (set->points.size() - before > 2 && set->points.back() == set->points[before]) set->points.pop_back();
          set->counts.push_back(static_cast<uint32_t>(set->points.size() - before));
        }
        t0 = t1 + 1;
      }
    }
  }
  std::vector<DensityPolygons> all;
  for (int k = 0; k < 256; ++k) {
    if (!sets[k]) continue;
    sets[k]->Close();
    all.push_back({ViridisStep(k), std::move(sets[k])});
  }
  return all;
}

}  // namespace ternova
