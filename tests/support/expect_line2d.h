#pragma once

#include <cmath>

#include <gtest/gtest.h>

#include "polyview/foundations/coordinate2d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "support/expect_geometry.h"

// The line a x + b y + c = 0, coefficients stored as given.
inline C2DLine MakeLine(double a, double b, double c) {
    const double params[3] = {a, b, c};
    C2DLine line;
    line.SetLineParams(params);
    return line;
}

// Compares the coefficient triple (a, b, c) of anything with GetLineParams (a C2DLine or a
// C2DLineSegment) with the expected one; fails on not-a-number. Tolerance 0.0 means exact.
template <typename Line>
void ExpectLineParams(const Line& line, double a, double b, double c, double tolerance) {
    double params[3];
    line.GetLineParams(params);
    const double expected[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(std::isnan(params[i]));
        EXPECT_NEAR(params[i], expected[i], tolerance);
    }
}

// The end points of segment, start and end in that order.
inline void ExpectEndPoints(const C2DLineSegment& segment,
                            const C2DVector& start,
                            const C2DVector& end,
                            double tolerance) {
    C2DCoordinate actual[2];
    segment.GetEndPoints(actual[0], actual[1]);
    ExpectVectorNear(actual[0], start, tolerance);
    ExpectVectorNear(actual[1], end, tolerance);
}

// Perpendicular distance of point from the line a x + b y + c = 0 of params, computed here
// independently of the classes under test.
inline double DistanceFromParams(const double* params, const C2DVector& point) {
    return std::fabs(params[0] * point.GetData(0) + params[1] * point.GetData(1) + params[2]) /
           std::hypot(params[0], params[1]);
}
