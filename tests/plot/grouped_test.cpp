// Samples coloured by a column: each disc in its group's colour in the design's drawing order,
// the legend in the corner the net leaves free, hidden groups neither drawn nor found.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "plot/plot.h"
#include "tests/fixed_advance.h"

namespace ternova {
namespace {

struct PlacedDisc {
  op::Ellipse box;
  Rgb colour;
};

// The discs a recording draws, in order, each with the brush it is filled with.
std::vector<PlacedDisc> DiscsOf(const PictureContent& c, size_t from) {
  std::vector<PlacedDisc> discs;
  Rgb brush = kWhite;
  ForEachOperation(c, from, c.ops.size(),
                   Overloaded{[&](const op::Brush& b) { brush = b.colour; },
                              [&](const op::Ellipse& e) { discs.push_back({e, brush}); }, [](const auto&) {}});
  return discs;
}

std::vector<std::string> TextsOf(const PictureContent& c) {
  std::vector<std::string> out;
  for (const PictureOp& o : c.ops)
    if (const auto* t = std::get_if<op::TextOut>(&o)) out.push_back(Utf8FromUtf16(c.texts[t->text].chars));
  return out;
}

class GroupedDrawing : public ::testing::Test {
 protected:
  void SetUp() override { env.metrics = &metrics; }
  // Rows 1..6 in three groups by note, interleaved, with a field 6 of their own; row 5's note empty.
  void LoadSuites() {
    ASSERT_FALSE(plot.LoadText("45\t8\t38\t8\tperidotite\tA\n"
                               "50\t26\t8\t10\tbasalt\tB\n"
                               "44\t9\t37\t9\tperidotite\tA\n"
                               "49\t25\t9\t11\tbasalt\tA\n"
                               "60\t22\t5\t7\n"
                               "46\t8\t36\t9\tperidotite\tB\tx\n",
                               '.')
                     .error);
  }
  std::vector<PlacedDisc> Draw(const ViewState& view) {
    const Drawn d = plot.Draw(view, env);
    return DiscsOf(*plot.Picture.Content(), d.firstSymbolOp);
  }

