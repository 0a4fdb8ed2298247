// Samples between the grid and a spreadsheet: Ctrl+C copies the selected rows as the
// tab-separated lines a spreadsheet pastes.
#include <QClipboard>
#include <QTest>

#include "app/sample_grid.h"
#include "app_test_support.h"

namespace ternova::app::testing {
namespace {

class SpreadsheetTest : public WindowTest {
 protected:
  SampleGrid* Grid() const { return form_->strgridData; }
  QPoint CellCentre(int column, int row) const { return Grid()->CellRect(column, row).center(); }
  void CopyFromGrid() {
    Grid()->setFocus();
    QTest::keyClick(Grid(), Qt::Key_C, Qt::ControlModifier);
  }
};

TEST_F(SpreadsheetTest, CtrlCCopiesTheSelectedRowsAmountsAndNotes) {
  Open(WriteFile("rocks.txt",
                 "45\t8\t38\t8\tpyrolite\n"
                 "  1.5  \t2\t3\t4\n"                            // blanks before a TAB stay in the field
                 "50\t26\t8\t10\t\x93\xfa\x96\x7b\tsixth\tseventh\n"  // Shift-JIS note; fields 6+ unused
                 "1\t1\t1\t1\tlast\n"));
  ASSERT_TRUE(dialogs_->errors.empty());
  // A click and a Shift+click select rows 2 to 3 (any column: whole rows are copied).
  QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, CellCentre(4, 2));
  QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::ShiftModifier, CellCentre(2, 3));
  CopyFromGrid();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("1.5  \t2\t3\t4\n50\t26\t8\t10\t日本\n"));

  // One cell: its row.
  QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, CellCentre(5, 1));
  CopyFromGrid();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "45\t8\t38\t8\tpyrolite\n");
  // The keyboard extends the selection as well.
  for (int i = 0; i < 3; ++i) QTest::keyClick(Grid(), Qt::Key_Down, Qt::ShiftModifier);
  CopyFromGrid();
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            QString::fromUtf8("45\t8\t38\t8\tpyrolite\n1.5  \t2\t3\t4\n50\t26\t8\t10\t日本\n1\t1\t1\t1\tlast\n"));
}

TEST_F(SpreadsheetTest, CtrlCOnAnEmptyGridLeavesTheClipboardAlone) {
  QGuiApplication::clipboard()->setText(QStringLiteral("keep me"));
  CopyFromGrid();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "keep me");
  // Copying selects nothing: no report, no drawing.
  EXPECT_EQ(State().SelectedSample, 0);
  EXPECT_TRUE(form_->imgTernova->Displayed().isNull());
}

}  // namespace
}  // namespace ternova::app::testing
