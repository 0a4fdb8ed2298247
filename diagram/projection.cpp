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

long double Numerator(int32_t v1, int32_t v2, int32_t v3, double a, double b, double c) {
  return static_cast<long double>(v1) * a + static_cast<long double>(v2) * b + static_cast<long double>(v3) * c;
}

// Rounds a quotient well inside the 32-bit range, halves away from zero, unless it lies so close
// to a rounding boundary that the last bits of its arithmetic could decide the coordinate.
bool RoundClearOfHalf(double q, int32_t& out) {
  const auto whole = static_cast<int64_t>(q);  // truncates
  const double fraction = q - static_cast<double>(whole);
  if (std::fabs(std::fabs(fraction) - 0.5) < 1e-6) return false;
  out = static_cast<int32_t>(whole + (fraction > 0.5) - (fraction < -0.5));
  return true;
}

// The exact procedure: extended-precision sums, every coordinate stored as soon as it is
// rounded, so a fault leaves what was computed before it.
void ProjectFaceExtended(double a, double b, double c, const Point& v1, const Point& v2, const Point& v3, Point& out) {
  const double s = StoreDouble(static_cast<long double>(a) + b + c);
  out.x = RoundHalfAway(Quotient(Numerator(v1.x, v2.x, v3.x, a, b, c), s));
  out.y = RoundHalfAway(Quotient(Numerator(v1.y, v2.y, v3.y, a, b, c), s));
}

}  // namespace

void ProjectRow(const DiagramGeometry& geometry, SampleTable& table, int32_t row) {
  const auto& values = table.SampleValues[row];
  auto& points = table.SamplePoints[row];
  // Amounts that do not cancel (all of one sign, as analyses are) give the same points in
  // double arithmetic, many times faster: no fault can happen, and the double quotients differ
  // from the extended ones by far less than the margin RoundClearOfHalf keeps from a boundary.
  // The four faces are worked out side by side, so their divisions overlap; one division per
  // face, as the quotients through the reciprocal are off by a few units in the last place,
  // still far inside the margin.
  double qx[4], qy[4];
  bool plain[4];
  for (int f = 0; f < 4; ++f) {
    const int* components = kFaceComponents[f];
    const double a = values[components[0]], b = values[components[1]], c = values[components[2]];
    const auto& v = geometry.FaceTable[f];
    const double magnitude = std::fabs(a) + std::fabs(b) + std::fabs(c);
    const double s = a + b + c;
    // Far from the ends of the double range, so no product overflows or loses bits to underflow.
    const bool ordinary = magnitude > 0x1p-900 && magnitude < 0x1p900;
    plain[f] = ordinary && s != 0 && std::fabs(s) * 256 >= magnitude;
    const double inverse = 1.0 / s;
    qx[f] = (v[0].x * a + v[1].x * b + v[2].x * c) * inverse;
    qy[f] = (v[0].y * a + v[1].y * b + v[2].y * c) * inverse;
  }
  // In face order, each stored before the next is worked out the exact way, so a fault there
  // leaves the faces before it.
  for (int f = 0; f < 4; ++f) {
    Point p;
    if (plain[f] && RoundClearOfHalf(qx[f], p.x) && RoundClearOfHalf(qy[f], p.y)) {
      points[f + 1] = p;
      continue;
    }
    const int* components = kFaceComponents[f];
    const auto& v = geometry.FaceTable[f];
    ProjectFaceExtended(values[components[0]], values[components[1]], values[components[2]], v[0], v[1], v[2],
                        points[f + 1]);
  }
}

}  // namespace ternova
