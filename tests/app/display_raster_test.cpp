// The raster the diagram is shown from: a new selection repaints only the symbols of the old
// and the new selected row, and a resize shows the old raster scaled until the size settles;
// what the window finally shows is exactly what a full replay shows.
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <random>

#include "app/image_control.h"
#include "app/sample_grid.h"
#include "app_test_support.h"
#include "picture/display.h"
#include "picture/qt/playback.h"

namespace ternova::app::testing {
namespace {

class DisplayRasterTest : public WindowTest {
 protected:
  ImageControl* Image() const { return form_->imgTernova; }

  // Clusters of samples that cover each other, the grid lines and the labels.
  QString CrowdedFile(int rows) {
    std::mt19937 random(13);
    std::uniform_real_distribution<double> jitter(0, 4);
    const double centres[][4] = {{50, 20, 20, 10}, {2, 95, 2, 1}, {30, 30, 30, 10}, {1, 2, 3, 94}};
    std::string text;
    for (int i = 0; i < rows; ++i) {
      const double* c = centres[i % 4];
      for (int k = 0; k < 4; ++k) text += std::to_string(c[k] + jitter(random)) + (k < 3 ? "\t" : "\n");
    }
    return WriteFile("crowded.txt", text);
  }

  // The serial number of the raster the control keeps: the same while it is repainted in place.
  qint64 RasterSerial() { return Image()->Displayed().cacheKey() >> 32; }

