#pragma once
#include <cstdint>

namespace ternova {

// The one conversion from a computed real to a drawing coordinate: nearest, halves away from
// zero. The sum x +/- 0.5 is formed in extended precision; the truncation goes through a 64-bit
// integer whose low 32 bits are the result. Beyond the 64-bit range (or NaN) it raises the
// invalid-operation error.
int32_t RoundHalfAway(double x);

}  // namespace ternova
