#include "polyview/geometry2d/line2d.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "support/expect_geometry.h"
#include "support/expect_line2d.h"

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(C2DLineDistance, SignFollowsNormalAndScaleCancels) {
    const struct {
        double a, b, c, x, y;
        double unsignedDistance, signedDistance;  // -1: no distance, nothing written
    } cases[] = {
        {1.0, 0.0, 0.0, 3.0, 4.0, 3.0, 3.0},      // default line x = 0
        {1.0, 0.0, 0.0, -3.0, 4.0, 3.0, -3.0},    // other side
        {0.0, 2.0, -4.0, 0.0, 5.0, 3.0, 3.0},     // y = 2, normal of length 2
        {0.0, -2.0, 4.0, 0.0, 5.0, 3.0, -3.0},    // same line, opposite normal
        {3.0, 4.0, -5.0, 3.0, 4.0, 4.0, 4.0},     // 3x + 4y = 5: (3, 4) lies 20 / 5 away
        {30.0, 40.0, -50.0, 3.0, 4.0, 4.0, 4.0},  // the same line scaled by 10
        {-3.0, -4.0, 5.0, 3.0, 4.0, 4.0, -4.0},   // and with the normal reversed
        {0.0, 0.0, 1.0, 1.0, 2.0, -1, -1},        // no normal
        {0.0, 0.0, 0.0, 0.0, 0.0, -1, -1},        // no normal, point on "the line"
        {kNan, 1.0, 0.0, 1.0, 2.0, -1, -1},
        {kInf, 1.0, 0.0, 1.0, 2.0, -1, -1},
        {1.0, 0.0, kNan, 1.0, 2.0, -1, -1},
        {1.0, 0.0, 0.0, kNan, 2.0, -1, -1},
        {1.0, 0.0, 0.0, kInf, 2.0, -1, -1},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(testing::Message()
                     << test.a << ", " << test.b << ", " << test.c << " / " << test.x);
        const C2DLine line = MakeLine(test.a, test.b, test.c);
        const C2DCoordinate point(test.x, test.y);
        const bool measurable = test.unsignedDistance >= 0.0;
        for (bool signedDistance : {true, false}) {
            double distance = 42.0;
            EXPECT_EQ(line.GetDistance(point, distance, signedDistance), measurable);
            const double expected = signedDistance ? test.signedDistance : test.unsignedDistance;
            EXPECT_DOUBLE_EQ(distance, measurable ? expected : 42.0);
        }
        EXPECT_DOUBLE_EQ(line.GetDistance(point), test.unsignedDistance);
    }
}