  void ExpectLikeFullReplay(const std::string& step) {
    const QImage shown = Image()->Displayed();
    const QImage full = RenderForDisplay(Image()->Picture(), Image()->size());
    ASSERT_EQ(shown.size(), full.size()) << step;
    int differing = 0;
    for (int y = 0; y < full.height(); ++y)
      for (int x = 0; x < full.width(); ++x) differing += shown.pixel(x, y) != full.pixel(x, y);
    EXPECT_EQ(differing, 0) << step;
  }
};

TEST_F(DisplayRasterTest, SelectionChangesRepaintInPlaceExactlyAsAFullReplay) {
  Open(CrowdedFile(4000));
  ASSERT_TRUE(dialogs_->errors.empty());
  ExpectLikeFullReplay("after the load");
  const qint64 serial = RasterSerial();
  // Rows in every cluster, the same row twice, and back to none.
  for (int row : {1, 2, 3, 4, 4, 3999, 4000, 0, 17}) {
    form_->strgridDataSelectCell(row);
    EXPECT_EQ(RasterSerial(), serial) << "row " << row << " was not repainted in place";
    ExpectLikeFullReplay("row " + std::to_string(row));
  }
  form_->btnPlot->click();
  EXPECT_EQ(RasterSerial(), serial);
  ExpectLikeFullReplay("refresh");
}

// A crowd too deep to cover a clip at its edge disc by disc, topmost first: the rest of its
// discs are filled by their places in the drawing order.
TEST_F(DisplayRasterTest, SelectionsAtTheEdgeOfADeepCrowdRepaintExactlyAsAFullReplay) {
  std::mt19937 random(29);
  std::uniform_real_distribution<double> jitter(0, 1.5);
  std::string text;
  const int crowd = 30000;
  for (int i = 0; i < crowd; ++i) {
    // Later rows only near the crowd's middle, so the edge stays a mix of early and late ones.
    const double spread = i % 2 ? 1.0 : 0.4;
    text += std::to_string(50 + spread * jitter(random)) + "\t" + std::to_string(20 + spread * jitter(random)) + "\t" +
            std::to_string(20 + spread * jitter(random)) + "\t10\n";
  }
  // Rows just beside the crowd, whose symbols reach over its edge into empty paper.
  for (double d : {1.7, 1.9, 2.3}) text += std::to_string(50 + d) + "\t20\t20\t10\n";
  text += "51\t23.2\t20\t10\n";
  Open(WriteFile("edge.txt", text));
  ASSERT_TRUE(dialogs_->errors.empty());
  const qint64 serial = RasterSerial();
  for (int row : {crowd + 1, crowd + 2, 7, crowd + 3, crowd + 4, crowd, 0}) {
    form_->strgridDataSelectCell(row);
    EXPECT_EQ(RasterSerial(), serial) << "row " << row << " was not repainted in place";
    ExpectLikeFullReplay("row " + std::to_string(row));
  }
}

TEST_F(DisplayRasterTest, OtherViewChangesAndNewSizesReplayTheWhole) {
  Open(CrowdedFile(400));
  form_->strgridDataSelectCell(5);
  const qint64 serial = RasterSerial();
  form_->LargeL1Click();
  EXPECT_NE(RasterSerial(), serial);
  ExpectLikeFullReplay("large symbols");
  form_->strgridDataSelectCell(6);
  ExpectLikeFullReplay("selection with large symbols");
  form_->N1011Click();
  ExpectLikeFullReplay("10 % grid off");
  form_->strgridDataSelectCell(7);
  ExpectLikeFullReplay("selection without the 10 % grid");

  form_->resize(form_->size() + QSize(37, -23));
  QApplication::processEvents();
  form_->strgridDataSelectCell(8);
  ExpectLikeFullReplay("selection after a resize");
}

TEST_F(DisplayRasterTest, AFailedLoadsStaleRowsAreNotRepainted) {
  Open(CrowdedFile(400));
  form_->strgridDataSelectCell(300);
  // A shorter file that fails at its third line: rows beyond it are no samples any more.
  Open(WriteFile("short.txt", Lines(5, 3)));
  ASSERT_FALSE(dialogs_->errors.empty());
  form_->strgridDataSelectCell(2);
  ExpectLikeFullReplay("selection after a failed load");
  form_->strgridDataSelectCell(300);
  ExpectLikeFullReplay("a stale row selected");
}

// The grid's move of its current cell up to a shorter file's last row redraws before any line is
// read; after a failure there, a later redraw shows the rows that did load.
TEST_F(DisplayRasterTest, AfterAFailedLoadThatMovedTheCurrentRowTheCompletedRowsAreShown) {
  Open(CrowdedFile(40));
  QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {}, form_->strgridData->CellRect(2, 7).center());
  ASSERT_EQ(State().SelectedSample, 7);
  Open(WriteFile("short.txt", Lines(4, 4)));
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  ASSERT_EQ(State().SelectedSample, 4);
  Image()->Displayed();  // painted while the error box is up
  form_->btnPlot->click();
  EXPECT_EQ(Symbols(Image()->Picture()).size(), 12u);
  ExpectLikeFullReplay("refresh after the failed load");
  form_->strgridDataSelectCell(2);
  ExpectLikeFullReplay("a completed row selected");
}

TEST_F(DisplayRasterTest, WhileResizingTheLastRasterIsScaledAndOnceSettledReplayed) {
  Open(CrowdedFile(20000));
  const QImage before = Image()->Displayed();
  for (const QSize step : {QSize(40, 30), QSize(25, 60), QSize(-10, 15)}) {
    form_->resize(form_->size() + step);
    // Paints the control as the screen would: the raster from before, scaled to the new size.
    const QImage frame = Image()->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const DisplayRect fit = FitPicture(2000, 2000, Image()->width(), Image()->height());
    QImage scaled(fit.width, fit.height, QImage::Format_ARGB32_Premultiplied);
    scaled.fill(Qt::transparent);
    QPainter(&scaled).drawImage(scaled.rect(), before);
    EXPECT_EQ(frame.copy(scaled.rect()), scaled) << "step " << step.width() << "," << step.height();
  }
  // Once the size has stood still for a moment, the control paints the exact picture.
  auto* settle = Image()->findChild<QTimer*>();
  ASSERT_NE(settle, nullptr);
  ASSERT_EVENTUALLY(!settle->isActive());
  QApplication::processEvents();
  const QImage exact = RenderForDisplay(Image()->Picture(), Image()->size());
  const QImage shown = Image()->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  ASSERT_NE(exact.size(), before.size());
  EXPECT_EQ(shown.copy(QRect(QPoint(0, 0), exact.size() - QSize(1, 1))), exact.copy(QRect(QPoint(0, 0), exact.size() - QSize(1, 1))));
}

}  // namespace
}  // namespace ternova::app::testing
