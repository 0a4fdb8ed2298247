#include "data/number.h"

#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace ternova {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The full conversion: the significant digits and a decimal exponent handed to the library,
// which rounds correctly. No double needs more than 767 significant digits to round right, so
// longer mantissas are cut to 800 with a sticky digit standing for anything non-zero after
// them; a 100 MB field of digits costs no 100 MB copy.
AmountStatus Convert(std::string_view intDigits, std::string_view fracDigits, bool negative, int exponent,
                     double& value) {
  constexpr size_t kKeep = 800;
  std::string digits;
  int64_t e10 = static_cast<int64_t>(exponent) - static_cast<int64_t>(fracDigits.size());
  bool sticky = false;
  size_t significant = 0;  // digits seen after the leading zeros, kept or not
  auto take = [&](std::string_view part) {
    for (char c : part) {
      if (significant == 0 && c == '0') continue;
      ++significant;
      if (digits.size() < kKeep) digits.push_back(c);
      else sticky |= c != '0';
    }
  };
  take(intDigits);
  take(fracDigits);
  const double zero = negative ? -0.0 : 0.0;
  if (digits.empty()) {
    value = zero;
    return AmountStatus::Ok;
  }
  e10 += static_cast<int64_t>(significant - digits.size());
  if (sticky) {
    digits.push_back('1');
    --e10;
  }
  // The value lies in [10^(n-1+e10), 10^(n+e10)) for n digits: far out of range either way.
  const int64_t magnitude = static_cast<int64_t>(digits.size()) + e10;
  if (magnitude > 400) return AmountStatus::Overflow;
  if (magnitude < -400) {
    value = zero;
    return AmountStatus::Ok;
  }
  std::string text = negative ? "-" : "";
  text += digits;
  text += 'e';
  text += std::to_string(e10);
  double d = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), d);
  if (result.ec == std::errc()) {
    value = d;
    return AmountStatus::Ok;
  }
  // Out of range: tell overflow from underflow the slow way.
  d = std::strtod(text.c_str(), nullptr);
  if (std::isinf(d)) return AmountStatus::Overflow;
  value = d;
  return AmountStatus::Ok;
}

// Clinger's fast path: a mantissa below 2^53 and a power of ten up to 10^22 are both exact
// doubles, so one multiplication or division rounds correctly. Most amounts in a data file
// ("45.23") take it; everything else goes through the full conversion.
bool FastConvert(uint64_t m, int fracDigits, bool negative, int exponent, double& value) {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const int e10 = exponent - fracDigits;
  if (e10 < -22 || e10 > 22) return false;
  double d = static_cast<double>(m);
  d = e10 < 0 ? d / kPow10[-e10] : d * kPow10[e10];
  value = negative ? -d : d;
  return true;
}

// Every form the format allows. Kept out of line, so the common case pays for none of it.
[[gnu::noinline]] AmountStatus ReadInFull(std::string_view s, char separator, double& value) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && s[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  // The mantissa is gathered while scanning; it is only used when it has 15 digits or fewer.
  uint64_t mantissa = 0;
  const size_t intStart = i;
  for (; i < n && IsDigit(s[i]); ++i) mantissa = mantissa * 10 + static_cast<uint64_t>(s[i] - '0');
  const std::string_view intDigits = s.substr(intStart, i - intStart);
  std::string_view fracDigits;
  bool hasSeparator = false;
  if (i < n && s[i] == separator) {
    hasSeparator = true;
    const size_t fracStart = ++i;
    for (; i < n && IsDigit(s[i]); ++i) mantissa = mantissa * 10 + static_cast<uint64_t>(s[i] - '0');
    fracDigits = s.substr(fracStart, i - fracStart);
  }
  // Something of a number must be there: digits or at least the separator.
  if (intDigits.empty() && !hasSeparator) return AmountStatus::Invalid;
  int exponent = 0;
  if (i < n && (s[i] == 'E' || s[i] == 'e')) {
    ++i;
    bool expNegative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) expNegative = s[i++] == '-';
    // Digits beyond the point where the exponent reaches 500 are left unread, so they make
    // the text invalid below.
    while (i < n && IsDigit(s[i]) && exponent < 500) exponent = exponent * 10 + (s[i++] - '0');
    if (expNegative) exponent = -exponent;
  }
  while (i < n && s[i] == ' ') ++i;
  if (i != n) return AmountStatus::Invalid;
  if (intDigits.size() + fracDigits.size() <= 15 &&
      FastConvert(mantissa, static_cast<int>(fracDigits.size()), negative, exponent, value))
    return AmountStatus::Ok;
  return Convert(intDigits, fracDigits, negative, exponent, value);
}

}  // namespace

AmountStatus TryParseAmount(std::string_view s, char separator, double& value) {
  // Nearly every amount is a few digits around the separator and nothing else ("45.23"): read
  // in one pass, it comes to what ReadInFull comes to. Anything else is read again there.
  const char* p = s.data();
  const char* const end = p + s.size();
  uint64_t mantissa = 0;
  for (; p != end && IsDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
  const auto intDigits = static_cast<size_t>(p - s.data());
  size_t fracDigits = 0;
  const bool hasSeparator = p != end && *p == separator;
  if (hasSeparator) {
    const char* const fracStart = ++p;
    for (; p != end && IsDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
    fracDigits = static_cast<size_t>(p - fracStart);
  }
  if (p == end && (intDigits > 0 || hasSeparator) && intDigits + fracDigits <= 15 &&
      FastConvert(mantissa, static_cast<int>(fracDigits), false, 0, value))
    return AmountStatus::Ok;
  return ReadInFull(s, separator, value);
}

bool IsUsableDecimalSeparator(char c) {
  return static_cast<unsigned char>(c) > 0x20 && !IsDigit(c) && c != '+' && c != '-' && c != 'e' && c != 'E';
}

char DecimalSeparatorFrom(std::string_view setting) {
  return setting.size() == 1 && IsUsableDecimalSeparator(setting[0]) ? setting[0] : '.';
}

char UserDecimalSeparator() {
  // A locale of its own, so the process's locale (and any thread formatting with it) is left
  // alone.
  const locale_t numeric = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (numeric == static_cast<locale_t>(0)) return '.';
  const char* radix = ::nl_langinfo_l(RADIXCHAR, numeric);
  const char separator = DecimalSeparatorFrom(radix ? radix : "");
  ::freelocale(numeric);
  return separator;
}

}  // namespace ternova