TEST(C2DLineIntersection, PivotToleranceOnlyChoosesThePivot) {
    const C2DLine xIsOne = MakeLine(1.0, 0.0, -1.0);
    const C2DLine yIsTwo = MakeLine(0.0, 1.0, -2.0);
    const double e = std::ldexp(1.0, -40);
    const struct {
        C2DLine first, second;
        double x, y;  // NaN: no crossing, nothing written
        const char* what;
    } cases[] = {
        {xIsOne, yIsTwo, 1.0, 2.0, "pivot a1"},
        {yIsTwo, xIsOne, 1.0, 2.0, "pivot b1"},
        // |a1| = 1e-7 is below the pivot tolerance: elimination with b1 gives x exactly, with
        // the tiny a1 it would lose about 1e-9 of x to the cancellation in y * b1 + c1.
        {MakeLine(1e-7, 1.0, -2.0), xIsOne, 1.0, 2.0 - 1e-7, "tiny a1"},
        // Both below the tolerance: still the lines 2x + y = 2 and x + 2y = 2, scaled by 1e-7.
        {MakeLine(2e-7, 1e-7, -2e-7), MakeLine(0.0, 1.0, -1.0), 0.5, 1.0, "tiny, pivot a1"},
        {MakeLine(1e-7, 2e-7, -2e-7), xIsOne, 1.0, 0.5, "tiny, pivot b1"},
        // Nearly parallel is not parallel: x + y = 0 and x + (1 + 2^-40) y = 1 meet at y = 2^40.
        {MakeLine(1, 1, 0), MakeLine(1, 1 + e, -1), -1 / e, 1 / e, "nearly parallel"},
        {MakeLine(1, 1, 0), MakeLine(2, 2, 5), kNan, kNan, "parallel"},
        {MakeLine(1, 1, 0), MakeLine(1, 1, 0), kNan, kNan, "itself"},
        {MakeLine(1, 1, 0), MakeLine(-3, -3, 0), kNan, kNan, "coincident, scaled"},
        {MakeLine(0, 1e-8, 1), MakeLine(0, 5, 2), kNan, kNan, "parallel, tiny pivot b1"},
        {MakeLine(0, 0, 1), xIsOne, kNan, kNan, "first degenerate"},
        {xIsOne, MakeLine(0, 0, 1), kNan, kNan, "second degenerate"},
        {MakeLine(kNan, 1, 0), xIsOne, kNan, kNan, "NaN in first"},
        {xIsOne, MakeLine(0, kNan, 0), kNan, kNan, "NaN in second"},
        {xIsOne, MakeLine(0, 1, kNan), kNan, kNan, "NaN constant"},
        {MakeLine(kInf, kInf, 0), yIsTwo, kNan, kNan, "infinite normal"},
        {MakeLine(1, 0, kInf), yIsTwo, kNan, kNan, "infinite constant"},
        {xIsOne, MakeLine(1, 1e-300, -1e300), kNan, kNan, "crossing at y = (1e300 - 1) / 1e-300"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        C2DCoordinate point(7.0, 8.0, CameraCoordinateSystem);
        EXPECT_EQ(test.first.GetIntersection(test.second, point), !std::isnan(test.x));
        ExpectVectorNear(point,
                         std::isnan(test.x) ? C2DVector(7, 8) : C2DVector(test.x, test.y),
                         1e-15);                                         // exact, or the last ulp
        EXPECT_EQ(point.GetCoordinateSystem(), CameraCoordinateSystem);  // only x and y written
    }
}

TEST(C2DLineApproximation, FitsKnownLinesUpToSign) {
    const struct {
        std::vector<C2DVector> points;
        double a, b, c;  // NaN: no fit, the coefficients kept
    } cases[] = {
        // Along (3, 4) / 5 through (1, 2), spread unevenly: 0.8 x - 0.6 y + 0.4 = 0.
        {{{-1.4, -1.2}, {0.1, 0.8}, {1, 2}, {1.3, 2.4}, {2.2, 3.6}, {2.8, 4.4}}, 0.8, -0.6, 0.4},
        {{{5, -1}, {5, 1}, {5, -3}, {5, 3}}, 1.0, 0.0, -5.0},
        {{{3.5, -2.0}}, 1.0, 0.0, -3.5},  // a single point gives the vertical line
        {{}, kNan, kNan, kNan},
        {{{0, 0}, {kNan, 1}, {2, 2}}, kNan, kNan, kNan},
        {{{0, 0}, {1, kInf}}, kNan, kNan, kNan},
        {{{0, 0}, {1.7e308, 0}, {1.7e308, 1}}, kNan, kNan, kNan},  // the mean overflows
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.points.size());
        C2DLine line = MakeLine(2.0, 3.0, 4.0);
        const bool fitted = !std::isnan(test.a);
        EXPECT_EQ(line.GetApproximationLine(ToArray<C2DVector, C2DCoordinate>(test.points)),
                  fitted);
        double params[3];
        line.GetLineParams(params);
        const double sign = params[0] * test.a + params[1] * test.b < 0.0 ? -1.0 : 1.0;
        if (fitted) {
            ExpectLineParams(line, sign * test.a, sign * test.b, sign * test.c, 1e-14);
        } else {
            ExpectLineParams(line, 2.0, 3.0, 4.0, 0.0);
        }
    }
}

