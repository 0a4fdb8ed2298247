// Peak memory of one load of a 1,000,000-sample file: prints the file size and the growth of
// the process's peak resident size over the load, per sample beyond the file's own bytes.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "data/data_file.h"
#include "synthetic.h"

static long CurrentKiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

static long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

int main(int argc, char** argv) {
  const int32_t samples = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
  const std::string path = ternova::WriteSyntheticDataFile(samples);
  const auto fileBytes = std::filesystem::file_size(path);
  const ternova::DiagramGeometry geometry = ternova::ComputeDiagramGeometry();
  const long before = CurrentKiB();
  {
    ternova::SampleTable table;
    ternova::CellStore cells;
    ternova::LoadDataFile(path, {geometry, table, cells}, '.').ThrowIfFailed();
  }
  const long after = PeakKiB();
  ::unlink(path.c_str());
  const double grown = (after - before) * 1024.0;
  std::printf("load_memory samples=%d file_bytes=%zu peak_growth_bytes=%.0f beyond_file_per_sample=%.1f\n", samples,
              static_cast<size_t>(fileBytes), grown, (grown - static_cast<double>(fileBytes)) / samples);
  return 0;
}
