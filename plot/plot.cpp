#include "plot/plot.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <utility>

#include "base/messages.h"
#include "base/visible_text.h"
#include "data/text_decode.h"

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
  keptDiscs_ = std::move(other.keptDiscs_);
  groups_ = std::move(other.groups_);
  fieldCount_ = other.fieldCount_;
  colours_ = std::move(other.colours_);
  drawnColours_ = std::move(other.drawnColours_);
  coloursColumn_ = other.coloursColumn_;
  coloursHidden_ = std::move(other.coloursHidden_);
  density_ = std::move(other.density_);
  densityShown_ = std::move(other.densityShown_);
  shownDensity_ = std::move(other.shownDensity_);
  shownDensityRows_ = std::move(other.shownDensityRows_);
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
  keptDiscs_.reset();
  groups_.reset();
  fieldCount_.reset();
  colours_.reset();
  drawnColours_.reset();
  density_.clear();
  densityShown_.reset();
  shownDensity_.reset();
  shownDensityRows_.reset();
}

void Plot::CollectCentres() {
  centres_.reset();
  indexPending_ = false;
  centres_ = CollectSymbolCentres(Table);
  indexPending_ = true;
}

Drawn Plot::Draw(const ViewState& view, DiagramPicture& picture, const SurfaceEnvironment& env) {
  const std::string language = Language();
  if (view.Density != 0) {
    // Off again, the view shows the discs as they were: a million of them take a while to play.
    if (&picture == &Picture && drawnView_ && drawnView_->Density == 0 && picture.Content())
      keptDiscs_ = KeptDrawing{*drawnView_, env.screen, env.japanese, language, picture.Content(), drawn_, GridDivisions,
                               drawnColours_};
  } else if (keptDiscs_) {
    KeptDrawing kept = std::move(*std::exchange(keptDiscs_, std::nullopt));
    if (&picture == &Picture && kept.view == view && kept.screen == env.screen && kept.japanese == env.japanese && kept.language == language &&
        ColoursFor(view) == kept.colours) {
      picture.SetContent(std::move(kept.content));
      GridDivisions = kept.gridDivisions;
      drawn_ = std::move(kept.drawn);
      drawnView_ = view;
      drawnColours_ = std::move(kept.colours);
      return drawn_;
    }
  }
  // Whatever is recorded becomes the picture, also when the drawing stops at an error; a
  // picture cut short may lack symbols, so none are found on it.
  drawnView_.reset();
  drawnColours_.reset();
  if (!centres_) CollectCentres();
  std::shared_ptr<const DiscColours> colours = ColoursFor(view);
  const std::vector<LegendEntry> legend = Legend(view);
  const DensityCells* density = view.Density != 0 ? &Density(view) : nullptr;
  drawn_ = DrawLayers(kLayers, Geometry, Table, *centres_, view, GridDivisions, picture, env, density, colours, legend);
  drawnView_ = view;
  drawnColours_ = std::move(colours);
  return drawn_;
}

const Grouping& Plot::Groups(int32_t column) {
  if (!groups_ || groups_->column != column) {
    groups_.reset();
    groups_ = GroupSamples(Cells, DrawnRows(Table), column);
  }
  return *groups_;
}

int32_t Plot::FieldCount() {
  if (!fieldCount_) {
    int32_t most = 0;
    const int32_t rows = std::min(Cells.Rows(), DrawnRows(Table));
    for (int32_t r = 1; r <= rows; ++r) most = std::max(most, Cells.Fields(r));
    fieldCount_ = most;
  }
  return *fieldCount_;
}

std::string Plot::EntryText(const SampleGroup& group) const {
  if (group.other) return Tr(kOtherGroups);
  if (group.key.empty()) return Tr(kNoGroup);
  // Only the start of a very long cell can be shown: the rest is not decoded.
  constexpr size_t kLongest = 4096;
  const std::string_view key(group.key.data(), std::min(group.key.size(), kLongest));
  return WithInvisiblesShown(DecodeCellText(key, Cells.Utf8()));
}

