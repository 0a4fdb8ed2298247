// File > Open: the dialog's settings, a good load, and what every kind of failure leaves behind.
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <sys/stat.h>

#include "app/image_control.h"
#include "app/sample_grid.h"
#include "picture/qt/playback.h"
#include "app_test_support.h"

namespace ternova::app::testing {
namespace {

class LoadTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    RecordReports();
  }
  QString Cell(int column, int row) const {
    return form_->strgridData->model()->index(row - 1, column - 1).data().toString();
  }
  QString Header(int column) const {
    return form_->strgridData->model()->headerData(column - 1, Qt::Horizontal, Qt::DisplayRole).toString();
  }
  bool RowVisible(int row) const {
    return form_->strgridData->viewport()->rect().intersects(form_->strgridData->CellRect(1, row));
  }
};

TEST_F(LoadTest, AGoodFileFillsTheGridDrawsAndMovesTheFocus) {
  const QString path = WriteFile("rocks.txt", "1.0\t2.0\t3.0\t4.0\tA\n1\t\t2\t3\t4\n");
  Open(path);
  ASSERT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(form_->lblFN->text(), "Data file = rocks.txt");
  EXPECT_EQ(form_->strgridData->Cells()->GridColumns(), 6);
  EXPECT_EQ(form_->strgridData->Cells()->GridRows(), 3);
  EXPECT_EQ(Header(1), "SiO2");
  EXPECT_EQ(Header(2), "Al2O3+CaO");
  EXPECT_EQ(Header(5), "Note");
  EXPECT_EQ(form_->strgridData->model()->headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), "2");
  EXPECT_EQ(Cell(1, 1), "1.0");
  EXPECT_EQ(Cell(5, 1), "A");
  EXPECT_EQ(Cell(4, 2), "4");
  EXPECT_EQ(Cell(5, 2), "");  // the double TAB counts once
  EXPECT_EQ(State().Engine.Table.SampleCount, 2);
  EXPECT_EQ(Symbols(form_->imgTernova->Picture()).size(), 8u);
  ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), form_->btnPlot);

  // The dialog: one filter, shown first; the program's folder; the last path pre-filled.
  ASSERT_EQ(dialogs_->openAsked.size(), 1u);
  const FileDialogSettings& first = dialogs_->openAsked[0];
  ASSERT_EQ(first.Filters.size(), 1);
  EXPECT_EQ(first.Filters[0].Description, "Tab区切りテキスト (.txt)");
  EXPECT_EQ(first.Filters[0].Pattern, "*.txt");
  EXPECT_EQ(first.FilterIndex, 1);
  EXPECT_EQ(first.InitialDir, QCoreApplication::applicationDirPath());
  EXPECT_TRUE(first.FileName.isEmpty());
  Open(path);
  EXPECT_EQ(dialogs_->openAsked[1].FileName, path);
}

TEST_F(LoadTest, CancelChangesNothing) {
  Open(WriteFile("a.txt", Lines(3)));
  const auto picture = form_->imgTernova->Picture().content;
  dialogs_->openAnswers.push_back(QString());
  form_->OpenO1->trigger();
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(form_->imgTernova->Picture().content, picture);
  EXPECT_EQ(form_->lblFN->text(), "Data file = a.txt");
}

TEST_F(LoadTest, AFileThatCannotBeOpenedLeavesEverythingAsItWas) {
  Open(WriteFile("a.txt", Lines(3)));
  form_->strgridData->setFocus();
  const auto picture = form_->imgTernova->Picture().content;
  const QString missing = dir_.filePath("missing.txt");
  Open(missing);
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(dialogs_->errors[0], "ファイル \"" + missing + "\". No such file or directory は開けません.");
  EXPECT_EQ(form_->imgTernova->Picture().content, picture);
  EXPECT_EQ(form_->lblFN->text(), "Data file = a.txt");
  EXPECT_EQ(State().Engine.Table.SampleCount, 3);
  ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), form_->strgridData);
}

// Opening a FIFO would wait for a writer: it is refused before it is opened, like a device.
TEST_F(LoadTest, APipeIsRefusedWithoutWaiting) {
  Open(WriteFile("a.txt", Lines(3)));
  const QString pipe = dir_.filePath("pipe.txt");
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  Open(pipe);
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(dialogs_->errors[0], "ファイル \"" + pipe + "\". No such device は開けません.");
  EXPECT_EQ(form_->lblFN->text(), "Data file = a.txt");
  EXPECT_EQ(State().Engine.Table.SampleCount, 3);
}

