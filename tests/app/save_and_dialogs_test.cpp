// File > Save through the seam, and the real dialogs and boxes behind it.
#include <QAbstractButton>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <iostream>
#include <sys/stat.h>

#include "app/image_control.h"
#include "app/picture_preview.h"
#include "app_test_support.h"
#include "picture/qt/export.h"
#include "picture/work_budget.h"

namespace ternova::app::testing {
namespace {

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SaveTest : public WindowTest {};

TEST_F(SaveTest, AsksWithTheFiveEntriesAndEnhancedMetafilesPreselected) {
  dialogs_->saveAnswers.push_back(QString());
  form_->SaveS1->trigger();
  ASSERT_EQ(dialogs_->saveAsked.size(), 1u);
  const FileDialogSettings& asked = dialogs_->saveAsked[0];
  QStringList shown, patterns;
  for (const FilterEntry& e : asked.Filters) shown << e.Description, patterns << e.Pattern;
  EXPECT_EQ(shown, QStringList({"すべてのファイル (*.bmp;*.ico;*.emf;*.wmf)", "ビットマップ (*.bmp)", "アイコン (*.ico)",
                                "エンハンス メタファイル (*.emf)", "メタファイル (*.wmf)"}));
  EXPECT_EQ(patterns, QStringList({"*.bmp;*.ico;*.emf;*.wmf", "*.bmp", "*.ico", "*.emf", "*.wmf"}));
  EXPECT_EQ(asked.FilterIndex, 4);
  EXPECT_EQ(asked.DefaultExt, "emf");
  EXPECT_EQ(asked.InitialDir, QCoreApplication::applicationDirPath());
  EXPECT_TRUE(dialogs_->errors.empty());
}

TEST_F(SaveTest, WritesWhatTheImageShowsAndKeepsTheName) {
  // Nothing drawn yet: the empty picture, a 0-byte enhanced metafile or a bare placeable header.
  const QString emf = dir_.filePath("empty.emf"), wmf = dir_.filePath("empty.wmf");
  dialogs_->saveAnswers = {emf, wmf};
  form_->SaveS1->trigger();
  form_->SaveS1->trigger();
  ASSERT_TRUE(QFile::exists(emf));
  EXPECT_EQ(Contents(emf).size(), 0);
  EXPECT_EQ(Contents(wmf).size(), 22);
  EXPECT_EQ(dialogs_->saveAsked[1].FileName, emf);  // the last name is kept

  Open(WriteFile("three.txt", Lines(3)));
  const auto picture = State().Engine.Picture.Content();
  const QString drawn = dir_.filePath("drawn.emf");
  dialogs_->saveAnswers = {drawn};
  form_->SaveS1->trigger();
  const QByteArray bytes = Contents(drawn);
  ASSERT_GT(bytes.size(), 88);
  EXPECT_EQ(bytes.mid(40, 4), QByteArray(" EMF"));
  EXPECT_EQ(State().Engine.Picture.Content(), picture);  // saving changes nothing
  EXPECT_TRUE(dialogs_->errors.empty());
}

TEST_F(SaveTest, CancelAndEmptyNameWriteNothing) {
  dialogs_->saveAnswers = {QString(), QString("")};
  form_->SaveS1->trigger();
  form_->SaveS1->trigger();
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_TRUE(QDir(dir_.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(SaveTest, AFailedSaveIsShownInTheErrorBox) {
  const QString path = dir_.filePath("no-such-folder/x.emf");
  dialogs_->saveAnswers = {path};
  form_->SaveS1->trigger();
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_TRUE(dialogs_->errors[0].startsWith("ファイル \"" + path + "\". ")) << dialogs_->errors[0].toStdString();
  EXPECT_TRUE(dialogs_->errors[0].endsWith("を作成できません."));
}

// A link keeps pointing at the file that gets the picture; a FIFO is refused rather than left
// to block the window until some program reads it, and stays a FIFO.
TEST_F(SaveTest, LinksAreFollowedAndPipesRefused) {
  const QString real = dir_.filePath("real.emf"), link = dir_.filePath("link.emf"), pipe = dir_.filePath("pipe.emf");
  ASSERT_TRUE(QFile::link("real.emf", link) || QFile::link(real, link));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  Open(WriteFile("three.txt", Lines(3)));
  dialogs_->saveAnswers = {link, pipe};
  form_->SaveS1->trigger();
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(Contents(real).mid(40, 4), QByteArray(" EMF"));
  EXPECT_TRUE(dialogs_->errors.empty());
  form_->SaveS1->trigger();
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(dialogs_->errors[0], "ファイル \"" + pipe + "\". No such device を作成できません.");
  struct stat st {};
  ASSERT_EQ(::lstat(QFile::encodeName(pipe).constData(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

class RealDialogsTest : public WindowTest {
 protected:
  std::unique_ptr<Dialogs> real_ = MakeQtDialogs();
};

TEST_F(RealDialogsTest, OpenDialogShowsItsFilterFolderAndPlacement) {
  FileDialogSettings settings;
  settings.Filters = {{"Tab区切りテキスト (.txt)", "*.txt"}};
  settings.InitialDir = dir_.path();
  WhileModal(
      [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->directory().absolutePath(), QDir(dir_.path()).absolutePath());
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(types, nullptr);
        EXPECT_EQ(types->itemText(0), "Tab区切りテキスト (.txt)");
        const QRect monitor = w->screen()->availableGeometry();
        const QRect frame = w->frameGeometry();
        EXPECT_NEAR(frame.center().x(), monitor.center().x(), 2);
        EXPECT_NEAR(frame.top() - monitor.top(), (monitor.height() - frame.height()) / 3, 2);
      },
      [&] { EXPECT_FALSE(real_->ExecuteOpen(form_.get(), settings)); });
}

TEST_F(RealDialogsTest, ATypedNameIsTakenAndNothingOfTheDialogStaysOnScreen) {
  // The dialog lives on, hidden, after it closes; the suggestions typing brought up must not.
  for (const char* name : {"alpha.txt", "alpine.txt"}) WriteFile(name, "1\t1\t1\t1\n");
  FileDialogSettings settings;
  settings.Filters = {{"Tab区切りテキスト (.txt)", "*.txt"}};
  settings.InitialDir = dir_.path();
  bool suggested = false;
  WhileModal(
      [&](QWidget* w) {
        auto* name = w->findChild<QLineEdit*>("fileNameEdit");
        auto* list = w->findChild<QListView*>("listView");
        ASSERT_NE(name, nullptr);
        ASSERT_NE(list, nullptr);
        // Suggestions come from the folder's listing, which is read on another thread.
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) >= 2; }, 3000));
        QTest::keyClicks(name, "al");
        suggested = QTest::qWaitFor([&] {
          const QWidget* popup = QApplication::activePopupWidget();
          return popup && popup->isVisible();
        }, 3000);
        QTest::keyClicks(name, "pha.txt");
        QTest::keyClick(name, Qt::Key_Return);
        QTest::keyClick(name, Qt::Key_Return);  // the first may only take the suggestion
      },
      [&] { EXPECT_TRUE(real_->ExecuteOpen(form_.get(), settings)); });
  EXPECT_EQ(QFileInfo(settings.FileName).fileName(), "alpha.txt");
  EXPECT_TRUE(suggested);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_TRUE(w == form_.get() || !w->isVisible()) << w->metaObject()->className();
  // The next dialog opens as the first did.
  bool again = false;
  WhileModal([&](QWidget* w) { again = qobject_cast<QFileDialog*>(w) != nullptr; },
             [&] { EXPECT_FALSE(real_->ExecuteOpen(form_.get(), settings)); });
  EXPECT_TRUE(again);
}

TEST_F(RealDialogsTest, SaveDialogListsTheEntriesAndCarriesThePreview) {
  FileDialogSettings settings = form_->SavePictureDialog;
  settings.FilterIndex = 4;
  settings.DefaultExt = "emf";
  settings.InitialDir = dir_.path();
  WhileModal(
      [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(types, nullptr);
        ASSERT_EQ(types->count(), 5);
        EXPECT_EQ(types->itemText(0), "すべてのファイル (*.bmp;*.ico;*.emf;*.wmf)");
        EXPECT_EQ(types->currentText(), "エンハンス メタファイル (*.emf)");
        EXPECT_EQ(dialog->defaultSuffix(), "emf");
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        auto* pane = static_cast<PicturePreviewPane*>(dialog->findChild<QWidget*>("picturePreviewPane"));
        ASSERT_NE(pane, nullptr);
        EXPECT_TRUE(pane->isVisible());
        EXPECT_EQ(pane->CaptionLabel()->text(), "画像:");
        EXPECT_FALSE(pane->PreviewButton()->isEnabled());
        EXPECT_EQ(pane->PreviewButton()->toolTip(), "プレビュー");
      },
      [&] { EXPECT_FALSE(real_->ExecuteSave(form_.get(), settings)); });
}

TEST_F(RealDialogsTest, ErrorAndHelpBoxes) {
  WhileModal(
      [](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Ternova");
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->text(), "'x' は浮動小数点数ではありません.");
        EXPECT_EQ(box->buttons().size(), 1);
      },
      [&] { real_->ShowError(form_.get(), "'x' は浮動小数点数ではありません."); });
  WhileModal(
      [](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Ternova");
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        ASSERT_EQ(box->buttons().size(), 1);
        EXPECT_EQ(box->defaultButton(), box->buttons()[0]);
        EXPECT_EQ(box->escapeButton(), box->buttons()[0]);
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(kHelpText));
        // Once the text has been clicked it takes the keys: still the whole box, or what is
        // selected in it.
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        QGuiApplication::clipboard()->clear();
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(4, label->height() / 2));
        QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
        EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(kHelpText));
        EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith("-----"));
        label->setSelection(0, 7);
        QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "Help me");
        const QRect screen = box->screen()->geometry();
        EXPECT_NEAR(box->frameGeometry().center().x(), screen.center().x(), 2);
        QTest::keyClick(box, Qt::Key_Return);  // Enter closes it too
      },
      [&] { real_->ShowHelp(form_.get(), kHelpText); });
}

