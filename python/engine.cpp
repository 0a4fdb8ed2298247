// ternova._engine: the drawing engine for Python. Only the Qt-free core is linked, so importing
// it needs no display and never starts a GUI application in the user's process (a notebook may
// already run one of its own). The package ternova (python/ternova) is the interface; this is
// the part that has to be fast.
#include <clocale>
#include <locale.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "base/error.h"
#include "base/two_cores.h"
#include "data/data_file.h"
#include "data/number.h"
#include "diagram/projection.h"
#include "picture/freetype_text_metrics.h"
#include "picture/svg_writer.h"
#include "picture/system_locale.h"
#include "picture/vector_export.h"
#include "plot/plot.h"

namespace py = pybind11;

namespace ternova {
namespace {

// The views hand out the table's own rows: a row of amounts or points must stay the plain
// array numpy strides over.
static_assert(sizeof(Point) == 2 * sizeof(int32_t) && alignof(Point) == alignof(int32_t));
static_assert(sizeof(std::array<Point, 5>) == 5 * sizeof(Point));
static_assert(sizeof(std::array<double, 5>) == 5 * sizeof(double));

constexpr const char* kComponentNames[] = {"", "SiO2", "Al2O3+CaO", "MgO", "FeO"};

// A failed load on its way to Python as ternova.LoadError: the message as the window shows it,
// the data row (0: none) and the grid column of the amount at fault (0: none).
struct PythonLoadError {
  std::string message;
  int32_t row = 0;
  int32_t cell = 0;
};

// Created with the module and never freed: the interpreter may outlive any C++ destructor.
PyObject* loadErrorType = nullptr;

// FreeType faces and the writers' state are not for two threads at once; drawings from several
// Python threads take turns.
std::mutex& DrawingTurn() {
  static std::mutex turn;
  return turn;
}

// The system's error texts (a file that cannot be opened) in the user's language, as
// ternova-plot has them, without changing the locale of the user's process: only this thread's
// and only while the engine works.
class UserMessagesLocale {
 public:
  UserMessagesLocale() {
    own_ = ::newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (own_) previous_ = ::uselocale(own_);
  }
  ~UserMessagesLocale() {
    if (!own_) return;
    ::uselocale(previous_);
    ::freelocale(own_);
  }
  UserMessagesLocale(const UserMessagesLocale&) = delete;
  UserMessagesLocale& operator=(const UserMessagesLocale&) = delete;

 private:
  locale_t own_ = static_cast<locale_t>(0);
  locale_t previous_ = static_cast<locale_t>(0);
};

char SeparatorFrom(const std::optional<std::string>& given) {
  if (!given) return UserDecimalSeparator();
  if (given->size() != 1 || !IsUsableDecimalSeparator((*given)[0]))
    throw py::value_error("decimal_separator must be one character other than a digit, +, -, e, E, a blank or a "
                          "control character; got '" + *given + "'");
  return (*given)[0];
}

// One loaded table and what the engine derived from it. Calls that release the interpreter
// lock take the table's own lock, so two Python threads never work on one engine at once.
struct Table {
  Plot plot;
  std::mutex busy;

  int32_t Rows() const { return plot.Table.SampleCount; }

  // The grid column whose amount stopped row `row`: the load converts columns 1..4 in order and
  // stops at the first that fails, so that is the first that does not convert on its own. None
  // (0) when all four do: the projection failed.
  int32_t FailedCell(int32_t row, char separator) const {
    if (row <= 0 || row > plot.Cells.Rows()) return 0;
    for (int32_t col = 1; col <= 4; ++col) {
      double value = 0;
      if (TryParseAmount(plot.Cells.Get(col, row), separator, value) != AmountStatus::Ok) return col;
    }
    return 0;
  }

