#include "polyview/shapes3d/plane3d.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/numeric/plane_kernels.h"
#include "polyview/numeric/workspace.h"
#include "polyview/shapes3d/planar_polygon3d.h"
#include "support/camera_rig.h"
#include "support/expect_geometry.h"

namespace {

using Params = std::vector<double>;
const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
// Exact input, a few roundings through the centroid, the scatter matrix and the eigen solver.
const double kRounding = 1e-12;
const Params kMarker = {0.0, 0.6, 0.8, -2.0};  // a plane no test fits to

C1DArray<C3DCoordinate> MakePoints(const std::vector<C3DVector>& points) {
    return ToArray<C3DVector, C3DCoordinate>(points);
}

C3DPlane MakePlane(const Params& params) {
    C3DPlane plane;
    plane.SetPlaneParam(params.data());
    return plane;
}

void ExpectParamsNear(const C3DPlane& plane, const Params& expected, double tolerance) {
    double actual[4];
    plane.GetPlaneParam(actual);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(std::isnan(actual[i]));
        EXPECT_NEAR(actual[i], expected[static_cast<size_t>(i)], tolerance);
    }
}

TEST(C3DPlaneFit, ExactPointsInAnyOrderGiveTheirPlaneOrientedByLargestComponent) {
    // Points picked by hand on each plane; the coefficients come from its equation.
    const struct {
        std::vector<C3DVector> points;
        Params expected;  // unit normal with its largest component positive, then d
    } planes[] = {
        {{{7, 0, 0}, {4, 0, 1}, {1, 4, 0}, {-2, 2, 2}, {1, 0, 2}}, {2. / 7, 3. / 7, 6. / 7, -2}},
        {{{0, -1, 2}, {1, 1, 2}, {2, 1, -1}, {1, -1, -1}}, {6. / 7, -3. / 7, 2. / 7, -1}},
        {{{1, 0, 2}, {3, 1, 2}, {1, -1, -1}, {-1, -1, 2}}, {-3. / 7, 6. / 7, -2. / 7, 1}},
        {{{0, 0, 5}, {1, 0, 5}, {0, 1, 5}, {3, -2, 5}}, {0, 0, 1, -5}},
        {{{0, -2, 0}, {1, -2, 0}, {0, -2, 1}, {5, -2, 5}}, {0, 1, 0, 2}},
        {{{3, 0, 0}, {3, 1, 0}, {3, 0, 1}, {3, -2, 4}}, {1, 0, 0, -3}},
    };
    for (const auto& exact : planes) {
        SCOPED_TRACE(exact.expected[3]);
        std::vector<C3DVector> points = exact.points;
        for (int order = 0; order < 3; ++order) {
            C3DPlane plane;
            ASSERT_TRUE(plane.SetApproximationPlane(MakePoints(points)));
            ExpectParamsNear(plane, exact.expected, kRounding);
            std::reverse(points.begin(), points.end());
            std::rotate(points.begin(), points.begin() + order + 1, points.end());
        }
    }
}

TEST(C3DPlaneFit, NoisyThousandPointsRecoverTheNormal) {
    // 1000 points uniform on a 2 m x 2 m square of a randomly turned plane, isotropic noise of
    // sigma = 1 mm. Only the noise along the normal matters: the tilt about each in-plane axis
    // errs by about sigma / (sqrt(N) s), s = sqrt(1/3) m the rms extent of the square, i.e.
    // 5.5e-5 rad. The total tilt is Rayleigh distributed with that scale, and exceeds 6 times it
    // (3.3e-4 rad) with a probability of 1.5e-8. The offset errs by about sigma / sqrt(N).
    const double sigma = 0.001;
    const int count = 1000;
    const double tiltBound = 6.0 * sigma / (std::sqrt(count) * std::sqrt(1.0 / 3.0));
    std::mt19937_64 generator(20240607);
    std::uniform_real_distribution<double> across(-1.0, 1.0);
    std::normal_distribution<double> noise(0.0, sigma);
    for (int trial = 0; trial < 5; ++trial) {
        SCOPED_TRACE(trial);
        const CRotateMatrix turn = RandomRotation(generator);
        const C3DVector normal = turn * C3DVector(0, 0, 1);
        const C3DVector centre(0.5, -1.0, 2.0);
        C1DArray<C3DCoordinate> points;
        points.SetSize(count);
        for (int i = 0; i < count; ++i) {
            points[i] = centre + turn * C3DVector(across(generator), across(generator), 0.0) +
                        C3DVector(noise(generator), noise(generator), noise(generator));
        }
        C3DPlane plane;
        ASSERT_TRUE(plane.SetApproximationPlane(points));
        const C3DVector& fitted = plane.GetNormalVector();
        EXPECT_LT(std::atan2(fitted.GetCrossProduct(normal).GetNorm(),
                             std::fabs(fitted.GetDotProduct(normal))),
                  tiltBound);
        C3DCoordinate foot;
        EXPECT_LT(plane.GetDistance(C3DCoordinate(centre, WorldCoordinateSystem), foot),
                  6.0 * sigma / std::sqrt(count));
    }
}

