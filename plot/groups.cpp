#include "plot/groups.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace ternova {

Grouping GroupSamples(const CellStore& cells, int32_t rows, int32_t column, std::span<const Rgb> palette) {
  Grouping g;
  g.column = column;
  g.entryOfRow.resize(static_cast<size_t>(std::max(rows, 0)));
  // Keys in order of first appearance; the map holds views into the file's bytes.
  std::vector<std::string_view> keys;
  std::vector<int32_t> counts;
  std::unordered_map<std::string_view, uint32_t> ids;
  std::string_view last;
  uint32_t lastId = 0;
  for (int32_t r = 1; r <= rows; ++r) {
    const std::string_view cell = cells.Get(column, r);
    uint32_t id;
    // Files are often sorted by their suites: most rows repeat the row before.
    if (r > 1 && cell == last) {
      id = lastId;
    } else {
      const auto [at, added] = ids.try_emplace(cell, static_cast<uint32_t>(keys.size()));
      if (added) {
        keys.push_back(cell);
        counts.push_back(0);
      }
      id = at->second;
      last = cell;
      lastId = id;
    }
    ++counts[id];
    g.entryOfRow[static_cast<size_t>(r - 1)] = id;
  }

  // Which groups keep a colour: all, or the largest when there are more than colours.
  const size_t n = keys.size();
  std::vector<uint32_t> entry(n);
  std::vector<char> coloured(n, 1);
  if (n > palette.size()) {
    std::vector<uint32_t> bySize(n);
    std::iota(bySize.begin(), bySize.end(), 0u);
    std::stable_sort(bySize.begin(), bySize.end(), [&](uint32_t a, uint32_t b) { return counts[a] > counts[b]; });
    std::fill(coloured.begin(), coloured.end(), 0);
    for (size_t k = 0; k < palette.size(); ++k) coloured[bySize[k]] = 1;
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
