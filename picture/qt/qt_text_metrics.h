#pragma once
#include <QFont>

#include "picture/surface.h"

namespace ternova {

// A Qt font for `font` at `pixelHeight` device pixels of character height.
QFont QtFontFor(const FontSpec& font, double pixelHeight);

// Advances from the substituted face's real metrics, in logical units.
class QtTextMetrics : public TextMetrics {
 public:
  std::vector<int32_t> Advances(const FontSpec& font, std::u16string_view text) const override;
};

}  // namespace ternova
