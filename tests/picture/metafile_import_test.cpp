#include "picture/metafile_import.h"

#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <string>

#include "diagram/projection.h"
#include "plot/layers.h"
#include "picture/emf_writer.h"
#include "picture/metafile_records.h"
#include "picture/work_budget.h"
#include "picture/wmf_writer.h"
#include "tests/fixed_advance.h"
#include "tests/flat_operations.h"

namespace ternova {
namespace {

using testing::FixedAdvance;

// The drawing operations only, with the state each was drawn in, so pictures recorded and
// pictures read back compare equal however their state changes were spelled.
std::vector<std::string> Drawing(const PictureContent& c) {
  std::vector<std::string> out;
  op::Brush brush{};
  op::Pen pen{};
  auto rgb = [](Rgb v) { return std::to_string(v.r) + "," + std::to_string(v.g) + "," + std::to_string(v.b); };
  for (const auto& o : ::ternova::testing::FlatOperations(c)) {
    if (auto* b = std::get_if<op::Brush>(&o)) brush = *b;
    else if (auto* p = std::get_if<op::Pen>(&o)) pen = *p;
    else if (auto* e = std::get_if<op::Ellipse>(&o))
      out.push_back("ellipse " + std::to_string(e->x1) + " " + std::to_string(e->y1) + " " + std::to_string(e->x2) +
                    " " + std::to_string(e->y2) + " fill " + rgb(brush.colour));
    else if (auto* l = std::get_if<op::LineTo>(&o))
      out.push_back("line " + std::to_string(l->x) + " " + std::to_string(l->y) + " " + rgb(pen.colour) + " w" +
                    std::to_string(pen.width));
    else if (auto* m = std::get_if<op::MoveTo>(&o))
      out.push_back("move " + std::to_string(m->x) + " " + std::to_string(m->y));
    else if (auto* t = std::get_if<op::TextOut>(&o))
      out.push_back("text " + std::to_string(t->x) + " " + std::to_string(t->y) + " " +
                    std::string(c.texts[t->text].chars.begin(), c.texts[t->text].chars.end()) + " width " +
                    std::to_string(c.texts[t->text].width));
    else if (auto* r = std::get_if<op::Rectangle>(&o))
      out.push_back("rectangle " + std::to_string(r->x2) + " " + std::to_string(r->y2));
  }
  return out;
}

// The drawing when the file was read to its end.
std::optional<PictureSnapshot> Drawn(const ImportedMetafile& m) {
  if (m.outcome != ImportOutcome::Read) return std::nullopt;
  return m.picture;
}

std::string_view View(const std::vector<uint8_t>& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

class MetafileImport : public ::testing::Test {
 protected:
  void SetUp() override {
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    table.Resize(3);
    table.SampleValues[1] = {0, 1, 1, 1, 1};
    table.SampleValues[2] = {0, 45, 8, 38, 8};
    table.SampleValues[3] = {0, -50, 10, 10, 10};  // far outside its faces
    for (int r = 1; r <= 3; ++r) ProjectRow(geometry, table, r);
    table.CompletedRows = 3;
    view.SelectedSample = 2;
    int32_t divisions = 0;
    DrawDiagram(geometry, table, view, divisions, picture, env);
  }
  std::optional<PictureSnapshot> RoundTrip(const std::vector<uint8_t>& bytes) { return Drawn(ImportMetafile(View(bytes))); }
  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  ViewState view;
  DiagramPicture picture;
  FixedAdvance metrics;
  SurfaceEnvironment env{ScreenInfo{}, false, &metrics};
};

TEST_F(MetafileImport, EnhancedMetafileReadsBackAsTheSameDrawing) {
  const auto back = RoundTrip(EncodeEmf(Snapshot(picture)));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width, 2000);
  EXPECT_EQ(back->height, 2000);
  EXPECT_EQ(Drawing(*back->content), Drawing(*picture.Content()));
}

TEST_F(MetafileImport, WindowsMetafileReadsBackAsTheSameDrawing) {
  const auto back = RoundTrip(EncodeWmf(Snapshot(picture)));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width, 2000);
  EXPECT_EQ(Drawing(*back->content), Drawing(*picture.Content()));
}

TEST_F(MetafileImport, BrokenFramingIsNoPicture) {
  std::vector<uint8_t> emf = EncodeEmf(Snapshot(picture));
  emf.resize(emf.size() - 20);  // no end record
  EXPECT_EQ(ImportMetafile(View(emf)).outcome, ImportOutcome::Damaged);
  std::vector<uint8_t> wmf = EncodeWmf(Snapshot(picture));
  wmf[22 + 18] = 0xFF;  // the first record claims more than the file holds
  wmf[22 + 19] = 0xFF;
  wmf[22 + 20] = 0xFF;
  EXPECT_EQ(ImportMetafile(View(wmf)).outcome, ImportOutcome::Damaged);
  EXPECT_EQ(ImportMetafile("not a picture at all").outcome, ImportOutcome::Damaged);
}

TEST_F(MetafileImport, HeaderOnlyWindowsMetafileIsAnEmptyPicture) {
  DiagramPicture empty;
  empty.SetWidth(2000);
  empty.SetHeight(2000);
  const auto wmf = EncodeWmf(Snapshot(empty));
  EXPECT_FALSE(RoundTrip(wmf));  // a box of (0, 0, 0, 0) has no size to preview
}

// The first bytes are enough to tell the format and the size the file declares: the frame of an
// enhanced metafile on the reference screen, the placeable box at its units per inch.
TEST_F(MetafileImport, TheHeaderTellsTheFormatAndTheDeclaredSize) {
  const std::vector<uint8_t> emf = EncodeEmf(Snapshot(picture)), wmf = EncodeWmf(Snapshot(picture));
  auto head = [](const std::vector<uint8_t>& bytes, size_t n) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), std::min(n, bytes.size()));
  };
  const ScreenInfo screen{};
  const auto e = ReadMetafileHeader(head(emf, kMetafileHeaderBytes));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->kind, MetafileHeader::Kind::Enhanced);
  EXPECT_EQ(e->PixelWidth(screen), 2000);
  EXPECT_EQ(e->PixelHeight(screen), 2000);
  const auto w = ReadMetafileHeader(head(wmf, kMetafileHeaderBytes));
  ASSERT_TRUE(w);
  EXPECT_EQ(w->kind, MetafileHeader::Kind::Placeable);
  EXPECT_EQ(w->PixelWidth(screen), 1890);
  EXPECT_EQ(w->PixelHeight(screen), 1890);
  EXPECT_FALSE(ReadMetafileHeader(head(emf, kMetafileHeaderBytes - 1)));
  EXPECT_FALSE(ReadMetafileHeader(head(wmf, 21)));
  std::vector<uint8_t> noInch = wmf;
  noInch[14] = noInch[15] = 0;
  EXPECT_FALSE(ReadMetafileHeader(head(noInch, kMetafileHeaderBytes)));
  EXPECT_FALSE(ReadMetafileHeader("not a picture at all"));
}

