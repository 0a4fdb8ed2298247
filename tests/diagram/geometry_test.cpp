#include "diagram/geometry.h"

#include <gtest/gtest.h>

namespace ternova {
namespace {

#define EXPECT_POINT(p, px, py) EXPECT_EQ((p), (Point{px, py}))

TEST(DiagramGeometry, VerticesAreTheFixedIntegers) {
  const DiagramGeometry g = ComputeDiagramGeometry();
  EXPECT_POINT(g.Centre, 1000, 750);
  EXPECT_POINT(g.VertexSiO2, 1433, 1000);
  EXPECT_POINT(g.VertexAlCa, 1000, 250);
  EXPECT_POINT(g.VertexMgO, 567, 1000);
  EXPECT_POINT(g.VertexFeO1, 1866, 250);
  EXPECT_POINT(g.VertexFeO2, 134, 250);
  EXPECT_POINT(g.VertexFeO3, 1000, 1750);
}

TEST(DiagramGeometry, FaceTableOrdersTheVerticesOfEachFace) {
  const DiagramGeometry g = ComputeDiagramGeometry();
  const Point expected[4][3] = {
      {g.VertexSiO2, g.VertexAlCa, g.VertexMgO},
      {g.VertexSiO2, g.VertexAlCa, g.VertexFeO1},
      {g.VertexAlCa, g.VertexMgO, g.VertexFeO2},
      {g.VertexSiO2, g.VertexMgO, g.VertexFeO3},
  };
  for (int f = 1; f <= 4; ++f)
    for (int v = 1; v <= 3; ++v) EXPECT_EQ(g.Vertex(f, v), expected[f - 1][v - 1]) << f << "," << v;
}

}  // namespace
}  // namespace ternova