TEST(C3DPlaneFit, RejectedPointListsLeavePlaneAndPolygonUnchanged) {
    const std::vector<std::vector<C3DVector>> rejected = {
        {},
        {{1, 2, 3}, {4, 5, 6}},
        {{0, 0, 0}, {1, 0, 0}, {0, kNan, 0}},  // the kernel answers a zero normal: no plane
        {{0, 0, 0}, {1, 0, 0}, {0, 1, kInf}},
        {{0, 0, 0}, {1e200, 0, 0}, {0, 1e200, 0}},  // the scatter matrix overflows
        {{7, 0, 0}, {4, 0, 1}, {1, 4, 0}},          // fine, but the eigen workspace fails
    };
    // Not coplanar: the vertices stay as given (unprojected, in order), through copies as well.
    const std::vector<C3DVector> kept = {{0, 0, 0.1}, {2, 0, -0.1}, {2, 1, 0.1}, {0, 1, -0.1}};
    C3DPlanarPolygon polygon;
    ASSERT_TRUE(polygon.SetApproximationPlane(MakePoints(kept)));
    const auto expectKept = [&kept](const C3DPlanarPolygon& unchanged) {
        ExpectParamsNear(unchanged.GetPlane(), {0, 0, 1, 0}, kRounding);
        ASSERT_EQ(unchanged.GetVertices().GetSize(), 4);
        for (int i = 0; i < 4; ++i) {
            ExpectVectorNear(unchanged.GetVertices()[i], kept[static_cast<size_t>(i)], 0.0);
        }
    };
    for (size_t k = 0; k < rejected.size(); ++k) {
        SCOPED_TRACE(k);
        C3DPlane plane = MakePlane(kMarker);
        dworkspace_fail_nth(k + 1 == rejected.size() ? 1 : 0);
        EXPECT_FALSE(plane.SetApproximationPlane(MakePoints(rejected[k])));
        ExpectParamsNear(plane, kMarker, 0.0);
        dworkspace_fail_nth(k + 1 == rejected.size() ? 1 : 0);
        EXPECT_FALSE(polygon.SetApproximationPlane(MakePoints(rejected[k])));
        expectKept(polygon);
    }
    dworkspace_fail_nth(0);
    C3DPlanarPolygon assigned;
    assigned = C3DPlanarPolygon(polygon);
    expectKept(assigned);
    // The kernel writes all four coefficients even when it finds no plane.
    double params[4] = {7.0, 7.0, 7.0, 7.0};
    EXPECT_FALSE(dfitplane(MakePoints(rejected[2]), params));
    EXPECT_EQ(std::count(params, params + 4, 0.0), 4);
}

TEST(C3DPlaneParams, RoundTripGivesUnitNormalAndNeverStoresNonFiniteValues) {
    const struct {
        Params given;
        Params expected;
        C3DVector point;
    } cases[] = {
        {{2, 0, 0, -4}, {1, 0, 0, -2}, {2, 0, 0}},
        {{0, 2, 0, 6}, {0, 1, 0, 3}, {0, -3, 0}},
        {{0, 0, -4, 8}, {0, 0, -1, 2}, {0, 0, 2}},
        {{0, 3, 4, 10}, {0, 0.6, 0.8, 2}, {0, -10.0 / 3.0, 0}},  // meets y before z
        {{2, 3, 6, -14}, {2. / 7, 3. / 7, 6. / 7, -2}, {7, 0, 0}},
        {{-1, 0, 0, 5}, {-1, 0, 0, 5}, {5, 0, 0}},  // not reoriented
        // Nearly z = 1e10: the x axis is crossed at 1e320, so the foot from the origin is kept.
        {{1e-310, 0, 1, -1e10}, {1e-310, 0, 1, -1e10}, {0, 0, 1e10}},
        // No plane: the default one.
        {{0, 0, 0, 5}, {0, 0, 1, 0}, {0, 0, 0}},
        {{kNan, 0, 1, 0}, {0, 0, 1, 0}, {0, 0, 0}},
        {{0, kInf, 1, 0}, {0, 0, 1, 0}, {0, 0, 0}},
        {{1, 0, 0, -kInf}, {0, 0, 1, 0}, {0, 0, 0}},
        {{1e-320, 1e-320, 1e-320, 1e300}, {0, 0, 1, 0}, {0, 0, 0}},  // beyond the double range
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given[0] + c.given[3]);
        const C3DPlane plane = MakePlane(c.given);
        ExpectParamsNear(plane, c.expected, 1e-15);
        ExpectVectorNear(plane.GetPoint(), c.point, 1e-15);
    }
}

