#pragma once
#include <string>
#include <string_view>

#include "base/encoding.h"
#include "base/visible_text.h"

namespace ternova {

// Data files come in the system's 8-bit code page (SystemCodePage: Shift-JIS on a Japanese
// system) or, more and more, as UTF-8. A file's cells are shown as UTF-8 when all its bytes
// are valid UTF-8 (IsValidUtf8), else in that page; undecodable bytes become U+FFFD.
inline std::string DecodeCellText(std::string_view bytes, bool utf8) {
  return utf8 ? std::string(bytes) : Utf8FromCodePage(bytes, SystemCodePage());
}

}  // namespace ternova
