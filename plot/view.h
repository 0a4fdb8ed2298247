#pragma once
// How the diagram is drawn, and how each of its symbols looks in that view.
#include <cstdint>
#include <string>
#include <vector>

#include "picture/picture.h"

namespace ternova {

struct ViewState {
  int32_t SelectedSample = 0;  // 0, or any row outside 1..SampleCount: none
  int32_t SymbolSize = 6;      // 10 large, 6 medium, 3 small
  bool Grid10 = true;
  bool Grid50 = true;
  // Samples coloured by their group in this field of the file: 0 none (all blue), 5 the note,
  // 6 on the further fields.
  int32_t ColourBy = 0;
  // The legend keys (SampleGroup::key, kOtherGroupKey for the "other" entry) of the groups not
  // drawn, sorted.
  std::vector<std::string> HiddenGroups = {};
  // The density view: 0 off, else the cells per face edge (25, 50 or 100).
  int32_t Density = 0;
  friend bool operator==(const ViewState&, const ViewState&) = default;
};

// The same view with another sample highlighted: what a new selection changes.
inline ViewState WithSelected(ViewState view, int32_t row) {
  view.SelectedSample = row;
  return view;
}

// The key of the "other" entry: no cell holds a TAB.
inline const std::string kOtherGroupKey = "\t";

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

}  // namespace ternova
