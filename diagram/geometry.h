#pragma once
#include <array>
#include <cstdint>

namespace ternova {

// A point in drawing units: x to the right, y downward, origin top-left of the 2000 x 2000 space.
struct Point {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// The unfolded tetrahedron: the SiO2 - Al2O3+CaO - MgO triangle in the middle and three
// triangles folded out from its edges, each carrying FeO at its outer corner.
struct DiagramGeometry {
  Point Centre;
  Point VertexSiO2;
  Point VertexAlCa;
  Point VertexMgO;
  Point VertexFeO1;  // upper right
  Point VertexFeO2;  // upper left
  Point VertexFeO3;  // bottom
  // FaceTable[f - 1][v - 1]: face f = 1 centre, 2 upper right, 3 upper left, 4 bottom.
  std::array<std::array<Point, 3>, 4> FaceTable;

  const Point& Vertex(int face, int position) const { return FaceTable[face - 1][position - 1]; }
};

// Computes the net from its centre and the angles of its corners, as the window does at start.
DiagramGeometry ComputeDiagramGeometry();

}  // namespace ternova
