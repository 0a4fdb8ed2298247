#include "diagram/render.h"

#include <algorithm>

#include "diagram/round.h"

namespace ternova {

void DrawGridPass(DrawingSurface& surface, const DiagramGeometry& geometry, int32_t divisions) {
  const int32_t n = divisions;
  for (int face = 1; face <= 4; ++face) {
    for (int32_t i = 1; i <= n; ++i) {
      for (int j = 1; j <= 3; ++j) {
        const Point& va = geometry.Vertex(face, j);
        const Point& vb = geometry.Vertex(face, j % 3 + 1);
        const Point& vc = geometry.Vertex(face, (j + 1) % 3 + 1);
        const double u = static_cast<double>(i) / (n + 1);
        const double w = static_cast<double>(n + 1 - i) / (n + 1);
        surface.MoveTo(RoundHalfAway(u * va.x + w * vb.x), RoundHalfAway(u * va.y + w * vb.y));
        surface.LineTo(RoundHalfAway(w * vb.x + u * vc.x), RoundHalfAway(w * vb.y + u * vc.y));
      }
    }
  }
}

void DrawDiagram(const DiagramGeometry& g, const SampleTable& table, const ViewState& view,
                 int32_t& gridDivisions, DiagramPicture& picture, const SurfaceEnvironment& env,
                 const SymbolCentres* centres) {
  DrawingSurface surface(picture, env);  // ends the recording on every path

  surface.SetBrushStyle(FillStyle::Solid);
  surface.SetBrushColour(kWhite);
  surface.SetPenStyle(FillStyle::None);
  surface.Rectangle(0, 0, 2000, 2000);

  surface.SetPenStyle(FillStyle::Solid);
  surface.SetPenColour(kBlack);
  surface.SetPenWidth(6);
  surface.MoveTo(g.VertexSiO2.x, g.VertexSiO2.y);
  for (const Point& p : {g.VertexAlCa, g.VertexMgO, g.VertexSiO2, g.VertexFeO1, g.VertexAlCa, g.VertexFeO2,
                         g.VertexMgO, g.VertexFeO3, g.VertexSiO2})
    surface.LineTo(p.x, p.y);

  surface.SetPenColour(kGrey);
  surface.SetPenWidth(2);
  if (view.Grid10) {
    gridDivisions = 9;
    DrawGridPass(surface, g, gridDivisions);
  }
  // The 50 % lines come after the 10 % ones, so where both are on they end up black.
  surface.SetPenColour(kBlack);
  surface.SetPenWidth(2);
  if (view.Grid50) {
    gridDivisions = 1;
    DrawGridPass(surface, g, gridDivisions);
  }

  // The brush is still solid white: each label hides the lines under it.
  surface.SetFontSize(50);
  surface.TextOut(g.VertexSiO2.x + 50, g.VertexSiO2.y, "SiO2");
  surface.TextOut(g.VertexAlCa.x, g.VertexAlCa.y - 100, "Al2O3+CaO");
  surface.TextOut(g.VertexMgO.x - 150, g.VertexMgO.y, "MgO");
  surface.TextOut(g.VertexFeO1.x, g.VertexFeO1.y - 100, "FeO");
  surface.TextOut(g.VertexFeO2.x, g.VertexFeO2.y - 100, "FeO");
  surface.TextOut(g.VertexFeO3.x, g.VertexFeO3.y, "FeO");

  surface.SetBrushStyle(FillStyle::Solid);
  surface.SetPenStyle(FillStyle::None);
  SymbolCentres collected;
  if (!centres || centres->rows != DrawnRows(table)) {
    collected = CollectSymbolCentres(table);
    centres = &collected;
  }
  // One ellipse per sample and face, and a brush change around the highlighted row.
  const auto rows = static_cast<uint32_t>(centres->rows);
  const int32_t s = view.SelectedSample;
  const bool selected = s >= 1 && s <= centres->rows;
  const auto before = selected ? static_cast<uint32_t>(s - 1) : rows;
  const SymbolLook plain = LookOfSymbol(view, false), highlighted = LookOfSymbol(view, true);
  for (int face = 1; face <= 4; ++face) {
    const auto& faceCentres = centres->faces[face];
    surface.SetBrushColour(plain.colour);
    surface.Discs(faceCentres, 0, before, plain.radius);
    if (!selected) continue;
    surface.SetBrushColour(highlighted.colour);
    surface.Discs(faceCentres, before, before + 1, highlighted.radius);
    surface.SetBrushColour(plain.colour);
    surface.Discs(faceCentres, before + 1, rows, plain.radius);
  }
  surface.End();
}

}  // namespace ternova
