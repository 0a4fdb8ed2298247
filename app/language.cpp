#include "app/language.h"

#include <QCoreApplication>
#include <QTranslator>
#include <memory>

namespace ternova::app {

namespace {

// The one context of every text, as TERNOVA_TEXT gives it to lupdate.
constexpr const char* kContext = "Ternova";

std::unique_ptr<QTranslator>& Installed() {
  static std::unique_ptr<QTranslator> translator;
  return translator;
}

}  // namespace

QString QTr(Text text) { return QCoreApplication::translate(kContext, text.source); }

bool UseLanguage(std::string_view language) {
  std::unique_ptr<QTranslator> translator;
  if (language != "ja") {
    translator = std::make_unique<QTranslator>();
    const QString file = QStringLiteral(":/i18n/ternova_") + QString::fromUtf8(language.data(), language.size());
    if (!translator->load(file)) return false;
  }
  if (!SetLanguage(language)) return false;
  if (Installed()) QCoreApplication::removeTranslator(Installed().get());
  Installed() = std::move(translator);
  if (Installed()) QCoreApplication::installTranslator(Installed().get());
  return true;
}

}  // namespace ternova::app
