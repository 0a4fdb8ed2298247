#include "diagram/round.h"

#include <algorithm>
#include <cmath>

#include "base/error.h"

namespace ternova {

int32_t SaturateToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

int32_t RoundHalfAway(double x) {
  // Below 2^52 the fraction x - trunc(x) is exact, and comparing it with one half gives what
  // the extended-precision sum gives: that sum is exact wherever it could reach an integer.
  if (std::fabs(x) < 0x1p52) {
    auto r = static_cast<int64_t>(x);  // truncates
    const double fraction = x - static_cast<double>(r);
    if (fraction >= 0.5) ++r;
    else if (fraction <= -0.5) --r;
    return SaturateToInt32(r);
  }
  static_assert(sizeof(long double) > sizeof(double), "extended precision is needed for x +/- 0.5");
  const long double sum = x >= 0 ? static_cast<long double>(x) + 0.5L : static_cast<long double>(x) - 0.5L;
  const long double t = std::trunc(sum);
  // -2^63 is representable, 2^63 is not: the same bounds the FPU's integer store enforces.
  if (!(t >= -0x1p63L && t < 0x1p63L)) throw Error(kInvalidOperation);
  return SaturateToInt32(static_cast<int64_t>(t));
}

}  // namespace ternova
