#include "diagram/projection.h"

#include <algorithm>
#include <bit>
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

// The exact procedure: extended-precision sums, every coordinate stored as soon as it is
// rounded, so a fault leaves what was computed before it.
void ProjectFaceExtended(double a, double b, double c, const Point& v1, const Point& v2, const Point& v3, Point& out) {
  const double s = StoreDouble(static_cast<long double>(a) + b + c);
  out.x = RoundHalfAway(Quotient(Numerator(v1.x, v2.x, v3.x, a, b, c), s));
  out.y = RoundHalfAway(Quotient(Numerator(v1.y, v2.y, v3.y, a, b, c), s));
}

// The vertices' coordinates as doubles, converted once for all samples.
struct FaceVertices {
  double x[4][3], y[4][3];
};

FaceVertices Converted(const DiagramGeometry& geometry) {
  FaceVertices v;
  for (int f = 0; f < 4; ++f)
    for (int k = 0; k < 3; ++k) {
      v.x[f][k] = geometry.FaceTable[f][k].x;
      v.y[f][k] = geometry.FaceTable[f][k].y;
    }
  return v;
}

// Within 1e-6 of a half the last bits of the arithmetic could decide a coordinate, so only the
// exact procedure may.
constexpr double kFarthestSure = 0.5 - 1e-6;

// One sample's points in double arithmetic, and for each face how far its quotients lie from
// the nearest integers: more than 1/2 where the amounts are not plain. Amounts that do not
// cancel (all of one sign, as analyses are) give the same points in double arithmetic, many
// times faster: no fault can happen, and the double quotients differ from the extended ones by
// far less than the margin kept from a rounding boundary. One division per face, as the
// quotients through the reciprocal are off by a few units in the last place, still far inside
// the margin. Branch-free and in doubles alone, so that a loop over samples runs several an
// instruction.
inline void ProjectQuickly(const FaceVertices& vertices, const double* amounts, Point (&points)[4],
                           double (&offsets)[4]) {
  // Adding 1.5 * 2^52 rounds a quotient to the nearest integer, which then fills the low 32 bits
  // of the sum in two's complement. Away from a half that is the integer the rounding of halves
  // away from zero gives too.
  constexpr double kShift = 0x1.8p52;
  for (int f = 0; f < 4; ++f) {
    const int* components = kFaceComponents[f];
    const double a = amounts[components[0] - 1], b = amounts[components[1] - 1], c = amounts[components[2] - 1];
    const double magnitude = std::fabs(a) + std::fabs(b) + std::fabs(c);
    const double s = a + b + c;
    // Far from the ends of the double range, so no product overflows or loses bits to underflow,
    // and s is not 0; then every quotient lies within 512,000 of the origin. Other quotients may
    // be anything, even NaN: their bits are never used.
    const bool plain = (magnitude > 0x1p-900) & (magnitude < 0x1p900) & (std::fabs(s) * 256 >= magnitude);
    const double inverse = 1.0 / s;
    const double* vx = vertices.x[f];
    const double* vy = vertices.y[f];
    const double qx = (vx[0] * a + vx[1] * b + vx[2] * c) * inverse;
    const double qy = (vy[0] * a + vy[1] * b + vy[2] * c) * inverse;
    const double shiftedX = qx + kShift, shiftedY = qy + kShift;
    const double offX = qx - (shiftedX - kShift), offY = qy - (shiftedY - kShift);  // both exact
    points[f] = {static_cast<int32_t>(std::bit_cast<int64_t>(shiftedX)),
                 static_cast<int32_t>(std::bit_cast<int64_t>(shiftedY))};
    // Worked out whatever `plain` is: a comparison that may trap is not moved under a condition.
    const double offset = std::max(std::fabs(offX), std::fabs(offY));
    offsets[f] = plain ? offset : 1.0;
  }
}

// Stores a sample's points: all four quick ones when each is sure; otherwise face by face, each
// stored before the next is worked out the exact way, so a fault there leaves the faces before it.
inline void Store(const DiagramGeometry& geometry, const double* amounts, const Point (&quick)[4],
                  const double (&offsets)[4], Point* points) {
  if (std::max({offsets[0], offsets[1], offsets[2], offsets[3]}) <= kFarthestSure) {
    std::copy_n(quick, 4, points);
    return;
  }
  for (int f = 0; f < 4; ++f) {
    if (offsets[f] <= kFarthestSure) {
      points[f] = quick[f];
      continue;
    }
    const int* components = kFaceComponents[f];
    const auto& v = geometry.FaceTable[f];
    ProjectFaceExtended(amounts[components[0] - 1], amounts[components[1] - 1], amounts[components[2] - 1], v[0],
                        v[1], v[2], points[f]);
  }
}

// Many samples are worked out a block at a time: first the quick points of all, in one loop the
// compiler runs on several samples an instruction (four with AVX2, where the processor has it).
constexpr int kBlock = 64;

struct QuickBlock {
  Point points[kBlock][4];
  double offsets[kBlock][4];
};

#if defined(__x86_64__)
[[gnu::target_clones("avx2", "default")]]
#endif
void ProjectBlockQuickly(const FaceVertices& vertices, const double* amounts, int n, QuickBlock& out) {
  for (int i = 0; i < n; ++i) ProjectQuickly(vertices, amounts + 4 * i, out.points[i], out.offsets[i]);
}

}  // namespace

void ProjectSamples(const DiagramGeometry& geometry, const double* amounts, Point* points, int64_t count,
                    int64_t& done) {
  const FaceVertices vertices = Converted(geometry);
  QuickBlock quick;
  done = 0;
  while (done < count) {
    const int n = static_cast<int>(std::min<int64_t>(kBlock, count - done));
    ProjectBlockQuickly(vertices, amounts + 4 * done, n, quick);
    for (int i = 0; i < n; ++i, ++done)
      Store(geometry, amounts + 4 * done, quick.points[i], quick.offsets[i], points + 4 * done);
  }
}

void ProjectRow(const DiagramGeometry& geometry, SampleTable& table, int32_t row) {
  const double* amounts = &table.SampleValues[row][1];
  Point quick[4];
  double offsets[4];
  ProjectQuickly(Converted(geometry), amounts, quick, offsets);
  Store(geometry, amounts, quick, offsets, &table.SamplePoints[row][1]);
}

}  // namespace ternova
