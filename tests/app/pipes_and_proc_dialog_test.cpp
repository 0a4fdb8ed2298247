// The real file dialogs over folders that hold pipes and kernel files: they list them, the
// preview looks at them, and nothing blocks. A test that fails here hangs rather than fails.
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "app/picture_preview.h"
#include "app_test_support.h"
#include "picture/qt/export.h"

namespace ternova::app::testing {
namespace {

// A saved diagram of three samples.
void SaveDiagram(const QString& path) {
  DiagramPicture picture;
  picture.SetWidth(2000);
  picture.SetHeight(2000);
  picture.FixFrame(ScreenInfo{});
  auto content = std::make_shared<PictureContent>();
  content->ops = {op::Pen{FillStyle::Solid, kBlack, 1}, op::MoveTo{0, 0}, op::LineTo{2000, 2000}};
  picture.SetContent(content);
  SavePictureFile(path.toStdString(), Snapshot(picture));
}

// An enhanced metafile of `ellipses` ellipse records whose boxes reach to near ±2^31: each one
// costs the painter far more than its few bytes.
QByteArray HostileEllipses(int ellipses) {
  QByteArray bytes;
  auto put = [&](std::initializer_list<int64_t> words) {
    for (int64_t w : words) {
      const auto v = static_cast<uint32_t>(w);
      for (int i = 0; i < 4; ++i) bytes.append(static_cast<char>(v >> (8 * i)));
    }
  };
  // EMR_HEADER: bounds, frame (0.01 mm), signature, version, bytes, records, handles, description,
  // palette, device in pixels and millimetres, pixel format, OpenGL, device in micrometres.
  put({1, 108, 0, 0, 1999, 1999, 0, 0, 49999, 49999, 0x464D4520, 0x10000, 0, ellipses + 2, 1, 0, 0, 0, 1280, 1024,
       320, 256, 0, 0, 0, 320000, 256000});
  for (int i = 0; i < ellipses; ++i) {
    const int64_t low = INT32_MIN + 1 + i % 1000, high = INT32_MAX - i % 1000;
    put({42, 24, low, low, high, high});  // EMR_ELLIPSE
  }
  put({14, 20, 0, 16, 20});  // EMR_EOF
  const auto total = static_cast<uint32_t>(bytes.size());
  for (int i = 0; i < 4; ++i) bytes[48 + i] = static_cast<char>(total >> (8 * i));
  return bytes;
}

// Clicks a file in the dialog's list, as a user picks it.
void ClickFile(QFileDialog* dialog, const QString& path) {
  auto* model = dialog->findChild<QFileSystemModel*>();
  auto* list = dialog->findChild<QListView*>("listView");
  ASSERT_TRUE(model && list);
  ASSERT_EVENTUALLY_WITHIN(list->visualRect(model->index(path)).isValid(), 5000);
  const QRect item = list->visualRect(model->index(path));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
}

// Waits until the dialog's model has listed `folder` and gathered what it shows of each entry.
void WaitForListing(QFileDialog* dialog, const QString& folder, int atLeast) {
  auto* model = dialog->findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);
  ASSERT_EVENTUALLY_WITHIN(model->rowCount(model->index(folder)) >= atLeast, 10000);
  // Sizes, types and icons come in later, from the model's own thread.
  QTest::qWait(folder == "/proc" ? 2000 : 300);
}

class PipesAndProcDialogTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    fifo_ = dir_.filePath("pipe.emf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo_).constData(), 0600), 0);
    textFifo_ = dir_.filePath("pipe.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(textFifo_).constData(), 0600), 0);
    // One without an extension: its type could only be guessed from what it holds.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir_.filePath("fifo")).constData(), 0600), 0);
    emf_ = dir_.filePath("drawn.emf");
    SaveDiagram(emf_);
  }
  FileDialogSettings Settings(const QString& fileName) const {
    FileDialogSettings settings = form_->SavePictureDialog;
    settings.FilterIndex = 1;
    settings.DefaultExt = "emf";
    settings.InitialDir = dir_.path();
    settings.FileName = fileName;
    return settings;
  }
  static PicturePreviewPane* Pane(QWidget* dialog) {
    return static_cast<PicturePreviewPane*>(dialog->findChild<QWidget*>("picturePreviewPane"));
  }

  std::unique_ptr<Dialogs> real_ = MakeQtDialogs();
  QString fifo_, textFifo_, emf_;
};

// The names of the files in a folder that anything opens while it lives (the folder itself and
// its subfolders aside), read from the kernel's own record of opens.
class OpenedFiles {
 public:
  explicit OpenedFiles(const QString& folder) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) ::inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_OPEN);
  }
  ~OpenedFiles() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Watching() const { return fd_ >= 0; }
  QStringList Names() {
    alignas(inotify_event) char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd_, buffer, sizeof buffer)) > 0) {
      for (char* at = buffer; at < buffer + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len > 0 && !(event->mask & IN_ISDIR)) names_ << QFile::decodeName(event->name);
        at += sizeof(inotify_event) + event->len;
      }
    }
    names_.removeDuplicates();
    return names_;
  }

 private:
  int fd_;
  QStringList names_;
};

