#include "picture/emf_writer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/picture/metafile_reader.h"
#include "tests/picture/metafile_test_support.h"

#ifdef TERNOVA_HAVE_UEMF
#include <uemf_safe.h>
#endif

namespace ternova {
namespace {

using namespace ternova::testing;

std::vector<EmfRecord> RecordsOf(const std::vector<uint8_t>& emf, const std::string& name) {
  EmfWalk w = WalkEmf(emf);
  if (!w.error.empty()) {
    const std::string path = OutPath(name);
    WriteBytes(path, emf);
    ADD_FAILURE() << w.error << "; file written to " << path;
  }
  return w.records;
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

TEST(EmfWriter, PictureWithoutContentIsNoBytes) {
  PictureSnapshot empty;
  empty.frame = {50000, 50000};
  EXPECT_TRUE(EncodeEmf(empty).empty());
}

struct HeaderCase {
  ScreenInfo screen;
  Frame frame;           // the picture's frame from that screen
  Frame inFile;          // what the header says
  int32_t mmX, mmY;      // szlMillimeters expected
};

class EmfHeader : public ::testing::TestWithParam<HeaderCase> {};

// Header fields other readers scale by, checked against the file's own records.
TEST_P(EmfHeader, DescribesTheFileAndTheReferenceScreen) {
  const HeaderCase& hc = GetParam();
  DiagramCase d(false, hc.screen);
  PictureSnapshot snapshot = d.Snapshot();
  snapshot.frame = hc.frame;  // as the picture fixed it, whatever the surface does with such a screen
  const std::vector<uint8_t> emf = EncodeEmf(snapshot);
  const std::vector<EmfRecord> records = RecordsOf(emf, "diagram.emf");
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].size, 108u);
  struct Field { const char* name; size_t offset; int32_t want; };
  const Field fields[] = {
      {"rclBounds.left", 8, 0},       {"rclBounds.top", 12, 0},
      {"rclBounds.right", 16, 1999},  {"rclBounds.bottom", 20, 1999},
      {"rclFrame.left", 24, 0},       {"rclFrame.top", 28, 0},
      {"rclFrame.right", 32, hc.inFile.width - 1}, {"rclFrame.bottom", 36, hc.inFile.height - 1},
      {"nDescription", 60, 0},        {"offDescription", 64, 0},
      {"nPalEntries", 68, 0},
      {"szlDevice.cx", 72, hc.screen.widthPx}, {"szlDevice.cy", 76, hc.screen.heightPx},
      {"szlMillimeters.cx", 80, hc.mmX},       {"szlMillimeters.cy", 84, hc.mmY},
      {"cbPixelFormat", 88, 0},       {"offPixelFormat", 92, 0}, {"bOpenGL", 96, 0},
      {"szlMicrometers.cx", 100, hc.mmX * 1000}, {"szlMicrometers.cy", 104, hc.mmY * 1000},
  };
  for (const Field& f : fields) EXPECT_EQ(LeI32(emf, f.offset), f.want) << f.name;
  // Five objects at most at once: brush, pen and font, each briefly with its successor.
  EXPECT_LE(Le16(emf, 56), 7);

#ifdef TERNOVA_HAVE_UEMF
  // libUEMF's per-record checks: sizes and offsets of every field it knows.
  for (const EmfRecord& r : records)
    EXPECT_TRUE(U_emf_record_safe(reinterpret_cast<const char*>(emf.data() + r.offset)))
        << "record type " << r.type << " at " << r.offset;
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Screens, EmfHeader,
    ::testing::Values(HeaderCase{{1280, 1024, 320, 256, 96}, {50000, 50000}, {50000, 50000}, 320, 256},
                      HeaderCase{{1366, 768, 344, 194, 96}, {50366, 50521}, {50366, 50521}, 344, 194},
                      // A screen that reports no size would leave a zero frame and zero
                      // millimetres, which readers divide by: both come from 96 dpi instead.
                      HeaderCase{{1280, 1024, 0, 0, 96}, {0, 0}, {52969, 52930}, 339, 271}));

// What players see of the object protocol: stock objects for "none", LOGPENs that are geometric
// for wide lines (players that build pens from EMR_EXTCREATEPEN's empty style array draw no line
// at all), each replaced object deleted after its successor is selected, freed slots reused.
TEST(EmfWriter, ObjectsAreCreatedSelectedAndReplaced) {
  const PictureSnapshot s = Handmade({
      op::Brush{FillStyle::Solid, kWhite},
      op::Pen{FillStyle::None, kBlack, 1},
      op::Rectangle{0, 0, 2000, 2000},
      op::Pen{FillStyle::Solid, kBlack, 6},
      op::LineTo{10, 20},
      op::Pen{FillStyle::Solid, kGrey, 1},
      op::LineTo{30, 40},
      op::Brush{FillStyle::None, kWhite},
      op::Ellipse{1, 2, 3, 4},
      op::Brush{FillStyle::Solid, kRed},
      op::Pen{FillStyle::None, kGrey, 1},
      op::Ellipse{5, 6, 7, 8},
  });
  const std::vector<uint8_t> emf = EncodeEmf(s);
  const std::vector<EmfRecord> records = RecordsOf(emf, "objects.emf");
  // (type, first field after the size): object index, or the first coordinate.
  const std::vector<std::pair<uint32_t, uint32_t>> want = {
      {emr::kHeader, 0},
      {emr::kCreateBrushIndirect, 1}, {emr::kSelectObject, 1},
      {emr::kSelectObject, 0x80000008},  // NULL_PEN
      {emr::kRectangle, 0},
      {emr::kCreatePen, 2}, {emr::kSelectObject, 2},
      {emr::kLineTo, 10},
      {emr::kCreatePen, 3}, {emr::kSelectObject, 3}, {emr::kDeleteObject, 2},
      {emr::kLineTo, 30},
      {emr::kSelectObject, 0x80000005}, {emr::kDeleteObject, 1},  // NULL_BRUSH
      {emr::kEllipse, 1},
      {emr::kCreateBrushIndirect, 1}, {emr::kSelectObject, 1},
      {emr::kSelectObject, 0x80000008}, {emr::kDeleteObject, 3},
      {emr::kEllipse, 5},
      {emr::kEof, 0},
  };
  std::vector<std::pair<uint32_t, uint32_t>> got;
  for (const EmfRecord& r : records) got.emplace_back(r.type, r.type == emr::kHeader ? 0 : Le32(emf, r.offset + 8));
  EXPECT_EQ(got, want);
  EXPECT_EQ(Le16(emf, 56), 4) << "nHandles: three slots plus the reserved one";

  // The wide pen: PS_GEOMETRIC | PS_SOLID with round ends and joins, width 6 logical units, black.
  const EmfRecord& wide = records[5];
  ASSERT_EQ(wide.type, emr::kCreatePen);
  EXPECT_EQ(wide.size, 28u);
  EXPECT_EQ(Le32(emf, wide.offset + 12), 0x00010000u) << "lopnStyle";
  EXPECT_EQ(LeI32(emf, wide.offset + 16), 6) << "lopnWidth.x";
  EXPECT_EQ(Le32(emf, wide.offset + 24), 0u) << "lopnColor";
  // The thin grey pen: PS_SOLID, width 1, COLORREF 0x00808080.
  const EmfRecord& thin = records[8];
  EXPECT_EQ(thin.size, 28u);
  EXPECT_EQ(Le32(emf, thin.offset + 12), 0u);
  EXPECT_EQ(LeI32(emf, thin.offset + 16), 1);
  EXPECT_EQ(Le32(emf, thin.offset + 24), 0x00808080u);
  // The red brush: BS_SOLID, COLORREF 0x000000FF.
  const EmfRecord& red = records[15];
  EXPECT_EQ(Le32(emf, red.offset + 12), 0u);
  EXPECT_EQ(Le32(emf, red.offset + 16), 0x000000FFu);
}

// The font in its 320-byte LOGFONTW + full name + style + PANOSE form, text colour and an
// opaque or transparent background per brush, and the string with its advances.
TEST(EmfWriter, TextCarriesFontBackgroundStringAndAdvances) {
  FontSpec jp{"ＭＳ Ｐゴシック", -67, 400, true, kBlack};
  PictureText t1{u"Aゴ", {30, 50}, 80};
  PictureText t2{u"xyz", {10, 11, 12}, 33};
  const PictureSnapshot s = Handmade(
      {
          op::Brush{FillStyle::Solid, kWhite},
          op::Font{0},
          op::TextOut{100, 200, 0},
          op::MoveTo{180, 200},
          op::Brush{FillStyle::None, kWhite},
          op::TextOut{300, 400, 1},
      },
      {jp}, {t1, t2});
  const std::vector<uint8_t> emf = EncodeEmf(s);
  const std::vector<EmfRecord> records = RecordsOf(emf, "text.emf");
  std::vector<uint32_t> types;
  for (const EmfRecord& r : records) types.push_back(r.type);
  const std::vector<uint32_t> want = {
      emr::kHeader,    emr::kCreateBrushIndirect, emr::kSelectObject, emr::kExtCreateFontIndirectW,
      emr::kSelectObject, emr::kSetTextColor, emr::kSetBkMode, emr::kSetBkColor, emr::kExtTextOutW,
      emr::kMoveToEx,  emr::kSelectObject, emr::kDeleteObject, emr::kSetBkMode, emr::kExtTextOutW, emr::kEof};
  ASSERT_EQ(types, want);

  const size_t f = records[3].offset;
  EXPECT_EQ(records[3].size, 332u);
  EXPECT_EQ(LeI32(emf, f + 12), -67) << "lfHeight";
  EXPECT_EQ(LeI32(emf, f + 28), 400) << "lfWeight";
  EXPECT_EQ(emf[f + 35], 128) << "lfCharSet SHIFTJIS_CHARSET";
  const std::u16string face = u"ＭＳ Ｐゴシック";
  for (size_t i = 0; i < 32; ++i)
    EXPECT_EQ(Le16(emf, f + 40 + 2 * i), i < face.size() ? face[i] : 0) << "lfFaceName[" << i << "]";

  EXPECT_EQ(Le32(emf, records[5].offset + 8), 0u) << "text colour black";
  EXPECT_EQ(Le32(emf, records[6].offset + 8), 2u) << "OPAQUE on the solid white brush";
  EXPECT_EQ(Le32(emf, records[7].offset + 8), 0x00FFFFFFu) << "background = brush colour";
  EXPECT_EQ(Le32(emf, records[12].offset + 8), 1u) << "TRANSPARENT once the brush is none";

  const size_t x = records[8].offset;
  struct Field { const char* name; size_t offset; int32_t want; };
  const Field fields[] = {
      {"rclBounds.left", 8, 100},   {"rclBounds.top", 12, 200},  {"rclBounds.right", 16, 180},
      {"rclBounds.bottom", 20, 267}, {"iGraphicsMode GM_COMPATIBLE", 24, 1},
      {"ptlReference.x", 36, 100},  {"ptlReference.y", 40, 200}, {"nChars", 44, 2},
      {"offString", 48, 76},        {"fOptions", 52, 0},
      {"rcl.left", 56, 100},        {"rcl.top", 60, 200},        {"rcl.right", 64, 180}, {"rcl.bottom", 68, 267},
      {"offDx (string padded to 4 characters)", 72, 84},
  };
  for (const Field& fl : fields) EXPECT_EQ(LeI32(emf, x + fl.offset), fl.want) << fl.name;
  EXPECT_EQ(Le16(emf, x + 76), u'A');
  EXPECT_EQ(Le16(emf, x + 78), u'ゴ');
  EXPECT_EQ(Le32(emf, x + 80), 0u) << "padding";
  EXPECT_EQ(LeI32(emf, x + 84), 30);
  EXPECT_EQ(LeI32(emf, x + 88), 50);
  EXPECT_EQ(records[8].size, 92u);
  // Three characters: 6 string bytes padded to 8, then three advances.
  EXPECT_EQ(records[13].size, 76u + 8 + 12);
  EXPECT_EQ(LeI32(emf, records[13].offset + 72), 84) << "offDx";
  EXPECT_EQ(LeI32(emf, records[13].offset + 76 + 8 + 8), 12);
}

TEST(EmfWriter, AnyPictureGivesWellFramedRecords) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    const std::vector<uint8_t> emf = EncodeEmf(RandomPicture(seed));
    const EmfWalk w = WalkEmf(emf);
    if (!w.error.empty()) {
      const std::string path = OutPath("seed" + std::to_string(seed) + ".emf");
      WriteBytes(path, emf);
      ADD_FAILURE() << "seed " << seed << ": " << w.error << "; file written to " << path;
      continue;
    }
#ifdef TERNOVA_HAVE_UEMF
    for (const EmfRecord& r : w.records)
      ASSERT_TRUE(U_emf_record_safe(reinterpret_cast<const char*>(emf.data() + r.offset)))
          << "seed " << seed << " record type " << r.type << " at " << r.offset;
#endif
  }
}

