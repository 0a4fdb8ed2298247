#include "app/language.h"

#include <QCoreApplication>
#include <QTranslator>
#include <memory>
#include <vector>

namespace ternova::app {

namespace {

// The one context of every text, as TERNOVA_TEXT gives it to lupdate.
constexpr const char* kContext = "Ternova";

// The language's translator, and English under it for the texts a translation still lacks.
std::vector<std::unique_ptr<QTranslator>>& Installed() {
  static std::vector<std::unique_ptr<QTranslator>> translators;
  return translators;
}

}  // namespace

QString QTr(Text text) { return QCoreApplication::translate(kContext, text.source); }

bool UseLanguage(std::string_view language) {
  std::vector<std::unique_ptr<QTranslator>> translators;
  auto load = [&](std::string_view name) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral(":/i18n/ternova_") + QString::fromUtf8(name.data(), name.size()))) return false;
    translators.push_back(std::move(translator));
    return true;
  };
  if (language != "ja") {
    // Qt asks the translator installed last first: the language's own, then English.
    if (language != "en") load("en");
    if (!load(language)) return false;
  }
  if (!SetLanguage(language)) return false;
  for (const auto& t : Installed()) QCoreApplication::removeTranslator(t.get());
  Installed() = std::move(translators);
  for (const auto& t : Installed()) QCoreApplication::installTranslator(t.get());
  return true;
}

}  // namespace ternova::app
