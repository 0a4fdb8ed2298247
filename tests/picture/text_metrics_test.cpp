// Text measured without Qt against what the window measures through Qt: the same faces, the
// same advances, so a picture drawn by the command line or a library matches the window's.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "plot/layers.h"
#include "picture/freetype_text_metrics.h"
#include "picture/qt/qt_text_metrics.h"

namespace ternova {
namespace {

// Every character of the ASCII range, controls included.
// The printable ASCII characters. Control characters are never drawn (every text from outside
// spells them out as <U+0007>), and what Qt measures for them follows whichever installed face
// happens to map them: TeX's fonts (fonts-lyx, which matplotlib brings) put glyphs there.
std::u16string Ascii() {
  std::u16string text;
  for (char16_t c = 0x20; c < 0x7F; ++c) text += c;
  return text;
}

// Every character Shift-JIS has (CP932: JIS X 0208, the NEC and IBM extensions, half-width
// kana): the Japanese a data file's notes and the program's texts can hold.
std::u16string Japanese() {
  std::u16string text;
  for (int c = 0xA1; c <= 0xDF; ++c) text += Utf16FromCodePage(std::string(1, static_cast<char>(c)), CodePage::ShiftJis);
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const std::u16string c = Utf16FromCodePage(std::string{static_cast<char>(lead), static_cast<char>(trail)}, CodePage::ShiftJis);
      if (c.size() == 1 && c[0] != u'\uFFFD') text += c;
    }
  }
  return text;
}

// The first few places where two lists of advances differ, for the failure message.
std::string Differences(std::u16string_view text, const std::vector<int32_t>& expected, const std::vector<int32_t>& actual) {
  std::string out;
  int shown = 0;
  for (size_t i = 0; i < text.size() && shown < 8; ++i) {
    if (expected[i] == actual[i]) continue;
    char code[16];
    std::snprintf(code, sizeof code, " U+%04X", static_cast<unsigned>(text[i]));
    out += code + (": " + std::to_string(actual[i]) + " for " + std::to_string(expected[i]) + ";");
    ++shown;
  }
  return out;
}

TEST(InstalledFaceMetrics, GiveTheWindowsAdvancesForTheProgramsFontsAndSizes) {
  const QtTextMetrics window;
  const TextMetrics& installed = InstalledFaceMetrics();
  const std::u16string texts[] = {u"SiO2Al2O3+CaOMgOFeO", Ascii(), Japanese()};
  // The labels' 50 points and the UI faces' 9 and 8 points at the dpis the tests' screens have.
  std::vector<int32_t> heights;
  for (const int32_t dpi : {96, 120, 144})
    for (const int32_t points : {50, 9, 8}) heights.push_back(FontHeightForPoints(points, dpi));
  for (const char* face : {"MS Sans Serif", "ＭＳ Ｐゴシック", "ＭＳ ゴシック"})
    for (const int32_t weight : {400, 700})
      for (const int32_t height : heights) {
        FontSpec font;
        font.face = face;
        font.height = height;
        font.weight = weight;
        for (const std::u16string& text : texts) {
          const std::vector<int32_t> expected = window.Advances(font, text), actual = installed.Advances(font, text);
          ASSERT_EQ(actual.size(), text.size());
          EXPECT_EQ(actual, expected) << face << " weight " << weight << " height " << height << ":"
                                      << Differences(text, expected, actual);
        }
      }
}

TEST(InstalledFaceMetrics, PutASurrogatePairsAdvanceOnItsFirstUnit) {
  const QtTextMetrics window;
  FontSpec font;
  font.face = "MS Sans Serif";
  font.height = -67;
  const std::u16string text = u"a\U00020B9Fb";
  const std::vector<int32_t> actual = InstalledFaceMetrics().Advances(font, text);
  EXPECT_EQ(actual, window.Advances(font, text));
  ASSERT_EQ(actual.size(), 4u);
  EXPECT_GT(actual[1], 0);
  EXPECT_EQ(actual[2], 0);
}

// A drawing given no metrics, as a program without Qt makes it, still places every glyph of a
// label where the window does, rather than all of them at the label's start.
TEST(InstalledFaceMetrics, MeasureADrawingThatNamesNoMetrics) {
  const QtTextMetrics window;
  for (const bool japanese : {false, true}) {
    SurfaceEnvironment withoutMetrics;
    withoutMetrics.japanese = japanese;
    SurfaceEnvironment withWindowsMetrics = withoutMetrics;
    withWindowsMetrics.metrics = &window;
    const DiagramGeometry geometry = ComputeDiagramGeometry();
    const SampleTable table;
    const ViewState view;
    int32_t divisions = 0;
    DiagramPicture ours, windows;
    DrawDiagram(geometry, table, view, divisions, ours, withoutMetrics);
    DrawDiagram(geometry, table, view, divisions, windows, withWindowsMetrics);
    const auto& texts = ours.Content()->texts;
    ASSERT_EQ(texts.size(), 6u);
    for (size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(texts[i].advances, windows.Content()->texts[i].advances) << Utf8FromUtf16(texts[i].chars);
      EXPECT_EQ(texts[i].width, windows.Content()->texts[i].width);
      EXPECT_GT(texts[i].advances[0], 0);
    }
  }
}

}  // namespace
}  // namespace ternova
