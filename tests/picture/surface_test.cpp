#include "picture/surface.h"
#include "tests/fixed_advance.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ternova {
namespace {

using testing::FixedAdvance;

TEST(PictureFrame, ComesFromTheScreenOnceAndStays) {
  DiagramPicture p;
  p.SetWidth(2000);
  p.SetHeight(2000);
  p.FixFrame({1280, 1024, 320, 256, 96});
  EXPECT_EQ(p.PhysicalFrame(), (Frame{50000, 50000}));
  p.FixFrame({1366, 768, 344, 194, 96});
  EXPECT_EQ(p.PhysicalFrame(), (Frame{50000, 50000}));
  DiagramPicture q;
  q.SetWidth(2000);
  q.SetHeight(2000);
  q.FixFrame({1366, 768, 344, 194, 96});  // 2000 * 34400 / 1366 = 50366.03, 2000 * 19400 / 768 = 50520.83
  EXPECT_EQ(q.PhysicalFrame(), (Frame{50366, 50521}));
}

TEST(MulDiv, RoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(50000, 96, 2540), 1890);  // 1889.76
  EXPECT_EQ(MulDiv(5, 1, 2), 3);
  EXPECT_EQ(MulDiv(-5, 1, 2), -3);
  EXPECT_EQ(MulDiv(5, -1, 2), -3);
  EXPECT_EQ(MulDiv(50, 96, 72), 67);
  EXPECT_EQ(MulDiv(50, 120, 72), 83);
  EXPECT_EQ(MulDiv(50, 144, 72), 100);
}

TEST(DrawingSurface, FontHeightFollowsTheScreenDpi) {
  EXPECT_EQ(FontHeightForPoints(50, 96), -67);
  EXPECT_EQ(FontHeightForPoints(50, 120), -83);
  EXPECT_EQ(FontHeightForPoints(50, 144), -100);
}

// 9 points on a Japanese system, 8 elsewhere, as heights at the screen's dpi.
TEST(DrawingSurface, DefaultFontDependsOnTheSystemCharacterSet) {
  SurfaceEnvironment env;
  env.japanese = true;
  EXPECT_EQ(DefaultFont(env).face, "ＭＳ Ｐゴシック");
  EXPECT_EQ(DefaultFont(env).height, -12);
  env.screen.dpi = 120;
  EXPECT_EQ(DefaultFont(env).height, -15);
  env.japanese = false;
  EXPECT_EQ(DefaultFont(env).face, "MS Sans Serif");
  EXPECT_EQ(DefaultFont(env).height, -13);
  env.screen.dpi = 96;
  EXPECT_EQ(DefaultFont(env).height, -11);
}

TEST(DrawingSurface, RecordsStateOnlyWhenItChangesBeforeDrawing) {
  DiagramPicture p;
  SurfaceEnvironment env;
  {
    DrawingSurface s(p, env);
    s.SetPenStyle(FillStyle::None);
    s.SetBrushColour(kBlue);
    s.Ellipse(0, 0, 2, 2);
    s.SetBrushColour(kBlue);
    s.Ellipse(1, 1, 3, 3);
    s.SetBrushColour(kRed);
    s.SetBrushColour(kBlue);
    s.Ellipse(2, 2, 4, 4);
    s.SetBrushColour(kRed);
    s.Ellipse(3, 3, 5, 5);
  }
  const auto& ops = p.Content()->ops;
  ASSERT_EQ(ops.size(), 7u);  // brush, pen, 3 ellipses, brush, ellipse
  EXPECT_TRUE(std::holds_alternative<op::Brush>(ops[0]));
  EXPECT_TRUE(std::holds_alternative<op::Pen>(ops[1]));
  EXPECT_EQ(std::get<op::Brush>(ops[5]).colour, kRed);
}

TEST(DrawingSurface, TextMovesTheCurrentPositionPastItself) {
  DiagramPicture p;
  FixedAdvance metrics{25};
  SurfaceEnvironment env;
  env.metrics = &metrics;
  DrawingSurface s(p, env);
  s.SetFontSize(50);
  s.TextOut(100, 200, "FeO");
  s.TextOut(0, 0, "Ｆe");
  s.End();
  const auto& c = *p.Content();
  // The move past the first text is recorded right after it.
  const auto first = std::find_if(c.ops.begin(), c.ops.end(), [](const PictureOp& o) { return std::holds_alternative<op::TextOut>(o); });
  ASSERT_NE(first, c.ops.end());
  ASSERT_TRUE(std::holds_alternative<op::MoveTo>(*(first + 1)));
  EXPECT_EQ(std::get<op::MoveTo>(*(first + 1)).x, 175);
  EXPECT_EQ(std::get<op::MoveTo>(*(first + 1)).y, 200);
  EXPECT_EQ(c.texts[0].width, 75);
  EXPECT_EQ(c.texts[1].chars, u"Ｆe");
  EXPECT_EQ(c.fonts.size(), 1u);
  EXPECT_EQ(c.fonts[0].height, -67);
  EXPECT_TRUE(std::holds_alternative<op::MoveTo>(c.ops.back()));
}

TEST(DrawingSurface, EndingReplacesTheContentInOneStep) {
  DiagramPicture p;
  SurfaceEnvironment env;
  EXPECT_TRUE(p.Empty());
  DrawingSurface s(p, env);
  s.Rectangle(0, 0, 10, 10);
  EXPECT_TRUE(p.Empty());  // nothing shows until the recording ends
  s.End();
  EXPECT_FALSE(p.Empty());
}

}  // namespace
}  // namespace ternova
