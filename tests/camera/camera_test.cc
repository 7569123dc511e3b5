#include "polyview/camera/camera.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/intrinsic_param.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/rotate_vector.h"
#include "support/expect_geometry.h"

namespace {

// CreateLookAt with up +z, focal length 1000, principal point (0, 0) and an n x n image.
bool LookAt(const C3DVector& c, const C3DVector& t, int n, CCamera& out) {
    return CCamera::CreateLookAt(c, t, C3DVector(0, 0, 1), 1e3, C2DCoordinate(0, 0), n, n, out);
}

// A camera of focal length 1 and a 1 x 1 image with the given pose.
CCamera Posed(const CRotateMatrix& camFromWorld, const C3DVector& translation) {
    return CCamera(CCameraParam(CIntrinsicParam(1.0, C2DCoordinate(0, 0)),
                                CExtrinsicParam(camFromWorld, translation)),
                   1,
                   1);
}

TEST(CCamera, LookAtSeesItsTargetAtThePrincipalPointAndKeepsItsCentre) {
    CCamera camera;
    const C3DVector centre(4.0, -3.0, 2.0);
    const C3DVector target(0.0, 0.0, 0.5);
    ASSERT_TRUE(CCamera::CreateLookAt(
        centre, target, C3DVector(0, 0, 1), 1500.0, C2DCoordinate(960, 540), 1920, 1080, camera));
    EXPECT_TRUE(camera.HasValidPose());
    ExpectVectorNear(camera.GetCentre(), centre, 1e-14);
    C2DCoordinate pixel;
    ASSERT_TRUE(camera.Project(target, pixel));
    ExpectVectorNear(pixel, C2DVector(960, 540), 1e-9);
    // Up is up in the picture: a point above the target images above the principal point.
    ASSERT_TRUE(camera.Project(target + C3DVector(0, 0, 0.1), pixel));
    EXPECT_LT(pixel.GetData(1), 540.0);
    EXPECT_TRUE(camera.Contains(pixel));
    EXPECT_FALSE(camera.Contains(C2DCoordinate(1920.5, 10)));
    // Behind the camera: no pixel, the output untouched.
    pixel.SetVector(7, 8);
    EXPECT_FALSE(camera.Project(centre * 2.0 - target, pixel));
    ExpectVectorNear(pixel, C2DVector(7, 8), 0.0);
    // Looking straight down along -up still gives a camera.
    EXPECT_TRUE(LookAt(C3DVector(0, 0, 5), C3DVector(0, 0, 0), 0, camera));
}

TEST(CCamera, RefusesWhatIsNoCamera) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    CCamera camera;
    EXPECT_FALSE(LookAt(C3DVector(1, 1, 1), C3DVector(1, 1, 1), 10, camera));
    EXPECT_FALSE(LookAt(C3DVector(nan, 1, 1), C3DVector(0, 0, 0), 10, camera));
    EXPECT_EQ(camera.GetWidth(), 0);  // untouched
    // A rotation vector of 1e200 rad gives no finite centre.
    const CRotateMatrix spun = CRotateVector(C3DVector(1e200, 0, 0)).GetRotateMatrix();
    EXPECT_FALSE(Posed(spun, C3DVector(0, 0, 1)).HasValidPose());
    C2DCoordinate ideal;
    EXPECT_FALSE(camera.ToIdealPixel(C2DCoordinate(nan, 0), ideal));
}

TEST(CCamera, RotationDeviationAtTheTolerance) {
    // diag(1 + e, 1, 1): R R^T - I has (2e + e^2) on the diagonal, det R - 1 is e.
    for (const double e : {0.4e-5, 0.6e-5}) {
        const double r[9] = {1 + e, 0, 0, 0, 1, 0, 0, 0, 1};
        const double deviation = CCamera::GetRotationDeviation(r);
        EXPECT_NEAR(deviation, 2 * e + e * e, 1e-15);
        const CRotateMatrix rotation(C33Matrix(1 + e, 0, 0, 0, 1, 0, 0, 0, 1));
        EXPECT_EQ(Posed(rotation, C3DVector(0, 0, 0)).HasValidPose(),
                  deviation <= CCamera::kRotationTolerance);
    }
    const double infinite[9] = {std::numeric_limits<double>::infinity(), 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_TRUE(std::isinf(CCamera::GetRotationDeviation(infinite)));
}

}  // namespace
