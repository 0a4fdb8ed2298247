// ternova-plot as a user runs it: its messages follow the system's language.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/messages.h"

namespace ternova {
namespace {

namespace fs = std::filesystem;

// Standard error of ternova-plot run with `lang` as the only locale setting.
std::string StderrWith(const std::string& lang, const std::string& args) {
  const std::string command = "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=" + lang + " '" TERNOVA_BINARY_DIR
                              "/cli/ternova-plot' " + args + " 2>&1 >/dev/null";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    std::array<char, 4096> buffer;
    while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.append(buffer.data(), n);
    ::pclose(pipe);
  }
  return out;
}

TEST(PlotLanguage, MessagesFollowTheSystemLanguage) {
  const fs::path dir = fs::temp_directory_path() / ("ternova-plot-language-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string bad = (dir / "bad.txt").string(), zero = (dir / "zero.txt").string();
  std::ofstream(bad) << "1\t1\t1\t1\n1\tabc\t1\t1\n";
  std::ofstream(zero) << "0\t0\t0\t0\n";
  const std::string good = (dir / "good.txt").string();
  std::ofstream(good) << "1\t1\t1\t1\n";
  const std::string output = (dir / "no-such-folder" / "net.emf").string();

  const std::string japanese[] = {bad + ":2: 'abc' は浮動小数点数ではありません.\n",
                                  zero + ":1: 不正な浮動小数点数演算命令.\n",
                                  "ternova-plot: ファイル \"" + output + "\". No such file or directory を作成できません.\n"};
  const std::string english[] = {bad + ":2: 'abc' is not a valid floating-point value.\n",
                                 zero + ":1: Invalid floating-point operation.\n",
                                 "ternova-plot: Cannot create file \"" + output + "\". No such file or directory.\n"};
  const std::pair<const char*, const std::string*> cases[] = {
      {"C.UTF-8", japanese}, {"ja_JP.UTF-8", japanese}, {"en_US.UTF-8", english}, {"de_DE.UTF-8", english}};
  const std::vector<std::string> shipped = Translations();
  for (const auto& [lang, expected] : cases) {
    SCOPED_TRACE(lang);
    // German gets English only until German is translated.
    if (std::string(lang).starts_with("de") && std::count(shipped.begin(), shipped.end(), "de")) continue;
    EXPECT_EQ(StderrWith(lang, "--points '" + bad + "'"), expected[0]);
    EXPECT_EQ(StderrWith(lang, "--points '" + zero + "'"), expected[1]);
    // The system's own text stays the system's: only C locales are installed where this runs.
    const std::string saved = StderrWith(lang, "'" + good + "' -o '" + output + "'");
    if (saved.find("No such file or directory") != std::string::npos) {
      EXPECT_EQ(saved, expected[2]);
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace ternova
