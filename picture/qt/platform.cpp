#include "picture/qt/platform.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace ternova {

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

}  // namespace ternova
