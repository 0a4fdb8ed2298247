// The diagram and the grid as one: the tip over a symbol, selecting a sample by clicking its
// symbol, and opening a data file by dropping it on the window.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <QUrl>

#include "app/image_control.h"
#include "app/sample_grid.h"
#include "app_test_support.h"
#include "picture/display.h"

namespace ternova::app::testing {
namespace {

class LinkedSelectionTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    RecordReports();
  }
  void TearDown() override {
    QToolTip::hideText();
    WindowTest::TearDown();
  }

  ImageControl* Image() const { return form_->imgTernova; }
  // The widget pixel showing a drawing point, by the display rule.
  QPoint PixelOf(Point p) const {
    const DisplayRect fit = FitPicture(2000, 2000, Image()->width(), Image()->height());
    return QPoint(static_cast<int>(p.x * (fit.width - 1) / 2000.0), static_cast<int>(p.y * (fit.height - 1) / 2000.0));
  }
  QPoint PixelOf(int row, int face) const { return PixelOf(State().Engine.Table.SamplePoints[row][face]); }

  // Rests the mouse on `pixel` and asks for the tip there; the tip's text as the user reads it,
  // empty when none shows.
  QString TipAt(QPoint pixel) {
    QTest::mouseMove(Image(), pixel);
    QHelpEvent help(QEvent::ToolTip, pixel, Image()->mapToGlobal(pixel));
    QApplication::sendEvent(Image(), &help);
    if (!QToolTip::isVisible()) return {};
    QTextDocument document;
    document.setHtml(QToolTip::text());
    return document.toPlainText();
  }

  // A file whose rows 1 and 2 lie on the same points and row 3 elsewhere.
  QString OverlappingFile() {
    return WriteFile("overlap.txt",
                     "50\t20\t20\t10\tfirst\n"
                     "50\t20\t20\t10\t<b>second</b> & co\n"
                     "10\t20\t30\t40\t\x93\xfa\x96\x7b\n");  // Shift-JIS for "日本"
  }
};

TEST_F(LinkedSelectionTest, HoveringShowsTheSampleAsTheGridShowsIt) {
  Open(OverlappingFile());
  ASSERT_TRUE(dialogs_->errors.empty());
  for (int face = 1; face <= 4; ++face)
    EXPECT_EQ(TipAt(PixelOf(3, face)), QString::fromUtf8("Row 3: 日本\nSiO2 = 10\nAl2O3+CaO = 20\nMgO = 30\nFeO = 40"))
        << "face " << face;
  // Markup in a note is shown as the characters it is.
  EXPECT_EQ(TipAt(PixelOf(2, 1)), "Row 2: <b>second</b> & co\nSiO2 = 50\nAl2O3+CaO = 20\nMgO = 20\nFeO = 10");
  // Away from every symbol (the paper's corner) the tip goes.
  ASSERT_TRUE(QToolTip::isVisible());
  TipAt(QPoint(3, 3));
  ASSERT_EVENTUALLY(!QToolTip::isVisible());
}

TEST_F(LinkedSelectionTest, WhereSymbolsOverlapTheOneOnTopWins) {
  Open(OverlappingFile());
  const Point shared = State().Engine.Table.SamplePoints[1][2];
  ASSERT_EQ(shared, State().Engine.Table.SamplePoints[2][2]);
  EXPECT_TRUE(TipAt(PixelOf(shared)).startsWith("Row 2:"));

  // Row 1 selected: drawn twice as large but before row 2, so row 2 still covers the centre and
  // row 1 shows only in the ring around it.
  form_->strgridDataSelectCell(1);
  EXPECT_TRUE(TipAt(PixelOf(shared)).startsWith("Row 2:"));
  const QPoint ring = PixelOf(Point{shared.x + 9, shared.y});
  EXPECT_TRUE(TipAt(ring).startsWith("Row 1:"));
  // The tip names what the user sees there: red for the selected row, blue for the other.
  EXPECT_EQ(Image()->Displayed().pixelColor(ring), QColor(255, 0, 0));
  EXPECT_EQ(Image()->Displayed().pixelColor(PixelOf(shared)), QColor(0, 0, 255));
}

