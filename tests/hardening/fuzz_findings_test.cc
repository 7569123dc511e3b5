// Inputs found by the fuzz targets (fuzz/), reduced by hand to the case that went wrong. Each
// one used to give a success with values that were infinite or not a number, or a result that
// broke a documented property.
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "polyview/foundations/array1d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
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

TEST(FuzzFindings, SegmentRangeLeavesOutALiftThatOverflows) {
    // The line y = 1, z = 0 with positions along x, seen by two cameras with R = I and f = 100.
    // From T = (0, 0, 10) the observed ends (20, 10) and (50, 10) lift to x = 2 and x = 5. From
    // T = (0, 0, 100) the axis images on v = 1, and the ends (1e307, 1) and (1.5e307, 1) lift
    // through 100 * 1e307, which overflows: that observation gives no position.
    const C3DLineSegment initial(C3DAxis(C3DVector(0.0, 1.0, 0.0), C3DVector(1.0, 0.0, 0.0), 1.0),
                                 CRange(0.0, 1.0));
    SImageLine near;
    near.cameraParam = Camera(100.0, C3DVector(0.0, 0.0, 10.0));
    near.lineSegment.SetEndPoints(C2DCoordinate(20.0, 10.0), C2DCoordinate(50.0, 10.0));
    SImageLine overflowing;
    overflowing.cameraParam = Camera(100.0, C3DVector(0.0, 0.0, 100.0));
    overflowing.lineSegment.SetEndPoints(C2DCoordinate(1e307, 1.0), C2DCoordinate(1.5e307, 1.0));

    C1DArray<SImageLine> observations;
    observations.SetSize(2);
    observations[0] = near;
    observations[1] = overflowing;
    C3DLineSegment segment(initial);
    ASSERT_TRUE(segment.CalcRange(observations));
    EXPECT_EQ(segment.GetRange().GetStartPosition(), 2.0);
    EXPECT_EQ(segment.GetRange().GetEndPosition(), 5.0);

    observations.SetSize(1);  // the overflowing observation alone: nothing is left
    observations[0] = overflowing;
    segment = initial;
    ASSERT_TRUE(segment.CalcRange(observations));
    EXPECT_EQ(segment.GetRange().GetStartPosition(), 0.0);
    EXPECT_EQ(segment.GetRange().GetEndPosition(), 0.0);
}

TEST(FuzzFindings, LineFitKeepsAUnitNormalForTinyAndHugeSpreads) {
    // Points on x + y = 0, spaced by `spacing`: the fit is that line with the unit normal
    // +-(1, 1) / sqrt(2). At 1e-159 the squared spreads used to fall into denormals (the normal
    // came out with length 0.9999999), at 1e200 they overflowed (the fit was refused).
    for (const double spacing : {1e-159, 1e-300, 1.0, 1e200}) {
        SCOPED_TRACE(spacing);
        C1DArray<C2DCoordinate> points;
        points.SetSize(5);
        for (int k = 0; k < 5; ++k) {
            points[k] = C2DCoordinate(k * spacing, -k * spacing);
        }
        C2DLine line;
        ASSERT_TRUE(line.GetApproximationLine(points));
        double params[3];
        line.GetLineParams(params);
        EXPECT_NEAR(std::fabs(params[0]), std::sqrt(0.5), 1e-15);
        EXPECT_NEAR(std::fabs(params[1]), std::sqrt(0.5), 1e-15);
        EXPECT_EQ(params[0], params[1]);
        EXPECT_NEAR(params[2], 0.0, 1e-15 * spacing);
    }
}

TEST(FuzzFindings, LineThroughTheOriginKeepsItsDirection) {
    // Two planes through (nearly) the origin: z = 0, seen edge-on by a camera of focal length 0,
    // and the plane through the second camera's centre -(DBL_MIN, DBL_MIN, DBL_MIN) and its image
    // line x = DBL_MIN. They meet in the y axis. The foot of the perpendicular from the origin was
    // rounding noise along the direction even after its second projection, the frame built from
    // it was no rotation, and the stored direction came out as (-0.78, 0.55, -0.30).
    const double tiny = std::numeric_limits<double>::min();
    C1DArray<SImageLine> observations;
    observations.SetSize(2);
    observations[0].cameraParam = Camera(0.0, C3DVector(0.0, 0.0, 0.0));
    observations[0].lineSegment.SetEndPoints(C2DCoordinate(-1.0, 0.0), C2DCoordinate(-1.0, 1.0));
    observations[1].cameraParam =
        CCameraParam(CIntrinsicParam(-15.5615234375, C2DCoordinate(-46.49609375, tiny)),
                     CExtrinsicParam(CRotateMatrix(), C3DVector(tiny, tiny, tiny)));
    observations[1].lineSegment.SetEndPoints(C2DCoordinate(tiny, 0.0), C2DCoordinate(tiny, 1.0));
    C3DLine line;
    ASSERT_TRUE(line.CreateFromImageLines(observations));
    const C3DAxis& axis = line.Get3DAxis();
    ExpectVectorNear(axis.GetVVector(), C3DVector(0.0, 1.0, 0.0), 1e-12);
    EXPECT_NEAR(axis.GetUVector().GetDotProduct(axis.GetVVector()), 0.0, 1e-12);
    EXPECT_NEAR(axis.GetDistance(), 0.0, 1e-30);
}

}  // namespace