TEST(C3DPlaneDistance, BothSidesGiveThePositiveDistanceAndTheSameFoot) {
    const struct {
        Params params;
        C3DVector onPlane;
        C3DVector unitNormal;
    } cases[] = {
        {{1, 0, 0, -2}, {2, 1, 1}, {1, 0, 0}},
        {{2, 3, 6, -14}, {1, 0, 2}, C3DVector(2, 3, 6) / 7.0},
    };
    for (const auto& c : cases) {
        for (double offset : {3.0, -3.0, 0.0}) {
            SCOPED_TRACE(offset);
            const C3DCoordinate point(c.onPlane + c.unitNormal * offset, WorldCoordinateSystem);
            C3DCoordinate foot(9, 9, 9, CameraCoordinateSystem);
            EXPECT_NEAR(MakePlane(c.params).GetDistance(point, foot), std::fabs(offset), 1e-14);
            ExpectVectorNear(foot, c.onPlane, 1e-14);
            EXPECT_EQ(foot.GetCoordinateSystem(), CameraCoordinateSystem);
        }
    }
}

TEST(DLinePlaneAngle, DegreesWithTheFixedFactorAndNoNanFromRounding) {
    const double z[3] = {0, 0, 1};
    const double x[3] = {1, 0, 0};
    EXPECT_EQ(dline_plane_angle(z, z), 90.0);
    // pi / 2 in degrees with 180 / 3.14159267 falls short of 90 by 90 (1 - pi / 3.14159267).
    EXPECT_NEAR(dline_plane_angle(x, z), 90.0 * (1.0 - 3.14159265358979324 / 3.14159267), 1e-12);
    // (1, 1, 1) with itself: 3 / (sqrt(3) sqrt(3)) rounds to 1 + 2^-52, outside acos' domain.
    const double diagonal[3] = {1, 1, 1};
    const double reversed[3] = {-1, -1, -1};
    EXPECT_NEAR(dline_plane_angle(diagonal, diagonal), 90.0, 1e-12);
    EXPECT_NEAR(dline_plane_angle(reversed, diagonal), 90.0, 1e-5);
}

TEST(C3DPlaneAngle, LinesAlongInAndAcrossThePlane) {
    // The plane 2x + 3y + 6z = 14, and lines through its point (1, 0, 2); n = (2, 3, 6) / 7.
    const C3DPlane plane = MakePlane({2, 3, 6, -14});
    const C3DVector normal = C3DVector(2, 3, 6) / 7.0;
    const C3DVector inPlane = C3DVector(3, -2, 0) / std::sqrt(13.0);  // 3 * 2 - 2 * 3 = 0
    const struct {
        C3DVector direction;
        double degrees;  // within 1e-6: the degree factor's own error, up to 90 * 5.2e-9
    } cases[] = {
        {normal, 90.0},
        {normal * -1.0, 90.0},
        {inPlane, 0.0},
        {normal * 0.5 + inPlane * (std::sqrt(3.0) / 2.0), 30.0},  // 60 degrees from n
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.degrees);
        const C3DLine line(C3DAxis(C3DVector(0, 0, 1), c.direction, 2.0));
        const double degrees = plane.GetAngle(line).GetDegree();
        ASSERT_FALSE(std::isnan(degrees));
        EXPECT_NEAR(degrees, c.degrees, 1e-6);
    }
    EXPECT_TRUE(std::isnan(plane.GetAngle(C3DLine()).GetDegree()));
}

}  // namespace
