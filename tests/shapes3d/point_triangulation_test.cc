#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/shapes3d/point3d.h"
#include "support/camera_rig.h"
#include "support/expect_geometry.h"
#include "support/numeric_allocation_sweep.h"

namespace {

const C3DCoordinate kUntouched(-7.0, 8.0, -9.0);

SImagePoint Observe(const CCameraParam& camera, const C3DVector& pointInWorld) {
    SImagePoint observation;
    observation.cameraParam = camera;
    observation.imagePoint = ProjectPoint(camera, pointInWorld);
    return observation;
}

SImagePoint Observation(const CCameraParam& camera, double u, double v) {
    SImagePoint observation;
    observation.cameraParam = camera;
    observation.imagePoint = C2DCoordinate(u, v);
    return observation;
}

// An unrotated camera with focal length 1 and principal point (0, 0) centred at centreInWorld.
CCameraParam UnrotatedCamera(const C3DVector& centreInWorld) {
    return CCameraParam(CIntrinsicParam(1.0, C2DCoordinate(0.0, 0.0)),
                        CExtrinsicParam(CRotateMatrix(), centreInWorld * -1.0));
}

C1DArray<SImagePoint> ToArray(const std::vector<SImagePoint>& observations) {
    C1DArray<SImagePoint> array;
    array.SetSize(static_cast<int>(observations.size()));
    for (int i = 0; i < array.GetSize(); ++i) {
        array[i] = observations[static_cast<size_t>(i)];
    }
    return array;
}

TEST(C3DPointCreateFromImagePoints, TwoUnrotatedCamerasMeetOnTheAxis) {
    // Centres (0, 0, 0) and (1, 0, 0) seeing (0, 0) and (-0.5, 0): the rays meet at (0, 0, 2).
    const C1DArray<SImagePoint> points =
        ToArray({Observation(UnrotatedCamera(C3DVector(0, 0, 0)), 0.0, 0.0),
                 Observation(UnrotatedCamera(C3DVector(1, 0, 0)), -0.5, 0.0)});
    C3DPoint point(kUntouched);
    ASSERT_TRUE(point.CreateFromImagePoints(points));
    ExpectVectorNear(point.GetPoint(), C3DVector(0.0, 0.0, 2.0), 1e-14);
}

TEST(C3DPointCreateFromImagePoints, ExactRaysFromManyCamerasGiveTheTruePoint) {
    std::mt19937_64 generator(101);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int cameras : {2, 3, 50}) {
        for (int trial = 0; trial < 10; ++trial) {
            SCOPED_TRACE(testing::Message() << cameras << " cameras, trial " << trial);
            const double scale = std::pow(10.0, trial % 5 - 2);  // scenes from 0.01 to 100 wide
            const C3DVector target(
                uniform(generator) * scale, uniform(generator) * scale, uniform(generator) * scale);
            std::vector<SImagePoint> observations;
            for (int k = 0; k < cameras; ++k) {
                // Centres spread on a sphere around the target, looking near it.
                C3DVector direction(uniform(generator), uniform(generator), uniform(generator));
                direction = direction.GetNormalizedVector();
                const C3DVector centre = target + direction * (5.0 * scale);
                const C3DVector aim(uniform(generator) * 0.1 * scale,
                                    uniform(generator) * 0.1 * scale,
                                    uniform(generator) * 0.1 * scale);
                const CCameraParam camera =
                    LookAtCamera(centre, target + aim, 800.0, 320.0 + 10.0 * k, 240.0 - 5.0 * k);
                observations.push_back(Observe(camera, target));
            }
            C3DPoint point(kUntouched);
            ASSERT_TRUE(point.CreateFromImagePoints(ToArray(observations)));
            const double tolerance = 1e-9 * (target.GetNorm() + 5.0 * scale);
            ExpectVectorNear(point.GetPoint(), target, tolerance);
            // Reprojection closes the loop.
            C2DCoordinate reprojected;
            double residual = -1.0;
            ASSERT_TRUE(point.Reproject(
                observations[0].cameraParam, reprojected, &observations[0].imagePoint, &residual));
            EXPECT_LT(residual, 1e-6);  // pixels at f = 800
        }
    }
}

TEST(C3DPointCreateFromImagePoints, SkewRaysGiveMidpointOfCommonPerpendicular) {
    // Ray 1 is the x axis, ray 2 the line (0, s, 1): the common perpendicular joins (0, 0, 0)
    // and (0, 0, 1).
    const CCameraParam alongX = LookAtCamera(C3DVector(-5, 0, 0), C3DVector(0, 0, 0), 500.0);
    const CCameraParam alongY = LookAtCamera(C3DVector(0, -5, 1), C3DVector(0, 0, 1), 500.0);
    const C1DArray<SImagePoint> points =
        ToArray({Observation(alongX, 0.0, 0.0), Observation(alongY, 0.0, 0.0)});
    C3DPoint point(kUntouched);
    ASSERT_TRUE(point.CreateFromImagePoints(points));
    ExpectVectorNear(point.GetPoint(), C3DVector(0.0, 0.0, 0.5), 1e-13);
}

