#include "polyview/shapes3d/point3d.h"

#include <cmath>
#include <memory>

#include "polyview/foundations/rotate_vector.h"
#include "polyview/numeric/triangulation.h"
#include "polyview/numeric/workspace.h"

C3DPoint::C3DPoint() : m_point(WorldCoordinateSystem) {}
C3DPoint::C3DPoint(const C3DPoint& other) = default;
C3DPoint::C3DPoint(const C3DCoordinate& point) : m_point(point) {}
C3DPoint& C3DPoint::operator=(const C3DPoint& other) {
    m_point = other.m_point;
    return *this;
}
C3DPoint::~C3DPoint() = default;

const C3DCoordinate& C3DPoint::GetPoint() const {
    return m_point;
}
void C3DPoint::SetPoint(const C3DCoordinate& point) {
    m_point = point;
}
void C3DPoint::Initialize() {
    m_point.Initialize();
}

bool C3DPoint::Reproject(const CCameraParam& camera,
                         C2DCoordinate& imagePoint,
                         const C2DCoordinate* observed,
                         double* residual) const {
    const C3DCoordinate pointInCam = camera.GetExtrinsicParam().Apply(m_point);
    const double depth = pointInCam.GetData(2);
    if (!(depth > 0.0)) {
        return false;
    }
    const CIntrinsicParam& intrinsic = camera.GetIntrinsicParam();
    const double focalLength = intrinsic.GetFocalLengthParam();
    imagePoint.SetVector(pointInCam);
    imagePoint *= focalLength / depth;
    imagePoint += intrinsic.GetPrincipalPointParam();
    if (observed != nullptr && residual != nullptr) {
        *residual = (imagePoint - *observed).GetNorm();
        if (!(*residual >= 0.0)) {
            return false;
        }
    }
    return true;
}

bool C3DPoint::Transform(const CRotateMatrix& rotation,
                         const C3DVector& translation,
                         double scale) {
    return m_point.Transform(rotation, translation, scale);
}

bool C3DPoint::CreateFromImagePoints(const C1DArray<SImagePoint>& points) {
    const int n = points.GetSize();
    if (n < 1) {
        return false;
    }
    using Array = std::unique_ptr<double, SDVectorFree>;
    const Array cameras(dvector(0, 7 * n - 1), SDVectorFree{0, 7 * n - 1});
    const Array imagePoints(dvector(0, 2 * n - 1), SDVectorFree{0, 2 * n - 1});
    const Array principalX(dvector(0, n - 1), SDVectorFree{0, n - 1});
    const Array principalY(dvector(0, n - 1), SDVectorFree{0, n - 1});
    if (!cameras || !imagePoints || !principalX || !principalY) {
        return false;
    }
    // Flatten each camera: rotation vector, translation, focal length; the image point; the
    // principal point.
    for (int k = 0; k < n; ++k) {
        const CCameraParam& camera = points[k].cameraParam;
        const CExtrinsicParam& pose = camera.GetExtrinsicParam();
        const CIntrinsicParam& intrinsic = camera.GetIntrinsicParam();
        double* row = cameras.get() + 7 * k;
        pose.GetRotateMatrix().GetRotateVector().GetVector(row);
        pose.GetTranslateVector().GetVector(row + 3);
        row[6] = intrinsic.GetFocalLengthParam();
        points[k].imagePoint.GetVector(imagePoints.get() + 2 * k);
        const C2DCoordinate principal = intrinsic.GetPrincipalPointParam();
        principalX.get()[k] = principal.GetData(0);
        principalY.get()[k] = principal.GetData(1);
    }
    double result[3];
    if (!dtriangulate_point(
            n, cameras.get(), imagePoints.get(), principalX.get(), principalY.get(), result)) {
        return false;
    }
    if (!std::isfinite(result[0]) || !std::isfinite(result[1]) || !std::isfinite(result[2])) {
        return false;  // the sums overflowed (e.g. a camera centre near the double range)
    }
    SetPoint(C3DCoordinate(result, WorldCoordinateSystem));
    return true;
}
