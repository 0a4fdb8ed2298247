#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "diagram/geometry.h"
#include "diagram/round.h"
#include "diagram/sample_table.h"
#include "diagram/symbol_centres.h"
#include "picture/picture.h"
#include "picture/surface.h"

namespace ternova {

// The symbol of a point: a circle of radius `r` around it.
inline op::Ellipse SymbolBox(const Point& p, int32_t r) { return DiscBox({p.x, p.y}, r); }
// One grid pass: N lines per direction on every face, parallel to each edge.
void DrawGridPass(DrawingSurface& surface, const DiagramGeometry& geometry, int32_t divisions);

}  // namespace ternova