TEST(PicturePreview, ReadsPicturesAndRefusesTheRest) {
  QTemporaryDir dir;
  const QString bmp = dir.filePath("a.bmp"), bad = dir.filePath("bad.bmp"), emf = dir.filePath("d.emf"),
                wmf = dir.filePath("d.wmf"), txt = dir.filePath("t.txt");
  QImage image(30, 20, QImage::Format_RGB32);
  image.fill(Qt::red);
  ASSERT_TRUE(image.save(bmp));
  QFile(bad).open(QIODevice::WriteOnly) && true;
  {
    QFile f(bad);
    f.open(QIODevice::WriteOnly);
    f.write("BMnot really");
  }
  image.save(txt, "BMP");
  const PictureSnapshot empty{};
  // A drawn picture: frame of the nominal screen, 2000 units wide.
  DiagramPicture picture;
  picture.SetWidth(2000);
  picture.SetHeight(2000);
  picture.FixFrame(ScreenInfo{});
  picture.SetContent(std::make_shared<PictureContent>());
  SavePictureFile(emf.toStdString(), Snapshot(picture));
  SavePictureFile(wmf.toStdString(), Snapshot(picture));

  const PreviewInfo b = ReadPreview(bmp);
  EXPECT_TRUE(b.valid);
  EXPECT_EQ(QSize(b.width, b.height), QSize(30, 20));
  EXPECT_FALSE(ReadPreview(bad).valid);
  EXPECT_FALSE(ReadPreview(txt).valid);  // only picture types are previewed
  const PreviewInfo e = ReadPreview(emf);
  EXPECT_TRUE(e.valid);
  EXPECT_EQ(e.width, 2000);
  const PreviewInfo w = ReadPreview(wmf);
  EXPECT_TRUE(w.valid);
  EXPECT_EQ(w.width, 1890);  // the placeable box at 96 units per inch
  EXPECT_TRUE(e.picture.has_value());  // both play their records
  EXPECT_TRUE(w.picture.has_value());

  App();
  PicturePreviewPane pane;
  EXPECT_EQ(pane.Area()->Caption(), "(なし)");
  pane.ShowFile(bmp);
  EXPECT_EQ(pane.CaptionLabel()->text(), " (30x20)");
  EXPECT_TRUE(pane.PreviewButton()->isEnabled());
  EXPECT_TRUE(pane.Area()->Caption().isEmpty());
  pane.ShowFile(bad);  // a bitmap by its name that is none
  EXPECT_EQ(pane.CaptionLabel()->text(), "画像:");
  EXPECT_FALSE(pane.PreviewButton()->isEnabled());
  EXPECT_EQ(pane.Area()->Caption(), "画像が不正です");
  pane.ShowFile(txt);  // no picture type
  EXPECT_EQ(pane.Area()->Caption(), "(なし)");
  pane.ShowFile(emf);
  EXPECT_EQ(pane.CaptionLabel()->text(), " (2000x2000)");
  EXPECT_TRUE(pane.Area()->Caption().isEmpty());

  pane.ShowFile(bmp);
  WhileModal(
      [](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "プレビュー");
        QTest::keyClick(w, Qt::Key_Escape);
        EXPECT_FALSE(w->isVisible());
      },
      [&] { pane.PreviewButton()->click(); });
}

