#pragma once
#include <algorithm>
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
// a few operations instead of one per symbol, and the symbol index is built from them.
struct SymbolCentres {
  int32_t rows = 0;
  std::array<std::shared_ptr<const DiscCentres>, 5> faces;  // 1..4: row j at j - 1
  std::array<LogicalBounds, 5> boxes;                        // of each face's centres
};

// The rows a drawing shows: only those the last load completed, as a failed load leaves stale
// points behind them.
inline int32_t DrawnRows(const SampleTable& table) { return std::max(0, std::min(table.SampleCount, table.CompletedRows)); }

// Collected on two cores when the table is large.
SymbolCentres CollectSymbolCentres(const SampleTable& table);

}  // namespace ternova
