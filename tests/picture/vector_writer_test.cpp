// The PDF and SVG writers, checked by what poppler and librsvg draw from their files against
// our own playback of the same picture at the same size.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "diagram/projection.h"
#include "plot/layers.h"
#include "picture/pdf_writer.h"
#include "base/error.h"
#include "picture/picture_file.h"
#include "picture/qt/export.h"
#include "picture/qt/playback.h"
#include "picture/qt/qt_text_metrics.h"
#include "picture/svg_writer.h"

namespace ternova {
namespace {

namespace fs = std::filesystem;

constexpr int kSide = 2000;

int Diff(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

class VectorFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    // Spread over the net and apart from each other, so every symbol's centre is its own.
    const double rows[][4] = {{60, 20, 10, 10}, {20, 60, 10, 10}, {10, 20, 60, 10}, {30, 30, 30, 10},
                              {40, 10, 10, 40}, {10, 40, 20, 30}, {45, 45, 5, 5},   {5, 30, 40, 25}};
    table.Resize(8);
    for (int32_t r = 1; r <= 8; ++r) {
      const double* v = rows[r - 1];
      table.SampleValues[r] = {0, v[0], v[1], v[2], v[3]};
      ProjectRow(geometry, table, r);
    }
    table.CompletedRows = 8;
    view.SelectedSample = 3;
    view.SymbolSize = 10;
    DrawDiagram(geometry, table, view, divisions, picture, env);
    ours = RenderToImage(Snapshot(picture), QSize(kSide, kSide)).convertToFormat(QImage::Format_RGB32);
    folder = fs::path(::testing::TempDir()) / "ternova_vector_files";
    fs::create_directories(folder);
  }

  // Writes the picture under `name` and returns what `command` (with %in and %out) renders.
  QImage Rendered(const std::string& name, const std::string& command, const std::string& png) {
    const fs::path file = folder / name;
    SavePictureFile(file.string(), Snapshot(picture));
    std::string cmd = command;
    cmd.replace(cmd.find("%in"), 3, "'" + file.string() + "'");
    cmd.replace(cmd.find("%out"), 4, "'" + (folder / png).string() + "'");
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    QImage image((folder / (png + (command.find("pdftoppm") != std::string::npos ? ".png" : ""))).string().c_str());
    return image.convertToFormat(QImage::Format_RGB32);
  }

