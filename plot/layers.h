#pragma once
// The diagram as an ordered list of layers, each drawing one part of it over the ones before.
// A new kind of view is one more layer function and one more entry in the list.
#include <cstddef>
#include <cstdint>
#include <span>

#include "diagram/geometry.h"
#include "diagram/sample_table.h"
#include "diagram/symbol_centres.h"
#include "picture/surface.h"
#include "plot/density.h"
#include "plot/view.h"

namespace ternova {

// What one drawing learnt about the picture it recorded.
struct Drawn {
  // The first operation of the symbols: all before it lies under every symbol.
  size_t firstSymbolOp = 0;
};

// The density view of a table at one cell size: the counts and their cells as polygons.
struct DensityCells {
  DensityField field;
  std::vector<DensityPolygons> polygons;
};
DensityCells MakeDensityCells(const SampleTable& table, const DiagramGeometry& geometry, int32_t divisions);

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
  const DensityCells* density = nullptr;  // for view.Density, counted from `table` as it is now
};

using Layer = void (*)(LayerInput&);

void BackgroundLayer(LayerInput& in);
// The density view's cells, under the outline, the grids and the labels.
void DensityLayer(LayerInput& in);
void OutlineLayer(LayerInput& in);
void GridLayer(LayerInput& in);
void LabelLayer(LayerInput& in);
// The density view's colour bar, with its caption and the points left out, in the corner
// below the SiO2 label.
void ColourBarLayer(LayerInput& in);
// Every sample's discs; in the density view only the highlighted sample's.
void SymbolLayer(LayerInput& in);

// Back to front.
inline constexpr Layer kLayers[] = {BackgroundLayer, DensityLayer, OutlineLayer, GridLayer,
                                    LabelLayer,      ColourBarLayer, SymbolLayer};

// Runs `layers` in order into a new recording that replaces the picture's content; a drawing
// cut short by an error still becomes the picture before the error goes on.
Drawn DrawLayers(std::span<const Layer> layers, const DiagramGeometry& geometry, const SampleTable& table,
                 const SymbolCentres& centres, const ViewState& view, int32_t& gridDivisions, DiagramPicture& picture,
                 const SurfaceEnvironment& env, const DensityCells* density = nullptr);

// The whole diagram of a table, for callers without an engine (tests, benchmarks).
// `centres`, when given, must have been collected from `table` as it is now.
Drawn DrawDiagram(const DiagramGeometry& geometry, const SampleTable& table, const ViewState& view,
                  int32_t& gridDivisions, DiagramPicture& picture, const SurfaceEnvironment& env,
                  const SymbolCentres* centres = nullptr);

}  // namespace ternova