TEST_F(LoadTest, ABadAmountStopsTheLoadWhereItIsAndShowsTheLine) {
  Open(WriteFile("good.txt", Lines(3)));
  const auto picture = form_->imgTernova->Picture().content;
  form_->strgridData->setFocus();
  Open(WriteFile("bad.txt", Lines(300, 250)));
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(dialogs_->errors[0], "'abc' は浮動小数点数ではありません.");
  // The new size and label, the cells written so far, no redraw, no focus move.
  EXPECT_EQ(form_->lblFN->text(), "Data file = bad.txt");
  EXPECT_EQ(State().Engine.Table.SampleCount, 300);
  EXPECT_EQ(form_->strgridData->Cells()->GridRows(), 301);
  EXPECT_EQ(Cell(1, 249), QString::number(10 + 249 % 7));
  EXPECT_EQ(Cell(1, 250), "abc");
  EXPECT_EQ(Cell(5, 250), "note 250");
  EXPECT_EQ(Cell(1, 251), "");
  EXPECT_EQ(form_->imgTernova->Picture().content, picture);
  ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), form_->strgridData);
  // The failing line is brought into view; the current cell and the selection stay.
  EXPECT_TRUE(RowVisible(250));
  EXPECT_FALSE(RowVisible(1));
  EXPECT_EQ(form_->strgridData->CurrentRow(), 1);
  EXPECT_EQ(State().SelectedSample, 0);
  EXPECT_TRUE(reports_.empty());
  // A later redraw draws only what the load completed.
  form_->btnPlot->click();
  EXPECT_EQ(Symbols(form_->imgTernova->Picture()).size(), 249u * 4);
}

TEST_F(LoadTest, ArithmeticFailuresAreShownWithTheirTexts) {
  Open(WriteFile("overflow.txt", "1e500\t1\t1\t1\n"));
  Open(WriteFile("zero.txt", "1\t1\t1\t1\n0\t0\t0\t0\n"));
  Open(WriteFile("short.txt", "1\t2\t3\n"));
  ASSERT_EQ(dialogs_->errors.size(), 3u);
  EXPECT_EQ(dialogs_->errors[0], "浮動小数点数のオーバーフロー.");
  EXPECT_EQ(dialogs_->errors[1], "不正な浮動小数点数演算命令.");
  EXPECT_EQ(dialogs_->errors[2], "'' は浮動小数点数ではありません.");
  EXPECT_TRUE(form_->imgTernova->Displayed().isNull());
}

TEST_F(LoadTest, ASmallerFilePushesTheSelectionToItsLastRow) {
  Open(WriteFile("ten.txt", Lines(10)));
  QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {}, form_->strgridData->CellRect(2, 8).center());
  ASSERT_EQ(State().SelectedSample, 8);
  Open(WriteFile("twelve.txt", Lines(12)));
  EXPECT_EQ(State().SelectedSample, 8);
  Open(WriteFile("five.txt", Lines(5)));
  EXPECT_EQ(reports_, (std::vector<int>{8, 5}));
  EXPECT_EQ(State().SelectedSample, 5);
  EXPECT_EQ(form_->strgridData->CurrentRow(), 5);
  EXPECT_EQ(form_->strgridData->CurrentColumn(), 2);
  int red = 0;
  for (const Symbol& s : Symbols(form_->imgTernova->Picture())) red += s.colour == kRed;
  EXPECT_EQ(red, 4);
}

TEST_F(LoadTest, AFileOfTheSameSizeIsDrawnWithItsOwnPointsWhenTheSelectionMoves) {
  Open(WriteFile("first.txt", "1\t1\t1\t1\n1\t1\t1\t1\n"));
  const std::vector<Symbol> first = Symbols(form_->imgTernova->Picture());
  Open(WriteFile("second.txt", "9\t1\t1\t1\n1\t9\t1\t1\n"));
  QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {}, form_->strgridData->CellRect(1, 2).center());
  ASSERT_EQ(State().SelectedSample, 2);
  const std::vector<Symbol> second = Symbols(form_->imgTernova->Picture());
  ASSERT_EQ(second.size(), 8u);
  for (size_t i = 0; i < second.size(); ++i) {
    const int face = static_cast<int>(i / 2) + 1, row = static_cast<int>(i % 2) + 1;
    const Point& p = State().Engine.Table.SamplePoints[row][face];
    EXPECT_EQ(second[i].x, p.x) << "face " << face << " row " << row;
    EXPECT_EQ(second[i].y, p.y) << "face " << face << " row " << row;
  }
  EXPECT_NE(second[0].x, first[0].x);
}

