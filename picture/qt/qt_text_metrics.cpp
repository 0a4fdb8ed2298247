#include "picture/qt/qt_text_metrics.h"

#include <QFontMetricsF>
#include <algorithm>
#include <climits>
#include <cmath>

#include "base/encoding.h"
#include "picture/font_substitute.h"

namespace ternova {

QFont QtFontFor(const FontSpec& font, double pixelHeight) {
  QFont f(QString::fromStdString(SubstituteFamily(font.face)));
  // A picture file may ask for any height: beyond int the conversion would wrap round.
  f.setPixelSize(static_cast<int>(std::lround(std::clamp(pixelHeight, 1.0, double{INT_MAX}))));
  f.setWeight(font.weight >= 600 ? QFont::Bold : QFont::Normal);
  f.setHintingPreference(QFont::PreferNoHinting);
  f.setKerning(false);
  return f;
}

std::vector<int32_t> QtTextMetrics::Advances(const FontSpec& font, std::u16string_view text) const {
  const QFontMetricsF metrics(QtFontFor(font, std::abs(font.height)));
  std::vector<int32_t> out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    // A surrogate pair is one glyph: its advance goes on the first unit.
    const size_t units = CharacterUnits(text, i);
    const qreal advance = units == 2 ? metrics.horizontalAdvance(QString::fromUtf16(text.data() + i, 2))
                                     : metrics.horizontalAdvance(QChar(text[i]));
    out.push_back(static_cast<int32_t>(std::lround(advance)));
    if (units == 2) out.push_back(0);
    i += units;
  }
  return out;
}

}  // namespace ternova
