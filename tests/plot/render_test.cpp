#include "plot/layers.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/error.h"
#include "diagram/projection.h"
#include "tests/fixed_advance.h"
#include "tests/flat_operations.h"

namespace ternova {
namespace {

using testing::FixedAdvance;

struct Segment {
  int32_t x1, y1, x2, y2;
  Rgb colour;
  int32_t width;
  friend bool operator==(const Segment&, const Segment&) = default;
};

struct Disc {
  int32_t x1, y1, x2, y2;
  Rgb colour;
};

// The ops of a picture, flattened with the state they were drawn in.
struct Drawn {
  std::vector<Segment> segments;
  std::vector<Disc> discs;
  std::vector<op::Rectangle> rectangles;
  std::vector<std::pair<op::TextOut, std::u16string>> texts;
  std::vector<FontSpec> fonts;
};

Drawn Flatten(const PictureContent& c) {
  Drawn d;
  op::Pen pen{};
  op::Brush brush{};
  int32_t cx = 0, cy = 0;
  for (const auto& o : ::ternova::testing::FlatOperations(c)) {
    if (auto* p = std::get_if<op::Pen>(&o)) pen = *p;
    else if (auto* b = std::get_if<op::Brush>(&o)) brush = *b;
    else if (auto* m = std::get_if<op::MoveTo>(&o)) cx = m->x, cy = m->y;
    else if (auto* l = std::get_if<op::LineTo>(&o)) {
      d.segments.push_back({cx, cy, l->x, l->y, pen.colour, pen.width});
      cx = l->x, cy = l->y;
    } else if (auto* e = std::get_if<op::Ellipse>(&o)) {
      EXPECT_EQ(pen.style, FillStyle::None);
      EXPECT_EQ(brush.style, FillStyle::Solid);
      d.discs.push_back({e->x1, e->y1, e->x2, e->y2, brush.colour});
    } else if (auto* r = std::get_if<op::Rectangle>(&o)) d.rectangles.push_back(*r);
    else if (auto* t = std::get_if<op::TextOut>(&o)) d.texts.push_back({*t, c.texts[t->text].chars});
    else if (auto* f = std::get_if<op::Font>(&o)) d.fonts.push_back(c.fonts[f->font]);
  }
  return d;
}

class Render : public ::testing::Test {
 protected:
  void SetUp() override {
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    env.metrics = &metrics;
  }
  void Samples(std::initializer_list<std::array<double, 4>> rows) {
    table.Resize(static_cast<int32_t>(rows.size()));
    int32_t r = 0;
    for (const auto& v : rows) {
      ++r;
      table.SampleValues[r] = {0, v[0], v[1], v[2], v[3]};
      ProjectRow(geometry, table, r);
    }
    table.CompletedRows = r;
  }
  Drawn Draw() {
    DrawDiagram(geometry, table, view, divisions, picture, env);
    return Flatten(*picture.Content());
  }
  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  ViewState view;
  int32_t divisions = 0;
  DiagramPicture picture;
  FixedAdvance metrics;
  SurfaceEnvironment env;
};

TEST_F(Render, OutlineIsOnePathOfNineSegments) {
  view.Grid10 = view.Grid50 = false;
  const Drawn d = Draw();
  ASSERT_EQ(d.segments.size(), 9u);
  const Point path[] = {{1433, 1000}, {1000, 250}, {567, 1000}, {1433, 1000}, {1866, 250},
                        {1000, 250},  {134, 250},  {567, 1000}, {1000, 1750}, {1433, 1000}};
  for (size_t i = 0; i < 9; ++i)
    EXPECT_EQ(d.segments[i], (Segment{path[i].x, path[i].y, path[i + 1].x, path[i + 1].y, kBlack, 6})) << i;
  ASSERT_EQ(d.rectangles.size(), 1u);
  EXPECT_EQ(d.rectangles[0].x2, 2000);
}

TEST_F(Render, GridPassesDrawTheirLinesAfterTheOutline) {
  const Drawn d = Draw();
  ASSERT_EQ(d.segments.size(), 9u + 108u + 12u);
  for (size_t i = 9; i < 9 + 108; ++i) EXPECT_EQ(d.segments[i].colour, kGrey);
  for (size_t i = 9 + 108; i < d.segments.size(); ++i) EXPECT_EQ(d.segments[i].colour, kBlack);
  // 10 % pass, face 1, i = 1, j = 1: P on VertexAlCa-VertexSiO2, Q on VertexAlCa-VertexMgO.
  EXPECT_EQ(d.segments[9], (Segment{1043, 325, 957, 325, kGrey, 2}));
  // The 50 % lines are the 10 % pass's fifth step, drawn again in black.
  for (int face = 0; face < 4; ++face)
    for (int j = 0; j < 3; ++j) {
      Segment tenth = d.segments[9 + face * 27 + 4 * 3 + j];
      tenth.colour = kBlack;
      EXPECT_EQ(d.segments[9 + 108 + face * 3 + j], tenth);
    }
  EXPECT_EQ(divisions, 1);
}

TEST_F(Render, EachGridSwitchesAlone) {
  view.Grid50 = false;
  EXPECT_EQ(Draw().segments.size(), 9u + 108u);
  EXPECT_EQ(divisions, 9);
  view.Grid10 = false;
  view.Grid50 = true;
  EXPECT_EQ(Draw().segments.size(), 9u + 12u);
}

TEST_F(Render, LabelsStandAtTheirCornersOnWhite) {
  const Drawn d = Draw();
  const std::pair<std::u16string, Point> expected[] = {
      {u"SiO2", {1483, 1000}}, {u"Al2O3+CaO", {1000, 150}}, {u"MgO", {417, 1000}},
      {u"FeO", {1866, 150}},   {u"FeO", {134, 150}},        {u"FeO", {1000, 1750}}};
  ASSERT_EQ(d.texts.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(d.texts[i].second, expected[i].first);
    EXPECT_EQ((Point{d.texts[i].first.x, d.texts[i].first.y}), expected[i].second);
  }
  ASSERT_EQ(d.fonts.size(), 1u);
  EXPECT_EQ(d.fonts[0].height, -67);
}

TEST_F(Render, SymbolsGoFaceByFaceWithTheSelectedRowRedAndDouble) {
  Samples({{1, 1, 1, 1}, {2, 1, 1, 1}, {1, 1, 1, 1}});
  view.SelectedSample = 3;
  view.SymbolSize = 10;
  const Drawn d = Draw();
  ASSERT_EQ(d.discs.size(), 12u);
  for (int face = 1; face <= 4; ++face)
    for (int j = 1; j <= 3; ++j) {
      const Disc& disc = d.discs[(face - 1) * 3 + (j - 1)];
      const Point p = table.SamplePoints[j][face];
      const int32_t r = j == 3 ? 20 : 10;
      EXPECT_EQ(disc.x1, p.x - r);
      EXPECT_EQ(disc.y2, p.y + r);
      EXPECT_EQ(disc.colour, j == 3 ? kRed : kBlue);
    }
}

TEST_F(Render, SelectionOutsideTheTableHighlightsNothing) {
  Samples({{1, 1, 1, 1}});
  for (int32_t selected : {0, 2, -1}) {
    view.SelectedSample = selected;
    for (const Disc& disc : Draw().discs) {
      EXPECT_EQ(disc.colour, kBlue);
      EXPECT_EQ(disc.x2 - disc.x1, 12);
    }
  }
}

TEST_F(Render, RowsAFailedLoadNeverReachedAreNotDrawn) {
  Samples({{1, 1, 1, 1}, {2, 1, 1, 1}, {1, 2, 1, 1}});
  table.CompletedRows = 1;
  EXPECT_EQ(Draw().discs.size(), 4u);
}

TEST_F(Render, FarOffSymbolsAreClampedNeverWrapped) {
  Samples({{1, 1, 1, 1}});
  table.SamplePoints[1][1] = {INT32_MAX, INT32_MIN};
  const int32_t r = view.SymbolSize;
  const Drawn d = Draw();
  EXPECT_EQ(d.discs[0].x1, INT32_MAX - r);
  EXPECT_EQ(d.discs[0].x2, INT32_MAX);
  EXPECT_EQ(d.discs[0].y1, INT32_MIN);
  EXPECT_EQ(d.discs[0].y2, INT32_MIN + r);
}

TEST_F(Render, FrameIsFixedAtTheFirstDrawing) {
  Draw();
  EXPECT_EQ(picture.PhysicalFrame(), (Frame{50000, 50000}));
  env.screen = {1920, 1080, 510, 290, 96};
  Draw();
  EXPECT_EQ(picture.PhysicalFrame(), (Frame{50000, 50000}));
}

TEST_F(Render, ReaderKeepsThePictureItTook) {
  Draw();
  const auto before = picture.Content();
  Samples({{1, 1, 1, 1}});
  Draw();
  EXPECT_NE(before, picture.Content());
  EXPECT_EQ(Flatten(*before).discs.size(), 0u);
  EXPECT_EQ(Flatten(*picture.Content()).discs.size(), 4u);
}

}  // namespace
}  // namespace ternova
