// The diagram follows its file: a spreadsheet saving over it, an editor renaming a new copy into
// place, an instrument appending to it; a file that goes away leaves the window as it was.
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QClipboard>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "app/file_watch.h"
#include "app/image_control.h"
#include "app/sample_grid.h"
#include "app_test_support.h"

namespace ternova::app::testing {
namespace {

// Each row on its own spot, so a symbol tells which row and which file it comes from.
std::string Rows(int count, int shift = 0) {
  std::string text;
  for (int r = 1; r <= count; ++r)
    text += std::to_string(10 * r + shift) + "\t20\t30\t" + std::to_string(5 + r) + "\tnote " + std::to_string(r) + "\n";
  return text;
}

// Longer than a settle, with room for a busy machine: what has not happened by then is not coming.
constexpr int kWellAfterSettling = 4 * FileWatch::kSettleMs;

class FileWatchTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    path_ = WriteFile("rocks.txt", Rows(3));
    Open(path_);
    ASSERT_EQ(State().Engine.Table.SampleCount, 3);
  }

  void Append(const std::string& text) {
    QFile file(path_);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(text.data(), static_cast<qint64>(text.size()));
  }

  // An editor's save: a new copy written beside the file and renamed over it.
  void RenameOver(const std::string& text) {
    const QString copy = WriteFile(".rocks.txt.new", text);
    ASSERT_EQ(std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path_).constData()), 0);
  }

  std::vector<Symbol> Shown() const { return Symbols(form_->imgTernova->Picture()); }

  QString path_;
};

TEST_F(FileWatchTest, ASpreadsheetSavingOverTheFileReloadsItKeepingTheSelectionTheViewAndTheFocus) {
  form_->strgridData->SetCurrent(2, 2);
  form_->strgridDataSelectCell(2);
  form_->LargeL1->trigger();
  form_->N1011->trigger();
  form_->strgridData->setFocus();
  const std::vector<std::string> gridsOff = Describe(form_->imgTernova->Picture());

  WriteFile("rocks.txt", Rows(4, 1));
  ASSERT_EVENTUALLY_EQ(State().Engine.Table.SampleCount, 4);
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(form_->lblFN->text(), "Data file = rocks.txt");
  EXPECT_EQ(State().SelectedSample, 2);
  EXPECT_EQ(form_->strgridData->CurrentRow(), 2);
  EXPECT_EQ(QApplication::focusWidget(), form_->strgridData);
  EXPECT_EQ(form_->strgridData->Cells()->index(1, 0).data().toString(), "21");
  const std::vector<Symbol> symbols = Shown();
  ASSERT_EQ(symbols.size(), 16u);
  for (const Symbol& s : symbols) EXPECT_EQ(s.r, s.colour == kRed ? 20 : 10);
  EXPECT_EQ(std::count_if(symbols.begin(), symbols.end(), [](const Symbol& s) { return s.colour == kRed; }), 4);
  // The 10 % grid stays off: the picture up to the symbols is the one drawn before.
  const std::vector<std::string> now = Describe(form_->imgTernova->Picture());
  const size_t firstSymbol = State().Engine.LastDrawn().firstSymbolOp;
  ASSERT_LE(firstSymbol, gridsOff.size());
  EXPECT_EQ(std::vector<std::string>(now.begin(), now.begin() + firstSymbol),
            std::vector<std::string>(gridsOff.begin(), gridsOff.begin() + firstSymbol));
}

TEST_F(FileWatchTest, ANewCopyRenamedIntoPlaceReloadsAndIsWatchedFromThenOn) {
  // The program that saved it still holds the old file open: that file lives on, unnamed.
  QFile old(path_);
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  RenameOver(Rows(5));
  ASSERT_EVENTUALLY_EQ(State().Engine.Table.SampleCount, 5);
  // Written in place now: only a watch on the new file sees it.
  WriteFile("rocks.txt", Rows(6));
  ASSERT_EVENTUALLY_EQ(State().Engine.Table.SampleCount, 6);
  old.close();
  RenameOver(Rows(2));
  ASSERT_EVENTUALLY_EQ(State().Engine.Table.SampleCount, 2);
  Append(Rows(3).substr(Rows(2).size()));
  ASSERT_EVENTUALLY_EQ(State().Engine.Table.SampleCount, 3);
  EXPECT_TRUE(dialogs_->errors.empty());
}

