// The density view in every format: what readers we did not write (libemf2svg, libwmf, poppler,
// librsvg) draw from our files, and what our importer (the save dialog's preview) reads back,
// holds each cell's colour at the cell's centre and white in the empty cells.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <string>

#include "diagram/projection.h"
#include "metafile_test_support.h"
#include "picture/emf_writer.h"
#include "picture/metafile_import.h"
#include "picture/pdf_writer.h"
#include "picture/qt/playback.h"
#include "picture/svg_writer.h"
#include "picture/wmf_writer.h"

namespace ternova::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kSide = 2000;

int Diff(QRgb a, Rgb b) {
  return std::max({std::abs(qRed(a) - b.r), std::abs(qGreen(a) - b.g), std::abs(qBlue(a) - b.b)});
}

// A cell and the point at its centre, in drawing units.
struct CellCentre {
  int face;
  Cell cell;
  double x, y;
  uint32_t count;
};

std::vector<CellCentre> CellCentres(const DensityCase& d) {
  const DensityField field = CountDensity(d.table, d.table.SampleCount, d.view.Density);
  const int32_t n = field.divisions;
  std::vector<CellCentre> all;
  for (int f = 1; f <= 4; ++f) {
    const Point v1 = d.geometry.Vertex(f, 1), v2 = d.geometry.Vertex(f, 2), v3 = d.geometry.Vertex(f, 3);
    for (int32_t j = 0; j < n; ++j)
      for (int32_t i = 0; i + j < n; ++i)
        for (const bool up : {true, false}) {
          if (!up && i + j > n - 2) continue;
          const double u = i + (up ? 1.0 : 2.0) / 3, v = j + (up ? 1.0 : 2.0) / 3, w = n - u - v;
          all.push_back({f, {i, j, up}, (u * v1.x + v * v2.x + w * v3.x) / n, (u * v1.y + v * v2.y + w * v3.y) / n,
                         field.faces[f - 1].Count({i, j, up})});
        }
  }
  return all;
}

class DensityFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::path(::testing::TempDir()) / "ternova_density_files";
    fs::create_directories(folder);
    field = CountDensity(d.table, d.table.SampleCount, d.view.Density);
    centres = CellCentres(d);
  }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = (folder / name).string();
    WriteBytes(path, bytes);
    return path;
  }
  QImage Run(const std::string& command, const std::string& png) {
    EXPECT_EQ(RunCommand(command, (folder / "log.txt").string()), 0) << command << "\n" << ReadText((folder / "log.txt").string());
    return QImage(QString::fromStdString((folder / png).string())).convertToFormat(QImage::Format_RGB32);
  }

  // Each cell holding samples shows its colour at its centre (within `tolerance`), or with
  // `anyColour` at least something that is not the white of an empty cell; empty ones are white.
  void ExpectCells(const QImage& image, const std::string& what, int tolerance, bool anyColour = false) {
    ASSERT_EQ(image.size(), QSize(kSide, kSide)) << what;
    int filled = 0;
    for (const CellCentre& c : centres) {
      // The highlighted sample's discs cover a few cells.
      bool underDisc = false;
      for (int f = 1; f <= 4; ++f) {
        const Point p = d.table.SamplePoints[d.view.SelectedSample][f];
        underDisc |= std::hypot(p.x - c.x, p.y - c.y) < 2 * d.view.SymbolSize + 3;
      }
      if (underDisc) continue;
      const QRgb seen = image.pixel(static_cast<int>(c.x), static_cast<int>(c.y));
      const std::string where = what + ": face " + std::to_string(c.face) + " cell " + std::to_string(c.cell.i) + ", " +
                                std::to_string(c.cell.j) + (c.cell.up ? " up" : " down");
      if (c.count == 0) {
        EXPECT_LE(Diff(seen, kWhite), tolerance) << where << " should be empty";
        continue;
      }
      ++filled;
      if (anyColour) EXPECT_GT(Diff(seen, kWhite), 40) << where;
      else EXPECT_LE(Diff(seen, DensityColour(c.count, field.maxCount)), tolerance) << where << " holding " << c.count;
    }
    EXPECT_GT(filled, 100) << what;
  }

  DensityCase d;
  DensityField field;
  std::vector<CellCentre> centres;
  fs::path folder;
};

