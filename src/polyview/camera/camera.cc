#include "polyview/camera/camera.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/intrinsic_param.h"
#include "polyview/foundations/rotate_matrix.h"

namespace {

bool IsFinite(const C3DVector& v) {
    return std::isfinite(v.GetData(0)) && std::isfinite(v.GetData(1)) &&
           std::isfinite(v.GetData(2));
}

}  // namespace

CCamera::CCamera() : m_pinhole(), m_lens(), m_width(0), m_height(0) {}

CCamera::CCamera(const CCameraParam& pinhole, int width, int height)
    : m_pinhole(pinhole), m_lens(), m_width(std::max(width, 0)), m_height(std::max(height, 0)) {}

CCamera::CCamera(const CCamera& other) = default;
CCamera& CCamera::operator=(const CCamera& other) = default;
CCamera::~CCamera() = default;

// Rows of camFromWorld are the camera axes in world coordinates: z towards the target, x = z x up
// (to the right in the picture), y = z x x (down in the picture).
bool CCamera::CreateLookAt(const C3DVector& centre,
                           const C3DVector& target,
                           const C3DVector& up,
                           double focalLength,
                           const C2DCoordinate& principalPoint,
                           int width,
                           int height,
                           CCamera& camera) {
    if (!IsFinite(centre) || !IsFinite(target) || !IsFinite(up) || !std::isfinite(focalLength) ||
        !std::isfinite(principalPoint.GetData(0)) || !std::isfinite(principalPoint.GetData(1))) {
        return false;
    }
    const C3DVector view = target - centre;
    if (!(view.GetNorm() > 0.0)) {
        return false;
    }
    const C3DVector zAxis = view.GetNormalizedVector();
    C3DVector xAxis = zAxis.GetCrossProduct(up);
    if (xAxis.GetNorm() < 1e-9) {
        xAxis = zAxis.GetCrossProduct(C3DVector(0.0, 1.0, 0.0));
        if (xAxis.GetNorm() < 1e-9) {
            xAxis = zAxis.GetCrossProduct(C3DVector(1.0, 0.0, 0.0));
        }
    }
    xAxis = xAxis.GetNormalizedVector();
    const C3DVector yAxis = zAxis.GetCrossProduct(xAxis);
    const CRotateMatrix camFromWorld(C33Matrix(xAxis.GetData(0),
                                               xAxis.GetData(1),
                                               xAxis.GetData(2),
                                               yAxis.GetData(0),
                                               yAxis.GetData(1),
                                               yAxis.GetData(2),
                                               zAxis.GetData(0),
                                               zAxis.GetData(1),
                                               zAxis.GetData(2)));
    const C3DVector translation = (camFromWorld * centre) * -1.0;
    const CCamera made(CCameraParam(CIntrinsicParam(focalLength, principalPoint),
                                    CExtrinsicParam(camFromWorld, translation)),
                       width,
                       height);
    if (!made.HasValidPose()) {
        return false;
    }
    camera = made;
    return true;
}

void CCamera::SetImageSize(int width, int height) {
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
}

CCameraParam CCamera::IdealPinholeFor(const CLensModel& lens, const CExtrinsicParam& pose) {
    double fx = 0.0;
    double fy = 0.0;
    double skew = 0.0;
    double cx = 0.0;
    double cy = 0.0;
    lens.GetIntrinsics(fx, fy, skew, cx, cy);
    return CCameraParam(CIntrinsicParam(fx, C2DCoordinate(cx, cy)), pose);
}

C3DVector CCamera::GetCentre() const {
    const CExtrinsicParam& pose = m_pinhole.GetExtrinsicParam();
    return (pose.GetRotateMatrix().GetTransposedMatrix() * pose.GetTranslateVector()) * -1.0;
}