// A reader with little time gives up on a long file instead of reading it to its end, and says
// so: the file is not damaged for that.
TEST_F(MetafileImport, ASpentBudgetReadsNoPictureAndSaysSo) {
  auto many = std::make_shared<PictureContent>();
  for (int i = 0; i < 5000; ++i) many->ops.push_back(op::Ellipse{i % 2000, 0, i % 2000 + 6, 6});
  PictureSnapshot snapshot = Snapshot(picture);
  snapshot.content = many;
  for (const std::vector<uint8_t>& bytes : {EncodeEmf(snapshot), EncodeWmf(snapshot)}) {
    WorkBudget spent(std::chrono::nanoseconds(0)), ample(std::chrono::minutes(1));
    EXPECT_EQ(ImportMetafile(View(bytes), &spent).outcome, ImportOutcome::OverBudget);
    EXPECT_EQ(ImportMetafile(View(bytes), &ample).outcome, ImportOutcome::Read);
    // Damage found before the budget is spent is damage.
    std::vector<uint8_t> cut = bytes;
    cut.resize(cut.size() / 2);
    EXPECT_EQ(ImportMetafile(View(cut), &ample).outcome, ImportOutcome::Damaged);
  }
}

// Enhanced metafiles put together field by field, for what no writer of ours would produce.
class CraftedEmf {
 public:
  // The header record: the bounds in logical units and the frame in 0.01 mm, each left, top,
  // right, bottom.
  CraftedEmf(std::initializer_list<int32_t> bounds, std::initializer_list<int32_t> frame) {
    std::string h = Fields({emf::EMR_HEADER, 88});
    for (int32_t v : bounds) h += Fields({v});
    for (int32_t v : frame) h += Fields({v});
    h += Fields({emf::kSignature, 0x10000});
    h.resize(88, '\0');
    bytes_ = h;
  }
  static std::string Fields(std::initializer_list<int64_t> values) {
    std::string out;
    for (int64_t v : values)
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(static_cast<uint64_t>(v) >> (8 * i)));
    return out;
  }
  CraftedEmf& Record(uint32_t type, const std::string& fields) {
    std::string r = Fields({type, static_cast<int64_t>(8 + fields.size())}) + fields;
    r.resize((r.size() + 3) / 4 * 4, '\0');
    r.replace(4, 4, Fields({static_cast<int64_t>(r.size())}));
    bytes_ += r;
    return *this;
  }
  // A font of `height` in slot 1, selected.
  CraftedEmf& Font(int32_t height) {
    std::string logfont = Fields({1, height, 0, 0, 0, 400, 0, 0});
    logfont.resize(4 + 92, '\0');
    Record(emf::EMR_EXTCREATEFONTINDIRECTW, logfont);
    return Record(emf::EMR_SELECTOBJECT, Fields({1}));
  }
  // Three characters at (0, 0) with the given advances, or none.
  CraftedEmf& Text(std::initializer_list<int32_t> advances) {
    const int64_t chars = 3, string = 76, dx = advances.size() ? string + 8 : 0;
    std::string r = Fields({0, 0, 0, 0, emf::GM_COMPATIBLE, 0, 0});      // bounds, mode, scales
    r += Fields({0, 0, chars, string, 0, 0, 0, 0, 0, dx});               // reference, count, offsets, box
    r += std::string("a\0b\0c\0\0\0", 8);
    for (int32_t a : advances) r += Fields({a});
    return Record(emf::EMR_EXTTEXTOUTW, r);
  }
  ImportedMetafile Import() {
    Record(emf::EMR_EOF, Fields({0, 0, 20}));
    return ImportMetafile(bytes_);
  }
  std::string_view Head() const { return bytes_; }

 private:
  std::string bytes_;
};

