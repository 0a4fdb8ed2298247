// The density view's cells, against a count in exact rational arithmetic (GMP), on random
// samples and on samples placed on cell edges, with amounts of any sum and sign.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include "diagram/projection.h"
#include "diagram/symbol_centres.h"
#include "diagram/symbol_index.h"
#include "plot/density.h"
#include "plot/layers.h"

namespace ternova {
namespace {

// The rule, worked out on the exact quotients: floors of u, v, w (N counting as N - 1), the
// sum of the floors telling up from down, a lattice point going to the up cell at its corner.
std::optional<Cell> ExactCell(double a, double b, double c, int32_t n) {
  if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) return std::nullopt;  // GMP traps on them
  const mpq_class qa(a), qb(b), qc(c);
  const mpq_class s = qa + qb + qc;
  if (s == 0) return std::nullopt;
  const mpq_class la = qa / s, lb = qb / s, lc = qc / s;
  if (la < 0 || lb < 0 || lc < 0) return std::nullopt;
  auto floorOf = [&](const mpq_class& l) {
    const mpq_class x = l * n;
    mpz_class q;
    mpz_fdiv_q(q.get_mpz_t(), x.get_num_mpz_t(), x.get_den_mpz_t());
    return std::min<int32_t>(static_cast<int32_t>(q.get_si()), n - 1);
  };
  const int32_t i = floorOf(la), j = floorOf(lb), k = floorOf(lc);
  if (i + j + k == n - 1) return Cell{i, j, true};
  if (i + j + k == n - 2) return Cell{i, j, false};
  EXPECT_EQ(i + j + k, n);
  return k >= 1 ? Cell{i, j, true} : Cell{i, j - 1, true};
}

std::string Describe(double a, double b, double c, int32_t n) {
  char text[160];
  std::snprintf(text, sizeof text, "(%.17g, %.17g, %.17g) on %d", a, b, c, n);
  return text;
}

void ExpectSameCell(double a, double b, double c, int32_t n) {
  const std::optional<Cell> ours = CellOf(a, b, c, n), exact = ExactCell(a, b, c, n);
  ASSERT_EQ(ours.has_value(), exact.has_value()) << Describe(a, b, c, n);
  if (!exact) return;
  EXPECT_EQ(ours->i, exact->i) << Describe(a, b, c, n);
  EXPECT_EQ(ours->j, exact->j) << Describe(a, b, c, n);
  EXPECT_EQ(ours->up, exact->up) << Describe(a, b, c, n);
}

struct KnownCell {
  double a, b, c;
  int32_t n;
  std::optional<Cell> cell;
};

TEST(DensityCell, CornersEdgesAndSignsGoWhereTheRuleSays) {
  const KnownCell cases[] = {
      {1, 0, 0, 50, Cell{49, 0, true}},   // vertex 1: u = N counts as N - 1
      {0, 1, 0, 50, Cell{0, 49, true}},   // vertex 2
      {0, 0, 1, 50, Cell{0, 0, true}},    // vertex 3
      {1, 1, 1, 3, Cell{1, 1, true}},     // the centroid, a lattice point
      {1, 1, 0, 2, Cell{1, 0, true}},     // a lattice point on the edge w = 0
      {1, 1, 2, 4, Cell{1, 1, true}},
      {30, 20, 50, 10, Cell{3, 2, true}},  // amounts of 100 on lattice lines
      {3, 2, 5, 10, Cell{3, 2, true}},     // the same ratios, another sum
      {-1, -1, -1, 3, Cell{1, 1, true}},   // all negative: the point lies inside
      {-1, 2, 2, 50, std::nullopt},        // beyond the edge opposite vertex 1
      {1, -1, 1, 50, std::nullopt},
      {1, -1, 0, 50, std::nullopt},        // no sum, no point
      {0, 0, 0, 50, std::nullopt},
      {std::numeric_limits<double>::quiet_NaN(), 1, 1, 50, std::nullopt},
      // Exactly: 0.5 / (1 + 1e-300) lies below a half, where doubles find one.
      {0.5, 0.5, 1e-300, 2, Cell{0, 0, false}},
      // Far below the others, still decisive at the edge.
      {1e300, 1e300, 4.9406564584124654e-324, 2, Cell{0, 0, false}},
      {-0.0, 1, 1, 2, Cell{0, 1, true}},
  };
  for (const KnownCell& k : cases) {
    const std::optional<Cell> cell = CellOf(k.a, k.b, k.c, k.n);
    ASSERT_EQ(cell.has_value(), k.cell.has_value()) << Describe(k.a, k.b, k.c, k.n);
    if (k.cell) {
      EXPECT_EQ(*cell, *k.cell) << Describe(k.a, k.b, k.c, k.n);
    }
    ExpectSameCell(k.a, k.b, k.c, k.n);
  }
}

TEST(DensityCell, RandomAmountsMatchAnExactCount) {
  std::mt19937_64 random(24);
  std::uniform_real_distribution<double> amount(0, 100), sign(-1, 1);
  std::uniform_int_distribution<int> exponent(-60, 60);
  for (const int32_t n : {25, 50, 100, 7, 6400}) {
    for (int k = 0; k < 20000; ++k) {
      double v[3] = {amount(random), amount(random), amount(random)};
      if (k % 4 == 1) v[k % 3] = 0;                                  // a missing component
      if (k % 4 == 2) v[k % 3] = -amount(random) / 20;               // slightly negative
      if (k % 8 == 3) for (double& x : v) x = std::ldexp(x, exponent(random));  // any magnitude
      if (k % 16 == 5) for (double& x : v) x = -x;                   // all negative
      if (k % 32 == 7) v[0] = sign(random) * 1e-310;                 // subnormal
      ExpectSameCell(v[0], v[1], v[2], n);
    }
  }
}

TEST(DensityCell, AmountsOnCellEdgesMatchAnExactCount) {
  // Integers make points exactly on lattice lines and at lattice points; the same divided by
  // ten, which doubles cannot hold, put them a hair to one side or the other.
  std::mt19937_64 random(2024);
  for (const int32_t n : {25, 50, 100}) {
    std::uniform_int_distribution<int> lattice(0, n), spread(0, 1000);
    for (int k = 0; k < 20000; ++k) {
      const int i = lattice(random), g = 1 + spread(random) % 7;
      const int rest = (n - std::min(i, n)) * g;
      const int j = rest > 0 ? spread(random) % (rest + 1) : 0;
      double v[3] = {static_cast<double>(i * g), static_cast<double>(j), static_cast<double>(rest - j)};
      if (k % 3 == 1) for (double& x : v) x /= 10;
      if (k % 3 == 2) for (double& x : v) x *= 0.3;
      // Every rotation, so each coordinate is the one on the line.
      ExpectSameCell(v[0], v[1], v[2], n);
      ExpectSameCell(v[1], v[2], v[0], n);
      ExpectSameCell(v[2], v[0], v[1], n);
    }
  }
}

SampleTable TableOf(const std::vector<std::array<double, 4>>& rows) {
  SampleTable t;
  t.Resize(static_cast<int32_t>(rows.size()));
  for (size_t r = 0; r < rows.size(); ++r)
    for (int c = 0; c < 4; ++c) t.SampleValues[r + 1][c + 1] = rows[r][c];
  t.CompletedRows = t.SampleCount;
  return t;
}

// Every `every`-th row whole amounts from `least` to 20 (their points lie on cell edges and
// corners; FeO at least 1), the others any amounts from `lowest` to 100.
std::vector<std::array<double, 4>> EdgeAndRandomRows(uint64_t seed, int count, int every, int least, double lowest) {
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<int> whole(least, 20);
  std::uniform_real_distribution<double> amount(lowest, 100);
  std::vector<std::array<double, 4>> rows;
  for (int k = 0; k < count; ++k) {
    if (k % every == every - 1)
      rows.push_back({double(whole(random)), double(whole(random)), double(whole(random)), double(whole(random) + 1)});
    else
      rows.push_back({amount(random), amount(random), amount(random), amount(random)});
  }
  return rows;
}

TEST(DensityCount, EveryFaceMatchesAnExactCountOnBothCores) {
  // Enough rows for the second core, many on edges, some outside a face.
  const std::vector<std::array<double, 4>> rows = EdgeAndRandomRows(7, 120'000, 2, 0, -5);
  const SampleTable table = TableOf(rows);
  constexpr int32_t n = 25;
  const DensityField field = CountDensity(table, table.SampleCount, n);
  for (int f = 1; f <= 4; ++f) {
    std::map<std::tuple<int, int, bool>, uint32_t> expected;
    int64_t outside = 0;
    for (const auto& row : rows) {
      const int* c = kFaceComponents[f - 1];
      const std::optional<Cell> cell = ExactCell(row[c[0] - 1], row[c[1] - 1], row[c[2] - 1], n);
      if (cell) ++expected[{cell->i, cell->j, cell->up}];
      else ++outside;
    }
    const CellCounts& counts = field.faces[f - 1];
    EXPECT_EQ(counts.outsideFace, outside) << "face " << f;
    EXPECT_EQ(counts.outsideWindow, 0);
    for (int32_t j = 0; j < n; ++j)
      for (int32_t i = 0; i + j < n; ++i)
        for (const bool up : {true, false}) {
          if (!up && i + j > n - 2) continue;
          const auto it = expected.find({i, j, up});
          EXPECT_EQ(counts.Count({i, j, up}), it == expected.end() ? 0u : it->second)
              << "face " << f << " cell " << i << ", " << j << (up ? " up" : " down");
        }
  }
}

TEST(DensityCount, AWindowCountsOnlyItsCellsAndTheRestAside) {
  const SampleTable table = TableOf({{30, 20, 50, 0}, {10, 10, 80, 0}, {90, 5, 5, 0}, {-10, 50, 60, 0}});
  // Face 1 on a lattice of 10: cells (3, 2), (1, 1) and (9, 0) are hit; one row lies outside.
  const CellWindow window{1, 10, 0, 0, 4, 4};
  const std::vector<CellCounts> counts = CountCells(table, table.SampleCount, {&window, 1});
  ASSERT_EQ(counts.size(), 1u);
  EXPECT_EQ(counts[0].Count({3, 2, true}), 1u);
  EXPECT_EQ(counts[0].Count({1, 1, true}), 1u);
  EXPECT_EQ(counts[0].outsideWindow, 1);  // (9, 0)
  EXPECT_EQ(counts[0].outsideFace, 1);
}

TEST(DensityCount, RowsWithoutAColourAreLeftOut) {
  // A hidden group's samples: every other row here, counted nowhere, not even outside.
  std::vector<std::array<double, 4>> rows, even;
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> amount(-3, 60);
  for (int k = 0; k < 60'000; ++k) {
    rows.push_back({amount(random), amount(random), amount(random), amount(random)});
    if (k % 2 == 0) even.push_back(rows.back());
  }
  DiscColours shown;
  shown.palette = {kBlue};
  for (size_t k = 0; k < rows.size(); ++k) shown.ofCentre.push_back(k % 2 == 0 ? 0 : kNoDisc);
  const DensityField filtered = CountDensity(TableOf(rows), static_cast<int32_t>(rows.size()), 25, &shown);
  const DensityField expected = CountDensity(TableOf(even), static_cast<int32_t>(even.size()), 25);
  EXPECT_EQ(filtered.outside, expected.outside);
  EXPECT_EQ(filtered.maxCount, expected.maxCount);
  for (int f = 0; f < 4; ++f) {
    EXPECT_EQ(filtered.faces[f].up, expected.faces[f].up) << "face " << f + 1;
    EXPECT_EQ(filtered.faces[f].down, expected.faces[f].down) << "face " << f + 1;
  }
}

// A magnified view's cells, counted through the symbol index near the shown region, against
// one pass over every row, on fine lattices and boxes of every size, on and off the edges.
TEST(DensityCount, NearARegionEveryCellOfItsWindowsMatchesTheFullCount) {
  const std::vector<std::array<double, 4>> rows = EdgeAndRandomRows(11, 40'000, 3, 1, -2);
  SampleTable table = TableOf(rows);
  const DiagramGeometry geometry = ComputeDiagramGeometry();
  for (int32_t r = 1; r <= table.SampleCount; ++r) ProjectRow(geometry, table, r);
  SymbolIndex index;
  index.Build(CollectSymbolCentres(table));
  DiscColours shown;
  shown.palette = {kBlue};
  for (size_t k = 0; k < rows.size(); ++k) shown.ofCentre.push_back(k % 5 == 0 ? kNoDisc : 0);

  struct Case {
    int32_t divisions;
    double x0, y0, x1, y1;
  } cases[] = {
      {100, 0, 0, 2000, 2000},      // every face whole
      {200, 700, 500, 1300, 1100},  // across the central face and its neighbours
      {400, 900, 900, 1150, 1150},
      {3200, 980, 1010, 1010, 1040},
      {6400, 0, 0, 40, 40},         // off the net
      {800, 1500, 300, 2100, 800},  // past the picture's edge
  };
  for (const Case& c : cases)
    for (const DiscColours* rowsShown : std::initializer_list<const DiscColours*>{nullptr, &shown}) {
      std::vector<CellWindow> windows;
      for (int f = 1; f <= 4; ++f) windows.push_back(WindowOver(geometry, f, c.divisions, c.x0, c.y0, c.x1, c.y1, 1));
      const std::vector<CellCounts> near = CountCellsNear(table, index, geometry, windows, rowsShown);
      const std::vector<CellCounts> all = CountCells(table, table.SampleCount, windows, rowsShown);
      ASSERT_EQ(near.size(), all.size());
      for (size_t w = 0; w < all.size(); ++w) {
        EXPECT_EQ(near[w].window, windows[w]);
        EXPECT_EQ(near[w].up, all[w].up) << "lattice " << c.divisions << " face " << w + 1;
        EXPECT_EQ(near[w].down, all[w].down) << "lattice " << c.divisions << " face " << w + 1;
      }
    }
}

TEST(DensityCount, AWindowOverABoxHoldsTheCellOfEverySampleShownInIt) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> amount(0.5, 100), place(0, 2000), size(1, 300);
  std::vector<std::array<double, 4>> rows;
  for (int k = 0; k < 5000; ++k) rows.push_back({amount(random), amount(random), amount(random), amount(random)});
  SampleTable table = TableOf(rows);
  const DiagramGeometry geometry = ComputeDiagramGeometry();
  for (int32_t r = 1; r <= table.SampleCount; ++r) ProjectRow(geometry, table, r);
  for (int box = 0; box < 200; ++box) {
    const double x0 = place(random), y0 = place(random), x1 = x0 + size(random), y1 = y0 + size(random);
    for (int f = 1; f <= 4; ++f) {
      const CellWindow w = WindowOver(geometry, f, 800, x0, y0, x1, y1);
      EXPECT_LT(w.Width(), 600);  // a small box, a part of the face
      for (int32_t r = 1; r <= table.SampleCount; ++r) {
        const Point& p = table.SamplePoints[r][f];
        if (p.x < x0 + 1 || p.x > x1 - 1 || p.y < y0 + 1 || p.y > y1 - 1) continue;
        const int* c = kFaceComponents[f - 1];
        const std::optional<Cell> cell = CellOf(rows[r - 1][c[0] - 1], rows[r - 1][c[1] - 1], rows[r - 1][c[2] - 1], 800);
        ASSERT_TRUE(cell);
        EXPECT_TRUE(w.i0 <= cell->i && cell->i < w.i1 && w.j0 <= cell->j && cell->j < w.j1)
            << "row " << r << " face " << f << " in box " << x0 << "," << y0;
      }
    }
  }
}

TEST(DensityColour, LogarithmicFromOneToTheFullestCell) {
  EXPECT_EQ(DensityScale(1, 1000), 0);
  EXPECT_EQ(DensityScale(1000, 1000), 1);
  EXPECT_NEAR(DensityScale(10, 1000), 1.0 / 3, 1e-12);
  EXPECT_EQ(DensityColour(1, 1000), (Rgb{68, 1, 84}));       // viridis' dark end
  EXPECT_EQ(DensityColour(1000, 1000), (Rgb{253, 231, 37}));  // its yellow end
}

TEST(DensityPolygonsTest, EveryCellIsDrawnOnceInItsColour) {
  // One sample in a cell of each face, on the lattice of 2: each face has one cell filled.
  const SampleTable table = TableOf({{1, 1, 1, 1}});
  const DiagramGeometry geometry = ComputeDiagramGeometry();
  const DensityField field = CountDensity(table, 1, 2);
  const std::vector<DensityPolygons> polygons = DensityCellPolygons(field, geometry);
  ASSERT_EQ(polygons.size(), 1u);  // one count, one colour
  EXPECT_EQ(polygons[0].set->counts.size(), 4u);  // one cell per face
  // The centroid lies in the middle cell of each face: the down cell (0, 0), a triangle.
  for (uint32_t corners : polygons[0].set->counts) EXPECT_EQ(corners, 3u);
}

TEST(DensityPolygonsTest, AWindowDrawsOnlyItsOwnCells) {
  // On a lattice of 4, the window of face 1's cells with i in [1, 3) and j in [0, 2).
  const SampleTable table = TableOf({{1, 1, 1, 1}, {10, 1, 1, 1}, {1, 10, 1, 1}, {1, 1, 10, 1}});
  const DiagramGeometry geometry = ComputeDiagramGeometry();
  const DensityField whole = CountDensity(table, table.SampleCount, 4);
  std::array<CellCounts, 4> faces;
  faces[0] = CountCells(table, table.SampleCount, std::vector<CellWindow>{{1, 4, 1, 0, 3, 2}})[0];
  for (int f = 1; f < 4; ++f) faces[f].window = {f + 1, 4, 0, 0, 0, 0};
  const DensityField window = FieldOf(4, faces, whole.outside);
  // Every corner on the window's lattice points: u in [1, 3], v in [0, 2].
  const Point v1 = geometry.Vertex(1, 1), v2 = geometry.Vertex(1, 2), v3 = geometry.Vertex(1, 3);
  size_t corners = 0;
  for (const DensityPolygons& p : DensityCellPolygons(window, geometry))
    for (const PicturePoint& point : p.set->points) {
      ++corners;
      bool onLattice = false;
      for (int u = 1; u <= 3; ++u)
        for (int v = 0; v <= 2; ++v) {
          const double x = (u * v1.x + v * v2.x + (4 - u - v) * v3.x) / 4.0, y = (u * v1.y + v * v2.y + (4 - u - v) * v3.y) / 4.0;
          onLattice = onLattice || (std::abs(point.x - x) <= 0.5 && std::abs(point.y - y) <= 0.5);
        }
      EXPECT_TRUE(onLattice) << point.x << "," << point.y;
    }
  EXPECT_GT(corners, 0u);
}

}  // namespace
}  // namespace ternova
