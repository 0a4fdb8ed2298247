// The view commands and what they record, the display rule of the image control and the help.
#include <QPushButton>
#include <QTest>

#include "app/image_control.h"
#include "app/sample_grid.h"
#include "app_test_support.h"
#include "picture/qt/playback.h"

namespace ternova::app::testing {
namespace {

class CommandsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    RecordReports();
    Open(WriteFile("six.txt", Lines(6)));
    ASSERT_TRUE(dialogs_->errors.empty());
  }
  void ClickRow(int row) {
    QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {}, form_->strgridData->CellRect(2, row).center());
  }
  std::vector<Symbol> Shown() const { return Symbols(form_->imgTernova->Picture()); }
};

TEST_F(CommandsTest, SelectedRowThenLargeDrawsItRedAtDoubleSize) {
  ClickRow(4);
  EXPECT_EQ(reports_, std::vector<int>{4});
  form_->LargeL1->trigger();
  const std::vector<Symbol> symbols = Shown();
  ASSERT_EQ(symbols.size(), 6u * 4);  // every sample on every face
  int red = 0;
  for (size_t i = 0; i < symbols.size(); ++i) {
    const bool selected = i % 6 == 3;  // faces in turn, rows 1..6 within each face
    EXPECT_EQ(symbols[i].r, selected ? 20 : 10) << i;
    EXPECT_EQ(symbols[i].colour, selected ? kRed : kBlue) << i;
    red += selected;
  }
  EXPECT_EQ(red, 4);
  // The symbols stand where the load projected them.
  EXPECT_EQ(symbols[3].x, State().Engine.Table.SamplePoints[4][1].x);
  EXPECT_EQ(symbols[3].y, State().Engine.Table.SamplePoints[4][1].y);

  form_->SmallS1->trigger();
  for (const Symbol& s : Shown()) EXPECT_EQ(s.r, s.colour == kRed ? 6 : 3);
  form_->MediumM1->trigger();
  for (const Symbol& s : Shown()) EXPECT_EQ(s.r, s.colour == kRed ? 12 : 6);
}

TEST_F(CommandsTest, PlotRefreshClearsTheHighlight) {
  ClickRow(2);
  ASSERT_EQ(State().SelectedSample, 2);
  QTest::mouseClick(form_->btnPlot, Qt::LeftButton);
  EXPECT_EQ(State().SelectedSample, 0);
  for (const Symbol& s : Shown()) EXPECT_EQ(s.colour, kBlue);
  EXPECT_EQ(Shown().size(), 24u);
}

TEST_F(CommandsTest, GridItemsSwitchTheirLinesAndTogglingTwiceRestoresThePicture) {
  const std::vector<std::string> before = Describe(form_->imgTernova->Picture());
  auto greyPens = [](const std::vector<std::string>& ops) {
    return std::count(ops.begin(), ops.end(), std::string("pen 0 128,128,128 2"));
  };
  auto lines = [](const std::vector<std::string>& ops) {
    return std::count_if(ops.begin(), ops.end(), [](const std::string& s) { return s.rfind("line ", 0) == 0; });
  };
  ASSERT_EQ(greyPens(before), 1);
  form_->N1011->trigger();
  const std::vector<std::string> without10 = Describe(form_->imgTernova->Picture());
  EXPECT_EQ(lines(before) - lines(without10), 4 * 9 * 3);  // 9 lines per direction on 4 faces
  form_->N1011->trigger();
  EXPECT_EQ(Describe(form_->imgTernova->Picture()), before);

  form_->N5051->trigger();
  EXPECT_EQ(lines(before) - lines(Describe(form_->imgTernova->Picture())), 4 * 1 * 3);
  form_->N5051->trigger();
  EXPECT_EQ(Describe(form_->imgTernova->Picture()), before);
}