// A sound picture that the preview has no time left for is too large to preview, not invalid: its
// size is known and shown. Damage is still damage. The budget is spent before reading the file,
// and before playing it.
TEST(PicturePreview, ASoundPictureOutOfTimeIsTooLargeNotInvalid) {
  App();
  QTemporaryDir dir;
  DiagramPicture picture;
  picture.SetWidth(2000);
  picture.SetHeight(2000);
  picture.FixFrame(ScreenInfo{});
  auto content = std::make_shared<PictureContent>();
  for (int i = 0; i < 2000; ++i) content->ops.push_back(op::Ellipse{i, i, i + 6, i + 6});
  picture.SetContent(content);
  for (const QString name : {"many.emf", "many.wmf"}) {
    const QString path = dir.filePath(name), cut = dir.filePath("cut-" + name);
    SavePictureFile(path.toStdString(), Snapshot(picture));
    {
      QFile in(path), out(cut);
      ASSERT_TRUE(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
      out.write(in.readAll().chopped(400));
    }
    WorkBudget spent(std::chrono::nanoseconds(0)), ample(std::chrono::minutes(1));
    const PreviewInfo late = ReadPreview(path, &spent);
    EXPECT_TRUE(late.valid) << name.toStdString();
    EXPECT_GT(late.width, 0) << name.toStdString();
    PreviewArea area;
    area.Show(late);
    EXPECT_EQ(area.Caption(), "画像が大きすぎてプレビューできません") << name.toStdString();

    const PreviewInfo read = ReadPreview(path, &ample);
    ASSERT_TRUE(read.picture) << name.toStdString();
    area.Show(read, &spent);  // no time to play it
    EXPECT_EQ(area.Caption(), "画像が大きすぎてプレビューできません") << name.toStdString();
    area.Show(read, &ample);
    EXPECT_TRUE(area.Caption().isEmpty()) << name.toStdString();

    const PreviewInfo damaged = ReadPreview(cut, &ample);
    EXPECT_FALSE(damaged.valid) << name.toStdString();
    area.Show(damaged);
    EXPECT_EQ(area.Caption(), "画像が不正です") << name.toStdString();
  }
}

// A run-length encoded 8-bit bitmap of `side` x `side` pixels, in bands of 256 colours.
QByteArray Rle8Bitmap(int side) {
  QByteArray rows;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; x += 255) {
      rows.append(static_cast<char>(std::min(255, side - x)));  // a run of this many pixels
      rows.append(static_cast<char>((x / 255 + y) % 256));      // of this colour
    }
    rows.append(2, '\0');  // end of line
  }
  rows.append("\0\1", 2);  // end of bitmap
  auto le = [](QByteArray& out, quint32 v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.append(static_cast<char>(v >> (8 * i)));
  };
  const quint32 offset = 14 + 40 + 256 * 4;
  QByteArray file("BM");
  le(file, offset + rows.size(), 4);
  le(file, 0, 4);
  le(file, offset, 4);
  for (const auto& [v, n] : std::initializer_list<std::pair<quint32, int>>{
           {40, 4}, {quint32(side), 4}, {quint32(side), 4}, {1, 2}, {8, 2}, {1 /* BI_RLE8 */, 4},
           {quint32(rows.size()), 4}, {2835, 4}, {2835, 4}, {256, 4}, {0, 4}})
    le(file, v, n);
  for (int i = 0; i < 256; ++i) le(file, quint32(i) * 0x010101, 4);
  return file + rows;
}

