#include "diagram/symbol_centres.h"

#include <algorithm>

#include "base/two_cores.h"

namespace ternova {

SymbolCentres CollectSymbolCentres(const SampleTable& table) {
  SymbolCentres c;
  c.rows = DrawnRows(table);
  std::array<std::shared_ptr<DiscCentres>, 5> faces;
  for (int face = 1; face <= 4; ++face) faces[face] = std::make_shared<DiscCentres>(static_cast<size_t>(c.rows));
  auto copy = [&](int from, int to) {
    for (int face = from; face <= to; ++face) {
      DiscCentre* out = faces[face]->data();
      PrepareForWriting(out, sizeof(DiscCentre) * static_cast<size_t>(c.rows));
      int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
      for (int32_t j = 1; j <= c.rows; ++j) {
        const Point& p = table.SamplePoints[j][face];
        out[j - 1] = {p.x, p.y};
        x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
      }
      c.boxes[face] = {x0, y0, x1, y1};
    }
  };
  // A million rows take tens of milliseconds per face pair: the second pair goes to another core.
  OnTwoCores(c.rows >= 100'000, [&] { copy(3, 4); }, [&] { copy(1, 2); });
  std::copy(faces.begin(), faces.end(), c.faces.begin());
  return c;
}

}  // namespace ternova
