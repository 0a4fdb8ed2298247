// Texts in the PDF and the SVG as readers we did not write see them: poppler extracts the
// characters back (Japanese included), lists the embedded faces, and draws ink in every
// character's cell; librsvg reads the SVG.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "base/encoding.h"
#include "picture/pdf_writer.h"
#include "picture/surface.h"
#include "picture/svg_writer.h"
#include "picture/truetype_subset.h"

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
  bool installed = true;  // some installed face has every character
};

// A text needing no embedded face keeps the standard one; any other character brings the face
// that shows it, whole texts set in it, Latin letters and digits included.
constexpr TextCase kTexts[] = {
    {true, "かんらん岩 (12)", "IPAPGothic"},
    {true, "Ol かんらん石 Fo90", "IPAPGothic"},
    {false, "かんらん岩 (12)", "IPAGothic"},  // DejaVu Sans lacks kana: the fallback fontconfig sorts first
    {false, "Ολιβίνης – оливин", "DejaVuSans"},
    {false, "Mg₂SiO₄ ő ä ǘ", "DejaVuSans"},  // accented letters built of other glyphs
    {false, "x\u0378y", "DejaVuSans", false},      // no face has it: the missing-glyph box, read back all the same
    {false, "SiO2 (<&>) 100 %", ""},
    {true, "SiO2 äöü 12", ""},
    {false, "a<b&c>\"d\" ]]> &amp;", ""},  // markup is text
    {false, "Fo\t90\x01!", ""},                // controls are not drawn
};

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20; }

class TextFiles : public ::testing::TestWithParam<TextCase> {
 protected:
  void SetUp() override {
    const fs::path folder = fs::path(::testing::TempDir()) / "ternova_text_output";
    fs::create_directories(folder);
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    stem = (folder / name).string();
    picture.SetWidth(1200);
    picture.SetHeight(200);
    env.japanese = GetParam().japaneseSystem;
    DrawingSurface s(picture, env);
    s.SetBrushStyle(FillStyle::None);
    s.SetFontSize(36);
    s.TextOut(40, 40, GetParam().text);
  }