namespace {
bool Hidden(const ViewState& view, const SampleGroup& group) {
  return std::binary_search(view.HiddenGroups.begin(), view.HiddenGroups.end(),
                            LegendKey(group));
}
}  // namespace

std::vector<LegendEntry> Plot::Legend(const ViewState& view) {
  std::vector<LegendEntry> legend;
  if (view.ColourBy < 1) return legend;
  for (const SampleGroup& g : Groups(view.ColourBy).groups)
    legend.push_back({EntryText(g), g.count, g.colour, Hidden(view, g)});
  return legend;
}

std::shared_ptr<const DiscColours> Plot::ColoursFor(const ViewState& view) {
  if (view.ColourBy < 1) return nullptr;
  if (colours_ && coloursColumn_ == view.ColourBy && coloursHidden_ == view.HiddenGroups) return colours_;
  const Grouping& g = Groups(view.ColourBy);
  auto colours = std::make_shared<DiscColours>();
  std::vector<uint8_t> lookOfEntry(g.groups.size());
  for (size_t e = 0; e < g.groups.size(); ++e) {
    colours->palette.push_back(g.groups[e].colour);
    lookOfEntry[e] = Hidden(view, g.groups[e]) ? kNoDisc : static_cast<uint8_t>(e);
  }
  colours->ofCentre.resize(g.entryOfRow.size());
  std::transform(g.entryOfRow.begin(), g.entryOfRow.end(), colours->ofCentre.begin(),
                 [&](uint32_t e) { return lookOfEntry[e]; });
  colours_ = std::move(colours);
  coloursColumn_ = view.ColourBy;
  coloursHidden_ = view.HiddenGroups;
  return colours_;
}

std::string Plot::GroupTextOf(const ViewState& view, int32_t row) {
  if (view.ColourBy < 1) return {};
  const Grouping& g = Groups(view.ColourBy);
  if (row < 1 || static_cast<size_t>(row) > g.entryOfRow.size()) return {};
  return EntryText(g.groups[g.entryOfRow[static_cast<size_t>(row - 1)]]);
}

std::optional<Rgb> Plot::SampleColour(const ViewState& view, int32_t row) {
  if (row < 1 || row > DrawnRows(Table)) return std::nullopt;
  const std::shared_ptr<const DiscColours> colours = ColoursFor(view);
  if (!colours) return kBlue;
  const Rgb* c = colours->Of(static_cast<uint32_t>(row - 1));
  return c ? std::optional<Rgb>(*c) : std::nullopt;
}

int32_t Plot::LegendEntryAt(double x, double y) const {
  if (!drawnView_) return -1;
  for (size_t i = 0; i < drawn_.legend.size(); ++i)
    if (drawn_.legend[i].Contains(x, y)) return static_cast<int32_t>(i);
  return -1;
}

const DiscColours* Plot::DensityRows(const ViewState& view) {
  // Every drawn row counts unless some group is hidden.
  if (view.HiddenGroups.empty()) return nullptr;
  return ColoursFor(view).get();
}

const DensityCells& Plot::Density(const ViewState& view) {
  const DiscColours* rows = DensityRows(view);
  if (densityShown_.get() != rows) {
    density_.clear();
    densityShown_ = rows ? colours_ : nullptr;
  }
  std::shared_ptr<const DensityCells>& cells = density_[view.Density];
  if (!cells) cells = std::make_shared<const DensityCells>(MakeDensityCells(Table, Geometry, view.Density, rows));
  return *cells;
}


