#include "plot/layers.h"

#include <algorithm>

#include "base/encoding.h"
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
  if (in.legend.empty()) return;
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
  if (in.colours) {
    // Each disc in its group's colour; the highlight as ever, unless its group is hidden.
    const bool shown = selected && in.colours->Of(before);
    for (int face = 1; face <= 4; ++face) {
      const auto& faceCentres = in.centres.faces[face];
      s.Discs(faceCentres, 0, shown ? before : rows, plain.radius, in.colours);
      if (!shown) continue;
      s.SetBrushColour(highlighted.colour);
      s.Discs(faceCentres, before, before + 1, highlighted.radius);
      s.Discs(faceCentres, before + 1, rows, plain.radius, in.colours);
    }
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
                 const SurfaceEnvironment& env, std::shared_ptr<const DiscColours> colours,
                 std::span<const LegendEntry> legend) {
  DrawingSurface surface(picture, env);  // ends the recording on every path
  Drawn drawn;
  LayerInput in{surface, geometry, table, centres, view, gridDivisions, drawn, std::move(colours), legend};
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
