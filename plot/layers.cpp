#include "plot/layers.h"

#include <cmath>
#include <string>

#include "base/messages.h"
#include "diagram/render.h"

namespace ternova {

void BackgroundLayer(LayerInput& in) {
  DrawingSurface& s = in.surface;
  s.SetBrushStyle(FillStyle::Solid);
  s.SetBrushColour(kWhite);
  s.SetPenStyle(FillStyle::None);
  s.Rectangle(0, 0, 2000, 2000);
}

DensityCells MakeDensityCells(const SampleTable& table, const DiagramGeometry& geometry, int32_t divisions) {
  DensityCells cells;
  cells.field = CountDensity(table, DrawnRows(table), divisions);
  cells.polygons = DensityCellPolygons(cells.field, geometry);
  return cells;
}

void DensityLayer(LayerInput& in) {
  if (in.view.Density == 0 || !in.density) return;
  DrawingSurface& s = in.surface;
  s.SetBrushStyle(FillStyle::Solid);
  s.SetPenStyle(FillStyle::None);
  // Empty cells are not drawn: the background shows white there.
  for (const DensityPolygons& cells : in.density->polygons) {
    s.SetBrushColour(cells.colour);
    s.Polygons(cells.set);
  }
  // The labels stand on boxes of the background's white.
  s.SetBrushColour(kWhite);
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

void ColourBarLayer(LayerInput& in) {
  if (in.view.Density == 0 || !in.density) return;
  DrawingSurface& s = in.surface;
  const DensityField& field = in.density->field;
  // Below the SiO2 label, right of the bottom face: the one corner the net leaves free.
  constexpr int32_t kLeft = 1720, kRight = 1770, kTop = 1380, kBottom = 1880, kTextRight = 1960;
  constexpr int kSlices = 100;
  s.SetFontSize(28);
  const int32_t em = std::abs(FontHeightForPoints(28, s.Environment().screen.dpi));
  s.SetBrushStyle(FillStyle::Solid);
  s.SetBrushColour(kWhite);
  const std::string caption = Tr(kSamplesPerCell);
  s.TextOut(kTextRight - s.TextWidth(caption), kTop - em - em / 2, caption);
  if (field.outside > 0) {
    const std::string outside = Format(kPointsOutsideFaces, {std::to_string(field.outside)});
    s.TextOut(kTextRight - s.TextWidth(outside), kBottom + em / 2, outside);
  }
  if (field.maxCount == 0) return;
  // The bar: 1 at the bottom, the fullest cell at the top, on the cells' logarithmic scale.
  s.SetPenStyle(FillStyle::None);
  for (int k = 0; k < kSlices; ++k) {
    const int32_t top = kBottom - (kBottom - kTop) * (k + 1) / kSlices, bottom = kBottom - (kBottom - kTop) * k / kSlices;
    s.SetBrushColour(field.maxCount > 1 ? SampleViridis((k + 0.5) / kSlices) : SampleViridis(0));
    s.Rectangle(kLeft, top, kRight, bottom);
  }
  s.SetBrushStyle(FillStyle::None);
  s.SetPenStyle(FillStyle::Solid);
  s.SetPenColour(kBlack);
  s.SetPenWidth(2);
  s.Rectangle(kLeft, kTop, kRight, kBottom);
  // Ticks at 1, at each power of ten and at the fullest cell's count; a power of ten too near
  // an end for its label to fit keeps its tick only.
  auto yOf = [&](double count) {
    const double t = field.maxCount > 1 ? std::log(count) / std::log(static_cast<double>(field.maxCount)) : 0;
    return static_cast<int32_t>(std::lround(kBottom - t * (kBottom - kTop)));
  };
  auto tick = [&](double count, bool label) {
    const int32_t y = yOf(count);
    s.MoveTo(kRight, y);
    s.LineTo(kRight + 12, y);
    if (!label) return;
    const std::string text = std::to_string(static_cast<uint64_t>(count));
    s.TextOut(kRight + 20, y - em / 2, text);
  };
  tick(1, true);
  const int32_t topY = yOf(field.maxCount);
  for (double p = 10; p < field.maxCount; p *= 10) {
    const int32_t y = yOf(p);
    tick(p, y - topY >= em + em / 4 && yOf(1) - y >= em + em / 4);
  }
  if (field.maxCount > 1) tick(field.maxCount, true);
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
  if (in.view.Density != 0) {
    // The cells show the samples: only the highlighted one is drawn, over everything.
    if (!selected) return;
    s.SetBrushColour(highlighted.colour);
    for (int face = 1; face <= 4; ++face) s.Discs(in.centres.faces[face], before, before + 1, highlighted.radius);
    return;
  }
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
                 const SurfaceEnvironment& env, const DensityCells* density) {
  DrawingSurface surface(picture, env);  // ends the recording on every path
  Drawn drawn;
  LayerInput in{surface, geometry, table, centres, view, gridDivisions, drawn, density};
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
  DensityCells density;
  if (view.Density != 0) density = MakeDensityCells(table, geometry, view.Density);
  return DrawLayers(kLayers, geometry, table, *centres, view, gridDivisions, picture, env,
                    view.Density != 0 ? &density : nullptr);
}

}  // namespace ternova
