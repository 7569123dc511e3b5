#include "polyview/foundations/vector2d.h"

#include <cmath>
#include <limits>

#include "polyview/foundations/vector3d.h"

C2DVector::~C2DVector() = default;

C2DVector C2DVector::operator-(const C2DVector& other) const {
    return C2DVector(m_x - other.m_x, m_y - other.m_y);
}
C2DVector C2DVector::operator+(const C2DVector& other) const {
    return C2DVector(m_x + other.m_x, m_y + other.m_y);
}
C2DVector C2DVector::operator*(double factor) const {
    return C2DVector(m_x * factor, m_y * factor);
}
C2DVector& C2DVector::operator+=(const C2DVector& other) {
    m_x += other.m_x;
    m_y += other.m_y;
    return *this;
}
C2DVector& C2DVector::operator-=(const C2DVector& other) {
    m_x -= other.m_x;
    m_y -= other.m_y;
    return *this;
}
C2DVector& C2DVector::operator*=(double factor) {
    m_x *= factor;
    m_y *= factor;
    return *this;
}
double C2DVector::GetNorm() const {
    return std::sqrt(m_x * m_x + m_y * m_y);
}
void C2DVector::SetVector(const C3DVector& vector) {
    m_x = vector.GetData(0);
    m_y = vector.GetData(1);
}

C2DVector operator*(double factor, const C2DVector& vector) {
    return vector * factor;
}
