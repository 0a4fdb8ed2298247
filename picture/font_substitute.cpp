#include "picture/font_substitute.h"

namespace ternova {

std::string SubstituteFamily(std::string_view face) {
  if (face == "ＭＳ Ｐゴシック" || face == "MS PGothic") return "IPAPGothic";
  if (face == "ＭＳ ゴシック") return "IPAGothic";
  return "DejaVu Sans";
}

}  // namespace ternova
