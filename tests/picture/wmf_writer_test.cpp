#include "picture/wmf_writer.h"

#include <gtest/gtest.h>

#include "tests/picture/metafile_reader.h"
#include "tests/picture/metafile_test_support.h"

#ifdef TERNOVA_HAVE_UEMF
#include <uwmf.h>
#endif

namespace ternova {
namespace {

using namespace ternova::testing;

std::vector<WmfRecord> RecordsOf(const std::vector<uint8_t>& wmf, const std::string& name) {
  WmfWalk w = WalkWmf(wmf);
  if (!w.error.empty()) {
    const std::string path = OutPath(name);
    WriteBytes(path, wmf);
    ADD_FAILURE() << w.error << "; file written to " << path;
  }
  return w.records;
}

void ExpectBytes(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want, const std::string& name) {
  if (got == want) return;
  const std::string path = OutPath(name);
  WriteBytes(path, got);
  ADD_FAILURE() << "bytes differ from the expected " << want.size() << "; actual " << got.size()
                << " bytes written to " << path;
}

PictureSnapshot Handmade(std::vector<PictureOp> ops, std::vector<FontSpec> fonts = {},
                         std::vector<PictureText> texts = {}) {
  auto c = std::make_shared<PictureContent>();
  c->ops.assign(ops.begin(), ops.end());
  c->fonts = std::move(fonts);
  c->texts = std::move(texts);
  PictureSnapshot s;
  s.content = c;
  s.frame = {50000, 50000};
  return s;
}

// Parameters of record r, as 16-bit signed words.
std::vector<int16_t> Params(const std::vector<uint8_t>& wmf, const WmfRecord& r) {
  std::vector<int16_t> p;
  for (size_t o = r.offset + 6; o < r.offset + size_t{r.words} * 2; o += 2) p.push_back(LeI16(wmf, o));
  return p;
}

// The placeable header, byte by byte, its checksum worked out here from the ten words.
std::vector<uint8_t> PlaceableBytes(int16_t right, int16_t bottom) {
  std::vector<uint8_t> b = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0,
                            static_cast<uint8_t>(right), static_cast<uint8_t>(right >> 8),
                            static_cast<uint8_t>(bottom), static_cast<uint8_t>(bottom >> 8),
                            96, 0, 0, 0, 0, 0};
  uint16_t x = 0;
  for (size_t i = 0; i < 20; i += 2) x ^= static_cast<uint16_t>(b[i] | (b[i + 1] << 8));
  b.push_back(static_cast<uint8_t>(x));
  b.push_back(static_cast<uint8_t>(x >> 8));
  return b;
}

TEST(WmfWriter, PictureWithoutContentIsThePlaceableHeaderAlone) {
  PictureSnapshot empty;
  empty.frame = {50000, 50000};  // a frame without content still gives an empty box
  const std::vector<uint8_t> want = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 0,
                                     0,    0,    0,    0x60, 0, 0, 0, 0, 0, 0x71, 0x57};
  ExpectBytes(EncodeWmf(empty), want, "empty.wmf");
  EXPECT_EQ(PlaceableBytes(0, 0), want);
}

struct BoxCase {
  Frame frame;
  int16_t right, bottom;  // frame × 96 / 2540, rounded to nearest
};

class WmfPlaceable : public ::testing::TestWithParam<BoxCase> {};

TEST_P(WmfPlaceable, BoxIsTheFrameIn96thsOfAnInch) {
  const BoxCase& c = GetParam();
  PictureSnapshot s = Handmade({op::Rectangle{0, 0, 2000, 2000}});
  s.frame = c.frame;
  const std::vector<uint8_t> wmf = EncodeWmf(s);
  ASSERT_GE(wmf.size(), 22u);
  ExpectBytes(std::vector<uint8_t>(wmf.begin(), wmf.begin() + 22), PlaceableBytes(c.right, c.bottom), "header.wmf");
  RecordsOf(wmf, "whole.wmf");
}