TEST(EmfWriter, LongFaceNameKeepsItsTerminator) {
  const std::string face(40, 'F');
  const std::vector<uint8_t> emf =
      EncodeEmf(Handmade({op::Font{0}}, {FontSpec{face, -11, 400, false, kBlack}}));
  for (const EmfRecord& r : RecordsOf(emf, "face.emf")) {
    if (r.type != emr::kExtCreateFontIndirectW) continue;
    EXPECT_EQ(Le16(emf, r.offset + 40 + 2 * 30), u'F');
    EXPECT_EQ(Le16(emf, r.offset + 40 + 2 * 31), 0) << "lfFaceName must end in NUL within 32 units";
  }
}

// The whole diagram through libemf2svg, a reader we did not write.
TEST(EmfWriter, Emf2SvgDrawsTheDiagramWhereTheOpsPutIt) {
  if (!HaveProgram("emf2svg-conv")) GTEST_SKIP() << "emf2svg-conv (package emf2svg) not installed";
  DiagramCase d;
  const std::string emfPath = OutPath("diagram.emf"), svgPath = OutPath("diagram.svg");
  WriteBytes(emfPath, EncodeEmf(d.Snapshot()));
  ASSERT_EQ(RunCommand("emf2svg-conv -i '" + emfPath + "' -o '" + svgPath + "'", OutPath("log.txt")), 0);
  const std::vector<SvgElement> all = ScanSvg(ReadText(svgPath));

  const auto rects = Tagged(all, "rect"), paths = Tagged(all, "path"), ellipses = Tagged(all, "ellipse"),
             texts = Tagged(all, "text");
  ASSERT_EQ(rects.size(), 1u) << "the white background";
  EXPECT_EQ(SvgColour(rects[0].Prop("fill")), kWhite);
  const SvgMapping m = MappingFromBackground(rects[0]);
  // libemf2svg draws in reference-device pixels: one logical unit is one SVG unit.
  EXPECT_NEAR(m.sx, 1.0, 1e-9);
  EXPECT_NEAR(m.sy, 1.0, 1e-9);
  EXPECT_NEAR(m.ox, 0.0, 1e-9);

  // Lines: each segment its own path "M x1,y1 L x2,y2", in drawing order, with the pen's colour
  // and width: 9 outline (black, 6), 108 grey and 12 black grid lines (2).
  std::vector<SvgLine> drawn;
  for (const SvgElement& p : paths) {
    const std::string dAttr = p.Prop("d");
    SvgLine l{0, 0, 0, 0, SvgColour(p.Prop("stroke")), p.Num("stroke-width")};
    char tail;
    ASSERT_EQ(std::sscanf(dAttr.c_str(), " M %lf,%lf L %lf,%lf %c", &l.x1, &l.y1, &l.x2, &l.y2, &tail), 4) << dAttr;
    drawn.push_back(l);
  }
  ExpectSegments(drawn, SegmentsOf(*d.Snapshot().content), m);

  ExpectSymbols(ellipses, d, m);

  // Labels: whole strings at their left edge, baseline inside the 67-unit line below the top.
  const DiagramGeometry& g = d.geometry;
  const struct { const char* text; Point at; } labels[] = {
      {"SiO2", {g.VertexSiO2.x + 50, g.VertexSiO2.y}},   {"Al2O3+CaO", {g.VertexAlCa.x, g.VertexAlCa.y - 100}},
      {"MgO", {g.VertexMgO.x - 150, g.VertexMgO.y}},     {"FeO", {g.VertexFeO1.x, g.VertexFeO1.y - 100}},
      {"FeO", {g.VertexFeO2.x, g.VertexFeO2.y - 100}},   {"FeO", {g.VertexFeO3.x, g.VertexFeO3.y}},
  };
  ASSERT_EQ(texts.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(texts[i].text, labels[i].text);
    EXPECT_NEAR(texts[i].Num("x"), m.X(labels[i].at.x), 0.01) << labels[i].text;
    EXPECT_GT(texts[i].Num("y"), m.Y(labels[i].at.y)) << labels[i].text;
    EXPECT_LE(texts[i].Num("y"), m.Y(labels[i].at.y + 67)) << labels[i].text;
    EXPECT_NEAR(texts[i].Num("font-size"), 67 * m.sy, 0.01) << labels[i].text;
    EXPECT_EQ(texts[i].attrs.at("font-family"), "MS Sans Serif");
    EXPECT_EQ(SvgColour(texts[i].Prop("fill")), kBlack);
  }
}