  // Compares an independent reader's rendering with our playback.
  void ExpectLikeOurPlayback(const QImage& theirs, const std::string& what) {
    ASSERT_EQ(theirs.size(), QSize(kSide, kSide)) << what;
    // Every symbol's colour at its centre, on every face.
    for (int32_t j = 1; j <= table.CompletedRows; ++j) {
      for (int face = 1; face <= 4; ++face) {
        const Point p = table.SamplePoints[j][face];
        const QRgb want = j == view.SelectedSample ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
        EXPECT_EQ(ours.pixel(p.x, p.y) & 0xFFFFFF, want & 0xFFFFFF) << "row " << j << " face " << face;
        EXPECT_LE(Diff(theirs.pixel(p.x, p.y), want), 8) << what << ": row " << j << " face " << face;
      }
    }
    // The outline and the grid lines: the middle of each segment is as dark in both.
    const Point outline[] = {geometry.VertexSiO2, geometry.VertexAlCa, geometry.VertexMgO, geometry.VertexSiO2,
                             geometry.VertexFeO1, geometry.VertexAlCa, geometry.VertexFeO2, geometry.VertexMgO,
                             geometry.VertexFeO3, geometry.VertexSiO2};
    for (size_t i = 0; i + 1 < std::size(outline); ++i) {
      for (double t : {0.3, 0.5, 0.7}) {
        const int x = static_cast<int>(std::lround(outline[i].x + t * (outline[i + 1].x - outline[i].x)));
        const int y = static_cast<int>(std::lround(outline[i].y + t * (outline[i + 1].y - outline[i].y)));
        if (ours.pixel(x, y) != qRgb(0, 0, 0)) continue;  // a symbol sits on the line here
        EXPECT_LE(Diff(theirs.pixel(x, y), qRgb(0, 0, 0)), 40) << what << ": outline " << i << " at " << t;
      }
    }
    int gridPoints = 0;
    for (int face = 1; face <= 4; ++face) {
      for (int i = 1; i <= 9; ++i) {
        for (int j = 1; j <= 3; ++j) {
          const Point va = geometry.Vertex(face, j), vb = geometry.Vertex(face, j % 3 + 1),
                      vc = geometry.Vertex(face, (j + 1) % 3 + 1);
          const double u = i / 10.0, w = 1 - u;
          const int x = static_cast<int>(std::lround(((u * va.x + w * vb.x) + (w * vb.x + u * vc.x)) / 2));
          const int y = static_cast<int>(std::lround(((u * va.y + w * vb.y) + (w * vb.y + u * vc.y)) / 2));
          const QRgb mine = ours.pixel(x, y);
          if (mine != qRgb(128, 128, 128) && mine != qRgb(0, 0, 0)) continue;  // under a symbol
          ++gridPoints;
          // Readers smooth the two-unit lines; the middle pixel stays clearly inked.
          EXPECT_LE(Diff(theirs.pixel(x, y), mine), 80) << what << ": grid face " << face << " " << i << "," << j;
        }
      }
    }
    EXPECT_GT(gridPoints, 90);
    // Altogether: away from the labels (drawn in another font), only smoothed edges differ.
    std::vector<QRect> labels;
    const PictureContent& c = *picture.Content();
    for (const PictureOp& o : c.ops)
      if (const auto* t = std::get_if<op::TextOut>(&o)) labels.emplace_back(t->x, t->y, c.texts[t->text].width, 90);
    // Compared in blocks of 4 x 4 pixels, where a smoothed edge and an aliased one average out.
    const QImage a = theirs.scaled(kSide / 4, kSide / 4, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage b = ours.scaled(kSide / 4, kSide / 4, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int far = 0, worst = 0;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x) {
        if (std::any_of(labels.begin(), labels.end(), [&](const QRect& r) { return r.intersects(QRect(x * 4, y * 4, 4, 4)); }))
          continue;
        const int d = Diff(a.pixel(x, y), b.pixel(x, y));
        worst = std::max(worst, d);
        far += d > 48;
      }
    EXPECT_EQ(far, 0) << what << ": worst block differs by " << worst;
  }

  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  ViewState view;
  int32_t divisions = 0;
  DiagramPicture picture;
  QtTextMetrics metrics;
  SurfaceEnvironment env{ScreenInfo{}, false, &metrics};
  QImage ours;
  fs::path folder;
};

TEST_F(VectorFiles, PopplerDrawsThePdfAsWePlayThePicture) {
  ExpectLikeOurPlayback(Rendered("net.pdf", "pdftoppm -q -png -singlefile -scale-to-x 2000 -scale-to-y 2000 %in %out",
                                 "pdf"),
                        "pdf");
}

TEST_F(VectorFiles, LibrsvgDrawsTheSvgAsWePlayThePicture) {
  ExpectLikeOurPlayback(Rendered("net.svg", "rsvg-convert -w 2000 -h 2000 -o %out %in", "svg.png"), "svg");
}

TEST_F(VectorFiles, EachDiscKindIsDefinedOnceAndPlacedPerSymbol) {
  const auto svg = EncodeSvg(Snapshot(picture));
  const std::string text(svg.begin(), svg.end());
  auto count = [&](const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<ellipse "), 2u);  // blue, and the red highlighted one
  EXPECT_EQ(count("<use "), 32u);
  EXPECT_EQ(count("<text "), 6u);

  const auto pdf = EncodePdf(Snapshot(picture));
  const std::string bytes(pdf.begin(), pdf.end());
  EXPECT_EQ(bytes.rfind("%PDF-1.4", 0), 0u);
  EXPECT_NE(bytes.find("/Subtype /Form"), std::string::npos);
  EXPECT_NE(bytes.find("/FlateDecode"), std::string::npos);
  EXPECT_NE(bytes.find("/BaseFont /Helvetica"), std::string::npos);
}

TEST_F(VectorFiles, TextsKeepTheirRecordedAdvances) {
  const auto svg = EncodeSvg(Snapshot(picture));
  const std::string text(svg.begin(), svg.end());
  const PictureContent& c = *picture.Content();
  for (const PictureOp& o : c.ops) {
    const auto* t = std::get_if<op::TextOut>(&o);
    if (!t) continue;
    std::string xs;
    int64_t x = t->x;
    for (int32_t a : c.texts[t->text].advances) {
      if (!xs.empty()) xs += ' ';
      xs += std::to_string(x);
      x += a;
    }
    EXPECT_NE(text.find("x=\"" + xs + "\""), std::string::npos) << xs;
  }
}

TEST_F(VectorFiles, MarkupCharactersInTextsAreEscaped) {
  DiagramPicture p;
  p.SetWidth(100);
  p.SetHeight(100);
  {
    DrawingSurface s(p, env);
    s.TextOut(1, 1, "a<b&\"c\"");
    s.TextOut(1, 40, "(x)\\y");
  }
  const auto svg = EncodeSvg(Snapshot(p));
  const std::string text(svg.begin(), svg.end());
  EXPECT_NE(text.find(">a&lt;b&amp;&quot;c&quot;</text>"), std::string::npos);
  const fs::path file = folder / "escaped.svg";
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(svg.data()), static_cast<std::streamsize>(svg.size()));
  EXPECT_EQ(std::system(("rsvg-convert -o '" + (folder / "escaped.png").string() + "' '" + file.string() + "'").c_str()), 0);

  const auto pdf = EncodePdf(Snapshot(p));
  const fs::path pdfFile = folder / "escaped.pdf";
  std::ofstream(pdfFile, std::ios::binary).write(reinterpret_cast<const char*>(pdf.data()), static_cast<std::streamsize>(pdf.size()));
  // pdftotext reads the glyphs back in order; an unescaped parenthesis would break the string.
  const fs::path txt = folder / "escaped.txt";
  ASSERT_EQ(std::system(("pdftotext -q '" + pdfFile.string() + "' '" + txt.string() + "'").c_str()), 0);
  std::ifstream in(txt);
  std::string read((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Its spacing follows the glyph positions, so only the characters are compared.
  std::erase(read, ' ');
  EXPECT_NE(read.find("(x)\\y"), std::string::npos) << read;
}

TEST_F(VectorFiles, WrittenPieceByPieceTheFileIsTheEncodedBytesAndAFailureKeepsTheEarlierFile) {
  // Enough symbols for several pieces.
  table.Resize(40000);
  for (int32_t r = 1; r <= 40000; ++r) {
    table.SampleValues[r] = {0, 10.0 + r % 50, 20.0 + r % 30, 30, 5.0 + r % 7};
    ProjectRow(geometry, table, r);
  }
  table.CompletedRows = 40000;
  DrawDiagram(geometry, table, view, divisions, picture, env);
  auto read = [](const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  for (const char* name : {"big.svg", "big.pdf"}) {
    const fs::path file = folder / name;
    SavePictureFile(file.string(), Snapshot(picture));
    const auto encoded = EncodeForName(name, Snapshot(picture));
    if (std::string(name) == "big.svg") {
      ASSERT_GT(encoded.size(), size_t{3} << 20);
    }
    EXPECT_EQ(read(file), std::string(encoded.begin(), encoded.end())) << name;

    std::ofstream(file, std::ios::binary) << "earlier";
    size_t allowed = encoded.size() / 2;  // the disc fills up part way through
    SetWriteLimiterForTesting([&](size_t n) {
      const size_t now = std::min(n, allowed);
      allowed -= now;
      return now;
    });
    EXPECT_THROW(SavePictureFile(file.string(), Snapshot(picture)), Error) << name;
    SetWriteLimiterForTesting({});
    EXPECT_EQ(read(file), "earlier") << name;
  }
}

TEST_F(VectorFiles, EmptyPictureIsAnEmptyPageOfTheDefaultSize) {
  DiagramPicture empty;
  empty.SetWidth(2000);
  empty.SetHeight(2000);
  const auto svg = EncodeSvg(Snapshot(empty));
  const std::string text(svg.begin(), svg.end());
  EXPECT_NE(text.find("width=\"500mm\" height=\"500mm\" viewBox=\"0 0 2000 2000\""), std::string::npos) << text;
  const auto pdf = EncodePdf(Snapshot(empty));
  const std::string bytes(pdf.begin(), pdf.end());
  EXPECT_NE(bytes.find("/MediaBox [0 0 1417.322835 1417.322835]"), std::string::npos);
  const fs::path file = folder / "empty.pdf";
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_EQ(std::system(("pdftoppm -q -r 10 -png '" + file.string() + "' '" + (folder / "empty").string() + "'").c_str()), 0);
}

}  // namespace
}  // namespace ternova
