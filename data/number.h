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

// The decimal separator from a locale's setting: "." when it is missing or longer than one char.
char DecimalSeparatorFrom(std::string_view setting);

}  // namespace ternova
