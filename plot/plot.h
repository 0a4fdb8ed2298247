#pragma once
// The drawing engine: one loaded table, everything derived from it (the symbols' centres, the
// symbol index and its build on another thread), and the drawing of it as layers. The window,
// ternova-plot and the tests each use one; the window's is process-wide.
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "data/cell_store.h"
#include "data/data_file.h"
#include "diagram/geometry.h"
#include "diagram/sample_table.h"
#include "diagram/symbol_centres.h"
#include "diagram/symbol_index.h"
#include "picture/display.h"
#include "picture/picture.h"
#include "picture/surface.h"
#include "plot/groups.h"
#include "plot/layers.h"
#include "plot/view.h"

namespace ternova {

// The key a group is hidden by in ViewState::HiddenGroups.
inline const std::string& LegendKey(const SampleGroup& group) { return group.other ? kOtherGroupKey : group.key; }

class Plot {
 public:
  Plot();
  ~Plot();
  // Moving waits for both sides' index builds first.
  Plot(Plot&& other) noexcept;
  Plot& operator=(Plot&& other) noexcept;

  // The design's data, under their names: the net, the table and its cells, the grid pass's
  // divisor and the picture of the last drawing (the window's; others may draw elsewhere).
  DiagramGeometry Geometry;
  SampleTable Table;
  CellStore Cells;
  int32_t GridDivisions = 0;
  DiagramPicture Picture;

  // Loads as File > Open does (see LoadDataFile); once the table has changed, what was derived
  // from the old one goes. A file that cannot be read changes nothing.
  LoadResult LoadFile(const std::string& path, char separator, LoadProgress* progress = nullptr);
  LoadResult LoadBytes(std::shared_ptr<FileBytes> bytes, char separator, LoadProgress* progress = nullptr);
  LoadResult LoadText(std::string_view text, char separator, LoadProgress* progress = nullptr);
  // What a load writes, for one run on another thread: it touches nothing else of the engine,
  // and TableChanged follows on the engine's own thread.
  LoadTarget Target() { return {Geometry, Table, Cells}; }

  // The table was changed from outside: what was derived from it goes, and nothing drawn
  // before counts as showing it.
  void TableChanged();
  // Collects the symbols' centres of the table as it is now; the index follows when needed or
  // when StartSymbolIndex is called.
  void CollectCentres();

  // Draws the whole diagram into `picture` (by default the engine's own). The drawing stands as
  // the last one only when it completes. Turning the density view off again gives back the
  // drawing it replaced, recording and all, when nothing else has changed since.
  Drawn Draw(const ViewState& view, DiagramPicture& picture, const SurfaceEnvironment& env);
  Drawn Draw(const ViewState& view, const SurfaceEnvironment& env) { return Draw(view, Picture, env); }
  // The view of the last completed drawing of the table as it is; none after a change to it.
  const std::optional<ViewState>& DrawnView() const { return drawnView_; }
  const Drawn& LastDrawn() const { return drawn_; }
  // Whether `view` would draw what the last drawing drew but for the highlighted sample, with
  // every other sample's disc as it was (the density view draws none of them).
  bool OnlySelectionDiffers(const ViewState& view) const {
    return drawnView_ && view.Density == 0 && WithSelected(*drawnView_, view.SelectedSample) == view;
  }

  // The density view's cells of `view` (at view.Density per face edge) for the table as it is:
  // its shown samples, without its hidden groups'. Counted the first time they are asked for and
  // kept until the table or the hidden groups change.
  const DensityCells& Density(const ViewState& view);
  // The density view of `view` as a display magnified `scale` times shows `region` (drawing
  // units): on a lattice 2^k times as fine, 2^k <= scale, so that the cells stay as wide on the
  // screen, counted over the cells in and around the region. Null below twice the size, where
  // the view's own cells serve. Kept while the regions asked for lie within what was counted.
  std::shared_ptr<const DensityCells> ShownDensity(const ViewState& view, double scale, const DisplayBox& region);
  // Draws `view` into `picture` with `cells` as its density view's: a display's own picture,
  // which leaves the last drawing and what was found on it as they were.
  void DrawForDisplay(const ViewState& view, const DensityCells& cells, DiagramPicture& picture,
                      const SurfaceEnvironment& env);

  // The symbol under a point of the last completed drawing, in drawing units (row 0: none); a
  // hidden group's symbols are not there, nor in the density view any but the highlighted one's. Symbols cover `radiusScale` times their drawn radius
  // (a magnified view keeps their size on the screen).
  SymbolHit SymbolAt(double x, double y, double radiusScale = 1);

  // The shown samples grouped by field `column` (5 the note, 6 on the further ones), worked out
  // once per table and column.
  const Grouping& Groups(int32_t column);
  // The most fields a row of the table has, worked out once per table.
  int32_t FieldCount();
  // The legend `view` draws: none without a grouping.
  std::vector<LegendEntry> Legend(const ViewState& view);
  // The legend text of `row`'s group, as the legend shows it uncut (empty without a grouping).
  std::string GroupTextOf(const ViewState& view, int32_t row);
  // The colour `row`'s disc has under `view` but for the highlight: its group's, or blue without
  // a grouping; none when its group is hidden or the row is not drawn.
  std::optional<Rgb> SampleColour(const ViewState& view, int32_t row);
  // Each drawn row's colour under `view`'s grouping (row r at r - 1, none for a hidden group's),
  // worked out once per grouping and hidden groups; null without a grouping.
  std::shared_ptr<const DiscColours> ColoursFor(const ViewState& view);
  // The legend entry under a point of the last completed drawing, or -1.
  int32_t LegendEntryAt(double x, double y) const;
  // The index of the drawn symbols, once built (waited for, or built now).
  const SymbolIndex& Symbols();
  // Builds the index on another thread, when it is still to be built.
  void StartSymbolIndex();
  bool SymbolIndexPending() const { return indexPending_; }

 private:
  void JoinIndexer();
  template <typename Load>
  LoadResult Loaded(Load&& load);

  std::optional<SymbolCentres> centres_;
  SymbolIndex symbols_;
  bool indexPending_ = false;
  std::thread indexer_;
  std::exception_ptr indexFailure_;
  std::optional<ViewState> drawnView_;
  Drawn drawn_;
  // The drawing of the discs the density view replaced, and what it was drawn in and found.
  struct KeptDrawing {
    ViewState view;
    ScreenInfo screen;
    bool japanese = false;
    std::string language;
    std::shared_ptr<const PictureContent> content;
    Drawn drawn;
    int32_t gridDivisions = 0;
    std::shared_ptr<const DiscColours> colours;
  };
  std::optional<KeptDrawing> keptDiscs_;
  // Derived from the table, gone when it changes.
  std::optional<Grouping> groups_;
  std::optional<int32_t> fieldCount_;
  // The discs' colours of a grouping and its hidden groups, and of the last completed drawing.
  std::shared_ptr<const DiscColours> colours_, drawnColours_;
  int32_t coloursColumn_ = 0;
  std::vector<std::string> coloursHidden_;

  std::string EntryText(const SampleGroup& group) const;
  // The density view's cells per cell size, and the rows they count: null for all.
  std::map<int32_t, std::shared_ptr<const DensityCells>> density_;
  std::shared_ptr<const DiscColours> densityShown_;
  const DiscColours* DensityRows(const ViewState& view);
  // The magnified display's cells, and the lattice, windows and rows they were counted on.
  std::shared_ptr<const DensityCells> shownDensity_;
  std::shared_ptr<const DiscColours> shownDensityRows_;
};

}  // namespace ternova
