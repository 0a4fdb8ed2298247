#include "diagram/symbol_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace ternova {
namespace {

// What the diagram shows at p: walk every symbol in drawing order, the last covering one wins.
int32_t LastDrawnCovering(const SampleTable& t, int64_t px, int64_t py, int32_t size, int32_t selected) {
  const int32_t rows = std::min(t.SampleCount, t.CompletedRows);
  int32_t found = 0;
  for (int face = 1; face <= 4; ++face) {
    for (int32_t row = 1; row <= rows; ++row) {
      const __int128 r = std::llabs(int64_t{size}) * (row == selected ? 2 : 1);
      const __int128 dx = px - t.SamplePoints[row][face].x, dy = py - t.SamplePoints[row][face].y;
      if (r > 0 && dx * dx + dy * dy <= r * r) found = row;
    }
  }
  return found;
}

SampleTable Table(int32_t rows) {
  SampleTable t;
  t.Resize(rows);
  t.CompletedRows = rows;
  return t;
}

TEST(SymbolIndexTest, AgreesWithAScanOfEverySymbolOnRandomTables) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    const int32_t rows = std::uniform_int_distribution<int32_t>(0, 400)(rng);
    SampleTable t = Table(rows);
    // Mostly crowded into a small patch so symbols overlap; some anywhere in the space; a few
    // far outside it, up to the ends of the 32-bit range.
    std::uniform_int_distribution<int32_t> patch(900, 1000), space(-50, 2100),
        anywhere(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    for (int32_t row = 1; row <= rows; ++row) {
      for (int face = 1; face <= 4; ++face) {
        const int kind = std::uniform_int_distribution<int>(0, 9)(rng);
        auto& p = t.SamplePoints[row][face];
        if (kind < 6) p = {patch(rng), patch(rng)};
        else if (kind < 9) p = {space(rng), space(rng)};
        else p = {anywhere(rng), space(rng)};
      }
    }
    // Rows a failed load never completed are not drawn, and so not found.
    if (round % 4 == 3 && rows > 0) t.CompletedRows = rows / 2;
    // Built first for another table of as many rows, whose entries the second build reuses.
    SampleTable other = t;
    for (int32_t row = 1; row <= rows; ++row) other.SamplePoints[row] = t.SamplePoints[rows + 1 - row];
    SymbolIndex index;
    index.Build(CollectSymbolCentres(other));
    index.Build(CollectSymbolCentres(t));
    for (int32_t size : {3, 6, 10, 25, -6}) {
      for (int32_t selected : {0, 1, rows / 3, rows, rows + 1}) {
        for (int q = 0; q < 300; ++q) {
          int64_t x, y;
          if (q % 3 == 0 && rows > 0) {
            // On a centre or just beside one, where the rim decides.
            const Point& c = t.SamplePoints[std::uniform_int_distribution<int32_t>(1, rows)(rng)][1 + q % 4];
            x = int64_t{c.x} + std::uniform_int_distribution<int32_t>(-2 * std::abs(size), 2 * std::abs(size))(rng);
            y = int64_t{c.y} + std::uniform_int_distribution<int32_t>(-2 * std::abs(size), 2 * std::abs(size))(rng);
          } else {
            x = q % 3 == 1 ? patch(rng) : space(rng);
            y = q % 3 == 1 ? patch(rng) : space(rng);
          }
          const SymbolHit hit = index.Find(static_cast<double>(x), static_cast<double>(y), size, selected);
          ASSERT_EQ(hit.row, LastDrawnCovering(t, x, y, size, selected))
              << "round " << round << " size " << size << " selected " << selected << " at " << x << "," << y;
          if (hit.row) {
            EXPECT_EQ(hit.centre, t.SamplePoints[hit.row][hit.face]);
            EXPECT_EQ(hit.radius, std::abs(size) * (hit.row == selected ? 2 : 1));
          }
        }
      }
    }
  }
}

