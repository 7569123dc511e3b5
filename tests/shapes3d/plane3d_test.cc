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

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
// Exact input, a few roundings through the centroid, the scatter matrix and the eigen solver.
const double kRounding = 1e-12;

C1DArray<C3DCoordinate> MakePoints(const std::vector<C3DVector>& points) {
    C1DArray<C3DCoordinate> array;
    array.SetSize(static_cast<int>(points.size()));
    for (int i = 0; i < array.GetSize(); ++i) {
        array[i] = points[static_cast<size_t>(i)];
    }
    return array;
}

std::vector<double> PlaneParams(const C3DPlane& plane) {
    std::vector<double> params(4);
    plane.GetPlaneParam(params.data());
    return params;
}

void ExpectParamsNear(const std::vector<double>& actual,
                      const std::vector<double>& expected,
                      double tolerance) {
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(std::isnan(actual[static_cast<size_t>(i)]));
        EXPECT_NEAR(actual[static_cast<size_t>(i)], expected[static_cast<size_t>(i)], tolerance);
    }
}

// A plane that no test fits to, to see that a rejected call leaves it alone.
C3DPlane MarkerPlane() {
    const double params[4] = {0.0, 3.0, 4.0, -10.0};  // 0.6 y + 0.8 z = 2
    C3DPlane plane;
    plane.SetPlaneParam(params);
    return plane;
}

struct SExactPlane {
    const char* name;
    std::vector<C3DVector> points;
    std::vector<double> expected;  // unit normal, largest component positive, then d
};

// Points picked by hand on each plane; the expected coefficients come from its equation.
std::vector<SExactPlane> ExactPlanes() {
    return {
        {"2x + 3y + 6z = 14",
         {{7, 0, 0}, {4, 0, 1}, {1, 4, 0}, {-2, 2, 2}, {1, 0, 2}},
         {2.0 / 7.0, 3.0 / 7.0, 6.0 / 7.0, -2.0}},
        {"6x - 3y + 2z = 7",
         {{0, -1, 2}, {1, 1, 2}, {2, 1, -1}, {1, -1, -1}},
         {6.0 / 7.0, -3.0 / 7.0, 2.0 / 7.0, -1.0}},
        {"3x - 6y + 2z = 7, largest component negative",
         {{1, 0, 2}, {3, 1, 2}, {1, -1, -1}, {-1, -1, 2}},
         {-3.0 / 7.0, 6.0 / 7.0, -2.0 / 7.0, 1.0}},
        {"z = 5", {{0, 0, 5}, {1, 0, 5}, {0, 1, 5}, {3, -2, 5}}, {0, 0, 1, -5}},
        {"x = 3", {{3, 0, 0}, {3, 1, 0}, {3, 0, 1}, {3, -2, 4}}, {1, 0, 0, -3}},
        {"y = -2", {{0, -2, 0}, {1, -2, 0}, {0, -2, 1}, {5, -2, 5}}, {0, 1, 0, 2}},
    };
}

TEST(C3DPlaneFit, ExactPointsGiveTheirPlaneOrientedByLargestComponent) {
    for (const SExactPlane& exact : ExactPlanes()) {
        SCOPED_TRACE(exact.name);
        C3DPlane plane;
        ASSERT_TRUE(plane.SetApproximationPlane(MakePoints(exact.points)));
        ExpectParamsNear(PlaneParams(plane), exact.expected, kRounding);
        C3DCoordinate foot;
        for (const C3DVector& point : exact.points) {
            EXPECT_NEAR(plane.GetDistance(C3DCoordinate(point, WorldCoordinateSystem), foot),
                        0.0,
                        kRounding);
        }
    }
}

TEST(C3DPlaneFit, CoordinatePlaneStoresItsAxisCrossing) {
    C3DPlane plane;
    ASSERT_TRUE(plane.SetApproximationPlane(MakePoints(ExactPlanes()[4].points)));  // x = 3
    ExpectVectorNear(plane.GetPoint(), C3DVector(3.0, 0.0, 0.0), kRounding);
    ExpectVectorNear(plane.GetNormalVector(), C3DVector(1.0, 0.0, 0.0), kRounding);
}

