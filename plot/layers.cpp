#include "plot/layers.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/encoding.h"
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

DensityCells MakeDensityCells(const SampleTable& table, const DiagramGeometry& geometry, int32_t divisions,
                              const DiscColours* shown) {
  DensityCells cells;
  cells.field = CountDensity(table, DrawnRows(table), divisions, shown);
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

namespace {

// The legend: lines of 64 units, their characters 44 high, from the bottom of the picture up, at its left edge,
// in the corner the net's left edge leaves free. The net's widest corner fits 13 lines.
constexpr int32_t kLegendFontHeight = -44;
constexpr int32_t kLegendPitch = 64, kLegendBottom = 1975, kLegendLeft = 40, kLegendMargin = 40;
constexpr int32_t kLegendDisc = 16, kLegendTextX = kLegendLeft + 2 * kLegendDisc + 24;
// Past this many characters a name is cut before it is measured: no line holds more.
constexpr size_t kLegendLongest = 160;

// Where the net's left edge (FeO at the left, down to FeO at the bottom) is at height y; below
// the bottom corner, where its label begins.
int64_t LeftEdgeAt(const DiagramGeometry& g, int64_t y) {
  const Point a = g.VertexFeO2, b = g.VertexFeO3;
  if (y <= a.y) return a.x;
  if (y >= b.y || b.y == a.y) return b.x;
  return a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y);
}

bool NeedsJapaneseFace(std::string_view utf8) {
  for (const char16_t c : Utf16FromUtf8(utf8))
    if (c > 0xFF) return true;
  return false;
}

// The first `n` code points of `utf8`.
std::string_view CodePoints(std::string_view utf8, size_t n) {
  size_t i = 0;
  for (size_t k = 0; i < utf8.size(); ++k) {
    if (k == n) break;
    ++i;
    while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) ++i;
  }
  return utf8.substr(0, i);
}

