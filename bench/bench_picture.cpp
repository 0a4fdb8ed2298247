// Recording the diagram, playing it for display, and encoding it as EMF and WMF.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "data/data_file.h"
#include "plot/layers.h"
#include "picture/emf_writer.h"
#include "picture/pdf_writer.h"
#include "picture/svg_writer.h"
#include "picture/qt/playback.h"
#include "picture/qt/qt_text_metrics.h"
#include "picture/wmf_writer.h"
#include "synthetic.h"

namespace ternova {
namespace {

struct Loaded {
  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  CellStore cells;
  explicit Loaded(int32_t samples) {
    LoadDataText(SyntheticDataFile(samples), {geometry, table, cells}, '.').ThrowIfFailed();
  }
};

struct Drawn {
  QtTextMetrics metrics;
  SurfaceEnvironment env{ScreenInfo{}, false, &metrics};
  DiagramPicture picture;
  explicit Drawn(const Loaded& data, int32_t selected = 0, int32_t density = 0) {
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    ViewState view;
    view.SelectedSample = selected;
    view.Density = density;
    int32_t divisions = 0;
    DrawDiagram(data.geometry, data.table, view, divisions, picture, env);
  }
};

void BM_RecordDiagram(benchmark::State& state) {
  const Loaded data(static_cast<int32_t>(state.range(0)));
  Drawn drawn(data);
  ViewState view;
  view.SelectedSample = 4;
  int32_t divisions = 0;
  for (auto _ : state) DrawDiagram(data.geometry, data.table, view, divisions, drawn.picture, drawn.env);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RecordDiagram)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_PlaybackForDisplay587(benchmark::State& state) {
  const Loaded data(static_cast<int32_t>(state.range(0)));
  Drawn drawn(data, 4);
  const PictureSnapshot snapshot = Snapshot(drawn.picture);
  for (auto _ : state) benchmark::DoNotOptimize(RenderForDisplay(snapshot, QSize(587, 587)));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PlaybackForDisplay587)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// Encoding the diagram with `encode`, with the file size per sample.
void Encode(benchmark::State& state, std::vector<uint8_t> (*encode)(const PictureSnapshot&)) {
  const Loaded data(static_cast<int32_t>(state.range(0)));
  Drawn drawn(data, 4);
  const PictureSnapshot snapshot = Snapshot(drawn.picture);
  size_t size = 0;
  for (auto _ : state) size = encode(snapshot).size();
  state.counters["bytes_per_sample"] = static_cast<double>(size) / state.range(0);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_EncodeEmf(benchmark::State& state) { Encode(state, EncodeEmf); }
BENCHMARK(BM_EncodeEmf)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_EncodeWmf(benchmark::State& state) { Encode(state, EncodeWmf); }
BENCHMARK(BM_EncodeWmf)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_EncodePdf(benchmark::State& state) { Encode(state, EncodePdf); }
BENCHMARK(BM_EncodePdf)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_EncodeSvg(benchmark::State& state) { Encode(state, EncodeSvg); }
BENCHMARK(BM_EncodeSvg)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// Counting every sample into the cells of all four faces, as the density view does once per
// load and cell size.
void BM_CountDensity(benchmark::State& state) {
  const Loaded data(static_cast<int32_t>(state.range(0)));
  const auto divisions = static_cast<int32_t>(state.range(1));
  for (auto _ : state) benchmark::DoNotOptimize(CountDensity(data.table, data.table.SampleCount, divisions));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CountDensity)->Args({1'000'000, 50})->Args({1'000'000, 100})->Unit(benchmark::kMillisecond);

// The density view's cells as polygons, from the counts.
void BM_DensityCellPolygons(benchmark::State& state) {
  const Loaded data(1'000'000);
  const DensityField field = CountDensity(data.table, data.table.SampleCount, static_cast<int32_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(DensityCellPolygons(field, data.geometry));
}
BENCHMARK(BM_DensityCellPolygons)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

// The density view at 100 cells per edge, encoded; its size does not grow with the samples.
void EncodeDensity(benchmark::State& state, std::vector<uint8_t> (*encode)(const PictureSnapshot&)) {
  const Loaded data(static_cast<int32_t>(state.range(0)));
  Drawn drawn(data, 4, 100);
  const PictureSnapshot snapshot = Snapshot(drawn.picture);
  size_t size = 0;
  for (auto _ : state) size = encode(snapshot).size();
  state.counters["file_kb"] = static_cast<double>(size) / 1000;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
void BM_EncodeDensityEmf(benchmark::State& state) { EncodeDensity(state, EncodeEmf); }
BENCHMARK(BM_EncodeDensityEmf)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
void BM_EncodeDensityWmf(benchmark::State& state) { EncodeDensity(state, EncodeWmf); }
BENCHMARK(BM_EncodeDensityWmf)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
void BM_EncodeDensityPdf(benchmark::State& state) { EncodeDensity(state, EncodePdf); }
BENCHMARK(BM_EncodeDensityPdf)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
void BM_EncodeDensitySvg(benchmark::State& state) { EncodeDensity(state, EncodeSvg); }
BENCHMARK(BM_EncodeDensitySvg)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The density view played for display in the window's 587-pixel square.
void BM_PlaybackDensity587(benchmark::State& state) {
  const Loaded data(1'000'000);
  Drawn drawn(data, 4, static_cast<int32_t>(state.range(0)));
  const PictureSnapshot snapshot = Snapshot(drawn.picture);
  for (auto _ : state) benchmark::DoNotOptimize(RenderForDisplay(snapshot, QSize(587, 587)));
}
BENCHMARK(BM_PlaybackDensity587)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ternova

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
