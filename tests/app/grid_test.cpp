// When the grid reports a selection, and when it does not, with real mouse, key and wheel events.
#include <QAbstractButton>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "app/image_control.h"
#include "app/sample_grid.h"
#include "app_test_support.h"

namespace ternova::app::testing {
namespace {

class GridTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    RecordReports();
    Open(WriteFile("forty.txt", Lines(40)));
    ASSERT_TRUE(dialogs_->errors.empty());
    grid_ = form_->strgridData;
    grid_->setFocus();
    ASSERT_EVENTUALLY(grid_->hasFocus());
    reports_.clear();
  }
  QPoint Cell(int column, int row) const { return grid_->CellRect(column, row).center(); }
  void Press(Qt::MouseButton button, QPoint at, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseClick(grid_->viewport(), button, mods, at);
  }
  void Wheel(int degrees8) {
    const QPointF at = Cell(2, 2);
    QWheelEvent wheel(at, grid_->viewport()->mapToGlobal(at), {}, {0, degrees8}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid_->viewport(), &wheel);
  }
  SampleGrid* grid_ = nullptr;
};

TEST_F(GridTest, LeftPressOnACellReportsItsRowEvenWhenAlreadyCurrent) {
  Press(Qt::LeftButton, Cell(3, 5));
  Press(Qt::LeftButton, Cell(3, 5));
  Press(Qt::LeftButton, Cell(5, 2));
  EXPECT_EQ(reports_, (std::vector<int>{5, 5, 2}));
  EXPECT_EQ(State().SelectedSample, 2);
  EXPECT_EQ(grid_->CurrentColumn(), 5);
  EXPECT_EQ(grid_->CurrentRow(), 2);
  // The highlight follows: row 2 is drawn red.
  int red = 0;
  for (const Symbol& s : Symbols(form_->imgTernova->Picture())) red += s.colour == kRed;
  EXPECT_EQ(red, 4);
}

// A number clipped in the fixed column reads as another row: "1000000" would show as "100000".
TEST_F(GridTest, TheNumberColumnFitsTheWidestRowNumberAndTheDataColumnsKeepTheirWidth) {
  QHeaderView* numbers = grid_->verticalHeader();
  EXPECT_EQ(numbers->width(), SampleGrid::kColumnWidth);
  const QFontMetrics metrics = numbers->fontMetrics();
  for (int last : {999999, 1000000, 12345678, 40}) {
    grid_->Resize(6, last + 1);
    const QString widest = QString::number(last);
    EXPECT_GE(numbers->width(), std::max(SampleGrid::kColumnWidth, 2 + metrics.horizontalAdvance(widest) + 1))
        << widest.toStdString();
    EXPECT_EQ(grid_->columnWidth(0), SampleGrid::kColumnWidth);
    EXPECT_EQ(grid_->columnWidth(4), SampleGrid::kColumnWidth);
  }
  EXPECT_EQ(numbers->width(), SampleGrid::kColumnWidth);
}

TEST_F(GridTest, PressesThatDoNotSelect) {
  Press(Qt::LeftButton, Cell(2, 3));
  reports_.clear();
  // Fixed row and column.
  QTest::mouseClick(grid_->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(60, 8));
  QTest::mouseClick(grid_->verticalHeader()->viewport(), Qt::LeftButton, {}, QPoint(20, 40));
  // Right and middle buttons.
  Press(Qt::RightButton, Cell(2, 6));
  Press(Qt::MiddleButton, Cell(2, 7));
  // Shift+click extends the range only.
  Press(Qt::LeftButton, Cell(4, 8), Qt::ShiftModifier);
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(State().SelectedSample, 3);
  EXPECT_GT(grid_->selectionModel()->selectedIndexes().size(), 1);
}

TEST_F(GridTest, EmptyAreaBeyondTheLastRowOrColumnDoesNotSelect) {
  Open(WriteFile("three.txt", Lines(3)));
  Press(Qt::LeftButton, Cell(2, 2));
  reports_.clear();
  Press(Qt::LeftButton, QPoint(grid_->CellRect(2, 3).center().x(), grid_->CellRect(2, 3).bottom() + 30));
  Press(Qt::LeftButton, QPoint(grid_->CellRect(5, 1).right() + 20, grid_->CellRect(5, 1).center().y()));
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(grid_->CurrentRow(), 2);
}

TEST_F(GridTest, DoubleClickReportsItsFirstPressOnly) {
  // The toolkit delivers a double-click as press, release, double-click, release.
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, Cell(2, 6));
  QTest::mouseDClick(grid_->viewport(), Qt::LeftButton, {}, Cell(2, 6));
  EXPECT_EQ(reports_, std::vector<int>{6});
}