INSTANTIATE_TEST_SUITE_P(Frames, WmfPlaceable,
                         ::testing::Values(BoxCase{{50000, 50000}, 1890, 1890},    // 1889.76
                                           BoxCase{{50366, 50521}, 1904, 1909},    // 1903.59, 1909.45
                                           BoxCase{{100000, 75000}, 3780, 2835},   // 3779.53, 2834.65
                                           BoxCase{{26, 13}, 1, 0},                // 0.98, 0.49
                                           // No frame: one from the reference screen, 50000.
                                           BoxCase{{0, 0}, 1890, 1890}));

// What libwmf checks before it draws anything, and the mapping records every reader needs.
TEST(WmfWriter, HeaderCountsAndMappingMatchTheRecords) {
  DiagramCase d;
  const std::vector<uint8_t> wmf = EncodeWmf(d.Snapshot());
  const WmfWalk w = WalkWmf(wmf);
  if (!w.error.empty()) {
    WriteBytes(OutPath("diagram.wmf"), wmf);
    FAIL() << w.error << "; file written to " << OutPath("diagram.wmf");
  }
  EXPECT_EQ(Le16(wmf, 22 + 10), w.mostObjects) << "mtNoObjects";
  EXPECT_EQ(Le32(wmf, 22 + 12), w.maxRecordWords) << "mtMaxRecord";
  EXPECT_EQ(Le16(wmf, 22 + 16), 0) << "mtNoParameters";
  ASSERT_GE(w.records.size(), 4u);
  EXPECT_EQ(w.records[0].function, meta::kSetMapMode);
  EXPECT_EQ(Params(wmf, w.records[0]), std::vector<int16_t>({8}));
  EXPECT_EQ(w.records[1].function, meta::kSetWindowOrg);
  EXPECT_EQ(Params(wmf, w.records[1]), std::vector<int16_t>({0, 0}));
  EXPECT_EQ(w.records[2].function, meta::kSetWindowExt);
  EXPECT_EQ(Params(wmf, w.records[2]), std::vector<int16_t>({2000, 2000}));

  // One drawing record per op, nothing merged.
  int lines = 0, ellipses = 0, texts = 0;
  for (const WmfRecord& r : w.records) {
    lines += r.function == meta::kLineTo;
    ellipses += r.function == meta::kEllipse;
    texts += r.function == meta::kExtTextOut;
  }
  EXPECT_EQ(lines, 9 + 108 + 12);
  EXPECT_EQ(ellipses, 12);
  EXPECT_EQ(texts, 6);

#ifdef TERNOVA_HAVE_UEMF
  // libUEMF's reading of the two headers and its per-record size checks.
  U_WMRPLACEABLE placeable;
  U_WMRHEADER header;
  const char* base = reinterpret_cast<const char*>(wmf.data());
  const char* limit = base + wmf.size();
  EXPECT_EQ(wmfheader_get(base, limit, &placeable, &header), 22 + 18);
  EXPECT_EQ(placeable.Dst.right, 1890);
  for (const WmfRecord& r : w.records)
    EXPECT_EQ(U_WMRRECSAFE_get(base + r.offset, limit), size_t{r.words} * 2) << "function " << r.function;
#endif
}

