#include "polyview/foundations/vector3d.h"

#include <cmath>
#include <limits>

#include "polyview/foundations/matrix33.h"

C3DVector::C3DVector(const double* values) : m_x(values[0]), m_y(values[1]), m_z(values[2]) {}

C3DVector::~C3DVector() = default;

void C3DVector::Initialize() {
    m_x = 0.0;
    m_y = 0.0;
    m_z = 0.0;
}

C3DVector C3DVector::operator+(const C3DVector& other) const {
    return C3DVector(m_x + other.m_x, m_y + other.m_y, m_z + other.m_z);
}
C3DVector C3DVector::operator-(const C3DVector& other) const {
    return C3DVector(m_x - other.m_x, m_y - other.m_y, m_z - other.m_z);
}
C3DVector C3DVector::operator*(double factor) const {
    return C3DVector(m_x * factor, m_y * factor, m_z * factor);
}
C3DVector C3DVector::operator/(double divisor) const {
    return C3DVector(m_x / divisor, m_y / divisor, m_z / divisor);
}
C3DVector& C3DVector::operator+=(const C3DVector& other) {
    m_x += other.m_x;
    m_y += other.m_y;
    m_z += other.m_z;
    return *this;
}
C3DVector& C3DVector::operator-=(const C3DVector& other) {
    m_x -= other.m_x;
    m_y -= other.m_y;
    m_z -= other.m_z;
    return *this;
}
C3DVector& C3DVector::operator*=(double factor) {
    m_x *= factor;
    m_y *= factor;
    m_z *= factor;
    return *this;
}

double C3DVector::GetDotProduct(const C3DVector& other) const {
    return m_x * other.m_x + m_y * other.m_y + m_z * other.m_z;
}
C3DVector C3DVector::GetCrossProduct(const C3DVector& other) const {
    return C3DVector(m_y * other.m_z - m_z * other.m_y,
                     m_z * other.m_x - m_x * other.m_z,
                     m_x * other.m_y - m_y * other.m_x);
}
C33Matrix C3DVector::GetOuterProduct(const C3DVector& other) const {
    // clang-format off
    return C33Matrix(m_x * other.m_x, m_x * other.m_y, m_x * other.m_z,
                     m_y * other.m_x, m_y * other.m_y, m_y * other.m_z,
                     m_z * other.m_x, m_z * other.m_y, m_z * other.m_z);
    // clang-format on
}
double C3DVector::GetNorm() const {
    return std::sqrt(m_x * m_x + m_y * m_y + m_z * m_z);
}

bool C3DVector::GetNormalizedVector(C3DVector& out) const {
    const double norm = GetNorm();
    if (norm > 0.0 && std::isfinite(norm)) {
        out = C3DVector(m_x / norm, m_y / norm, m_z / norm);
        return true;
    }
    // The plain norm over- or underflowed: rescale by the largest magnitude first.
    const double largest = std::fmax(std::fabs(m_x), std::fmax(std::fabs(m_y), std::fabs(m_z)));
    if (!(largest > 0.0) || !std::isfinite(largest) || std::isnan(m_x + m_y + m_z)) {
        return false;
    }
    const C3DVector scaled(m_x / largest, m_y / largest, m_z / largest);
    const double scaledNorm = scaled.GetNorm();
    out = scaled / scaledNorm;
    return true;
}
C3DVector C3DVector::GetNormalizedVector() const {
    C3DVector unit;
    GetNormalizedVector(unit);
    return unit;
}
void C3DVector::Normalize() {
    *this = GetNormalizedVector();
}

bool C3DVector::Transform(const C33Matrix& rotation, const C3DVector& translation, double scale) {
    if (scale == 0.0 || std::isnan(scale)) {
        return false;
    }
    *this = (rotation * *this + translation) / scale;
    return true;
}

C3DVector operator*(double factor, const C3DVector& vector) {
    return vector * factor;
}
