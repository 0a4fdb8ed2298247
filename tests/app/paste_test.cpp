// Samples from a spreadsheet by Ctrl+V or by dropping text: loaded as File > Open loads the same
// bytes from a file, with the pasted line named when one fails.
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "app/image_control.h"
#include "app/sample_grid.h"
#include "base/messages.h"
#include "app_test_support.h"

namespace ternova::app::testing {
namespace {

// As LibreOffice Calc copies cells: TAB between cells, a line end after each row, an empty cell
// as nothing between two TABs; notes in Japanese and beyond the basic plane.
const char kSheet[] =
    "45.2\t8.1\t38.3\t8.4\t花崗岩\n"
    "50\t26\t\t8\t10\n"
    "  1.5  \t2\t3\t4\t\xF0\x9F\xAA\xA8 pebble\n"
    "33\t33\t33\t1\tlast\n";

class PasteTest : public WindowTest {
 protected:
  void TearDown() override {
    SetLanguage("ja");
    WindowTest::TearDown();
  }
  void PasteInto(QWidget* focus) {
    focus->setFocus();
    QTest::keyClick(focus, Qt::Key_V, Qt::ControlModifier);
  }
  void Paste(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    PasteInto(form_->strgridData);
  }

  // What a load shows: the label, every grid text, the amounts, points and the drawing.
  struct Shown {
    QString label;
    std::vector<QString> grid;
    std::vector<std::array<double, 5>> values;
    std::vector<std::array<Point, 5>> points;
    std::vector<std::string> picture;
    bool operator==(const Shown&) const = default;
  };
  Shown Showing() const {
    Shown shown{form_->lblFN->text(), {}, {}, {}, Describe(form_->imgTernova->Picture())};
    const QAbstractItemModel* model = form_->strgridData->model();
    for (int row = 0; row < model->rowCount(); ++row) {
      shown.grid.push_back(model->headerData(row, Qt::Vertical, Qt::DisplayRole).toString());
      for (int column = 0; column < model->columnCount(); ++column)
        shown.grid.push_back(model->index(row, column).data().toString());
    }
    const SampleTable& table = State().Engine.Table;
    shown.values.assign(table.SampleValues.begin(), table.SampleValues.end());
    shown.points.assign(table.SamplePoints.begin(), table.SamplePoints.end());
    return shown;
  }
};

TEST_F(PasteTest, PastedCellsShowWhatTheSameBytesInAFileShow) {
  Open(WriteFile("rocks.txt", kSheet));
  ASSERT_TRUE(dialogs_->errors.empty());
  Shown file = Showing();
  ASSERT_EQ(State().Engine.Table.SampleCount, 4);
  ASSERT_EQ(Symbols(form_->imgTernova->Picture()).size(), 16u);

  Open(WriteFile("other.txt", Lines(7)));
  Paste(QString::fromUtf8(kSheet));
  ASSERT_TRUE(dialogs_->errors.empty()) << dialogs_->errors[0].toStdString();
  EXPECT_EQ(form_->lblFN->text(), "Data file = (clipboard)");
  file.label = form_->lblFN->text();
  EXPECT_TRUE(Showing() == file);
  EXPECT_EQ(form_->strgridData->model()->index(2, 4).data().toString(), QString::fromUtf8("\xF0\x9F\xAA\xA8 pebble"));
  ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), form_->btnPlot);
  // Pasting changes nothing the open dialog remembers.
  dialogs_->openAnswers.push_back(QString());
  form_->OpenO1->trigger();
  EXPECT_TRUE(dialogs_->openAsked.back().FileName.endsWith("other.txt"));

  // Excel's line ends, and a mark some programs put in front of Unicode text, read the same.
  Open(WriteFile("other.txt", Lines(2)));
  QGuiApplication::clipboard()->setText(QChar(0xFEFF) + QString::fromUtf8(kSheet).replace("\n", "\r\n"));
  PasteInto(form_->btnPlot);
  ASSERT_TRUE(dialogs_->errors.empty()) << dialogs_->errors[0].toStdString();
  EXPECT_TRUE(Showing() == file);
}

TEST_F(PasteTest, CtrlVWorksWhereverTheFocusIs) {
  for (QWidget* focus : std::vector<QWidget*>{form_->strgridData, form_->btnPlot, form_->imgTernova}) {
    Open(WriteFile("three.txt", Lines(3)));
    QGuiApplication::clipboard()->setText("1\t2\t3\t4\n");
    PasteInto(focus);
    EXPECT_EQ(State().Engine.Table.SampleCount, 1) << focus->objectName().toStdString();
    EXPECT_EQ(form_->lblFN->text(), "Data file = (clipboard)");
  }
  // Paste is no menu item: the File menu keeps exactly its items.
  EXPECT_EQ(form_->FileF1->actions().size(), 4);
}

