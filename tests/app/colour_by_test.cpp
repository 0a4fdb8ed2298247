// Option > Colour by: each item colours the symbols by their group in the window and in every
// saved format, as programs we did not write read them back; the legend names each group with
// its count, and a click on it hides the group.
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <cmath>

#include "app/image_control.h"
#include "app/sample_grid.h"
#include "app_test_support.h"
#include "picture/display.h"
#include "plot/groups.h"

namespace ternova::app::testing {
namespace {

bool HaveProgram(const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

// Runs a program we did not write; its standard output, or a null string when it fails.
QString RunProgram(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    ADD_FAILURE() << program.toStdString() << " failed: " << process.readAllStandardError().toStdString();
    return {};
  }
  return QString::fromUtf8(process.readAllStandardOutput()) + QStringLiteral("\n");
}

int Diff(QColor a, Rgb b) {
  return std::max({std::abs(a.red() - b.r), std::abs(a.green() - b.g), std::abs(a.blue() - b.b)});
}

// Of the colours a grouped picture uses, the one nearest to `c`.
Rgb Nearest(QColor c) {
  std::vector<Rgb> used(std::begin(kGroupPalette), std::end(kGroupPalette));
  used.insert(used.end(), {kOtherGroup, kRed, kWhite, kBlack, kGrey});
  auto distance = [&](Rgb u) {
    const int r = c.red() - u.r, g = c.green() - u.g, b = c.blue() - u.b;
    return r * r + g * g + b * b;
  };
  return *std::min_element(used.begin(), used.end(), [&](Rgb a, Rgb b) { return distance(a) < distance(b); });
}

// Suites of samples standing apart on every face, with a further field and Japanese names.
constexpr const char* kSuites =
    "45\t8\t38\t8\tかんらん岩\tA\n"
    "50\t26\t8\t10\tbasalt\tB\n"
    "30\t10\t45\t15\tかんらん岩\tA\n"
    "60\t22\t5\t7\tbasalt\tC\n"
    "20\t50\t20\t10\n"
    "40\t20\t10\t30\tbasalt\tA\n";

// The symbols of the window's last drawing: the ellipses after the legend's.
std::vector<Symbol> Samples(const PictureSnapshot& picture) {
  std::vector<Symbol> out;
  if (!picture.content) return out;
  Rgb brush = kWhite;
  const PictureContent& c = *picture.content;
  ForEachOperation(c, State().Engine.LastDrawn().firstSymbolOp, c.ops.size(),
                   Overloaded{[&](const op::Brush& b) { brush = b.colour; },
                              [&](const op::Ellipse& e) {
                                out.push_back({(e.x1 + e.x2) / 2, (e.y1 + e.y2) / 2, (e.x2 - e.x1) / 2, brush});
                              },
                              [](const auto&) {}});
  return out;
}

class ColourByTest : public WindowTest {
 protected:
  // Opens the Colour by menu as a user does (its field items are made then) and picks `name`.
  void Choose(const QString& objectName) {
    emit form_->ColourByC1->aboutToShow();
    QAction* item = form_->ColourByC1->findChild<QAction*>(objectName);
    if (!item)
      for (QAction* a : form_->ColourByC1->actions())
        if (a->objectName() == objectName) item = a;
    ASSERT_NE(item, nullptr) << objectName.toStdString();
    item->trigger();
    ASSERT_TRUE(dialogs_->errors.empty());
  }
  QStringList Items() {
    emit form_->ColourByC1->aboutToShow();
    QStringList out;
    for (QAction* a : form_->ColourByC1->actions()) out << a->text();
    return out;
  }

  // Each symbol's colour where nothing drawn later covers its centre: what any reader shows there.
  static std::vector<std::pair<QPoint, Rgb>> TopmostAtCentres(const PictureSnapshot& picture) {
    const std::vector<Symbol> symbols = Samples(picture);
    std::vector<std::pair<QPoint, Rgb>> out;
    for (size_t i = 0; i < symbols.size(); ++i) {
      const Symbol& s = symbols[i];
      Rgb top = s.colour;
      for (size_t j = i + 1; j < symbols.size(); ++j) {
        const int64_t dx = symbols[j].x - s.x, dy = symbols[j].y - s.y;
        if (dx * dx + dy * dy <= int64_t{symbols[j].r} * symbols[j].r) top = symbols[j].colour;
      }
      out.emplace_back(QPoint(s.x, s.y), top);
    }
    return out;
  }

