#include "diagram/geometry.h"

#include <cmath>
#include <numbers>

#include "diagram/round.h"

namespace ternova {

namespace {

Point OnCircle(Point centre, double radius, int sixths_of_pi) {
  const double theta = sixths_of_pi * std::numbers::pi / 6.0;
  // y is subtracted: the drawing space grows downward.
  return {centre.x + RoundHalfAway(radius * std::cos(theta)), centre.y - RoundHalfAway(radius * std::sin(theta))};
}

}  // namespace

DiagramGeometry ComputeDiagramGeometry() {
  DiagramGeometry g;
  g.Centre = {RoundHalfAway(1000.0), RoundHalfAway(750.0)};
  g.VertexSiO2 = OnCircle(g.Centre, 500, 11);
  g.VertexAlCa = OnCircle(g.Centre, 500, 3);
  g.VertexMgO = OnCircle(g.Centre, 500, 7);
  g.VertexFeO1 = OnCircle(g.Centre, 1000, 1);
  g.VertexFeO2 = OnCircle(g.Centre, 1000, 5);
  g.VertexFeO3 = OnCircle(g.Centre, 1000, 9);
  g.FaceTable = {{
      {g.VertexSiO2, g.VertexAlCa, g.VertexMgO},
      {g.VertexSiO2, g.VertexAlCa, g.VertexFeO1},
      {g.VertexAlCa, g.VertexMgO, g.VertexFeO2},
      {g.VertexSiO2, g.VertexMgO, g.VertexFeO3},
  }};
  return g;
}

}  // namespace ternova