  template <typename Load>
  void Loaded(Load&& load, char separator) {
    LoadResult result;
    try {
      UserMessagesLocale messages;
      result = load();
    } catch (const LoadError& e) {
      throw PythonLoadError{WithFullStop(e.what()), e.Row(), 0};
    }
    if (result.error) {
      const int32_t row = result.error->Row();
      throw PythonLoadError{WithFullStop(result.error->what()), row, FailedCell(row, separator)};
    }
  }
};

std::unique_ptr<Table> LoadFile(const std::string& path, const std::optional<std::string>& separatorGiven) {
  const char separator = SeparatorFrom(separatorGiven);
  auto table = std::make_unique<Table>();
  py::gil_scoped_release unlocked;
  table->Loaded([&] { return table->plot.LoadFile(path, separator); }, separator);
  return table;
}

std::unique_ptr<Table> LoadText(const py::object& text, const std::optional<std::string>& separatorGiven) {
  const char separator = SeparatorFrom(separatorGiven);
  // A str is read as its UTF-8 bytes, which the cells then show as UTF-8; bytes are taken as a
  // file's are (a byte-order mark, the system's code page).
  std::string_view view;
  if (py::isinstance<py::str>(text)) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (!data) throw py::error_already_set();
    view = {data, static_cast<size_t>(size)};
  } else if (py::isinstance<py::bytes>(text)) {
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(text.ptr(), &data, &size) != 0) throw py::error_already_set();
    view = {data, static_cast<size_t>(size)};
  } else {
    throw py::type_error("text must be a str or bytes, not " + py::str(py::type::of(text).attr("__name__")).cast<std::string>());
  }
  auto table = std::make_unique<Table>();
  py::gil_scoped_release unlocked;  // `text` stays referenced by the caller and cannot change
  table->Loaded([&] { return table->plot.LoadText(view, separator); }, separator);
  return table;
}

// Amounts that no data file can hold are the caller's mistake, said before any work.
void CheckFinite(const double* values, int64_t rows) {
  for (int64_t i = 0; i < rows * 4; ++i)
    if (!std::isfinite(values[i])) {
      const int64_t row = i / 4;
      throw py::value_error("amounts must be finite numbers: row " + std::to_string(row + 1) + " (index " +
                            std::to_string(row) + ") has " + (std::isnan(values[i]) ? "nan" : "an infinite amount") +
                            " for " + kComponentNames[i % 4 + 1]);
    }
}

using Amounts = py::array_t<double, py::array::c_style | py::array::forcecast>;

int64_t RowsOf(const Amounts& amounts) {
  if (amounts.ndim() != 2 || amounts.shape(1) != 4)
    throw py::value_error("amounts must be an (n, 4) array of SiO2, Al2O3+CaO, MgO and FeO");
  if (amounts.shape(0) >= INT32_MAX) throw py::value_error("more samples than a table holds");
  return amounts.shape(0);
}

// Projects rows [begin, end) of `values` into `points`, exactly as a loaded row is projected.
// Returns the first failing row (1-based) and its message, or row 0.
PythonLoadError ProjectRange(const DiagramGeometry& geometry, const double* values, Point* points, int64_t begin,
                             int64_t end) {
  int64_t done = 0;
  try {
    ProjectSamples(geometry, values + begin * 4, points + begin * 4, end - begin, done);
  } catch (const Error& e) {
    return {WithFullStop(e.what()), static_cast<int32_t>(begin + done + 1), 0};
  }
  return {};
}

// Both halves at once on a large array; the earlier failure in row order is the one reported.
void ProjectAll(const DiagramGeometry& geometry, const double* values, Point* points, int64_t rows) {
  const int64_t half = rows / 2;
  PythonLoadError first, second;
  OnTwoCores(
      rows >= 65536, [&] { second = ProjectRange(geometry, values, points, half, rows); },
      [&] { first = ProjectRange(geometry, values, points, 0, half); });
  if (first.row) throw first;
  if (second.row) throw second;
}

py::array_t<int32_t> Project(const Amounts& amounts) {
  const int64_t rows = RowsOf(amounts);
  py::array_t<int32_t> points({static_cast<py::ssize_t>(rows), py::ssize_t{4}, py::ssize_t{2}});
  const double* values = amounts.data();
  // The (n, 4, 2) array is the n * 4 points laid out as the table holds them.
  auto* out = reinterpret_cast<Point*>(points.mutable_data());
  static const DiagramGeometry geometry = ComputeDiagramGeometry();
  {
    py::gil_scoped_release unlocked;
    try {
      ProjectAll(geometry, values, out, rows);
    } catch (const PythonLoadError&) {
      // A NaN or an infinite amount always stops the projection, so only a failed one needs the
      // look for them; such amounts are the caller's mistake and are said first.
      CheckFinite(values, rows);
      throw;
    }
  }
  return points;
}

