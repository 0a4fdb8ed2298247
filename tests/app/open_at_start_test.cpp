// `ternova DATAFILE`: the file named at start opens as File > Open would, once the window is up.
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/image_control.h"
#include "app/sample_grid.h"
#include "app_test_support.h"

namespace ternova::app::testing {
namespace {

using OpenAtStartTest = WindowTest;

TEST_F(OpenAtStartTest, ARelativeNameOpensFromTheStartingFolderOnceTheLoopRuns) {
  WriteFile("rocks.txt", Lines(3));
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir_.path()));
  form_->OpenAtStart(QStringLiteral("rocks.txt"));
  ASSERT_TRUE(QDir::setCurrent(before));
  // Nothing happens before the window's first events.
  EXPECT_EQ(State().Engine.Table.SampleCount, 0);
  ASSERT_EVENTUALLY_EQ(form_->lblFN->text(), QStringLiteral("Data file = rocks.txt"));
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_TRUE(dialogs_->openAsked.empty());
  EXPECT_EQ(State().Engine.Table.SampleCount, 3);
  EXPECT_EQ(Symbols(form_->imgTernova->Picture()).size(), 12u);
  ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), form_->btnPlot);
  // File > Open then starts from that file.
  dialogs_->openAnswers.push_back(QString());
  form_->OpenO1->trigger();
  ASSERT_EQ(dialogs_->openAsked.size(), 1u);
  EXPECT_EQ(dialogs_->openAsked[0].FileName, dir_.filePath("rocks.txt"));
}

TEST_F(OpenAtStartTest, AFileThatFailsShowsTheErrorBoxAndTheWindowGoesOn) {
  form_->OpenAtStart(dir_.filePath("missing.txt"));
  ASSERT_EVENTUALLY_EQ(dialogs_->errors.size(), size_t{1});
  EXPECT_TRUE(dialogs_->errors[0].startsWith("ファイル \"" + dir_.filePath("missing.txt") + "\". "));
  EXPECT_TRUE(dialogs_->errors[0].endsWith(" は開けません."));
  EXPECT_EQ(form_->lblFN->text(), "Data File = ");
  EXPECT_TRUE(form_->isVisible());

  // A bad row stops where File > Open stops.
  form_->OpenAtStart(WriteFile("bad.txt", Lines(4, 3)));
  ASSERT_EVENTUALLY_EQ(dialogs_->errors.size(), size_t{2});
  EXPECT_EQ(dialogs_->errors[1], "'abc' は浮動小数点数ではありません.");
  EXPECT_EQ(State().Engine.Table.CompletedRows, 2);
  // Once mended, the program goes on as after any load.
  Open(WriteFile("good.txt", Lines(2)));
  EXPECT_EQ(dialogs_->errors.size(), 2u);
  EXPECT_EQ(State().Engine.Table.SampleCount, 2);
}

}  // namespace
}  // namespace ternova::app::testing
