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
      for (int32_t j = 1; j <= c.rows; ++j) out[j - 1] = {table.SamplePoints[j][face].x, table.SamplePoints[j][face].y};
    }
  };
  // A million rows take tens of milliseconds per face pair: the second pair goes to another core.
  OnTwoCores(c.rows >= 100'000, [&] { copy(3, 4); }, [&] { copy(1, 2); });
  std::copy(faces.begin(), faces.end(), c.faces.begin());
  return c;
}

}  // namespace ternova