// Sizes whose arithmetic would pass 32 bits: no picture, never one of a wrapped size.
TEST(CraftedMetafile, SizesBeyondThirtyTwoBitsAreNoPicture) {
  const struct {
    const char* what;
    std::initializer_list<int32_t> bounds, frame;
    bool frameFits;  // the header alone tells a size
  } cases[] = {
      {"bounds over the whole range", {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 5000, 5000}, true},
      {"bounds up to the largest value", {0, 0, INT32_MAX, INT32_MAX}, {0, 0, 5000, 5000}, true},
      {"frame over the whole range", {0, 0, 199, 199}, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, false},
      {"frame up to the largest value", {0, 0, 199, 199}, {0, 0, INT32_MAX, INT32_MAX}, false},
      {"frame down to the smallest value", {0, 0, 199, 199}, {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}, false},
  };
  for (const auto& c : cases) {
    CraftedEmf file(c.bounds, c.frame);
    // The caption comes from the header alone: it must not offer a size that is not one.
    EXPECT_EQ(ReadMetafileHeader(file.Head()).has_value(), c.frameFits) << c.what;
    EXPECT_EQ(file.Import().outcome, ImportOutcome::Damaged) << c.what;
  }
  // The largest frame that fits is a size.
  const auto largest = ReadMetafileHeader(CraftedEmf({0, 0, 199, 199}, {0, 0, INT32_MAX - 1, 5000}).Head());
  ASSERT_TRUE(largest);
  EXPECT_EQ(largest->width, INT32_MAX - 1);
}

