// The load parses large files in stretches on several threads. Whatever the file and however it
// is split, the result must be the sequential load's: the same first failing row and message,
// the same cells, and rows after the failure left exactly as the table held them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "data/data_file.h"

namespace ternova {
namespace {

struct Loaded {
  LoadResult result;
  SampleTable table;
  CellStore cells;
};

const DiagramGeometry& Geometry() {
  static const DiagramGeometry geometry = ComputeDiagramGeometry();
  return geometry;
}

// A table that holds `held` rows of an earlier file.
void LoadEarlier(Loaded& out, int32_t held) {
  std::string earlier;
  for (int32_t i = 0; i < held; ++i) earlier += std::to_string(i % 7 + 1) + "\t2\t3\t" + std::to_string(i % 5 + 1) + "\n";
  LoadDataText(earlier, {Geometry(), out.table, out.cells}, '.').ThrowIfFailed();
}

// The load of `text` over a table that holds `held` rows of an earlier file.
Loaded Load(const std::string& text, int32_t held, size_t threads, bool cancel = false) {
  const DiagramGeometry& geometry = Geometry();
  Loaded out;
  LoadEarlier(out, held);
  LoadProgress progress;
  progress.threads = threads;
  progress.cancel = cancel;
  out.result = LoadDataText(text, {geometry, out.table, out.cells}, '.', &progress);
  return out;
}

void ExpectSame(const Loaded& a, const Loaded& b, const std::string& what) {
  EXPECT_EQ(a.result.rows, b.result.rows) << what;
  EXPECT_EQ(a.result.completed, b.result.completed) << what;
  EXPECT_EQ(a.result.cancelled, b.result.cancelled) << what;
  ASSERT_EQ(a.result.error.has_value(), b.result.error.has_value()) << what;
  if (a.result.error) {
    EXPECT_EQ(a.result.error->Row(), b.result.error->Row()) << what;
    EXPECT_STREQ(a.result.error->what(), b.result.error->what()) << what;
  }
  ASSERT_EQ(a.table.SampleCount, b.table.SampleCount) << what;
  EXPECT_EQ(a.table.CompletedRows, b.table.CompletedRows) << what;
  for (int32_t row = 1; row <= a.table.SampleCount; ++row) {
    // Bit for bit: a NaN left by a failed conversion compares equal to itself here.
    EXPECT_EQ(std::memcmp(&a.table.SampleValues[row], &b.table.SampleValues[row], sizeof(a.table.SampleValues[row])), 0)
        << what << " values of row " << row;
    EXPECT_EQ(a.table.SamplePoints[row], b.table.SamplePoints[row]) << what << " points of row " << row;
    for (int32_t col = 1; col <= 7; ++col)
      EXPECT_EQ(a.cells.Get(col, row), b.cells.Get(col, row)) << what << " cell " << col << ", " << row;
  }
}

// Lines of amounts with every kind of line end, blanks and extra fields, and now and then a
// line that fails (a word, an overflow, a blank line, a zero sum).
std::string RandomFile(std::mt19937& rng, int lines, int failures) {
  std::uniform_int_distribution<int> pick(0, 99);
  std::vector<int> failing;
  for (int i = 0; i < failures; ++i) failing.push_back(std::uniform_int_distribution<int>(1, lines)(rng));
  std::string text;
  const char* ends[] = {"\n", "\r\n", "\r"};
  for (int line = 1; line <= lines; ++line) {
    if (std::find(failing.begin(), failing.end(), line) != failing.end()) {
      const char* bad[] = {"x\t1\t1\t1", "1\t1e999\t1\t1", "", "0\t0\t0\t0", "1\t2\t3"};
      text += bad[pick(rng) % 5];
    } else {
      for (int col = 0; col < 4; ++col) {
        if (col) text += '\t';
        text += std::to_string(pick(rng) + 1);
        if (pick(rng) < 20) text += ".5";
      }
      if (pick(rng) < 30) text += "\tnote " + std::to_string(line) + (pick(rng) < 50 ? "\textra\tmore" : "");
    }
    text += ends[pick(rng) % 3];
  }
  if (pick(rng) < 50) text.pop_back();  // no end after the last line
  return text;
}

TEST(ParallelLoad, GivesTheSequentialResultForAnySplit) {
  std::mt19937 rng(11);
  for (int round = 0; round < 60; ++round) {
    const int lines = std::uniform_int_distribution<int>(0, 400)(rng);
    const std::string text = RandomFile(rng, lines, round % 3 == 0 ? 0 : std::uniform_int_distribution<int>(1, 3)(rng));
    const int32_t held = std::uniform_int_distribution<int32_t>(0, 500)(rng);
    const Loaded sequential = Load(text, held, 1);
    for (size_t threads : {2u, 3u, 7u}) {
      const Loaded parallel = Load(text, held, threads);
      ExpectSame(sequential, parallel, "round " + std::to_string(round) + ", " + std::to_string(threads) + " threads");
    }
  }
}

TEST(ParallelLoad, StretchesNeverSplitACrLf) {
  // Every split point the stretches could choose falls on or next to a CR LF.
  std::string text;
  for (int i = 0; i < 50; ++i) text += "1\t2\t3\t4\r\n";
  for (size_t threads = 2; threads <= 40; ++threads)
    ExpectSame(Load(text, 0, 1), Load(text, 0, threads), std::to_string(threads) + " threads");
}

TEST(ParallelLoad, ACancelledLoadIsLeftAsOneThatFailedWhereItStopped) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "1\t2\t3\t4\n";
  for (size_t threads : {1u, 4u}) {
    const Loaded l = Load(text, 120, threads, /*cancel=*/true);
    EXPECT_TRUE(l.result.cancelled);
    ASSERT_TRUE(l.result.error);
    EXPECT_EQ(l.result.error->Row(), 1);
    EXPECT_EQ(l.result.completed, 0);
    EXPECT_EQ(l.table.CompletedRows, 0);
    EXPECT_EQ(l.table.SampleCount, 300);
    // The earlier file's rows keep what they held; no row has cells.
    Loaded before;
    LoadEarlier(before, 120);
    EXPECT_EQ(l.table.SamplePoints[120], before.table.SamplePoints[120]);
    EXPECT_EQ(l.table.SamplePoints[121], (std::array<Point, 5>{}));
    EXPECT_EQ(l.cells.Get(1, 1), "");
    EXPECT_EQ(l.cells.Get(1, 300), "");
  }
}

}  // namespace
}  // namespace ternova
