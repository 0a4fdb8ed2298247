#include "diagram/round.h"

#include <cmath>

#include "base/error.h"

namespace ternova {

int32_t RoundHalfAway(double x) {
  static_assert(sizeof(long double) > sizeof(double), "extended precision is needed for x +/- 0.5");
  const long double sum = x >= 0 ? static_cast<long double>(x) + 0.5L : static_cast<long double>(x) - 0.5L;
  const long double t = std::trunc(sum);
  // -2^63 is representable, 2^63 is not: the same bounds the FPU's integer store enforces.
  if (!(t >= -0x1p63L && t < 0x1p63L)) throw Error(kInvalidOperation);
  const auto wide = static_cast<int64_t>(t);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
}

}  // namespace ternova
