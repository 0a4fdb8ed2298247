#pragma once
// Finds the sample under a point of the diagram without walking every symbol: the symbols'
// centres sorted into a uniform grid of buckets over the drawing space. Built once per table;
// the radii are given to each lookup, so changing the symbol size or the highlighted row needs
// no rebuild.
#include <cstdint>
#include <vector>

#include "base/big_allocator.h"
#include "diagram/geometry.h"
#include "diagram/symbol_centres.h"

namespace ternova {

struct PlacedSymbol {
  int32_t row = 0, face = 0;
  Point centre;
  uint32_t order = 0;  // its place in the drawing order: higher, drawn later
};

struct SymbolHit {
  int32_t row = 0;  // 0: no symbol there
  int32_t face = 0;
  Point centre;
  int64_t radius = 0;
};

class SymbolIndex {
 private:
  // Face and row in one key whose order is the drawing order.
  static constexpr int kFaceShift = 30;
  static constexpr uint32_t kRowMask = (uint32_t{1} << kFaceShift) - 1;
  // The centre is kept beside the key: a walk through a crowd reads it for every symbol, and
  // from the centres' lists that would be a jump in memory each time.
  struct Entry {
    int32_t x, y;
    uint32_t key;  // (face - 1) << kFaceShift | row
  };
  static PlacedSymbol Placed(const Entry& e) {
    return {static_cast<int32_t>(e.key & kRowMask), static_cast<int32_t>(e.key >> kFaceShift) + 1, {e.x, e.y}, e.key};
  }

 public:
  // Side of a bucket in drawing units, and how many per axis cover the 2000 x 2000 space.
  static constexpr int32_t kBucketSize = 8;
  static constexpr int32_t kBuckets = 2048 / kBucketSize;

  // Indexes the symbols a drawing over `centres` draws: faces 1..4 of its rows. Replaces the
  // previous contents; on failure the index is left empty.
  void Build(const SymbolCentres& centres);
  void Clear();
  int32_t Rows() const { return rows_; }
  // How many symbols the buckets that the box (x0, y0)-(x1, y1) reaches into hold: at least the
  // number whose centres lie in it, found without looking at any of them.
  int64_t CountAround(double x0, double y0, double x1, double y1) const;

  // The symbol drawn last among those covering (x, y) in drawing units: a symbol of centre c and
  // radius r covers p when (p - c)^2 <= r^2. Every row's radius is |symbolSize|, twice that for
  // `selectedRow`. The diagram draws face by face and row by row, so the last drawn is the
  // highest (face, row).
  // With `drawn`, a symbol whose row has no colour there (a hidden group's) is not found. Each
  // radius is taken `radiusScale` times, as a magnified view shows it (0 < radiusScale <= 1).
  SymbolHit Find(double x, double y, int32_t symbolSize, int32_t selectedRow, const DiscColours* drawn = nullptr,
                 double radiusScale = 1) const;

  // Every symbol whose centre lies within `reach` of the box (x0, y0)-(x1, y1), the last drawn
  // first: what a redraw of that box must draw again, given radii up to `reach`. Only as many
  // are looked at as are asked for.
  class TopmostWalk {
   public:
    TopmostWalk(const SymbolIndex& index, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t reach);
    bool Next(PlacedSymbol& symbol);
    // Calls visit(symbol) for every symbol Next has not given yet, in no particular order, and
    // ends the walk: much cheaper per symbol where what is left is a crowd of them.
    template <typename Visit>
    void Rest(Visit&& visit) {
      for (const auto& [next, end] : heap_)
        for (uint32_t i = next; i < end; ++i)
          if (const Entry& e = index_.entries_[i]; Within(e)) visit(Placed(e));
      heap_.clear();
    }

   private:
    bool Within(const Entry& e) const { return e.x >= x0_ && e.x <= x1_ && e.y >= y0_ && e.y <= y1_; }
    const SymbolIndex& index_;
    int64_t x0_, y0_, x1_, y1_;
    std::vector<std::pair<uint32_t, uint32_t>> heap_;  // per bucket: next entry, end
  };

 private:
  // Centres outside the space go to the border buckets: the distance test stays exact, and a
  // lookup's range of buckets clamps the same way.
  static int32_t BucketOf(double v);

  friend class TopmostWalk;
  int32_t rows_ = 0;
  std::vector<uint32_t> starts_;  // kBuckets^2 + 1 offsets into entries_, row-major by y
  std::vector<Entry, BigScratchAllocator<Entry>> entries_;  // each bucket's symbols, last drawn first
};

}  // namespace ternova
