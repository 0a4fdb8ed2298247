#include "plot/groups.h"

#include <algorithm>
#include <string_view>
#include <exception>
#include <functional>
#include <system_error>
#include <thread>

namespace ternova {

namespace {

// The distinct keys of a column in order of first appearance, found through an open-addressing
// table of their ids: views into the file's bytes, no allocation per key, so a column of a
// million distinct names costs a pass, not a million nodes.
class KeyTable {
 public:
  KeyTable() { slots_.assign(kFirstSize, 0); }
  // The id of `key`, new ones numbered in order.
  uint32_t IdOf(std::string_view key) {
    const uint64_t h = std::hash<std::string_view>{}(key);
    size_t mask = slots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      const uint32_t slot = slots_[i];
      if (slot == 0) {
        const auto id = static_cast<uint32_t>(keys.size());
        keys.push_back(key);
        hashes_.push_back(h);
        counts.push_back(0);
        slots_[i] = id + 1;
        if (keys.size() * 2 > slots_.size()) Grow();
        return id;
      }
      if (hashes_[slot - 1] == h && keys[slot - 1] == key) return slot - 1;
    }
  }
  std::vector<std::string_view> keys;
  std::vector<int32_t> counts;

 private:
  static constexpr size_t kFirstSize = 64;
  void Grow() {
    std::vector<uint32_t> bigger(slots_.size() * 4, 0);
    const size_t mask = bigger.size() - 1;
    for (uint32_t id = 0; id < keys.size(); ++id) {
      size_t i = hashes_[id] & mask;
      while (bigger[i] != 0) i = (i + 1) & mask;
      bigger[i] = id + 1;
    }
    slots_ = std::move(bigger);
  }
  std::vector<uint32_t> slots_;  // id + 1, 0 for none
  std::vector<uint64_t> hashes_;
};

}  // namespace

namespace {

// Rows [first, last] into `table`, each row's id at entryOfRow[r - 1].
void GroupRows(const CellStore& cells, int32_t first, int32_t last, int32_t column, KeyTable& table, uint32_t* entryOfRow) {
  std::string_view previous;
  uint32_t previousId = 0;
  for (int32_t r = first; r <= last; ++r) {
    const std::string_view cell = cells.Get(column, r);
    // Files are often sorted by their suites: most rows repeat the row before.
    const uint32_t id = r > first && cell == previous ? previousId : table.IdOf(cell);
    previous = cell;
    previousId = id;
    ++table.counts[id];
    entryOfRow[r - 1] = id;
  }
}

// Below this many rows a second thread costs more than it saves.
constexpr int32_t kTwoThreadRows = 200'000;

}  // namespace

Grouping GroupSamples(const CellStore& cells, int32_t rows, int32_t column, std::span<const Rgb> palette) {
  Grouping g;
  g.column = column;
  g.entryOfRow.resize(static_cast<size_t>(std::max(rows, 0)));
  uint32_t* entryOfRow = g.entryOfRow.data();
  KeyTable table;
  // The second half on another core, its keys then taken into the first half's in the order
  // they first come there: the same as one pass.
  bool split = false;
  if (rows >= kTwoThreadRows && std::thread::hardware_concurrency() > 1) {
    const int32_t mid = rows / 2;
    KeyTable second;
    std::exception_ptr failed;
    try {
      std::thread other([&] {
        try {
          GroupRows(cells, mid + 1, rows, column, second, entryOfRow);
        } catch (...) {
          failed = std::current_exception();
        }
      });
      try {
        GroupRows(cells, 1, mid, column, table, entryOfRow);
      } catch (...) {
        other.join();
        throw;
      }
      other.join();
      split = true;
    } catch (const std::system_error&) {
      // No thread to be had: one pass below.
    }
    if (failed) std::rethrow_exception(failed);
    if (split) {
      std::vector<uint32_t> global(second.keys.size());
      for (uint32_t id = 0; id < second.keys.size(); ++id) {
        global[id] = table.IdOf(second.keys[id]);
        table.counts[global[id]] += second.counts[id];
      }
      for (int32_t r = mid + 1; r <= rows; ++r) entryOfRow[r - 1] = global[entryOfRow[r - 1]];
    }
  }
  if (!split) GroupRows(cells, 1, rows, column, table, entryOfRow);
  std::vector<std::string_view>& keys = table.keys;
  std::vector<int32_t>& counts = table.counts;

  // Which groups keep a colour: all, or the largest when there are more than colours.
  const size_t n = keys.size();
  std::vector<uint32_t> entry(n);
  std::vector<char> coloured(n, 1);
  if (n > palette.size()) {
    // The palette's size of largest groups, the earlier first among equals, in one pass: a
    // million distinct names need no sort.
    std::vector<uint32_t> largest;
    largest.reserve(palette.size() + 1);
    for (uint32_t id = 0; id < n; ++id) {
      if (largest.size() == palette.size() && counts[id] <= counts[largest.back()]) continue;
      auto at = std::upper_bound(largest.begin(), largest.end(), id,
                                 [&](uint32_t a, uint32_t b) { return counts[a] > counts[b]; });
      largest.insert(at, id);
      if (largest.size() > palette.size()) largest.pop_back();
    }
    std::fill(coloured.begin(), coloured.end(), 0);
    for (const uint32_t id : largest) coloured[id] = 1;
  }
  SampleGroup other{std::string(), 0, kOtherGroup, true};
  for (size_t id = 0; id < n; ++id) {
    if (coloured[id]) {
      entry[id] = static_cast<uint32_t>(g.groups.size());
      g.groups.push_back({std::string(keys[id]), counts[id], palette[g.groups.size()], false});
    } else {
      other.count += counts[id];
    }
  }
  if (other.count > 0) {
    const auto otherEntry = static_cast<uint32_t>(g.groups.size());
    for (size_t id = 0; id < n; ++id)
      if (!coloured[id]) entry[id] = otherEntry;
    g.groups.push_back(std::move(other));
  }
  for (uint32_t& e : g.entryOfRow) e = entry[e];
  return g;
}

}  // namespace ternova