TEST_F(LoadTest, ASmallerFileThatFailsStillMovesTheSelectionButDrawsNoneOfItsRows) {
  Open(WriteFile("ten.txt", Lines(10)));
  QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {}, form_->strgridData->CellRect(2, 8).center());
  Open(WriteFile("five.txt", Lines(5, 4)));
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(reports_, (std::vector<int>{8, 5}));
  EXPECT_EQ(State().SelectedSample, 5);
  EXPECT_EQ(State().Engine.Table.CompletedRows, 3);
  // The move's redraw came as the grid took the new size, before any line was read: the net
  // without samples, and nothing under the mouse.
  EXPECT_TRUE(Symbols(form_->imgTernova->Picture()).empty());
  EXPECT_FALSE(Describe(form_->imgTernova->Picture()).empty());
  // On screen too: no symbol of the earlier file is left standing.
  EXPECT_TRUE(form_->imgTernova->Displayed() ==
              RenderForDisplay(form_->imgTernova->Picture(), form_->imgTernova->size()).convertToFormat(form_->imgTernova->Displayed().format()));
  form_->btnPlot->click();
  EXPECT_EQ(Symbols(form_->imgTernova->Picture()).size(), 3u * 4);
}

TEST_F(LoadTest, AnEmptyFileKeepsTheHeaderFixedAndNeverReportsRowZero) {
  Open(WriteFile("four.txt", Lines(4)));
  QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {}, form_->strgridData->CellRect(2, 3).center());
  reports_.clear();
  Open(WriteFile("empty.txt", ""));
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(State().Engine.Table.SampleCount, 0);
  EXPECT_EQ(State().SelectedSample, 3);
  EXPECT_EQ(form_->strgridData->Cells()->GridRows(), 1);
  EXPECT_EQ(Header(1), "SiO2");
  EXPECT_TRUE(form_->strgridData->horizontalHeader()->isVisible());
  EXPECT_TRUE(Symbols(form_->imgTernova->Picture()).empty());
  // Clicking where row 0 or data would be reports nothing; the next file selects normally.
  QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
  QTest::mouseClick(form_->strgridData->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
  EXPECT_TRUE(reports_.empty());
  Open(WriteFile("two.txt", Lines(2)));
  EXPECT_EQ(form_->strgridData->CurrentRow(), 1);
  QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {}, form_->strgridData->CellRect(2, 2).center());
  EXPECT_EQ(reports_, std::vector<int>{2});
}

// Excel's "Unicode text": UTF-16 behind a byte-order mark.
TEST_F(LoadTest, AUtf16FileShowsWhatIts8BitTwinShows) {
  const QString text = QString::fromUtf8("45\t8\t38\t8\t花崗岩\r\n1\t2\t3\t4\tB\r\n");
  auto utf16 = [&](bool little) {
    std::string bytes;
    for (const QChar c : QChar(0xFEFF) + text) {
      const char high = static_cast<char>(c.unicode() >> 8), low = static_cast<char>(c.unicode() & 0xFF);
      bytes += little ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
  };
  Open(WriteFile("twin.txt", text.toStdString()));
  const auto twin = Describe(form_->imgTernova->Picture());
  ASSERT_EQ(Symbols(form_->imgTernova->Picture()).size(), 8u);
  for (const bool little : {true, false}) {
    Open(WriteFile("unicode.txt", utf16(little)));
    ASSERT_TRUE(dialogs_->errors.empty()) << dialogs_->errors[0].toStdString();
    EXPECT_EQ(Cell(1, 1), "45");
    EXPECT_EQ(Cell(5, 1), QString::fromUtf8("花崗岩"));
    EXPECT_EQ(Cell(5, 2), "B");
    EXPECT_EQ(Describe(form_->imgTernova->Picture()), twin);
  }
  // Cut short by a byte: nothing changes but the message.
  Open(WriteFile("cut.txt", utf16(true).substr(0, 11)));
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(dialogs_->errors[0], "UTF-16 のテキストのバイト数が奇数です.");
  EXPECT_EQ(form_->lblFN->text(), "Data file = unicode.txt");
  EXPECT_EQ(Describe(form_->imgTernova->Picture()), twin);
}

TEST_F(LoadTest, AMillionLinesOpenAtOnce) {
  std::string text;
  text.reserve(1000000 * 12);
  for (int i = 0; i < 1000000; ++i) text += "40\t20\t30\t10\n";
  Open(WriteFile("million.txt", text));
  ASSERT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(form_->strgridData->Cells()->GridRows(), 1000001);
  QTest::keyClick(form_->strgridData, Qt::Key_End, Qt::ControlModifier);
  form_->strgridData->setFocus();
  QTest::keyClick(form_->strgridData, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(State().SelectedSample, 1000000);
  EXPECT_EQ(form_->strgridData->model()->headerData(999999, Qt::Vertical, Qt::DisplayRole).toString(), "1000000");
}

}  // namespace
}  // namespace ternova::app::testing