TEST(C2DLineCenterLine, BisectsAcuteObtusePerpendicularAndParallelPairs) {
    const double r3 = std::sqrt(3.0);
    const C2DLine xIsZero = MakeLine(1, 0, 0);
    const struct {
        C2DLine first, second;
        double a, b, c;  // the sum or difference of the unit-normal forms; NaN: refused
        const char* what;
    } cases[] = {
        {MakeLine(0, 1, -1), MakeLine(0, 1, -3), 0, 2, -4, "parallel, same normal: y = 2"},
        {MakeLine(0, 1, -1), MakeLine(0, -1, 3), 0, 2, -4, "parallel, opposite normal: y = 2"},
        {MakeLine(0, 3, -3), MakeLine(0, -0.5, 1.5), 0, 2, -4, "parallel, unnormalised"},
        {xIsZero, MakeLine(0, 1, 0), 1, -1, 0, "perpendicular: y = x"},
        {MakeLine(1, 0, -2), MakeLine(0, 5, -15), 1, -1, 1, "perpendicular through (2, 3)"},
        // x = 0 and x + sqrt(3) y = 0 (normals 60 degrees apart): the sum, normal at 30 degrees.
        {xIsZero, MakeLine(2, 2 * r3, 0), 1.5, r3 / 2, 0, "acute"},
        // x = 0 and -x + sqrt(3) y = 0 (normals 120 degrees apart): the difference.
        {xIsZero, MakeLine(-3, 3 * r3, 0), 1.5, -r3 / 2, 0, "obtuse"},
        {MakeLine(0, 0, 1), xIsZero, kNan, kNan, kNan, "first degenerate"},
        {xIsZero, MakeLine(0, 0, 1), kNan, kNan, kNan, "second degenerate"},
        {MakeLine(kNan, 1, 0), xIsZero, kNan, kNan, kNan, "NaN normal"},
        {xIsZero, MakeLine(1, 0, kNan), kNan, kNan, kNan, "NaN constant"},
        {MakeLine(kInf, 1, 0), xIsZero, kNan, kNan, kNan, "infinite normal"},
        {MakeLine(1, 1, kInf), xIsZero, kNan, kNan, kNan, "infinite constant"},
        // Squares of the coefficients that overflow or underflow: the same bisector as (1, 0, 0).
        {MakeLine(1e200, 0, 0), MakeLine(0, 1, -1), 1, -1, 1, "normal whose square overflows"},
        {MakeLine(1e-200, 0, 0), MakeLine(0, 1, -1), 1, -1, 1, "normal whose square underflows"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        const bool bisected = !std::isnan(test.a);
        C2DLine center = MakeLine(5.0, 6.0, 7.0);
        EXPECT_EQ(test.first.CalcCenterLine(test.second, center), bisected);
        if (!bisected) {
            ExpectLineParams(center, 5.0, 6.0, 7.0, 0.0);
            continue;
        }
        ExpectLineParams(center, test.a, test.b, test.c, 1e-15);
        C2DLine first = test.first;  // the centre may be one of the inputs
        ASSERT_TRUE(first.CalcCenterLine(test.second, first));
        ExpectLineParams(first, test.a, test.b, test.c, 1e-15);
    }
}

TEST(C2DLineClip, HalfOpenRectangleCountsTheMinimumCornerOnce) {
    // Expected (0, 0) to (0, 1), the default segment, where nothing is left of the line.
    const struct {
        double a, b, c;
        double xMin, yMin, xMax, yMax;
        double x1, y1, x2, y2;
        const char* what;
    } cases[] = {
        {0, 1, -5, 0, 0, 10, 10, 0, 5, 10, 5, "y = 5: left and right edge"},
        {0, 1, 0, 0, 0, 10, 10, 0, 0, 10, 0, "y = 0: the minimum edge belongs"},
        {1, 0, 0, 0, 0, 10, 10, 0, 0, 0, 10, "x = 0: bottom and top edge"},
        {1, 1, -5, 0, 0, 10, 10, 0, 5, 5, 0, "x + y = 5: left before bottom"},
        {2, -1, -4, 0, 0, 10, 10, 2, 0, 7, 10, "y = 2x - 4: bottom, then top"},
        {0, -2, 8, -5, -5, 5, 5, -5, 4, 5, 4, "y = 4, normal down"},
        {1, 2, -20, 0, 0, 10, 10, 10, 5, 0, 10, "corner (xMin, yMax) taken by the top edge only"},
        {1, 2, -10, 0, 0, 10, 10, 0, 5, 10, 0, "corner (xMax, yMin) taken by the right edge only"},
        {1, -2, 0, 0, 0, 10, 10, 0, 0, 10, 5, "x - 2y = 0: corner (xMin, yMin), then right edge"},
        {2, -1, 0, 0, 0, 10, 10, 0, 0, 5, 10, "2x - y = 0: corner (xMin, yMin), then top edge"},
        {1, -1, 1, 2, 3, 12, 8, 2, 3, 7, 8, "y = x + 1 through (2, 3) of an offset box"},
        {0, 1, -10, 0, 0, 10, 10, 0, 0, 0, 1, "y = yMax"},
        {1, 0, -10, 0, 0, 10, 10, 0, 0, 0, 1, "x = xMax"},
        {-1, 2, -10, 0, 0, 10, 10, 0, 0, 0, 1, "through (xMax, yMax) and (0, 5): one point"},
        {1, -1, 0, 0, 0, 10, 10, 0, 0, 0, 1, "diagonal from (xMin, yMin) to (xMax, yMax)"},
        {0, 1, -20, 0, 0, 10, 10, 0, 0, 0, 1, "misses"},
        {0, 1, -5, 0, 0, 0, 10, 0, 0, 0, 1, "xMin = xMax"},
        {0, 1, -5, 0, 3, 10, 3, 0, 0, 0, 1, "yMin = yMax"},
        {0, 1, -5, 10, 0, 0, 10, 0, 0, 0, 1, "xMin > xMax, y = 5 meets both y-tested edges"},
        {1, 0, -5, 0, 10, 10, 0, 0, 0, 0, 1, "yMin > yMax, x = 5 meets both x-tested edges"},
        {0, 0, 1, 0, 0, 10, 10, 0, 0, 0, 1, "degenerate line"},
        {kNan, 1, -5, 0, 0, 10, 10, 0, 0, 0, 1, "NaN coefficient"},
        {0, 1, -5, kNan, 0, 10, 10, 0, 0, 0, 1, "NaN bound"},
        {1, 0, -5, 0, kNan, 10, 10, 0, 0, 0, 1, "NaN bound on an edge the line meets"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        const C2DLineSegment segment =
            MakeLine(test.a, test.b, test.c)
                .GetLineSegment(test.xMin, test.yMin, test.xMax, test.yMax);
        ExpectEndPoints(segment, {test.x1, test.y1}, {test.x2, test.y2}, 1e-14);
    }
}

TEST(C2DLineClip, LineThroughACornerCountsItOnceDespiteRounding) {
    // The crossings at the two edges of a corner are computed apart: through (3, 7) and
    // (103, 52) the bottom edge gives x = 3.0000000000000018 while the left edge gives y = 7.
    const C2DLineSegment corner =
        C2DLine(C2DLineSegment(C2DCoordinate(3, 7), C2DCoordinate(103, 52)))
            .GetLineSegment(3, 7, 103, 207);
    ExpectEndPoints(corner, {3, 7}, {103, 52}, 1e-12);
    // Lines from the corners that belong to the rectangle to integer points of the far edges are
    // clipped to that stretch.
    const double xMin = 3, yMin = 7, xMax = 103, yMax = 207;
    for (int step = 1; step < 100; ++step) {
        const double y = yMin + 2.0 * step;
        const double x = xMin + step;
        const double ends[4][4] = {{xMin, yMin, xMax, y},
                                   {xMin, yMin, x, yMax},
                                   {xMax, yMin, xMin, y},
                                   {xMin, yMax, x, yMin}};
        for (const auto& e : ends) {
            SCOPED_TRACE(testing::Message()
                         << e[0] << ", " << e[1] << " to " << e[2] << ", " << e[3]);
            const C2DLine line(
                C2DLineSegment(C2DCoordinate(e[0], e[1]), C2DCoordinate(e[2], e[3])));
            const C2DLineSegment clipped = line.GetLineSegment(xMin, yMin, xMax, yMax);
            ASSERT_NEAR(clipped.GetLength(), std::hypot(e[2] - e[0], e[3] - e[1]), 1e-9);
        }
    }
}

TEST(C2DLineFromSegment, TakesTheSegmentsCoefficients) {
    const C2DLine line(C2DLineSegment(C2DCoordinate(0.0, 1.0), C2DCoordinate(2.0, 2.0)));
    ExpectLineParams(line, 1.0, -2.0, 2.0, 0.0);  // x - 2y + 2 = 0
    ExpectVectorNear(line.GetVector(), C2DVector(2.0, 1.0), 0.0);
}

}  // namespace
