#pragma once
#include <cstdint>
#include <string>

namespace ternova {

// A data file of `samples` lines of four amounts (like whole-rock analyses, two decimals) and a
// note, about 40 bytes a line; the same seed gives the same bytes. With `groups`, a sixth field
// puts each line in one of that many suites: at random (the hardest order for the colours), or
// with `blocks` one suite after the other, as compilations of several studies come.
std::string SyntheticDataFile(int32_t samples, uint32_t seed = 1, int32_t groups = 0, bool blocks = false);

// Writes it to a temporary file and returns the path.
std::string WriteSyntheticDataFile(int32_t samples, int32_t groups = 0);

}  // namespace ternova
