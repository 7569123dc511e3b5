// Failures that the tests of their own classes do not reach: values beyond the double range, a
// result aliased to the object itself, and viewing planes that coincide. Each call fails and
// leaves its output as it was. Every other documented failure is checked, with the same care,
// beside the successes in its class's tests.
#include <limits>

#include <gtest/gtest.h>

#include "polyview/foundations/array1d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/shapes3d/line3d.h"
#include "support/expect_geometry.h"
#include "support/expect_line2d.h"

namespace {

TEST(UnchangedOnFailure, TwoDimensionalResultsBeyondTheDoubleRange) {
    // x = 1 meets x + 1e-300 y = 1e300 at y = (1e300 - 1) / 1e-300.
    C2DCoordinate point(7.0, 8.0);
    EXPECT_FALSE(MakeLine(1.0, 0.0, -1.0).GetIntersection(MakeLine(1.0, 1e-300, -1e300), point));
    ExpectVectorNear(point, C2DVector(7.0, 8.0), 0.0);

    C2DLine centre = MakeLine(0.0, 1.0, 8.0);
    const double kInf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(MakeLine(1.0, 1.0, kInf).CalcCenterLine(MakeLine(1.0, 0.0, 0.0), centre));
    ExpectLineParams(centre, 0.0, 1.0, 8.0, 0.0);

    // The mean of these points overflows.
    EXPECT_FALSE(centre.GetApproximationLine(ToArray(
        {C2DCoordinate(0.0, 0.0), C2DCoordinate(1.7e308, 0.0), C2DCoordinate(1.7e308, 1.0)})));
    ExpectLineParams(centre, 0.0, 1.0, 8.0, 0.0);

    // The epipolar lines of a camera displaced by (1e-310, 1) have a slope beyond the range.
    const CCameraParam first(CIntrinsicParam(1.0, C2DCoordinate(0.0, 0.0)), CExtrinsicParam());
    const CCameraParam second(CIntrinsicParam(1.0, C2DCoordinate(0.0, 0.0)),
                              CExtrinsicParam(CRotateMatrix(), C3DVector(1e-310, 1.0, 0.0)));
    C2DLineSegment segment(C2DCoordinate(0.0, 2.0), C2DCoordinate(3.0, 2.0));
    EXPECT_FALSE(segment.SetEpipolarLine(first, second, C2DCoordinate(0.2, 0.1), 0, 640));
    ExpectLineParams(segment, 0.0, 1.0, -2.0, 0.0);
    ExpectVectorNear(segment.GetCenterCoordinate(), C2DVector(1.5, 2.0), 0.0);
}

TEST(UnchangedOnFailure, RefusedUnionIntoTheSegmentItself) {
    const C2DLineSegment other(C2DCoordinate(12.0, 1.0), C2DCoordinate(20.0, 3.0));
    for (const double tolerance : {-1.0, 1.9}) {  // refused, and a mean distance 2 above 1.9
        SCOPED_TRACE(tolerance);
        C2DLineSegment self(C2DCoordinate(0.0, 0.0), C2DCoordinate(10.0, 0.0));
        EXPECT_FALSE(self.Unify(other, self, tolerance));
        ExpectLineParams(self, 0.0, 1.0, 0.0, 0.0);
        ExpectVectorNear(self.GetCenterCoordinate(), C2DVector(5.0, 0.0), 0.0);
    }
}

TEST(UnchangedOnFailure, LineFromCoincidentViewingPlanes) {
    // The x axis seen from two centres in the plane y = 0: both viewing planes are that plane.
    C1DArray<SImageLine> coplanar;
    coplanar.SetSize(2);
    for (int i = 0; i < 2; ++i) {
        coplanar[i].cameraParam =
            CCameraParam(CIntrinsicParam(100.0, C2DCoordinate(0.0, 0.0)),
                         CExtrinsicParam(CRotateMatrix(), C3DVector(-1.0 * i, 0.0, 5.0)));
        coplanar[i].lineSegment.SetEndPoints(C2DCoordinate(-10.0, 0.0), C2DCoordinate(10.0, 0.0));
    }
    C3DLine line(C3DAxis(C3DVector(0.0, 0.0, 1.0), C3DVector(1.0, 0.0, 0.0), -7.0));
    EXPECT_FALSE(line.CreateFromImageLines(coplanar));
    EXPECT_EQ(line.Get3DAxis().GetDistance(), -7.0);
    ExpectVectorNear(line.Get3DAxis().GetUVector(), C3DVector(0.0, 0.0, 1.0), 0.0);
    ExpectVectorNear(line.Get3DAxis().GetVVector(), C3DVector(1.0, 0.0, 0.0), 0.0);
}

}  // namespace