size_t CodePointCount(std::string_view utf8) {
  return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(),
                                           [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

std::string FittedLegendText(const LegendEntry& entry, int32_t width,
                             const std::function<int32_t(std::string_view)>& measure) {
  const std::string count = " (" + std::to_string(entry.count) + ")";
  const std::string_view whole = entry.text;
  const size_t chars = CodePointCount(whole);
  if (chars <= kLegendLongest) {
    std::string line = std::string(whole) + count;
    if (measure(line) <= width) return line;
  }
  // The longest start of the name that fits with the ellipsis; at least none of it.
  const std::string ellipsis = "\u2026";
  size_t lo = 0, hi = std::min(chars, kLegendLongest);
  while (lo < hi) {
    const size_t mid = (lo + hi + 1) / 2;
    if (measure(std::string(CodePoints(whole, mid)) + ellipsis + count) <= width) lo = mid;
    else hi = mid - 1;
  }
  return std::string(CodePoints(whole, lo)) + ellipsis + count;
}

void LegendLayer(LayerInput& in) {
  // In the density view the colour bar says what the colours mean.
  if (in.legend.empty() || in.view.Density != 0) return;
  DrawingSurface& s = in.surface;
  const auto n = static_cast<int32_t>(in.legend.size());
  s.SetFontHeight(kLegendFontHeight);
  for (int32_t i = 0; i < n; ++i) {
    const LegendEntry& entry = in.legend[static_cast<size_t>(i)];
    const int32_t top = kLegendBottom - (n - i) * kLegendPitch;
    const int32_t cy = top + kLegendPitch / 2;
    // A line may reach as far as the net's edge at its top, where the edge is nearest.
    const auto width = static_cast<int32_t>(
        std::max<int64_t>(0, LeftEdgeAt(in.geometry, top) - kLegendMargin - kLegendTextX));
    const bool japanese = NeedsJapaneseFace(entry.text);
    s.SetFontJapanese(japanese);
    const std::string line = FittedLegendText(entry, width, [&](std::string_view t) { return s.TextWidth(t); });
    // A hidden group's disc is only its outline, and its text grey.
    if (entry.hidden) {
      s.SetBrushStyle(FillStyle::None);
      s.SetPenStyle(FillStyle::Solid);
      s.SetPenColour(entry.colour);
      s.SetPenWidth(4);
    } else {
      s.SetBrushStyle(FillStyle::Solid);
      s.SetBrushColour(entry.colour);
      s.SetPenStyle(FillStyle::None);
    }
    s.Ellipse(kLegendLeft, cy - kLegendDisc, kLegendLeft + 2 * kLegendDisc, cy + kLegendDisc);
    s.SetBrushStyle(FillStyle::Solid);
    s.SetBrushColour(kWhite);
    s.SetPenStyle(FillStyle::None);
    s.SetFontColour(entry.hidden ? kGrey : kBlack);
    const int32_t textTop = cy + kLegendFontHeight / 2 - 4;
    s.TextOut(kLegendTextX, textTop, line);
    const int32_t right = kLegendTextX + s.TextWidth(line);
    in.drawn.legend.push_back({kLegendLeft, top, right, top + kLegendPitch - 1});
  }
  s.SetFontJapanese(false);
  s.SetFontColour(kBlack);
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
  // The captions in the language in use, in a face that holds them in every format.
  const std::string caption = Tr(kSamplesPerCell);
  s.SetFontJapanese(NeedsJapaneseFace(caption));
  s.TextOut(kTextRight - s.TextWidth(caption), kTop - em - em / 2, caption);
  if (field.outside > 0) {
    const std::string outside = Format(kPointsOutsideFaces, {std::to_string(field.outside)});
    s.TextOut(kTextRight - s.TextWidth(outside), kBottom + em / 2, outside);
  }
  s.SetFontJapanese(false);
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
    // The cells show the samples: only the highlighted one is drawn, over everything, unless
    // its group is hidden.
    if (!selected || (in.colours && !in.colours->Of(before))) return;
    s.SetBrushColour(highlighted.colour);
    for (int face = 1; face <= 4; ++face) s.Discs(in.centres.faces[face], before, before + 1, highlighted.radius);
    return;
  }
  if (in.colours) {
    // Each disc in its group's colour; the highlight as ever, unless its group is hidden.
    const bool shown = selected && in.colours->Of(before);
    for (int face = 1; face <= 4; ++face) {
      const auto& faceCentres = in.centres.faces[face];
      const LogicalBounds* box = &in.centres.boxes[face];
      s.Discs(faceCentres, 0, shown ? before : rows, plain.radius, in.colours, box);
      if (!shown) continue;
      s.SetBrushColour(highlighted.colour);
      s.Discs(faceCentres, before, before + 1, highlighted.radius);
      s.Discs(faceCentres, before + 1, rows, plain.radius, in.colours, box);
    }
    return;
  }
  for (int face = 1; face <= 4; ++face) {
    const auto& faceCentres = in.centres.faces[face];
    const LogicalBounds* box = &in.centres.boxes[face];
    s.SetBrushColour(plain.colour);
    s.Discs(faceCentres, 0, before, plain.radius, box);
    if (!selected) continue;
    s.SetBrushColour(highlighted.colour);
    s.Discs(faceCentres, before, before + 1, highlighted.radius);
    s.SetBrushColour(plain.colour);
    s.Discs(faceCentres, before + 1, rows, plain.radius, box);
  }
}

Drawn DrawLayers(std::span<const Layer> layers, const DiagramGeometry& geometry, const SampleTable& table,
                 const SymbolCentres& centres, const ViewState& view, int32_t& gridDivisions, DiagramPicture& picture,
                 const SurfaceEnvironment& env, const DensityCells* density,
                 std::shared_ptr<const DiscColours> colours, std::span<const LegendEntry> legend) {
  DrawingSurface surface(picture, env);  // ends the recording on every path
  Drawn drawn;
  LayerInput in{surface, geometry, table, centres, view, gridDivisions, drawn, std::move(colours), legend, density};
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
