// The diagram's context menu: Copy puts the picture on the clipboard in the forms documents
// accept, Save... is File > Save, Print... prints it on one page. Every form is read back by a
// program we did not write where one exists.
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "app/image_control.h"
#include "app_test_support.h"
#include "picture/picture_file.h"
#include "picture/qt/export.h"

namespace ternova::app::testing {
namespace {

// Three samples whose symbols stand apart on every face; row 2 is selected.
constexpr const char* kSamples = "40\t30\t20\t10\tone\n20\t40\t30\t10\ttwo\n30\t20\t40\t10\tthree\n";

bool HaveProgram(const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

// Runs a program we did not write; true when it exits with 0.
bool RunProgram(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString Colour(const QImage& image, QPointF at) {
  const QPoint p(qRound(at.x()), qRound(at.y()));
  if (!image.rect().contains(p)) return QStringLiteral("outside");
  const QColor c = image.pixelColor(p);
  return QStringLiteral("%1,%2,%3").arg(c.red()).arg(c.green()).arg(c.blue());
}

class DiagramMenuTest : public WindowTest {
 protected:
  void LoadAndSelect() {
    Open(WriteFile("three.txt", kSamples));
    ASSERT_TRUE(dialogs_->errors.empty());
    form_->strgridDataSelectCell(2);
  }

  // Right-clicks the diagram and returns the menu that comes up.
  QMenu* RightClick() {
    // Through the window, as the platform delivers a click, so the context menu event follows.
    const QPoint at = form_->imgTernova->mapTo(form_.get(), form_->imgTernova->rect().center());
    QTest::mouseClick(form_->windowHandle(), Qt::RightButton, {}, at);
    QMenu* menu = form_->PopupMenu1;
    if (!QTest::qWaitFor([menu] { return menu->isVisible(); })) return nullptr;
    return menu;
  }

  // Chooses an item of the diagram's menu with the mouse.
  void Choose(QAction* item) {
    QMenu* menu = RightClick();
    ASSERT_NE(menu, nullptr);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    ASSERT_EVENTUALLY(!menu->isVisible());
  }

  // Every symbol of the loaded samples, where `image` shows the point (x, y) of the drawing at
  // origin + (x, y) * scale: row 2 red, the others blue; and a bare spot white.
  void ExpectDiagram(const QImage& image, QPointF origin, double scale, const QString& what) {
    ASSERT_FALSE(image.isNull()) << what.toStdString();
    for (int row = 1; row <= 3; ++row)
      for (int face = 1; face <= 4; ++face) {
        const Point p = State().Engine.Table.SamplePoints[row][face];
        EXPECT_EQ(Colour(image, origin + QPointF(p.x, p.y) * scale), row == 2 ? "255,0,0" : "0,0,255")
            << what.toStdString() << ": row " << row << " face " << face;
      }
    EXPECT_EQ(Colour(image, origin + QPointF(1000, 1900) * scale), "255,255,255") << what.toStdString();
  }
};

TEST_F(DiagramMenuTest, RightClickOffersCopySaveAndPrintBesideAnUnchangedMainMenu) {
  QMenu* menu = RightClick();
  ASSERT_NE(menu, nullptr);
  QStringList captions;
  for (QAction* a : menu->actions()) captions << a->text();
  EXPECT_EQ(captions, QStringList({"コピー", "Save...", "印刷..."}));
  // Nothing drawn yet: nothing to copy or print, but saving works as File > Save does.
  EXPECT_FALSE(form_->CopyC1->isEnabled());
  EXPECT_FALSE(form_->PrintP1->isEnabled());
  EXPECT_TRUE(form_->SaveS2->isEnabled());
  menu->close();

  LoadAndSelect();
  ASSERT_NE(RightClick(), nullptr);
  EXPECT_TRUE(form_->CopyC1->isEnabled());
  EXPECT_TRUE(form_->PrintP1->isEnabled());
  form_->PopupMenu1->close();

  QStringList top;
  for (QAction* a : form_->MainMenu->actions()) top << a->text();
  EXPECT_EQ(top, QStringList({"File (&F)", "Option (&O)", "Help (&H)"}));
  QStringList file;
  for (QAction* a : form_->FileF1->actions()) file << a->text();
  EXPECT_EQ(file, QStringList({"Open (&O)", "&Save (S)", "", "End (&E)"}));
}

TEST_F(DiagramMenuTest, CopyPutsSvgPngAndEmfThatEachReadBackAsTheDiagram) {
  LoadAndSelect();
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  Choose(form_->CopyC1);
  ASSERT_TRUE(dialogs_->errors.empty());
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  for (const char* format : {"image/svg+xml", "image/png", "image/x-emf"})
    EXPECT_TRUE(mime->hasFormat(QLatin1String(format))) << format;
  EXPECT_FALSE(mime->hasText());

  // PNG at the picture's own 2000 x 2000 units.
  const QImage png = QImage::fromData(mime->data(QStringLiteral("image/png")), "PNG");
  EXPECT_EQ(png.size(), QSize(2000, 2000));
  ExpectDiagram(png, {0, 0}, 1.0, "PNG");

  // The EMF is what File > Save writes for the same picture.
  const QByteArray emf = mime->data(QStringLiteral("image/x-emf"));
  const std::vector<uint8_t> saved = EncodeForName("same.emf", form_->imgTernova->Picture());
  EXPECT_EQ(emf, QByteArray(reinterpret_cast<const char*>(saved.data()), static_cast<qsizetype>(saved.size())));
  // Under the name LibreOffice looks for, which otherwise pastes only the bitmap.
  EXPECT_EQ(mime->data(QStringLiteral("application/x-openoffice-emf;windows_formatname=\"Image EMF\"")), emf);

  if (!HaveProgram("rsvg-convert")) GTEST_SKIP() << "rsvg-convert (package librsvg2-bin) not installed";
  const QString svgPath = dir_.filePath("copied.svg"), svgPng = dir_.filePath("copied-svg.png");
  WriteFile("copied.svg", mime->data(QStringLiteral("image/svg+xml")).toStdString());
  ASSERT_TRUE(RunProgram("rsvg-convert", {"-w", "2000", "-h", "2000", svgPath, "-o", svgPng}));
  ExpectDiagram(QImage(svgPng), {0, 0}, 1.0, "SVG");

  if (!HaveProgram("emf2svg-conv")) GTEST_SKIP() << "emf2svg-conv (package emf2svg) not installed";
  const QString emfPath = dir_.filePath("copied.emf"), emfSvg = dir_.filePath("copied-emf.svg"),
                emfPng = dir_.filePath("copied-emf.png");
  WriteFile("copied.emf", emf.toStdString());
  ASSERT_TRUE(RunProgram("emf2svg-conv", {"-i", emfPath, "-o", emfSvg}));
  ASSERT_TRUE(RunProgram("rsvg-convert", {"-w", "2000", "-h", "2000", emfSvg, "-o", emfPng}));
  ExpectDiagram(QImage(emfPng), {0, 0}, 1.0, "EMF");
}

TEST_F(DiagramMenuTest, CopyBeforeAnyDrawingLeavesTheClipboardAlone) {
  QGuiApplication::clipboard()->setText(QStringLiteral("keep me"));
  form_->CopyC1Click();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "keep me");
  EXPECT_TRUE(dialogs_->errors.empty());
}

TEST_F(DiagramMenuTest, SaveIsFileSave) {
  LoadAndSelect();
  const QString path = dir_.filePath("from-menu.emf");
  dialogs_->saveAnswers.push_back(path);
  Choose(form_->SaveS2);
  ASSERT_EQ(dialogs_->saveAsked.size(), 1u);
  EXPECT_EQ(dialogs_->saveAsked[0].FilterIndex, 4);
  EXPECT_EQ(dialogs_->saveAsked[0].DefaultExt, "emf");
  EXPECT_EQ(dialogs_->saveAsked[0].Filters.size(), 5);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::vector<uint8_t> expected = EncodeForName(path.toStdString(), form_->imgTernova->Picture());
  EXPECT_EQ(file.readAll(), QByteArray(reinterpret_cast<const char*>(expected.data()), static_cast<qsizetype>(expected.size())));
  // The next File > Save starts from the name chosen here.
  dialogs_->saveAnswers.push_back(QString());
  form_->SaveS1->trigger();
  EXPECT_EQ(dialogs_->saveAsked[1].FileName, path);
}

TEST_F(DiagramMenuTest, PrintGivesOnePageWithTheDiagramCentredInThePrintableArea) {
  LoadAndSelect();
  const QString pdf = dir_.filePath("printed.pdf");
  dialogs_->printAnswers.push_back(pdf);
  Choose(form_->PrintP1);
  ASSERT_TRUE(dialogs_->errors.empty());
  ASSERT_EQ(dialogs_->printLayouts.size(), 1u);
  ASSERT_TRUE(QFile::exists(pdf));
  if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm (package poppler-utils) not installed";

  // One page, rendered at 300 dpi by poppler.
  constexpr double kDpi = 300;
  const QString page = dir_.filePath("page");
  ASSERT_TRUE(RunProgram("pdftoppm", {"-r", QString::number(kDpi), "-png", pdf, page}));
  EXPECT_FALSE(QFile::exists(page + "-2.png"));
  QImage image(page + "-1.png");
  if (image.isNull()) image.load(page + "-01.png");
  ASSERT_FALSE(image.isNull());

  // The square diagram fills the printable area's shorter side, centred in the other one.
  const QPageLayout layout = dialogs_->printLayouts[0];
  const QSizeF pagePt = layout.fullRectPoints().size();
  EXPECT_NEAR(image.width(), pagePt.width() * kDpi / 72, 2);
  EXPECT_NEAR(image.height(), pagePt.height() * kDpi / 72, 2);
  const QRectF area = layout.paintRect(QPageLayout::Point);
  const double side = std::min(area.width(), area.height());
  const QPointF origin((area.left() + (area.width() - side) / 2) * kDpi / 72,
                       (area.top() + (area.height() - side) / 2) * kDpi / 72);
  ExpectDiagram(image, origin, side / 2000 * kDpi / 72, "printed page");
  // Outside the diagram the page stays blank.
  EXPECT_EQ(Colour(image, {3, 3}), "255,255,255");
  EXPECT_EQ(Colour(image, {image.width() / 2.0, image.height() - 4.0}), "255,255,255");
}

TEST_F(DiagramMenuTest, ACancelledPrintIsSilentAndAFailedOneShowsTheErrorBox) {
  LoadAndSelect();
  dialogs_->printAnswers.push_back(QString());
  form_->PrintP1->trigger();
  EXPECT_TRUE(dialogs_->errors.empty());
  EXPECT_TRUE(dialogs_->printLayouts.empty());

  const QString nowhere = dir_.filePath("no-such-folder/printed.pdf");
  dialogs_->printAnswers.push_back(nowhere);
  form_->PrintP1->trigger();
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(dialogs_->errors[0], "ファイル \"" + nowhere + "\". No such file or directory を作成できません.");
  // Nothing else changed.
  EXPECT_EQ(State().SelectedSample, 2);
  EXPECT_EQ(Symbols(form_->imgTernova->Picture()).size(), 12u);
}

// Qt's PDF engine drops failed writes silently: a print to a full device or disk must be an
// error, leaving no cut-short file and an earlier file as it was.
TEST_F(DiagramMenuTest, APrintToAFileThatCannotTakeItAllShowsTheErrorBoxAndLeavesNoPartialFile) {
  LoadAndSelect();
  const QString full = dir_.filePath("full");
  ASSERT_EQ(::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0666, ::makedev(1, 7)), 0) << "needs root";
  dialogs_->printAnswers.push_back(full);
  form_->PrintP1->trigger();
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_EQ(dialogs_->errors[0], "ストリームへの書き込みエラー.");

  const QString pdf = WriteFile("earlier.pdf", "an earlier print");
  const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
  const QStringList before = QDir(dir_.path()).entryList(all);
  // A disk with room for half of the first write.
  int calls = 0;
  SetWriteLimiterForTesting([&](size_t n) { return calls++ == 0 ? n / 2 : 0; });
  dialogs_->printAnswers.push_back(pdf);
  form_->PrintP1->trigger();
  SetWriteLimiterForTesting(nullptr);
  ASSERT_EQ(dialogs_->errors.size(), 2u);
  EXPECT_EQ(dialogs_->errors[1], "ストリームへの書き込みエラー.");
  QFile earlier(pdf);
  ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
  EXPECT_EQ(earlier.readAll(), "an earlier print");
  EXPECT_EQ(QDir(dir_.path()).entryList(all), before);
}

}  // namespace
}  // namespace ternova::app::testing