TEST_F(LinkedSelectionTest, ALongNoteIsCutShortInTheTip) {
  Open(WriteFile("long.txt", "1\t2\t3\t4\t" + std::string(100000, 'x') + "\n"));
  const QString tip = TipAt(PixelOf(1, 1));
  EXPECT_TRUE(tip.startsWith("Row 1: xxx"));
  EXPECT_LT(tip.size(), 200);
  EXPECT_TRUE(tip.contains(QChar(0x2026)));
}

TEST_F(LinkedSelectionTest, ClickingASymbolSelectsItsSampleAndMovesTheGrid) {
  // One sample apart from 199 identical others, far down the grid.
  std::string text;
  for (int r = 1; r <= 200; ++r) text += r == 150 ? "10\t20\t30\t40\ttarget\n" : "1\t1\t1\t1\tfiller\n";
  Open(WriteFile("many.txt", text));
  SampleGrid* grid = form_->strgridData;
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(3, 1).center());
  ASSERT_EQ(grid->CurrentColumn(), 3);
  reports_.clear();
  ASSERT_FALSE(grid->viewport()->rect().intersects(grid->CellRect(1, 150)));

  QTest::mouseClick(Image(), Qt::LeftButton, {}, PixelOf(150, 4));
  EXPECT_EQ(State().SelectedSample, 150);
  EXPECT_EQ(grid->CurrentRow(), 150);
  EXPECT_EQ(grid->CurrentColumn(), 3);
  EXPECT_TRUE(grid->viewport()->rect().intersects(grid->CellRect(1, 150)));
  EXPECT_TRUE(reports_.empty());  // one selection, not a second one from the grid
  int red = 0;
  for (const Symbol& s : Symbols(Image()->Picture())) {
    if (s.colour == kRed) {
      ++red;
      EXPECT_EQ(s.r, 12);
    }
  }
  EXPECT_EQ(red, 4);
  // The tip follows the new radii: beyond the plain radius, within the doubled one.
  const Point c = State().Engine.Table.SamplePoints[150][4];
  EXPECT_TRUE(TipAt(PixelOf(Point{c.x, c.y + 10})).startsWith("Row 150: target"));

  // Clicking the filler's symbol selects the last of them, the one on top.
  QTest::mouseClick(Image(), Qt::LeftButton, {}, PixelOf(1, 1));
  EXPECT_EQ(State().SelectedSample, 200);
  EXPECT_EQ(grid->CurrentRow(), 200);
  EXPECT_TRUE(dialogs_->errors.empty());
}

TEST_F(LinkedSelectionTest, AClickFindsTheNewTablesSymbolWhileItsIndexIsStillBeingBuilt) {
  // The symbol index of a load is built on another thread once the diagram has been painted.
  // Two files of many samples on one spot, each with its own row on top there.
  auto file = [&](const char* name, int top) {
    std::string text;
    for (int r = 1; r <= 60000; ++r) text += r == top ? "10\t20\t30\t40\n" : "40\t30\t20\t10\n";
    return WriteFile(name, text);
  };
  const QString first = file("first.txt", 60000), second = file("second.txt", 59000);
  Open(first);
  Image()->repaint();              // the paint that starts the index thread...
  QApplication::processEvents();  // ...from the event loop
  const QPoint spot = PixelOf(60000, 1);
  // The next load waits for that thread, and the click right after it for the new index.
  Open(second);
  Image()->repaint();
  QApplication::processEvents();
  QTest::mouseClick(Image(), Qt::LeftButton, {}, spot);
  EXPECT_EQ(State().SelectedSample, 59000);
  // Before the new diagram is painted, the index is built on the spot.
  Open(first);
  QTest::mouseClick(Image(), Qt::LeftButton, {}, spot);
  EXPECT_EQ(State().SelectedSample, 60000);
  EXPECT_TRUE(dialogs_->errors.empty());
}

