#include "plot/plot.h"

#include <system_error>
#include <utility>

namespace ternova {

Plot::Plot() : Geometry(ComputeDiagramGeometry()) {
  Picture.SetWidth(2000);
  Picture.SetHeight(2000);
}

Plot::~Plot() { JoinIndexer(); }

Plot::Plot(Plot&& other) noexcept { *this = std::move(other); }

Plot& Plot::operator=(Plot&& other) noexcept {
  if (this == &other) return *this;
  JoinIndexer();
  other.JoinIndexer();
  Geometry = other.Geometry;
  Table = std::move(other.Table);
  Cells = std::move(other.Cells);
  GridDivisions = other.GridDivisions;
  Picture = std::move(other.Picture);
  centres_ = std::move(other.centres_);
  symbols_ = std::move(other.symbols_);
  indexPending_ = other.indexPending_;
  indexFailure_ = std::move(other.indexFailure_);
  drawnView_ = std::move(other.drawnView_);
  drawn_ = other.drawn_;
  density_ = std::move(other.density_);
  return *this;
}

void Plot::JoinIndexer() {
  if (indexer_.joinable()) indexer_.join();
}

template <typename Load>
LoadResult Plot::Loaded(Load&& load) {
  const int32_t count = Table.SampleCount, completed = Table.CompletedRows;
  try {
    LoadResult result = load();
    TableChanged();
    return result;
  } catch (...) {
    // A table that could not be sized is empty now; a file that could not be read left it be.
    if (Table.SampleCount != count || Table.CompletedRows != completed) TableChanged();
    throw;
  }
}

LoadResult Plot::LoadFile(const std::string& path, char separator, LoadProgress* progress) {
  return Loaded([&] { return LoadDataFile(path, Target(), separator, progress); });
}

LoadResult Plot::LoadBytes(std::shared_ptr<FileBytes> bytes, char separator, LoadProgress* progress) {
  return Loaded([&] { return LoadDataBytes(std::move(bytes), Target(), separator, progress); });
}

LoadResult Plot::LoadText(std::string_view text, char separator, LoadProgress* progress) {
  return Loaded([&] { return LoadDataText(text, Target(), separator, progress); });
}

void Plot::TableChanged() {
  JoinIndexer();
  indexFailure_ = nullptr;
  centres_.reset();
  indexPending_ = false;
  symbols_.Clear();
  drawnView_.reset();
  density_.clear();
}

void Plot::CollectCentres() {
  centres_.reset();
  indexPending_ = false;
  centres_ = CollectSymbolCentres(Table);
  indexPending_ = true;
}

Drawn Plot::Draw(const ViewState& view, DiagramPicture& picture, const SurfaceEnvironment& env) {
  // Whatever is recorded becomes the picture, also when the drawing stops at an error; a
  // picture cut short may lack symbols, so none are found on it.
  drawnView_.reset();
  if (!centres_) CollectCentres();
  const DensityCells* density = view.Density != 0 ? &Density(view.Density) : nullptr;
  drawn_ = DrawLayers(kLayers, Geometry, Table, *centres_, view, GridDivisions, picture, env, density);
  drawnView_ = view;
  return drawn_;
}

const DensityCells& Plot::Density(int32_t divisions) {
  std::shared_ptr<const DensityCells>& cells = density_[divisions];
  if (!cells) cells = std::make_shared<const DensityCells>(MakeDensityCells(Table, Geometry, divisions));
  return *cells;
}

SymbolHit Plot::SymbolAt(double x, double y) {
  if (!drawnView_) return {};
  return Symbols().Find(x, y, drawnView_->SymbolSize, drawnView_->SelectedSample);
}

const SymbolIndex& Plot::Symbols() {
  JoinIndexer();
  try {
    if (const std::exception_ptr failure = std::exchange(indexFailure_, nullptr)) std::rethrow_exception(failure);
    if (std::exchange(indexPending_, false) && centres_) symbols_.Build(*centres_);
  } catch (...) {
    symbols_.Clear();
    throw;
  }
  return symbols_;
}

void Plot::StartSymbolIndex() {
  if (!indexPending_ || !centres_ || indexer_.joinable()) return;
  // The thread reads only its copy of the centres, which never change, and writes only the
  // index, which nothing reads before Symbols() has waited for it.
  try {
    indexer_ = std::thread([this, centres = *centres_] {
      try {
        symbols_.Build(centres);
      } catch (...) {
        indexFailure_ = std::current_exception();
      }
    });
    indexPending_ = false;
  } catch (const std::system_error&) {
    // No thread to be had: built when it is first needed.
  }
}

}  // namespace ternova
