#include "polyview/shapes3d/plane3d.h"

#include <cmath>

#include "polyview/numeric/plane_kernels.h"

C3DPlane::C3DPlane() : m_normalVector(0.0, 0.0, 1.0), m_point(WorldCoordinateSystem) {}
C3DPlane::C3DPlane(const C3DPlane& other) = default;
C3DPlane::C3DPlane(const C3DVector& normal, const C3DCoordinate& point)
    : m_normalVector(normal), m_point(point) {
    BeConsistent();
}
C3DPlane& C3DPlane::operator=(const C3DPlane& other) {
    m_normalVector = other.m_normalVector;
    m_point = other.m_point;
    return *this;
}
C3DPlane::~C3DPlane() = default;

const C3DVector& C3DPlane::GetNormalVector() const {
    return m_normalVector;
}
const C3DCoordinate& C3DPlane::GetPoint() const {
    return m_point;
}

bool C3DPlane::BeConsistent() {
    C3DVector unit;
    if (m_normalVector.GetNormalizedVector(unit)) {
        m_normalVector = unit;
        return true;
    }
    m_normalVector.SetVector(0.0, 0.0, 1.0);
    return false;
}

void C3DPlane::GetPlaneParam(double* const params) const {
    const double nx = m_normalVector.GetData(0);
    const double ny = m_normalVector.GetData(1);
    const double nz = m_normalVector.GetData(2);
    params[0] = nx;
    params[1] = ny;
    params[2] = nz;
    params[3] = -(nz * m_point.GetData(2) + ny * m_point.GetData(1) + nx * m_point.GetData(0));
}

void C3DPlane::SetPlaneParam(const double* const params) {
    const double a = params[0];
    const double b = params[1];
    const double c = params[2];
    const double d = params[3];
    const C3DVector given(a, b, c);
    C3DVector unit;
    C3DVector point;
    bool usable = std::isfinite(d) && given.GetNormalizedVector(unit);
    if (usable) {
        // The crossing with the first axis that the plane meets, tested on the unit normal; the
        // division uses the coefficient as given.
        if (unit.GetData(0) != 0.0) {
            point.SetVector(-d / a, 0.0, 0.0);
        } else if (unit.GetData(1) != 0.0) {
            point.SetVector(0.0, -d / b, 0.0);
        } else {
            point.SetVector(0.0, 0.0, -d / c);
        }
        if (!std::isfinite(point.GetData(0) + point.GetData(1) + point.GetData(2))) {
            // A nearly parallel axis is crossed beyond the double range: take the foot of the
            // perpendicular from the origin, at signed distance -d / |(a, b, c)| along the normal.
            const double largest = std::fmax(std::fabs(a), std::fmax(std::fabs(b), std::fabs(c)));
            const double offset = -(d / largest) / (given / largest).GetNorm();
            point = unit * offset;
            usable = std::isfinite(point.GetData(0) + point.GetData(1) + point.GetData(2));
        }
    }
    if (!usable) {
        unit.SetVector(0.0, 0.0, 1.0);
        point.SetVector(0.0, 0.0, 0.0);
    }
    m_normalVector = unit;
    m_point = point;
}

bool C3DPlane::SetApproximationPlane(const C1DArray<C3DCoordinate>& points) {
    if (points.GetSize() < 3) {
        return false;
    }
    double params[4];
    if (!dfitplane(points, params)) {
        return false;
    }
    SetPlaneParam(params);
    return true;
}

double C3DPlane::GetDistance(const C3DCoordinate& point, C3DCoordinate& foot) const {
    double params[4];
    GetPlaneParam(params);
    double coordinates[3];
    point.GetVector(coordinates);
    double footCoordinates[3];
    const double distance = dplane_distance(coordinates, params, footCoordinates);
    foot.SetVector(footCoordinates);
    return distance;
}

CAngle C3DPlane::GetAngle(const C3DLine& line) const {
    double direction[3];
    line.GetDirectionVector().GetVector(direction);
    double normal[3];
    m_normalVector.GetVector(normal);
    CAngle angle;
    angle.SetDegree(dline_plane_angle(direction, normal));
    return angle;
}
