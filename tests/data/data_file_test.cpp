#include "data/data_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace ternova {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  ForEachLine(text, [&](size_t b, size_t e) { out.push_back(text.substr(b, e - b)); });
  EXPECT_EQ(CountLines(text), static_cast<int64_t>(out.size()));
  return out;
}

using V = std::vector<std::string>;

TEST(LineEnds, CrLfLoneLfAndLoneCrEndALine) {
  EXPECT_EQ(Lines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(Lines("a\n\rb"), (V{"a", "", "b"}));  // LF CR is two ends
  EXPECT_EQ(Lines("a\r\r\nb"), (V{"a", "", "b"}));
}

TEST(LineEnds, FinalTerminatorAddsNoLine) {
  EXPECT_EQ(Lines(""), V{});
  EXPECT_EQ(Lines("a\n"), V{"a"});
  EXPECT_EQ(Lines("a\r\n"), V{"a"});
  EXPECT_EQ(Lines("a\n\n"), (V{"a", ""}));
  EXPECT_EQ(Lines("\n"), V{""});
  EXPECT_EQ(Lines("\r\n\r\n"), (V{"", ""}));
}

TEST(LineEnds, LinesAndTheirCountFollowTheRuleOnRandomTexts) {
  std::mt19937 rng(5);
  for (int round = 0; round < 200; ++round) {
    // Short texts and ones past the counter's 4096-byte blocks, with a CR LF across a block's end.
    const size_t n = round % 4 == 0 ? std::uniform_int_distribution<size_t>(4090, 12300)(rng)
                                    : std::uniform_int_distribution<size_t>(0, 40)(rng);
    std::string text(n, 'a');
    for (char& c : text) c = "a\r\n\t"[std::uniform_int_distribution<int>(0, 3)(rng)];
    if (n > 4097 && round % 8 == 0) text.replace(4094, 2, "\r\n");
    std::vector<std::pair<size_t, size_t>> lines, expected;
    ForEachLine(text, [&](size_t b, size_t e) { lines.emplace_back(b, e); });
    ASSERT_EQ(CountLines(text), static_cast<int64_t>(lines.size())) << "round " << round;
    // Byte by byte, as the rule reads.
    for (size_t start = 0, i = 0; i <= n; ++i) {
      if (i < n && text[i] != '\n' && text[i] != '\r') continue;
      if (i < n || start < n) expected.emplace_back(start, i);
      if (i + 1 < n && text[i] == '\r' && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
    ASSERT_EQ(lines, expected) << "round " << round;
  }
}

V Fields(const std::string& line) {
  V out;
  int32_t expected = 0;
  SplitFields(line, 0, line.size(), [&](int32_t k, size_t off, size_t len) {
    EXPECT_EQ(k, ++expected);
    out.push_back(line.substr(off, len));
  });
  return out;
}

TEST(FieldSplitting, RunsOfTabsAndBlanksSeparateOnce) {
  EXPECT_EQ(Fields("1.0\t2.0\t3.0\t4.0\tA"), (V{"1.0", "2.0", "3.0", "4.0", "A"}));
  EXPECT_EQ(Fields("1\t\t2\t3\t4"), (V{"1", "2", "3", "4"}));
  EXPECT_EQ(Fields("1\t \t2"), (V{"1", "2"}));
  EXPECT_EQ(Fields("1\t  2"), (V{"1", "2"}));
}

TEST(FieldSplitting, BlanksBeforeATabStayInTheField) {
  EXPECT_EQ(Fields("  1.5  \t2\t3\t4"), (V{"1.5  ", "2", "3", "4"}));
  EXPECT_EQ(Fields("a b\tc"), (V{"a b", "c"}));
}

TEST(FieldSplitting, LineIsTrimmedOfControlBytesAndBlanks) {
  EXPECT_EQ(Fields("\x01 \t1\t2 \x1f"), (V{"1", "2"}));
  EXPECT_EQ(Fields("   "), V{});
  EXPECT_EQ(Fields(""), V{});
  EXPECT_EQ(Fields("1\t2\t3\t4\tnote\textra\tmore"), (V{"1", "2", "3", "4", "note", "extra", "more"}));
}

class Load : public ::testing::Test {
 protected:
  void LoadText(const std::string& text, char sep = '.') {
    result = LoadDataText(text, {geometry, table, cells}, sep);
  }
  // Loads `text`, which must fail on `row` with `message`, having completed the rows before it.
  void ExpectFailure(const std::string& text, int32_t row, const std::string& message) {
    LoadText(text);
    ASSERT_TRUE(result.error) << "loaded";
    EXPECT_EQ(result.error->Row(), row);
    EXPECT_EQ(std::string(result.error->what()), message);
    EXPECT_EQ(result.completed, row - 1);
    EXPECT_EQ(result.rows, table.SampleCount);
  }
  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  CellStore cells;
  LoadResult result;
};

TEST_F(Load, OneLineFillsCellsValuesAndPoints) {
  LoadText("1.0\t2.0\t3.0\t4.0\tA");
  EXPECT_EQ(table.SampleCount, 1);
  EXPECT_EQ(table.CompletedRows, 1);
  EXPECT_FALSE(result.error);
  EXPECT_EQ(result.rows, 1);
  EXPECT_EQ(result.completed, 1);
  EXPECT_EQ(cells.Get(1, 1), "1.0");
  EXPECT_EQ(cells.Get(5, 1), "A");
  EXPECT_EQ(table.SampleValues[1], (std::array<double, 5>{0, 1, 2, 3, 4}));
  // face 1: ((1433 + 2000 + 1701) / 6, (1000 + 500 + 3000) / 6)
  EXPECT_EQ(table.SamplePoints[1][1], (Point{856, 750}));
}

TEST_F(Load, DoubleTabLeavesTheNoteUnwritten) {
  LoadText("1\t\t2\t3\t4");
  EXPECT_EQ(table.SampleValues[1], (std::array<double, 5>{0, 1, 2, 3, 4}));
  EXPECT_EQ(cells.Get(5, 1), "");
}

TEST_F(Load, HiddenFieldsAreKept) {
  LoadText("1\t2\t3\t4\tn\tsix\tseven\n1\t1\t1\t1\n1\t1\t1\t1\tn\t\t  six b \t\t seven b  \r\n1\t1\t1\t1\tn\tonly");
  const struct { int32_t col, row; const char* text; } cases[] = {
      {6, 1, "six"}, {7, 1, "seven"}, {8, 1, ""}, {6, 2, ""},     {7, 2, ""}, {6, 3, "six b "},
      {7, 3, "seven b"}, {8, 3, ""},  {6, 4, "only"}, {7, 4, ""}, {6, 5, ""}, {6, 0, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(cells.Get(c.col, c.row), c.text) << c.col << ", " << c.row;
}

TEST_F(Load, TextEndsAtTheFirstNul) {
  static const char text[] = "1\t1\t1\t1\n2\t2\t2\t2\0garbage\nmore";
  LoadText(std::string(text, sizeof text - 1));
  EXPECT_EQ(table.SampleCount, 2);
}

TEST_F(Load, EmptyFileHasNoSamples) {
  LoadText("1\t1\t1\t1\n1\t1\t1\t1");
  LoadText("");
  EXPECT_EQ(table.SampleCount, 0);
  EXPECT_EQ(table.SampleValues.size(), 1u);
  EXPECT_EQ(cells.Rows(), 0);
}

TEST_F(Load, ShortLineFailsWithAnEmptyText) {
  ExpectFailure("1\t2\t3", 1, "'' は浮動小数点数ではありません");
}

TEST_F(Load, ExtraLineEndMakesAnEmptyFailingRow) {
  ExpectFailure("1\t2\t3\t4\n\n", 2, "'' は浮動小数点数ではありません");
  EXPECT_EQ(table.SampleCount, 2);
  EXPECT_EQ(table.CompletedRows, 1);
}

TEST_F(Load, Utf8ByteOrderMarkIsDropped) {
  LoadText("\xEF\xBB\xBF" "1\t2\t3\t4");
  ASSERT_FALSE(result.error);
  EXPECT_EQ(cells.Get(1, 1), "1");
  EXPECT_EQ(table.SampleValues[1], (std::array<double, 5>{0, 1, 2, 3, 4}));
}

TEST_F(Load, AmountsFailWithTheirMessages) {
  ExpectFailure("1e500\t1\t1\t1", 1, "浮動小数点数のオーバーフロー");
  ExpectFailure("1e5000\t1\t1\t1", 1, "'1e5000' は浮動小数点数ではありません");
  ExpectFailure("100\t0\t0\t0", 1, "不正な浮動小数点数演算命令");
  ExpectFailure("1\t-1\t0\t5", 1, "0 による浮動小数点数除算");
  ExpectFailure("SiO2\tAl2O3+CaO\tMgO\tFeO\n1\t1\t1\t1", 1, "'SiO2' は浮動小数点数ではありません");
}

TEST_F(Load, ShiftJisCellIsQuotedDecoded) {
  // "石英" in Shift-JIS: the file is not UTF-8, so the message shows it decoded.
  ExpectFailure("1\t1\t1\t1\n\x90\xCE\x89\x70\t1\t1\t1", 2, "'石英' は浮動小数点数ではありません");
}

TEST_F(Load, Utf8CellIsQuotedAsItIs) {
  ExpectFailure("石英\t1\t1\t1", 1, "'石英' は浮動小数点数ではありません");
}

TEST_F(Load, ConversionFailureKeepsWhatCameBefore) {
  LoadText("1\t1\t1\t1\n2\t2\t2\t2\n3\t3\t3\t3");
  const auto oldPoints = table.SamplePoints;
  ExpectFailure("5\t6\t7\t8\n9\tx\t7\t8", 2, "'x' は浮動小数点数ではありません");
  EXPECT_EQ(table.SampleCount, 2);
  EXPECT_EQ(table.CompletedRows, 1);
  EXPECT_EQ(table.SampleValues[2][1], 9);  // converted before the bad one
  EXPECT_EQ(table.SampleValues[2][2], 2);  // not reached: the earlier file's value
  EXPECT_EQ(table.SamplePoints[2], oldPoints[2]);
  EXPECT_EQ(cells.Get(1, 2), "9");  // the failing row's cells stay as written
  EXPECT_EQ(cells.Get(3, 2), "7");
}

TEST_F(Load, ProjectionFailureKeepsTheFacesBeforeIt) {
  LoadText("1\t1\t1\t1");
  ExpectFailure("100\t0\t0\t0", 1, "不正な浮動小数点数演算命令");
  EXPECT_EQ(table.SampleValues[1], (std::array<double, 5>{0, 100, 0, 0, 0}));
  EXPECT_EQ(table.SamplePoints[1][1], (Point{1433, 1000}));
  EXPECT_EQ(table.SamplePoints[1][2], (Point{1433, 1000}));
  EXPECT_EQ(table.SamplePoints[1][3], (Point{567, 500}));  // earlier file's point
  EXPECT_EQ(table.CompletedRows, 0);
}

TEST_F(Load, ShortLineNeverPicksUpAFieldOfAnEarlierFile) {
  LoadText("1\t2\t3\t4\tnote");
  ExpectFailure("1\t2\t3", 1, "'' は浮動小数点数ではありません");
  EXPECT_EQ(cells.Get(5, 1), "");
}

TEST_F(Load, NewRowsAreZeroFilledAndSurplusRowsReleased) {
  LoadText("1\t1\t1\t1\n1\t1\t1\t1\n1\t1\t1\t1");
  ExpectFailure("1\t1\t1\t1\nx", 2, "'x' は浮動小数点数ではありません");
  EXPECT_EQ(table.SampleValues.size(), 3u);
  EXPECT_EQ(table.SamplePoints.size(), 3u);
  table.Resize(5);
  EXPECT_EQ(table.SampleValues[4], (std::array<double, 5>{}));
  EXPECT_EQ(table.SamplePoints[5][4], (Point{}));
  EXPECT_EQ(table.SampleValues[1][1], 1);
}

TEST_F(Load, RowsOfALongerEarlierFileAreClearedWhenTheTableGrowsAgainInPlace) {
  LoadText("2\t2\t2\t2\n2\t2\t2\t2\n2\t2\t2\t2\n2\t2\t2\t2");
  const auto* values = table.SampleValues.data();
  ExpectFailure("1\t1\t1\t1\nx", 2, "'x' は浮動小数点数ではありません");
  EXPECT_EQ(table.SampleValues.size(), 3u);
  EXPECT_EQ(table.SampleValues.data(), values);  // the same arrays, shortened
  table.Resize(4);
  EXPECT_EQ(table.SampleValues.data(), values);
  EXPECT_EQ(table.SampleValues[2][1], 2);  // the failing row keeps what the table held
  EXPECT_EQ(table.SampleValues[3], (std::array<double, 5>{}));
  EXPECT_EQ(table.SampleValues[4], (std::array<double, 5>{}));
  EXPECT_EQ(table.SamplePoints[4][2], (Point{}));
  // Far fewer rows: the arrays are made anew at their size.
  LoadText("1\t1\t1\t1");
  EXPECT_EQ(table.SampleValues.capacity(), 2u);
}

TEST_F(Load, CellsOfAFileOfAnotherLengthGiveTheOldRowsBackBeforeTakingNewOnes) {
  std::string text;
  for (int i = 0; i < 100'000; ++i) text += "1\t1\t1\t1\n";
  LoadText(text);
  text.resize(text.size() - 8 * 10);  // ten lines fewer: the rows' block is as big
  const auto bytes = std::make_shared<FileBytes>(text.begin(), text.end());
  ReleaseKeptBigBlocks();
  cells.Reset(bytes, 99'990);
  EXPECT_EQ(KeptBigBytes(), 0u);
  ReleaseKeptBigBlocks();
}

TEST_F(Load, DecimalSeparatorIsAParameter) {
  LoadText("1,5\t1\t1\t1", ',');
  EXPECT_EQ(table.SampleValues[1][1], 1.5);
}

class LoadFile : public Load {
 protected:
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("ternova-load-" + std::to_string(::getpid()) + "-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
  void SetUp() override { std::filesystem::create_directories(dir); }
  void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(LoadFile, MissingFileLeavesEverythingUnchanged) {
  LoadText("1\t1\t1\t1");
  const std::string path = (dir / "missing.txt").string();
  try {
    (void)LoadDataFile(path, {geometry, table, cells}, '.');
    ADD_FAILURE();
  } catch (const LoadError& e) {
    EXPECT_EQ(std::string(e.what()), "ファイル \"" + path + "\". No such file or directory は開けません");
    EXPECT_EQ(e.Row(), 0);
  }
  EXPECT_EQ(table.SampleCount, 1);
  EXPECT_EQ(cells.Get(1, 1), "1");
}

TEST_F(LoadFile, DirectoryCannotBeOpened) {
  try {
    (void)LoadDataFile(dir.string(), {geometry, table, cells}, '.');
    ADD_FAILURE();
  } catch (const LoadError& e) {
    EXPECT_EQ(std::string(e.what()), "ファイル \"" + dir.string() + "\". Is a directory は開けません");
  }
}

TEST_F(LoadFile, ReadsTheWholeFile) {
  const auto path = dir / "ok.txt";
  std::ofstream(path) << "1\t1\t1\t1\r\n2\t3\t4\t5\r\n";
  result = LoadDataFile(path.string(), {geometry, table, cells}, '.');
  EXPECT_FALSE(result.error);
  EXPECT_EQ(table.SampleCount, 2);
  EXPECT_EQ(table.SampleValues[2][4], 5);
}

TEST_F(LoadFile, ALargeFileReadInTwoHalvesIsTheFileByteForByte) {
  // Odd sizes around the point where two threads start reading, and a line across the halves.
  for (const size_t size : {(size_t{8} << 20) - 1, size_t{8} << 20, (size_t{9} << 20) + 7}) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('0' + (i * 7919 + i / 4093) % 10);
    for (size_t i = 37; i < size; i += 41) text[i] = '\n';
    const auto path = dir / "large.txt";
    std::ofstream(path, std::ios::binary) << text;
    const auto bytes = ReadWholeFile(path.string());
    ASSERT_EQ(bytes->size(), size);
    EXPECT_TRUE(std::equal(bytes->begin(), bytes->end(), text.begin())) << size;
  }
}

}  // namespace
}  // namespace ternova
