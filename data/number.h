#pragma once
#include <string_view>

namespace ternova {

// Converts one amount as the data files write it: optional blanks (0x20 only), an optional
// sign, digits, optionally `separator` and digits, optionally E or e with an optional sign and
// digits, optional blanks. A lone separator is 0; an exponent without digits is 0. Exponent
// digits are read only until the exponent reaches 500, so longer ones leave the text invalid.
// The value is the correctly rounded double of the decimal text; underflow is silent, a value
// beyond the double range is Overflow.
enum class AmountStatus { Ok, Invalid, Overflow };
AmountStatus TryParseAmount(std::string_view text, char separator, double& value);

// Whether `c` can be the decimal separator: no character the amounts are written with
// otherwise (digits, signs, E and e) and no blank or control byte, which the number and the
// line around it would lose.
bool IsUsableDecimalSeparator(char c);

// The decimal separator from a locale's setting: "." when it is missing, longer than one char
// or not usable.
char DecimalSeparatorFrom(std::string_view setting);

// The user's decimal separator, for the window and ternova-plot alike: that of the C library's
// locale which the environment names for numbers (LC_ALL, LC_NUMERIC, LANG), read afresh on
// every call. A locale the system does not have installed has no setting, so it gives ".",
// as it does for every other program that formats numbers through the C library.
char UserDecimalSeparator();

}  // namespace ternova
