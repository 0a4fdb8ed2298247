#include "picture/display.h"

#include <gtest/gtest.h>

#include <cmath>

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

// Magnified views: the point under the pointer stays under it, the view never leaves the
// picture, and pixels and logical points map back and forth through the same offset.
TEST(DisplayZoom, ZoomsAboutThePointerWithinThePicture) {
  const DisplayMapping whole = DisplayMapping::ForControl(2000, 2000, 587, 587);
  const struct { double scale, px, py; } cases[] = {
      {2, 293, 293}, {4, 10, 500}, {64, 586, 0}, {8, 100.5, 200.25}, {1.26, 0, 0},
  };
  for (const auto& c : cases) {
    const DisplayZoom zoom = whole.ZoomedAbout(c.scale, c.px, c.py);
    const DisplayMapping m = DisplayMapping::ForControl(2000, 2000, 587, 587, zoom);
    EXPECT_EQ(zoom.scale, c.scale);
    // Within half a pixel of where it was, for the whole-pixel offset.
    EXPECT_NEAR(m.PixelX(c.px / whole.ScaleX()), c.px, 0.5 + 1e-9) << c.scale;
    EXPECT_NEAR(m.PixelY(c.py / whole.ScaleY()), c.py, 0.5 + 1e-9) << c.scale;
    const DisplayBox shown = m.Shown();
    EXPECT_GE(shown.x0, 0);
    EXPECT_GE(shown.y0, 0);
    EXPECT_LE(shown.x1, 2001);
    EXPECT_LE(shown.y1, 2001);
    // A pixel shows the logical point that maps back into it.
    for (int32_t p : {0, 17, 586}) {
      EXPECT_EQ(std::floor(m.PixelX(m.LogicalAtPixelX(p))), p);
      EXPECT_EQ(std::floor(m.PixelY(m.LogicalAtPixelY(p))), p);
    }
  }
  // Beyond the range, and back out to the whole view.
  EXPECT_EQ(whole.ZoomedAbout(1000, 300, 300).scale, DisplayZoom::kMax);
  EXPECT_TRUE(whole.ZoomedAbout(0.5, 300, 300).Whole());
}

TEST(DisplayZoom, PanningStopsAtThePicturesEdges) {
  const DisplayZoom zoom{4, 600, 600};
  const DisplayMapping m = DisplayMapping::ForControl(2000, 2000, 587, 587, zoom);
  EXPECT_EQ(m.Panned(100, -50), (DisplayZoom{4, 500, 650}));
  EXPECT_EQ(m.Panned(10000, 10000), (DisplayZoom{4, 0, 0}));
  // The magnified picture is 586 * 4 device pixels wide: the image's last column shows its edge.
  EXPECT_EQ(m.Panned(-10000, -10000), (DisplayZoom{4, 586 * 3, 586 * 3}));
  // At the whole view there is nowhere to go.
  EXPECT_TRUE(DisplayMapping::ForControl(2000, 2000, 587, 587).Panned(40, 40).Whole());
}

TEST(DisplayZoom, KeepsTheCornerPointWhenTheControlResizes) {
  const DisplayMapping m = DisplayMapping::ForControl(2000, 2000, 587, 587, {8, 1000, 2000});
  const DisplayZoom resized = m.ZoomFor(2000, 2000, 1175, 1175);
  const DisplayMapping after = DisplayMapping::ForControl(2000, 2000, 1175, 1175, resized);
  EXPECT_EQ(resized.scale, 8);
  // Within a pixel of the smaller control (the centres of the corner pixels differ by half of one).
  EXPECT_NEAR(after.LogicalAtPixelX(0), m.LogicalAtPixelX(0), 1 / m.ScaleX());
  EXPECT_NEAR(after.LogicalAtPixelY(0), m.LogicalAtPixelY(0), 1 / m.ScaleY());
}

}  // namespace
}  // namespace ternova
