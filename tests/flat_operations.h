#pragma once
// The operations of a recording one by one, each disc of a run as its own ellipse, for tests
// that read a drawing the way every consumer sees it.
#include "picture/picture.h"

namespace ternova::testing {

inline PictureOps FlatOperations(const PictureContent& c) {
  PictureOps flat;
  ForEachOperation(c, [&](const auto& o) { flat.emplace_back(o); });
  return flat;
}

}  // namespace ternova::testing
