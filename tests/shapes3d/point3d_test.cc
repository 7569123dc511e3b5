#include "polyview/shapes3d/point3d.h"

#include <gtest/gtest.h>

#include "support/camera_rig.h"
#include "support/expect_geometry.h"
#include "support/numeric_allocation_sweep.h"

namespace {

const C3DCoordinate kUntouched(-7.0, 8.0, -9.0);

SImagePoint Observation(const CCameraParam& camera, double u, double v) {
    return {camera, C2DCoordinate(u, v)};
}

// An unrotated camera with focal length 1 and principal point (0, 0) centred at (x, y, z).
CCameraParam Unrotated(double x, double y, double z) {
    return CCameraParam(CIntrinsicParam(1.0, C2DCoordinate(0.0, 0.0)),
                        CExtrinsicParam(CRotateMatrix(), C3DVector(-x, -y, -z)));
}

CCameraParam SimpleCamera() {
    return CCameraParam(CIntrinsicParam(1000.0, C2DCoordinate(320.0, 240.0)), CExtrinsicParam());
}

TEST(C3DPointReproject, WorkedExampleResidualAndStrictlyPositiveDepth) {
    const C3DPoint point(C3DCoordinate(0.1, -0.2, 2.0));
    C2DCoordinate image;
    const C2DCoordinate observed[2] = {C2DCoordinate(373.0, 144.0), C2DCoordinate(370.0, 140.0)};
    for (const double distance : {5.0, 0.0}) {
        double residual = -1.0;
        ASSERT_TRUE(point.Reproject(SimpleCamera(), image, &observed[distance == 0.0], &residual));
        ExpectVectorNear(image, C2DVector(370.0, 140.0), 1e-12);
        EXPECT_NEAR(residual, distance, 1e-12);
    }
    // The residual needs both the observation and the place for it.
    double residual = 42.0;
    EXPECT_TRUE(point.Reproject(SimpleCamera(), image, &observed[0], nullptr));
    EXPECT_TRUE(point.Reproject(SimpleCamera(), image, nullptr, &residual));
    EXPECT_EQ(residual, 42.0);
    // A NaN observation makes the residual NaN: failure, with both outputs written.
    const C2DCoordinate bad(std::numeric_limits<double>::quiet_NaN(), 0.0);
    EXPECT_FALSE(point.Reproject(SimpleCamera(), image, &bad, &residual));
    ExpectVectorNear(image, C2DVector(370.0, 140.0), 1e-12);
    // The depth must be strictly positive; a refused point writes neither output.
    for (const double depth : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(depth);
        residual = 42.0;
        const C3DPoint unseen(C3DCoordinate(0.1, 0.1, depth));
        EXPECT_FALSE(unseen.Reproject(SimpleCamera(), image, observed, &residual));
        ExpectVectorNear(image, C2DVector(370.0, 140.0), 1e-12);
        EXPECT_EQ(residual, 42.0);
    }
    EXPECT_TRUE(
        C3DPoint(C3DCoordinate(0, 0, 1e-300)).Reproject(SimpleCamera(), image, nullptr, nullptr));
}

TEST(C3DPointTags, AssignmentKeepsTagCopyConstructionCopiesIt) {
    const C3DPoint source(C3DCoordinate(1.0, 2.0, 3.0, CameraCoordinateSystem));
    C3DPoint assigned;
    assigned = source;
    EXPECT_EQ(assigned.GetPoint().GetCoordinateSystem(), WorldCoordinateSystem);
    EXPECT_EQ(assigned.GetPoint().GetData(2), 3.0);
    const C3DPoint copied(source);
    EXPECT_EQ(copied.GetPoint().GetCoordinateSystem(), CameraCoordinateSystem);
}

TEST(C3DPointTransform, MapsAndRejectsZeroScale) {
    C3DPoint point(C3DCoordinate(1.0, 0.0, 0.0));
    const CRotateMatrix quarterAboutZ(C33Matrix(0, -1, 0, 1, 0, 0, 0, 0, 1));
    for (const double scale : {0.0, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_FALSE(point.Transform(quarterAboutZ, C3DVector(0, 0, 0), scale));
        ExpectVectorNear(point.GetPoint(), C3DVector(1.0, 0.0, 0.0), 0.0);
    }
    ASSERT_TRUE(point.Transform(quarterAboutZ, C3DVector(0.0, 0.0, 4.0), 2.0));
    ExpectVectorNear(point.GetPoint(), C3DVector(0.0, 0.5, 2.0), 1e-15);
    point.Initialize();
    ExpectVectorNear(point.GetPoint(), C3DVector(0.0, 0.0, 0.0), 0.0);
}

TEST(C3DPointCreateFromImagePoints, ExactRaysFromManyCamerasGiveTheTruePoint) {
    std::mt19937_64 generator(101);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const auto random = [&](double scale) {
        return C3DVector(uniform(generator), uniform(generator), uniform(generator)) * scale;
    };
    for (int cameras : {2, 3, 50}) {
        for (int trial = 0; trial < 10; ++trial) {
            SCOPED_TRACE(testing::Message() << cameras << " cameras, trial " << trial);
            const double scale = std::pow(10.0, trial % 5 - 2);  // scenes from 0.01 to 100 wide
            const C3DVector target = random(scale);
            std::vector<SImagePoint> observations;
            for (int k = 0; k < cameras; ++k) {
                // Centres spread on a sphere around the target, looking near it.
                const C3DVector centre = target + random(1.0).GetNormalizedVector() * (5.0 * scale);
                const CCameraParam camera = LookAtCamera(
                    centre, target + random(0.1 * scale), 800.0, 320.0 + 10.0 * k, 240.0 - 5.0 * k);
                const C2DCoordinate image = ProjectPoint(camera, target);
                observations.push_back(Observation(camera, image.GetData(0), image.GetData(1)));
            }
            C3DPoint point(kUntouched);
            ASSERT_TRUE(point.CreateFromImagePoints(ToArray(observations)));
            ExpectVectorNear(point.GetPoint(), target, 1e-9 * (target.GetNorm() + 5.0 * scale));
        }
    }
}

// Centres (0, 0, 0) and (tan(phi), 0, 0) seeing (0, 0, 1): the rays meet at the angle phi. The
// summed projector has singular values 2, 1 + cos(phi), 1 - cos(phi), so the tested quotient is
// cot(phi / 2)^2, 500000 at phi of about 2.828e-3.
std::vector<SImagePoint> RaysAtAngle(double phi) {
    const double b = std::tan(phi);
    return {Observation(Unrotated(0, 0, 0), 0, 0), Observation(Unrotated(b, 0, 0), -b, 0)};
}

TEST(C3DPointCreateFromImagePoints, HandWorkedRaysConditioningLimitAndRefusals) {
    const CCameraParam alongX = LookAtCamera(C3DVector(-5, 0, 0), C3DVector(0, 0, 0), 500.0);
    const CCameraParam alongY = LookAtCamera(C3DVector(0, -5, 1), C3DVector(0, 0, 1), 500.0);
    const SImagePoint ahead = Observation(Unrotated(0, 0, 0), 0.1, 0.2);
    const SImagePoint onAxis = Observation(Unrotated(0, 0, 0), 0, 0);
    const C3DVector refused(kUntouched);
    const double kMax = std::numeric_limits<double>::max();
    const struct {
        std::vector<SImagePoint> observations;
        C3DVector expected;  // refused: the point left alone
        const char* what;
    } cases[] = {
        {{onAxis, Observation(Unrotated(1, 0, 0), -0.5, 0)}, {0, 0, 2}, "meeting at z = 2"},
        // Ray 1 the x axis, ray 2 the line (0, s, 1): the common perpendicular joins (0, 0, 0)
        // and (0, 0, 1).
        {{Observation(alongX, 0, 0), Observation(alongY, 0, 0)}, {0, 0, 0.5}, "skew rays"},
        {RaysAtAngle(3.0e-3), {0, 0, 1}, "phi 3e-3: quotient about 444000"},
        {RaysAtAngle(2.7e-3), refused, "phi 2.7e-3: quotient about 549000"},
        {RaysAtAngle(1e-5), refused, "phi 1e-5"},
        {{}, refused, "no observations"},
        {{ahead}, refused, "one observation"},
        {{onAxis, Observation(Unrotated(1, 0, 0), 0, 0)}, refused, "parallel rays"},
        {{ahead, Observation(Unrotated(1, 0, 0), std::nan(""), 0.0)}, refused, "a NaN pick"},
        // A fuzz finding: the z axis and a ray at 45 degrees from (-DBL_MAX, 0, DBL_MAX).
        {{onAxis, Observation(Unrotated(-kMax, 0, kMax), 1, 0)}, refused, "meeting at 2 DBL_MAX"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool passes = c.expected.GetData(0) != refused.GetData(0);
        C3DPoint point(kUntouched);
        EXPECT_EQ(point.CreateFromImagePoints(ToArray(c.observations)), passes);
        ExpectVectorNear(point.GetPoint(), c.expected, passes ? 1e-9 : 0.0);
    }
}

TEST(C3DPointCreateFromImagePoints, TakesNoWorkStorageFromTheHeap) {
    const C1DArray<SImagePoint> points = ToArray({Observation(Unrotated(0, 0, 0), 0.0, 0.0),
                                                  Observation(Unrotated(1, 0, 0), -0.5, 0.0),
                                                  Observation(Unrotated(0, 1, 0), 0.0, -0.5)});
    const int allocations = SweepAllocationFailures("CreateFromImagePoints", [&points] {
        C3DPoint point(kUntouched);
        const bool ok = point.CreateFromImagePoints(points);
        ExpectVectorNear(point.GetPoint(), C3DVector(0.0, 0.0, 2.0), 1e-14);
        return ok;
    });
    EXPECT_EQ(allocations, 0);
}

}  // namespace
