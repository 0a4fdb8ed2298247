#include "diagram/round.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/error.h"

namespace ternova {
namespace {

TEST(RoundHalfAway, RoundsHalvesAwayFromZero) {
  const struct { double in; int32_t out; } cases[] = {
      {2.5, 3}, {-2.5, -3}, {0.4999, 0}, {-0.4999, 0}, {0.5, 1}, {-0.5, -1}, {-0.0, 0}, {0.0, 0},
      {1.5, 2}, {-1.5, -2}, {1433.0, 1433}, {499.99999999999994, 500}, {-250.00000000000023, -250},
      // The sum is formed in extended precision: in double, this would round up to 1.
      {0.49999999999999994, 0}, {-0.49999999999999994, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(RoundHalfAway(c.in), c.out) << c.in;
}

// A far-away point must stay far away: wrapping would put it back inside the diagram.
TEST(RoundHalfAway, SaturatesLargeValuesToThirtyTwoBits) {
  const struct { double in; int32_t out; } cases[] = {
      {2147483647.0, INT32_MAX},      {2147483647.4, INT32_MAX}, {2147483647.5, INT32_MAX},
      {2147483648.0, INT32_MAX},      {4294967296.0 + 5, INT32_MAX}, {0x1p62, INT32_MAX},
      {-2147483648.0, INT32_MIN},     {-2147483648.5, INT32_MIN}, {-4294967296.0 - 5, INT32_MIN},
      {-0x1p62, INT32_MIN},           {0x1p52 + 2, INT32_MAX},   {-0x1p52 - 2, INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(RoundHalfAway(c.in), c.out) << c.in;
}

TEST(SaturateToInt32, ClampsAtBothEnds) {
  const struct { int64_t in; int32_t out; } cases[] = {
      {0, 0}, {-5, -5}, {INT32_MAX, INT32_MAX}, {int64_t{INT32_MAX} + 1, INT32_MAX}, {INT32_MIN, INT32_MIN},
      {int64_t{INT32_MIN} - 1, INT32_MIN}, {INT64_MAX, INT32_MAX}, {INT64_MIN, INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(SaturateToInt32(c.in), c.out) << c.in;
}

TEST(RoundHalfAway, BeyondSixtyFourBitsIsAnInvalidOperation) {
  for (double x : {0x1p63, -0x1p63 - 0x1p11, 1e300, -1e300, std::nan("")}) {
    try {
      RoundHalfAway(x);
      ADD_FAILURE() << x;
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), Tr(kInvalidOperation)) << x;
    }
  }
  EXPECT_EQ(RoundHalfAway(-0x1p63), INT32_MIN);  // exactly -2^63 still fits
  EXPECT_EQ(RoundHalfAway(0x1p63 - 1024), INT32_MAX);
}

}  // namespace
}  // namespace ternova