TEST(C3DPointCreateFromImagePoints, TwoRaysFromOneCentreGiveTheCentre) {
    const CCameraParam camera = LookAtCamera(C3DVector(1, 2, 3), C3DVector(4, 0, 0), 300.0);
    const C1DArray<SImagePoint> points =
        ToArray({Observation(camera, 10.0, -20.0), Observation(camera, -40.0, 5.0)});
    C3DPoint point(kUntouched);
    ASSERT_TRUE(point.CreateFromImagePoints(points));
    ExpectVectorNear(point.GetPoint(), C3DVector(1.0, 2.0, 3.0), 1e-12);
}

TEST(C3DPointCreateFromImagePoints, ConditioningLimitOnTheAngleBetweenRays) {
    // Centres (0, 0, 0) and (b, 0, 0) seeing (0, 0, 1): the rays meet at an angle phi with
    // tan(phi) = b. The summed projector has singular values 2, 1 + cos(phi), 1 - cos(phi), so
    // the tested quotient is cot(phi / 2)^2, 500000 at phi of about 2.828e-3.
    const double passing[] = {3.0e-3, 0.1, 1.0};  // quotients about 444000 and below
    for (double phi : passing) {
        SCOPED_TRACE(phi);
        const double b = std::tan(phi);
        const C1DArray<SImagePoint> points =
            ToArray({Observation(UnrotatedCamera(C3DVector(0, 0, 0)), 0.0, 0.0),
                     Observation(UnrotatedCamera(C3DVector(b, 0, 0)), -b, 0.0)});
        C3DPoint point(kUntouched);
        ASSERT_TRUE(point.CreateFromImagePoints(points));
        ExpectVectorNear(point.GetPoint(), C3DVector(0.0, 0.0, 1.0), 1e-9);
    }
    const double failing[] = {2.7e-3, 1e-5, 0.0};  // about 549000, then parallel rays
    for (double phi : failing) {
        SCOPED_TRACE(phi);
        const double b = phi == 0.0 ? 1.0 : std::tan(phi);
        const double u = phi == 0.0 ? 0.0 : -b;  // phi 0: both rays straight ahead
        const C1DArray<SImagePoint> points =
            ToArray({Observation(UnrotatedCamera(C3DVector(0, 0, 0)), 0.0, 0.0),
                     Observation(UnrotatedCamera(C3DVector(b, 0, 0)), u, 0.0)});
        C3DPoint point(kUntouched);
        EXPECT_FALSE(point.CreateFromImagePoints(points));
        ExpectVectorNear(point.GetPoint(), kUntouched, 0.0);
    }
}

TEST(C3DPointCreateFromImagePoints, TooFewObservationsLeaveThePoint) {
    const CCameraParam camera = UnrotatedCamera(C3DVector(0, 0, 0));
    for (int count : {0, 1}) {
        SCOPED_TRACE(count);
        std::vector<SImagePoint> observations(static_cast<size_t>(count),
                                              Observation(camera, 0.1, 0.2));
        C3DPoint point(kUntouched);
        EXPECT_FALSE(point.CreateFromImagePoints(ToArray(observations)));
        ExpectVectorNear(point.GetPoint(), kUntouched, 0.0);
    }
}

TEST(C3DPointCreateFromImagePoints, FailsCleanlyWhenWorkStorageIsRefused) {
    const C1DArray<SImagePoint> points =
        ToArray({Observation(UnrotatedCamera(C3DVector(0, 0, 0)), 0.0, 0.0),
                 Observation(UnrotatedCamera(C3DVector(1, 0, 0)), -0.5, 0.0),
                 Observation(UnrotatedCamera(C3DVector(0, 1, 0)), 0.0, -0.5)});
    const int allocations = SweepAllocationFailures("CreateFromImagePoints", [&points] {
        C3DPoint point(kUntouched);
        const bool ok = point.CreateFromImagePoints(points);
        if (ok) {
            ExpectVectorNear(point.GetPoint(), C3DVector(0.0, 0.0, 2.0), 1e-14);
        } else {
            ExpectVectorNear(point.GetPoint(), kUntouched, 0.0);
        }
        return ok;
    });
    EXPECT_GE(allocations, 4);  // at least the four flattened arrays
}

}  // namespace
