#include "picture/system_locale.h"

#include <cstdlib>
#include <string_view>

namespace ternova {

namespace {

bool IsAsciiAlphanumeric(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// language[{_|-}script][{_|-}territory][.codeset][@modifier]: only the language matters, and it
// must be two or three letters or digits followed by the end or a separator.
bool NamesJapanese(std::string_view name) {
  size_t n = 0;
  while (n < name.size() && IsAsciiAlphanumeric(name[n])) ++n;
  if (n < name.size() && name[n] != '_' && name[n] != '-' && name[n] != '.' && name[n] != '@') return false;
  std::string code(name.substr(0, n));
  for (char& c : code)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return code == "ja" || code == "jpn";
}

}  // namespace

bool SystemIsJapanese(const std::function<std::string(const char*)>& environment) {
  std::string locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = environment(name);
    if (!locale.empty()) break;
  }
  if (locale.empty() || locale == "C" || locale == "POSIX") return false;
  const std::string languages = environment("LANGUAGE");
  const std::string first = languages.substr(0, languages.find(':'));
  return NamesJapanese(first.empty() ? locale : first);
}

bool SystemIsJapanese() {
  return SystemIsJapanese([](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  });
}

}  // namespace ternova