// A table of amounts that came from Python rather than a file: no cells, so no notes.
std::unique_ptr<Table> FromValues(const Amounts& amounts) {
  const int64_t rows = RowsOf(amounts);
  auto table = std::make_unique<Table>();
  const double* values = amounts.data();
  py::gil_scoped_release unlocked;
  CheckFinite(values, rows);
  SampleTable& t = table->plot.Table;
  try {
    t.Resize(static_cast<int32_t>(rows));
  } catch (const std::bad_alloc&) {
    throw PythonLoadError{WithFullStop(Tr(kNoResources)), 0, 0};
  }
  for (int64_t r = 0; r < rows; ++r) std::copy_n(values + r * 4, 4, t.SampleValues[static_cast<size_t>(r + 1)].begin() + 1);
  for (int32_t r = 1; r <= t.SampleCount; ++r) {
    try {
      ProjectRow(table->plot.Geometry, t, r);
    } catch (const Error& e) {
      throw PythonLoadError{WithFullStop(e.what()), r, 0};
    }
  }
  t.CompletedRows = t.SampleCount;
  table->plot.TableChanged();
  return table;
}

// Read-only views of the table's own rows: the points follow from the amounts, so neither may
// change behind the engine's back.
template <typename T>
py::array ReadOnlyView(std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides, const T* data,
                       const py::object& owner) {
  py::array view(py::dtype::of<T>(), std::move(shape), std::move(strides), data, owner);
  py::detail::array_proxy(view.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
  return view;
}

py::array Values(const py::object& self) {
  Table& t = self.cast<Table&>();
  const auto& rows = t.plot.Table.SampleValues;
  return ReadOnlyView<double>({t.Rows(), 4}, {sizeof(rows[0]), sizeof(double)}, &rows[rows.size() > 1 ? 1 : 0][1], self);
}

py::array Points(const py::object& self) {
  Table& t = self.cast<Table&>();
  const auto& rows = t.plot.Table.SamplePoints;
  return ReadOnlyView<int32_t>({t.Rows(), 4, 2}, {sizeof(rows[0]), sizeof(Point), sizeof(int32_t)},
                               &rows[rows.size() > 1 ? 1 : 0][1].x, self);
}

// The notes, decoded only when asked for: a list of a million strings would cost more than the
// whole table.
struct Notes {
  py::object owner;
  Table* table;

  py::ssize_t Size() const { return table->Rows(); }
  py::str At(py::ssize_t i) const {
    const py::ssize_t n = Size();
    if (i < 0) i += n;
    if (i < 0 || i >= n) throw py::index_error("note index out of range");
    const std::string text = table->plot.Cells.Text(5, static_cast<int32_t>(i + 1));
    PyObject* s = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    if (!s) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
  }
};

// One drawing of a table in one view, kept for saving and showing.
struct Drawing {
  DiagramPicture picture;
  int32_t samples = 0;

  PictureSnapshot Shot() const { return Snapshot(picture); }
};

std::unique_ptr<Drawing> Draw(Table& table, int32_t symbolSize, bool grid10, bool grid50, int32_t selected,
                               int32_t colourBy, int32_t density) {
  auto drawing = std::make_unique<Drawing>();
  drawing->picture.SetWidth(2000);
  drawing->picture.SetHeight(2000);
  const ViewState view{.SelectedSample = selected, .SymbolSize = symbolSize, .Grid10 = grid10, .Grid50 = grid50,
                       .ColourBy = colourBy, .Density = density};
  py::gil_scoped_release unlocked;
  std::scoped_lock lock(table.busy, DrawingTurn());
  // Without a screen the window records against the nominal one; so do ternova-plot and this.
  const SurfaceEnvironment env{ScreenInfo{}, SystemIsJapanese(), &InstalledFaceMetrics()};
  table.plot.Draw(view, drawing->picture, env);
  drawing->samples = table.Rows();
  return drawing;
}

void Save(const Drawing& drawing, const std::string& path) {
  if (NamesRasterFormat(path))
    throw py::value_error("the raster formats (.png, .bmp, .ico) are drawn by the window and ternova-plot only; "
                          "save as .svg, .pdf, .emf or .wmf");
  py::gil_scoped_release unlocked;
  std::lock_guard turn(DrawingTurn());
  UserMessagesLocale messages;
  SaveVectorPictureFile(path, drawing.Shot());
}

py::bytes Encode(const Drawing& drawing, const std::string& name) {
  std::vector<uint8_t> bytes;
  {
    py::gil_scoped_release unlocked;
    std::lock_guard turn(DrawingTurn());
    bytes = EncodeVectorForName(name, drawing.Shot());
  }
  return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

py::str Svg(const Drawing& drawing) {
  std::vector<uint8_t> bytes;
  {
    py::gil_scoped_release unlocked;
    std::lock_guard turn(DrawingTurn());
    bytes = EncodeSvg(drawing.Shot());
  }
  PyObject* s = PyUnicode_DecodeUTF8(reinterpret_cast<const char*>(bytes.data()), static_cast<Py_ssize_t>(bytes.size()),
                                     "strict");
  if (!s) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(s);
}

void RaiseLoadError(const PythonLoadError& e) {
  py::object error = py::reinterpret_borrow<py::object>(loadErrorType)(e.message);
  error.attr("row") = e.row > 0 ? py::object(py::int_(e.row)) : py::object(py::none());
  error.attr("cell") = e.cell > 0 ? py::object(py::int_(e.cell)) : py::object(py::none());
  PyErr_SetObject(loadErrorType, error.ptr());
}

}  // namespace
}  // namespace ternova

