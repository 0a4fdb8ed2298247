// Whether the default font is the Japanese one, read from the locale variables without Qt, and
// what Qt itself decides from the same variables.
#include "picture/system_locale.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

namespace ternova {
namespace {

using Environment = std::map<std::string, std::string>;

// Qt's answer: its own small program run with exactly these locale variables.
bool QtSaysJapanese(const Environment& env) {
  std::string command = "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG";
  for (const auto& [name, value] : env) command += " " + name + "='" + value + "'";
  command += " '" TERNOVA_BINARY_DIR "/tests/picture/system_locale_probe'";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[16];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    ::pclose(pipe);
  }
  EXPECT_TRUE(out == "1\n" || out == "0\n") << command << ": " << out;
  return out == "1\n";
}

TEST(SystemLocale, JapaneseIsReadAsTheWindowsToolkitReadsIt) {
  const std::pair<Environment, bool> cases[] = {
      {{}, false},
      {{{"LANG", "ja_JP.UTF-8"}}, true},
      {{{"LANG", "ja"}}, true},
      {{{"LANG", "ja-JP"}}, true},
      {{{"LANG", "JA_jp.eucJP"}}, true},
      {{{"LANG", "jpn_JP"}}, true},
      {{{"LANG", "ja@modifier"}}, true},
      {{{"LANG", "japanese"}}, false},
      {{{"LANG", "j"}}, false},
      {{{"LANG", "C"}}, false},
      {{{"LANG", "POSIX"}}, false},
      {{{"LANG", "C.UTF-8"}}, false},
      {{{"LANG", "en_US.UTF-8"}}, false},
      // The first of LC_ALL, LC_MESSAGES and LANG that is set, not empty, names the locale.
      {{{"LC_ALL", "ja_JP.UTF-8"}, {"LANG", "en_US.UTF-8"}}, true},
      {{{"LC_ALL", "en_US.UTF-8"}, {"LC_MESSAGES", "ja_JP.UTF-8"}}, false},
      {{{"LC_MESSAGES", "ja_JP.UTF-8"}, {"LANG", "en_US.UTF-8"}}, true},
      {{{"LC_ALL", ""}, {"LANG", "ja_JP.UTF-8"}}, true},
      // LANGUAGE's first entry decides, but not over C or POSIX.
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "ja"}}, true},
      {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "ja:en"}}, true},
      {{{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "en"}}, false},
      {{{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "en:ja"}}, false},
      {{{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", ":en"}}, true},
      {{{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "nonsense"}}, false},
      {{{"LANG", "C"}, {"LANGUAGE", "ja"}}, false},
      {{{"LANG", "C.UTF-8"}, {"LANGUAGE", "ja_JP"}}, true},
  };
  for (const auto& [env, japanese] : cases) {
    std::string shown;
    for (const auto& [name, value] : env) shown += name + "=" + value + " ";
    const bool ours = SystemIsJapanese([&env = env](const char* name) {
      const auto it = env.find(name);
      return it == env.end() ? std::string() : it->second;
    });
    EXPECT_EQ(ours, japanese) << shown;
    EXPECT_EQ(QtSaysJapanese(env), japanese) << shown;
  }
}

}  // namespace
}  // namespace ternova
