#pragma once
// The one exception type of the program: its text is exactly what the user reads.
#include <stdexcept>
#include <string>

namespace ternova {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// Floating-point faults are reported, never masked; these are the system's texts for them.
inline constexpr const char* kInvalidOperation = "不正な浮動小数点数演算命令";
inline constexpr const char* kDivideByZero = "0 による浮動小数点数除算";
inline constexpr const char* kOverflow = "浮動小数点数のオーバーフロー";

// The system's text when it cannot provide what an operation needs (memory, a picture, a file
// too large for its format).
inline constexpr const char* kNoResources = "システム リソースが足りません";
// The system's text when memory runs out.
inline constexpr const char* kOutOfMemory = "メモリが足りません";

// The error box appends a full stop unless the text already ends in one, a blank, a control
// byte or a character from '!' to '-'.
std::string WithFullStop(const std::string& message);

}  // namespace ternova

inline std::string ternova::WithFullStop(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}