PYBIND11_MODULE(_engine, m) {
  using namespace ternova;
  m.doc() = "The Ternova drawing engine; use the package ternova.";

  loadErrorType = PyErr_NewExceptionWithDoc(
      "ternova.LoadError",
      "The data could not be loaded or projected. The message is the one the Ternova window shows; row is the "
      "data row (1-based, as in the window's table) and cell the column of the amount at fault (1 SiO2, "
      "2 Al2O3+CaO, 3 MgO, 4 FeO), each None when the failure is not about one.",
      PyExc_ValueError, nullptr);
  if (!loadErrorType) throw py::error_already_set();
  py::handle type(loadErrorType);
  type.attr("row") = py::none();
  type.attr("cell") = py::none();
  m.attr("LoadError") = type;

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const PythonLoadError& e) {
      RaiseLoadError(e);
    } catch (const LoadError& e) {
      RaiseLoadError({WithFullStop(e.what()), e.Row(), 0});
    } catch (const Error& e) {
      // Saving: the file could not be created or written.
      PyErr_SetString(PyExc_OSError, WithFullStop(e.what()).c_str());
    }
  });

  py::class_<Table>(m, "Table", "A loaded table of samples.")
      .def("__len__", &Table::Rows)
      .def_property_readonly("values", &Values, "(n, 4) float64: SiO2, Al2O3+CaO, MgO, FeO; a read-only view")
      .def_property_readonly("points", &Points,
                             "(n, 4, 2) int32: each sample's point on faces 1..4, in drawing units; a read-only view")
      .def_property_readonly(
          "notes", [](py::object self) { return Notes{self, &self.cast<Table&>()}; }, "the notes, as str");

  py::class_<Notes>(m, "Notes", "The notes of a table, as str, decoded when read.")
      .def("__len__", &Notes::Size)
      .def("__getitem__", &Notes::At)
      .def("__getitem__", [](const Notes& notes, const py::slice& slice) {
        py::ssize_t start = 0, stop = 0, step = 0, length = 0;
        if (!slice.compute(notes.Size(), &start, &stop, &step, &length)) throw py::error_already_set();
        py::list out(length);
        for (py::ssize_t k = 0; k < length; ++k) out[static_cast<size_t>(k)] = notes.At(start + k * step);
        return out;
      })
      .def("__repr__", [](const Notes& notes) { return "<ternova notes of " + std::to_string(notes.Size()) + " samples>"; });

  py::class_<Drawing>(m, "Drawing")
      .def_readonly("samples", &Drawing::samples)
      .def("save", &Save)
      .def("encode", &Encode)
      .def("svg", &Svg);

  m.def("load_file", &LoadFile, py::arg("path"), py::arg("decimal_separator"));
  m.def("load_text", &LoadText, py::arg("text"), py::arg("decimal_separator"));
  m.def("from_values", &FromValues, py::arg("amounts"));
  m.def("project", &Project, py::arg("amounts"));
  m.def("draw", &Draw, py::arg("table"), py::arg("symbol_size"), py::arg("grid10"), py::arg("grid50"),
        py::arg("select"), py::arg("colour_by") = 0, py::arg("density") = 0);
}