// Image readers refuse a bitmap that would take more memory than their limit: a sound bitmap,
// then too large to preview (at its declared size), not "nothing selected". A bitmap that
// declares no size is invalid.
TEST(PicturePreview, ABitmapTooLargeToDecodeIsTooLargeToPreview) {
  App();
  const int limit = QImageReader::allocationLimit();
  QImageReader::setAllocationLimit(128);  // Qt's own default on some versions, in megabytes
  QTemporaryDir dir;
  const struct {
    const char* name;
    QByteArray bytes;
    const char* caption;
    const char* area;
  } cases[] = {
      {"small.bmp", Rle8Bitmap(100), " (100x100)", ""},
      {"large.bmp", Rle8Bitmap(8000), " (8000x8000)", "画像が大きすぎてプレビューできません"},
      {"cut.bmp", Rle8Bitmap(8000).left(30), "画像:", "画像が不正です"},
  };
  for (const auto& c : cases) {
    const QString path = dir.filePath(c.name);
    {
      QFile out(path);
      ASSERT_TRUE(out.open(QIODevice::WriteOnly));
      out.write(c.bytes);
    }
    PicturePreviewPane pane;
    pane.ShowFile(path);
    EXPECT_EQ(pane.CaptionLabel()->text(), c.caption) << c.name;
    EXPECT_EQ(pane.Area()->Caption(), c.area) << c.name;
    EXPECT_EQ(pane.PreviewButton()->isEnabled(), !*c.area) << c.name;
  }
  QImageReader::setAllocationLimit(limit);
}

