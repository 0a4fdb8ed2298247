#include "synthetic.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace ternova {

std::string SyntheticDataFile(int32_t samples, uint32_t seed, int32_t groups, bool blocks) {
  std::string out;
  out.reserve(static_cast<size_t>(samples) * 42);
  uint32_t x = seed;
  auto next = [&] {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  };
  char line[96];
  for (int32_t i = 1; i <= samples; ++i) {
    const uint32_t a = 3500 + next() % 4000, b = 500 + next() % 2500, c = 100 + next() % 4000, d = 100 + next() % 1500;
    const int n = std::snprintf(line, sizeof line, "%u.%02u\t%u.%02u\t%u.%02u\t%u.%02u\tS%07d", a / 100, a % 100,
                                b / 100, b % 100, c / 100, c % 100, d / 100, d % 100, i);
    out.append(line, static_cast<size_t>(n));
    if (groups > 0) {
      const uint32_t suite = blocks ? static_cast<uint32_t>(int64_t{i - 1} * groups / samples)
                                    : next() % static_cast<uint32_t>(groups);
      const int g = std::snprintf(line, sizeof line, "\tsuite %02u", suite);
      out.append(line, static_cast<size_t>(g));
    }
    out.append("\r\n");
  }
  return out;
}

std::string WriteSyntheticDataFile(int32_t samples, int32_t groups) {
  const std::string path = "/tmp/ternova-bench-" + std::to_string(::getpid()) + "-" + std::to_string(samples) + "-" +
                           std::to_string(groups) + ".txt";
  std::ofstream(path, std::ios::binary) << SyntheticDataFile(samples, 1, groups);
  return path;
}

}  // namespace ternova