TEST_F(DensityFiles, OurPlaybackAndImporterShowEachCellsColour) {
  ExpectCells(RenderToImage(d.Snapshot(), QSize(kSide, kSide)).convertToFormat(QImage::Format_RGB32), "playback", 0);
  for (const auto& [format, bytes] : {std::pair{"EMF", EncodeEmf(d.Snapshot())}, std::pair{"WMF", EncodeWmf(d.Snapshot())}}) {
    const ImportedMetafile read =
        ImportMetafile(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    ASSERT_EQ(read.outcome, ImportOutcome::Read) << format;
    size_t sets = 0;
    for (const PictureOp& o : read.picture.content->ops) sets += std::holds_alternative<op::Polygons>(o);
    EXPECT_EQ(sets, d.picture.Content()->polygons.size()) << format;
    ExpectCells(RenderToImage(read.picture, QSize(kSide, kSide)).convertToFormat(QImage::Format_RGB32),
                std::string("imported ") + format, 0);
  }
}

TEST_F(DensityFiles, Libemf2svgShowsEachCellsColour) {
  if (!HaveProgram("emf2svg-conv") || !HaveProgram("rsvg-convert")) GTEST_SKIP() << "emf2svg-conv or rsvg-convert not installed";
  const std::string emf = Write("d.emf", EncodeEmf(d.Snapshot()));
  const std::string svg = (folder / "emf.svg").string(), png = (folder / "emf.png").string();
  ExpectCells(Run("emf2svg-conv -i '" + emf + "' -o '" + svg + "' && rsvg-convert -w 2000 -h 2000 '" + svg + "' -o '" +
                      png + "'",
                  "emf.png"),
              "libemf2svg", 8);
}

TEST_F(DensityFiles, LibwmfFillsEachCellAndLeavesTheEmptyOnesWhite) {
  // libwmf's SVG names the nearest of SVG's named colours, so only filled or empty is compared.
  if (!HaveProgram("wmf2svg") || !HaveProgram("rsvg-convert")) GTEST_SKIP() << "wmf2svg or rsvg-convert not installed";
  const std::string wmf = Write("d.wmf", EncodeWmf(d.Snapshot()));
  const std::string svg = (folder / "wmf.svg").string(), png = (folder / "wmf.png").string();
  // libwmf copies a text's bytes in the font's code page into its SVG: a Shift-JIS caption is no
  // XML, so the texts go before librsvg reads it (the cells are what is checked).
  ExpectCells(Run("wmf2svg -o '" + svg + "' '" + wmf + "' && perl -0pi -e 's/<text.*?<\\/text>//gs' '" + svg +
                      "' && rsvg-convert -w 2000 -h 2000 '" + svg + "' -o '" + png + "'",
                  "wmf.png"),
              "libwmf", 8, true);
}

TEST_F(DensityFiles, PopplerShowsEachCellsColour) {
  if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm (package poppler-utils) not installed";
  const std::string pdf = Write("d.pdf", EncodePdf(d.Snapshot()));
  ExpectCells(Run("pdftoppm -q -png -singlefile -scale-to-x 2000 -scale-to-y 2000 '" + pdf + "' '" +
                      (folder / "pdf").string() + "'",
                  "pdf.png"),
              "poppler", 8);
}

TEST_F(DensityFiles, LibrsvgShowsEachCellsColour) {
  if (!HaveProgram("rsvg-convert")) GTEST_SKIP() << "rsvg-convert (package librsvg2-bin) not installed";
  const std::string svg = Write("d.svg", EncodeSvg(d.Snapshot()));
  ExpectCells(Run("rsvg-convert -w 2000 -h 2000 '" + svg + "' -o '" + (folder / "svg.png").string() + "'", "svg.png"),
              "librsvg", 8);
}

// A sample in every cell of a face: played back, the face is covered without a pixel of the
// white background between neighbouring cells, where runs of cells of one colour meet the
// cells of the next row.
TEST(DensityPlayback, CellsCoverTheirFaceWithoutGaps) {
  constexpr int32_t n = 100;
  const DiagramGeometry geometry = ComputeDiagramGeometry();
  for (int face = 1; face <= 4; ++face) {
    SampleTable table;
    table.Resize(2 * n * n);
    int32_t row = 0;
    for (int32_t j = 0; j < n; ++j)
      for (int32_t i = 0; i + j < n; ++i)
        for (const bool up : {true, false}) {
          if (!up && i + j > n - 2) continue;
          const double u = i + (up ? 1.0 : 2.0) / 3, v = j + (up ? 1.0 : 2.0) / 3;
          // Mostly one sample, so runs of one colour are long, and now and then two, so they
          // end at different places in neighbouring rows.
          for (int k = 0; k <= ((7 * i + 3 * j) % 11 == 0); ++k) {
            ++row;
            table.SampleValues[row] = {0, 1, 1, 1, 1};
            const int* c = kFaceComponents[face - 1];
            table.SampleValues[row][c[0]] = u;
            table.SampleValues[row][c[1]] = v;
            table.SampleValues[row][c[2]] = n - u - v;
            ProjectRow(geometry, table, row);
          }
        }
    table.Resize(row);
    table.CompletedRows = row;
    ViewState view;
    view.Grid10 = view.Grid50 = false;
    view.Density = n;
    FixedAdvance metrics;
    SurfaceEnvironment env;
    env.metrics = &metrics;
    DiagramPicture picture;
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    int32_t divisions = 0;
    DrawDiagram(geometry, table, view, divisions, picture, env);
    const QImage image = RenderToImage(Snapshot(picture), QSize(kSide, kSide)).convertToFormat(QImage::Format_RGB32);
    const Point a = geometry.Vertex(face, 1), b = geometry.Vertex(face, 2), c = geometry.Vertex(face, 3);
    // Distance of (x, y) from the edge p-q, positive on the side of r.
    auto inside = [&](double x, double y, Point p, Point q, Point r) {
      const double ex = q.x - p.x, ey = q.y - p.y, len = std::hypot(ex, ey);
      const double side = (ex * (r.y - p.y) - ey * (r.x - p.x)) > 0 ? 1 : -1;
      return side * (ex * (y - p.y) - ey * (x - p.x)) / len;
    };
    int white = 0, checked = 0;
    for (int y = std::min({a.y, b.y, c.y}); y <= std::max({a.y, b.y, c.y}); ++y)
      for (int x = std::min({a.x, b.x, c.x}); x <= std::max({a.x, b.x, c.x}); ++x) {
        const double px = x + 0.5, py = y + 0.5;
        if (inside(px, py, a, b, c) < 6 || inside(px, py, b, c, a) < 6 || inside(px, py, c, a, b) < 6) continue;
        ++checked;
        white += (image.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
      }
    EXPECT_GT(checked, 100000) << "face " << face;
    EXPECT_EQ(white, 0) << "face " << face;
  }
}

TEST(DensityFileSize, StaysSmallAtAnyNumberOfSamples) {
  const DensityCase few(2000, 100, true), many(60000, 100, true);
  for (const DensityCase* d : {&few, &many}) {
    EXPECT_LT(EncodeEmf(d->Snapshot()).size(), 2'000'000u);
    EXPECT_LT(EncodeWmf(d->Snapshot()).size(), 2'000'000u);
    EXPECT_LT(EncodePdf(d->Snapshot()).size(), 2'000'000u);
    EXPECT_LT(EncodeSvg(d->Snapshot()).size(), 2'000'000u);
  }
}

}  // namespace
}  // namespace ternova::testing
