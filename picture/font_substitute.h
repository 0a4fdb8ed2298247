#pragma once
#include <string>
#include <string_view>

namespace ternova {

// The installed family that stands in for a face the picture names: IPAPGothic is
// metric-compatible with the Japanese UI face and IPAGothic with its fixed-pitch sister; the
// Latin UI face, and any other, is played with DejaVu Sans. The screen and every measurement
// take the same one, so text sits where it was measured.
std::string SubstituteFamily(std::string_view face);

}  // namespace ternova
