#include "diagram/render.h"

#include <algorithm>

#include "diagram/round.h"

namespace ternova {

void DrawGridPass(DrawingSurface& surface, const DiagramGeometry& geometry, int32_t divisions) {
  const int32_t n = divisions;
  for (int face = 1; face <= 4; ++face) {
    for (int32_t i = 1; i <= n; ++i) {
      for (int j = 1; j <= 3; ++j) {
        const Point& va = geometry.Vertex(face, j);
        const Point& vb = geometry.Vertex(face, j % 3 + 1);
        const Point& vc = geometry.Vertex(face, (j + 1) % 3 + 1);
        const double u = static_cast<double>(i) / (n + 1);
        const double w = static_cast<double>(n + 1 - i) / (n + 1);
        surface.MoveTo(RoundHalfAway(u * va.x + w * vb.x), RoundHalfAway(u * va.y + w * vb.y));
        surface.LineTo(RoundHalfAway(w * vb.x + u * vc.x), RoundHalfAway(w * vb.y + u * vc.y));
      }
    }
  }
}

}  // namespace ternova