  testing::FixedAdvance metrics{20};
  SurfaceEnvironment env;
  Plot plot;
};

TEST_F(GroupedDrawing, EachDiscTakesItsGroupsColourInTheDesignsOrderAndTheHighlightStaysRedAtDoubleSize) {
  LoadSuites();
  const Rgb peridotite = kGroupPalette[0], basalt = kGroupPalette[1], empty = kGroupPalette[2];
  const Rgb byNote[] = {peridotite, basalt, peridotite, basalt, empty, peridotite};
  const Rgb byField6[] = {kGroupPalette[0], kGroupPalette[1], kGroupPalette[0], kGroupPalette[0], kGroupPalette[2],
                          kGroupPalette[1]};
  struct Case {
    int32_t column, selected;
    const Rgb* colours;
  } cases[] = {{5, 0, byNote}, {5, 4, byNote}, {6, 2, byField6}};
  for (const Case& c : cases) {
    ViewState view;
    view.ColourBy = c.column;
    view.SelectedSample = c.selected;
    const std::vector<PlacedDisc> discs = Draw(view);
    ASSERT_EQ(discs.size(), 24u) << c.column;
    size_t k = 0;
    for (int face = 1; face <= 4; ++face)
      for (int32_t row = 1; row <= 6; ++row, ++k) {
        const Point p = plot.Table.SamplePoints[row][face];
        const int32_t r = row == c.selected ? 12 : 6;
        EXPECT_EQ(discs[k].box.x1, p.x - r) << "face " << face << " row " << row;
        EXPECT_EQ(discs[k].box.y2, p.y + r) << "face " << face << " row " << row;
        const Rgb want = row == c.selected ? kRed : c.colours[row - 1];
        EXPECT_EQ(discs[k].colour, want) << "column " << c.column << " face " << face << " row " << row;
      }
  }
}

TEST_F(GroupedDrawing, HiddenGroupsAreNeitherDrawnNorFoundAndTheLegendGreysThem) {
  LoadSuites();
  ViewState view;
  view.ColourBy = 5;
  view.HiddenGroups = {"basalt"};
  const std::vector<PlacedDisc> discs = Draw(view);
  EXPECT_EQ(discs.size(), 16u);  // rows 2 and 4 on no face
  for (const PlacedDisc& d : discs) EXPECT_NE(d.colour, kGroupPalette[1]);
  const Point basalt = plot.Table.SamplePoints[2][1], peridotite = plot.Table.SamplePoints[1][1];
  EXPECT_EQ(plot.SymbolAt(basalt.x, basalt.y).row, 0);
  EXPECT_EQ(plot.SymbolAt(peridotite.x, peridotite.y).row, 1);
  const std::vector<LegendEntry> legend = plot.Legend(view);
  ASSERT_EQ(legend.size(), 3u);
  EXPECT_FALSE(legend[0].hidden);
  EXPECT_TRUE(legend[1].hidden);
  // A hidden sample stays hidden when selected; the others keep their colours.
  view.SelectedSample = 2;
  EXPECT_EQ(Draw(view).size(), 16u);
  EXPECT_FALSE(plot.SampleColour(view, 2));
  EXPECT_EQ(plot.SampleColour(view, 1), kGroupPalette[0]);
  // The legend line of a group is where a click finds it.
  const LegendBox line = plot.LastDrawn().legend.at(1);
  EXPECT_EQ(plot.LegendEntryAt((line.x0 + line.x1) / 2.0, (line.y0 + line.y1) / 2.0), 1);
  EXPECT_EQ(plot.LegendEntryAt(peridotite.x, peridotite.y), -1);
}

TEST_F(GroupedDrawing, TheDensityViewCountsOnlyTheShownGroupsAtEveryMagnification) {
  LoadSuites();
  auto total = [](const DensityField& field) {
    uint64_t sum = 0;
    for (const CellCounts& c : field.faces) {
      for (uint32_t v : c.up) sum += v;
      for (uint32_t v : c.down) sum += v;
    }
    return sum;
  };
  ViewState view;
  view.ColourBy = 5;
  view.Density = 25;
  EXPECT_EQ(total(plot.Density(view).field), 24u);  // 6 samples on 4 faces
  view.HiddenGroups = {"basalt"};
  EXPECT_EQ(total(plot.Density(view).field), 16u);
  // Magnified 4 times over the whole net: a lattice 4 times as fine, the same samples.
  const std::shared_ptr<const DensityCells> shown = plot.ShownDensity(view, 4, {0, 0, 2000, 2000});
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->field.divisions, 100);
  EXPECT_EQ(total(shown->field), 16u);
  // Coloured by the whole view's scale, each sample standing for the 16 cells it has become.
  EXPECT_EQ(shown->field.maxCount, plot.Density(view).field.maxCount);
  EXPECT_EQ(shown->field.weight, 16u);
  // Below twice the size the view's own cells serve; past 64 times the finest lattice stays.
  EXPECT_FALSE(plot.ShownDensity(view, 1.9, {0, 0, 2000, 2000}));
  EXPECT_EQ(plot.ShownDensity(view, 64, {900, 900, 1000, 1000})->field.divisions, 25 * 64);
  view.HiddenGroups.clear();
  EXPECT_EQ(total(plot.ShownDensity(view, 2, {0, 0, 2000, 2000})->field), 24u);
}

TEST_F(GroupedDrawing, AMagnifiedCellHasOneColourWhateverRegionWasCounted) {
  // 100 samples at one point, 5 at another and 2 beside them.
  std::string text;
  for (int k = 0; k < 100; ++k) text += "50\t20\t20\t10\n";
  for (int k = 0; k < 5; ++k) text += "30\t30\t30\t10\n";
  for (int k = 0; k < 2; ++k) text += "30.3\t30\t29.7\t10\n";
  ASSERT_FALSE(plot.LoadText(text, '.').error);
  ViewState view;
  view.Density = 50;
  const Point p = plot.Table.SamplePoints[1][1], q = plot.Table.SamplePoints[101][1], r = plot.Table.SamplePoints[106][1];
  auto around = [](std::initializer_list<Point> points) {
    DisplayBox box{INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN};
    for (const Point& c : points)
      box = {std::min<int64_t>(box.x0, c.x - 20), std::min<int64_t>(box.y0, c.y - 20), std::max<int64_t>(box.x1, c.x + 20),
             std::max<int64_t>(box.y1, c.y + 20)};
    return box;
  };
  const std::shared_ptr<const DensityCells> near = plot.ShownDensity(view, 8, around({q, r}));
  const std::shared_ptr<const DensityCells> wide = plot.ShownDensity(view, 8, around({p, q, r}));
  ASSERT_TRUE(near && wide);
  ASSERT_NE(near, wide);
  const std::optional<Cell> cell = CellOf(30, 30, 30, 400);
  ASSERT_TRUE(cell);
  ASSERT_EQ(near->field.faces[0].Count(*cell), 5u);
  ASSERT_EQ(wide->field.faces[0].Count(*cell), 5u);
  EXPECT_EQ(DensityColour(near->field, 5), DensityColour(wide->field, 5));
}

TEST_F(GroupedDrawing, TheLegendNamesEachGroupWithItsCountInTheCornerTheNetLeavesFree) {
  LoadSuites();
  ViewState view;
  view.ColourBy = 5;
  Draw(view);
  const std::vector<std::string> texts = TextsOf(*plot.Picture.Content());
  // The six labels, then the legend in first-appearance order, the empty note as "(空欄)".
  ASSERT_EQ(texts.size(), 9u);
  EXPECT_EQ(texts[6], "peridotite (3)");
  EXPECT_EQ(texts[7], "basalt (2)");
  EXPECT_EQ(texts[8], "(空欄) (1)");
  // Every line lies left of the net's left edge at its top, and inside the picture.
  const DiagramGeometry& g = plot.Geometry;
  for (const LegendBox& b : plot.LastDrawn().legend) {
    const double edge = g.VertexFeO2.x + double(b.y0 - g.VertexFeO2.y) * (g.VertexFeO3.x - g.VertexFeO2.x) /
                                             (g.VertexFeO3.y - g.VertexFeO2.y);
    EXPECT_LT(b.x1, edge);
    EXPECT_GE(b.x0, 0);
    EXPECT_LE(b.y1, 2000);
    EXPECT_GT(b.y0, g.VertexFeO2.y);
  }
  // Without a grouping there is no legend and no text beyond the labels.
  Draw(ViewState{});
  EXPECT_EQ(TextsOf(*plot.Picture.Content()).size(), 6u);
  EXPECT_TRUE(plot.LastDrawn().legend.empty());
}

TEST_F(GroupedDrawing, CellsOfAnyTextAreShownPlainAndCutToTheirLine) {
  const std::string huge(100'000, 'x');
  const std::string text = "1\t2\t3\t4\t<b>bold</b> & \"q\"\n"
                           "1\t2\t3\t5\tbell\a\x1b[31mred\n"
                           "1\t2\t3\t6\t" + huge + "\n"
                           "1\t2\t3\t7\tかんらん岩\n";
  ASSERT_FALSE(plot.LoadText(text, '.').error);
  ViewState view;
  view.ColourBy = 5;
  Draw(view);
  const std::vector<std::string> texts = TextsOf(*plot.Picture.Content());
  ASSERT_EQ(texts.size(), 10u);
  EXPECT_EQ(texts[6], "<b>bold</b> & \"q\" (1)");
  EXPECT_EQ(texts[7], "bell<U+0007><U+001B>[31mred (1)");
  // Cut with an ellipsis to what its line holds: 20 units a character here.
  const LegendBox& line = plot.LastDrawn().legend.at(2);
  EXPECT_LT(texts[8].size(), 100u);
  EXPECT_EQ(texts[8].substr(texts[8].size() - 7), "\u2026 (1)");
  EXPECT_LE(line.x1 - line.x0, 1000);
  EXPECT_EQ(texts[9], "かんらん岩 (1)");
  // Japanese text takes the Japanese face, which holds it in every format.
  const PictureContent& c = *plot.Picture.Content();
  uint32_t font = 0;
  bool japaneseFace = false;
  for (const PictureOp& o : c.ops) {
    if (const auto* f = std::get_if<op::Font>(&o)) font = f->font;
    if (const auto* t = std::get_if<op::TextOut>(&o); t && Utf8FromUtf16(c.texts[t->text].chars) == texts[9])
      japaneseFace = c.fonts[font].japanese;
  }
  EXPECT_TRUE(japaneseFace);
}

TEST(LegendText, NamesAreCutWithAnEllipsisToTheWidthAndTheCountStaysWhole) {
  const auto measure = [](std::string_view t) {
    return static_cast<int32_t>(10 * std::count_if(t.begin(), t.end(), [](char c) { return (c & 0xC0) != 0x80; }));
  };
  const struct {
    std::string name;
    int32_t count, width;
    std::string want;
  } cases[] = {
      {"basalt", 12, 1000, "basalt (12)"},
      {"basalt", 12, 110, "basalt (12)"},
      {"basalt", 12, 100, "basa\u2026 (12)"},
      {"かんらん岩", 3, 70, "かん\u2026 (3)"},
      {"basalt", 12, 0, "\u2026 (12)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FittedLegendText({c.name, c.count, kBlue, false}, c.width, measure), c.want) << c.name << " " << c.width;
}

TEST_F(GroupedDrawing, AColumnOfDistinctValuesGivesTheOtherEntryNotALegendPerSample) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "45\t8\t38\t8\tsample " + std::to_string(i) + "\n";
  ASSERT_FALSE(plot.LoadText(text, '.').error);
  ViewState view;
  view.ColourBy = 5;
  const std::vector<LegendEntry> legend = plot.Legend(view);
  ASSERT_EQ(legend.size(), std::size(kGroupPalette) + 1);
  EXPECT_EQ(legend.back().text, "その他");
  EXPECT_EQ(legend.back().count, 5000 - static_cast<int32_t>(std::size(kGroupPalette)));
  EXPECT_EQ(legend.back().colour, kOtherGroup);
  // Hiding "other" hides every sample in it.
  view.HiddenGroups = {kOtherGroupKey};
  EXPECT_EQ(Draw(view).size(), 4 * std::size(kGroupPalette));
}

TEST_F(GroupedDrawing, FieldsAreCountedOnceAndAnEmptyFieldIsItsOwnGroup) {
  LoadSuites();
  EXPECT_EQ(plot.FieldCount(), 7);
  ViewState view;
  view.ColourBy = 9;  // no row has it: one group of empty cells
  const std::vector<LegendEntry> legend = plot.Legend(view);
  ASSERT_EQ(legend.size(), 1u);
  EXPECT_EQ(legend[0].count, 6);
  ASSERT_FALSE(plot.LoadText("1\t2\t3\t4\n", '.').error);
  EXPECT_EQ(plot.FieldCount(), 4);
}

}  // namespace
}  // namespace ternova

namespace ternova {
namespace {

// A large column is grouped on two cores: the halves' keys must join in first-appearance order,
// counts and rows as one pass gives them.
TEST(GroupingLargeTables, TwoHalvesGroupAsOnePass) {
  Plot plot;
  std::string text;
  const int32_t rows = 300'001;
  std::vector<std::string> keyOf;
  for (int32_t r = 1; r <= rows; ++r) {
    // Keys 0..10 appear only in the second half, first key 11 comes last.
    const int32_t k = r <= rows / 2 ? 11 + r % 5 : r == rows ? 30 : r % 17;
    keyOf.push_back("k" + std::to_string(k));
    text += "1\t2\t3\t4\t" + keyOf.back() + "\n";
  }
  ASSERT_FALSE(plot.LoadText(text, '.').error);
  const Grouping g = GroupSamples(plot.Cells, rows, 5, std::span<const Rgb>(kGroupPalette, 3));
  // First appearances: 11..15 in the first half, then the second half's in its order.
  std::vector<std::string> order;
  std::vector<int32_t> counts;
  for (int32_t r = 1; r <= rows; ++r)
    if (std::find(order.begin(), order.end(), keyOf[r - 1]) == order.end()) order.push_back(keyOf[r - 1]);
  for (const std::string& k : order) counts.push_back(static_cast<int32_t>(std::count(keyOf.begin(), keyOf.end(), k)));
  // The three largest keep colours, in order of first appearance; the rest are "other".
  std::vector<size_t> bySize(order.size());
  for (size_t i = 0; i < bySize.size(); ++i) bySize[i] = i;
  std::stable_sort(bySize.begin(), bySize.end(), [&](size_t a, size_t b) { return counts[a] > counts[b]; });
  std::vector<size_t> kept(bySize.begin(), bySize.begin() + 3);
  std::sort(kept.begin(), kept.end());
  ASSERT_EQ(g.groups.size(), 4u);
  for (size_t e = 0; e < 3; ++e) {
    EXPECT_EQ(g.groups[e].key, order[kept[e]]);
    EXPECT_EQ(g.groups[e].count, counts[kept[e]]);
  }
  EXPECT_TRUE(g.groups[3].other);
  for (int32_t r : {1, 2, rows / 2, rows / 2 + 1, rows / 2 + 2, rows - 1, rows}) {
    const SampleGroup& group = g.groups[g.entryOfRow[static_cast<size_t>(r - 1)]];
    EXPECT_EQ(group.other ? std::string("other") : group.key,
              std::find(kept.begin(), kept.end(),
                        static_cast<size_t>(std::find(order.begin(), order.end(), keyOf[r - 1]) - order.begin())) != kept.end()
                  ? keyOf[r - 1]
                  : std::string("other"))
        << "row " << r;
  }
}

}  // namespace
}  // namespace ternova
