#pragma once
#include <cstdint>

#include "diagram/geometry.h"
#include "diagram/sample_table.h"

namespace ternova {

// Projects `count` samples stored one after another, four amounts each (SiO2, Al2O3+CaO, MgO,
// FeO), onto the four faces: four points each, face 1 first. Each coordinate is stored as soon
// as it is rounded, x before y, face 1 first, so a floating-point fault leaves exactly the points
// computed before it. `done` counts the samples finished, so when a fault is thrown it is the
// index of the sample at fault.
void ProjectSamples(const DiagramGeometry& geometry, const double* amounts, Point* points, int64_t count,
                    int64_t& done);

// Projects row `row` (1-based) of table.SampleValues onto the four faces and stores the points
// in table.SamplePoints, as ProjectSamples does.
void ProjectRow(const DiagramGeometry& geometry, SampleTable& table, int32_t row);

// Which amounts weight the vertices of each face (component numbers 1..4).
inline constexpr int kFaceComponents[4][3] = {{1, 2, 3}, {1, 2, 4}, {2, 3, 4}, {1, 3, 4}};

}  // namespace ternova
