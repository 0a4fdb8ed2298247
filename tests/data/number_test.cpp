#include "data/number.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace ternova {
namespace {

struct Case {
  const char* text;
  AmountStatus status;
  double value;
};

void Check(const Case& c, char separator) {
  double v = -12345;
  const AmountStatus s = TryParseAmount(c.text, separator, v);
  EXPECT_EQ(s, c.status) << "'" << c.text << "'";
  if (s == AmountStatus::Ok && c.status == AmountStatus::Ok) {
    EXPECT_EQ(v, c.value) << "'" << c.text << "'";
  }
}

constexpr auto Ok = AmountStatus::Ok;
constexpr auto Bad = AmountStatus::Invalid;
constexpr auto Over = AmountStatus::Overflow;

TEST(NumberSyntax, AcceptsTheDecimalForms) {
  const Case cases[] = {
      {"1", Ok, 1}, {"1.5", Ok, 1.5}, {"-1.5", Ok, -1.5}, {"+2", Ok, 2}, {"45.2", Ok, 45.2},
      {"  7  ", Ok, 7}, {"1.5  ", Ok, 1.5}, {"1e3", Ok, 1000}, {"1E-2", Ok, 0.01}, {"2.5e+1", Ok, 25},
      {"007", Ok, 7}, {"0.1", Ok, 0.1}, {"-0", Ok, -0.0},
  };
  for (const auto& c : cases) Check(c, '.');
}

TEST(NumberSyntax, LoneSeparatorIsZero) {
  const Case cases[] = {{".", Ok, 0}, {"5.", Ok, 5}, {".5", Ok, 0.5}, {"-.", Ok, -0.0}, {" . ", Ok, 0}};
  for (const auto& c : cases) Check(c, '.');
}

TEST(NumberSyntax, ExponentWithoutDigitsIsZero) {
  const Case cases[] = {{"1e", Ok, 1}, {"1E+", Ok, 1}, {"2.5e-", Ok, 2.5}, {".e", Ok, 0}};
  for (const auto& c : cases) Check(c, '.');
}

TEST(NumberSyntax, RejectsWhatIsNotADecimalNumber) {
  const char* bad[] = {"", " ", "+", "-", "e5", "abc", "1,5", "1 000", "0x10", "inf", "nan", "Infinity",
                       "1.5.", "1..5", "--1", "+-1", "1e5x", "1\t", "\t1", "1\v", "\xA0" "1", "1e+-2",
                       "\xEF\xBB\xBF" "1"};
  for (const char* t : bad) Check({t, Bad, 0}, '.');
}

TEST(NumberSyntax, SeparatorComesFromTheLocale) {
  Check({"1,5", Ok, 1.5}, ',');
  Check({"1.5", Bad, 0}, ',');
  Check({",", Ok, 0}, ',');
  EXPECT_EQ(DecimalSeparatorFrom(","), ',');
  EXPECT_EQ(DecimalSeparatorFrom(""), '.');
  EXPECT_EQ(DecimalSeparatorFrom("\xD9\xAB"), '.');  // longer than one byte
}

// A separator that is itself part of the number syntax would change what an amount says (with
// "e", 1e5 would read as 1.5), and a blank or control byte would be cut off with the field.
TEST(DecimalSeparator, NoCharacterOfTheNumberSyntaxIsUsable) {
  for (const char c : std::string("0123456789+-eE \t\r\n\v\f\x01\x1f", 22) + '\0') {
    EXPECT_FALSE(IsUsableDecimalSeparator(c)) << static_cast<int>(c);
    EXPECT_EQ(DecimalSeparatorFrom(std::string(1, c)), '.') << static_cast<int>(c);
  }
  for (const char c : {'.', ',', '\'', '/', ':', ';', 'd', 'x', '\xB7'}) {
    EXPECT_TRUE(IsUsableDecimalSeparator(c)) << c;
    EXPECT_EQ(DecimalSeparatorFrom(std::string(1, c)), c);
  }
}

// The window and ternova-plot both read the user's separator here, from the C library's locale
// data: a locale that is named but not installed (Debian installs only those chosen) has no
// setting and gives "."; an installed one gives its own.
class UserSeparator : public ::testing::Test {
 protected:
  static constexpr const char* kVariables[] = {"LC_ALL", "LC_NUMERIC", "LANG", "LOCPATH"};
  void SetUp() override {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
      ::unsetenv(name);
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) ::setenv(kVariables[i], saved_[i]->c_str(), 1);
      else ::unsetenv(kVariables[i]);
    }
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  static bool Installed(const char* name) {
    const locale_t l = ::newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(0));
    if (l) ::freelocale(l);
    return l != static_cast<locale_t>(0);
  }
  // German installed in a folder of the test's own, for LOCPATH; empty where localedef fails.
  std::string InstallGerman() {
    folder_ = (std::filesystem::temp_directory_path() / ("ternova-locale-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(folder_);
    const std::string command = "localedef -i de_DE -f UTF-8 '" + folder_ + "/de_DE.UTF-8' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 ? folder_ : std::string();
  }
  std::vector<std::optional<std::string>> saved_;
  std::string folder_;
};

TEST_F(UserSeparator, ALocaleThatIsNotInstalledGivesAPoint) {
  EXPECT_EQ(UserDecimalSeparator(), '.');  // nothing set
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "ru_RU.UTF-8", "pt_BR.UTF-8", "xx_YY.UTF-8"}) {
    if (Installed(name)) continue;
    for (const char* variable : {"LANG", "LC_NUMERIC", "LC_ALL"}) {
      ::setenv(variable, name, 1);
      EXPECT_EQ(UserDecimalSeparator(), '.') << variable << "=" << name;
      ::unsetenv(variable);
    }
  }
}

