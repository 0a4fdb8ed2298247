// Files saved by editors and spreadsheets that mark their encoding: they load to what their
// 8-bit twin loads to, and UTF-16 that is no text gets a message instead of a guess.
#include "data/byte_order_mark.h"

#include <gtest/gtest.h>

#include "base/encoding.h"
#include "data/data_file.h"

namespace ternova {
namespace {

std::string Utf16(std::string_view utf8, ByteOrder order, bool mark = true) {
  std::u16string units = Utf16FromUtf8(utf8);
  if (mark) units.insert(units.begin(), u'\uFEFF');
  std::string bytes;
  for (char16_t u : units) {
    const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
    bytes += order == ByteOrder::LittleEndian ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

struct Loaded {
  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  CellStore cells;
  LoadResult result;

  explicit Loaded(std::string_view bytes) { result = LoadDataText(bytes, {geometry, table, cells}, '.'); }
};

// Everything a load shows: the grid's texts (as the grid decodes them), the amounts and points.
void ExpectSameLoad(const Loaded& a, const Loaded& b, const std::string& what) {
  ASSERT_FALSE(a.result.error) << what << ": " << a.result.error->what();
  ASSERT_EQ(a.table.SampleCount, b.table.SampleCount) << what;
  EXPECT_EQ(a.cells.Utf8(), b.cells.Utf8()) << what;
  for (int32_t row = 1; row <= a.table.SampleCount; ++row) {
    for (int32_t col = 1; col <= 7; ++col) EXPECT_EQ(a.cells.Text(col, row), b.cells.Text(col, row)) << what << " " << col << "," << row;
    EXPECT_EQ(a.table.SampleValues[row], b.table.SampleValues[row]) << what << " row " << row;
    EXPECT_EQ(a.table.SamplePoints[row], b.table.SamplePoints[row]) << what << " row " << row;
  }
}

// Amounts, notes in Japanese and beyond the basic plane, hidden fields, every line end.
const std::string kTwin =
    "45.2\t8.1\t38.3\t8.4\t花崗岩\r\n"
    "  1.5  \t2\t\t3\t4\tnote \xF0\x9F\xAA\xA8 pair\tsixth\n"
    "50\t26\t8\t10\r"
    "1e-3\t+2\t3E1\t.5\tlast\r\n";

TEST(ByteOrderMark, MarkedFilesLoadAsTheir8BitTwin) {
  const Loaded twin(kTwin);
  ASSERT_EQ(twin.table.SampleCount, 4);
  ExpectSameLoad(Loaded("\xEF\xBB\xBF" + kTwin), twin, "UTF-8");
  ExpectSameLoad(Loaded(Utf16(kTwin, ByteOrder::LittleEndian)), twin, "UTF-16LE");
  ExpectSameLoad(Loaded(Utf16(kTwin, ByteOrder::BigEndian)), twin, "UTF-16BE");
  EXPECT_EQ(Loaded(Utf16(kTwin, ByteOrder::LittleEndian)).cells.Text(5, 2), "note \xF0\x9F\xAA\xA8 pair");
}

TEST(ByteOrderMark, AShiftJisTwinShowsTheSameNotes) {
  const Loaded sjis("1\t1\t1\t1\t\x89\xd4\x9b\xbc\x8a\xe2\n");  // 花崗岩
  const Loaded utf16(Utf16("1\t1\t1\t1\t花崗岩\n", ByteOrder::LittleEndian));
  EXPECT_FALSE(sjis.cells.Utf8());
  ExpectSameLoad(utf16, Loaded("1\t1\t1\t1\t花崗岩\n"), "UTF-16LE");
  EXPECT_EQ(utf16.cells.Text(5, 1), sjis.cells.Text(5, 1));
}

TEST(ByteOrderMark, OnlyAMarkAtTheVeryStartCounts) {
  const struct { std::string text; int32_t rows; } empty[] = {
      {"\xEF\xBB\xBF", 0}, {"\xFF\xFE", 0}, {"\xFE\xFF", 0}, {"\xEF\xBB\xBF\n", 1}, {Utf16("\n", ByteOrder::BigEndian), 1}};
  for (const auto& c : empty) EXPECT_EQ(Loaded(c.text).table.SampleCount, c.rows) << c.text.size();
  // A second mark, or one on a later line, is part of the field and shown as such.
  const struct { std::string text; int32_t row; const char* message; } failing[] = {
      {"\xEF\xBB\xBF\xEF\xBB\xBF" "1\t2\t3\t4", 1, "'<U+FEFF>1' は浮動小数点数ではありません"},
      {"1\t1\t1\t1\n\xEF\xBB\xBF" "2\t2\t2\t2", 2, "'<U+FEFF>2' は浮動小数点数ではありません"},
      {Utf16("1\t1\t1\t1\r\n\uFEFF2\t2\t2\t2", ByteOrder::LittleEndian), 2, "'<U+FEFF>2' は浮動小数点数ではありません"},
  };
  for (const auto& c : failing) {
    const Loaded load(c.text);
    ASSERT_TRUE(load.result.error);
    EXPECT_EQ(load.result.error->Row(), c.row);
    EXPECT_EQ(std::string(load.result.error->what()), c.message);
  }
  // Bytes like a mark but not at the start: an 8-bit file as before.
  EXPECT_FALSE(Loaded("1\t1\t1\t1\t\xFF\xFE\n").cells.Utf8());
}

TEST(ByteOrderMark, Utf8MarkKeepsTheCellsUtf8EvenWithBrokenBytes) {
  // Without the mark this would be read as Shift-JIS; with it, a stray byte becomes U+FFFD.
  const Loaded load("\xEF\xBB\xBF" "1\t1\t1\t1\t石英\x89 \xC0\x80\n");
  ASSERT_FALSE(load.result.error);
  EXPECT_TRUE(load.cells.Utf8());
  EXPECT_EQ(load.cells.Text(5, 1), "石英\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(ByteOrderMark, Utf16EndsAtTheFirstNulUnit) {
  // What follows U+0000 is never read: not even its broken surrogate or odd byte.
  std::string text = Utf16("1\t1\t1\t1\n2\t2\t2\t2", ByteOrder::LittleEndian) + std::string("\0\0", 2) +
                     Utf16("3\t3\t3\t3\n", ByteOrder::LittleEndian, false) + std::string("\x00\xD8" "x", 3);
  const Loaded load(text);
  ASSERT_FALSE(load.result.error) << load.result.error->what();
  EXPECT_EQ(load.table.SampleCount, 2);
  // A NUL byte inside a unit is no end.
  EXPECT_EQ(Loaded(Utf16("1\t1\t1\t1\n\u0100\n", ByteOrder::BigEndian)).table.SampleCount, 2);
}

class BrokenUtf16 : public ::testing::Test {
 protected:
  void TearDown() override { SetLanguage("ja"); }
  // The load of `bytes` fails with `message` before it changes anything.
  void ExpectRefused(const std::string& bytes, const std::string& message) {
    const std::string before = "9\t9\t9\t9\tkept\n";
    Loaded load(before);
    ASSERT_FALSE(load.result.error);
    try {
      load.result = LoadDataText(bytes, {load.geometry, load.table, load.cells}, '.');
      ADD_FAILURE() << "loaded: " << message;
    } catch (const LoadError& e) {
      EXPECT_EQ(std::string(e.what()), message);
      EXPECT_EQ(e.Row(), 0);
    }
    EXPECT_EQ(load.table.SampleCount, 1);
    EXPECT_EQ(load.cells.Text(5, 1), "kept");
    EXPECT_EQ(load.table.SampleValues[1][1], 9);
  }
};

TEST_F(BrokenUtf16, AnOddByteCountIsRefused) {
  for (ByteOrder order : {ByteOrder::LittleEndian, ByteOrder::BigEndian}) {
    const std::string good = Utf16("1\t1\t1\t1\n", order);
    ExpectRefused(good + "\n", "UTF-16 のテキストのバイト数が奇数です");
    ExpectRefused(std::string(order == ByteOrder::LittleEndian ? "\xFF\xFE" : "\xFE\xFF") + "1", "UTF-16 のテキストのバイト数が奇数です");
    // A pair cut in half at the end is a cut text too.
    ExpectRefused(good + Utf16("\U0001FAA8", order, false).substr(0, 3), "UTF-16 のテキストのバイト数が奇数です");
  }
}

TEST_F(BrokenUtf16, AnUnpairedSurrogateIsRefusedWithItsLine) {
  const auto le = [](std::u16string units) {
    std::string bytes = "\xFF\xFE";
    for (char16_t u : units) bytes += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    return bytes;
  };
  const struct { std::u16string units; const char* message; } cases[] = {
      {{u'1', 0xD83D}, "UTF-16 のテキストの 1 行目に対のないサロゲート U+D83D があります"},  // high at the end
      {{u'1', u'\r', u'\n', 0xDE00, u'1'}, "UTF-16 のテキストの 2 行目に対のないサロゲート U+DE00 があります"},  // low alone
      {{u'1', u'\n', u'\r', 0xD83D, u'x'}, "UTF-16 のテキストの 3 行目に対のないサロゲート U+D83D があります"},
      {{u'a', u'\r', 0xDBFF, 0xDBFF, 0xDC00}, "UTF-16 のテキストの 2 行目に対のないサロゲート U+DBFF があります"},
      {{0xDE00, 0xD83D}, "UTF-16 のテキストの 1 行目に対のないサロゲート U+DE00 があります"},  // the wrong way round
  };
  for (const auto& c : cases) ExpectRefused(le(c.units), c.message);
  // Big-endian too.
  const std::string be = Utf16("1\t1\t1\t1\n", ByteOrder::BigEndian) + std::string("\xDC\x00", 2);
  ExpectRefused(be, "UTF-16 のテキストの 2 行目に対のないサロゲート U+DC00 があります");
}

TEST_F(BrokenUtf16, MessagesAreTranslated) {
  SetLanguage("en");
  ExpectRefused("\xFF\xFE" "1", "The UTF-16 text has an odd number of bytes");
  ExpectRefused("\xFE\xFF\xD8\x3D", "Line 1 of the UTF-16 text has an unpaired surrogate U+D83D");
}

// How messages quote a field: what cannot be seen is spelt out.
TEST(QuotedField, InvisibleCharactersAreShownByTheirCodes) {
  const struct { std::string line; const char* quoted; } cases[] = {
      {"1\xC2\xA0\t1\t1\t1", "1<U+00A0>"},                // no-break space
      {"1\x01" "2\t1\t1\t1", "1<U+0001>2"},               // control byte inside a field
      {"\xE2\x80\x8B" "1\t1\t1\t1", "<U+200B>1"},         // zero-width space
      {"\xE3\x80\x80" "1\t1\t1\t1", "<U+3000>1"},         // ideographic space
      {"1\xE2\x80\xAE" "2\t1\t1\t1", "1<U+202E>2"},       // a direction override cannot turn the message round
      {"\xC2\x85" "1\t1\t1\t1", "<U+0085>1"},             // C1 control
      {"1\x7F\t1\t1\t1", "1<U+007F>"},
      {"\xF3\xA0\x80\x81" "1\t1\t1\t1", "<U+E0001>1"},    // a tag, beyond the basic plane
      {"1 x\t1\t1\t1", "1 x"},                            // a plain space is seen
      {"石英\t1\t1\t1", "石英"},
      {"\x81\x40" "1\t1\t1\t1", "<U+3000>1"},             // Shift-JIS ideographic space
  };
  for (const auto& c : cases) {
    const Loaded load(c.line);
    ASSERT_TRUE(load.result.error) << c.line;
    EXPECT_EQ(std::string(load.result.error->what()), std::string("'") + c.quoted + "' は浮動小数点数ではありません") << c.line;
  }
}

TEST(QuotedField, ALongFieldIsCutAfterItsInvisiblesAreShown) {
  const std::string field = "\xEF\xBB\xBF" + std::string(300, 'x');
  const Loaded load("1\t1\t1\t1\n" + field + "\t1\t1\t1");
  ASSERT_TRUE(load.result.error);
  EXPECT_EQ(std::string(load.result.error->what()), "'<U+FEFF>" + std::string(197, 'x') + "…' は浮動小数点数ではありません");
}

}  // namespace
}  // namespace ternova
