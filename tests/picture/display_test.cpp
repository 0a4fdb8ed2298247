#include "picture/display.h"

#include <gtest/gtest.h>

namespace ternova {
namespace {

TEST(DisplayRule, ShrinksToFitKeepingTheAspectRatioNeverEnlarging) {
  const struct { int32_t w, h, cw, ch; DisplayRect fit; } cases[] = {
      {2000, 2000, 587, 587, {587, 587}},   {2000, 2000, 987, 587, {587, 587}},
      {2000, 2000, 2100, 2100, {2000, 2000}}, {2000, 2000, 300, 900, {300, 300}},
      {2000, 2000, 2000, 1999, {1999, 1999}}, {4000, 2000, 1000, 1000, {1000, 500}},
      {4000, 2000, 1000, 300, {600, 300}},  {1000, 3000, 500, 600, {200, 600}},
      {1000, 3000, 100, 600, {100, 300}},   {2000, 2000, 0, 0, {0, 0}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FitPicture(c.w, c.h, c.cw, c.ch), c.fit) << c.w << "x" << c.h << " in " << c.cw << "x" << c.ch;
}

}  // namespace
}  // namespace ternova