TEST(SymbolIndexTest, ALargeTableIndexedOnTwoCoresAgreesWithAScan) {
  std::mt19937 rng(13);
  const int32_t rows = 150'000;
  SampleTable t = Table(rows);
  // Crowded, so every bucket of the patch holds symbols of all four faces.
  std::uniform_int_distribution<int32_t> patch(960, 1040);
  for (int32_t row = 1; row <= rows; ++row)
    for (int face = 1; face <= 4; ++face) t.SamplePoints[row][face] = {patch(rng), patch(rng)};
  SymbolIndex index;
  index.Build(CollectSymbolCentres(t));
  for (int q = 0; q < 40; ++q) {
    const int64_t x = patch(rng), y = patch(rng);
    const int32_t selected = q % 2 ? std::uniform_int_distribution<int32_t>(1, rows)(rng) : 0;
    ASSERT_EQ(index.Find(static_cast<double>(x), static_cast<double>(y), 3, selected).row, LastDrawnCovering(t, x, y, 3, selected));
  }
  std::vector<std::pair<int, int32_t>> want, got;
  for (int face = 1; face <= 4; ++face)
    for (int32_t row = 1; row <= rows; ++row) {
      const Point& p = t.SamplePoints[row][face];
      if (p.x >= 995 && p.x <= 1001 && p.y >= 1000 && p.y <= 1003) want.emplace_back(face, row);
    }
  std::reverse(want.begin(), want.end());
  SymbolIndex::TopmostWalk walk(index, 995, 1000, 1001, 1003, 0);
  for (PlacedSymbol s; walk.Next(s);) got.emplace_back(s.face, s.row);
  EXPECT_EQ(got, want);
}

TEST(SymbolIndexTest, ARebuildForAnotherSizeGivesTheOldEntriesBackBeforeTakingNewOnes) {
  // Over a megabyte of entries either way, and within one block of each other: the new entries
  // can only reuse the old ones' block if it was given back first.
  SampleTable big = Table(100'000), smaller = Table(99'990);
  SymbolIndex index;
  index.Build(CollectSymbolCentres(big));
  const SymbolCentres centres = CollectSymbolCentres(smaller);
  ReleaseKeptBigBlocks();
  index.Build(centres);
  EXPECT_EQ(KeptBigBytes(), 0u);
  index.Clear();
  EXPECT_GT(KeptBigBytes(), 0u);  // cleared means given back
  ReleaseKeptBigBlocks();
}

TEST(SymbolIndexTest, TopmostWalkListsEverySymbolOfABoxLastDrawnFirst) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20; ++round) {
    const int32_t rows = std::uniform_int_distribution<int32_t>(0, 300)(rng);
    SampleTable t = Table(rows);
    std::uniform_int_distribution<int32_t> patch(900, 1000), space(-50, 2100),
        anywhere(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    for (int32_t row = 1; row <= rows; ++row)
      for (int face = 1; face <= 4; ++face) {
        const int kind = std::uniform_int_distribution<int>(0, 9)(rng);
        t.SamplePoints[row][face] = kind < 6 ? Point{patch(rng), patch(rng)}
                                    : kind < 9 ? Point{space(rng), space(rng)}
                                               : Point{anywhere(rng), anywhere(rng)};
      }
    if (round % 4 == 3 && rows > 0) t.CompletedRows = rows / 2;
    // Built first for another table of as many rows, whose entries the second build reuses.
    SampleTable other = t;
    for (int32_t row = 1; row <= rows; ++row) other.SamplePoints[row] = t.SamplePoints[rows + 1 - row];
    SymbolIndex index;
    index.Build(CollectSymbolCentres(other));
    index.Build(CollectSymbolCentres(t));
    for (int q = 0; q < 50; ++q) {
      const int64_t x0 = space(rng), y0 = space(rng), reach = std::uniform_int_distribution<int64_t>(0, 40)(rng);
      const int64_t x1 = x0 + std::uniform_int_distribution<int64_t>(0, 120)(rng), y1 = y0 + std::uniform_int_distribution<int64_t>(0, 120)(rng);
      std::vector<std::pair<int, int32_t>> want;  // (face, row): drawing order
      for (int face = 1; face <= 4; ++face)
        for (int32_t row = 1; row <= std::min(t.SampleCount, t.CompletedRows); ++row) {
          const Point& p = t.SamplePoints[row][face];
          if (p.x >= x0 - reach && p.x <= x1 + reach && p.y >= y0 - reach && p.y <= y1 + reach) want.emplace_back(face, row);
        }
      std::reverse(want.begin(), want.end());
      std::vector<std::pair<int, int32_t>> got;
      SymbolIndex::TopmostWalk walk(index, x0, y0, x1, y1, reach);
      for (PlacedSymbol s; walk.Next(s);) {
        got.emplace_back(s.face, s.row);
        EXPECT_EQ(s.centre, t.SamplePoints[s.row][s.face]);
      }
      ASSERT_EQ(got, want) << "round " << round << " box " << x0 << "," << y0 << " " << x1 << "," << y1;
      // The count of the buckets around the box holds every symbol in it, and the whole space all.
      EXPECT_GE(index.CountAround(double(x0 - reach), double(y0 - reach), double(x1 + reach), double(y1 + reach)),
                static_cast<int64_t>(want.size()));
    }
    EXPECT_EQ(index.CountAround(-1e300, -1e300, 1e300, 1e300), 4 * int64_t{std::min(t.SampleCount, t.CompletedRows)});
  }
}