// libEMF's dump (package printemf) walks the file with its own reader: every record by name,
// the texts with their advances.
TEST(EmfWriter, PrintemfNamesEveryRecord) {
  if (!HaveProgram("printemf")) GTEST_SKIP() << "printemf (package printemf) not installed";
  DiagramCase d;
  const std::vector<uint8_t> emf = EncodeEmf(d.Snapshot());
  const std::string emfPath = OutPath("diagram.emf"), dump = OutPath("dump.txt");
  WriteBytes(emfPath, emf);
  ASSERT_EQ(RunCommand("printemf '" + emfPath + "'", dump), 0);
  const std::string text = ReadText(dump);
  std::map<std::string, int> names;
  int total = 0;
  // Each record starts with its name alone on a line: *NAME*.
  std::stringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (line.size() > 2 && line.front() == '*' && line.back() == '*') {
      ++names[line.substr(1, line.size() - 2)];
      ++total;
    }
  EXPECT_EQ(total, static_cast<int>(Le32(emf, 52))) << "nRecords; dump in " << dump;
  EXPECT_EQ(names["HEADER"], 1);
  EXPECT_EQ(names["EOF"], 1);
  EXPECT_EQ(names["LINETO"], 9 + 108 + 12);
  EXPECT_EQ(names["ELLIPSE"], 12);
  EXPECT_EQ(names["RECTANGLE"], 1);
  EXPECT_EQ(names["EXTTEXTOUTW"], 6);
  EXPECT_EQ(names["EXTCREATEFONTINDIRECTW"], 1);
  EXPECT_EQ(names["CREATEPEN"], 3) << "outline, 10 % and 50 % pens";
  EXPECT_EQ(names["EXTCREATEPEN"], 0);
  for (const char* label : {"SiO2", "Al2O3+CaO", "MgO", "FeO"})
    EXPECT_NE(text.find("\t\t" + std::string(label) + "\n"), std::string::npos) << label;
  // Nine characters: libEMF finds the advances only past a string padded to 12 characters.
  EXPECT_NE(text.find("\t\t30 30 30 30 30 30 30 30 30 \n"), std::string::npos) << "advances of Al2O3+CaO";
}

TEST(EmfWriter, Emf2SvgReadsTheJapaneseFaceName) {
  if (!HaveProgram("emf2svg-conv")) GTEST_SKIP() << "emf2svg-conv (package emf2svg) not installed";
  DiagramCase d(true);
  const std::string emfPath = OutPath("diagram.emf"), svgPath = OutPath("diagram.svg");
  WriteBytes(emfPath, EncodeEmf(d.Snapshot()));
  ASSERT_EQ(RunCommand("emf2svg-conv -i '" + emfPath + "' -o '" + svgPath + "'", OutPath("log.txt")), 0);
  const auto texts = Tagged(ScanSvg(ReadText(svgPath)), "text");
  for (const SvgElement& e : texts) EXPECT_EQ(e.attrs.at("font-family"), "ＭＳ Ｐゴシック");
  EXPECT_EQ(texts.size(), 6u);
}

}  // namespace
}  // namespace ternova
