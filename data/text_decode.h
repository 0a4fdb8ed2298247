#pragma once
#include <string>
#include <string_view>

#include "base/encoding.h"

namespace ternova {

// Data files come in the system's 8-bit code page (SystemCodePage: Shift-JIS on a Japanese
// system) or, more and more, as UTF-8. A file's cells are shown as UTF-8 when all its bytes
// are valid UTF-8 (IsValidUtf8), else in that page; undecodable bytes become U+FFFD.
inline std::string DecodeCellText(std::string_view bytes, bool utf8) {
  return utf8 ? std::string(bytes) : Utf8FromCodePage(bytes, SystemCodePage());
}

// `utf8` with every character one cannot see written as its code, e.g. <U+FEFF>: byte-order
// marks, control characters, spaces other than the plain one, zero-width and direction marks.
// For messages that quote a field, so a field that looks right shows why it is not; the
// brackets keep "<U+3000>1" apart from U+30001.
std::string WithInvisiblesShown(std::string_view utf8);

}  // namespace ternova