// Polygons in each of the enhanced format's four records, with the fill mode in force; counts
// that promise more than the record holds are damage, not a read past it.
TEST(CraftedMetafile, PolygonsReadInEveryFormWithTheirFillMode) {
  auto pts16 = [](std::initializer_list<int32_t> xy) {
    std::string out;
    for (int32_t v : xy)
      for (int i = 0; i < 2; ++i) out.push_back(static_cast<char>(static_cast<uint32_t>(v) >> (8 * i)));
    return out;
  };
  const std::string bounds = CraftedEmf::Fields({0, 0, 100, 100});
  const struct {
    const char* what;
    uint32_t type;
    std::string fields;
    std::vector<uint32_t> counts;
    bool winding;
  } cases[] = {
      {"EMR_POLYGON16", emf::EMR_POLYGON16, bounds + CraftedEmf::Fields({3}) + pts16({1, 2, 30, 2, 1, 40}), {3}, false},
      {"EMR_POLYGON", emf::EMR_POLYGON, bounds + CraftedEmf::Fields({3, 1, 2, 30, 2, 1, 40}), {3}, true},
      {"EMR_POLYPOLYGON16", emf::EMR_POLYPOLYGON16,
       bounds + CraftedEmf::Fields({2, 7, 3, 4}) + pts16({1, 2, 30, 2, 1, 40, 50, 50, 60, 50, 60, 60, 50, 60}), {3, 4}, false},
      {"EMR_POLYPOLYGON", emf::EMR_POLYPOLYGON,
       bounds + CraftedEmf::Fields({1, 3, 3, 1, 2, 70000, 2, 1, 40}), {3}, true},
  };
  for (const auto& c : cases) {
    CraftedEmf file({0, 0, 199, 199}, {0, 0, 5000, 5000});
    if (c.winding) file.Record(emf::EMR_SETPOLYFILLMODE, CraftedEmf::Fields({WINDING}));
    const ImportedMetafile read = file.Record(c.type, c.fields).Import();
    ASSERT_EQ(read.outcome, ImportOutcome::Read) << c.what;
    ASSERT_EQ(read.picture.content->polygons.size(), 1u) << c.what;
    const PolygonSet& set = *read.picture.content->polygons[0];
    EXPECT_EQ(set.counts, c.counts) << c.what;
    EXPECT_EQ(set.winding, c.winding) << c.what;
    EXPECT_EQ(set.points[1], (PicturePoint{c.type == emf::EMR_POLYPOLYGON ? 70000 : 30, 2})) << c.what;
  }
  // Three polygons of a million corners each, in a record of a few bytes.
  CraftedEmf damaged({0, 0, 199, 199}, {0, 0, 5000, 5000});
  EXPECT_EQ(damaged.Record(emf::EMR_POLYPOLYGON16, bounds + CraftedEmf::Fields({3, 3000000, 1000000, 1000000, 1000000}))
                .Import()
                .outcome,
            ImportOutcome::Damaged);
  CraftedEmf many({0, 0, 199, 199}, {0, 0, 5000, 5000});
  EXPECT_EQ(many.Record(emf::EMR_POLYPOLYGON, bounds + CraftedEmf::Fields({0x40000000, 0})).Import().outcome,
            ImportOutcome::Damaged);
}

