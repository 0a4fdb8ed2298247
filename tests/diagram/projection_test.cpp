#include "diagram/projection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"
#include "diagram/round.h"

namespace ternova {
namespace {

#define EXPECT_POINT(p, px, py) EXPECT_EQ((p), (Point{px, py}))

class Projection : public ::testing::Test {
 protected:
  void SetUp() override { table.Resize(1); }
  void Project(double v1, double v2, double v3, double v4) {
    table.SampleValues[1] = {0, v1, v2, v3, v4};
    ProjectRow(geometry, table, 1);
  }
  // Runs a projection that must fault with `message`.
  void ExpectFault(double v1, double v2, double v3, double v4, Text message) {
    try {
      Project(v1, v2, v3, v4);
      ADD_FAILURE() << "no fault";
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), Tr(message));
    }
  }
  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
};

TEST_F(Projection, EqualAmountsLandOnEachFaceCentroid) {
  Project(1, 1, 1, 1);
  EXPECT_POINT(table.SamplePoints[1][1], 1000, 750);
  EXPECT_POINT(table.SamplePoints[1][2], 1433, 500);
  EXPECT_POINT(table.SamplePoints[1][3], 567, 500);
  EXPECT_POINT(table.SamplePoints[1][4], 1000, 1250);
}

TEST_F(Projection, OnlyRatiosMatter) {
  Project(10, 20, 30, 40);
  const auto first = table.SamplePoints[1];
  Project(1, 2, 3, 4);
  EXPECT_EQ(table.SamplePoints[1], first);
}

TEST_F(Projection, NegativeAmountsLandOutsideTheFace) {
  Project(-1, 1, 1, 1);  // face 1: (-1433 + 1000 + 567) / 1 = 134
  EXPECT_POINT(table.SamplePoints[1][1], 134, 250);
}

TEST_F(Projection, ZeroOverZeroStopsAtTheFaultingFace) {
  table.SamplePoints[1] = {Point{}, {7, 7}, {7, 7}, {7, 7}, {7, 7}};
  ExpectFault(100, 0, 0, 0, kInvalidOperation);
  EXPECT_POINT(table.SamplePoints[1][1], 1433, 1000);
  EXPECT_POINT(table.SamplePoints[1][2], 1433, 1000);
  EXPECT_POINT(table.SamplePoints[1][3], 7, 7);
  EXPECT_POINT(table.SamplePoints[1][4], 7, 7);
}

TEST_F(Projection, NonZeroOverZeroIsADivisionByZero) {
  ExpectFault(1, -1, 0, 5, kDivideByZero);  // face 1 sums to 0 with numerator 1433 - 1000
}

TEST_F(Projection, SumBeyondTheDoubleRangeOverflows) {
  ExpectFault(DBL_MAX, DBL_MAX, 0, 1, kOverflow);
}

TEST_F(Projection, QuotientBeyondTheDoubleRangeOverflows) {
  // A tiny sum makes the quotient huge: 1433 * 1e308 / (sum of about 1e-300).
  ExpectFault(1e300, -1e300, 1e-300, 0, kOverflow);
}

TEST_F(Projection, QuotientBeyondTwoToTheSixtyThreeIsInvalid) {
  table.SamplePoints[1][1] = {7, 7};
  ExpectFault(1, -1, 1e-300, 0, kInvalidOperation);  // x = 433 / 1e-300
  EXPECT_POINT(table.SamplePoints[1][1], 7, 7);
}

TEST_F(Projection, FarAwayPointsStayFarAway) {
  // Face 1: a sum near 1e-7 puts x near 4.29e9; its low 32 bits would be -6731, inside the view.
  Project(1, -1, 1.0081584e-7, 1);
  EXPECT_EQ(table.SamplePoints[1][1].x, INT32_MAX);
}

TEST_F(Projection, FaultInYLeavesTheNewXOfThatFace) {
  table.SamplePoints[1] = {Point{}, {7, 7}, {7, 7}, {7, 7}, {7, 7}};
  // Face 2 sums to 2^-52 with an x numerator of 1000 * 2^-52 and a y numerator near -3000.
  ExpectFault(-4 + 0x1p-51, 2, 10, 2 - 0x1p-52, kInvalidOperation);
  EXPECT_NE(table.SamplePoints[1][1], (Point{7, 7}));
  EXPECT_POINT(table.SamplePoints[1][2], 1000, 7);
  EXPECT_POINT(table.SamplePoints[1][3], 7, 7);
}

// The projection done only in extended precision, the way the arithmetic is defined.
Point ReferencePoint(const DiagramGeometry& g, int face, double a, double b, double c) {
  const Point& v1 = g.Vertex(face, 1);
  const Point& v2 = g.Vertex(face, 2);
  const Point& v3 = g.Vertex(face, 3);
  const auto s = static_cast<double>(static_cast<long double>(a) + b + c);
  auto coordinate = [&](int32_t p1, int32_t p2, int32_t p3) {
    const long double n = static_cast<long double>(p1) * a + static_cast<long double>(p2) * b + static_cast<long double>(p3) * c;
    return RoundHalfAway(static_cast<double>(n / s));
  };
  return {coordinate(v1.x, v2.x, v3.x), coordinate(v1.y, v2.y, v3.y)};
}

