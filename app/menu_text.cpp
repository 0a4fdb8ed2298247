#include "app/menu_text.h"

#include <QSet>

namespace ternova::app {

QChar AcceleratorOf(const QString& caption) {
  for (int i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != QLatin1Char('&')) continue;
    if (caption[i + 1] != QLatin1Char('&')) return caption[i + 1].toUpper();
    ++i;  // "&&" is a literal ampersand
  }
  return {};
}

QStringList WithAccelerators(const QStringList& captions) {
  QSet<QChar> used;
  for (const QString& c : captions)
    if (const QChar a = AcceleratorOf(c); !a.isNull()) used.insert(a);
  QStringList result;
  for (const QString& c : captions) {
    QString out = c;
    if (c != QLatin1String("-") && AcceleratorOf(c).isNull()) {
      for (int i = 0; i < c.size(); ++i) {
        const QChar upper = c[i].toUpper();
        if (upper.isLetterOrNumber() && !used.contains(upper)) {
          used.insert(upper);
          out.insert(i, QLatin1Char('&'));
          break;
        }
      }
    }
    result << out;
  }
  return result;
}

}  // namespace ternova::app