  // The window's raster at every symbol's centre has that symbol's colour.
  void ExpectWindowShows(const std::string& step) {
    const PictureSnapshot picture = form_->imgTernova->Picture();
    const QImage shown = form_->imgTernova->Displayed();
    const DisplayMapping m = DisplayMapping::ForImage(picture.width, picture.height, {shown.width(), shown.height()});
    for (const auto& [at, colour] : TopmostAtCentres(picture)) {
      const QPoint p(static_cast<int>(std::floor(m.PixelX(at.x()))), static_cast<int>(std::floor(m.PixelY(at.y()))));
      EXPECT_EQ(Diff(shown.pixelColor(p), colour), 0) << step << " at " << at.x() << "," << at.y();
    }
  }

  // A file saved through File > Save, as `reader` draws it at 2000 x 2000.
  QImage SavedAndRead(const QString& name, const QString& reader) {
    const QString path = dir_.filePath(name);
    dialogs_->saveAnswers.push_back(path);
    form_->SaveS1->trigger();
    EXPECT_TRUE(dialogs_->errors.empty());
    const QString png = dir_.filePath(name + ".png"), svg = dir_.filePath(name + ".svg");
    if (reader == "emf2svg-conv") {
      if (RunProgram("emf2svg-conv", {"-i", path, "-o", svg}).isNull()) return {};
      RunProgram("rsvg-convert", {"-w", "2000", "-h", "2000", svg, "-o", png});
    } else if (reader == "wmf2svg") {
      if (RunProgram("wmf2svg", {"-o", svg, path}).isNull()) return {};
      // libwmf writes a text's bytes as the file holds them, in the font's code page, one
      // <text> per byte: a Shift-JIS name is no XML. The discs are what is checked here.
      QFile file(svg);
      if (!file.open(QIODevice::ReadOnly)) return {};
      QByteArray xml = file.readAll();
      file.close();
      for (qsizetype at = xml.indexOf("<text"); at >= 0; at = xml.indexOf("<text", at)) {
        const qsizetype end = xml.indexOf("</text>", at);
        if (end < 0) break;
        xml.remove(at, end + 7 - at);
      }
      if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
      file.write(xml);
      file.close();
      RunProgram("rsvg-convert", {"-w", "2000", "-h", "2000", svg, "-o", png});
    } else if (reader == "pdftoppm") {
      RunProgram("pdftoppm", {"-q", "-png", "-singlefile", "-scale-to-x", "2000", "-scale-to-y", "2000", path,
                              dir_.filePath(name)});
    } else {
      RunProgram("rsvg-convert", {"-w", "2000", "-h", "2000", path, "-o", png});
    }
    return QImage(png).convertToFormat(QImage::Format_RGB32);
  }
};

TEST_F(ColourByTest, TheMenuListsNoneNoteAndEachFurtherFieldOfTheLastFile) {
  EXPECT_EQ(Items(), QStringList({"None (&N)", "Note (&O)"}));
  Open(WriteFile("suites.txt", kSuites));
  EXPECT_EQ(Items(), QStringList({"None (&N)", "Note (&O)", "Field 6"}));
  Open(WriteFile("wide.txt", "1\t2\t3\t4\tn\ta\tb\tc\n"));
  EXPECT_EQ(Items(), QStringList({"None (&N)", "Note (&O)", "Field 6", "Field 7", "Field 8"}));
  Open(WriteFile("narrow.txt", "1\t2\t3\t4\n"));
  EXPECT_EQ(Items(), QStringList({"None (&N)", "Note (&O)"}));
  EXPECT_TRUE(form_->ColourByNone1->isChecked());
}

TEST_F(ColourByTest, EachItemColoursTheSymbolsByTheirGroupInTheWindow) {
  Open(QStringLiteral(TERNOVA_SOURCE_DIR "/examples/minerals.txt"));
  ASSERT_TRUE(dialogs_->errors.empty());
  const std::vector<Symbol> plain = Samples(form_->imgTernova->Picture());
  for (const Symbol& s : plain) EXPECT_EQ(s.colour, kBlue);

  Choose("ColourByNote1");
  EXPECT_TRUE(form_->ColourByNote1->isChecked());
  std::vector<Symbol> grouped = Samples(form_->imgTernova->Picture());
  ASSERT_EQ(grouped.size(), plain.size());
  // Eleven minerals, each its own group: the first eight keep colours, the last three are grey.
  for (size_t k = 0; k < grouped.size(); ++k) {
    const size_t row = k % 11;
    EXPECT_EQ(grouped[k].colour, row < 8 ? kGroupPalette[row] : kOtherGroup) << k;
    EXPECT_EQ(grouped[k].x, plain[k].x);
  }
  ExpectWindowShows("note");
  // The selected sample is red at double size over its group's colour.
  form_->strgridDataSelectCell(3);
  ExpectWindowShows("row 3 selected");
  EXPECT_EQ(Samples(form_->imgTernova->Picture())[2].colour, kRed);

  Choose("ColourByNone1");
  for (const Symbol& s : Samples(form_->imgTernova->Picture())) EXPECT_TRUE(s.colour == kBlue || s.colour == kRed);

  Open(WriteFile("suites.txt", kSuites));
  Choose("ColourByField6");
  const Rgb byField6[] = {kGroupPalette[0], kGroupPalette[1], kGroupPalette[0], kGroupPalette[2], kGroupPalette[3],
                          kGroupPalette[0]};
  grouped = Samples(form_->imgTernova->Picture());
  ASSERT_EQ(grouped.size(), 24u);
  // Row 3 is still the selected one.
  for (size_t k = 0; k < grouped.size(); ++k) EXPECT_EQ(grouped[k].colour, k % 6 == 2 ? kRed : byField6[k % 6]) << k;
  ExpectWindowShows("field 6");
  // The field the design keeps hidden shows in the grid while it is the one grouped by.
  const QAbstractItemModel* cells = form_->strgridData->model();
  ASSERT_EQ(cells->columnCount(), 6);
  EXPECT_EQ(cells->headerData(5, Qt::Horizontal).toString(), "Field 6");
  EXPECT_EQ(cells->index(3, 5).data().toString(), "C");
  Choose("ColourByNote1");
  EXPECT_EQ(cells->columnCount(), 5);
}

TEST_F(ColourByTest, EverySavedFormatShowsTheGroupsColoursToReadersWeDidNotWrite) {
  Open(WriteFile("suites.txt", kSuites));
  form_->LargeL1->trigger();
  Choose("ColourByNote1");
  form_->strgridDataSelectCell(2);
  const std::vector<std::pair<QPoint, Rgb>> expected = TopmostAtCentres(form_->imgTernova->Picture());
  const struct {
    const char* name;
    const char* reader;
  } formats[] = {{"g.emf", "emf2svg-conv"}, {"g.wmf", "wmf2svg"}, {"g.pdf", "pdftoppm"}, {"g.svg", "rsvg-convert"}};
  for (const auto& f : formats) {
    if (!HaveProgram(f.reader) || !HaveProgram("rsvg-convert")) GTEST_SKIP() << f.reader << " not installed";
    const QImage image = SavedAndRead(f.name, f.reader);
    ASSERT_FALSE(image.isNull()) << f.name;
    ASSERT_EQ(image.size(), QSize(2000, 2000)) << f.name;
    for (const auto& [at, colour] : expected) {
      const QColor seen = image.pixelColor(at);
      // libwmf names each colour by the nearest of X11's names (51,34,136 becomes
      // midnightblue): there the colour need only be nearer to its group's than to any other.
      if (std::string(f.reader) == "wmf2svg")
        EXPECT_EQ(Nearest(seen), colour) << f.name << " at " << at.x() << "," << at.y();
      else
        EXPECT_LE(Diff(seen, colour), 8) << f.name << " at " << at.x() << "," << at.y();
    }
  }
}

TEST_F(ColourByTest, TheLegendsNamesAndCountsReadBackFromTheSvgAndThePdf) {
  Open(WriteFile("suites.txt", kSuites));
  Choose("ColourByNote1");
  const QString svg = dir_.filePath("legend.svg"), pdf = dir_.filePath("legend.pdf");
  dialogs_->saveAnswers.push_back(svg);
  form_->SaveS1->trigger();
  dialogs_->saveAnswers.push_back(pdf);
  form_->SaveS1->trigger();
  ASSERT_TRUE(dialogs_->errors.empty());
  QFile file(svg);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString svgText = QString::fromUtf8(file.readAll());
  if (!HaveProgram("pdftotext")) GTEST_SKIP() << "pdftotext (package poppler-utils) not installed";
  const QString pdfText = RunProgram("pdftotext", {pdf, "-"});
  // The group of empty notes in the language in use (here the design's Japanese).
  for (const QString& line : {QStringLiteral("かんらん岩 (2)"), QStringLiteral("basalt (3)"), QStringLiteral("(空欄) (1)")}) {
    EXPECT_TRUE(svgText.contains(line)) << line.toStdString();
    EXPECT_TRUE(pdfText.contains(line)) << line.toStdString() << " not in\n" << pdfText.toStdString();
  }
}

TEST_F(ColourByTest, AClickOnALegendLineHidesItsGroupUntilClickedAgain) {
  Open(WriteFile("suites.txt", kSuites));
  Choose("ColourByNote1");
  const PictureSnapshot before = form_->imgTernova->Picture();
  const Point basalt = State().Engine.Table.SamplePoints[2][1];
  // The second legend line, basalt, clicked where the window shows it.
  const LegendBox line = State().Engine.LastDrawn().legend.at(1);
  const DisplayMapping m = DisplayMapping::ForControl(before.width, before.height, form_->imgTernova->width(),
                                                      form_->imgTernova->height());
  const QPoint click(static_cast<int>(m.PixelX((line.x0 + line.x1) / 2.0)), static_cast<int>(m.PixelY((line.y0 + line.y1) / 2.0)));
  QTest::mouseClick(form_->imgTernova, Qt::LeftButton, {}, click);
  ASSERT_TRUE(dialogs_->errors.empty());
  std::vector<Symbol> symbols = Samples(form_->imgTernova->Picture());
  EXPECT_EQ(symbols.size(), 12u);  // three basalts on four faces gone
  for (const Symbol& s : symbols) EXPECT_NE(s.colour, kGroupPalette[1]);
  ExpectWindowShows("basalt hidden");
  // Not found by hover or click either, and still hidden after PLOT / Refresh.
  EXPECT_EQ(State().Engine.SymbolAt(basalt.x, basalt.y).row, 0);
  form_->btnPlot->click();
  EXPECT_EQ(Samples(form_->imgTernova->Picture()).size(), 12u);
  QTest::mouseClick(form_->imgTernova, Qt::LeftButton, {}, click);
  EXPECT_EQ(Samples(form_->imgTernova->Picture()).size(), 24u);
  // A new file shows every group again, grouped by the same column.
  QTest::mouseClick(form_->imgTernova, Qt::LeftButton, {}, click);
  Open(WriteFile("again.txt", kSuites));
  EXPECT_TRUE(form_->ColourByNote1->isChecked());
  EXPECT_EQ(Samples(form_->imgTernova->Picture()).size(), 24u);
}

TEST_F(ColourByTest, ANewFileWithoutTheGroupedFieldGoesBackToNone) {
  Open(WriteFile("suites.txt", kSuites));
  Choose("ColourByField6");
  Open(WriteFile("narrow.txt", "45\t8\t38\t8\tone\n"));
  EXPECT_TRUE(form_->ColourByNone1->isChecked());
  EXPECT_EQ(State().ColourBy, 0);
  EXPECT_EQ(form_->strgridData->model()->columnCount(), 5);
  for (const Symbol& s : Samples(form_->imgTernova->Picture())) EXPECT_EQ(s.colour, kBlue);
}

TEST_F(ColourByTest, TheTipOverASymbolNamesItsGroup) {
  Open(WriteFile("suites.txt", kSuites));
  Choose("ColourByField6");
  const Point p = State().Engine.Table.SamplePoints[4][1];
  const ImageHint hint = form_->imgTernovaHint(QPointF(p.x, p.y));
  EXPECT_TRUE(hint.text.contains("Group: C")) << hint.text.toStdString();
  Choose("ColourByNone1");
  EXPECT_FALSE(form_->imgTernovaHint(QPointF(p.x, p.y)).text.contains("Group"));
}

}  // namespace
}  // namespace ternova::app::testing
