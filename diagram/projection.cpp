#include "diagram/projection.h"

#include <cmath>

#include "base/error.h"
#include "diagram/round.h"

namespace ternova {

namespace {

// Stores an extended-precision result into a double, as the FPU does on a store: a result
// beyond the double range is an overflow, never an infinity.
double StoreDouble(long double value) {
  const double d = static_cast<double>(value);
  if (std::isinf(d)) throw Error(kOverflow);
  return d;
}

double Quotient(long double numerator, double divisor) {
  if (divisor == 0.0) throw Error(numerator == 0 ? kInvalidOperation : kDivideByZero);
  return StoreDouble(numerator / divisor);
}

}  // namespace

void ProjectRow(const DiagramGeometry& geometry, SampleTable& table, int32_t row) {
  const auto& values = table.SampleValues[row];
  auto& points = table.SamplePoints[row];
  for (int face = 1; face <= 4; ++face) {
    const double a = values[kFaceComponents[face - 1][0]];
    const double b = values[kFaceComponents[face - 1][1]];
    const double c = values[kFaceComponents[face - 1][2]];
    const Point& v1 = geometry.Vertex(face, 1);
    const Point& v2 = geometry.Vertex(face, 2);
    const Point& v3 = geometry.Vertex(face, 3);
    const double s = StoreDouble(static_cast<long double>(a) + b + c);
    const long double nx = static_cast<long double>(v1.x) * a + static_cast<long double>(v2.x) * b +
                           static_cast<long double>(v3.x) * c;
    points[face].x = RoundHalfAway(Quotient(nx, s));
    const long double ny = static_cast<long double>(v1.y) * a + static_cast<long double>(v2.y) * b +
                           static_cast<long double>(v3.y) * c;
    points[face].y = RoundHalfAway(Quotient(ny, s));
  }
}

}  // namespace ternova
