// Grouping samples by a column: which rows share a group, the groups' order and colours, and the
// "other" entry where there are more groups than colours.
#include "plot/groups.h"

#include <gtest/gtest.h>

#include "plot/plot.h"

namespace ternova {
namespace {

struct Expected {
  std::string key;
  int32_t count;
  int colour;  // index into the palette; -1: the "other" grey
};

class Grouped : public ::testing::Test {
 protected:
  // One line per note; the amounts do not matter.
  void Load(std::initializer_list<const char*> notes) {
    std::string text;
    for (const char* note : notes) text += std::string("1\t2\t3\t4\t") + note + "\n";
    ASSERT_FALSE(plot.LoadText(text, '.').error);
  }
  void ExpectGroups(const Grouping& g, const std::vector<Expected>& want, std::span<const Rgb> palette) {
    ASSERT_EQ(g.groups.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(g.groups[i].key, want[i].key) << i;
      EXPECT_EQ(g.groups[i].count, want[i].count) << i;
      EXPECT_EQ(g.groups[i].other, want[i].colour < 0) << i;
      EXPECT_EQ(g.groups[i].colour, want[i].colour < 0 ? kOtherGroup : palette[want[i].colour]) << i;
    }
  }
  Plot plot;
};

TEST_F(Grouped, EqualCellsShareAGroupInTheOrderTheyFirstComeAndAnEmptyCellIsOne) {
  Load({"basalt", "peridotite", "basalt", "", "\xe7\x8e\x84\xe6\xad\xa6\xe5\xb2\xa9", "peridotite", ""});
  const Grouping g = GroupSamples(plot.Cells, plot.Table.SampleCount, 5);
  EXPECT_EQ(g.column, 5);
  ExpectGroups(g, {{"basalt", 2, 0}, {"peridotite", 2, 1}, {"", 2, 2}, {"\xe7\x8e\x84\xe6\xad\xa6\xe5\xb2\xa9", 1, 3}},
               kGroupPalette);
  EXPECT_EQ(std::vector<uint32_t>(g.entryOfRow.begin(), g.entryOfRow.end()), (std::vector<uint32_t>{0, 1, 0, 2, 3, 1, 2}));
}

TEST_F(Grouped, PastThePalettesSizeTheLargestKeepTheirColoursAndTheRestAreOther) {
  const Rgb two[] = {{1, 1, 1}, {2, 2, 2}};
  Load({"a", "b", "c", "c", "d", "d", "b", "e"});
  // b, c and d are the largest; of those that tie, the first to come keep the colours.
  const Grouping g = GroupSamples(plot.Cells, plot.Table.SampleCount, 5, two);
  ExpectGroups(g, {{"b", 2, 0}, {"c", 2, 1}, {"", 4, -1}}, two);
  EXPECT_EQ(std::vector<uint32_t>(g.entryOfRow.begin(), g.entryOfRow.end()), (std::vector<uint32_t>{2, 0, 1, 1, 2, 2, 0, 2}));
}

TEST_F(Grouped, AColumnOfNamesGivesTheOtherEntryNotALegendPerSample) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "1\t2\t3\t4\tsample " + std::to_string(i) + (i % 3 ? "" : "\tbig") + "\n";
  ASSERT_FALSE(plot.LoadText(text, '.').error);
  const Grouping names = GroupSamples(plot.Cells, plot.Table.SampleCount, 5);
  ASSERT_EQ(names.groups.size(), std::size(kGroupPalette) + 1);
  EXPECT_EQ(names.groups.back().count, 20000 - static_cast<int32_t>(std::size(kGroupPalette)));
  // A further field, present on every third line.
  const Grouping sixth = GroupSamples(plot.Cells, plot.Table.SampleCount, 6);
  ExpectGroups(sixth, {{"big", 6667, 0}, {"", 13333, 1}}, kGroupPalette);
}

TEST(GroupPalette, NoColourCanPassForTheHighlightRedOrTheOutline) {
  for (const Rgb& c : kGroupPalette) {
    // Far from pure red, and not near black or white.
    const int dr = 255 - c.r, dg = c.g, db = c.b;
    EXPECT_GT(dr * dr + dg * dg + db * db, 120 * 120) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    EXPECT_GT(c.r + c.g + c.b, 90);
    EXPECT_LT(c.r + c.g + c.b, 700);
  }
}

}  // namespace
}  // namespace ternova