TEST(SymbolIndexTest, TheRimAndTheDrawingOrderDecide) {
  SampleTable t = Table(3);
  for (int face = 1; face <= 4; ++face) t.SamplePoints[1][face] = t.SamplePoints[2][face] = {-5000, -5000};
  t.SamplePoints[1][3] = {100, 100};
  t.SamplePoints[2][1] = {103, 104};  // overlaps row 1's face 3, but face 1 is drawn first
  t.SamplePoints[3] = {Point{}, {500, 500}, {500, 500}, {500, 500}, {500, 500}};
  SymbolIndex index;
  index.Build(CollectSymbolCentres(t));

  // A 3-4-5 triangle: exactly on the rim counts, one unit beyond does not.
  EXPECT_EQ(index.Find(103, 104, 5, 0).row, 1);  // face 3 of row 1 lies over face 1 of row 2
  EXPECT_EQ(index.Find(106, 108, 5, 0).row, 2);
  EXPECT_EQ(index.Find(106, 109, 5, 0).row, 0);
  EXPECT_EQ(index.Find(104, 103, 5, 0).row, 1);
  // The selected row is drawn at twice the radius; its place in the order stays.
  EXPECT_EQ(index.Find(106, 109, 5, 2).row, 2);
  EXPECT_EQ(index.Find(100, 110, 5, 1).row, 1);
  EXPECT_EQ(index.Find(100, 110, 5, 0).row, 0);
  // Same centre on every face: the hit is the last face.
  EXPECT_EQ(index.Find(500, 500, 3, 0).face, 4);
  // Between pixels, as the window asks.
  EXPECT_EQ(index.Find(102.5, 103.5, 5, 0).row, 1);
  EXPECT_EQ(index.Find(std::nan(""), 100, 5, 0).row, 0);
  EXPECT_EQ(index.Find(std::numeric_limits<double>::infinity(), 100, 5, 0).row, 0);
  EXPECT_EQ(index.Find(100, 100, 0, 0).row, 0);
  // Far-away symbols are still found where they are.
  EXPECT_EQ(index.Find(-5000, -5000, 3, 0).row, 2);
}

TEST(SymbolIndexTest, ABuildReplacesWhatWasThere) {
  SampleTable big = Table(50);
  for (int32_t row = 1; row <= 50; ++row)
    for (int face = 1; face <= 4; ++face) big.SamplePoints[row][face] = {row * 20, face * 300};
  SymbolIndex index;
  index.Build(CollectSymbolCentres(big));
  EXPECT_EQ(index.Rows(), 50);
  EXPECT_EQ(index.Find(1000, 300, 6, 0).row, 50);

  SampleTable small = Table(2);
  index.Build(CollectSymbolCentres(small));  // every centre at (0, 0)
  EXPECT_EQ(index.Rows(), 2);
  EXPECT_EQ(index.Find(1000, 300, 6, 0).row, 0);
  EXPECT_EQ(index.Find(0, 0, 6, 0).row, 2);

  // A table whose load failed before its first row draws nothing.
  SampleTable failed = Table(5);
  failed.CompletedRows = 0;
  index.Build(CollectSymbolCentres(failed));
  EXPECT_EQ(index.Find(0, 0, 6, 0).row, 0);
  index.Clear();
  EXPECT_EQ(index.Rows(), 0);
}

}  // namespace
}  // namespace ternova
