#pragma once
// The process-wide state of the program: it outlives any window and is what every command reads
// and changes.
#include <cstdint>
#include <string>
#include <vector>

#include "plot/plot.h"

namespace ternova::app {

struct ProcessState {
  // The loaded table, all that is derived from it, and the picture of its last drawing.
  Plot Engine;
  // The view: the grid switches are not kept here, the menu items' check marks are that state.
  int32_t SelectedSample = 0;
  int32_t SymbolSize = 6;
  // Option > Colour by: the field the samples are grouped by (0 none), and the groups hidden
  // from the diagram by a click on their legend line (sorted keys).
  int32_t ColourBy = 0;
  std::vector<std::string> HiddenGroups;
  // Cells per face edge of the density view, whether it is on or not (its item's mark says).
  int32_t DensityDivisions = kDefaultDensityDivisions;
  char DecimalSeparator = '.';
};

ProcessState& State();

}  // namespace ternova::app
