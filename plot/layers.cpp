#include "plot/layers.h"

#include "diagram/render.h"

namespace ternova {

void BackgroundLayer(LayerInput& in) {
  DrawingSurface& s = in.surface;
  s.SetBrushStyle(FillStyle::Solid);
  s.SetBrushColour(kWhite);
  s.SetPenStyle(FillStyle::None);
  s.Rectangle(0, 0, 2000, 2000);
}

void OutlineLayer(LayerInput& in) {
  DrawingSurface& s = in.surface;
  const DiagramGeometry& g = in.geometry;
  s.SetPenStyle(FillStyle::Solid);
  s.SetPenColour(kBlack);
  s.SetPenWidth(6);
  // One path: the central triangle, then the three folded out from its edges.
  s.MoveTo(g.VertexSiO2.x, g.VertexSiO2.y);
  for (const Point& p : {g.VertexAlCa, g.VertexMgO, g.VertexSiO2, g.VertexFeO1, g.VertexAlCa, g.VertexFeO2,
                         g.VertexMgO, g.VertexFeO3, g.VertexSiO2})
    s.LineTo(p.x, p.y);
}

void GridLayer(LayerInput& in) {
  DrawingSurface& s = in.surface;
  s.SetPenColour(kGrey);
  s.SetPenWidth(2);
  if (in.view.Grid10) {
    in.gridDivisions = 9;
    DrawGridPass(s, in.geometry, in.gridDivisions);
  }
  // The 50 % lines come after the 10 % ones, so where both are on they end up black.
  s.SetPenColour(kBlack);
  s.SetPenWidth(2);
  if (in.view.Grid50) {
    in.gridDivisions = 1;
    DrawGridPass(s, in.geometry, in.gridDivisions);
  }
}

void LabelLayer(LayerInput& in) {
  DrawingSurface& s = in.surface;
  const DiagramGeometry& g = in.geometry;
  // The brush is still solid white: each label hides the lines under it.
  s.SetFontSize(50);
  s.TextOut(g.VertexSiO2.x + 50, g.VertexSiO2.y, "SiO2");
  s.TextOut(g.VertexAlCa.x, g.VertexAlCa.y - 100, "Al2O3+CaO");
  s.TextOut(g.VertexMgO.x - 150, g.VertexMgO.y, "MgO");
  s.TextOut(g.VertexFeO1.x, g.VertexFeO1.y - 100, "FeO");
  s.TextOut(g.VertexFeO2.x, g.VertexFeO2.y - 100, "FeO");
  s.TextOut(g.VertexFeO3.x, g.VertexFeO3.y, "FeO");
}

void SymbolLayer(LayerInput& in) {
  DrawingSurface& s = in.surface;
  in.drawn.firstSymbolOp = s.OperationCount();
  s.SetBrushStyle(FillStyle::Solid);
  s.SetPenStyle(FillStyle::None);
  // Face by face and row by row, so later rows cover earlier ones, the highlighted one too.
  const auto rows = static_cast<uint32_t>(in.centres.rows);
  const int32_t selectedRow = in.view.SelectedSample;
  const bool selected = selectedRow >= 1 && selectedRow <= in.centres.rows;
  const auto before = selected ? static_cast<uint32_t>(selectedRow - 1) : rows;
  const SymbolLook plain = LookOfSymbol(in.view, false), highlighted = LookOfSymbol(in.view, true);
  for (int face = 1; face <= 4; ++face) {
    const auto& faceCentres = in.centres.faces[face];
    s.SetBrushColour(plain.colour);
    s.Discs(faceCentres, 0, before, plain.radius);
    if (!selected) continue;
    s.SetBrushColour(highlighted.colour);
    s.Discs(faceCentres, before, before + 1, highlighted.radius);
    s.SetBrushColour(plain.colour);
    s.Discs(faceCentres, before + 1, rows, plain.radius);
  }
}

Drawn DrawLayers(std::span<const Layer> layers, const DiagramGeometry& geometry, const SampleTable& table,
                 const SymbolCentres& centres, const ViewState& view, int32_t& gridDivisions, DiagramPicture& picture,
                 const SurfaceEnvironment& env) {
  DrawingSurface surface(picture, env);  // ends the recording on every path
  Drawn drawn;
  LayerInput in{surface, geometry, table, centres, view, gridDivisions, drawn};
  for (const Layer layer : layers) layer(in);
  surface.End();
  return drawn;
}

Drawn DrawDiagram(const DiagramGeometry& geometry, const SampleTable& table, const ViewState& view,
                  int32_t& gridDivisions, DiagramPicture& picture, const SurfaceEnvironment& env,
                  const SymbolCentres* centres) {
  SymbolCentres collected;
  if (!centres || centres->rows != DrawnRows(table)) {
    collected = CollectSymbolCentres(table);
    centres = &collected;
  }
  return DrawLayers(kLayers, geometry, table, *centres, view, gridDivisions, picture, env);
}

}  // namespace ternova
