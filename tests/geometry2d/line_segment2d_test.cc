#include "polyview/geometry2d/line_segment2d.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/intrinsic_param.h"
#include "polyview/foundations/rotate_matrix.h"
#include "support/expect_geometry.h"
#include "support/expect_line2d.h"

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();

C2DLineSegment MakeSegment(double x1, double y1, double x2, double y2) {
    return C2DLineSegment(C2DCoordinate(x1, y1), C2DCoordinate(x2, y2));
}

TEST(C2DLineSegment, CoefficientFormsFollowEndPoints) {
    const struct {
        double x1, y1, x2, y2;
        double a, b, c;
        const char* what;
    } cases[] = {
        {0, 0, 2, 1, 1, -2, 0, "x - 2y = 0"},
        {0, 1, 2, 2, 1, -2, 2, "x - 2y + 2 = 0"},
        {2, 2, 0, 1, 1, -2, 2, "same line, reversed"},
        {0, 3, 5, 3, 0, 1, -3, "horizontal"},
        {2, 0, 2, 7, 1, 0, -2, "vertical"},
        {4, 4, 4, 4, 1, 0, -4, "equal points: vertical form"},
        {0, 0, 1e-21, 1, 1, 0, 0, "x apart by 1e-21: vertical"},
        {0, 0, 1e-20, 1, 1, 0, 0, "x apart by exactly 1e-20: vertical"},
        {0, 0, 1e-19, 1, 1, -1e-19, 0, "x apart by 1e-19: general"},
        {0, 0, 1, 1e-21, 0, 1, 0, "y apart by 1e-21: horizontal"},
        {0, 0, 1, 1e-20, 0, 1, 0, "y apart by exactly 1e-20: horizontal"},
        {0, 0, 1, 1e-19, 1, -1e19, 0, "y apart by 1e-19: general"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        C2DLineSegment segment = MakeSegment(7, 8, 9, 11);  // moving the ends re-derives the form
        segment.SetEndPoints(C2DCoordinate(test.x1, test.y1), C2DCoordinate(test.x2, test.y2));
        ExpectLineParams(segment, test.a, test.b, test.c, 0.0);
        ExpectEndPoints(segment, {test.x1, test.y1}, {test.x2, test.y2}, 0.0);
    }
}

TEST(C2DLineSegmentUnify, MeanDistanceRuleThenFirstFarthestPair) {
    const C2DLineSegment base = MakeSegment(0, 0, 1, 0);
    const C2DLineSegment far = MakeSegment(2, 0, 5, 0);
    const struct {
        C2DLineSegment first, second;
        double tolerance;
        bool merges;
        double x1, y1, x2, y2;  // unified as it was, (7, 8) to (9, 11), unless set
        const char* what;
    } cases[] = {
        {base, far, 0.0, true, 0, 0, 5, 0, "collinear: pair (P0, P3)"},
        {base, MakeSegment(2, 1, 5, 3), 2.0, true, 0, 0, 5, 3, "distances 1, 3"},
        {base, MakeSegment(2, 1, 5, 3), 1.9, false, 7, 8, 9, 11, "mean 2 above 1.9"},
        {base, MakeSegment(2, -1, 5, 3), 2.0, true, 0, 0, 5, 3, "unsigned distances"},
        {base, far, -1e-300, false, 7, 8, 9, 11, "negative tolerance"},
        {base, far, kNan, false, 7, 8, 9, 11, "NaN tolerance"},
        {base, MakeSegment(2, 0, kNan, 0), 1e300, false, 7, 8, 9, 11, "NaN end point"},
        {base, MakeSegment(2, kNan, 5, 0), 1e300, false, 7, 8, 9, 11, "NaN end point"},
        {MakeSegment(0, 0, kNan, 0), far, 1.0, false, 7, 8, 9, 11, "NaN behind a finite form"},
        {base, MakeSegment(5, 0, -1, 0), 0.0, true, 5, 0, -1, 0, "(P2, P3)"},
        {MakeSegment(3, 0, 0, 0), MakeSegment(1, 0, 2, 0), 0, true, 3, 0, 0, 0, "(P0, P1)"},
        {MakeSegment(1, 0, 3, 0), MakeSegment(0, 0, 2, 0), 0, true, 3, 0, 0, 0, "(P1, P2)"},
        // Four pairs tie at length 2; the first, (P0, P1), wins over (P1, P3) and (P2, P3).
        {MakeSegment(0, 0, 2, 0), MakeSegment(2, 0, 0, 0), 0, true, 0, 0, 2, 0, "tie"},
        // Two coincident points: no pair is longer than 0, so unified keeps its end points.
        {MakeSegment(3, 3, 3, 3), MakeSegment(3, 3, 3, 3), 0, true, 7, 8, 9, 11, "points"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        C2DLineSegment unified = MakeSegment(7, 8, 9, 11);
        EXPECT_EQ(test.first.Unify(test.second, unified, test.tolerance), test.merges);
        ExpectEndPoints(unified, {test.x1, test.y1}, {test.x2, test.y2}, 0.0);
        double params[3];  // the coefficients follow the new end points
        MakeSegment(test.x1, test.y1, test.x2, test.y2).GetLineParams(params);
        ExpectLineParams(unified, params[0], params[1], params[2], 0.0);
    }
    C2DLineSegment first = base;  // unified may be either input
    C2DLineSegment second = MakeSegment(5, 0, -1, 0);
    ASSERT_TRUE(first.Unify(second, second, 0.0));
    ExpectEndPoints(second, {5, 0}, {-1, 0}, 0.0);
    ASSERT_TRUE(first.Unify(second, first, 0.0));
    ExpectEndPoints(first, {5, 0}, {-1, 0}, 0.0);
    EXPECT_FALSE(first.Unify(MakeSegment(2, 1, 5, 3), first, 1.9));  // refused after the work
    ExpectEndPoints(first, {5, 0}, {-1, 0}, 0.0);
    ExpectLineParams(first, 0.0, 1.0, 0.0, 0.0);
}

TEST(C2DLineSegmentIsIn, CrossingCountThenEndPoints) {
    const struct {
        C2DLineSegment segment;
        bool visible;
        const char* what;
    } cases[] = {
        {MakeSegment(10, 10, 100, 100), true, "inside"},
        {MakeSegment(-50, 10, -5, 100), false, "line crosses, both ends left of x = 0"},
        {MakeSegment(-10, 5, 5, -10), false, "line misses the image"},
        {MakeSegment(-5, -5, -1, -1), false, "y = x, both ends x < 0"},
        {MakeSegment(-5, -5, 1, 1), true, "y = x, one end inside"},
        {MakeSegment(5, -5, 9, -1), false, "y = x - 10, both ends y < 0"},
        {MakeSegment(700, 700, 800, 800), false, "y = x, both ends x >= width"},
        {MakeSegment(500, 500, 600, 600), false, "y = x, both ends y >= height"},
        {MakeSegment(470, 480, 490, 500), false, "y = x + 10, one end on y = height"},
        {MakeSegment(469.5, 479.5, 490, 500), true, "and just below it"},
        {MakeSegment(-100, -100, 1000, 1000), true, "passes through"},
        {MakeSegment(10, 0, 100, 0), true, "on the edge y = 0, which belongs"},
        {MakeSegment(10, 480, 100, 480), false, "on the line y = height, which does not"},
        {MakeSegment(0, 10, 0, 100), true, "on the edge x = 0"},
        {MakeSegment(640, 10, 640, 100), false, "on the line x = width"},
        {MakeSegment(kNan, 10, 100, 100), false, "NaN end point"},
        {MakeSegment(10, 10, kNan, 10), false, "NaN end point behind the horizontal form"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        EXPECT_EQ(test.segment.IsIn(640.0, 480.0), test.visible);
    }
    EXPECT_FALSE(MakeSegment(10, 10, 100, 100).IsIn(kNan, 480.0));
}

// Looks along +z from (cx, cy, 0), principal point (320, 240).
CCameraParam AxisAlignedCamera(double cx, double cy, double focalLength) {
    return CCameraParam(CIntrinsicParam(focalLength, C2DCoordinate(320.0, 240.0)),
                        CExtrinsicParam(CRotateMatrix(), C3DVector(-cx, -cy, 0.0)));
}

TEST(C2DLineSegmentEpipolar, RowsForSideBySideCamerasAndNothingWhenVertical) {
    const CCameraParam camera1 = AxisAlignedCamera(0, 0, 500);
    const struct {
        CCameraParam camera2;
        C2DCoordinate point;
        double y;  // of the row; NaN: no segment, the old one kept
        const char* what;
    } cases[] = {
        // The world point (1, 0.5, 10) images at (370, 265) in camera 1 and (240, 280) in camera
        // 2 beside it: the other focal length moves the row, but a row it stays.
        {AxisAlignedCamera(2, 0, 800), C2DCoordinate(370, 265), 280.0, "side by side"},
        {AxisAlignedCamera(0, 3, 500), C2DCoordinate(370, 265), kNan, "stacked: vertical"},
        {AxisAlignedCamera(0, -1, 700), C2DCoordinate(10, 20), kNan, "stacked, other focal"},
        {AxisAlignedCamera(2, 0, 0), C2DCoordinate(370, 265), kNan, "focal length 0"},
        {AxisAlignedCamera(2, 0, kNan), C2DCoordinate(370, 265), kNan, "NaN focal length"},
        {AxisAlignedCamera(2, 0, 500), C2DCoordinate(kNan, 265), kNan, "NaN point"},
        {AxisAlignedCamera(kNan, 0, 500), C2DCoordinate(370, 265), kNan, "NaN pose"},
        {AxisAlignedCamera(1e-310, 1, 500), C2DCoordinate(370, 265), kNan, "slope beyond range"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        C2DLineSegment segment = MakeSegment(1, 2, 3, 5);
        const bool found = !std::isnan(test.y);
        EXPECT_EQ(segment.SetEpipolarLine(camera1, test.camera2, test.point, 100, 600), found);
        if (found) {
            ExpectEndPoints(segment, {100, test.y}, {600, test.y}, 1e-12);
            ExpectLineParams(segment, 0.0, 1.0, -test.y, 1e-12);
        } else {
            ExpectEndPoints(segment, {1, 2}, {3, 5}, 0.0);
            ExpectLineParams(segment, 1.0, -2.0 / 3.0, 1.0 / 3.0, 1e-15);
        }
    }
}

TEST(C2DLineSegmentCenterLine, SpansAllFourEndPoints) {
    const double r = 1e-14;  // a few ulps of the normalised forms
    const struct {
        C2DLineSegment first, second;
        double x1, y1, x2, y2;  // NaN: refused, the centre kept
        double a, b, c;
        const char* what;
    } cases[] = {
        {MakeSegment(0, 0, 10, 0), MakeSegment(2, 2, 8, 2), 0, 1, 10, 1, 0, 1, -1, "horizontal"},
        {MakeSegment(0, 0, 0, 10), MakeSegment(2, 3, 2, 5), 1, 0, 1, 10, 1, 0, -1, "vertical"},
        {MakeSegment(8, 2, 2, 2), MakeSegment(10, 0, 0, 0), 0, 1, 10, 1, 0, 1, -1, "x range"},
        // 45 degrees: |Cb| = |Ca| takes the y range; y = x and y = x + 2 give y = x + 1.
        {MakeSegment(0, 0, 4, 4), MakeSegment(0, 2, 4, 6), -1, 0, 5, 6, 1, -1, 1, "diagonal"},
        // y = 0 and x = 5 are perpendicular: the difference, y = x - 5, over y in [-5, 5].
        {MakeSegment(0, 0, 10, 0), MakeSegment(5, -5, 5, 5), 0, -5, 10, 5, 1, -1, -5, "cross"},
        // Steep lines x = 0.1 y and x = -0.1 y: the bisector x = 0 over y in [-10, 20].
        {MakeSegment(0, 0, 1, 10), MakeSegment(1, -10, -2, 20), 0, -10, 0, 20, 1, 0, 0, "steep"},
        {MakeSegment(0, 0, kNan, 0), MakeSegment(2, 2, 8, 2), kNan, 0, 0, 0, 0, 0, 0, "NaN"},
        {MakeSegment(0, 0, 10, 0), MakeSegment(2, kNan, 8, 2), kNan, 0, 0, 0, 0, 0, 0, "NaN"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        C2DLineSegment center = MakeSegment(1, 2, 3, 5);
        const bool found = !std::isnan(test.x1);
        EXPECT_EQ(test.first.CalcCenterLine(test.second, center), found);
        if (!found) {
            ExpectEndPoints(center, {1, 2}, {3, 5}, 0.0);
            continue;
        }
        ExpectEndPoints(center, {test.x1, test.y1}, {test.x2, test.y2}, r);
        ExpectLineParams(center, test.a, test.b, test.c, r);
        C2DLineSegment first = test.first;  // the centre may be one of the inputs
        ASSERT_TRUE(first.CalcCenterLine(test.second, first));
        ExpectEndPoints(first, {test.x1, test.y1}, {test.x2, test.y2}, r);
    }
}

}  // namespace