// The writers' polygons read back as they were: ALTERNATE sets without a mode record, a
// WINDING one after its own, in both formats.
TEST(MetafileImportPolygons, WrittenSetsReadBackTheSame) {
  auto content = std::make_shared<PictureContent>();
  content->ops.emplace_back(op::Brush{FillStyle::Solid, Rgb{10, 20, 30}});
  content->ops.emplace_back(op::Pen{FillStyle::None, kBlack, 1});
  for (const bool winding : {false, true}) {
    auto set = std::make_shared<PolygonSet>();
    set->points = {{10, 10}, {100, 10}, {10, 90}, {200, 200}, {300, 200}, {300, 300}, {200, 300}};
    set->counts = {3, 4};
    set->winding = winding;
    set->Close();
    content->polygons.push_back(set);
    content->ops.emplace_back(op::Polygons{static_cast<uint32_t>(content->polygons.size() - 1)});
  }
  PictureSnapshot picture;
  picture.content = content;
  picture.frame = {52917, 52917};
  for (const auto& bytes : {EncodeEmf(picture), EncodeWmf(picture)}) {
    const ImportedMetafile read = ImportMetafile(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    ASSERT_EQ(read.outcome, ImportOutcome::Read);
    ASSERT_EQ(read.picture.content->polygons.size(), 2u);
    for (size_t k = 0; k < 2; ++k) {
      EXPECT_EQ(read.picture.content->polygons[k]->points, content->polygons[k]->points);
      EXPECT_EQ(read.picture.content->polygons[k]->counts, content->polygons[k]->counts);
      EXPECT_EQ(read.picture.content->polygons[k]->winding, content->polygons[k]->winding);
    }
  }
}

// A text's width is the sum of its advances, held at the 32-bit limits; advances the file leaves
// out are half the font's height, however large that is.
TEST(CraftedMetafile, TextWidthsHoldAtTheLimits) {
  const struct {
    const char* what;
    int32_t fontHeight;
    std::initializer_list<int32_t> advances;
    std::vector<int32_t> read;
    int32_t width;
  } cases[] = {
      {"given advances", -12, {7, 8, 9}, {7, 8, 9}, 24},
      {"no advances", -12, {}, {6, 6, 6}, 18},
      {"no advances, the most negative height", INT32_MIN, {}, {1 << 30, 1 << 30, 1 << 30}, INT32_MAX},
      {"no advances, the largest height", INT32_MAX, {}, {(1 << 30) - 1, (1 << 30) - 1, (1 << 30) - 1}, INT32_MAX},
      {"advances beyond the largest width", -12, {INT32_MAX, INT32_MAX, 5}, {INT32_MAX, INT32_MAX, 5}, INT32_MAX},
      {"advances beyond the smallest width", -12, {INT32_MIN, -1, 0}, {INT32_MIN, -1, 0}, INT32_MIN},
      {"advances that cancel out", -12, {INT32_MAX, INT32_MIN, 1}, {INT32_MAX, INT32_MIN, 1}, 0},
  };
  for (const auto& c : cases) {
    const auto picture = Drawn(CraftedEmf({0, 0, 199, 199}, {0, 0, 5000, 5000}).Font(c.fontHeight).Text(c.advances).Import());
    ASSERT_TRUE(picture) << c.what;
    ASSERT_EQ(picture->content->texts.size(), 1u) << c.what;
    EXPECT_EQ(picture->content->texts[0].advances, c.read) << c.what;
    EXPECT_EQ(picture->content->texts[0].width, c.width) << c.what;
  }
}

// Coordinates are taken relative to the bounds' corner; one that lies beyond 32 bits from it stays
// as far out as 32 bits allow, on its own side, instead of wrapping round onto the picture.
TEST(CraftedMetafile, FarCoordinatesStayOnTheirSide) {
  const int32_t left = INT32_MAX - 1999, top = INT32_MIN;
  const auto picture = Drawn(CraftedEmf({left, top, INT32_MAX, top + 1999}, {0, 0, 5000, 5000})
                           .Record(emf::EMR_RECTANGLE, CraftedEmf::Fields({left + 10, top + 10, INT32_MIN, INT32_MAX}))
                           .Record(emf::EMR_MOVETOEX, CraftedEmf::Fields({INT32_MIN, INT32_MAX}))
                           .Import());
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 2000);
  std::vector<std::string> drawn;
  for (const auto& o : ::ternova::testing::FlatOperations(*picture->content)) {
    if (const auto* r = std::get_if<op::Rectangle>(&o))
      drawn.push_back(std::to_string(r->x1) + " " + std::to_string(r->y1) + " " + std::to_string(r->x2) + " " +
                      std::to_string(r->y2));
    else if (const auto* m = std::get_if<op::MoveTo>(&o))
      drawn.push_back(std::to_string(m->x) + " " + std::to_string(m->y));
  }
  EXPECT_EQ(drawn, (std::vector<std::string>{"10 10 " + std::to_string(INT32_MIN) + " " + std::to_string(INT32_MAX),
                                             std::to_string(INT32_MIN) + " " + std::to_string(INT32_MAX)}));
}