bool CCamera::ProjectIdeal(const C3DVector& world, C2DCoordinate& image) const {
    const CExtrinsicParam& pose = m_pinhole.GetExtrinsicParam();
    const C3DVector inCam = pose.GetRotateMatrix() * world + pose.GetTranslateVector();
    const double z = inCam.GetData(2);
    if (!(z > 0.0)) {
        return false;
    }
    const double f = m_pinhole.GetIntrinsicParam().GetFocalLengthParam();
    const C2DCoordinate principal = m_pinhole.GetIntrinsicParam().GetPrincipalPointParam();
    const double x = f * inCam.GetData(0) / z + principal.GetData(0);
    const double y = f * inCam.GetData(1) / z + principal.GetData(1);
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return false;
    }
    image.SetVector(x, y);
    return true;
}

bool CCamera::Project(const C3DVector& world, C2DCoordinate& image) const {
    C2DCoordinate ideal;
    if (!ProjectIdeal(world, ideal)) {
        return false;
    }
    return FromIdealPixel(ideal, image);
}

bool CCamera::ToIdealPixel(const C2DCoordinate& observed, C2DCoordinate& ideal) const {
    double x = observed.GetData(0);
    double y = observed.GetData(1);
    if (!m_lens.IsNone()) {
        C2DCoordinate normalised;
        if (!m_lens.Undistort(observed, normalised)) {
            return false;
        }
        const CIntrinsicParam& intrinsic = m_pinhole.GetIntrinsicParam();
        const double f = intrinsic.GetFocalLengthParam();
        const C2DCoordinate principal = intrinsic.GetPrincipalPointParam();
        x = f * normalised.GetData(0) + principal.GetData(0);
        y = f * normalised.GetData(1) + principal.GetData(1);
    }
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return false;
    }
    ideal.SetVector(x, y);
    return true;
}

bool CCamera::FromIdealPixel(const C2DCoordinate& ideal, C2DCoordinate& observed) const {
    double x = ideal.GetData(0);
    double y = ideal.GetData(1);
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return false;
    }
    if (!m_lens.IsNone()) {
        const CIntrinsicParam& intrinsic = m_pinhole.GetIntrinsicParam();
        const double f = intrinsic.GetFocalLengthParam();
        const C2DCoordinate principal = intrinsic.GetPrincipalPointParam();
        const C2DCoordinate normalised((x - principal.GetData(0)) / f,
                                       (y - principal.GetData(1)) / f);
        C2DCoordinate distorted;
        if (!m_lens.Distort(normalised, distorted)) {
            return false;  // not finite (f = 0 too), or beyond the fold radius
        }
        x = distorted.GetData(0);
        y = distorted.GetData(1);
    }
    observed.SetVector(x, y);
    return true;
}

bool CCamera::Contains(const C2DCoordinate& pixel) const {
    const double x = pixel.GetData(0);
    const double y = pixel.GetData(1);
    return x >= 0.0 && y >= 0.0 && x <= m_width && y <= m_height;
}

double CCamera::GetRotationDeviation(const double* r) {
    for (int i = 0; i < 9; ++i) {
        if (!std::isfinite(r[i])) {
            return std::numeric_limits<double>::infinity();
        }
    }
    double deviation = 0.0;
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const double product = r[3 * row] * r[3 * col] + r[3 * row + 1] * r[3 * col + 1] +
                                   r[3 * row + 2] * r[3 * col + 2];
            deviation = std::max(deviation, std::fabs(product - (row == col ? 1.0 : 0.0)));
        }
    }
    const double determinant = r[0] * (r[4] * r[8] - r[5] * r[7]) -
                               r[1] * (r[3] * r[8] - r[5] * r[6]) +
                               r[2] * (r[3] * r[7] - r[4] * r[6]);
    return std::max(deviation, std::fabs(determinant - 1.0));
}

bool CCamera::HasValidPose() const {
    const CExtrinsicParam& pose = m_pinhole.GetExtrinsicParam();
    double r[9];
    pose.GetRotateMatrix().GetMatrix(r);
    if (!(GetRotationDeviation(r) <= kRotationTolerance)) {
        return false;
    }
    return IsFinite(pose.GetTranslateVector()) && IsFinite(GetCentre());
}
