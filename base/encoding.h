#pragma once
// Text encodings the program meets: UTF-8 inside, UTF-16 in metafiles, and the two 8-bit code
// pages of Windows files (Shift-JIS for Japanese, Windows-1252 for Western text).
#include <cstddef>
#include <string>
#include <string_view>

namespace ternova {

enum class CodePage { ShiftJis, Windows1252 };

bool IsValidUtf8(std::string_view bytes);

// A broken sequence stands for one U+FFFD and is skipped byte by byte.
std::u16string Utf16FromUtf8(std::string_view utf8);

// Surrogate pairs become one character; a lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view utf16);

// Units of the character starting at `i`: 2 for a surrogate pair, else 1.
size_t CharacterUnits(std::u16string_view text, size_t i);

// UTF-16 held as bytes, as text files store it.
enum class ByteOrder { LittleEndian, BigEndian };

// How far a conversion of UTF-16 bytes got: everything before `read` became the `written`
// bytes of UTF-8; a stop other than End names what lies at `read`.
struct Utf16Conversion {
  enum class Stop { End, OddByte, UnpairedSurrogate };
  Stop stop = Stop::End;
  size_t read = 0, written = 0;
  char16_t surrogate = 0;  // the unpaired one
};

// Converts UTF-16 `bytes` (without a byte-order mark) to UTF-8 in `out`, which has room for
// bytes.size() / 2 * 3 bytes (no unit takes more). Stops, rather than guessing, at a byte
// left over at the end and at a surrogate without its partner.
Utf16Conversion Utf8FromUtf16Bytes(std::string_view bytes, ByteOrder order, char* out);

// The size of `bytes` once every byte that begins no valid UTF-8 sequence (IsValidUtf8) is
// replaced by U+FFFD, and that text written to `out` (ReplacedUtf8Size bytes).
size_t ReplacedUtf8Size(std::string_view bytes);
void ReplaceInvalidUtf8(std::string_view bytes, char* out);

// 8-bit text decoded; a byte that starts no character of the page becomes U+FFFD. A page may
// also be named as the system's converter knows it ("CP1251", "ISO-8859-15"); one it does not
// know keeps ASCII and replaces every other byte.
std::string Utf8FromCodePage(std::string_view bytes, CodePage page);
std::string Utf8FromCodePage(std::string_view bytes, std::string_view page);

// The 8-bit page plain text is read in under a locale name (as LANG holds it): Shift-JIS
// (CP932) for Japanese and where no language is set (C, POSIX); the locale's own codeset when
// it names one other than UTF-8; else Windows' page for the language, CP1252 for Western ones.
std::string CodePageOfLocale(std::string_view locale);
// CodePageOfLocale of the first of LC_ALL, LC_CTYPE and LANG that is set, read once.
const std::string& SystemCodePage();
std::u16string Utf16FromCodePage(std::string_view bytes, CodePage page);

// One character (one unit or a surrogate pair) in the code page; empty when the page lacks it.
std::string CodePageChar(std::u16string_view character, CodePage page);

}  // namespace ternova
