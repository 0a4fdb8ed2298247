// Draws the window as a user sees it after opening an example and clicking a row, and saves it
// as a PNG: app_screenshot DATAFILE ROW OUT.png
#include <QApplication>
#include <QTest>
#include <QTimer>

#include "app/image_control.h"
#include "app/main_window.h"
#include "app/sample_grid.h"

namespace {

struct Answering : ternova::app::Dialogs {
  QString file;
  bool ExecuteOpen(QWidget*, ternova::app::FileDialogSettings& s) override { return s.FileName = file, true; }
  bool ExecuteSave(QWidget*, ternova::app::FileDialogSettings&) override { return false; }
  void ShowError(QWidget*, const QString& text) override { qWarning("%s", qPrintable(text)); }
  void ShowHelp(QWidget*, const QString&) override {}
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Ternova"));
  if (argc != 4) return 2;
  auto dialogs = std::make_unique<Answering>();
  dialogs->file = QString::fromLocal8Bit(argv[1]);
  ternova::app::TForm1 form(std::move(dialogs));
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return 1;
  form.OpenO1->trigger();
  auto* grid = form.strgridData;
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(2, std::atoi(argv[2])).center());
  QTest::qWait(300);
  return form.grab().save(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
}
