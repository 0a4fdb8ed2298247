// Reading, splitting, converting and projecting a data file, as File > Open does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include "data/data_file.h"
#include "synthetic.h"

namespace ternova {
namespace {

void BM_LoadDataFile(benchmark::State& state) {
  const auto samples = static_cast<int32_t>(state.range(0));
  const std::string path = WriteSyntheticDataFile(samples);
  const DiagramGeometry geometry = ComputeDiagramGeometry();
  size_t bytes = 0;
  for (auto _ : state) {
    SampleTable table;
    CellStore cells;
    LoadDataFile(path, {geometry, table, cells}, '.').ThrowIfFailed();
    bytes = cells.Rows() ? static_cast<size_t>(samples) * 40 : 0;
    benchmark::DoNotOptimize(table.SamplePoints.data());
  }
  ::unlink(path.c_str());
  state.SetItemsProcessed(state.iterations() * samples);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_LoadDataFile)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ternova

BENCHMARK_MAIN();