// Answers as the writer of a FIFO whenever something opens it to read, so a dialog that looks
// inside it gets an empty pipe instead of waiting for good, and the test ends and fails.
class PipeWriter {
 public:
  explicit PipeWriter(const QString& fifo)
      : path_(QFile::encodeName(fifo).toStdString()), thread_([this] {
          while (!stop_) {
            // Without a reader this open fails at once; with one, both sides go on.
            const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        }) {}
  ~PipeWriter() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Listing, sizing, typing and selecting the files of a folder never opens one: a pipe may never
// answer, and a kernel file such as /proc/kmsg never ends. A file named without extension is
// what a type guessed from the content would open first. The open dialog keeps the last name,
// also one that failed to load.
TEST_F(PipesAndProcDialogTest, OpenDialogNeverOpensAFileItLists) {
  const QString notes = WriteFile("notes", "SiO2 and friends\n");
  WriteFile("data.txt", Lines(2));
  const QStringList fifos = {textFifo_, fifo_, dir_.filePath("fifo")};
  std::vector<std::unique_ptr<PipeWriter>> writers;
  for (const QString& fifo : fifos) writers.push_back(std::make_unique<PipeWriter>(fifo));
  OpenedFiles opened(dir_.path());
  ASSERT_TRUE(opened.Watching());
  FileDialogSettings settings = Settings(textFifo_);
  settings.Filters = {{"Tab区切りテキスト (.txt)", "*.txt"}, {"すべてのファイル (*)", "*"}};
  settings.FilterIndex = 2;
  WhileModal(
      [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        // Qt lists no pipe but the kept name.
        WaitForListing(dialog, dir_.path(), 4);
        // The details list names each entry's type.
        QTest::mouseClick(dialog->findChild<QWidget*>("detailModeButton"), Qt::LeftButton);
        QTest::qWait(300);
        QTest::mouseClick(dialog->findChild<QWidget*>("listModeButton"), Qt::LeftButton);
        for (const QString& file : {textFifo_, notes, dir_.filePath("data.txt")}) ClickFile(dialog, file);
        QTest::qWait(300);
      },
      [&] { EXPECT_FALSE(real_->ExecuteOpen(form_.get(), settings)); });
  EXPECT_TRUE(opened.Names().isEmpty()) << "opened: " << opened.Names().join(", ").toStdString();
}

TEST_F(PipesAndProcDialogTest, SaveDialogListsSelectsAndPreviewsBesidePipes) {
  FileDialogSettings settings = Settings(fifo_);
  WhileModal(
      [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        WaitForListing(dialog, dir_.path(), 2);
        PicturePreviewPane* pane = Pane(dialog);
        ASSERT_NE(pane, nullptr);
        ClickFile(dialog, emf_);
        EXPECT_EQ(pane->CaptionLabel()->text(), " (2000x2000)");
        ClickFile(dialog, fifo_);
        EXPECT_EQ(pane->CaptionLabel()->text(), "画像:");
        EXPECT_FALSE(pane->PreviewButton()->isEnabled());
        QTest::qWait(100);
      },
      [&] { EXPECT_FALSE(real_->ExecuteSave(form_.get(), settings)); });
}

TEST_F(PipesAndProcDialogTest, TheNameKeptFromTheLastSaveIsPreviewedAtOnce) {
  FileDialogSettings settings = Settings(emf_);
  WhileModal(
      [&](QWidget* w) {
        PicturePreviewPane* pane = Pane(w);
        ASSERT_NE(pane, nullptr);
        EXPECT_EQ(pane->CaptionLabel()->text(), " (2000x2000)");
        EXPECT_TRUE(pane->PreviewButton()->isEnabled());
      },
      [&] { EXPECT_FALSE(real_->ExecuteSave(form_.get(), settings)); });
}

// Selecting a picture that would take the painter half a minute answers within a second, drawn
// or as a picture too large to preview: it is not damaged.
TEST_F(PipesAndProcDialogTest, AHostileMetafileIsPreviewedWithinASecond) {
  const QString hostile = dir_.filePath("hostile.emf");
  {
    QFile out(hostile);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(HostileEllipses(200'000));
  }
  FileDialogSettings settings = Settings(QString());
  WhileModal(
      [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        WaitForListing(dialog, dir_.path(), 2);
        PicturePreviewPane* pane = Pane(dialog);
        ASSERT_NE(pane, nullptr);
        QElapsedTimer clock;
        clock.start();
        ClickFile(dialog, hostile);
        const bool drawn = pane->Area()->Caption().isEmpty() && pane->PreviewButton()->isEnabled();
        EXPECT_TRUE(drawn || pane->Area()->Caption() == "画像が大きすぎてプレビューできません")
            << pane->Area()->Caption().toStdString();
        EXPECT_LT(clock.elapsed(), 1000);
        // The next picture is previewed as usual.
        ClickFile(dialog, emf_);
        EXPECT_EQ(pane->CaptionLabel()->text(), " (2000x2000)");
        EXPECT_TRUE(pane->PreviewButton()->isEnabled());
      },
      [&] { EXPECT_FALSE(real_->ExecuteSave(form_.get(), settings)); });
}

// Cut short, the header alone, a record claiming more than the file holds, a frame wider than
// 32 bits, or no metafile at all: no picture, and no size.
TEST_F(PipesAndProcDialogTest, DamagedMetafilesAreNoPictures) {
  QFile good(emf_);
  ASSERT_TRUE(good.open(QIODevice::ReadOnly));
  const QByteArray bytes = good.readAll();
  ASSERT_GT(bytes.size(), 150);
  QByteArray huge = bytes;
  const quint32 size = 0x7ffffff0;
  const int first = 108;  // the record after the header
  memcpy(huge.data() + first + 4, &size, 4);
  QByteArray wide = bytes;
  const qint32 frame[] = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};  // rclFrame
  memcpy(wide.data() + 24, frame, sizeof frame);
  const QByteArray cases[] = {bytes.left(bytes.size() - 20), bytes.left(108), huge, wide,
                              QByteArray(200, 'x')};
  int n = 0;
  for (const QByteArray& damaged : cases) {
    const QString path = dir_.filePath(QString("damaged%1.emf").arg(++n));
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(damaged);
    out.close();
    PicturePreviewPane pane;
    pane.ShowFile(path);
    EXPECT_EQ(pane.CaptionLabel()->text(), "画像:") << n;
    EXPECT_EQ(pane.Area()->Caption(), "画像が不正です") << n;
    EXPECT_FALSE(pane.PreviewButton()->isEnabled()) << n;
  }
}

TEST_F(PipesAndProcDialogTest, PreviewRefusesWhatIsNotARegularFile) {
  PicturePreviewPane pane;
  pane.ShowFile(fifo_);
  EXPECT_EQ(pane.CaptionLabel()->text(), "画像:");
  EXPECT_FALSE(ReadPreview(fifo_).valid);
  // A kernel file reports no size and may never end.
  EXPECT_FALSE(ReadPreview("/proc/self/status").valid);
}

// File > Save with a name in /proc fails; the next Save opens the dialog there again.
TEST_F(PipesAndProcDialogTest, SaveDialogReopensInProc) {
  dialogs_->saveAnswers = {"/proc/test.emf"};
  form_->SaveS1->trigger();
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  FileDialogSettings settings = Settings("/proc/test.emf");
  WhileModal(
      [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->directory().absolutePath(), "/proc");
        WaitForListing(dialog, "/proc", 10);
      },
      [&] { EXPECT_FALSE(real_->ExecuteSave(form_.get(), settings)); });
}

TEST_F(PipesAndProcDialogTest, TypingAProcNameIntoAFreshDialog) {
  FileDialogSettings settings = Settings(QString());
  WhileModal(
      [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setFocus();
        QTest::keyClicks(name, "/proc/again.emf");
        WaitForListing(dialog, "/proc", 10);
      },
      [&] { EXPECT_FALSE(real_->ExecuteSave(form_.get(), settings)); });
}

}  // namespace
}  // namespace ternova::app::testing