TEST(MetafileImportText, TextsAndFaceNamesReadBackInTheirFontsCodePages) {
  auto c = std::make_shared<PictureContent>();
  c->fonts = {FontSpec{"Arial \xF0\x9F\x98\x80", -12, 400, false, kBlack}, FontSpec{"ＭＳ Ｐゴシック", -12, 400, true, kBlack}};
  auto text = [&](const std::u16string& chars) {
    c->texts.push_back({chars, std::vector<int32_t>(chars.size(), 7), static_cast<int32_t>(7 * chars.size())});
    return static_cast<uint32_t>(c->texts.size() - 1);
  };
  c->ops.push_back(op::Font{0});
  c->ops.push_back(op::TextOut{10, 10, text(u"€ “café”")});
  c->ops.push_back(op::Font{1});
  c->ops.push_back(op::TextOut{10, 40, text(u"花崗岩 ｱ")});
  c->ops.push_back(op::Font{0});
  c->texts.push_back({u"x\U0001F600", {7, 9, 0}, 16});  // a pair's advance on its first unit
  c->ops.push_back(op::TextOut{10, 70, 2});
  PictureSnapshot snapshot;
  snapshot.content = c;
  // WMF advances come one per byte: with double-byte characters they cannot be matched to the
  // characters, and each is taken as half the font's height.
  const struct {
    const char* format;
    std::vector<uint8_t> bytes;
    const char* westernFace;
    std::vector<int32_t> japaneseAdvances;
    std::u16string pair;
    std::vector<int32_t> pairAdvances;
  } cases[] = {
      // UTF-16 throughout, surrogate pairs included.
      {"EMF", EncodeEmf(snapshot), "Arial \xF0\x9F\x98\x80", {7, 7, 7, 7, 7}, u"x\U0001F600", {7, 9, 0}},
      // Code page 1252 has no emoji.
      {"WMF", EncodeWmf(snapshot), "Arial ?", {6, 6, 6, 6, 6}, u"x?", {7, 9}},
  };
  for (const auto& k : cases) {
    const auto back = Drawn(ImportMetafile(View(k.bytes)));
    ASSERT_TRUE(back) << k.format;
    ASSERT_EQ(back->content->texts.size(), 3u) << k.format;
    EXPECT_EQ(back->content->texts[0].chars, u"€ “café”") << k.format;
    EXPECT_EQ(back->content->texts[1].chars, u"花崗岩 ｱ") << k.format;
    EXPECT_EQ(back->content->texts[0].advances, std::vector<int32_t>(8, 7)) << k.format;
    EXPECT_EQ(back->content->texts[1].advances, k.japaneseAdvances) << k.format;
    EXPECT_EQ(back->content->texts[1].width, 5 * k.japaneseAdvances[0]) << k.format;
    EXPECT_EQ(back->content->texts[2].chars, k.pair) << k.format;
    EXPECT_EQ(back->content->texts[2].advances, k.pairAdvances) << k.format;
    EXPECT_EQ(back->content->texts[2].width, 16) << k.format;
    ASSERT_GE(back->content->fonts.size(), 2u) << k.format;
    EXPECT_EQ(back->content->fonts[0].face, k.westernFace) << k.format;
    EXPECT_EQ(back->content->fonts[1].face, "ＭＳ Ｐゴシック") << k.format;
  }
}

}  // namespace
}  // namespace ternova
