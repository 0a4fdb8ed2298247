#pragma once
// The process-wide state of the program: it outlives any window and is what every command reads
// and changes.
#include <cstdint>

#include "data/cell_store.h"
#include "diagram/geometry.h"
#include "diagram/render.h"
#include "diagram/sample_table.h"
#include "diagram/symbol_index.h"
#include "picture/picture.h"

namespace ternova::app {

struct ProcessState {
  DiagramGeometry Geometry;
  SampleTable Table;
  CellStore Cells;
  // Where each drawn symbol of Table lies; rebuilt by every load, not by every drawing.
  SymbolIndex Symbols;
  // The grid switches are not kept here: the menu items' check marks are that state.
  int32_t SelectedSample = 0;
  int32_t SymbolSize = 6;
  int32_t GridDivisions = 0;
  DiagramPicture Picture;
  char DecimalSeparator = '.';
};

ProcessState& State();

}  // namespace ternova::app
