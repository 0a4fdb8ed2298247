#include "diagram/symbol_index.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "base/two_cores.h"

namespace ternova {

namespace {

constexpr int32_t kLast = SymbolIndex::kBuckets - 1;

int32_t BucketOfInt(int32_t v) { return std::clamp(v >> 3, 0, kLast); }  // >> 3: floor of v / 8
static_assert(SymbolIndex::kBucketSize == 8);

}  // namespace

int32_t SymbolIndex::BucketOf(double v) {
  // Compared as doubles first: a far-away coordinate must not overflow the conversion.
  if (!(v >= 0)) return 0;
  if (v >= double{kBuckets} * kBucketSize) return kLast;
  return static_cast<int32_t>(v / kBucketSize);
}

void SymbolIndex::Clear() {
  rows_ = 0;
  // Assigned empty arrays, not {}: that would keep the memory.
  starts_ = decltype(starts_)();
  entries_ = decltype(entries_)();
}

void SymbolIndex::Build(const SymbolCentres& centres) {
  // The entries of an index of the same size are all written again: their pages are kept, where
  // fresh ones for a million samples cost the system tens of milliseconds to clear.
  auto sorted = std::move(entries_);
  Clear();
  const int32_t rows = std::max(0, centres.rows);
  // The key keeps 30 bits for the row; so many rows would not fit in memory anyway.
  if (static_cast<uint32_t>(rows) > kRowMask) throw std::bad_alloc();

  if (sorted.size() != static_cast<size_t>(rows) * 4) {
    sorted = decltype(sorted)();  // given back before the new size is taken, which may reuse it
    sorted = decltype(sorted)(static_cast<size_t>(rows) * 4);
  }
  constexpr size_t kCount = static_cast<size_t>(kBuckets) * kBuckets;
  auto bucket = [](DiscCentre p) { return static_cast<size_t>(BucketOfInt(p.y)) * kBuckets + BucketOfInt(p.x); };
  // Each bucket lists its last drawn symbol first: faces 4 and 3, then 2 and 1, each row by
  // row from the last. The two halves are counted and filled apart, on two cores when the
  // table is large; the entries come out the same either way.
  std::vector<uint32_t> upper(kCount, 0), lower(kCount, 0);  // per bucket: faces 3-4, then the next free slot
  auto count = [&](int from, std::vector<uint32_t>& counts) {
    for (int face = from; face <= from + 1; ++face) {
      const DiscCentre* c = centres.faces[face]->data();
      for (int32_t j = 0; j < rows; ++j) ++counts[bucket(c[j])];
    }
  };
  auto fill = [&](int from, std::vector<uint32_t>& next) {
    for (int face = from + 1; face >= from; --face) {
      const uint32_t faceKey = static_cast<uint32_t>(face - 1) << kFaceShift;
      const DiscCentre* c = centres.faces[face]->data();
      for (int32_t row = rows; row >= 1; --row) sorted[next[bucket(c[row - 1])]++] = {c[row - 1].x, c[row - 1].y, faceKey | static_cast<uint32_t>(row)};
    }
  };
  auto inParallel = [&](auto&& work) { OnTwoCores(rows >= 100'000, [&] { work(3, upper); }, [&] { work(1, lower); }); };
  inParallel(count);
  std::vector<uint32_t> starts(kCount + 1, 0);
  for (size_t b = 0; b < kCount; ++b) {
    starts[b + 1] = starts[b] + upper[b] + lower[b];
    lower[b] = starts[b] + upper[b];
    upper[b] = starts[b];
  }
  inParallel(fill);
  starts_ = std::move(starts);
  entries_ = std::move(sorted);
  rows_ = rows;
}

SymbolHit SymbolIndex::Find(double x, double y, int32_t symbolSize, int32_t selectedRow, const DiscColours* drawn,
                            double radiusScale) const {
  const int64_t r = std::llabs(int64_t{symbolSize});
  if (rows_ == 0 || r == 0 || !std::isfinite(x) || !std::isfinite(y)) return {};
  const bool selected = selectedRow >= 1 && selectedRow <= rows_;
  const double reach = static_cast<double>(selected ? 2 * r : r);
  const int32_t x0 = BucketOf(x - reach), x1 = BucketOf(x + reach);
  const int32_t y0 = BucketOf(y - reach), y1 = BucketOf(y + reach);

  const Entry* best = nullptr;
  for (int32_t by = y0; by <= y1; ++by) {
    for (int32_t bx = x0; bx <= x1; ++bx) {
      const size_t b = static_cast<size_t>(by) * kBuckets + bx;
      for (uint32_t i = starts_[b]; i < starts_[b + 1]; ++i) {
        const Entry& e = entries_[i];
        if (best && e.key <= best->key) break;  // the rest of this bucket was drawn earlier
        if (drawn && !drawn->Of((e.key & kRowMask) - 1)) continue;
        const int64_t radius = static_cast<int32_t>(e.key & kRowMask) == selectedRow ? 2 * r : r;
        const double dx = x - e.x, dy = y - e.y, rr = static_cast<double>(radius) * radiusScale;
        if (dx * dx + dy * dy <= rr * rr) {
          best = &e;
          break;
        }
      }
    }
  }
  if (!best) return {};
  const int32_t row = static_cast<int32_t>(best->key & kRowMask);
  return {row, static_cast<int32_t>(best->key >> kFaceShift) + 1, {best->x, best->y}, row == selectedRow ? 2 * r : r};
}

int64_t SymbolIndex::CountAround(double x0, double y0, double x1, double y1) const {
  if (rows_ == 0) return 0;
  const int32_t bx0 = BucketOf(x0), bx1 = BucketOf(x1), by0 = BucketOf(y0), by1 = BucketOf(y1);
  int64_t n = 0;
  for (int32_t by = by0; by <= by1; ++by) {
    const size_t row = static_cast<size_t>(by) * kBuckets;
    n += starts_[row + static_cast<size_t>(bx1) + 1] - starts_[row + static_cast<size_t>(bx0)];
  }
  return n;
}

SymbolIndex::TopmostWalk::TopmostWalk(const SymbolIndex& index, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
                                      int64_t reach)
    : index_(index), x0_(x0 - reach), y0_(y0 - reach), x1_(x1 + reach), y1_(y1 + reach) {
  if (index.rows_ == 0) return;
  const int32_t bx0 = BucketOf(static_cast<double>(x0_)), bx1 = BucketOf(static_cast<double>(x1_));
  const int32_t by0 = BucketOf(static_cast<double>(y0_)), by1 = BucketOf(static_cast<double>(y1_));
  for (int32_t by = by0; by <= by1; ++by)
    for (int32_t bx = bx0; bx <= bx1; ++bx) {
      const size_t b = static_cast<size_t>(by) * kBuckets + bx;
      if (index.starts_[b] < index.starts_[b + 1]) heap_.emplace_back(index.starts_[b], index.starts_[b + 1]);
    }
  std::make_heap(heap_.begin(), heap_.end(), [&](const auto& a, const auto& b) {
    return index_.entries_[a.first].key < index_.entries_[b.first].key;
  });
}

bool SymbolIndex::TopmostWalk::Next(PlacedSymbol& symbol) {
  // Each bucket lists its symbols last drawn first: merged by key, they come out in reverse
  // drawing order.
  auto later = [&](const auto& a, const auto& b) { return index_.entries_[a.first].key < index_.entries_[b.first].key; };
  while (!heap_.empty()) {
    std::pop_heap(heap_.begin(), heap_.end(), later);
    auto& top = heap_.back();
    const Entry e = index_.entries_[top.first];
    if (++top.first == top.second)
      heap_.pop_back();
    else
      std::push_heap(heap_.begin(), heap_.end(), later);
    if (Within(e)) {
      symbol = Placed(e);
      return true;
    }
  }
  return false;
}

}  // namespace ternova
