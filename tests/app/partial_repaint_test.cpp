// A new selection repaints only the symbols of the old and the new selected row; what the
// window shows must stay exactly what a full replay of the new picture shows.
#include <QPushButton>
#include <QTest>
#include <random>

#include "app/image_control.h"
#include "app_test_support.h"
#include "picture/qt/playback.h"

namespace ternova::app::testing {
namespace {

class PartialRepaintTest : public WindowTest {
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

TEST_F(PartialRepaintTest, SelectionChangesRepaintInPlaceExactlyAsAFullReplay) {
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

TEST_F(PartialRepaintTest, OtherViewChangesAndNewSizesReplayTheWhole) {
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

TEST_F(PartialRepaintTest, AFailedLoadsStaleRowsAreNotRepainted) {
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

}  // namespace
}  // namespace ternova::app::testing
