#include "polyview/camera/camera.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/intrinsic_param.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/shapes3d/point3d.h"
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

TEST(CCamera, LensMapsObservedPixelsToIdealOnesAndBack) {
    EXPECT_TRUE(CCamera().GetLensModel().IsNone());
    // The chessboard calibration's lens (OpenCV, k1 k2 p1 p2 k3) on an unrotated camera.
    const double k[5] = {-0.26637, -0.038589, 0.0017832, -0.00028122, 0.23839};
    CLensModel lens;
    ASSERT_TRUE(CLensModel::CreateOpenCV(535.9, 535.9, 0, 342.3, 235.6, k, 5, lens));
    CCamera camera(CCamera::IdealPinholeFor(lens, CExtrinsicParam()), 640, 480);
    camera.SetLensModel(lens);
    const CCamera copy = camera;
    EXPECT_EQ(copy.GetLensModel().GetKind(), CLensModel::EKind::kRadialTangential);
    // (0.3, -0.2, 1.5) is normalised (0.2, -0.4/3): ideal pixel 535.9 (0.2, -0.4/3) + (cx, cy).
    const C3DVector world(0.3, -0.2, 1.5);
    C2DCoordinate ideal;
    C2DCoordinate observed;
    C2DCoordinate distorted;
    ASSERT_TRUE(copy.ProjectIdeal(world, ideal));
    ExpectVectorNear(ideal, C2DVector(342.3 + 107.18, 235.6 - 535.9 * 0.4 / 3), 1e-12);
    ASSERT_TRUE(copy.Project(world, observed));
    ASSERT_TRUE(lens.Distort(C2DCoordinate(0.2, -0.4 / 3), distorted));
    ExpectVectorNear(observed, distorted, 1e-12);
    C2DCoordinate back;
    ASSERT_TRUE(copy.ToIdealPixel(observed, back));
    ExpectVectorNear(back, ideal, 1e-9);
    // Beyond the fold of r (1 - 0.1 r^2), at r^2 = 10/3, an ideal pixel has no observed one.
    std::string reason;
    ASSERT_TRUE(CLensModel::CreateColmap("SIMPLE_RADIAL", {500, 320, 240, -0.1}, lens, reason));
    camera.SetLensModel(lens);
    camera.SetCameraParam(CCamera::IdealPinholeFor(lens, CExtrinsicParam()));
    for (const double r : {1.8, 1.9}) {
        observed.SetVector(-1, -1);
        EXPECT_EQ(camera.FromIdealPixel(C2DCoordinate(320 + 500 * r, 240), observed), r < 1.8258);
        EXPECT_EQ(observed.GetData(0) == -1, r > 1.8258);
    }
}

// A lens with non-square pixels (COLMAP's PINHOLE, fx != fy) reconstructs the point that the
// camera resampled to square pixels (rows stretched by fx / fy about cy) does, and the true one.
TEST(CCamera, NonSquarePixelsReconstructAsSquareOnes) {
    const double fx = 1200.0;
    const double fy = 1100.0;
    CLensModel lens;
    std::string reason;
    ASSERT_TRUE(CLensModel::CreateColmap("PINHOLE", {fx, fy, 640, 360}, lens, reason));
    const C3DVector truth(0.2, -0.1, 0.3);
    C1DArray<SImagePoint> withLens;
    C1DArray<SImagePoint> resampled;
    withLens.SetSize(2);
    resampled.SetSize(2);
    for (int i = 0; i < 2; ++i) {
        CCamera look;
        ASSERT_TRUE(LookAt(C3DVector(4.0 * i - 2.0, -5.0, 1.0), C3DVector(0, 0, 0), 10, look));
        const CExtrinsicParam& pose = look.GetCameraParam().GetExtrinsicParam();
        const C3DVector inCam = pose.GetRotateMatrix() * truth + pose.GetTranslateVector();
        const double x = inCam.GetData(0) / inCam.GetData(2);
        const double y = inCam.GetData(1) / inCam.GetData(2);
        const C2DCoordinate observed(fx * x + 640, fy * y + 360);
        CCamera camera(CCamera::IdealPinholeFor(lens, pose), 1280, 720);
        camera.SetLensModel(lens);
        withLens[i].cameraParam = camera.GetCameraParam();
        ASSERT_TRUE(camera.ToIdealPixel(observed, withLens[i].imagePoint));
        resampled[i].cameraParam = camera.GetCameraParam();
        resampled[i].imagePoint.SetVector(observed.GetData(0),
                                          360 + (observed.GetData(1) - 360) * fx / fy);
    }
    C3DPoint a;
    C3DPoint b;
    ASSERT_TRUE(a.CreateFromImagePoints(withLens));
    ASSERT_TRUE(b.CreateFromImagePoints(resampled));
    ExpectVectorNear(a.GetPoint(), b.GetPoint(), 1e-9 * truth.GetNorm());
    ExpectVectorNear(a.GetPoint(), truth, 1e-9 * truth.GetNorm());
}

}  // namespace
