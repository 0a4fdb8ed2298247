// The window as laid out at start: menus, marks, controls, focus and the first state.
#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/image_control.h"
#include "app/menu_text.h"
#include "app/sample_grid.h"
#include "app_test_support.h"

namespace ternova::app::testing {
namespace {

TEST(MenuText, AcceleratorsGoToTheFirstFreeLetterOrDigit) {
  EXPECT_EQ(WithAccelerators({"Open (&O)", "Save (S)", "-", "End (&E)"}),
            QStringList({"Open (&O)", "&Save (S)", "-", "End (&E)"}));
  // A taken first letter passes the mark on; case does not matter, digits count.
  EXPECT_EQ(WithAccelerators({"&Open", "open", "Sort"}), QStringList({"&Open", "o&pen", "&Sort"}));
  EXPECT_EQ(WithAccelerators({"&10", "1 more", "--"}), QStringList({"&10", "1 &more", "--"}));
  EXPECT_EQ(AcceleratorOf("Fish && &chips"), QChar('C'));
}

class MenuTest : public WindowTest {};

TEST_F(MenuTest, CaptionsTreeAndInitialMarks) {
  TForm1& f = *form_;
  auto texts = [](QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
  };
  QStringList top;
  for (QAction* a : f.MainMenu->actions()) top << a->text();
  EXPECT_EQ(top, QStringList({"File (&F)", "Option (&O)", "Help (&H)"}));
  EXPECT_EQ(texts(f.FileF1), QStringList({"Open (&O)", "&Save (S)", "-", "End (&E)"}));
  // The design's items, then Colour by, which starts at None.
  EXPECT_EQ(texts(f.ColourByC1), QStringList({"None (&N)", "Note (&O)"}));
  EXPECT_TRUE(f.ColourByNone1->isChecked());
  EXPECT_FALSE(f.ColourByNote1->isChecked());
  EXPECT_TRUE(f.ColourByNone1->actionGroup()->isExclusive());
  EXPECT_EQ(texts(f.OptionO1), QStringList({"Symbol Size (&S)", "Grid (&G)", "Colour by (&B)", "Density (&D)", "Density Cells (&C)"}));
  EXPECT_EQ(texts(f.SymbolSizeS1), QStringList({"Large (&L)", "Medium (&M)", "Small (&S)"}));
  EXPECT_EQ(texts(f.GridG1), QStringList({"10% (&1)", "50% (&5)"}));
  EXPECT_EQ(texts(f.DensityCellsC1), QStringList({"25 (&2)", "50 (&5)", "100 (&1)"}));
  EXPECT_EQ(texts(f.HelpH1), QStringList({"Ternova Help (&T)"}));
  EXPECT_TRUE(f.N1->isSeparator());

  EXPECT_TRUE(f.MediumM1->isChecked());
  EXPECT_FALSE(f.LargeL1->isChecked());
  EXPECT_FALSE(f.SmallS1->isChecked());
  EXPECT_TRUE(f.N1011->isChecked());
  EXPECT_TRUE(f.N5051->isChecked());
  // The density view starts off, at 50 cells per edge.
  EXPECT_FALSE(f.DensityD1->isChecked());
  EXPECT_TRUE(f.N5052->isChecked());
  EXPECT_FALSE(f.N2521->isChecked());
  EXPECT_FALSE(f.N10011->isChecked());
  EXPECT_EQ(f.DensityD1->actionGroup(), nullptr);
  ASSERT_NE(f.N2521->actionGroup(), nullptr);
  EXPECT_EQ(f.N2521->actionGroup(), f.N10011->actionGroup());
  // Sizes are one radio group (bullets); grids are independent check items (ticks).
  ASSERT_NE(f.LargeL1->actionGroup(), nullptr);
  EXPECT_TRUE(f.LargeL1->actionGroup()->isExclusive());
  EXPECT_EQ(f.LargeL1->actionGroup(), f.SmallS1->actionGroup());
  EXPECT_EQ(f.N1011->actionGroup(), nullptr);

  // No item has a shortcut; the window's one, paste, is in no menu.
  for (QAction* a : f.findChildren<QAction*>())
    EXPECT_TRUE(a == f.PasteV1 || a->shortcut().isEmpty()) << a->text().toStdString();
  for (QObject* o : f.PasteV1->associatedObjects()) EXPECT_EQ(qobject_cast<QMenu*>(o), nullptr);
  EXPECT_EQ(f.findChild<QAction*>("TernovaHelpT1"), f.TernovaHelpT1);
  EXPECT_EQ(f.findChild<QMenu*>("SymbolSizeS1"), f.SymbolSizeS1);
}

TEST_F(MenuTest, ClickingAnItemChangesItsMarkOnlyThroughItsHandler) {
  TForm1& f = *form_;
  f.N1011->trigger();  // the handler inverts once: a second toggle by the click would undo it
  EXPECT_FALSE(f.N1011->isChecked());
  f.N1011->trigger();
  EXPECT_TRUE(f.N1011->isChecked());
  f.N5051->trigger();
  EXPECT_FALSE(f.N5051->isChecked());
  EXPECT_TRUE(f.N1011->isChecked());

  f.LargeL1->trigger();
  EXPECT_TRUE(f.LargeL1->isChecked());
  EXPECT_FALSE(f.MediumM1->isChecked());
  EXPECT_EQ(State().SymbolSize, 10);
  f.LargeL1->trigger();  // checking the checked item keeps it checked
  EXPECT_TRUE(f.LargeL1->isChecked());
  f.SmallS1->trigger();
  EXPECT_TRUE(f.SmallS1->isChecked());
  EXPECT_FALSE(f.LargeL1->isChecked());
  EXPECT_EQ(State().SymbolSize, 3);
  f.MediumM1->trigger();
  EXPECT_TRUE(f.MediumM1->isChecked());
  EXPECT_FALSE(f.SmallS1->isChecked());
  EXPECT_EQ(State().SymbolSize, 6);
}

TEST_F(MenuTest, TheMenuIsReachableFromTheKeyboard) {
  TForm1& f = *form_;
  QTest::keyClick(&f, Qt::Key_O, Qt::AltModifier);  // Option (&O)
  ASSERT_EVENTUALLY(f.OptionO1->isVisible());
  QTest::keyClick(f.OptionO1, Qt::Key_G);  // Grid (&G)
  ASSERT_EVENTUALLY(f.GridG1->isVisible());
  QTest::keyClick(f.GridG1, Qt::Key_1);  // 10% (&1)
  ASSERT_EVENTUALLY(!f.N1011->isChecked());
  EXPECT_TRUE(State().Engine.Picture.Content());
}

class LayoutTest : public WindowTest {};

TEST_F(LayoutTest, StartsAsDesigned) {
  TForm1& f = *form_;
  EXPECT_EQ(f.windowTitle(), "Form1");
  EXPECT_EQ(f.btnPlot->text(), "PLOT / Refresh");
  EXPECT_EQ(f.lblFN->text(), "Data File = ");
  EXPECT_TRUE(f.lblFN->font().bold());
  EXPECT_EQ(f.lblFN->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_EQ(f.font().pixelSize(), 12);
  // Designed for a 12-pixel text height; another height scales every edge and the client area.
  const int m = QFontMetrics(f.font()).height();
  auto scaled = [m](int l, int t, int w, int h) {
    return QRect(QPoint(MulDiv(l, m, 12), MulDiv(t, m, 12)), QPoint(MulDiv(l + w, m, 12) - 1, MulDiv(t + h, m, 12) - 1));
  };
  EXPECT_EQ(f.centralWidget()->size(), QSize(MulDiv(935, m, 12), MulDiv(620, m, 12)));
  EXPECT_EQ(f.btnPlot->geometry(), scaled(8, 0, 129, 17));
  EXPECT_EQ(f.strgridData->geometry(), scaled(8, 24, 321, 587));
  EXPECT_EQ(f.imgTernova->geometry(), scaled(336, 24, 587, 587));
  EXPECT_EQ(f.lblFN->pos(), scaled(336, 8, 73, 12).topLeft());

  // FormCreate: view state, picture, geometry, the dialogs' folder.
  EXPECT_EQ(State().SymbolSize, 6);
  EXPECT_EQ(State().SelectedSample, 0);
  EXPECT_EQ(State().Engine.Picture.Width(), 2000);
  EXPECT_EQ(State().Engine.Picture.Height(), 2000);
  EXPECT_TRUE(State().Engine.Picture.Empty());
  EXPECT_NE(State().Engine.Geometry.Centre, Point{});
  EXPECT_EQ(f.OpenDialog.InitialDir, QCoreApplication::applicationDirPath());
  EXPECT_EQ(f.SavePictureDialog.InitialDir, QCoreApplication::applicationDirPath());
  EXPECT_TRUE(f.imgTernova->Displayed().isNull());  // nothing drawn at start

  // The grid: 5 x 5 empty cells, 48 x 16, current cell (1, 1), focus first.
  EXPECT_EQ(f.strgridData->Cells()->GridColumns(), 5);
  EXPECT_EQ(f.strgridData->Cells()->GridRows(), 5);
  EXPECT_EQ(f.strgridData->columnWidth(0), 48);
  EXPECT_EQ(f.strgridData->rowHeight(0), 16);
  EXPECT_EQ(f.strgridData->CurrentColumn(), 1);
  EXPECT_EQ(f.strgridData->CurrentRow(), 1);
  ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), f.strgridData);
  QTest::keyClick(f.strgridData, Qt::Key_Tab);
  ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), f.btnPlot);
}

