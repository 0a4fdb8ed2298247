// Texts that come from files reach the screen as text, the error box keeps its lines whole, the
// focused button answers Enter, and the dialogs leave no settings behind.
#include <QDirIterator>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <sys/stat.h>

#include "app/picture_preview.h"
#include "app/sample_grid.h"
#include "app_test_support.h"

namespace ternova::app::testing {
namespace {

QLabel* MessageLabel(QWidget* box) { return box->findChild<QLabel*>("qt_msgbox_label"); }

// The window over the real dialogs, so the error box is the one the user sees.
class RealWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    App();
    State() = ProcessState{};
    form_ = std::make_unique<TForm1>();
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }
  // File > Open without its dialog: a dropped file takes the same road.
  void Load(const QString& path) { form_->FormDropFile(path); }
};

TEST_F(RealWindowTest, MarkupInADataFileIsShownAsItIsWritten) {
  // Rich text would load the picture, read the pipe for ever, or show a headline.
  QImage picture(8, 8, QImage::Format_RGB32);
  picture.fill(Qt::red);
  const QString png = dir_.filePath("pic.png"), fifo = dir_.filePath("pipe.png");
  ASSERT_TRUE(picture.save(png));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const struct {
    std::string line;
  } cases[] = {{"<img src=\"" + png.toStdString() + "\">\t1\t1\t1\n"},
               {"<img src=\"" + fifo.toStdString() + "\">\t1\t1\t1\n"},
               {"1\t<h1>BIG</h1>\t1\t1\n"}};
  for (const auto& c : cases) {
    const QString path = WriteFile("markup.txt", c.line);
    WhileModal(
        [&](QWidget* w) {
          auto* box = qobject_cast<QMessageBox*>(w);
          ASSERT_NE(box, nullptr);
          QLabel* label = MessageLabel(box);
          ASSERT_NE(label, nullptr);
          EXPECT_EQ(label->textFormat(), Qt::PlainText);
          const QString tag = QString::fromStdString(c.line).section('>', 0, 0).section('\t', -1) + ">";
          EXPECT_TRUE(label->text().contains(tag)) << label->text().toStdString();
        },
        [&] { Load(path); });
  }
}

TEST_F(RealWindowTest, AFileNameIsShownAsItIsWritten) {
  const QString path = WriteFile("<h1>BIG.txt", "1\t1\t1\t1\n");
  Load(path);
  EXPECT_EQ(form_->lblFN->text(), "Data file = <h1>BIG.txt");
  EXPECT_EQ(form_->lblFN->textFormat(), Qt::PlainText);
  PicturePreviewPane pane;
  EXPECT_EQ(pane.CaptionLabel()->textFormat(), Qt::PlainText);
}

class FileNameTest : public WindowTest {};

// A name from a folder nobody checked: the label shows all of it, its control characters spelt
// out as in cells and as ternova-plot prints them, and so does the error box.
TEST_F(FileNameTest, ControlCharactersOfANameAreSpeltOut) {
  Open(WriteFile(QString::fromUtf8("minerals.txt\n\x1b]0;x\x07.txt"), "1\t1\t1\t1\n"));
  EXPECT_EQ(form_->lblFN->text().toStdString(), "Data file = minerals.txt<U+000A><U+001B>]0;x<U+0007>.txt");
  EXPECT_TRUE(dialogs_->errors.empty());
  Open(dir_.filePath(QString::fromUtf8("gone\r\x1b[2J.txt")));
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(dialogs_->errors[0].toStdString(), "ファイル \"" + dir_.path().toStdString() +
                                                  "/gone<U+000D><U+001B>[2J.txt\". No such file or directory は開けません.");
  EXPECT_EQ(form_->lblFN->text().toStdString(), "Data file = minerals.txt<U+000A><U+001B>]0;x<U+0007>.txt");
}

TEST_F(RealWindowTest, TheErrorBoxKeepsTheEndOfItsTextTogether) {
  const QString shortText = "ファイル \"/proc/test.emf\". No such file or directory を作成できません.";
  const QString longPath = "/tmp/" + QString(30, 'd') + "/" + QString(40, 'e') + "/" + QString(40, 'f') + ".emf";
  const QString longText = "ファイル \"" + longPath + "\". Permission denied を作成できません.";
  std::unique_ptr<Dialogs> real = MakeQtDialogs();
  WhileModal(
      [&](QWidget* w) {
        QLabel* label = MessageLabel(w);
        ASSERT_NE(label, nullptr);
        // One line: the label is as wide as the whole text.
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(shortText));
      },
      [&] { real->ShowError(form_.get(), shortText); });
  WhileModal(
      [&](QWidget* w) {
        QLabel* label = MessageLabel(w);
        ASSERT_NE(label, nullptr);
        // The break comes after the file name; what failed reads on one line.
        EXPECT_TRUE(label->text().contains("\".\nPermission denied")) << label->text().toStdString();
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance("Permission denied を作成できません."));
      },
      [&] { real->ShowError(form_.get(), longText); });
}

