#pragma once
#include <cstring>
#include <string>

namespace ternova {

// The system's text for an error number as messages quote it: without trailing blanks,
// control bytes or full stop, since the message goes on after it.
inline std::string SystemErrorText(int error) {
  std::string text = std::strerror(error);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) < 0x21 || text.back() == '.')) text.pop_back();
  return text;
}

}  // namespace ternova