// Pens, brushes and fonts are objects of their own (no stock objects in this format), text is
// 8-bit in the font's code page with one advance per byte.
TEST(WmfWriter, ObjectsAndTextRecords) {
  FontSpec jp{"ＭＳ Ｐゴシック", -67, 400, true, kRed};
  FontSpec west{"MS Sans Serif", -11, 700, false, kBlack};
  const PictureSnapshot s = Handmade(
      {
          op::Brush{FillStyle::Solid, kWhite},
          op::Pen{FillStyle::None, kBlack, 1},
          op::Rectangle{0, 0, 2000, 2000},
          op::Pen{FillStyle::Solid, kBlack, 6},
          op::Font{0},
          op::TextOut{100, 200, 0},
          op::Brush{FillStyle::None, kWhite},
          op::Font{1},
          op::TextOut{300, 400, 1},
      },
      {jp, west}, {PictureText{u"Aゴ", {30, 50}, 80}, PictureText{u"éゴ", {7, 8}, 15}});
  const std::vector<uint8_t> wmf = EncodeWmf(s);
  const std::vector<WmfRecord> rs = RecordsOf(wmf, "objects.wmf");
  std::vector<std::pair<uint16_t, std::vector<int16_t>>> got;
  for (const WmfRecord& r : rs) got.emplace_back(r.function, Params(wmf, r));
  auto sjis = [](uint8_t a, uint8_t b) { return static_cast<int16_t>(a | (b << 8)); };
  const int16_t white[2] = {static_cast<int16_t>(0xFFFF), 0x00FF};
  const std::vector<std::pair<uint16_t, std::vector<int16_t>>> head = {
      {meta::kSetMapMode, {8}},
      {meta::kSetWindowOrg, {0, 0}},
      {meta::kSetWindowExt, {2000, 2000}},
      {meta::kCreateBrushIndirect, {0, white[0], white[1], 0}},  // BS_SOLID, white, no hatch
      {meta::kSelectObject, {0}},
      {meta::kCreatePenIndirect, {5, 0, 0, 0, 0}},  // PS_NULL
      {meta::kSelectObject, {1}},
      {meta::kRectangle, {2000, 2000, 0, 0}},       // bottom, right, top, left
      {meta::kCreatePenIndirect, {0, 6, 0, 0, 0}},  // PS_SOLID, width (6, 0), black
      {meta::kSelectObject, {2}},
      {meta::kDeleteObject, {1}},
  };
  ASSERT_GE(got.size(), head.size() + 12);
  for (size_t i = 0; i < head.size(); ++i) EXPECT_EQ(got[i], head[i]) << "record " << i;

  // The Japanese font: height, weight, SHIFTJIS_CHARSET, face in code page 932.
  const auto& font = got[head.size()];
  ASSERT_EQ(font.first, meta::kCreateFontIndirect);
  ASSERT_EQ(font.second.size(), 9u + 16);
  EXPECT_EQ(font.second[0], -67);
  EXPECT_EQ(font.second[4], 400);
  EXPECT_EQ(wmf[rs[head.size()].offset + 6 + 13], 128) << "lfCharSet";
  const std::vector<int16_t> face = {sjis(0x82, 0x6C), sjis(0x82, 0x72), sjis(0x20, 0x82), sjis(0x6F, 0x83),
                                     sjis(0x53, 0x83), sjis(0x56, 0x83), sjis(0x62, 0x83), sjis(0x4E, 0)};
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(font.second[9 + i], i < face.size() ? face[i] : 0) << "face word " << i;

  const size_t t = head.size() + 2;  // after the font's select
  EXPECT_EQ(got[t], (std::pair<uint16_t, std::vector<int16_t>>{meta::kSetTextColor, {0x00FF, 0}}));  // red
  EXPECT_EQ(got[t + 1], (std::pair<uint16_t, std::vector<int16_t>>{meta::kSetBkMode, {2}}));  // OPAQUE
  EXPECT_EQ(got[t + 2], (std::pair<uint16_t, std::vector<int16_t>>{meta::kSetBkColor, {white[0], white[1]}}));
  // y, x, 3 bytes, no options so no rectangle, "A" 83 53 padded, then one advance per byte:
  // the double-byte character's advance on its first byte.
  EXPECT_EQ(got[t + 3], (std::pair<uint16_t, std::vector<int16_t>>{
                            meta::kExtTextOut, {200, 100, 3, 0, sjis('A', 0x83), sjis(0x53, 0), 30, 50, 0}}));

  // The brush none: BS_NULL; then the western font and its text, transparent, "é" in
  // code page 1252 and a character it lacks as "?".
  const size_t b = t + 4;
  EXPECT_EQ(got[b].first, meta::kCreateBrushIndirect);
  EXPECT_EQ(got[b].second[0], 1);
  EXPECT_EQ(got[b + 3].first, meta::kCreateFontIndirect);
  EXPECT_EQ(wmf[rs[b + 3].offset + 6 + 13], 1) << "DEFAULT_CHARSET";
  EXPECT_EQ(got[b + 6], (std::pair<uint16_t, std::vector<int16_t>>{meta::kSetTextColor, {0, 0}}));
  EXPECT_EQ(got[b + 7], (std::pair<uint16_t, std::vector<int16_t>>{meta::kSetBkMode, {1}}));
  EXPECT_EQ(got[b + 8], (std::pair<uint16_t, std::vector<int16_t>>{
                            meta::kExtTextOut, {400, 300, 2, 0, sjis(0xE9, '?'), 7, 8}}));
  EXPECT_EQ(got.back().first, meta::kEof);
}