TEST_F(FileWatchTest, AGrowingFileReloadsOnceItHasStayedTheSame) {
  // A line half written is never read: the reload waits until the appending stops.
  form_->DataFileWatch()->SetSettleTime(1500);
  Append(Rows(4).substr(Rows(3).size()));
  Append("50\t20");
  QTest::qWait(100);
  Append("\t30\t10\tnote 5\n");
  EXPECT_TRUE(QTest::qWaitFor([] { return State().Engine.Table.SampleCount == 5; }, 10000));
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(Shown().size(), 20u);
}

TEST_F(FileWatchTest, AFileThatGoesAwayLeavesTheWindowAsItWasAndIsFollowedWhenItComesBack) {
  const std::vector<std::string> before = Describe(form_->imgTernova->Picture());
  ASSERT_TRUE(QFile::remove(path_));
  QTest::qWait(kWellAfterSettling);
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_EQ(State().Engine.Table.SampleCount, 3);
  EXPECT_EQ(form_->lblFN->text(), "Data file = rocks.txt");
  EXPECT_EQ(Describe(form_->imgTernova->Picture()), before);

  WriteFile("rocks.txt", Rows(7));
  ASSERT_EVENTUALLY_EQ(State().Engine.Table.SampleCount, 7);
  EXPECT_TRUE(dialogs_->errors.empty());
}

TEST_F(FileWatchTest, AReloadThatFailsShowsTheErrorOnceForThatChange) {
  WriteFile("rocks.txt", Lines(4, 3));
  ASSERT_EVENTUALLY_EQ(dialogs_->errors.size(), size_t{1});
  EXPECT_EQ(dialogs_->errors[0], "'abc' は浮動小数点数ではありません.");
  QTest::qWait(kWellAfterSettling);
  EXPECT_EQ(dialogs_->errors.size(), 1u);
  // Mended in the spreadsheet: it loads as any file does.
  WriteFile("rocks.txt", Rows(4));
  ASSERT_EVENTUALLY_EQ(State().Engine.Table.CompletedRows, 4);
  EXPECT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(Shown().size(), 16u);
}

TEST_F(FileWatchTest, AFileThatFailsToOpenKeepsTheOpenOneFollowed) {
  Open(dir_.filePath("missing.txt"));
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  WriteFile("rocks.txt", Rows(5));
  ASSERT_EVENTUALLY_EQ(State().Engine.Table.SampleCount, 5);
  EXPECT_EQ(dialogs_->errors.size(), 1u);
}

TEST_F(FileWatchTest, AnotherFileOpenedIsFollowedInstead) {
  const QString other = WriteFile("other.txt", Rows(2));
  Open(other);
  ASSERT_EQ(State().Engine.Table.SampleCount, 2);
  WriteFile("rocks.txt", Rows(6));
  QTest::qWait(kWellAfterSettling);
  EXPECT_EQ(State().Engine.Table.SampleCount, 2);
  WriteFile("other.txt", Rows(4));
  ASSERT_EVENTUALLY_EQ(State().Engine.Table.SampleCount, 4);
  EXPECT_EQ(form_->lblFN->text(), "Data file = other.txt");
}

TEST_F(FileWatchTest, SamplesFromTheClipboardAreNotReplacedByTheFileOpenBefore) {
  QGuiApplication::clipboard()->setText(QString::fromStdString(Rows(2)));
  form_->PasteV1->trigger();
  ASSERT_EQ(form_->lblFN->text(), "Data file = (clipboard)");
  WriteFile("rocks.txt", Rows(6));
  QTest::qWait(kWellAfterSettling);
  EXPECT_EQ(State().Engine.Table.SampleCount, 2);
  EXPECT_EQ(form_->lblFN->text(), "Data file = (clipboard)");
}

TEST_F(FileWatchTest, AChangeWaitsWhileADialogIsOpen) {
  WriteFile("rocks.txt", Rows(5));
  QDialog dialog(form_.get());
  int32_t duringDialog = -1;
  QTimer::singleShot(kWellAfterSettling, &dialog, [&] {
    duringDialog = State().Engine.Table.SampleCount;
    dialog.reject();
  });
  dialog.exec();
  EXPECT_EQ(duringDialog, 3);
  ASSERT_EVENTUALLY_EQ(State().Engine.Table.SampleCount, 5);
}

}  // namespace
}  // namespace ternova::app::testing
