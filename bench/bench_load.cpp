// Reading, splitting, converting and projecting a data file, as File > Open does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>

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

// The same text with lone CRs ending its lines, as old Macintosh programs write them: no line
// may cost a search of the rest of the file.
void BM_LoadDataTextWithLoneCrs(benchmark::State& state) {
  const auto samples = static_cast<int32_t>(state.range(0));
  std::string text = SyntheticDataFile(samples);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  std::replace(text.begin(), text.end(), '\n', '\r');
  const DiagramGeometry geometry = ComputeDiagramGeometry();
  for (auto _ : state) {
    SampleTable table;
    CellStore cells;
    LoadDataText(text, {geometry, table, cells}, '.').ThrowIfFailed();
    if (table.CompletedRows != samples) state.SkipWithError("not every line loaded");
  }
  state.SetItemsProcessed(state.iterations() * samples);
}
BENCHMARK(BM_LoadDataTextWithLoneCrs)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ternova

BENCHMARK_MAIN();