// A symbol far outside the picture must stay far outside: 16-bit wrapping would bring
// x = 65636 back to 100, in plain view.
TEST(WmfWriter, FarCoordinatesAreClampedNotWrapped) {
  const PictureSnapshot s = Handmade({
      op::Brush{FillStyle::Solid, kWhite},
      op::Pen{FillStyle::None, kBlack, 1},
      op::Rectangle{0, 0, 2000, 2000},
      op::Brush{FillStyle::Solid, kBlue},
      op::Ellipse{65626, 990, 65646, 1010},
      op::Ellipse{-40010, -70000, -39990, 1010},
      op::Pen{FillStyle::Solid, kBlack, 2},
      op::MoveTo{-100000, 500},
      op::LineTo{100000, 70000},
  });
  const std::vector<uint8_t> wmf = EncodeWmf(s);
  std::vector<std::vector<int16_t>> shapes;
  for (const WmfRecord& r : RecordsOf(wmf, "far.wmf"))
    if (r.function == meta::kEllipse || r.function == meta::kMoveTo || r.function == meta::kLineTo)
      shapes.push_back(Params(wmf, r));
  const std::vector<std::vector<int16_t>> want = {
      {1010, 32767, 990, 32767},       // bottom, right, top, left
      {1010, -32768, -32768, -32768},
      {500, -32768},                   // y, x
      {32767, 32767},
  };
  EXPECT_EQ(shapes, want);

  if (!HaveProgram("wmf2svg")) GTEST_SKIP() << "wmf2svg (package libwmf-bin) not installed";
  const std::string wmfPath = OutPath("far.wmf"), svgPath = OutPath("far.svg");
  WriteBytes(wmfPath, wmf);
  ASSERT_EQ(RunCommand("wmf2svg -o '" + svgPath + "' '" + wmfPath + "'", OutPath("log.txt")), 0);
  // libwmf sizes its drawing to the extent of everything drawn, not to the placeable box, so
  // the picture's own area is where the background rectangle lands.
  const std::vector<SvgElement> all = ScanSvg(ReadText(svgPath));
  const auto rects = Tagged(all, "rect"), ellipses = Tagged(all, "ellipse");
  ASSERT_EQ(rects.size(), 1u);
  ASSERT_EQ(ellipses.size(), 2u);
  const double left = rects[0].Num("x"), right = left + rects[0].Num("width");
  for (const SvgElement& e : ellipses) {
    // Whatever a reader makes of a squashed box, none of it lies inside the picture.
    EXPECT_TRUE(e.Num("cx") + e.Num("rx") < left || e.Num("cx") - e.Num("rx") > right)
        << "ellipse at cx " << e.Num("cx") << " within the picture's " << left << ".." << right;
  }
}