TEST_F(GridTest, DraggingExtendsTheRangeWithoutReports) {
  QTest::mousePress(grid_->viewport(), Qt::LeftButton, {}, Cell(2, 2));
  QMouseEvent move(QEvent::MouseMove, Cell(3, 6), grid_->viewport()->mapToGlobal(Cell(3, 6)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(grid_->viewport(), &move);
  QTest::mouseRelease(grid_->viewport(), Qt::LeftButton, {}, Cell(3, 6));
  EXPECT_EQ(reports_, std::vector<int>{2});
}

TEST_F(GridTest, NavigationKeysReportWhenTheyMoveTheCurrentCell) {
  QTest::keyClick(grid_, Qt::Key_Down);
  QTest::keyClick(grid_, Qt::Key_Right);  // same row again
  QTest::keyClick(grid_, Qt::Key_Up);
  QTest::keyClick(grid_, Qt::Key_Up);  // already at the top: no move, no report
  QTest::keyClick(grid_, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClick(grid_, Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(grid_, Qt::Key_PageDown);
  ASSERT_EQ(reports_.size(), 6u);
  EXPECT_EQ((std::vector<int>(reports_.begin(), reports_.begin() + 5)), (std::vector<int>{2, 2, 1, 40, 1}));
  EXPECT_GT(reports_[5], 5);
  EXPECT_EQ(State().SelectedSample, reports_.back());

  reports_.clear();
  QTest::keyClick(grid_, Qt::Key_A);  // typing does not search
  EXPECT_TRUE(reports_.empty());
}

// Shift extends the range and moves the current cell: the highlight follows it as with the
// plain key, so the grid's current row and the red sample never disagree.
TEST_F(GridTest, ShiftWithANavigationKeyReportsLikeThePlainKey) {
  Press(Qt::LeftButton, Cell(2, 3));
  reports_.clear();
  QTest::keyClick(grid_, Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(reports_, std::vector<int>{4});
  QTest::keyClick(grid_, Qt::Key_Down);
  EXPECT_EQ(reports_, (std::vector<int>{4, 5}));
  QTest::keyClick(grid_, Qt::Key_PageDown, Qt::ShiftModifier);
  EXPECT_GT(grid_->selectionModel()->selectedIndexes().size(), 1);  // the range grew
  QTest::keyClick(grid_, Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
  ASSERT_EQ(reports_.size(), 4u);
  EXPECT_GT(reports_[2], 5);
  EXPECT_EQ(reports_[3], 40);
  EXPECT_EQ(State().SelectedSample, grid_->CurrentRow());
}

// The fixed row and column: button face, black lines at their right and bottom edges, the
// corner separated from "SiO2", and nothing fixed-looking past the last column or row.
TEST_F(GridTest, FixedCellsLookLikeButtonsAndEndWithTheGrid) {
  Open(WriteFile("three.txt", Lines(3)));
  for (bool empty : {false, true}) {
    if (empty) Open(WriteFile("empty.txt", ""));
    QHeaderView* top = grid_->horizontalHeader();
    const QImage header = top->viewport()->grab().toImage();
    const QColor face = grid_->palette().color(QPalette::Button), base = grid_->palette().color(QPalette::Base);
    const int first = top->sectionViewportPosition(0), width = top->sectionSize(0);
    const int y = header.height() / 2;
    EXPECT_EQ(header.pixelColor(first + width - 1, y), QColor(Qt::black)) << empty;  // between SiO2 and the next
    EXPECT_EQ(header.pixelColor(first + width / 2, header.height() - 1), QColor(Qt::black)) << empty;
    EXPECT_EQ(header.pixelColor(first + width / 2 + 1, 4), face) << empty;
    const int end = top->sectionViewportPosition(4) + top->sectionSize(4);
    ASSERT_LT(end, header.width());
    EXPECT_EQ(header.pixelColor(end + 2, y), base) << empty;  // past "Note"
    // The corner's right edge separates it from "SiO2".
    QWidget* corner = grid_->findChild<QAbstractButton*>();
    ASSERT_NE(corner, nullptr);
    const QImage cornerImage = corner->grab().toImage();
    EXPECT_EQ(cornerImage.pixelColor(cornerImage.width() - 1, cornerImage.height() / 2), QColor(Qt::black)) << empty;
  }
  QHeaderView* left = grid_->verticalHeader();
  const QImage rows = left->viewport()->grab().toImage();
  EXPECT_EQ(rows.pixelColor(rows.width() / 2, rows.height() - 2), grid_->palette().color(QPalette::Base));
}

TEST_F(GridTest, WheelMovesOneRowPerNotchWhileFocused) {
  Press(Qt::LeftButton, Cell(2, 5));
  reports_.clear();
  Wheel(-120);
  Wheel(-240);
  Wheel(120);
  EXPECT_EQ(reports_, (std::vector<int>{6, 7, 8, 7}));
  form_->btnPlot->setFocus();
  ASSERT_EVENTUALLY(!grid_->hasFocus());
  reports_.clear();
  Wheel(-120);
  EXPECT_TRUE(reports_.empty());
}

TEST_F(GridTest, StartsAtTheFirstCellWithoutAReport) {
  // A new window over the loaded state: nothing reported, nothing highlighted.
  EXPECT_EQ(grid_->CurrentColumn(), 1);
  EXPECT_EQ(grid_->CurrentRow(), 1);
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(State().SelectedSample, 0);
}

}  // namespace
}  // namespace ternova::app::testing
