// Texts in the PDF as readers we did not write see them: poppler extracts the characters back
// (Japanese included), lists the embedded faces, and draws ink in every character's cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/encoding.h"
#include "picture/pdf_writer.h"
#include "picture/surface.h"

namespace ternova {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// A grey image as pdftoppm writes it (binary PGM, maximum 255).
struct Grey {
  int width = 0, height = 0;
  std::string pixels;
  int At(int x, int y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 255 : static_cast<unsigned char>(pixels[static_cast<size_t>(y) * width + x]);
  }
};

Grey ReadPgm(const fs::path& p) {
  Grey g;
  const std::string bytes = ReadAll(p);
  int max = 0, used = 0;
  if (std::sscanf(bytes.c_str(), "P5 %d %d %d%n", &g.width, &g.height, &max, &used) != 3) return {};
  g.pixels = bytes.substr(static_cast<size_t>(used) + 1);
  if (g.pixels.size() < static_cast<size_t>(g.width) * g.height) return {};
  return g;
}

struct TextCase {
  bool japaneseSystem;  // the UI face: IPAPGothic's stand-in, else DejaVu Sans's
  const char* text;
  const char* face;     // a face poppler must list as embedded; empty: only the standard one
};

// A text needing no embedded face keeps the standard one; any other character brings the face
// that shows it, whole texts set in it, Latin letters and digits included.
constexpr TextCase kTexts[] = {
    {true, "かんらん岩 (12)", "IPAPGothic"},
    {true, "Ol かんらん石 Fo90", "IPAPGothic"},
    {false, "かんらん岩 (12)", "IPAGothic"},  // DejaVu Sans lacks kana: the fallback fontconfig sorts first
    {false, "Ολιβίνης – оливин", "DejaVuSans"},
    {false, "Mg₂SiO₄ ő ä ǘ", "DejaVuSans"},  // accented letters built of other glyphs
    {false, "x\u0378y", "DejaVuSans"},        // no face has it: the missing-glyph box, read back all the same
    {false, "SiO2 (<&>) 100 %", ""},
    {true, "SiO2 äöü 12", ""},
};

class PdfText : public ::testing::TestWithParam<TextCase> {};

TEST_P(PdfText, ReadersGetTheCharactersBackAndDrawEveryGlyphWhereItWasMeasured) {
  const TextCase& c = GetParam();
  const fs::path folder = fs::path(::testing::TempDir()) / "ternova_pdf_text";
  fs::create_directories(folder);
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::replace(name.begin(), name.end(), '/', '_');
  const std::string stem = (folder / name).string();

  DiagramPicture picture;
  picture.SetWidth(1200);
  picture.SetHeight(200);
  SurfaceEnvironment env;
  env.japanese = c.japaneseSystem;
  {
    DrawingSurface s(picture, env);
    s.SetBrushStyle(FillStyle::None);
    s.SetFontSize(36);
    s.TextOut(40, 40, c.text);
  }
  const auto pdf = EncodePdf(Snapshot(picture));
  std::ofstream(stem + ".pdf", std::ios::binary).write(reinterpret_cast<const char*>(pdf.data()), static_cast<std::streamsize>(pdf.size()));
  // A subset, not the whole face (IPA's are 6 MB).
  EXPECT_LT(pdf.size(), size_t{16000});

  // Spacing follows the glyph positions: only the characters are compared.
  std::string read = Output("pdftotext -q '" + stem + ".pdf' -");
  std::erase(read, ' ');
  std::erase(read, '\n');
  std::erase(read, '\f');
  std::string want = c.text;
  std::erase(want, ' ');
  EXPECT_EQ(read, want);

  const std::string fonts = Output("pdffonts '" + stem + ".pdf'");
  if (*c.face) {
    EXPECT_NE(fonts.find(std::string("+") + c.face), std::string::npos) << fonts;
    EXPECT_NE(fonts.find("CID TrueType      Identity-H       yes yes yes"), std::string::npos) << fonts;
  } else {
    EXPECT_EQ(fonts.find("CID TrueType"), std::string::npos) << fonts;
  }
  if (std::system("command -v qpdf >/dev/null") == 0) {
    EXPECT_NE(Output("qpdf --check '" + stem + ".pdf'").find("No syntax or stream encoding errors"), std::string::npos);
  }

  // One pixel per logical unit.
  ASSERT_EQ(std::system(("pdftoppm -q -scale-to-x 1200 -scale-to-y 200 -gray -singlefile '" + stem + ".pdf' '" + stem + "'").c_str()), 0);
  const Grey image = ReadPgm(stem + ".pgm");
  ASSERT_EQ(image.width, 1200);
  const PictureContent& content = *picture.Content();
  const PictureText& text = content.texts.at(0);
  const int em = std::abs(content.fonts.at(0).height);
  int64_t x = 40;
  for (size_t i = 0; i < text.chars.size(); x += text.advances[i], ++i) {
    if (text.chars[i] == u' ') continue;
    int ink = 0;
    for (int64_t px = x; px < x + text.advances[i]; ++px)
      for (int py = 40; py < 40 + em * 5 / 4; ++py) ink += image.At(static_cast<int>(px), py) < 128;
    EXPECT_GT(ink, 4) << "character " << i << " of " << c.text << " at x " << x;
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, PdfText, ::testing::ValuesIn(kTexts));

}  // namespace
}  // namespace ternova