// A surrogate pair is one character with one advance, the sum of its two units' advances:
// clamped to 16 bits like a coordinate, however large the two are.
TEST(WmfWriter, SurrogatePairAdvancesAddUpWithoutOverflow) {
  PictureText pairs{u"\U0001F600\U0001F600", {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}, 0};
  const PictureSnapshot s = Handmade({op::Font{0}, op::TextOut{10, 20, 0}},
                                     {FontSpec{"MS Sans Serif", -11, 400, false, kBlack}}, {pairs});
  const std::vector<uint8_t> wmf = EncodeWmf(s);
  std::vector<std::vector<int16_t>> texts;
  for (const WmfRecord& r : RecordsOf(wmf, "pairs.wmf"))
    if (r.function == meta::kExtTextOut) texts.push_back(Params(wmf, r));
  // y, x, 2 bytes ("??": code page 1252 has no such character), no options, advances.
  const std::vector<std::vector<int16_t>> want = {{20, 10, 2, 0, '?' | ('?' << 8), 32767, -32768}};
  EXPECT_EQ(texts, want);
}

TEST(WmfWriter, OverlongTextIsCutToTheFormatsLimit) {
  PictureText longText{std::u16string(40000, u'x'), std::vector<int32_t>(40000, 1), 40000};
  const PictureSnapshot s = Handmade({op::Font{0}, op::TextOut{0, 0, 0}},
                                     {FontSpec{"MS Sans Serif", -11, 400, false, kBlack}}, {longText});
  const std::vector<uint8_t> wmf = EncodeWmf(s);
  for (const WmfRecord& r : RecordsOf(wmf, "long.wmf")) {
    if (r.function == meta::kExtTextOut) {
      EXPECT_EQ(LeI16(wmf, r.offset + 10), 32767);
    }
  }
}

TEST(WmfWriter, AnyPictureGivesWellFramedRecords) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    const std::vector<uint8_t> wmf = EncodeWmf(RandomPicture(seed));
    const WmfWalk w = WalkWmf(wmf);
    if (!w.error.empty()) {
      const std::string path = OutPath("seed" + std::to_string(seed) + ".wmf");
      WriteBytes(path, wmf);
      ADD_FAILURE() << "seed " << seed << ": " << w.error << "; file written to " << path;
      continue;
    }
#ifdef TERNOVA_HAVE_UEMF
    const char* base = reinterpret_cast<const char*>(wmf.data());
    for (const WmfRecord& r : w.records)
      ASSERT_EQ(U_WMRRECSAFE_get(base + r.offset, base + wmf.size()), size_t{r.words} * 2)
          << "seed " << seed << " function " << r.function << " at " << r.offset;
#endif
  }
}

// Cut to 31 bytes of whole characters: a lead byte left before the NUL would swallow it.
TEST(WmfWriter, LongJapaneseFaceIsCutBetweenCharacters) {
  const std::vector<uint8_t> wmf = EncodeWmf(
      Handmade({op::Font{0}}, {FontSpec{"ゴシックゴシックゴシックゴシックゴシック", -11, 400, true, kBlack}}));
  for (const WmfRecord& r : RecordsOf(wmf, "face.wmf")) {
    if (r.function != meta::kCreateFontIndirect) continue;
    const size_t face = r.offset + 6 + 18;
    EXPECT_EQ(wmf[face + 28], 0x83) << "15th character, first byte";
    EXPECT_EQ(wmf[face + 30], 0) << "no half character in byte 31";
    EXPECT_EQ(wmf[face + 31], 0);
  }
}

