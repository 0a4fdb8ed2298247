#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "diagram/geometry.h"
#include "diagram/round.h"
#include "diagram/sample_table.h"
#include "diagram/symbol_centres.h"
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
// `centres`, when given, must have been collected from `table` as it is now.
void DrawDiagram(const DiagramGeometry& geometry, const SampleTable& table, const ViewState& view,
                 int32_t& gridDivisions, DiagramPicture& picture, const SurfaceEnvironment& env,
                 const SymbolCentres* centres = nullptr);

// The symbol of a point: a circle of radius `r` around it.
inline op::Ellipse SymbolBox(const Point& p, int32_t r) { return DiscBox({p.x, p.y}, r); }
// How a symbol looks: red at twice the size when its row is the selected one, else blue.
struct SymbolLook {
  int32_t radius;
  Rgb colour;
};
inline SymbolLook LookOfSymbol(const ViewState& view, bool selected) {
  return selected ? SymbolLook{view.SymbolSize * 2, kRed} : SymbolLook{view.SymbolSize, kBlue};
}
inline int32_t SymbolRadius(const ViewState& view, int32_t row) {
  return LookOfSymbol(view, row == view.SelectedSample).radius;
}
inline Rgb SymbolColour(const ViewState& view, int32_t row) { return LookOfSymbol(view, row == view.SelectedSample).colour; }

// One grid pass: N lines per direction on every face, parallel to each edge.
void DrawGridPass(DrawingSurface& surface, const DiagramGeometry& geometry, int32_t divisions);

}  // namespace ternova