TEST_F(LinkedSelectionTest, ClickingWhereNoSymbolIsChangesNothing) {
  Open(OverlappingFile());
  form_->strgridDataSelectCell(2);
  const auto picture = Image()->Picture().content;
  reports_.clear();
  QTest::mouseClick(Image(), Qt::LeftButton, {}, QPoint(3, 3));
  // The far corner, and the other buttons on a symbol.
  QTest::mouseClick(Image(), Qt::LeftButton, {}, QPoint(Image()->width() - 1, Image()->height() - 1));
  QTest::mouseClick(Image(), Qt::RightButton, {}, PixelOf(3, 1));
  QTest::mouseClick(Image(), Qt::MiddleButton, {}, PixelOf(3, 1));
  EXPECT_EQ(State().SelectedSample, 2);
  EXPECT_EQ(Image()->Picture().content, picture);
  EXPECT_EQ(form_->strgridData->CurrentRow(), 1);
  EXPECT_TRUE(reports_.empty());
}

TEST_F(LinkedSelectionTest, AfterAFailedLoadOnlyWhatIsDrawnIsFound) {
  Open(OverlappingFile());
  const QPoint oldRow3 = PixelOf(3, 1);
  // The new file's first row lies elsewhere; its third line is bad.
  Open(WriteFile("bad.txt", "90\t4\t3\t3\tnew one\n30\t30\t30\t10\tnew two\nabc\t1\t1\t1\n"));
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  // The picture still shows the first file: its symbols are no longer the table's, and the new
  // rows are not drawn yet, so neither shows a tip or selects anything.
  EXPECT_EQ(TipAt(oldRow3), "");
  EXPECT_EQ(TipAt(PixelOf(1, 1)), "");
  QTest::mouseClick(Image(), Qt::LeftButton, {}, oldRow3);
  EXPECT_EQ(State().SelectedSample, 0);
  // Once drawn, the two completed rows are found.
  QTest::mouseClick(form_->btnPlot, Qt::LeftButton);
  EXPECT_TRUE(TipAt(PixelOf(1, 1)).startsWith("Row 1: new one"));
  EXPECT_TRUE(TipAt(PixelOf(2, 3)).startsWith("Row 2: new two"));
  QTest::mouseClick(Image(), Qt::LeftButton, {}, PixelOf(2, 3));
  EXPECT_EQ(State().SelectedSample, 2);
}

class DropTest : public LinkedSelectionTest {
 protected:
  // Drags `mime` over the window and drops it; whether the window took the drag. The action the
  // window chose for each step is kept: Shift makes Move the proposed one, as a spreadsheet does.
  bool Drop(const QMimeData& mime, Qt::DropActions offered = Qt::CopyAction,
            Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPoint at = form_->imgTernova->geometry().center();
    actions_.clear();
    QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, modifiers);
    QApplication::sendEvent(form_.get(), &enter);
    if (!enter.isAccepted()) return false;
    actions_.push_back(enter.dropAction());
    QDragMoveEvent move(at + QPoint(3, 2), offered, &mime, Qt::LeftButton, modifiers);
    QApplication::sendEvent(form_.get(), &move);
    if (!move.isAccepted()) return false;
    actions_.push_back(move.dropAction());
    QDropEvent drop(at, offered, &mime, Qt::LeftButton, modifiers);
    QApplication::sendEvent(form_.get(), &drop);
    QCoreApplication::processEvents();
    actions_.push_back(drop.dropAction());
    return drop.isAccepted();
  }
  std::vector<Qt::DropAction> actions_;
  bool DropFile(const QString& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    return Drop(mime);
  }
};

