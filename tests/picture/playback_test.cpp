#include "picture/qt/playback.h"

#include <gtest/gtest.h>

#include <QPicture>
#include <chrono>
#include <climits>
#include <cmath>
#include <random>

#include "diagram/projection.h"
#include "plot/layers.h"
#include "picture/qt/qt_text_metrics.h"
#include "picture/surface.h"
#include "picture/work_budget.h"

namespace ternova {
namespace {

class Playback : public ::testing::Test {
 protected:
  void SetUp() override {
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    // Row 1 at the centroids; row 2 (selected) pure SiO2 + Al2O3+CaO on the central edge.
    table.Resize(2);
    table.SampleValues[1] = {0, 1, 1, 1, 1};
    table.SampleValues[2] = {0, 1, 3, 1, 1};
    ProjectRow(geometry, table, 1);
    ProjectRow(geometry, table, 2);
    table.CompletedRows = 2;
    view.SelectedSample = 2;
    int32_t divisions = 0;
    DrawDiagram(geometry, table, view, divisions, picture, env);
  }
  static QRgb Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  ViewState view;
  DiagramPicture picture;
  QtTextMetrics metrics;
  SurfaceEnvironment env{ScreenInfo{}, false, &metrics};
};

TEST_F(Playback, NaturalSizeHasEveryElementWhereItWasDrawn) {
  const QImage image = RenderToImage(Snapshot(picture), QSize(2000, 2000));
  EXPECT_EQ(Rgb(image, 5, 5), 0xFFFFFFu);                    // background
  EXPECT_EQ(Rgb(image, 1433, 1000), 0x000000u);              // a vertex of the outline
  EXPECT_EQ(Rgb(image, 1000, 1001), 0x000000u);              // on the bottom edge of face 1
  EXPECT_EQ(Rgb(image, 1000, 325), 0x808080u);               // the first 10 % line of face 1
  EXPECT_EQ(Rgb(image, 1000, 625), 0x000000u);               // a 50 % line drawn over the 10 % one
  EXPECT_EQ(Rgb(image, 1000, 750), 0x0000FFu);               // row 1's symbol on face 1
  EXPECT_EQ(Rgb(image, 1000 + 5, 750), 0x0000FFu);           // inside radius 6
  const Point red = table.SamplePoints[2][1];
  EXPECT_EQ(Rgb(image, red.x, red.y), 0xFF0000u);            // the selected row
  EXPECT_EQ(Rgb(image, red.x + 11, red.y), 0xFF0000u);       // at radius 12
  EXPECT_NE(Rgb(image, red.x + 14, red.y), 0xFF0000u);
}

TEST_F(Playback, LabelsStandOnWhiteBoxesAboveTheLines) {
  const QImage image = RenderToImage(Snapshot(picture), QSize(2000, 2000));
  // "FeO" at the bottom corner starts at the vertex: the outline under its box is hidden.
  int dark = 0;
  for (int x = 1000; x < 1100; ++x)
    for (int y = 1750; y < 1820; ++y) dark += qGray(image.pixel(x, y)) < 128;
  EXPECT_GT(dark, 100);                                      // the glyphs
  EXPECT_EQ(Rgb(image, 1001, 1752), 0xFFFFFFu);              // the box covers the line end
}

TEST_F(Playback, DisplayShrinksIntoAWideControlAtItsLeftEdge) {
  const QImage image = RenderForDisplay(Snapshot(picture), QSize(987, 587));
  ASSERT_EQ(image.size(), QSize(587, 587));
  // Played into (0, 0, 586, 586): the scale is 586 / 2000.
  const double s = 586.0 / 2000;
  EXPECT_EQ(Rgb(image, static_cast<int>(1000 * s), static_cast<int>(750 * s)), 0x0000FFu);
  EXPECT_EQ(qAlpha(image.pixel(585, 585)), 255);  // the picture ends at (586, 586)
  EXPECT_EQ(Rgb(image, 2, 2), 0xFFFFFFu);
}

TEST_F(Playback, DisplayNeverEnlarges) {
  EXPECT_EQ(RenderForDisplay(Snapshot(picture), QSize(2100, 2100)).size(), QSize(2000, 2000));
}

TEST_F(Playback, EmptyPictureShowsNothing) {
  DiagramPicture empty;
  empty.SetWidth(2000);
  empty.SetHeight(2000);
  EXPECT_TRUE(RenderForDisplay(Snapshot(empty), QSize(587, 587)).isNull());
}

// A metafile from outside may hold any 32-bit value where the diagram holds small ones: fonts,
// advances, pens and coordinates at both ends of the range, in a picture so small that its
// scale is large. Playing it must neither fault nor stall.
TEST(PlaybackOfFiles, ValuesAtTheEndsOfTheRangePlay) {
  auto c = std::make_shared<PictureContent>();
  for (const int32_t height : {INT32_MIN, INT32_MAX, 0, -12})
    c->fonts.push_back(FontSpec{"Arial", height, 400, false, kBlack});
  c->texts.push_back({u"x\U0001F600y", {INT32_MAX, INT32_MAX, INT32_MAX, 5}, INT32_MAX});
  c->texts.push_back({u"ab", {INT32_MIN, INT32_MIN}, INT32_MIN});
  for (uint32_t font = 0; font < c->fonts.size(); ++font)
    for (uint32_t text = 0; text < c->texts.size(); ++text) {
      c->ops.push_back(op::Font{font});
      c->ops.push_back(op::TextOut{INT32_MIN + static_cast<int32_t>(font), 1, text});
      c->ops.push_back(op::TextOut{1, INT32_MAX, text});
      c->ops.push_back(op::TextOut{2, 2, text});
    }
  for (const int32_t width : {INT32_MIN, INT32_MAX, 0}) {
    c->ops.push_back(op::Pen{FillStyle::Solid, kBlack, width});
    c->ops.push_back(op::Rectangle{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
    c->ops.push_back(op::Ellipse{INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX});
    c->ops.push_back(op::MoveTo{INT32_MIN, INT32_MAX});
    c->ops.push_back(op::LineTo{INT32_MAX, INT32_MIN});
  }
  c->ops.push_back(op::Pen{FillStyle::None, kBlack, 1});
  c->ops.push_back(op::Ellipse{INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX});
  PictureSnapshot picture;
  picture.content = c;
  picture.width = picture.height = 10;
  WorkBudget budget(std::chrono::minutes(1));
  EXPECT_FALSE(RenderForDisplay(picture, QSize(400, 400), &budget).isNull());
  EXPECT_FALSE(budget.Spent());
}

// Small discs are filled from spans cached per radius and sub-pixel offset. Whatever the offset,
// the pixels filled are those whose centres lie in the true disc, give or take the 1/32 pixel
// the centre is rounded by: checked on every side of every radius the diagram draws (the three
// symbol sizes and their doubles for the selected row) at several display scales.
// A replay into a clip plays only what can reach into it, and the clip's pixels come out as a
// whole replay's.
TEST_F(Playback, AClippedReplayPassesOverWhatLiesOutsideAndPaintsTheClipAsAWholeOne) {
  const PictureContent& content = *picture.Content();
  const QSize size(587, 587);
  const double device = size.width() - 1.0;
  QImage whole(size, QImage::Format_ARGB32_Premultiplied);
  whole.fill(Qt::transparent);
  {
    QPainter painter(&whole);
    ASSERT_TRUE(PlayPicture(painter, content, 2000, 2000, device, device));
  }
  // Around the SiO2 corner, its label and the grid lines that meet there.
  const QRect clip(400, 270, 60, 50);
  const double s = device / 2000;
  const LogicalBounds area{static_cast<int64_t>(clip.left() / s) - 1, static_cast<int64_t>(clip.top() / s) - 1,
                           static_cast<int64_t>((clip.right() + 1) / s) + 1,
                           static_cast<int64_t>((clip.bottom() + 1) / s) + 1};
  QImage part(size, QImage::Format_ARGB32_Premultiplied);
  part.fill(Qt::transparent);
  QPicture played, all;
  {
    QPainter painter(&part);
    painter.setClipRect(clip);
    ASSERT_TRUE(PlayPicture(painter, content, 2000, 2000, device, device, nullptr, &area));
    QPainter counted(&played);
    counted.setClipRect(clip);
    PlayPicture(counted, content, 2000, 2000, device, device, nullptr, &area);
    QPainter everything(&all);
    everything.setClipRect(clip);
    PlayPicture(everything, content, 2000, 2000, device, device);
  }
  for (int y = clip.top(); y <= clip.bottom(); ++y)
    for (int x = clip.left(); x <= clip.right(); ++x) ASSERT_EQ(part.pixel(x, y), whole.pixel(x, y)) << x << "," << y;
  EXPECT_LT(played.size() * 4, all.size());
}

TEST(OperationBounds, CoverWhatEachOperationPaintsAndStateChangesHaveNone) {
  const PictureText text{u"SiO2", {30, 30, 30, 30}, 120};
  BoundsState at;
  at.currentX = 100, at.currentY = 50, at.penWidth = 6, at.fontHeight = -67, at.text = &text;
  const struct { PictureOp o; std::optional<LogicalBounds> want; } cases[] = {
      {op::Rectangle{0, 0, 2000, 2000}, LogicalBounds{-4, -4, 2004, 2004}},
      {op::Ellipse{20, 30, 10, 40}, LogicalBounds{6, 26, 24, 44}},  // either corner first
      {op::LineTo{40, 90}, LogicalBounds{36, 46, 104, 94}},          // from the current point
      {op::TextOut{10, 20, 0}, LogicalBounds{-57, -47, 197, 221}},
      {op::MoveTo{5, 5}, std::nullopt},
      {op::Pen{FillStyle::Solid, kBlack, 2}, std::nullopt},
      {op::Brush{FillStyle::Solid, kWhite}, std::nullopt},
      {op::Font{0}, std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(std::visit([&](const auto& o) { return BoundsOf(o, at); }, c.o), c.want) << c.o.index();
  at.penWidth = 0;  // no pen: the shape alone, and a unit for rounding
  EXPECT_EQ(BoundsOf(op::Ellipse{10, 10, 20, 20}, at), (LogicalBounds{9, 9, 21, 21}));
  EXPECT_FALSE((LogicalBounds{0, 0, 10, 10}).Meets({11, 0, 20, 10}));
  EXPECT_TRUE((LogicalBounds{0, 0, 10, 10}).Meets({10, 10, 20, 20}));
}

TEST(DiscStamp, FillsExactlyTheDiscOnEverySideAtEveryRadiusAndScale) {
  constexpr double kRounding = 0.045;  // the centre moves at most 1/32 px on each axis
  for (const double scale : {1.0, 0.75, 586.0 / 2000, 1.1, 0.125}) {
    for (const int32_t radius : {3, 6, 10, 12, 20}) {
      const double r = radius * scale;
      if (r * 2 < 1) continue;
      auto content = std::make_shared<PictureContent>();
      content->ops.push_back(op::Pen{FillStyle::None, kBlack, 1});
      content->ops.push_back(op::Brush{FillStyle::Solid, kBlue});
      // Centres at many sub-pixel positions, far enough apart not to touch.
      struct Centre { int32_t x, y; };
      std::vector<Centre> centres;
      const int32_t step = 2 * radius + 32;  // room for the offsets below and a gap
      for (int32_t i = 0; i < 150; ++i) centres.push_back({step + i % 15 * step + i * 7 % 13, step + i / 15 * step + i * 11 % 17});
      for (const Centre& c : centres) content->ops.push_back(op::Ellipse{c.x - radius, c.y - radius, c.x + radius, c.y + radius});
      const int32_t logical = 17 * step + 40;
      const int size = static_cast<int>(std::ceil(logical * scale));
      QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::white);
      {
        QPainter painter(&image);
        PlayPicture(painter, *content, logical, logical, logical * scale, logical * scale);
      }
      int missing[4] = {}, extra[4] = {};  // by side: left, right, top, bottom
      for (const Centre& c : centres) {
        const double cx = c.x * scale, cy = c.y * scale;
        for (int py = static_cast<int>(cy - r) - 2; py <= static_cast<int>(cy + r) + 2; ++py)
          for (int px = static_cast<int>(cx - r) - 2; px <= static_cast<int>(cx + r) + 2; ++px) {
            const double dx = px + 0.5 - cx, dy = py + 0.5 - cy, d = std::hypot(dx, dy);
            const bool filled = (image.pixel(px, py) & 0xFFFFFF) == 0x0000FF;
            const int side = std::abs(dx) >= std::abs(dy) ? (dx < 0 ? 0 : 1) : (dy < 0 ? 2 : 3);
            if (!filled && d <= r - kRounding) ++missing[side];
            if (filled && d > r + kRounding) ++extra[side];
          }
      }
      EXPECT_EQ(std::vector<int>(missing, missing + 4), std::vector<int>(4, 0))
          << "pixels inside the disc left empty (left, right, top, bottom) at radius " << radius << ", scale " << scale;
      EXPECT_EQ(std::vector<int>(extra, extra + 4), std::vector<int>(4, 0))
          << "pixels outside the disc filled (left, right, top, bottom) at radius " << radius << ", scale " << scale;
    }
  }
}


// Crowded discs are filled the last first, each only where no later one lies; stretches of
// fewer discs are filled in order. The same picture recorded with a MoveTo after every disc
// (which draws nothing but ends each stretch at one disc) is filled in order throughout: both
// must give the same pixels. The picture has a line and a label under the discs, a crowded
// cluster with the selected (red, larger) disc in the middle of its run, sparse discs partly
// or wholly outside the picture, large and oval ellipses, then a line, a label and a second
// crowded stretch over the discs.
// With `many`, the crowd is over the whole picture and large enough for two cores, yet thin
// enough that every part of its run shows somewhere.
PictureSnapshot RecordCrowdedPicture(uint32_t seed, bool inOrder, const SurfaceEnvironment& env, bool many = false) {
  std::mt19937 rng(seed);
  auto uniform = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
  auto centres = std::make_shared<DiscCentres>();
  if (many)
    for (int i = 0; i < 210'000; ++i) centres->push_back({uniform(-40, 2040), uniform(-40, 2040)});
  else
    for (int i = 0; i < 6000; ++i) centres->push_back({uniform(700, 1000), uniform(800, 1100)});
  for (int i = 0; i < 600; ++i) centres->push_back({uniform(-40, 2040), uniform(-40, 2040)});
  centres->push_back({0, 0});
  centres->push_back({2000, 2000});
  centres->push_back({-3000, 500});
  centres->push_back({INT32_MAX - 3, INT32_MIN + 2});
  const auto n = static_cast<uint32_t>(centres->size());
  const uint32_t selected = uniform(1000, 5000);
  (*centres)[selected] = {1500, 1500};  // where few later discs hide it
  DiscCentres crowd2;
  for (int i = 0; i < 3000; ++i) crowd2.push_back({uniform(900, 1300), uniform(300, 700)});

  DiagramPicture picture;
  picture.SetWidth(2000);
  picture.SetHeight(2000);
  DrawingSurface s(picture, env);
  auto discs = [&](const DiscCentres& all, uint32_t begin, uint32_t end, int32_t r, Rgb colour,
                   const std::shared_ptr<const DiscCentres>& shared) {
    s.SetBrushColour(colour);
    if (!inOrder && shared) {
      s.Discs(shared, begin, end, r);
      return;
    }
    for (uint32_t k = begin; k < end; ++k) {
      const op::Ellipse e = DiscBox(all[k], r);
      s.Ellipse(e.x1, e.y1, e.x2, e.y2);
      if (inOrder) s.MoveTo(0, 0);
    }
  };
  s.SetPenStyle(FillStyle::None);
  s.Rectangle(0, 0, 2000, 2000);
  s.SetPenStyle(FillStyle::Solid);
  s.SetPenWidth(6);
  s.MoveTo(600, 950);
  s.LineTo(1100, 950);
  s.SetFontSize(50);
  s.TextOut(750, 900, "SiO2");
  s.SetPenStyle(FillStyle::None);
  discs(*centres, 0, selected, 6, kBlue, centres);
  discs(*centres, selected, selected + 1, 12, kRed, centres);
  discs(*centres, selected + 1, n, 6, kBlue, centres);
  // Ellipses of their own, drawn the general way: large, oval, and one over the picture's edge.
  const DiscCentres big = {{850, 950}, {1990, 1000}, {880, 1050}};
  s.SetBrushColour(kGrey);
  for (const DiscCentre& c : big) s.Ellipse(c.x - 90, c.y - 60, c.x + 90, c.y + 60);
  s.SetBrushColour(kWhite);
  s.Ellipse(800, 850, 900, 950);
  s.SetPenStyle(FillStyle::Solid);
  s.SetPenColour(kBlack);
  s.SetPenWidth(2);
  s.MoveTo(650, 1000);
  s.LineTo(1050, 1000);
  s.SetBrushColour(kWhite);
  s.TextOut(800, 1020, "MgO");
  s.SetPenStyle(FillStyle::None);
  discs(crowd2, 0, static_cast<uint32_t>(crowd2.size()), 10, Rgb{0, 128, 0}, nullptr);
  s.End();
  return Snapshot(picture);
}

TEST(TopmostFirst, GivesThePixelsOfFillingInOrderAtEverySize) {
  QtTextMetrics metrics;
  const SurfaceEnvironment env{ScreenInfo{}, false, &metrics};
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    const PictureSnapshot fast = RecordCrowdedPicture(seed, false, env);
    const PictureSnapshot plain = RecordCrowdedPicture(seed, true, env);
    ASSERT_LT(fast.content->ops.size(), 3100u) << "the discs were not recorded as runs";
    for (const QSize size : {QSize(2000, 2000), QSize(2600, 2600), QSize(587, 587), QSize(437, 391), QSize(97, 97)}) {
      const QImage a = RenderToImage(fast, size), b = RenderToImage(plain, size);
      EXPECT_EQ(a, b) << "seed " << seed << " at " << size.width() << "x" << size.height();
    }
    // Not a blank agreement: the line drawn after the discs lies over them, and the selected
    // disc and the second crowd show.
    const QImage image = RenderToImage(fast, QSize(2000, 2000));
    EXPECT_EQ(image.pixel(700, 1000) & 0xFFFFFF, 0x000000u) << "seed " << seed;
    int red = 0, green = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        red += (image.pixel(x, y) & 0xFFFFFF) == 0xFF0000;
        green += (image.pixel(x, y) & 0xFFFFFF) == 0x008000;
      }
    EXPECT_GT(red, 0) << "seed " << seed;
    EXPECT_GT(green, 0) << "seed " << seed;
    EXPECT_EQ(RenderForDisplay(fast, QSize(640, 480)), RenderForDisplay(plain, QSize(640, 480))) << "seed " << seed;
  }
}

// Enough discs for a second core to fill the lower half of them beside the first.
TEST(TopmostFirst, GivesThePixelsOfFillingInOrderOnTwoCores) {
  QtTextMetrics metrics;
  const SurfaceEnvironment env{ScreenInfo{}, false, &metrics};
  const PictureSnapshot fast = RecordCrowdedPicture(4, false, env, true);
  const PictureSnapshot plain = RecordCrowdedPicture(4, true, env, true);
  for (const QSize size : {QSize(2000, 2000), QSize(587, 587), QSize(97, 97)})
    EXPECT_EQ(RenderToImage(fast, size), RenderToImage(plain, size)) << "at " << size.width();
  // Magnified, the image is halved between the cores instead; the view's edges and the seam
  // between the halves cut discs.
  for (const DisplayZoom zoom : {DisplayZoom{2, 150, 301}, DisplayZoom{5.04, 1200, 977}, DisplayZoom{64, 18000, 20011}})
    EXPECT_EQ(RenderForDisplay(fast, QSize(587, 587), zoom), RenderForDisplay(plain, QSize(587, 587), zoom))
        << "at " << zoom.scale;
}

}  // namespace
}  // namespace ternova