TEST(C3DPlaneFit, PointOrderDoesNotChangeThePlane) {
    for (const SExactPlane& exact : ExactPlanes()) {
        SCOPED_TRACE(exact.name);
        std::vector<C3DVector> points = exact.points;
        C3DPlane first;
        ASSERT_TRUE(first.SetApproximationPlane(MakePoints(points)));
        std::reverse(points.begin(), points.end());
        std::rotate(points.begin(), points.begin() + 1, points.end());
        C3DPlane shuffled;
        ASSERT_TRUE(shuffled.SetApproximationPlane(MakePoints(points)));
        ExpectParamsNear(PlaneParams(shuffled), PlaneParams(first), kRounding);
    }
}

TEST(C3DPlaneFit, NoisyThousandPointsRecoverTheNormal) {
    // 1000 points uniform on a 2 m x 2 m square of a randomly turned plane, isotropic noise of
    // sigma = 1 mm. Only the noise along the normal matters; the tilt error about each in-plane
    // axis is about sigma / (sqrt(N) * s) with s = sqrt(1/3) m the rms extent of the square, so
    // 0.001 / (31.6 * 0.577) = 5.5e-5 rad. The total tilt is Rayleigh distributed with that scale;
    // 6 of them (3.3e-4 rad) is exceeded with a probability of 1.5e-8. The offset along the
    // normal errs by about sigma / sqrt(N) = 3.2e-5 m; 6 of them is 1.9e-4 m.
    const double sigma = 0.001;
    const int count = 1000;
    const double tiltBound = 6.0 * sigma / (std::sqrt(count) * std::sqrt(1.0 / 3.0));
    const double offsetBound = 6.0 * sigma / std::sqrt(count);
    std::mt19937_64 generator(20240607);
    std::uniform_real_distribution<double> across(-1.0, 1.0);
    std::normal_distribution<double> noise(0.0, sigma);
    for (int trial = 0; trial < 5; ++trial) {
        SCOPED_TRACE(trial);
        const CRotateMatrix turn = RandomRotation(generator);
        const C3DVector u = turn * C3DVector(1, 0, 0);
        const C3DVector v = turn * C3DVector(0, 1, 0);
        const C3DVector normal = turn * C3DVector(0, 0, 1);
        const C3DVector centre(0.5, -1.0, 2.0);
        C1DArray<C3DCoordinate> points;
        points.SetSize(count);
        for (int i = 0; i < count; ++i) {
            const C3DVector exact = centre + u * across(generator) + v * across(generator);
            points[i] = exact + C3DVector(noise(generator), noise(generator), noise(generator));
        }
        C3DPlane plane;
        ASSERT_TRUE(plane.SetApproximationPlane(points));
        const double cosine = std::fabs(plane.GetNormalVector().GetDotProduct(normal));
        const double tilt =
            std::atan2(plane.GetNormalVector().GetCrossProduct(normal).GetNorm(), cosine);
        EXPECT_LT(tilt, tiltBound);
        C3DCoordinate foot;
        EXPECT_LT(plane.GetDistance(C3DCoordinate(centre, WorldCoordinateSystem), foot),
                  offsetBound);
    }
}

