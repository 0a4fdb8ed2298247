#pragma once
// The density view's counts: each face divided into small triangular cells, as a ternary grid
// divides it, and how many samples fall in each. A cell is found by exact arithmetic, so a
// sample on a cell edge belongs to exactly one cell on every run and machine.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "diagram/geometry.h"
#include "diagram/sample_table.h"
#include "diagram/symbol_index.h"
#include "picture/picture.h"

namespace ternova {

// The cell sizes the view offers: cells per face edge.
inline constexpr int32_t kDensityDivisions[] = {25, 50, 100};
inline constexpr int32_t kDefaultDensityDivisions = 50;

// A cell of the lattice that divides a face's edges into N parts. A point with weights a, b, c
// for the face's vertices 1, 2, 3 has lattice coordinates u = N a / s, v = N b / s,
// w = N c / s (s = a + b + c; u + v + w = N). Cell (i, j) "up" is the triangle with corners
// (u, v) = (i, j), (i + 1, j), (i, j + 1); "down" is (i + 1, j), (i, j + 1), (i + 1, j + 1).
struct Cell {
  int32_t i = 0, j = 0;
  bool up = true;
  friend bool operator==(const Cell&, const Cell&) = default;
};

// The cell of a point with weights a, b, c on a lattice of `divisions` (1 to 8192): i, j and k
// are the floors of u, v and w, a coordinate of N counting as N - 1; the cell is up when they
// add up to N - 1 and down when they add up to N - 2. A lattice point (all three whole) goes
// to the up cell that has it as its (i, j) corner, or on the edge w = 0 to the one below it.
// None for a point outside the face: a weight of the sign opposite to their sum, a sum of 0
// or a weight that is no number.
std::optional<Cell> CellOf(double a, double b, double c, int32_t divisions);

// The cells to count on one face: a lattice and the cells with i in [i0, i1) and j in [j0, j1)
// (a zoomed view counts only what it shows, on a finer lattice).
struct CellWindow {
  int face = 1;  // 1..4
  int32_t divisions = kDefaultDensityDivisions;
  int32_t i0 = 0, j0 = 0, i1 = 0, j1 = 0;
  static CellWindow WholeFace(int face, int32_t divisions) { return {face, divisions, 0, 0, divisions, divisions}; }
  int32_t Width() const { return i1 - i0; }
  int32_t Height() const { return j1 - j0; }
  bool Empty() const { return i1 <= i0 || j1 <= j0; }
  // Whether every cell of `other` (on the same lattice) is one of these.
  bool Covers(const CellWindow& other) const {
    return face == other.face && divisions == other.divisions &&
           (other.Empty() || (i0 <= other.i0 && j0 <= other.j0 && i1 >= other.i1 && j1 >= other.j1));
  }
  friend bool operator==(const CellWindow&, const CellWindow&) = default;
};

// The cells of face `face` on a lattice of `divisions` that reach into the box (x0, y0)-(x1, y1)
// of drawing units, with `margin` cells more on every side; empty where the box misses the face.
CellWindow WindowOver(const DiagramGeometry& geometry, int face, int32_t divisions, double x0, double y0, double x1,
                      double y1, int32_t margin = 0);

struct CellCounts {
  CellWindow window;
  // Cell (i, j) at (i - i0) + (j - j0) * width; cells past the face's edge stay 0.
  std::vector<uint32_t> up, down;
  int64_t outsideFace = 0;    // rows whose point lies outside the face
  int64_t outsideWindow = 0;  // rows on the face, in no cell of the window
  uint32_t Count(const Cell& c) const;
  bool Holds(const Cell& c) const {
    return c.i >= window.i0 && c.i < window.i1 && c.j >= window.j0 && c.j < window.j1;
  }
};

// Counts rows 1..rows of `table` into the cells of each window (one per face, any order; a
// face may come more than once). With `shown`, only the rows it gives a colour (row r at r - 1)
// count: a hidden group's samples are not in the view. Large tables are counted on two cores.
std::vector<CellCounts> CountCells(const SampleTable& table, int32_t rows, std::span<const CellWindow> windows,
                                   const DiscColours* shown = nullptr);
// The same counts of every cell of the windows, found through the index of the table's symbols:
// only the samples near the windows are looked at, which pays when they cover a small part of
// the net. The counts of rows outside the windows are not kept.
std::vector<CellCounts> CountCellsNear(const SampleTable& table, const SymbolIndex& index,
                                       const DiagramGeometry& geometry, std::span<const CellWindow> windows,
                                       const DiscColours* shown = nullptr);

// Every face of the table at one cell size: what the density view draws.
struct DensityField {
  int32_t divisions = 0;
  std::array<CellCounts, 4> faces;  // face f at f - 1
  uint32_t maxCount = 0;            // of any cell, or where the scale ends
  // How many samples each counted one stands for on the colour scale. A magnified view's
  // lattice, 2^k times as fine, is coloured by the whole view's scale with each sample standing
  // for 4^k: its cells are a 4^k-th of the size, so one colour is one density at any zoom, and
  // the colours stay as they are while the view moves.
  uint64_t weight = 1;
  // The colour of a cell of the field holding `count` samples.
  double Scale(uint32_t count) const;
  int64_t outside = 0;              // points outside their face, all faces together
};
DensityField CountDensity(const SampleTable& table, int32_t rows, int32_t divisions, const DiscColours* shown = nullptr);
// A field of the given counts (one window per face, face f at f - 1): its fullest cell, and
// `outside` as counted over the whole faces.
DensityField FieldOf(int32_t divisions, std::array<CellCounts, 4> faces, int64_t outside);

// Viridis, sampled by one function as its colour bar is.
Rgb SampleViridis(double t);  // t in [0, 1]

// The colour of a cell holding `count` samples when the fullest holds `maxCount`: the colour
// map on a logarithmic scale from 1 to maxCount. Only counts of 1 and more are drawn.
double DensityScale(uint32_t count, uint32_t maxCount);  // 0 for 1, 1 for maxCount
Rgb DensityColour(uint32_t count, uint32_t maxCount);
Rgb DensityColour(const DensityField& field, uint32_t count);

// The cells of a field's windows as polygons, one set per colour in use: each row of cells (j fixed)
// goes out as runs of neighbouring cells of the same colour, one polygon per run. Corners
// lie on the lattice points of `geometry`'s faces, rounded as the grid lines are.
struct DensityPolygons {
  Rgb colour;
  std::shared_ptr<const PolygonSet> set;
};
std::vector<DensityPolygons> DensityCellPolygons(const DensityField& field, const DiagramGeometry& geometry);

}  // namespace ternova
