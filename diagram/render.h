#pragma once
#include <algorithm>
#include <cstdint>

#include "diagram/geometry.h"
#include "diagram/round.h"
#include "diagram/sample_table.h"
#include "picture/picture.h"
#include "picture/surface.h"

namespace ternova {

// How the diagram is drawn: the highlighted sample, the symbol radius and the two grids.
struct ViewState {
  int32_t SelectedSample = 0;  // 0, or any row outside 1..SampleCount: none
  int32_t SymbolSize = 6;      // 10 large, 6 medium, 3 small
  bool Grid10 = true;
  bool Grid50 = true;
};

// Draws the whole diagram from scratch into a new recording that replaces the picture's
// content. `gridDivisions` is the grid pass's divisor, left at its last value (9 or 1).
// A drawing cut short by an error still becomes the picture before the error goes on.
void DrawDiagram(const DiagramGeometry& geometry, const SampleTable& table, const ViewState& view,
                 int32_t& gridDivisions, DiagramPicture& picture, const SurfaceEnvironment& env);

// The symbol of a point: a circle of radius `r` around it, its box clamped to 32 bits so a point
// far outside the net stays outside.
inline op::Ellipse SymbolBox(const Point& p, int32_t r) {
  return {SaturateToInt32(int64_t{p.x} - r), SaturateToInt32(int64_t{p.y} - r), SaturateToInt32(int64_t{p.x} + r),
          SaturateToInt32(int64_t{p.y} + r)};
}
// Radius and colour of row `row`'s symbols: red at twice the size when it is the selected one.
inline int32_t SymbolRadius(const ViewState& view, int32_t row) {
  return row == view.SelectedSample ? view.SymbolSize * 2 : view.SymbolSize;
}
inline Rgb SymbolColour(const ViewState& view, int32_t row) { return row == view.SelectedSample ? kRed : kBlue; }

// One grid pass: N lines per direction on every face, parallel to each edge.
void DrawGridPass(DrawingSurface& surface, const DiagramGeometry& geometry, int32_t divisions);

}  // namespace ternova