std::shared_ptr<const DensityCells> Plot::ShownDensity(const ViewState& view, double scale, const DisplayBox& region) {
  if (view.Density <= 0 || !(scale >= 2)) return nullptr;
  const int level = std::min(static_cast<int>(std::log2(std::min(scale, 64.0))), 6);
  const int32_t divisions = view.Density << level;
  const DiscColours* rows = DensityRows(view);
  // Whole faces' counts first: the caption's points outside their faces, and nothing to wait
  // for when the view goes back to the whole diagram.
  const DensityCells& whole = Density(view);
  std::array<CellWindow, 4> needed;
  for (int f = 1; f <= 4; ++f)
    needed[f - 1] = WindowOver(Geometry, f, divisions, static_cast<double>(region.x0), static_cast<double>(region.y0),
                               static_cast<double>(region.x1), static_cast<double>(region.y1));
  if (shownDensity_ && shownDensityRows_.get() == rows && shownDensity_->field.divisions == divisions) {
    bool covered = true;
    for (int f = 0; f < 4; ++f) covered = covered && shownDensity_->field.faces[f].window.Covers(needed[f]);
    if (covered) return shownDensity_;
  }
  // A quarter of the region more on every side: a drag goes on a while before the next count.
  const double padX = static_cast<double>(region.x1 - region.x0) / 4, padY = static_cast<double>(region.y1 - region.y0) / 4;
  std::vector<CellWindow> windows;
  for (int f = 1; f <= 4; ++f)
    windows.push_back(WindowOver(Geometry, f, divisions, static_cast<double>(region.x0) - padX,
                                 static_cast<double>(region.y0) - padY, static_cast<double>(region.x1) + padX,
                                 static_cast<double>(region.y1) + padY));
  if (!centres_) CollectCentres();
  // Through the index only the samples near the region are looked at, but each at a jump in
  // memory: one pass over the whole table is faster once they are more than a fifth of the rows,
  // and needs no index, which may still be to be built.
  const SymbolIndex* index = indexPending_ ? nullptr : &Symbols();
  const int64_t near = index ? index->CountAround(static_cast<double>(region.x0) - padX,
                                                  static_cast<double>(region.y0) - padY,
                                                  static_cast<double>(region.x1) + padX,
                                                  static_cast<double>(region.y1) + padY)
                             : INT64_MAX;
  std::vector<CellCounts> counts = near < DrawnRows(Table) / 5
                                       ? CountCellsNear(Table, *index, Geometry, windows, rows)
                                       : CountCells(Table, DrawnRows(Table), windows, rows);
  std::array<CellCounts, 4> faces;
  for (int f = 0; f < 4; ++f) faces[f] = std::move(counts[static_cast<size_t>(f)]);
  auto cells = std::make_shared<DensityCells>();
  cells->field = FieldOf(divisions, std::move(faces), whole.field.outside);
  // Coloured by the whole view's scale, so the colour bar says what they mean.
  cells->field.maxCount = whole.field.maxCount;
  cells->field.weight = uint64_t{1} << (2 * level);
  cells->polygons = DensityCellPolygons(cells->field, Geometry);
  shownDensity_ = std::move(cells);
  shownDensityRows_ = rows ? colours_ : nullptr;
  return shownDensity_;
}

void Plot::DrawForDisplay(const ViewState& view, const DensityCells& cells, DiagramPicture& picture,
                          const SurfaceEnvironment& env) {
  if (!centres_) CollectCentres();
  int32_t gridDivisions = GridDivisions;
  DrawLayers(kLayers, Geometry, Table, *centres_, view, gridDivisions, picture, env, &cells, ColoursFor(view),
             Legend(view));
}

SymbolHit Plot::SymbolAt(double x, double y, double radiusScale) {
  if (!drawnView_) return {};
  if (drawnView_->Density != 0) {
    // Over the cells only the highlighted sample is drawn: only it is there to be found, the
    // last face drawn first.
    const int32_t row = drawnView_->SelectedSample;
    if (row < 1 || row > DrawnRows(Table) || (drawnColours_ && !drawnColours_->Of(static_cast<uint32_t>(row - 1))))
      return {};
    const int64_t radius = 2 * std::llabs(int64_t{drawnView_->SymbolSize});
    const double rr = static_cast<double>(radius) * radiusScale;
    for (int face = 4; face >= 1; --face) {
      const Point& p = Table.SamplePoints[static_cast<size_t>(row)][face];
      const double dx = x - p.x, dy = y - p.y;
      if (dx * dx + dy * dy <= rr * rr) return {row, face, p, radius};
    }
    return {};
  }
  return Symbols().Find(x, y, drawnView_->SymbolSize, drawnView_->SelectedSample, drawnColours_.get(), radiusScale);
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