TEST_F(CommandsTest, DensityShowsCellsAndOnlyTheHighlightedDiscsAndOffRestoresThePicture) {
  auto count = [](const std::vector<std::string>& ops, const std::string& prefix) {
    return std::count_if(ops.begin(), ops.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
  };
  ClickRow(2);
  const std::vector<std::string> before = Describe(form_->imgTernova->Picture());
  EXPECT_EQ(count(before, "polygons"), 0);
  form_->DensityD1->trigger();
  EXPECT_TRUE(form_->DensityD1->isChecked());
  const std::vector<std::string> density = Describe(form_->imgTernova->Picture());
  EXPECT_GE(count(density, "polygons"), 1);
  // Only the highlighted sample's four discs, red, and only they are found under the pointer.
  const std::vector<Symbol> discs = Shown();
  ASSERT_EQ(discs.size(), 4u);
  for (const Symbol& d : discs) EXPECT_EQ(d.colour, kRed);
  for (int face = 1; face <= 4; ++face) {
    const Point& selected = State().Engine.Table.SamplePoints[2][face];
    const Point& other = State().Engine.Table.SamplePoints[5][face];
    EXPECT_EQ(State().Engine.SymbolAt(selected.x, selected.y).row, 2) << "face " << face;
    if (std::abs(other.x - selected.x) + std::abs(other.y - selected.y) > 40) {
      EXPECT_EQ(State().Engine.SymbolAt(other.x, other.y).row, 0) << "face " << face;
    }
  }
  // Another selection in the view redraws it whole: still no blue disc.
  ClickRow(5);
  ASSERT_EQ(Shown().size(), 4u);
  ClickRow(2);
  form_->DensityD1->trigger();
  EXPECT_FALSE(form_->DensityD1->isChecked());
  EXPECT_EQ(Describe(form_->imgTernova->Picture()), before);
}

TEST_F(CommandsTest, DensityOffShowsTheDiscsAsTheyWereUnlessTheViewChangedMeanwhile) {
  ClickRow(2);
  ImageControl* image = form_->imgTernova;
  const auto discs = image->Picture().content;
  const qint64 raster = image->Displayed().cacheKey();
  form_->DensityD1->trigger();
  image->Displayed();
  form_->DensityD1->trigger();
  // The same recording, the same raster: nothing was played again.
  EXPECT_EQ(image->Picture().content, discs);
  EXPECT_EQ(image->Displayed().cacheKey(), raster);
  // Hover and click find the discs of the drawing shown.
  const Point p = State().Engine.Table.SamplePoints[3][1];
  EXPECT_EQ(State().Engine.SymbolAt(p.x, p.y).row, 3);
  // Another selection meanwhile: drawn anew, as any drawing is.
  form_->DensityD1->trigger();
  ClickRow(4);
  form_->DensityD1->trigger();
  EXPECT_NE(image->Picture().content, discs);
  EXPECT_EQ(image->Displayed(), RenderForDisplay(image->Picture(), image->size()));
  EXPECT_EQ(State().SelectedSample, 4);
}

TEST_F(CommandsTest, ACellSizeTurnsTheDensityViewOnInThatSize) {
  form_->N10011->trigger();
  EXPECT_TRUE(form_->DensityD1->isChecked());
  EXPECT_TRUE(form_->N10011->isChecked());
  EXPECT_FALSE(form_->N5052->isChecked());
  EXPECT_EQ(State().DensityDivisions, 100);
  const std::vector<std::string> at100 = Describe(form_->imgTernova->Picture());
  form_->N2521->trigger();
  EXPECT_EQ(State().DensityDivisions, 25);
  EXPECT_NE(Describe(form_->imgTernova->Picture()), at100);
}

TEST_F(CommandsTest, TheImageShowsWhatWasAssignedLast) {
  const auto first = form_->imgTernova->Picture().content;
  ClickRow(3);
  EXPECT_NE(form_->imgTernova->Picture().content, first);
  EXPECT_EQ(form_->imgTernova->Picture().content, State().Engine.Picture.Content());
}

TEST_F(CommandsTest, HelpShowsTheContactAndChangesNothing) {
  const auto picture = State().Engine.Picture.Content();
  form_->TernovaHelpT1->trigger();
  ASSERT_EQ(dialogs_->helps.size(), 1u);
  EXPECT_EQ(dialogs_->helps[0], "Help me! --> ternova-help@users.noreply.github.com");
  EXPECT_EQ(State().Engine.Picture.Content(), picture);
  EXPECT_TRUE(dialogs_->errors.empty());
}

class DisplayTest : public WindowTest {};

TEST_F(DisplayTest, ThePictureIsFittedIntoTheControlNeverEnlarged) {
  ImageControl& image = *form_->imgTernova;
  EXPECT_TRUE(image.Displayed().isNull());  // before the first drawing
  form_->btnPlot->click();
  image.resize(987, 587);
  ASSERT_EQ(image.Displayed().size(), QSize(587, 587));
  EXPECT_EQ(image.Displayed().pixelColor(10, 10), QColor(Qt::white));  // background rectangle
  image.resize(2100, 2100);
  EXPECT_EQ(image.Displayed().size(), QSize(2000, 2000));
  // What the control paints is that image at its top-left corner, transparent elsewhere.
  const QImage grabbed = image.grab().toImage();
  EXPECT_EQ(grabbed.pixelColor(10, 10), QColor(Qt::white));
}

}  // namespace
}  // namespace ternova::app::testing