TEST_F(PasteTest, AFailingLineIsNamedByItsPastedLineNumber) {
  Open(WriteFile("good.txt", Lines(3)));
  const auto picture = form_->imgTernova->Picture().content;
  // A header row copied along fails on its first cell, as in a file.
  Paste("SiO2\tAl2O3+CaO\tMgO\tFeO\tNote\n45\t8\t38\t8\tpyrolite\n");
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(dialogs_->errors[0], "貼り付けたテキストの 1 行目: 'SiO2' は浮動小数点数ではありません.");
  // The load got as far as with a file: new size and label, no redraw, no focus move.
  EXPECT_EQ(form_->lblFN->text(), "Data file = (clipboard)");
  EXPECT_EQ(State().Engine.Table.SampleCount, 2);
  EXPECT_EQ(form_->imgTernova->Picture().content, picture);
  ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), form_->strgridData);

  const struct { const char* text; const char* message; } cases[] = {
      {"1\t1\t1\t1\r\n2\t2\t2\t2\r\n3\tx\t3\t3\r\n", "貼り付けたテキストの 3 行目: 'x' は浮動小数点数ではありません."},
      {"1\t1\t1\t1\n1e500\t1\t1\t1\n", "貼り付けたテキストの 2 行目: 浮動小数点数のオーバーフロー."},
      {"1\t1\t1\t1\n\n", "貼り付けたテキストの 2 行目: '' は浮動小数点数ではありません."},
      {"1\xC2\xA0\t1\t1\t1", "貼り付けたテキストの 1 行目: '1<U+00A0>' は浮動小数点数ではありません."},
  };
  for (const auto& c : cases) {
    dialogs_->errors.clear();
    Paste(QString::fromUtf8(c.text));
    ASSERT_EQ(dialogs_->errors.size(), 1u) << c.text;
    EXPECT_EQ(dialogs_->errors[0], QString::fromUtf8(c.message));
  }
  SetLanguage("en");
  dialogs_->errors.clear();
  Paste("1\t1\t1\t1\n2\tx\t2\t2\n");
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(dialogs_->errors[0], "Line 2 of the pasted text: 'x' is not a valid floating-point value.");
}

TEST_F(PasteTest, NothingToPasteIsASilentNoOp) {
  Open(WriteFile("good.txt", Lines(3)));
  form_->strgridData->setFocus();
  const auto picture = form_->imgTernova->Picture().content;
  auto expectUnchanged = [&](const char* what) {
    EXPECT_TRUE(dialogs_->errors.empty()) << what;
    EXPECT_EQ(form_->lblFN->text(), "Data file = good.txt") << what;
    EXPECT_EQ(State().Engine.Table.SampleCount, 3) << what;
    EXPECT_EQ(form_->imgTernova->Picture().content, picture) << what;
  };
  QGuiApplication::clipboard()->clear();
  PasteInto(form_->strgridData);
  expectUnchanged("empty clipboard");
  QGuiApplication::clipboard()->setText(QString());
  PasteInto(form_->strgridData);
  expectUnchanged("empty text");
  // The diagram just copied from its own context menu is a picture, not data.
  form_->CopyC1->trigger();
  ASSERT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat("image/svg+xml"));
  PasteInto(form_->strgridData);
  expectUnchanged("the diagram");
  // A link is no data, even with its address as text.
  auto* link = new QMimeData;
  link->setUrls({QUrl(QStringLiteral("https://example.org/rocks.txt"))});
  link->setText(QStringLiteral("https://example.org/rocks.txt"));
  QGuiApplication::clipboard()->setMimeData(link);
  PasteInto(form_->strgridData);
  expectUnchanged("a link");
  ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), form_->strgridData);
}

TEST_F(PasteTest, ACopiedFileIsOpenedAsADroppedOneWould) {
  const QString path = WriteFile("rocks.txt", kSheet);
  auto* mime = new QMimeData;
  mime->setUrls({QUrl::fromLocalFile(path)});
  QGuiApplication::clipboard()->setMimeData(mime);
  PasteInto(form_->strgridData);
  ASSERT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(form_->lblFN->text(), "Data file = rocks.txt");
  EXPECT_EQ(State().Engine.Table.SampleCount, 4);
  dialogs_->openAnswers.push_back(QString());
  form_->OpenO1->trigger();
  EXPECT_EQ(dialogs_->openAsked.back().FileName, path);
}

TEST_F(PasteTest, RowsCopiedFromTheGridPasteBackToTheSameSamples) {
  Open(WriteFile("rocks.txt", kSheet));
  const std::vector<std::array<double, 5>> values(State().Engine.Table.SampleValues.begin(), State().Engine.Table.SampleValues.end());
  // A click and Shift+Down select every row; Ctrl+C copies them.
  QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {}, form_->strgridData->CellRect(1, 1).center());
  form_->strgridData->setFocus();
  for (int i = 0; i < 3; ++i) QTest::keyClick(form_->strgridData, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(form_->strgridData, Qt::Key_C, Qt::ControlModifier);
  const auto picture = Describe(form_->imgTernova->Picture());
  Open(WriteFile("other.txt", Lines(9)));
  PasteInto(form_->strgridData);
  ASSERT_TRUE(dialogs_->errors.empty());
  const std::vector<std::array<double, 5>> pasted(State().Engine.Table.SampleValues.begin(), State().Engine.Table.SampleValues.end());
  EXPECT_EQ(pasted, values);
  EXPECT_EQ(Describe(form_->imgTernova->Picture()), picture);
}

}  // namespace
}  // namespace ternova::app::testing