TEST_F(UserSeparator, AnInstalledLocaleGivesItsOwnByTheUsualPrecedence) {
  const std::string folder = InstallGerman();
  if (folder.empty()) GTEST_SKIP() << "localedef cannot build de_DE here";
  ::setenv("LOCPATH", folder.c_str(), 1);
  const struct {
    const char *all, *numeric, *lang;
    char separator;
  } cases[] = {
      {"", "", "de_DE.UTF-8", ','},         {"", "de_DE.UTF-8", "C.UTF-8", ','},
      {"", "C.UTF-8", "de_DE.UTF-8", '.'},  {"C", "de_DE.UTF-8", "de_DE.UTF-8", '.'},
      {"de_DE.UTF-8", "C", "C", ','},
  };
  for (const auto& c : cases) {
    for (const auto& [variable, value] : {std::pair{"LC_ALL", c.all}, {"LC_NUMERIC", c.numeric}, {"LANG", c.lang}}) {
      if (*value) ::setenv(variable, value, 1);
      else ::unsetenv(variable);
    }
    EXPECT_EQ(UserDecimalSeparator(), c.separator) << c.all << " / " << c.numeric << " / " << c.lang;
  }
}

TEST(NumberSyntax, ExponentDigitsStopAtFiveHundred) {
  const Case cases[] = {
      {"1e500", Over, 0}, {"1e499", Over, 0}, {"1e308", Ok, 1e308}, {"1e309", Over, 0},
      {"1e5000", Bad, 0}, {"1e-5000", Bad, 0}, {"1e0500", Over, 0}, {"1e4999", Over, 0}, {"1e49999", Bad, 0},
      {"1e-500", Ok, 0}, {"1e-499", Ok, 0}, {"-1e400", Over, 0}, {"1e49", Ok, 1e49},
  };
  for (const auto& c : cases) Check(c, '.');
}

TEST(NumberSyntax, ValueIsTheCorrectlyRoundedDouble) {
  const Case cases[] = {
      {"1.7976931348623157e308", Ok, DBL_MAX},
      {"4.9406564584124654e-324", Ok, 4.9406564584124654e-324},
      {"0.30000000000000004", Ok, 0.30000000000000004},
      {"9007199254740993", Ok, 9007199254740992.0},  // ties to even
      {"2.2250738585072011e-308", Ok, 2.2250738585072011e-308},
      {"1.7976931348623159e308", Over, 0},
      {"123456789012345678901234567890", Ok, 1.2345678901234568e29},
  };
  for (const auto& c : cases) Check(c, '.');
}

TEST(NumberSyntax, VeryLongMantissaIsExact) {
  std::string digits = "0." + std::string(5000, '0') + "1e5001";
  // exponent digits stop at 500: "5001" leaves a digit unread
  Check({digits.c_str(), Bad, 0}, '.');
  std::string big = std::string(400, '9');
  Check({big.c_str(), Over, 0}, '.');
  std::string longOne = "1." + std::string(10000, '0') + "1";
  Check({longOne.c_str(), Ok, 1.0}, '.');
}

// Short plain amounts take a one-pass reading; signs, blanks, exponents, long mantissas and
// another separator must come to the same values as the library's.
TEST(NumberSyntax, AgreesWithTheLibraryConversionOnRandomDecimals) {
  std::mt19937_64 random(11);
  for (int trial = 0; trial < 100000; ++trial) {
    const int digits = 1 + static_cast<int>(random() % 19);
    std::string mantissa;
    for (int i = 0; i < digits; ++i) mantissa.push_back(static_cast<char>('0' + random() % 10));
    if (random() % 8 != 0) mantissa.insert(mantissa.begin() + static_cast<ptrdiff_t>(random() % (mantissa.size() + 1)), '.');
    std::string exponent;
    if (random() % 4 == 0) exponent.append("e").append(std::to_string(static_cast<int>(random() % 60) - 30));
    const std::string sign = random() % 8 == 0 ? (random() % 2 ? "-" : "+") : "";
    const std::string before = random() % 8 == 0 ? " " : "", after = random() % 8 == 0 ? "  " : "";
    const std::string text = before + sign + mantissa + exponent + after;
    const char separator = random() % 4 == 0 ? ',' : '.';
    std::string written = text;
    std::replace(written.begin(), written.end(), '.', separator);
    double v = 0;
    ASSERT_EQ(TryParseAmount(written, separator, v), AmountStatus::Ok) << written;
    ASSERT_EQ(v, std::strtod(text.c_str(), nullptr)) << written;
    ASSERT_EQ(std::signbit(v), text[text.find_first_not_of(' ')] == '-') << written;
  }
}

}  // namespace
}  // namespace ternova
