#include "polyview/foundations/axis3d.h"

#include <cmath>

#include "polyview/foundations/rotate_vector.h"

C3DAxis::C3DAxis() : m_distance(0.0) {}
C3DAxis::C3DAxis(const C3DVector& uVector, const C3DVector& vVector, double distance)
    : m_uVector(uVector), m_vVector(vVector), m_distance(distance) {
    Normalized(true, true);
}
C3DAxis::C3DAxis(const C3DAxis& other) = default;
C3DAxis& C3DAxis::operator=(const C3DAxis& other) {
    m_uVector = other.m_uVector;
    m_vVector = other.m_vVector;
    m_distance = other.m_distance;
    return *this;
}
C3DAxis::~C3DAxis() = default;

bool C3DAxis::SetUVector(const C3DVector& uVector) {
    m_uVector = uVector;
    return Normalized(true, false);
}
bool C3DAxis::SetVVector(const C3DVector& vVector) {
    m_vVector = vVector;
    return Normalized(false, true);
}
void C3DAxis::SetDistance(double distance) {
    m_distance = distance;
}

C3DCoordinate C3DAxis::GetBaseCoordinate() const {
    return C3DCoordinate(m_uVector * m_distance, WorldCoordinateSystem);
}
C3DCoordinate C3DAxis::GetCoordinate(double position) const {
    const C3DVector along = m_vVector * position;
    return C3DCoordinate(GetBaseCoordinate() + along, WorldCoordinateSystem);
}
void C3DAxis::GetCoordinate(const CRange& range, C3DCoordinate* const coordinates) const {
    coordinates[0] = GetCoordinate(range.GetStartPosition());
    coordinates[1] = GetCoordinate(range.GetEndPosition());
}

bool C3DAxis::Transform(const CRotateMatrix& rotation, const C3DVector& translation, double scale) {
    if (scale == 0.0 || std::isnan(scale)) {
        return false;
    }
    const C3DVector movedV = rotation * m_vVector;
    C3DVector foot = ((rotation * m_distance) * m_uVector + translation) / scale;
    const double along = foot.GetDotProduct(movedV);
    foot -= movedV * along;  // now the foot of the perpendicular from the origin
    const double movedDistance = foot.GetNorm();
    const double movedLength = movedV.GetNorm();
    if (!(movedDistance >= 0.0) || movedLength == 0.0 || std::isnan(movedLength)) {
        return false;  // nothing has been written yet
    }
    m_uVector = foot.GetNormalizedVector();
    m_vVector = movedV.GetNormalizedVector();
    m_distance = movedDistance;
    return true;
}

void C3DAxis::GetFrom4Params(double* const params) const {
    const double ux = m_uVector.GetData(0);
    const double uy = m_uVector.GetData(1);
    const double uz = m_uVector.GetData(2);
    const double vx = m_vVector.GetData(0);
    const double vy = m_vVector.GetData(1);
    const double vz = m_vVector.GetData(2);
    // W = V x U, component by component in this form.
    const double wx = vy * uz - vz * uy;
    const double wy = vz * ux - uz * vx;
    const double wz = uy * vx - vy * ux;
    CRotateMatrix frame;
    frame.SetMatrix(vx, vy, vz, ux, uy, uz, wx, wy, wz);
    frame.GetRotateVector().GetVector(params);
    params[3] = m_distance;
}

bool C3DAxis::SetFrom4Params(const double* const params) {
    const CRotateMatrix frame = CRotateVector(C3DVector(params)).GetRotateMatrix();
    m_uVector.SetVector(frame.GetData(1, 0), frame.GetData(1, 1), frame.GetData(1, 2));
    m_vVector.SetVector(frame.GetData(0, 0), frame.GetData(0, 1), frame.GetData(0, 2));
    m_distance = params[3];
    return Normalized(true, true);
}

bool C3DAxis::Normalized(bool normalizeU, bool normalizeV) {
    bool normalized = true;
    if (normalizeU) {
        C3DVector unit;
        if (m_uVector.GetNormalizedVector(unit)) {
            m_uVector = unit;
        } else {
            normalized = false;
        }
    }
    if (normalizeV) {
        C3DVector unit;
        if (m_vVector.GetNormalizedVector(unit)) {
            m_vVector = unit;
        } else {
            normalized = false;
        }
    }
    return normalized;
}
