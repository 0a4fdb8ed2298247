// The window as the user meets it: opening a large file through File > Open, clicking a row of
// the grid, and finding the sample under the mouse on the diagram.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWheelEvent>
#include <chrono>
#include <cstdio>
#include <deque>
#include <random>
#include <unistd.h>

#include "app/file_watch.h"
#include "app/main_window.h"
#include "app/sample_grid.h"
#include "app/state.h"
#include "app/image_control.h"
#include "data/data_file.h"
#include "plot/layers.h"
#include "diagram/symbol_index.h"
#include "picture/qt/playback.h"
#include "picture/qt/qt_text_metrics.h"
#include "synthetic.h"

namespace ternova::app {
namespace {

// Answers every open dialog with one file; anything shown in the error box stops the run.
struct AnsweringDialogs : Dialogs {
  QString path;
  bool ExecuteOpen(QWidget*, FileDialogSettings& settings) override {
    settings.FileName = path;
    return true;
  }
  bool ExecuteSave(QWidget*, FileDialogSettings&) override { return false; }
  void ShowError(QWidget*, const QString& text) override {
    std::fprintf(stderr, "error box: %s\n", text.toUtf8().constData());
    std::abort();
  }
  void ShowHelp(QWidget*, const QString&) override {}
};

struct Window {
  AnsweringDialogs* dialogs;
  std::unique_ptr<TForm1> form;
  explicit Window(int32_t samples, int32_t groups = 0) {
    State() = ProcessState{};
    auto d = std::make_unique<AnsweringDialogs>();
    d->path = QString::fromStdString(WriteSyntheticDataFile(samples, groups));
    dialogs = d.get();
    form = std::make_unique<TForm1>(std::move(d));
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) std::fprintf(stderr, "the window was never shown\n");
  }
  ~Window() { std::remove(dialogs->path.toStdString().c_str()); }
};

// File > Open: the load, the grid's new size, the first drawing, and the window painted with
// it (the symbol index then starts on another thread; the next open waits for it). Each
// repetition is a new window, so at a million samples (one iteration) every figure is a first
// open, whose memory is all fresh.
void BM_OpenThroughWindow(benchmark::State& state) {
  Window window(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    window.form->OpenO1->trigger();
    QApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenThroughWindow)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same file opened again in a window that already shows it: the buffers of the last load
// are there to be reused.
void BM_OpenAgainThroughWindow(benchmark::State& state) {
  Window window(static_cast<int32_t>(state.range(0)));
  window.form->OpenO1->trigger();
  QApplication::processEvents();
  for (auto _ : state) {
    window.form->OpenO1->trigger();
    QApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenAgainThroughWindow)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The open file saved anew by another program (a new copy renamed over it, as editors and
// spreadsheets save), with the settle time at nothing: from the save to the new diagram on screen,
// which is what the window adds once the file has settled.
void BM_ReloadThroughWindow(benchmark::State& state) {
  const auto samples = static_cast<int32_t>(state.range(0));
  Window window(samples);
  window.form->DataFileWatch()->SetSettleTime(0);
  window.form->OpenO1->trigger();
  QApplication::processEvents();
  // Two versions of the file, each hard-linked beside it and renamed into place in turn.
  const std::string path = window.dialogs->path.toStdString();
  const std::string versions[2] = {path + ".a", path + ".b"};
  for (int v = 0; v < 2; ++v) {
    const std::string text = SyntheticDataFile(samples, 7 + v);
    std::FILE* file = std::fopen(versions[v].c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  const std::string beside = path + ".new";
  int version = 0;
  for (auto _ : state) {
    const auto shown = window.form->imgTernova->Picture().content;
    ::link(versions[version].c_str(), beside.c_str());
    std::rename(beside.c_str(), path.c_str());
    version = 1 - version;
    QElapsedTimer waited;
    waited.start();
    auto waiting = [&] {
      const auto now = window.form->imgTernova->Picture().content;
      return now == shown || !now;
    };
    while (waiting() && waited.elapsed() < 10'000)
      QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QApplication::processEvents();  // the diagram painted
    if (waiting()) state.SkipWithError("the window never reloaded");
  }
  for (const std::string& v : versions) std::remove(v.c_str());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReloadThroughWindow)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// File > Open taken apart: each phase the window goes through, called directly and timed on its
// own (milliseconds per open in the counters), the figure their sum.
void BM_OpenPhases(benchmark::State& state) {
  Window window(static_cast<int32_t>(state.range(0)));
  ProcessState& s = State();
  QtTextMetrics metrics;
  const SurfaceEnvironment env{ScreenInfo{}, false, &metrics};
  const char* const names[] = {"read", "parse", "grid", "centres", "index", "record", "replay"};
  double spent[std::size(names)] = {};
  for (auto _ : state) {
    // What the last open derived goes before the clock starts, as it did with its own copies.
    s.Engine.TableChanged();
    using Clock = std::chrono::steady_clock;
    Clock::time_point at = Clock::now();
    double total = 0;
    auto phase = [&](size_t n) {
      const Clock::time_point now = Clock::now();
      const double ms = std::chrono::duration<double, std::milli>(now - at).count();
      spent[n] += ms;
      total += ms;
      at = now;
    };
    const auto bytes = ReadWholeFile(window.dialogs->path.toStdString());
    phase(0);
    const LoadResult result = LoadDataBytes(bytes, s.Engine.Target(), s.DecimalSeparator);
    s.Engine.TableChanged();
    phase(1);
    window.form->strgridData->ShowLoadedFile(result.rows);
    phase(2);
    s.Engine.CollectCentres();
    phase(3);
    s.Engine.Symbols();
    phase(4);
    s.Engine.Draw(ViewState{}, env);
    phase(5);
    benchmark::DoNotOptimize(RenderForDisplay(Snapshot(s.Engine.Picture), window.form->imgTernova->size()));
    phase(6);
    state.SetIterationTime(total / 1000);
    if (result.error) state.SkipWithError("the file did not load");
  }
  for (size_t n = 0; n < std::size(names); ++n)
    state.counters[names[n]] = benchmark::Counter(spent[n], benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_OpenPhases)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseManualTime();

// A left click on a grid row: the selection, the new recording, and the diagram repainted.
// With a second argument, the samples coloured by 12 suites.
void BM_ClickGridRow(benchmark::State& state) {
  const bool grouped = state.range(1) > 0;
  Window window(static_cast<int32_t>(state.range(0)), grouped ? 12 : 0);
  window.form->OpenO1->trigger();
  QApplication::processEvents();
  if (grouped) window.form->ColourByClick(6);
  QApplication::processEvents();
  SampleGrid* grid = window.form->strgridData;
  int row = 2;
  for (auto _ : state) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(1, row).center());
    QApplication::processEvents();
    row = row == 2 ? 3 : 2;  // never the same spot twice running: no double-click
  }
  if (State().SelectedSample != 2 && State().SelectedSample != 3) state.SkipWithError("the click selected nothing");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ClickGridRow)->Args({10'000, 0})->Args({100'000, 0})->Args({1'000'000, 0})->Args({1'000'000, 12})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// Option > Density on, then off: each the new recording and the diagram repainted. The first
// time on counts the cells; that count is kept for the file, so it is made before the clock.
void BM_DensityOnOff(benchmark::State& state) {
  Window window(static_cast<int32_t>(state.range(0)));
  window.form->OpenO1->trigger();
  QApplication::processEvents();
  window.form->DensityD1->trigger();
  QApplication::processEvents();
  window.form->DensityD1->trigger();
  QApplication::processEvents();
  double on = 0, off = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    window.form->DensityD1->trigger();
    QApplication::processEvents();
    const auto end = std::chrono::steady_clock::now();
    (window.form->DensityD1->isChecked() ? on : off) += std::chrono::duration<double, std::milli>(end - start).count();
  }
  state.counters["on_ms"] = on / std::max<int64_t>(1, (state.iterations() + 1) / 2);
  state.counters["off_ms"] = off / std::max<int64_t>(1, state.iterations() / 2);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DensityOnOff)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first Option > Density after a load: the count of every face, its cells and the repaint.
void BM_DensityFirstOn(benchmark::State& state) {
  Window window(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    window.form->OpenO1->trigger();
    QApplication::processEvents();
    if (window.form->DensityD1->isChecked()) window.form->DensityD1->trigger();
    QApplication::processEvents();
    state.ResumeTiming();
    window.form->DensityD1->trigger();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_DensityFirstOn)->Arg(1'000'000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// One arrow key in the grid: the selection moves a row, the diagram is recorded and the changed
// symbols repainted.
void BM_ArrowKey(benchmark::State& state) {
  const bool grouped = state.range(1) > 0;
  Window window(static_cast<int32_t>(state.range(0)), grouped ? 12 : 0);
  window.form->OpenO1->trigger();
  QApplication::processEvents();
  if (grouped) window.form->ColourByClick(6);
  QApplication::processEvents();
  SampleGrid* grid = window.form->strgridData;
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(1, 2).center());
  QApplication::processEvents();
  bool down = true;
  for (auto _ : state) {
    QTest::keyClick(grid, down ? Qt::Key_Down : Qt::Key_Up);
    QApplication::processEvents();
    down = !down;
  }
  if (State().SelectedSample != 2 && State().SelectedSample != 3) state.SkipWithError("the key moved nothing");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ArrowKey)->Args({100'000, 0})->Args({1'000'000, 0})->Args({1'000'000, 12})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// The arrow key up through the last rows of the file: their symbols are drawn on top, and
// some stand at the edge of the crowd, where a selection repaints the most. The figure is the
// mean step, slowest_ms the slowest one.
void BM_ArrowKeyThroughTheLastRows(benchmark::State& state) {
  const auto samples = static_cast<int32_t>(state.range(0));
  Window window(samples);
  window.form->OpenO1->trigger();
  QApplication::processEvents();
  SampleGrid* grid = window.form->strgridData;
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(1, 2).center());
  QApplication::processEvents();
  double slowest = 0;
  int steps = 0;
  for (auto _ : state) {
    if (steps++ % 40 == 0) {
      state.PauseTiming();
      QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
      QApplication::processEvents();
      state.ResumeTiming();
    }
    const auto start = std::chrono::steady_clock::now();
    QTest::keyClick(grid, Qt::Key_Up);
    QApplication::processEvents();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    slowest = std::max(slowest, seconds * 1000);
    state.SetIterationTime(seconds);
  }
  if (State().SelectedSample < samples - 40) state.SkipWithError("the key moved nowhere");
  state.counters["slowest_ms"] = slowest;
}
BENCHMARK(BM_ArrowKeyThroughTheLastRows)->Arg(1'000'000)->Iterations(200)->Unit(benchmark::kMillisecond)->UseManualTime();

// One step of dragging the window's corner: the diagram painted at the new size. The figure is
// the time per frame; frames per second are 1000 over it.
void BM_ResizeStep(benchmark::State& state) {
  Window window(static_cast<int32_t>(state.range(0)));
  window.form->OpenO1->trigger();
  QApplication::processEvents();
  const QSize start = window.form->size();
  int step = 0;
  for (auto _ : state) {
    step = (step + 1) % 20;
    window.form->resize(start + QSize(step * 6, step * 4));
    QApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ResizeStep)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

void SendWheel(QWidget* widget, QPoint at, int notches) {
  QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &wheel);
}

// One wheel notch over the diagram, in and out again by turns, from `range(1)` notches in: the
// diagram replayed at the new magnification and painted.
void BM_WheelNotch(benchmark::State& state) {
  Window window(static_cast<int32_t>(state.range(0)));
  window.form->OpenO1->trigger();
  QApplication::processEvents();
  // range(2): in the density view, whose cells are counted again for what a magnified view shows.
  if (state.range(2)) window.form->DensityD1->trigger();
  QApplication::processEvents();
  ImageControl* image = window.form->imgTernova;
  const QPoint at(image->width() / 2, image->height() / 3);
  SendWheel(image, at, static_cast<int>(state.range(1)));
  QApplication::processEvents();
  int notch = 1;
  for (auto _ : state) {
    SendWheel(image, at, notch);
    image->repaint();
    notch = -notch;
  }
  state.counters["scale"] = image->Zoom().scale;
}
BENCHMARK(BM_WheelNotch)->Args({1'000'000, 0, 0})->Args({1'000'000, 6, 0})->Args({1'000'000, 17, 0})
    ->Args({1'000'000, 2, 1})->Args({1'000'000, 3, 1})->Args({1'000'000, 6, 1})->Args({1'000'000, 17, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// One step of a drag over the magnified diagram: the view moved and painted. Frames per second
// are 1000 over the figure.
void BM_PanStep(benchmark::State& state) {
  Window window(static_cast<int32_t>(state.range(0)));
  window.form->OpenO1->trigger();
  QApplication::processEvents();
  if (state.range(2)) window.form->DensityD1->trigger();
  QApplication::processEvents();
  ImageControl* image = window.form->imgTernova;
  const QPoint centre(image->width() / 2, image->height() / 2);
  SendWheel(image, centre, static_cast<int>(state.range(1)));
  QApplication::processEvents();
  auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, image->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(image, &event);
  };
  mouse(QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
  int step = 0;
  for (auto _ : state) {
    step = (step + 1) % 20;
    // Back and forth along a diagonal, 8 pixels a step.
    const int d = (step < 10 ? step : 20 - step) * 8;
    mouse(QEvent::MouseMove, centre + QPoint(d, d / 2), Qt::NoButton, Qt::LeftButton);
    image->repaint();
  }
  mouse(QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PanStep)->Args({1'000'000, 3, 0})->Args({1'000'000, 9, 0})->Args({1'000'000, 3, 1})->Args({1'000'000, 9, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

struct Indexed {
  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  CellStore cells;
  SymbolIndex index;
  SymbolCentres centres;
  explicit Indexed(int32_t samples) {
    LoadDataText(SyntheticDataFile(samples), {geometry, table, cells}, '.').ThrowIfFailed();
    centres = CollectSymbolCentres(table);
    index.Build(centres);
  }
};

// Building the index, as every load now does.
void BM_SymbolIndexBuild(benchmark::State& state) {
  Indexed data(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) data.index.Build(data.centres);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SymbolIndexBuild)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// One lookup with the mouse on a symbol (where the samples crowd), medium symbols, one selected.
void BM_SymbolLookupOnSymbol(benchmark::State& state) {
  const auto samples = static_cast<int32_t>(state.range(0));
  Indexed data(samples);
  std::mt19937 rng(3);
  std::vector<QPointF> at(4096);
  for (QPointF& p : at) {
    const Point& c = data.table.SamplePoints[std::uniform_int_distribution<int32_t>(1, samples)(rng)]
                                           [std::uniform_int_distribution<int>(1, 4)(rng)];
    p = QPointF(c.x + std::uniform_real_distribution<double>(-4, 4)(rng), c.y + std::uniform_real_distribution<double>(-4, 4)(rng));
  }
  size_t i = 0, found = 0;
  for (auto _ : state) {
    const QPointF& p = at[i++ & 4095];
    found += data.index.Find(p.x(), p.y(), 6, 4).row != 0;
  }
  benchmark::DoNotOptimize(found);
  if (found == 0) state.SkipWithError("nothing found");
}
BENCHMARK(BM_SymbolLookupOnSymbol)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

// One lookup anywhere on the picture, mostly where no symbol is, large symbols.
void BM_SymbolLookupAnywhere(benchmark::State& state) {
  Indexed data(static_cast<int32_t>(state.range(0)));
  std::mt19937 rng(5);
  std::vector<QPointF> at(4096);
  for (QPointF& p : at)
    p = QPointF(std::uniform_real_distribution<double>(0, 2000)(rng), std::uniform_real_distribution<double>(0, 2000)(rng));
  size_t i = 0, found = 0;
  for (auto _ : state) {
    const QPointF& p = at[i++ & 4095];
    found += data.index.Find(p.x(), p.y(), 10, 4).row != 0;
  }
  benchmark::DoNotOptimize(found);
}
BENCHMARK(BM_SymbolLookupAnywhere)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ternova::app

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