// The whole diagram through libwmf, a reader we did not write.
TEST(WmfWriter, Wmf2SvgDrawsTheDiagramWhereTheOpsPutIt) {
  if (!HaveProgram("wmf2svg")) GTEST_SKIP() << "wmf2svg (package libwmf-bin) not installed";
  DiagramCase d;
  const std::string wmfPath = OutPath("diagram.wmf"), svgPath = OutPath("diagram.svg");
  WriteBytes(wmfPath, EncodeWmf(d.Snapshot()));
  ASSERT_EQ(RunCommand("wmf2svg -o '" + svgPath + "' '" + wmfPath + "'", OutPath("log.txt")), 0);
  const std::vector<SvgElement> all = ScanSvg(ReadText(svgPath));

  const auto rects = Tagged(all, "rect"), lines = Tagged(all, "line"), ellipses = Tagged(all, "ellipse"),
             texts = Tagged(all, "text");
  ASSERT_EQ(rects.size(), 1u) << "the white background";
  EXPECT_EQ(SvgColour(rects[0].Prop("fill")), kWhite);
  EXPECT_EQ(rects[0].Prop("stroke"), "none") << "drawn with the null pen";
  const SvgMapping m = MappingFromBackground(rects[0]);
  // libwmf fits the placeable box into its 512-pixel default, square for the square frame,
  // and puts logical unit x at (x + 0.5) * scale.
  EXPECT_NEAR(m.sx, m.sy, 1e-6);
  EXPECT_NEAR(m.sx, 512.0 * 1999 / 2000 / 2000, 1e-5);
  EXPECT_NEAR(m.ox, 0.5 * m.sx, 1e-5);

  std::vector<SvgLine> drawn;
  for (const SvgElement& l : lines)
    drawn.push_back({l.Num("x1"), l.Num("y1"), l.Num("x2"), l.Num("y2"), SvgColour(l.Prop("stroke")),
                     std::strtod(l.Prop("stroke-width").c_str(), nullptr)});
  ExpectSegments(drawn, SegmentsOf(*d.Snapshot().content), m);

  ExpectSymbols(ellipses, d, m);
  for (const SvgElement& e : ellipses) EXPECT_EQ(e.Prop("stroke"), "none");  // the null pen

  // libwmf places each character by its advance (the Dx array): one <text> per character,
  // translated to its spot, baseline one font height (67 units) below the top.
  const DiagramGeometry& g = d.geometry;
  const struct { const char* text; Point at; } labels[] = {
      {"SiO2", {g.VertexSiO2.x + 50, g.VertexSiO2.y}},   {"Al2O3+CaO", {g.VertexAlCa.x, g.VertexAlCa.y - 100}},
      {"MgO", {g.VertexMgO.x - 150, g.VertexMgO.y}},     {"FeO", {g.VertexFeO1.x, g.VertexFeO1.y - 100}},
      {"FeO", {g.VertexFeO2.x, g.VertexFeO2.y - 100}},   {"FeO", {g.VertexFeO3.x, g.VertexFeO3.y}},
  };
  size_t c = 0;
  for (const auto& label : labels) {
    const std::string s = label.text;
    for (size_t i = 0; i < s.size(); ++i, ++c) {
      ASSERT_LT(c, texts.size());
      EXPECT_EQ(texts[c].text, s.substr(i, 1));
      const std::string tr = texts[c].attrs.at("transform");
      double a, b, cc, dd, tx, ty;
      ASSERT_EQ(std::sscanf(tr.c_str(), "matrix(%lf %lf %lf %lf %lf %lf)", &a, &b, &cc, &dd, &tx, &ty), 6) << tr;
      EXPECT_NEAR(tx, m.X(label.at.x + 30.0 * i), 0.01) << s << "[" << i << "]";
      EXPECT_NEAR(ty, m.Y(label.at.y + 67), 0.01) << s << "[" << i << "]";
      EXPECT_NEAR(std::strtod(texts[c].Prop("font-size").c_str(), nullptr), 67 * m.sy, 0.01);
      EXPECT_EQ(SvgColour(texts[c].Prop("fill")), kBlack);
    }
  }
  EXPECT_EQ(c, texts.size());
}

}  // namespace
}  // namespace ternova
