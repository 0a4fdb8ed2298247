#pragma once
#include <string>
#include <string_view>

namespace ternova {

// Data files come in the system's 8-bit code page (Shift-JIS) or, more and more, as UTF-8.
// A file's cells are shown as UTF-8 when all its bytes are valid UTF-8, else as Shift-JIS.
bool IsValidUtf8(std::string_view bytes);

// The bytes of one cell as UTF-8 text for display and messages. Undecodable bytes become U+FFFD.
std::string DecodeCellText(std::string_view bytes, bool utf8);

}  // namespace ternova
