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

// 8-bit text decoded; a byte that starts no character of the page becomes U+FFFD.
std::string Utf8FromCodePage(std::string_view bytes, CodePage page);
std::u16string Utf16FromCodePage(std::string_view bytes, CodePage page);

// One character (one unit or a surrogate pair) in the code page; empty when the page lacks it.
std::string CodePageChar(std::u16string_view character, CodePage page);

}  // namespace ternova
