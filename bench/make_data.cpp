// Writes a synthetic data file: make_data SAMPLES OUT.txt (for timing whole commands).
#include <cstdlib>
#include <fstream>

#include "synthetic.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::ofstream(argv[2], std::ios::binary) << ternova::SyntheticDataFile(std::atoi(argv[1]));
  return 0;
}
