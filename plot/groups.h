#pragma once
// Samples grouped by the text of one column of the data file: rows whose cells there are equal
// form a group. Each group takes a colour of a colour-blind-safe palette in the order its first
// row comes in the file; past the palette's size, the largest groups keep theirs and the rest
// share one grey "other" entry.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/big_allocator.h"
#include "data/cell_store.h"
#include "picture/picture.h"

namespace ternova {

// Paul Tol's "muted" scheme less its rose, which could pass for the highlight's red, and the
// pale grey it keeps for data it cannot place: here the "other" entry.
inline constexpr Rgb kGroupPalette[] = {{51, 34, 136},  {136, 204, 238}, {68, 170, 153}, {17, 119, 51},
                                        {153, 153, 51}, {221, 204, 119}, {136, 34, 85},  {170, 68, 153}};
inline constexpr Rgb kOtherGroup{187, 187, 187};

struct SampleGroup {
  std::string key;  // the cells' bytes as the file holds them
  int32_t count = 0;
  Rgb colour;
  bool other = false;  // the entry of every group past the palette
};

struct Grouping {
  int32_t column = 0;               // the field grouped by (5: the note); 0: none
  std::vector<SampleGroup> groups;  // legend order: first appearance, "other" last
  // The entry of row r at r - 1.
  std::vector<uint32_t, BigUninitAllocator<uint32_t>> entryOfRow;
  bool Empty() const { return column == 0; }
};

// Groups rows 1..rows by the cells of `column` (≥ 1).
Grouping GroupSamples(const CellStore& cells, int32_t rows, int32_t column, std::span<const Rgb> palette = kGroupPalette);

}  // namespace ternova
