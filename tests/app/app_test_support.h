#pragma once
// A window driven by tests: its dialogs answer from queues and record what they were asked.
#include <QApplication>
#include <QPageLayout>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/state.h"

// Waits (events running) up to five seconds for `actual` to equal `expected`, then asserts it.
// QTRY_COMPARE cannot stand in: outside a QtTest run its failure returns from the test quietly,
// and GoogleTest counts the test as passed.
#define ASSERT_EVENTUALLY_EQ(actual, expected)                                \
  do {                                                                        \
    [[maybe_unused]] const bool arrived =                                     \
        QTest::qWaitFor([&] { return (actual) == (expected); }, 5000);        \
    ASSERT_EQ(actual, expected);                                              \
  } while (false)

// The same for a condition, and for one that may take longer.
#define ASSERT_EVENTUALLY_WITHIN(condition, milliseconds) \
  ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, milliseconds)) << #condition
#define ASSERT_EVENTUALLY(condition) ASSERT_EVENTUALLY_WITHIN(condition, 5000)

namespace ternova::app::testing {

struct FakeDialogs : Dialogs {
  std::deque<QString> openAnswers;  // a null QString cancels
  std::deque<QString> saveAnswers;
  std::vector<FileDialogSettings> openAsked, saveAsked;
  std::vector<QString> errors, helps;
  // Print dialogs are answered by printing to a PDF file of that name (a null QString cancels);
  // the page as the dialog handed it on is kept.
  std::deque<QString> printAnswers;
  std::vector<QPageLayout> printLayouts;

  bool ExecuteOpen(QWidget*, FileDialogSettings& settings) override { return Answer(openAnswers, openAsked, settings); }
  bool ExecuteSave(QWidget*, FileDialogSettings& settings) override { return Answer(saveAnswers, saveAsked, settings); }
  void ShowError(QWidget*, const QString& text) override { errors.push_back(text); }
  void ShowHelp(QWidget*, const QString& text) override { helps.push_back(text); }
  bool ExecutePrint(QWidget*, QPrinter& printer) override {
    if (printAnswers.empty()) return false;
    const QString answer = printAnswers.front();
    printAnswers.pop_front();
    if (answer.isNull()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(answer);
    printLayouts.push_back(printer.pageLayout());
    return true;
  }

 private:
  static bool Answer(std::deque<QString>& answers, std::vector<FileDialogSettings>& asked, FileDialogSettings& settings) {
    asked.push_back(settings);
    if (answers.empty()) return false;
    const QString answer = answers.front();
    answers.pop_front();
    if (answer.isNull()) return false;
    settings.FileName = answer;
    return true;
  }
};

QApplication& App();

// Runs `inspect` on the modal widget `open` shows, then closes it with Esc if still open.
void WhileModal(const std::function<void(QWidget*)>& inspect, const std::function<void()>& open);

// The symbols of a recorded picture: centre, radius and fill colour of every ellipse.
struct Symbol {
  int x, y, r;
  Rgb colour;
};
std::vector<Symbol> Symbols(const PictureSnapshot& picture);
// Every operation of a recording as text, for comparing recordings.
std::vector<std::string> Describe(const PictureSnapshot& picture);

// A fresh process state and a shown window over fake dialogs, per test.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes `text` to a file in the test's folder and returns its full path.
  QString WriteFile(const QString& name, const std::string& text);
  // "1<TAB>2<TAB>3<TAB>4<TAB>note r" lines, with a bad amount on line `bad` when given.
  static std::string Lines(int count, int bad = 0);
  // Opens `path` through File > Open.
  void Open(const QString& path);
  // Grid selection reports, in order, from now on.
  void RecordReports();

  QTemporaryDir dir_;
  FakeDialogs* dialogs_ = nullptr;
  std::unique_ptr<TForm1> form_;
  std::vector<int> reports_;
};

}  // namespace ternova::app::testing
