#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/big_allocator.h"
#include "diagram/sample_table.h"
#include "picture/picture.h"

namespace ternova {

// The symbols' centres of the rows a drawing shows (1..min(SampleCount, CompletedRows)), one
// list per face. Every recording of the same table can share them, so a new selection records
// a few operations instead of one per symbol; the symbol index looks its positions up in them.
struct SymbolCentres {
  int32_t rows = 0;
  std::array<std::shared_ptr<const DiscCentres>, 5> faces;  // 1..4: row j at j - 1

  DiscCentre At(int face, int32_t row) const { return (*faces[face])[static_cast<size_t>(row) - 1]; }
};

// Collected on two cores when the table is large.
SymbolCentres CollectSymbolCentres(const SampleTable& table);

}  // namespace ternova
