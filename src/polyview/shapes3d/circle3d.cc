#include "polyview/shapes3d/circle3d.h"

C3DCircle::C3DCircle()
    : m_center(WorldCoordinateSystem), m_radius(1.0), m_normalVector(0.0, 0.0, 1.0) {}
C3DCircle::C3DCircle(const C3DCircle& other) = default;
C3DCircle& C3DCircle::operator=(const C3DCircle& other) {
    m_center = other.m_center;
    m_radius = other.m_radius;
    m_normalVector = other.m_normalVector;
    return *this;
}
C3DCircle::~C3DCircle() = default;

const C3DCoordinate& C3DCircle::GetCenter() const {
    return m_center;
}
void C3DCircle::SetCenter(const C3DCoordinate& center) {
    m_center = center;
}
double C3DCircle::GetRadius() const {
    return m_radius;
}
void C3DCircle::SetRadius(double radius) {
    m_radius = radius;
}
const C3DVector& C3DCircle::GetNormalVector() const {
    return m_normalVector;
}
void C3DCircle::SetNormalVector(const C3DCoordinate& normal) {
    m_normalVector = normal;
}
