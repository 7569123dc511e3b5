// Inputs found by the fuzz targets (fuzz/), reduced by hand to the case that went wrong. Each
// one used to give a success with values that were infinite or not a number, or a result that
// broke a documented property.
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "polyview/foundations/array1d.h"
#include "polyview/shapes3d/point3d.h"
#include "support/expect_geometry.h"

namespace {

constexpr double kMax = std::numeric_limits<double>::max();

CCameraParam Camera(double f, const C3DVector& translation) {
    return CCameraParam(CIntrinsicParam(f, C2DCoordinate(0.0, 0.0)),
                        CExtrinsicParam(CRotateMatrix(), translation));
}

TEST(FuzzFindings, TriangulationRefusesAPointBeyondTheDoubleRange) {
    // The optical axis of the first camera (the z axis) and a ray at 45 degrees from the second
    // camera's centre (-DBL_MAX, 0, DBL_MAX): they meet at z = 2 DBL_MAX, beyond the double range.
    C1DArray<SImagePoint> points;
    points.SetSize(2);
    points[0].cameraParam = Camera(100.0, C3DVector(0.0, 0.0, 0.0));
    points[0].imagePoint = C2DCoordinate(0.0, 0.0);
    points[1].cameraParam = Camera(100.0, C3DVector(kMax, 0.0, -kMax));
    points[1].imagePoint = C2DCoordinate(100.0, 0.0);
    C3DPoint point(C3DCoordinate(1.0, 2.0, 3.0));
    EXPECT_FALSE(point.CreateFromImagePoints(points));
    EXPECT_EQ(point.GetPoint().GetData(0), 1.0);
    EXPECT_EQ(point.GetPoint().GetData(1), 2.0);
    EXPECT_EQ(point.GetPoint().GetData(2), 3.0);
}

}  // namespace
