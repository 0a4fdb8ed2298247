#pragma once
// The diagram as an ordered list of layers, each drawing one part of it over the ones before.
// A new kind of view is one more layer function and one more entry in the list.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "diagram/geometry.h"
#include "diagram/sample_table.h"
#include "diagram/symbol_centres.h"
#include "picture/surface.h"
#include "plot/density.h"
#include "plot/view.h"

namespace ternova {

// One line of the legend: a group's text (UTF-8, as it is to be shown), its number of samples
// and colour, and whether it is hidden.
struct LegendEntry {
  std::string text;
  int32_t count = 0;
  Rgb colour;
  bool hidden = false;
};

// Where a legend line was drawn, in drawing units, ends included: what a click on it hits.
struct LegendBox {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool Contains(double x, double y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

// What one drawing learnt about the picture it recorded.
struct Drawn {
  // The first operation of the symbols: all before it lies under every symbol.
  size_t firstSymbolOp = 0;
  std::vector<LegendBox> legend;  // one per legend entry, in order
};

// The density view of a table at one cell size: the counts and their cells as polygons.
struct DensityCells {
  DensityField field;
  std::vector<DensityPolygons> polygons;
};
// Counts only the rows `shown` gives a colour, when given.
DensityCells MakeDensityCells(const SampleTable& table, const DiagramGeometry& geometry, int32_t divisions,
                              const DiscColours* shown = nullptr);

// What the layers draw from: the engine's geometry, table and what is derived from it, the
// view, and what they hand back.
struct LayerInput {
  DrawingSurface& surface;
  const DiagramGeometry& geometry;
  const SampleTable& table;
  const SymbolCentres& centres;  // collected from `table` as it is now
  const ViewState& view;
  int32_t& gridDivisions;  // the grid pass's divisor, left at its last value (9 or 1)
  Drawn& drawn;
  // With samples coloured by group: each centre's colour (kNoDisc for a hidden group's) and the
  // legend; else null and empty.
  std::shared_ptr<const DiscColours> colours = nullptr;
  std::span<const LegendEntry> legend = {};
  const DensityCells* density = nullptr;  // for view.Density, counted from `table` as it is now
};

using Layer = void (*)(LayerInput&);

void BackgroundLayer(LayerInput& in);
// The density view's cells, under the outline, the grids and the labels.
void DensityLayer(LayerInput& in);
void OutlineLayer(LayerInput& in);
void GridLayer(LayerInput& in);
void LabelLayer(LayerInput& in);
void LegendLayer(LayerInput& in);
// Every sample's discs, each in its group's colour when grouped; in the density view only the
// highlighted sample's.
void SymbolLayer(LayerInput& in);

// A legend line's text, "name (count)", the name cut with an ellipsis where the line would reach
// past `width` drawing units as `measure` measures text.
std::string FittedLegendText(const LegendEntry& entry, int32_t width,
                             const std::function<int32_t(std::string_view)>& measure);
// The density view's colour bar, with its caption and the points left out, in the corner
// below the SiO2 label.
void ColourBarLayer(LayerInput& in);

// Back to front. The legend lies under the symbols: a sample far outside the net covers it as
// it covers everything else, and a repaint of the symbols finds it under them. In the density
// view the colour bar takes the legend's place.
inline constexpr Layer kLayers[] = {BackgroundLayer, DensityLayer,   OutlineLayer, GridLayer,
                                    LabelLayer,      ColourBarLayer, LegendLayer,  SymbolLayer};

// Runs `layers` in order into a new recording that replaces the picture's content; a drawing
// cut short by an error still becomes the picture before the error goes on.
Drawn DrawLayers(std::span<const Layer> layers, const DiagramGeometry& geometry, const SampleTable& table,
                 const SymbolCentres& centres, const ViewState& view, int32_t& gridDivisions, DiagramPicture& picture,
                 const SurfaceEnvironment& env, const DensityCells* density = nullptr,
                 std::shared_ptr<const DiscColours> colours = nullptr, std::span<const LegendEntry> legend = {});

// The whole diagram of a table, for callers without an engine (tests, benchmarks).
// `centres`, when given, must have been collected from `table` as it is now.
Drawn DrawDiagram(const DiagramGeometry& geometry, const SampleTable& table, const ViewState& view,
                  int32_t& gridDivisions, DiagramPicture& picture, const SurfaceEnvironment& env,
                  const SymbolCentres* centres = nullptr);

}  // namespace ternova