TEST(C3DPlaneFit, RejectedPointListsLeavePlaneAndPolygonUnchanged) {
    const std::vector<std::vector<C3DVector>> rejected = {
        {},
        {{1, 2, 3}},
        {{1, 2, 3}, {4, 5, 6}},
        {{0, 0, 0}, {1, 0, 0}, {0, kNan, 0}},
        {{0, 0, 0}, {1, 0, 0}, {0, 1, kInf}},
        {{0, 0, 0}, {1e200, 0, 0}, {0, 1e200, 0}},  // the scatter matrix overflows
    };
    C3DPlanarPolygon polygon;
    const std::vector<C3DVector> kept = {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
    ASSERT_TRUE(polygon.SetApproximationPlane(MakePoints(kept)));
    for (size_t k = 0; k < rejected.size(); ++k) {
        SCOPED_TRACE(k);
        C3DPlane plane = MarkerPlane();
        EXPECT_FALSE(plane.SetApproximationPlane(MakePoints(rejected[k])));
        ExpectParamsNear(PlaneParams(plane), PlaneParams(MarkerPlane()), 0.0);
        EXPECT_FALSE(polygon.SetApproximationPlane(MakePoints(rejected[k])));
        ExpectParamsNear(PlaneParams(polygon.GetPlane()), {0, 0, 1, -1}, kRounding);
        ASSERT_EQ(polygon.GetVertices().GetSize(), 3);
        ExpectVectorNear(polygon.GetVertices()[2], kept[2], 0.0);
    }
}

TEST(C3DPlaneFit, EigenWorkspaceFailureIsReportedAndChangesNothing) {
    const C1DArray<C3DCoordinate> points = MakePoints(ExactPlanes()[0].points);
    C3DPlane plane = MarkerPlane();
    C3DPlanarPolygon polygon;
    dworkspace_fail_nth(1);
    EXPECT_FALSE(plane.SetApproximationPlane(points));
    dworkspace_fail_nth(1);
    EXPECT_FALSE(polygon.SetApproximationPlane(points));
    dworkspace_fail_nth(0);
    ExpectParamsNear(PlaneParams(plane), PlaneParams(MarkerPlane()), 0.0);
    ExpectParamsNear(PlaneParams(polygon.GetPlane()), {0, 0, 1, 0}, 0.0);
    EXPECT_EQ(polygon.GetVertices().GetSize(), 0);
}

TEST(DFitPlane, FailedFitWritesAllFourCoefficients) {
    const C1DArray<C3DCoordinate> points = MakePoints({{0, 0, 0}, {1, kNan, 0}, {0, 1, 0}});
    double params[4] = {7.0, 7.0, 7.0, 7.0};
    EXPECT_FALSE(dfitplane(points, params));
    for (double value : params) {
        EXPECT_EQ(value, 0.0);
    }
    // Too few points: nothing to write.
    double untouched[4] = {7.0, 7.0, 7.0, 7.0};
    EXPECT_FALSE(dfitplane(MakePoints({{0, 0, 0}, {1, 0, 0}}), untouched));
    EXPECT_EQ(untouched[3], 7.0);
}

TEST(C3DPlaneParams, RoundTripScalesToUnitNormal) {
    struct SCase {
        std::vector<double> given;
        std::vector<double> expected;
        C3DVector point;
    };
    const SCase cases[] = {
        {{2, 0, 0, -4}, {1, 0, 0, -2}, {2, 0, 0}},
        {{0, 2, 0, 6}, {0, 1, 0, 3}, {0, -3, 0}},
        {{0, 0, -4, 8}, {0, 0, -1, 2}, {0, 0, 2}},
        {{0, 3, 4, 10}, {0, 0.6, 0.8, 2}, {0, -10.0 / 3.0, 0}},  // meets y before z
        {{2, 3, 6, -14}, {2.0 / 7, 3.0 / 7, 6.0 / 7, -2}, {7, 0, 0}},
        {{-1, 0, 0, 5}, {-1, 0, 0, 5}, {5, 0, 0}},  // no reorientation here
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.given[3]);
        C3DPlane plane;
        plane.SetPlaneParam(c.given.data());
        ExpectParamsNear(PlaneParams(plane), c.expected, 1e-15);
        ExpectVectorNear(plane.GetPoint(), c.point, 1e-15);
    }
}

TEST(C3DPlaneParams, CoefficientsThatDescribeNoPlaneGiveTheDefaultPlane) {
    const std::vector<std::vector<double>> rejected = {
        {0, 0, 0, 5},
        {0, 0, 0, 0},
        {kNan, 0, 1, 0},
        {0, kInf, 1, 0},
        {0, 0, 1, kNan},
        {1, 0, 0, -kInf},
        {1e-320, 1e-320, 1e-320, 1e300},  // farther away than a double reaches
    };
    for (const std::vector<double>& params : rejected) {
        SCOPED_TRACE(params[0] + params[3]);
        C3DPlane plane = MarkerPlane();
        plane.SetPlaneParam(params.data());
        ExpectParamsNear(PlaneParams(plane), {0, 0, 1, 0}, 0.0);
        ExpectVectorNear(plane.GetPoint(), C3DVector(0, 0, 0), 0.0);
    }
}

TEST(C3DPlaneParams, OverflowingAxisCrossingFallsBackToTheFoot) {
    // Nearly the plane z = 1e10: the x axis is crossed at 1e320, beyond the double range.
    const double params[4] = {1e-310, 0.0, 1.0, -1e10};
    C3DPlane plane;
    plane.SetPlaneParam(params);
    ExpectVectorNear(plane.GetPoint(), C3DVector(0.0, 0.0, 1e10), 1e-299);
    EXPECT_EQ(plane.GetPoint().GetData(2), 1e10);
    ExpectParamsNear(PlaneParams(plane), {1e-310, 0, 1, -1e10}, 0.0);
}

