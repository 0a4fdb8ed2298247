#include "base/encoding.h"

#include <gtest/gtest.h>

namespace ternova {
namespace {

TEST(Utf16FromUtf8, DecodesAndReplacesBrokenSequences) {
  const struct { const char* in; std::u16string want; } cases[] = {
      {"MS Sans Serif", u"MS Sans Serif"},
      {"ＭＳ Ｐゴシック", u"ＭＳ Ｐゴシック"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},      // surrogate pair
      {"a\xE3\x82", u"a\uFFFD\uFFFD"},          // cut off at the end
      {"\xC3(x", u"\uFFFD(x"},                  // bad continuation
      {"\xFF", u"\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf16FromUtf8(c.in), c.want) << c.in;
}

TEST(Utf8FromUtf16, JoinsSurrogatePairsAndReplacesLoneOnes) {
  const struct { std::u16string in; std::string want; } cases[] = {
      {u"Note", "Note"},
      {u"é\u00A0ゴ", "é\u00A0ゴ"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {std::u16string{0xD83D}, "\xEF\xBF\xBD"},                  // high surrogate at the end
      {std::u16string{0xD83D, u'x'}, "\xEF\xBF\xBDx"},           // high surrogate, no low one
      {std::u16string{0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"},  // the wrong way round
      {std::u16string(1, u'\0') + u"a", std::string("\0a", 2)},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8FromUtf16(c.in), c.want) << c.want;
  for (const char* s : {"", "ａｂｃ 123", "\xF0\x9F\x98\x80 and \xE2\x82\xAC"})
    EXPECT_EQ(Utf8FromUtf16(Utf16FromUtf8(s)), s);
}

TEST(IsValidUtf8, AcceptsOnlyShortestFormsOfScalarValues) {
  const struct { std::string_view in; bool want; } cases[] = {
      {"", true},
      {"1.0\t2.0\t3.0\t4.0\tplain ASCII past eight bytes", true},
      {"花崗岩 granite", true},
      {"\xF0\x9F\x98\x80", true},
      {"\xC0\xAF", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\x89\xD4", false},          // Shift-JIS
      {"abc\xE3\x81", false},       // cut off
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidUtf8(c.in), c.want) << c.in;
}

TEST(CharacterUnits, CountsASurrogatePairAsOneCharacter) {
  const std::u16string s = u"a\U0001F600" + std::u16string{0xD83D, u'b'};
  EXPECT_EQ(CharacterUnits(s, 0), 1u);
  EXPECT_EQ(CharacterUnits(s, 1), 2u);
  EXPECT_EQ(CharacterUnits(s, 3), 1u);  // high surrogate without its partner
  EXPECT_EQ(CharacterUnits(s, 4), 1u);
  EXPECT_EQ(CharacterUnits(std::u16string{0xD83D}, 0), 1u);
}

TEST(CodePage, DecodesBothPagesAndReplacesWhatTheyLack) {
  const struct { std::string_view in; CodePage page; const char* want; } cases[] = {
      {"plain", CodePage::ShiftJis, "plain"},
      {"\x89\xD4\x9B\xBC\x8A\xE2", CodePage::ShiftJis, "花崗岩"},
      {"\xB1\xB2", CodePage::ShiftJis, "ｱｲ"},             // half-width katakana
      {"\x87\x40", CodePage::ShiftJis, "①"},              // NEC extension of code page 932
      {"a\x89", CodePage::ShiftJis, "a\xEF\xBF\xBD"},     // lead byte cut off
      {"\xA0z", CodePage::ShiftJis, "\xEF\xBF\xBDz"},     // no character at all
      {"caf\xE9", CodePage::Windows1252, "café"},
      {"\x80 \x93q\x94", CodePage::Windows1252, "€ “q”"},
      {"\x81", CodePage::Windows1252, "\xEF\xBF\xBD"},   // unassigned in the page
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8FromCodePage(c.in, c.page), c.want) << c.want;
    EXPECT_EQ(Utf16FromCodePage(c.in, c.page), Utf16FromUtf8(c.want)) << c.want;
  }
}

TEST(CodePage, OfALocaleIsShiftJisForJapaneseAndNoLanguageElseTheLocalesOwn) {
  const struct { const char* locale; const char* want; } cases[] = {
      {"", "CP932"},
      {"C", "CP932"},
      {"POSIX", "CP932"},
      {"C.UTF-8", "CP932"},
      {"ja_JP.UTF-8", "CP932"},
      {"ja_JP.eucJP", "eucJP"},  // the locale names its own page
      {"en_US.UTF-8", "CP1252"},
      {"de_DE.utf8@euro", "CP1252"},
      {"de_DE@euro", "CP1252"},
      {"fr_FR", "CP1252"},
      {"fr_FR.ISO-8859-15", "ISO-8859-15"},
      {"pt_BR.NO-SUCH-PAGE", "CP1252"},  // one the converter does not know: the language's
      {"ru_RU.UTF-8", "CP1251"},
      {"ru_RU.KOI8-R", "KOI8-R"},
      {"pl_PL.UTF-8", "CP1250"},
      {"el_GR.UTF-8", "CP1253"},
      {"zh_CN.UTF-8", "CP936"},
      {"zh_TW.UTF-8", "CP950"},
      {"ko_KR.UTF-8", "CP949"},
  };
  for (const auto& c : cases) EXPECT_EQ(CodePageOfLocale(c.locale), c.want) << c.locale;
}

TEST(CodePage, ByNameDecodesAsTheSystemsConverterDoes) {
  EXPECT_EQ(Utf8FromCodePage("Gr\xE8s du Nord", "CP1252"), "Grès du Nord");
  EXPECT_EQ(Utf8FromCodePage("1\xA0", "CP1252"), "1\u00A0");
  EXPECT_EQ(Utf8FromCodePage("\xC3\xF0\xE0\xED\xE8\xF2", "CP1251"), "Гранит");
  EXPECT_EQ(Utf8FromCodePage("\x89\xD4", "CP932"), "花");
  EXPECT_EQ(Utf8FromCodePage("a\xE9", "NO-SUCH-PAGE"), "a\xEF\xBF\xBD");
  // A long text of characters that each take three bytes of UTF-8.
  const std::string euros(10000, '\x80');
  std::string want;
  for (int i = 0; i < 10000; ++i) want += "€";
  EXPECT_EQ(Utf8FromCodePage(euros, "CP1252"), want);
}

TEST(CodePage, EncodesOneCharacterOrNothing) {
  const struct { std::u16string in; CodePage page; std::string want; } cases[] = {
      {u"A", CodePage::ShiftJis, "A"},
      {u"花", CodePage::ShiftJis, "\x89\xD4"},
      {u"ｱ", CodePage::ShiftJis, "\xB1"},
      {u"①", CodePage::ShiftJis, "\x87\x40"},
      {u"é", CodePage::ShiftJis, ""},
      {u"\U0001F600", CodePage::ShiftJis, ""},
      {u"€", CodePage::Windows1252, "\x80"},
      {u"é", CodePage::Windows1252, "\xE9"},
      {u"花", CodePage::Windows1252, ""},
      {std::u16string{0xD83D}, CodePage::Windows1252, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CodePageChar(c.in, c.page), c.want) << c.want;
}

TEST(Utf8FromUtf16Bytes, ConvertsUpToWhatIsNoText) {
  using Stop = Utf16Conversion::Stop;
  // Little-endian bytes; big-endian is the same with each pair swapped.
  const struct { std::string_view in; std::string want; Stop stop; size_t read; } cases[] = {
      {{"1\0\t\0", 4}, "1\t", Stop::End, 4},
      {{"\xE9\0\x71\x30", 4}, "éぱ", Stop::End, 4},
      {{"\x3D\xD8\x00\xDE", 4}, "\xF0\x9F\x98\x80", Stop::End, 4},     // a pair
      {{"1\0\0\0x", 5}, std::string("1\0", 2), Stop::OddByte, 4},    // U+0000 is converted like any unit
      {{"1\0\x3D\xD8\x00", 5}, "1", Stop::OddByte, 2},              // a pair cut in half
      {{"1\0\x3D\xD8", 4}, "1", Stop::UnpairedSurrogate, 2},        // high surrogate at the end
      {{"\x3D\xD8" "1\0", 4}, "", Stop::UnpairedSurrogate, 0},      // high surrogate, then no low one
      {{"a\0\x00\xDE\x3D\xD8", 6}, "a", Stop::UnpairedSurrogate, 2},  // the wrong way round
  };
  for (const auto& c : cases) {
    for (const ByteOrder order : {ByteOrder::LittleEndian, ByteOrder::BigEndian}) {
      std::string in(c.in);
      if (order == ByteOrder::BigEndian)
        for (size_t i = 0; i + 1 < in.size(); i += 2) std::swap(in[i], in[i + 1]);
      std::string out(in.size() / 2 * 3, '?');
      const Utf16Conversion done = Utf8FromUtf16Bytes(in, order, out.data());
      EXPECT_EQ(out.substr(0, done.written), c.want) << c.want;
      EXPECT_EQ(done.stop, c.stop) << c.want;
      EXPECT_EQ(done.read, c.read) << c.want;
    }
  }
}

TEST(ReplaceInvalidUtf8, ReplacesEveryByteThatStartsNoCharacter) {
  const struct { std::string_view in, want; } cases[] = {
      {"", ""},
      {"石英 ok", "石英 ok"},
      {"a\x89" "b", "a\xEF\xBF\xBD" "b"},
      {"\xC0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},                      // overlong NUL: no NUL comes of it
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"\xE3\x81", "\xEF\xBF\xBD\xEF\xBF\xBD"},                      // cut off
  };
  for (const auto& c : cases) {
    std::string out(ReplacedUtf8Size(c.in), '?');
    ReplaceInvalidUtf8(c.in, out.data());
    EXPECT_EQ(out, c.want) << c.in;
    EXPECT_TRUE(IsValidUtf8(out));
  }
}

}  // namespace
}  // namespace ternova
