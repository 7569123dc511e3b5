#include "polyview/shapes3d/point3d.h"

#include <cmath>

#include "polyview/numeric/triangulation.h"

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
    if (n < 2) {
        return false;
    }
    // Each camera's terms (its rotation as kept with the pose), its ray added to the normal
    // equations camera by camera; nothing is stored per camera.
    SRaySums sums;
    dray_sums_clear(sums);
    for (int k = 0; k < n; ++k) {
        double imagePoint[2];
        points[k].imagePoint.GetVector(imagePoint);
        dray_add_camera(points[k].cameraParam, imagePoint, sums);
    }
    double result[3];
    if (!dray_solve(sums, result)) {
        return false;
    }
    if (!std::isfinite(result[0]) || !std::isfinite(result[1]) || !std::isfinite(result[2])) {
        return false;  // the sums overflowed (e.g. a camera centre near the double range)
    }
    SetPoint(C3DCoordinate(result, WorldCoordinateSystem));
    return true;
}
