// Any bytes as a data file: the load must end in a clean LoadError or a complete table, and the
// diagram drawn afterwards must show exactly the rows the load completed, where they project.
//
// Input: the first byte is the decimal separator (any byte, so ',' and odd ones are tried too),
// the rest is the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>
#include <variant>
#include <vector>

#include "data/cell_store.h"
#include "data/data_file.h"
#include "data/number.h"
#include "diagram/geometry.h"
#include "diagram/projection.h"
#include "plot/layers.h"
#include "diagram/sample_table.h"
#include "picture/picture.h"
#include "picture/surface.h"
#include "tests/fixed_advance.h"
#include "tests/flat_operations.h"

namespace {

using namespace ternova;

[[noreturn]] void Fail(const char* what, long a = 0, long b = 0) {
  std::fprintf(stderr, "data_file_fuzz: %s (%ld, %ld)\n", what, a, b);
  __builtin_trap();
}
#define CHECK(cond, ...) \
  do {                   \
    if (!(cond)) Fail(#cond, ##__VA_ARGS__); \
  } while (0)

using ::ternova::testing::FixedAdvance;

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char separator = static_cast<char>(data[0]);
  const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);

  static const DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  CellStore cells;
  // An earlier file's rows are left in place, as in the window: a failed load must never let
  // them be drawn or counted as its own.
  LoadDataText("1\t2\t3\t4\tA\n5\t6\t7\t8\n9\t10\t11\t12\n13\t14\t15\t16", {geometry, table, cells}, '.').ThrowIfFailed();

  bool loaded = false;
  int32_t errorRow = -1;
  try {
    const LoadResult result = LoadDataText(file, {geometry, table, cells}, separator);
    CHECK(result.rows == table.SampleCount, result.rows, table.SampleCount);
    CHECK(result.completed == table.CompletedRows, result.completed, table.CompletedRows);
    if (result.error) errorRow = result.error->Row();
    loaded = !result.error;
  } catch (const LoadError& e) {
    errorRow = e.Row();
  }

  const int32_t count = table.SampleCount, done = table.CompletedRows;
  CHECK(count >= 0 && done >= 0 && done <= count, count, done);
  CHECK(table.SampleValues.size() == size_t(count) + 1, long(table.SampleValues.size()), count);
  CHECK(table.SamplePoints.size() == size_t(count) + 1, long(table.SamplePoints.size()), count);
  CHECK(cells.Rows() == count, cells.Rows(), count);
  if (loaded) CHECK(done == count, done, count);
  // A row error names the first row not completed; only whole-file errors name none.
  else CHECK(errorRow == done + 1 || errorRow == 0, errorRow, done);

  SampleTable fresh;
  fresh.Resize(1);
  for (int32_t row = 1; row <= done; ++row) {
    for (int32_t col = 1; col <= 4; ++col) {
      double again = 0;
      CHECK(TryParseAmount(cells.Get(col, row), separator, again) == AmountStatus::Ok, row, col);
      CHECK(SameBits(again, table.SampleValues[row][col]), row, col);
    }
    fresh.SampleValues[1] = table.SampleValues[row];
    ProjectRow(geometry, fresh, 1);  // it did not fail in the load, so it must not fail now
    for (int face = 1; face <= 4; ++face) CHECK(fresh.SamplePoints[1][face] == table.SamplePoints[row][face], row, face);
  }

  FixedAdvance metrics;
  SurfaceEnvironment env;
  env.metrics = &metrics;
  DiagramPicture picture;
  picture.SetWidth(2000);
  picture.SetHeight(2000);
  ViewState view;
  view.SelectedSample = done;  // the highlighted symbol is twice the size
  int32_t divisions = 0;
  DrawDiagram(geometry, table, view, divisions, picture, env);

  // One symbol per face and completed row, face by face, each centred on its point; a box past
  // the 32-bit range stops at its edge instead of wrapping onto the diagram.
  std::vector<op::Ellipse> ellipses;
  for (const PictureOp& o : ::ternova::testing::FlatOperations(*picture.Content()))
    if (const auto* e = std::get_if<op::Ellipse>(&o)) ellipses.push_back(*e);
  CHECK(ellipses.size() == size_t(4) * size_t(done), long(ellipses.size()), done);
  const auto saturated = [](int64_t v) {
    return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
  };
  size_t k = 0;
  for (int face = 1; face <= 4; ++face)
    for (int32_t row = 1; row <= done; ++row, ++k) {
      const op::Ellipse& e = ellipses[k];
      const Point& p = table.SamplePoints[row][face];
      const int64_t r = int64_t{view.SymbolSize} * (row == view.SelectedSample ? 2 : 1);
      CHECK(e.x1 == saturated(p.x - r) && e.x2 == saturated(p.x + r), row, face);
      CHECK(e.y1 == saturated(p.y - r) && e.y2 == saturated(p.y + r), row, face);
    }
  return 0;
}
