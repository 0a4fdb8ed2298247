#pragma once
#include <cstdint>

namespace ternova {

// The one conversion from a computed real to a drawing coordinate: nearest, halves away from
// zero. The sum x +/- 0.5 is formed in extended precision; the result is saturated to the
// 32-bit range, so a point far outside the net stays outside. Beyond the 64-bit range (or
// NaN) it raises the invalid-operation error.
int32_t RoundHalfAway(double x);

// A coordinate sum clamped to the 32-bit range: the nearest drawable point, never a wrapped one.
int32_t SaturateToInt32(int64_t v);

}  // namespace ternova
