#include "data/number.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>


namespace ternova {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal text rebuilt with '.' and an explicit exponent, then rounded correctly by the
// library. A long mantissa goes to the heap; the common short one stays on the stack.
AmountStatus Convert(std::string_view intDigits, std::string_view fracDigits, bool negative, int exponent,
                     double& value) {
  char small[96];
  std::string large;
  const size_t need = intDigits.size() + fracDigits.size() + 16;
  char* buf = small;
  if (need > sizeof small) {
    large.resize(need);
    buf = large.data();
  }
  char* p = buf;
  if (negative) *p++ = '-';
  *p++ = '0';
  for (char c : intDigits) *p++ = c;
  *p++ = '.';
  for (char c : fracDigits) *p++ = c;
  *p++ = '0';
  *p++ = 'e';
  auto [end, ec] = std::to_chars(p, buf + need, exponent);
  (void)ec;
  double d = 0;
  const auto result = std::from_chars(buf, end, d);
  if (result.ec == std::errc()) {
    value = d;
    return AmountStatus::Ok;
  }
  // Out of range: tell overflow from underflow the slow way.
  *end = '\0';
  errno = 0;
  d = std::strtod(buf, nullptr);
  if (std::isinf(d)) return AmountStatus::Overflow;
  value = d;
  return AmountStatus::Ok;
}

}  // namespace

AmountStatus TryParseAmount(std::string_view s, char separator, double& value) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && s[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const size_t intStart = i;
  while (i < n && IsDigit(s[i])) ++i;
  const std::string_view intDigits = s.substr(intStart, i - intStart);
  std::string_view fracDigits;
  bool hasSeparator = false;
  if (i < n && s[i] == separator) {
    hasSeparator = true;
    const size_t fracStart = ++i;
    while (i < n && IsDigit(s[i])) ++i;
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
  return Convert(intDigits, fracDigits, negative, exponent, value);
}

char DecimalSeparatorFrom(std::string_view setting) {
  return setting.size() == 1 ? setting[0] : '.';
}

}  // namespace ternova