TEST_F(Projection, AgreesWithExtendedPrecisionEverywhere) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> cents(0, 10000);
  std::uniform_int_distribution<int> small(0, 4);
  for (int trial = 0; trial < 200000; ++trial) {
    double v[4];
    for (double& x : v) {
      // Two-decimal analyses, small integers (which hit exact halves often) and some negatives.
      switch (trial % 3) {
        case 0: x = cents(random) / 100.0; break;
        case 1: x = small(random); break;
        default: x = (cents(random) - 2000) / 100.0; break;
      }
    }
    table.SampleValues[1] = {0, v[0], v[1], v[2], v[3]};
    try {
      ProjectRow(geometry, table, 1);
    } catch (const Error&) {
      continue;  // faults are covered above
    }
    for (int face = 1; face <= 4; ++face) {
      const int* c = kFaceComponents[face - 1];
      ASSERT_EQ(table.SamplePoints[1][face], ReferencePoint(geometry, face, v[c[0] - 1], v[c[1] - 1], v[c[2] - 1]))
          << "values " << v[0] << " " << v[1] << " " << v[2] << " " << v[3] << " face " << face;
    }
  }
}

// Amounts that stress the projection: two-decimal analyses, small integers (which hit exact
// halves often), cancelling ones, and some far from 1, which leave the double arithmetic's range.
std::vector<std::array<double, 4>> AwkwardSamples(int count) {
  std::mt19937_64 random(11);
  std::uniform_int_distribution<int> cents(0, 10000), small(0, 4), pick(0, 7);
  const double far[] = {0, 1, -1, 1e-300, -1e300, DBL_MAX, 0x1p-52, 2};
  std::vector<std::array<double, 4>> samples(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    for (double& x : samples[static_cast<size_t>(i)]) {
      switch (i % 4) {
        case 0: x = cents(random) / 100.0; break;
        case 1: x = small(random); break;
        case 2: x = (cents(random) - 2000) / 100.0; break;
        default: x = far[pick(random)]; break;
      }
    }
  return samples;
}

// Many samples at once go through the projection of one row: the samples before a fault are
// projected, the one at fault is left as ProjectRow leaves it, and none after it is touched.
TEST(ProjectSamples, AgreesWithProjectRowSampleBySample) {
  const DiagramGeometry geometry = ComputeDiagramGeometry();
  const auto samples = AwkwardSamples(20000);
  const auto count = static_cast<int64_t>(samples.size());
  const Point untouched{7, 7};
  SampleTable table;
  table.Resize(1);
  std::vector<std::array<Point, 4>> expected(samples.size());
  std::vector<std::string> faults(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    table.SampleValues[1] = {0, samples[i][0], samples[i][1], samples[i][2], samples[i][3]};
    table.SamplePoints[1] = {Point{}, untouched, untouched, untouched, untouched};
    try {
      ProjectRow(geometry, table, 1);
    } catch (const Error& e) {
      faults[i] = e.what();
    }
    std::copy_n(&table.SamplePoints[1][1], 4, expected[i].begin());
  }
  std::vector<std::array<Point, 4>> points(samples.size());
  for (auto& p : points) p.fill(untouched);
  int faulted = 0;
  for (int64_t from = 0; from < count;) {
    int64_t done = -1;
    std::string fault;
    try {
      ProjectSamples(geometry, samples[static_cast<size_t>(from)].data(), points[static_cast<size_t>(from)].data(),
                     count - from, done);
    } catch (const Error& e) {
      fault = e.what();
    }
    const int64_t end = fault.empty() ? count : from + done;
    if (!fault.empty()) {
      ASSERT_LT(end, count);
      EXPECT_EQ(fault, faults[static_cast<size_t>(end)]) << "sample " << end;
      EXPECT_EQ(points[static_cast<size_t>(end)], expected[static_cast<size_t>(end)]) << "sample " << end;
      ++faulted;
    }
    for (int64_t i = from; i < end; ++i) {
      ASSERT_EQ(faults[static_cast<size_t>(i)], "") << "sample " << i << " faulted one at a time only";
      ASSERT_EQ(points[static_cast<size_t>(i)], expected[static_cast<size_t>(i)]) << "sample " << i;
    }
    if (end + 1 < count) {
      EXPECT_EQ(points[static_cast<size_t>(end + 1)][0], untouched) << "after sample " << end;
    }
    from = end + 1;
  }
  EXPECT_GT(faulted, 500);  // the far amounts fault often, so blocks end early at many places
}

}  // namespace
}  // namespace ternova