TEST_F(DropTest, ADroppedFileOpensAsFileOpenWould) {
  ASSERT_TRUE(form_->acceptDrops());
  const QString path = OverlappingFile();
  form_->strgridData->setFocus();
  ASSERT_TRUE(DropFile(path));
  EXPECT_TRUE(dialogs_->openAsked.empty());  // no dialog comes up
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(form_->lblFN->text(), "Data file = overlap.txt");
  EXPECT_EQ(State().Engine.Table.SampleCount, 3);
  EXPECT_EQ(Symbols(Image()->Picture()).size(), 12u);
  ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), form_->btnPlot);
  EXPECT_TRUE(TipAt(PixelOf(3, 1)).startsWith("Row 3:"));
  // The open dialog remembers the dropped file.
  dialogs_->openAnswers.push_back(QString());
  form_->OpenO1->trigger();
  ASSERT_EQ(dialogs_->openAsked.size(), 1u);
  EXPECT_EQ(dialogs_->openAsked[0].FileName, path);
}

TEST_F(DropTest, ABadFileGivesTheSameMessageAsFileOpen) {
  const QString bad = WriteFile("bad.txt", "1\t2\t3\t4\n1\t2\tx\t4\n");
  Open(bad);
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  ASSERT_TRUE(DropFile(bad));
  ASSERT_EQ(dialogs_->errors.size(), 2u);
  EXPECT_EQ(dialogs_->errors[1], dialogs_->errors[0]);
  EXPECT_EQ(dialogs_->errors[1], "'x' は浮動小数点数ではありません.");

  ASSERT_TRUE(DropFile(dir_.filePath("gone.txt")));
  ASSERT_EQ(dialogs_->errors.size(), 3u);
  EXPECT_TRUE(dialogs_->errors[2].endsWith("は開けません."));
}

TEST_F(DropTest, DroppedTextLoadsAsPastedTextButLinksAreRefused) {
  // A link is no data, even with its address as text.
  QMimeData web;
  web.setUrls({QUrl(QStringLiteral("https://example.org/rocks.txt"))});
  web.setText(QStringLiteral("https://example.org/rocks.txt"));
  EXPECT_FALSE(Drop(web));
  QMimeData empty;
  empty.setText(QString());
  EXPECT_FALSE(Drop(empty));
  EXPECT_EQ(State().Engine.Table.SampleCount, 0);
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(form_->lblFN->text(), "Data File = ");

  // Cells dragged out of a spreadsheet: loaded as if pasted.
  QMimeData cells;
  cells.setText(QStringLiteral("45\t8\t38\t8\tpyrolite\n10\t30\t30\t30\n"));
  form_->strgridData->setFocus();
  ASSERT_TRUE(Drop(cells));
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(form_->lblFN->text(), "Data file = (clipboard)");
  EXPECT_EQ(State().Engine.Table.SampleCount, 2);
  EXPECT_EQ(Symbols(Image()->Picture()).size(), 8u);
  ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), form_->btnPlot);
  QMimeData bad;
  bad.setText(QStringLiteral("1\t2\t3\t4\nx\t1\t1\t1\n"));
  ASSERT_TRUE(Drop(bad));
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(dialogs_->errors[0], "貼り付けたテキストの 2 行目: 'x' は浮動小数点数ではありません.");
}

// The program the cells come from deletes them after a drop taken as a move.
TEST_F(DropTest, DropsAreAlwaysTakenAsCopies) {
  const std::vector<Qt::DropAction> copies(3, Qt::CopyAction);
  QMimeData cells;
  cells.setText(QStringLiteral("45\t8\t38\t8\tpyrolite\n"));
  ASSERT_TRUE(Drop(cells, Qt::CopyAction | Qt::MoveAction, Qt::ShiftModifier));
  EXPECT_EQ(actions_, copies);
  EXPECT_EQ(State().Engine.Table.SampleCount, 1);
  QMimeData file;
  file.setUrls({QUrl::fromLocalFile(OverlappingFile())});
  ASSERT_TRUE(Drop(file, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::ShiftModifier));
  EXPECT_EQ(actions_, copies);
  EXPECT_EQ(State().Engine.Table.SampleCount, 3);
  // A source that can only give its data away is refused.
  EXPECT_FALSE(Drop(cells, Qt::MoveAction));
  EXPECT_EQ(State().Engine.Table.SampleCount, 3);
}

}  // namespace
}  // namespace ternova::app::testing
