// A long load shows its progress over the diagram, takes no other input, and Esc stops it,
// leaving what a load that failed at that row leaves, without a message.
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include "app/image_control.h"
#include "app/sample_grid.h"
#include "app_test_support.h"

namespace ternova::app::testing {
namespace {

class ProgressTest : public WindowTest {
 protected:
  static std::string Lines(int n) {
    std::string text;
    text.reserve(static_cast<size_t>(n) * 12);
    for (int i = 0; i < n; ++i) text += "1\t2\t3\t" + std::to_string(i % 9 + 1) + "\n";
    return text;
  }
};

TEST_F(ProgressTest, EscStopsALongLoadWhereItIsAndTheWindowTakesNoOtherInput) {
  Open(WriteFile("small.txt", Lines(3)));
  const auto before = Describe(form_->imgTernova->Picture());
  ASSERT_EQ(Symbols(form_->imgTernova->Picture()).size(), 12u);
  const int selected = State().SelectedSample;

  form_->SetLoadProgressDelay(0);
  bool seen = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QProgressBar* bar = form_->LoadProgressBar();
    if (seen || !bar || !bar->isVisible()) return;
    seen = true;
    // A click on the grid and a menu shortcut go nowhere; Esc stops the load.
    QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {}, form_->strgridData->CellRect(1, 2).center());
    QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(form_.get(), Qt::Key_Escape);
  });
  poll.start(1);
  constexpr int kLines = 1'500'000;
  Open(WriteFile("large.txt", Lines(kLines)));
  poll.stop();

  ASSERT_TRUE(seen) << "no progress was shown";
  EXPECT_FALSE(form_->LoadProgressBar()->isVisible());
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(dialogs_->openAsked.size(), 2u);  // Ctrl+O opened no dialog while it ran
  EXPECT_EQ(form_->lblFN->text(), "Data file = large.txt");
  EXPECT_EQ(State().Engine.Table.SampleCount, kLines);
  EXPECT_LT(State().Engine.Table.CompletedRows, kLines);
  EXPECT_EQ(form_->strgridData->Cells()->GridRows(), kLines + 1);
  // As after a failed load: the picture is the one drawn before, the selection did not move.
  EXPECT_EQ(Describe(form_->imgTernova->Picture()), before);
  EXPECT_EQ(State().SelectedSample, selected);
  // The next file loads as ever.
  form_->SetLoadProgressDelay(500);
  Open(WriteFile("again.txt", Lines(2)));
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(Symbols(form_->imgTernova->Picture()).size(), 8u);
}

TEST_F(ProgressTest, AShortLoadShowsNoProgress) {
  Open(WriteFile("small.txt", Lines(1000)));
  EXPECT_TRUE(!form_->LoadProgressBar() || form_->LoadProgressBar()->isHidden());
  EXPECT_EQ(State().Engine.Table.CompletedRows, 1000);
}

}  // namespace
}  // namespace ternova::app::testing