TEST(C3DPlaneDistance, BothSidesGiveThePositiveDistanceAndTheSameFoot) {
    struct SCase {
        std::vector<double> params;
        C3DVector onPlane;
        C3DVector unitNormal;
    };
    const SCase cases[] = {
        {{1, 0, 0, -2}, {2, 1, 1}, {1, 0, 0}},
        {{2, 3, 6, -14}, {1, 0, 2}, C3DVector(2, 3, 6) / 7.0},
    };
    for (const SCase& c : cases) {
        C3DPlane plane;
        plane.SetPlaneParam(c.params.data());
        for (double offset : {3.0, -3.0, 0.0}) {
            SCOPED_TRACE(offset);
            const C3DCoordinate point(c.onPlane + c.unitNormal * offset, WorldCoordinateSystem);
            C3DCoordinate foot(9, 9, 9, CameraCoordinateSystem);
            EXPECT_NEAR(plane.GetDistance(point, foot), std::fabs(offset), 1e-14);
            ExpectVectorNear(foot, c.onPlane, 1e-14);
            EXPECT_EQ(foot.GetCoordinateSystem(), CameraCoordinateSystem);
        }
    }
}

TEST(DLinePlaneAngle, ParallelAndPerpendicularPairsWithTheFixedFactor) {
    const double along[3] = {0.0, 0.0, 1.0};
    const double inPlane[3] = {1.0, 0.0, 0.0};
    const double atSixty[3] = {std::sqrt(3.0) / 2.0, 0.0, 0.5};  // 60 degrees from the normal
    const double normal[3] = {0.0, 0.0, 1.0};
    EXPECT_EQ(dline_plane_angle(along, normal), 90.0);
    // pi / 2 in degrees with 180 / 3.14159267 falls short of 90 by 90 (1 - pi / 3.14159267).
    const double pi = 3.14159265358979323846;
    const double shortfall = 90.0 * (1.0 - pi / 3.14159267);
    EXPECT_NEAR(dline_plane_angle(inPlane, normal), shortfall, 1e-12);
    EXPECT_GT(dline_plane_angle(inPlane, normal), 4.6e-7);
    EXPECT_NEAR(dline_plane_angle(atSixty, normal), 30.0, 1e-6);
}

TEST(DLinePlaneAngle, RoundingPastUnitCosineStillGivesNinety) {
    // (1, 1, 1) against itself: 3 / (sqrt(3) * sqrt(3)) rounds to 1 + 2^-52, outside acos' domain.
    const double diagonal[3] = {1.0, 1.0, 1.0};
    const double reversed[3] = {-1.0, -1.0, -1.0};
    EXPECT_NEAR(dline_plane_angle(diagonal, diagonal), 90.0, 1e-12);
    EXPECT_NEAR(dline_plane_angle(reversed, diagonal), 90.0, 1e-5);
    const double zero[3] = {0.0, 0.0, 0.0};
    EXPECT_TRUE(std::isnan(dline_plane_angle(zero, diagonal)));
}

TEST(C3DPlanarPolygon, KeepsVerticesAsGivenAndCopies) {
    // Not coplanar: the vertices must come back unprojected and in the caller's order.
    const std::vector<C3DVector> given = {{0, 0, 0.1}, {2, 0, -0.1}, {2, 1, 0.1}, {0, 1, -0.1}};
    C1DArray<C3DCoordinate> points = MakePoints(given);
    C3DPlanarPolygon polygon;
    ASSERT_TRUE(polygon.SetApproximationPlane(points));
    ExpectParamsNear(PlaneParams(polygon.GetPlane()), {0, 0, 1, 0}, kRounding);
    const C3DPlanarPolygon copy(polygon);
    const C3DPlanarPolygon* const both[] = {&polygon, &copy};
    for (const C3DPlanarPolygon* p : both) {
        ASSERT_EQ(p->GetVertices().GetSize(), 4);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            ExpectVectorNear(p->GetVertices()[i], given[static_cast<size_t>(i)], 0.0);
        }
    }
    C3DPlanarPolygon assigned;
    assigned = polygon;
    ASSERT_EQ(assigned.GetVertices().GetSize(), 4);
    ExpectVectorNear(assigned.GetVertices()[1], given[1], 0.0);
}

}  // namespace
