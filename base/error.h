#pragma once
// The one exception type of the program: its text is exactly what the user reads.
#include <stdexcept>
#include <string>

#include "base/messages.h"

namespace ternova {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
  // A text of the program's own, in the user's language.
  explicit Error(Text text) : std::runtime_error(Tr(text)) {}
};

// The error box appends a full stop unless the text already ends in one, a blank, a control
// byte or a character from '!' to '-'.
std::string WithFullStop(const std::string& message);

}  // namespace ternova

inline std::string ternova::WithFullStop(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}