// What the image control shows at `size`, on white paper: the pixels the preview must show.
QImage ControlOnPaper(const PictureSnapshot& picture, QSize size) {
  ImageControl control;
  control.SetPicture(picture);
  control.resize(size);
  const QImage shown = control.Displayed();
  QImage paper(shown.size(), QImage::Format_ARGB32_Premultiplied);
  paper.fill(Qt::white);
  QPainter(&paper).drawImage(0, 0, shown);
  return paper;
}

int DifferingPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return -1;
  int differing = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) differing += a.pixel(x, y) != b.pixel(x, y);
  return differing;
}

// The thumbnail and the preview window show a saved diagram pixel for pixel as the main window's
// image control shows it at the same size: every grid line, none thinned out by scaling.
TEST_F(SaveTest, PreviewsPlayThePictureAsTheMainWindowDoes) {
  Open(WriteFile("three.txt", Lines(3)));
  const PictureSnapshot picture = form_->imgTernova->Picture();
  const QImage at400 = ControlOnPaper(picture, QSize(400, 400));
  for (const QString name : {"drawn.emf", "drawn.wmf"}) {
    const QString path = dir_.filePath(name);
    dialogs_->saveAnswers = {path};
    form_->SaveS1->trigger();
    ASSERT_TRUE(dialogs_->errors.empty());
    PicturePreviewPane pane;
    pane.resize(300, 360);
    pane.show();
    pane.ShowFile(path);
    ASSERT_TRUE(pane.PreviewButton()->isEnabled()) << name.toStdString();
    // The thumbnail: the picture centred in the frame, played at the size it has there.
    PreviewArea* area = pane.Area();
    const QRect inner = area->contentsRect().adjusted(2, 2, -2, -2);
    const QImage thumbnail = ControlOnPaper(picture, inner.size());
    const QPoint corner = inner.topLeft() + QPoint((inner.width() - thumbnail.width()) / 2,
                                                   (inner.height() - thumbnail.height()) / 2);
    const QImage shown = area->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(DifferingPixels(shown.copy(QRect(corner, thumbnail.size())), thumbnail), 0) << name.toStdString();
    WhileModal(
        [&](QWidget* w) {
          auto* window = w->findChild<QWidget*>("previewWindowArea");
          ASSERT_NE(window, nullptr);
          ASSERT_EQ(window->size(), QSize(400, 400));
          const QImage played = window->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
          EXPECT_EQ(DifferingPixels(played, at400), 0) << name.toStdString();
        },
        [&] { pane.PreviewButton()->click(); });
  }
}

}  // namespace
}  // namespace ternova::app::testing
