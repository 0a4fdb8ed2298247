#include "base/visible_text.h"

#include <cstdio>

#include "base/encoding.h"

namespace ternova {

namespace {

bool Invisible(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0xA0)  // control characters, the no-break space
         || c == 0xAD                          // soft hyphen
         || c == 0x034F || c == 0x061C || c == 0x115F || c == 0x1160 || c == 0x180E
         || (c >= 0x2000 && c <= 0x200F)  // spaces of every width, zero-width joiners, direction marks
         || (c >= 0x2028 && c <= 0x202F)  // line and paragraph separators, embeddings, narrow no-break space
         || (c >= 0x205F && c <= 0x206F)  // word joiner, invisible operators, isolates
         || c == 0x3000 || c == 0x3164    // ideographic space, Hangul filler
         || c == 0xFEFF                   // byte-order mark, zero-width no-break space
         || (c >= 0xFFF0 && c <= 0xFFFB)  // interlinear annotation
         || (c >= 0xE0000 && c <= 0xE007F);  // tags
}

}  // namespace

std::string WithInvisiblesShown(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    // The text is valid UTF-8 (decoded cells are), so the lead byte gives the length.
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t n = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? (lead < 0x80 ? lead : 0xFFFD) : n == 2 ? (lead & 0x1F) : n == 3 ? (lead & 0x0F) : (lead & 0x07);
    for (size_t k = 1; k < n && i + k < utf8.size(); ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    if (Invisible(c)) {
      char code[12];
      std::snprintf(code, sizeof code, "<U+%04X>", static_cast<unsigned>(c));
      out += code;
    } else {
      out.append(utf8.substr(i, n));
    }
    i += n;
  }
  return out;
}

std::string VisibleName(std::string_view name) {
  if (IsValidUtf8(name)) return WithInvisiblesShown(name);
  std::string utf8(ReplacedUtf8Size(name), '\0');
  ReplaceInvalidUtf8(name, utf8.data());
  return WithInvisiblesShown(utf8);
}

}  // namespace ternova
