// The engine: what it derives from a load, when a drawing stands as the one symbols are found
// on, and where the symbols begin in what it records.
#include "plot/plot.h"

#include <gtest/gtest.h>

#include <variant>

#include "tests/fixed_advance.h"

namespace ternova {
namespace {

class Engine : public ::testing::Test {
 protected:
  void SetUp() override { env.metrics = &metrics; }
  testing::FixedAdvance metrics;
  SurfaceEnvironment env;
  Plot plot;
};

TEST(ViewStateTest, ASelectionChangeIsTheOnlyDifferenceThatRepaintsInPlace) {
  const ViewState drawn{3, 6, true, true};
  const struct { ViewState next; bool selectionOnly; } cases[] = {
      {{3, 6, true, true}, true},  {{7, 6, true, true}, true},   {{0, 6, true, true}, true},
      {{3, 10, true, true}, false}, {{3, 6, false, true}, false}, {{3, 6, true, false}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WithSelected(drawn, c.next.SelectedSample) == c.next, c.selectionOnly)
        << c.next.SelectedSample << " " << c.next.SymbolSize << " " << c.next.Grid10 << c.next.Grid50;
  }
}

TEST_F(Engine, SymbolsAreFoundOnlyOnACompletedDrawingOfTheTableAsItIs) {
  EXPECT_FALSE(plot.OnlySelectionDiffers(ViewState{}));
  ASSERT_FALSE(plot.LoadText("45\t8\t38\t8\tpyrolite\n45\t8\t38\t8\tsame place\n", '.').error);
  const Point centre = plot.Table.SamplePoints[2][1];
  EXPECT_EQ(plot.SymbolAt(centre.x, centre.y).row, 0);  // nothing drawn yet
  plot.Draw(ViewState{}, env);
  EXPECT_EQ(plot.SymbolAt(centre.x, centre.y).row, 2);  // the later row lies on top
  EXPECT_TRUE(plot.OnlySelectionDiffers(ViewState{1, 6, true, true}));
  EXPECT_FALSE(plot.OnlySelectionDiffers(ViewState{1, 3, true, true}));

  // A file that cannot be read changes nothing; one that loads replaces the drawing's symbols.
  EXPECT_THROW((void)plot.LoadFile("/nonexistent/rocks.txt", '.'), LoadError);
  EXPECT_EQ(plot.SymbolAt(centre.x, centre.y).row, 2);
  ASSERT_FALSE(plot.LoadText("10\t80\t5\t5\n", '.').error);
  EXPECT_FALSE(plot.DrawnView());
  EXPECT_EQ(plot.SymbolAt(centre.x, centre.y).row, 0);
  plot.Draw(ViewState{}, env);
  const Point moved = plot.Table.SamplePoints[1][1];
  EXPECT_EQ(plot.SymbolAt(moved.x, moved.y).row, 1);
  EXPECT_EQ(plot.SymbolAt(centre.x, centre.y).row, 0);
}

TEST_F(Engine, AnIndexBuiltOnAnotherThreadFindsWhatOneBuiltHereFinds) {
  ASSERT_FALSE(plot.LoadText("45\t8\t38\t8\n50\t26\t8\t10\n", '.').error);
  plot.CollectCentres();
  EXPECT_TRUE(plot.SymbolIndexPending());
  plot.StartSymbolIndex();
  plot.Draw(ViewState{}, env);
  const Point p = plot.Table.SamplePoints[2][3];
  EXPECT_EQ(plot.SymbolAt(p.x, p.y).row, 2);
  EXPECT_EQ(plot.Symbols().Rows(), 2);
}

TEST_F(Engine, TheSymbolsBeginWhereTheFirstDiscIsRecordedAndTheDrawingIsTheWrappersOwn) {
  ASSERT_FALSE(plot.LoadText("45\t8\t38\t8\n50\t26\t8\t10\n1\t2\t3\t94\n", '.').error);
  for (const ViewState& view : {ViewState{}, ViewState{2, 10, false, true}, ViewState{0, 3, false, false}}) {
    const int32_t lastDivisions = plot.GridDivisions;
    const Drawn drawn = plot.Draw(view, env);
    const PictureOps& ops = plot.Picture.Content()->ops;
    size_t firstDisc = 0;
    while (firstDisc < ops.size() && !std::holds_alternative<op::Ellipse>(ops[firstDisc]) &&
           !std::holds_alternative<op::Discs>(ops[firstDisc]))
      ++firstDisc;
    ASSERT_LE(drawn.firstSymbolOp, firstDisc);
    // Between them only the symbols' brush and pen, which paint nothing.
    for (size_t i = drawn.firstSymbolOp; i < firstDisc; ++i)
      EXPECT_TRUE(std::holds_alternative<op::Brush>(ops[i]) || std::holds_alternative<op::Pen>(ops[i])) << i;

    DiagramPicture other;
    other.SetWidth(2000);
    other.SetHeight(2000);
    int32_t divisions = lastDivisions;
    DrawDiagram(plot.Geometry, plot.Table, view, divisions, other, env);
    EXPECT_EQ(other.Content()->ops.size(), ops.size());
    EXPECT_EQ(divisions, plot.GridDivisions);
  }
}

// A new view is one more layer: the list without the symbols draws the bare net.
TEST_F(Engine, ALayerListDrawsItsLayersInOrder) {
  ASSERT_FALSE(plot.LoadText("45\t8\t38\t8\n", '.').error);
  const Layer bare[] = {BackgroundLayer, OutlineLayer, GridLayer, LabelLayer};
  int32_t divisions = 0;
  const SymbolCentres centres = CollectSymbolCentres(plot.Table);
  DrawLayers(bare, plot.Geometry, plot.Table, centres, ViewState{}, divisions, plot.Picture, env);
  const PictureOps& ops = plot.Picture.Content()->ops;
  ASSERT_FALSE(ops.empty());
  size_t labels = 0;
  for (const auto& o : ops) {
    EXPECT_FALSE(std::holds_alternative<op::Discs>(o));
    EXPECT_FALSE(std::holds_alternative<op::Ellipse>(o));
    labels += std::holds_alternative<op::TextOut>(o);
  }
  EXPECT_EQ(labels, 6u);
}

}  // namespace
}  // namespace ternova