  static void Write(const std::string& file, const std::vector<uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  // The characters pdftotext reads from `pdf`, as many as are drawn, in order. Its spacing
  // follows the glyph positions, so blanks are not compared; controls are not drawn.
  // With `replaced`, controls XML cannot carry come back as U+FFFD.
  void ExpectTextReadBack(const std::string& pdf, bool replaced = false) {
    std::string read = Output("pdftotext -q '" + pdf + "' -");
    std::erase_if(read, [](char c) { return c == ' ' || IsControl(c); });
    std::string want;
    for (char c : std::string_view(GetParam().text))
      want += replaced && IsControl(c) && c != '\t' && c != '\n' && c != '\r' ? "\uFFFD" : std::string(1, c);
    std::erase_if(want, [](char c) { return c == ' ' || IsControl(c); });
    EXPECT_EQ(read, want) << pdf;
  }

  // Ink in the cell of every character but a blank or a control, at the advances measured.
  void ExpectEveryGlyphDrawn(const std::string& pdf) {
    ASSERT_EQ(std::system(("pdftoppm -q -scale-to-x 1200 -scale-to-y 200 -gray -singlefile '" + pdf + "' '" + pdf + "'").c_str()), 0);
    const Grey image = ReadPgm(pdf + ".pgm");
    ASSERT_EQ(image.width, 1200);  // one pixel per logical unit
    const PictureContent& content = *picture.Content();
    const PictureText& text = content.texts.at(0);
    const int em = std::abs(content.fonts.at(0).height);
    int64_t x = 40;
    for (size_t i = 0; i < text.chars.size(); x += text.advances[i], ++i) {
      if (text.chars[i] <= u' ') continue;
      int ink = 0;
      for (int64_t px = x; px < x + text.advances[i]; ++px)
        for (int py = 40; py < 40 + em * 5 / 4; ++py) ink += image.At(static_cast<int>(px), py) < 128;
      EXPECT_GT(ink, 4) << pdf << ": character " << i << " of " << GetParam().text << " at x " << x;
    }
  }

  std::string stem;
  DiagramPicture picture;
  SurfaceEnvironment env;
};

TEST_P(TextFiles, PdfReadersGetTheCharactersBackAndDrawEveryGlyphWhereItWasMeasured) {
  const std::string pdf = stem + ".pdf";
  const auto bytes = EncodePdf(Snapshot(picture));
  Write(pdf, bytes);
  // A subset, not the whole face (IPA's are 6 MB).
  EXPECT_LT(bytes.size(), size_t{16000});
  ExpectTextReadBack(pdf);
  ExpectEveryGlyphDrawn(pdf);

  const std::string fonts = Output("pdffonts '" + pdf + "'");
  if (*GetParam().face) {
    EXPECT_NE(fonts.find(std::string("+") + GetParam().face), std::string::npos) << fonts;
    EXPECT_NE(fonts.find("CID TrueType      Identity-H       yes yes yes"), std::string::npos) << fonts;
  } else {
    EXPECT_EQ(fonts.find("CID TrueType"), std::string::npos) << fonts;
  }
  if (std::system("command -v qpdf >/dev/null") == 0) {
    EXPECT_NE(Output("qpdf --check '" + pdf + "'").find("No syntax or stream encoding errors"), std::string::npos);
  }
}

// librsvg turns the SVG into a PDF of its own, which poppler reads as above.
TEST_P(TextFiles, SvgReadersGetTheCharactersBackAndDrawEveryGlyphWhereItWasMeasured) {
  const std::string svg = stem + ".svg", pdf = stem + ".svg.pdf";
  Write(svg, EncodeSvg(Snapshot(picture)));
  ASSERT_EQ(std::system(("rsvg-convert -f pdf -o '" + pdf + "' '" + svg + "'").c_str()), 0) << svg;
  // Where no face has a character, librsvg draws its code in a box, and the box reads back so.
  if (GetParam().installed) ExpectTextReadBack(pdf, true);
  ExpectEveryGlyphDrawn(pdf);
}

INSTANTIATE_TEST_SUITE_P(Texts, TextFiles, ::testing::ValuesIn(kTexts));

// A face name is any text an imported metafile holds: what XML cannot carry must not reach the
// file, or readers reject the whole picture.
TEST(SvgText, FaceNamesXmlCannotCarryAreReplaced) {
  for (const std::string face : {"A\uFFFEB", "A\xFF\xFE" "B", "A\xED\xA0\x80" "B", "A&<>B"}) {
    auto content = std::make_shared<PictureContent>();
    content->fonts.push_back(FontSpec{face, -36, 400, false, kBlack});
    content->texts.push_back(PictureText{u"Fo", {20, 20}, 40});
    content->ops = {op::Font{0}, op::TextOut{10, 10, 0}};
    DiagramPicture picture;
    picture.SetWidth(200);
    picture.SetHeight(100);
    picture.SetContent(content);
    const auto svg = EncodeSvg(Snapshot(picture));
    EXPECT_TRUE(IsValidUtf8(std::string_view(reinterpret_cast<const char*>(svg.data()), svg.size()))) << face;
    const std::string file = (fs::path(::testing::TempDir()) / "ternova_face.svg").string();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(svg.data()), static_cast<std::streamsize>(svg.size()));
    EXPECT_EQ(std::system(("rsvg-convert -o '" + file + ".png' '" + file + "' 2>/dev/null").c_str()), 0) << face;
  }
}

}  // namespace
}  // namespace ternova

namespace ternova {
namespace {

std::vector<uint8_t> FileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Only whole faces with TrueType outlines are embedded; anything else is passed over, never read
// past its end.
TEST(TrueTypeFaceFile, OnlyWholeFacesWithTrueTypeOutlinesAreRead) {
  struct Case {
    const char* path;
    size_t keep;  // bytes kept of the file; 0: all
    int index;
    bool read;
  };
  const Case cases[] = {
      {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 0, 0, true},
      {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 0, 1, false},      // no second face
      {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 100000, 0, false},  // cut short
      {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 11, 0, false},
      {"/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf", 0, 0, true},
      {"/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf", 0, 0, false},  // CFF outlines
      {"/usr/share/fonts/X11/Type1/NimbusSans-Regular.pfb", 0, 0, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = FileBytes(c.path);
    if (bytes.empty()) continue;  // the face is not installed here
    if (c.keep) bytes.resize(std::min(bytes.size(), c.keep));
    const auto face = TrueTypeFace::Parse(bytes, c.index);
    EXPECT_EQ(face.has_value(), c.read) << c.path << " " << c.keep;
    if (!face) continue;
    // The subset is a face of its own, its glyphs kept at their numbers.
    const std::vector<uint8_t> subset = face->Subset({36, 37});
    const auto cut = TrueTypeFace::Parse(subset, 0);
    ASSERT_TRUE(cut.has_value()) << c.path;
    EXPECT_EQ(cut->GlyphCount(), 38);
    EXPECT_EQ(cut->Advance(37), face->Advance(37));
    EXPECT_EQ(cut->UnitsPerEm(), face->UnitsPerEm());
    EXPECT_LT(subset.size(), size_t{8000});
  }
}

}  // namespace
}  // namespace ternova
