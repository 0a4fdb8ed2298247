// Recording the diagram, playing it for display, and encoding it as EMF and WMF.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "data/data_file.h"
#include "plot/layers.h"
#include "plot/plot.h"
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

// Samples coloured by a field: 12 suites at random (field 6) or a million distinct notes
// (field 5, which gives the "other" entry). Grouping and the discs' colours, once per load and
// column.
struct GroupedPlot {
  Plot plot;
  QtTextMetrics metrics;
  SurfaceEnvironment env{ScreenInfo{}, false, &metrics};
  explicit GroupedPlot(int32_t samples, bool blocks = false) {
    plot.LoadText(SyntheticDataFile(samples, 1, 12, blocks), '.').ThrowIfFailed();
  }
};

void BM_GroupSamples(benchmark::State& state) {
  GroupedPlot g(1'000'000);
  ViewState view;
  view.ColourBy = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    g.plot.TableChanged();  // forgets the grouping
    benchmark::DoNotOptimize(g.plot.SampleColour(view, 1));
  }
  state.counters["groups"] = static_cast<double>(g.plot.Groups(view.ColourBy).groups.size());
}
BENCHMARK(BM_GroupSamples)->Arg(6)->Arg(5)->Unit(benchmark::kMillisecond);

// Each format's encoding of the 1M diagram in one colour (0), and in 12 suites' colours, the
// suites one after the other (1) or at random (2): a brush change between runs of one colour,
// which at random is before nearly every disc.
void EncodeGrouped(benchmark::State& state, std::vector<uint8_t> (*encode)(const PictureSnapshot&)) {
  GroupedPlot g(1'000'000, state.range(0) == 1);
  ViewState view;
  view.SelectedSample = 4;
  view.ColourBy = state.range(0) > 0 ? 6 : 0;
  g.plot.Draw(view, g.env);
  const PictureSnapshot snapshot = Snapshot(g.plot.Picture);
  size_t size = 0;
  for (auto _ : state) size = encode(snapshot).size();
  state.counters["bytes_per_sample"] = static_cast<double>(size) / 1e6;
}
void BM_EncodeGroupedEmf(benchmark::State& state) { EncodeGrouped(state, EncodeEmf); }
BENCHMARK(BM_EncodeGroupedEmf)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
void BM_EncodeGroupedWmf(benchmark::State& state) { EncodeGrouped(state, EncodeWmf); }
BENCHMARK(BM_EncodeGroupedWmf)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
void BM_EncodeGroupedPdf(benchmark::State& state) { EncodeGrouped(state, EncodePdf); }
BENCHMARK(BM_EncodeGroupedPdf)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
void BM_EncodeGroupedSvg(benchmark::State& state) { EncodeGrouped(state, EncodeSvg); }
BENCHMARK(BM_EncodeGroupedSvg)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Recording and playing the grouped 1M diagram for the window.
void BM_RecordAndPlayGrouped(benchmark::State& state) {
  GroupedPlot g(1'000'000);
  ViewState view;
  view.ColourBy = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    g.plot.Draw(view, g.env);
    benchmark::DoNotOptimize(RenderForDisplay(Snapshot(g.plot.Picture), QSize(587, 587)));
  }
}
BENCHMARK(BM_RecordAndPlayGrouped)->Arg(0)->Arg(6)->Unit(benchmark::kMillisecond);
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
