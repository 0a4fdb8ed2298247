#include "picture/metafile_import.h"

#include <gtest/gtest.h>

#include "diagram/projection.h"
#include "plot/layers.h"
#include "picture/emf_writer.h"
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
  std::optional<PictureSnapshot> RoundTrip(const std::vector<uint8_t>& bytes) {
    return ImportMetafile(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
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
  EXPECT_FALSE(RoundTrip(emf));
  std::vector<uint8_t> wmf = EncodeWmf(Snapshot(picture));
  wmf[22 + 18] = 0xFF;  // the first record claims more than the file holds
  wmf[22 + 19] = 0xFF;
  wmf[22 + 20] = 0xFF;
  EXPECT_FALSE(RoundTrip(wmf));
  EXPECT_FALSE(ImportMetafile("not a picture at all"));
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

// A reader with little time gives up on a long file instead of reading it to its end.
TEST_F(MetafileImport, ASpentBudgetReadsNoPicture) {
  auto many = std::make_shared<PictureContent>();
  for (int i = 0; i < 5000; ++i) many->ops.push_back(op::Ellipse{i % 2000, 0, i % 2000 + 6, 6});
  PictureSnapshot snapshot = Snapshot(picture);
  snapshot.content = many;
  for (const std::vector<uint8_t>& bytes : {EncodeEmf(snapshot), EncodeWmf(snapshot)}) {
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    WorkBudget spent(std::chrono::nanoseconds(0)), ample(std::chrono::minutes(1));
    EXPECT_FALSE(ImportMetafile(view, &spent));
    EXPECT_TRUE(ImportMetafile(view, &ample));
  }
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
    const auto back = ImportMetafile(std::string_view(reinterpret_cast<const char*>(k.bytes.data()), k.bytes.size()));
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