TEST_F(LayoutTest, ResizingGrowsTheImageAndTheGridOnly) {
  TForm1& f = *form_;
  const QRect button = f.btnPlot->geometry(), label = f.lblFN->geometry();
  const QRect grid = f.strgridData->geometry(), image = f.imgTernova->geometry();
  f.resize(f.width() + 100, f.height() + 50);
  ASSERT_EVENTUALLY_EQ(f.imgTernova->width(), image.width() + 100);
  EXPECT_EQ(f.imgTernova->height(), image.height() + 50);
  EXPECT_EQ(f.imgTernova->pos(), image.topLeft());
  EXPECT_EQ(f.strgridData->geometry(), grid.adjusted(0, 0, 0, 50));
  EXPECT_EQ(f.btnPlot->geometry(), button);
  EXPECT_EQ(f.lblFN->geometry(), label);
  // Anchored to the client area's edges.
  EXPECT_EQ(f.centralWidget()->width() - f.imgTernova->geometry().right() - 1, QFontMetrics(f.font()).height());
}

TEST_F(LayoutTest, EndEndsTheEventLoop) {
  QTimer::singleShot(0, form_.get(), [this] { form_->EndE1->trigger(); });
  // A hang fails, not blocks; the guard goes with the test, so it cannot end a later test's loop.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  guard.start(5000);
  EXPECT_EQ(App().exec(), 0);
}

}  // namespace
}  // namespace ternova::app::testing