class KeysTest : public WindowTest {};

TEST_F(KeysTest, EnterAndReturnPressTheFocusedButtonAfterALoad) {
  RecordReports();
  Open(WriteFile("five.txt", Lines(5)));
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
    QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {},
                      form_->strgridData->CellRect(2, 3).center());
    ASSERT_EQ(State().SelectedSample, 3);
    Open(WriteFile("five.txt", Lines(5)));  // a load the mouse asked for
    ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(), form_->btnPlot);
    // The focus frame shows, though no key moved the focus.
    EXPECT_TRUE(form_->testAttribute(Qt::WA_KeyboardFocusChange));
    QTest::keyClick(QApplication::focusWidget(), key);
    EXPECT_EQ(State().SelectedSample, 0) << key;
  }
}

// The program runs again with an empty configuration folder, opens and closes both real
// dialogs and ends; the folder must stay empty.
TEST(DialogSettings, NothingIsWrittenToTheUserConfiguration) {
  if (qEnvironmentVariableIsSet("TERNOVA_SETTINGS_CHILD")) {
    App();
    std::unique_ptr<Dialogs> real = MakeQtDialogs();
    FileDialogSettings settings;
    settings.Filters = {{"Tab区切りテキスト (.txt)", "*.txt"}};
    settings.InitialDir = QDir::tempPath();
    WhileModal([](QWidget*) {}, [&] { real->ExecuteOpen(nullptr, settings); });
    WhileModal([](QWidget*) {}, [&] { real->ExecuteSave(nullptr, settings); });
    return;
  }
  App();  // the program's own path is known only once the application exists
  QTemporaryDir home;
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TERNOVA_SETTINGS_CHILD", "1");
  env.insert("HOME", home.path());
  env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  child.setProcessEnvironment(env);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_filter=DialogSettings.NothingIsWrittenToTheUserConfiguration"});
  ASSERT_TRUE(child.waitForFinished(60000));
  EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
  QStringList left;
  QDirIterator it(home.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (it.hasNext()) left << it.next();
  EXPECT_TRUE(left.isEmpty()) << left.join(", ").toStdString();
}

TEST_F(RealWindowTest, DetailColumnsShowWhatTheyHoldInFull) {
  WriteFile("a-file-of-some-size.txt", std::string(458123, 'x'));
  FileDialogSettings settings;
  settings.Filters = {{"Tab区切りテキスト (.txt)", "*.txt"}};
  settings.InitialDir = dir_.path();
  std::unique_ptr<Dialogs> real = MakeQtDialogs();
  WhileModal(
      [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->findChild<QWidget*>("detailModeButton"), Qt::LeftButton);
        auto* details = dialog->findChild<QTreeView*>("treeView");
        ASSERT_NE(details, nullptr);
        const QModelIndex root = details->rootIndex();
        ASSERT_EVENTUALLY_WITHIN(details->model()->rowCount(root) == 1, 5000);
        QTest::qWait(300);
        for (int column = 1; column <= 3; ++column) {
          const QString shown = details->model()->index(0, column, root).data().toString();
          ASSERT_FALSE(shown.isEmpty()) << column;
          EXPECT_GE(details->header()->sectionSize(column), details->fontMetrics().horizontalAdvance(shown))
              << column << " " << shown.toStdString();
        }
      },
      [&] { real->ExecuteOpen(form_.get(), settings); });
}

TEST_F(RealWindowTest, PickingAFilterKeepsTheTypedName) {
  FileDialogSettings settings = form_->SavePictureDialog;
  settings.FilterIndex = 4;
  settings.DefaultExt = "emf";
  settings.InitialDir = dir_.path();
  std::unique_ptr<Dialogs> real = MakeQtDialogs();
  bool chosen = false;
  WhileModal(
      [&](QWidget* w) {
        auto* name = w->findChild<QLineEdit*>("fileNameEdit");
        auto* types = w->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_TRUE(name && types);
        name->setFocus();
        QTest::keyClicks(name, "trap.emf");
        QTest::keyClick(types, Qt::Key_Home);  // "すべてのファイル (*.bmp;*.ico;*.emf;*.wmf)"
        ASSERT_EQ(types->currentIndex(), 0);
        EXPECT_EQ(name->text(), "trap.emf");
        for (int step = 0; step < 4; ++step) {
          QTest::keyClick(types, Qt::Key_Down);
          EXPECT_EQ(name->text(), "trap.emf") << types->currentText().toStdString();
        }
        QTest::keyClick(name, Qt::Key_Return);
      },
      [&] { chosen = real->ExecuteSave(form_.get(), settings); });
  ASSERT_TRUE(chosen);
  EXPECT_EQ(QFileInfo(settings.FileName).fileName(), "trap.emf");
}

}  // namespace
}  // namespace ternova::app::testing
