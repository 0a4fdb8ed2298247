#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/big_allocator.h"

#include "diagram/geometry.h"

namespace ternova {

// Row r is line r of the last data file; row 0 and slot 0 are allocated and never used.
// Slots 1..4 hold SiO2, Al2O3+CaO, MgO and FeO (values) or the points on faces 1..4.
struct SampleTable {
  int32_t SampleCount = 0;
  // Only Resize changes the row counts.
  std::vector<std::array<double, 5>, BigUninitAllocator<std::array<double, 5>>> SampleValues =
      decltype(SampleValues)(1);
  std::vector<std::array<Point, 5>, BigUninitAllocator<std::array<Point, 5>>> SamplePoints =
      decltype(SamplePoints)(1);
  // Rows 1..CompletedRows were converted and projected by the last load. A failed load leaves
  // later rows holding points of an earlier file (or zeros); those are never drawn.
  int32_t CompletedRows = 0;

  // Keeps surviving rows and zero-fills new ones. The memory of surplus ones is given back
  // when fewer than half the rows the arrays can hold are left.
  void Resize(int32_t count);
};

}  // namespace ternova
