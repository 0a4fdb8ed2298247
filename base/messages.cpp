#include "base/messages.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "base/translation_table.h"

namespace ternova {

namespace {

using translations::Table;

const Table* TableFor(std::string_view language) {
  for (std::size_t i = 0; i < translations::kTableCount; ++i)
    if (language == translations::kTables[i].language) return &translations::kTables[i];
  return nullptr;
}

// One preference as a locale name, e.g. "de_DE.UTF-8@euro" or "pt-BR": the language (lower
// case) and the language with its territory, without codeset and modifier.
struct Preference {
  std::string language, withTerritory;
};

Preference Parse(std::string_view name) {
  name = name.substr(0, name.find_first_of(".@"));
  std::string full(name);
  for (char& c : full) {
    if (c == '-') c = '_';
  }
  std::string language = full.substr(0, full.find('_'));
  for (char& c : language) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return {language, full};
}

// nullptr: the texts as written.
const Table* UserTable(const std::function<std::string(const char*)>& environment) {
  std::vector<std::string> preferences;
  const std::string list = environment("LANGUAGE");
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t end = std::min(list.find(':', start), list.size());
    if (end > start) preferences.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  if (preferences.empty()) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      std::string value = environment(name);
      if (!value.empty()) {
        preferences.push_back(std::move(value));
        break;
      }
    }
  }
  if (preferences.empty()) return nullptr;
  for (const std::string& p : preferences) {
    const Preference pref = Parse(p);
    if (pref.language == "ja" || pref.language == "c" || pref.language == "posix") return nullptr;
    if (const Table* t = TableFor(pref.withTerritory)) return t;
    if (const Table* t = TableFor(pref.language)) return t;
  }
  return TableFor("en");
}

std::atomic<const Table*>& Current() {
  static std::atomic<const Table*> current{UserTable([](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  })};
  return current;
}

const char* Find(const Table* table, const char* source) {
  if (table) {
    for (std::size_t i = 0; i < table->count; ++i)
      if (std::strcmp(table->entries[i].source, source) == 0) return table->entries[i].text;
  }
  return nullptr;
}

}  // namespace

std::string Tr(Text text) {
  const Table* table = Current().load(std::memory_order_relaxed);
  if (!table) return text.source;
  if (const char* found = Find(table, text.source)) return found;
  // A translation still missing a text shows it in English rather than in Japanese.
  if (const char* found = Find(TableFor("en"), text.source)) return found;
  return text.source;
}

std::string Format(Text pattern, std::span<const std::string_view> args) {
  const std::string p = Tr(pattern);
  std::string out;
  out.reserve(p.size() + 64);
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '%' && i + 1 < p.size() && p[i + 1] >= '1' && p[i + 1] <= '9') {
      const std::size_t n = static_cast<std::size_t>(p[i + 1] - '1');
      if (n < args.size()) {
        out += args[n];
        ++i;
        continue;
      }
    }
    out += p[i];
  }
  return out;
}

std::string Language() {
  const Table* table = Current().load(std::memory_order_relaxed);
  return table ? table->language : "ja";
}

bool SetLanguage(std::string_view language) {
  if (language == "ja") {
    Current().store(nullptr);
    return true;
  }
  const Table* table = TableFor(language);
  if (!table) return false;
  Current().store(table);
  return true;
}

std::vector<std::string> Translations() {
  std::vector<std::string> languages;
  for (std::size_t i = 0; i < translations::kTableCount; ++i) languages.emplace_back(translations::kTables[i].language);
  return languages;
}

std::vector<std::string> TranslatedTexts(std::string_view language) {
  std::vector<std::string> texts;
  if (const Table* table = TableFor(language))
    for (std::size_t i = 0; i < table->count; ++i) texts.emplace_back(table->entries[i].source);
  return texts;
}

std::string UserLanguage(const std::function<std::string(const char*)>& environment) {
  const Table* table = UserTable(environment);
  return table ? table->language : "ja";
}

std::string UserLanguage() {
  return UserLanguage([](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  });
}

int UnfinishedTranslations(std::string_view language) {
  const Table* table = TableFor(language);
  return table ? table->unfinished : 0;
}

}  // namespace ternova
