#include "picture/qt/qt_text_metrics.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <cmath>

#include "base/encoding.h"

namespace ternova {

QString SubstituteFamily(const std::string& face) {
  const QString name = QString::fromStdString(face);
  if (name == QStringLiteral("ＭＳ Ｐゴシック") || name == QStringLiteral("MS PGothic")) return QStringLiteral("IPAPGothic");
  if (name == QStringLiteral("ＭＳ ゴシック")) return QStringLiteral("IPAGothic");
  return QStringLiteral("DejaVu Sans");
}

QFont QtFontFor(const FontSpec& font, double pixelHeight) {
  QFont f(SubstituteFamily(font.face));
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelHeight))));
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

ScreenInfo CurrentScreen() {
  ScreenInfo nominal;
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!app || QGuiApplication::platformName() == QStringLiteral("offscreen") ||
      QGuiApplication::platformName() == QStringLiteral("minimal"))
    return nominal;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return nominal;
  ScreenInfo s;
  const QSize px = screen->geometry().size() * screen->devicePixelRatio();
  const QSizeF mm = screen->physicalSize();
  s.widthPx = px.width();
  s.heightPx = px.height();
  s.widthMm = static_cast<int32_t>(std::lround(mm.width()));
  s.heightMm = static_cast<int32_t>(std::lround(mm.height()));
  s.dpi = static_cast<int32_t>(std::lround(screen->logicalDotsPerInchY()));
  // A screen that reports no physical size would make a frame of zero: fall back to its dpi.
  if (s.widthPx <= 0 || s.heightPx <= 0) return nominal;
  if (s.widthMm <= 0 || s.heightMm <= 0) {
    const double dpi = s.dpi > 0 ? s.dpi : 96;
    s.widthMm = static_cast<int32_t>(std::lround(s.widthPx * 25.4 / dpi));
    s.heightMm = static_cast<int32_t>(std::lround(s.heightPx * 25.4 / dpi));
  }
  if (s.dpi <= 0) s.dpi = 96;
  return s;
}

bool SystemIsJapanese() { return QLocale::system().language() == QLocale::Japanese; }

}  // namespace ternova
