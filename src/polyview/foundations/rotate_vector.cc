#include "polyview/foundations/rotate_vector.h"

#include "polyview/foundations/rotate_matrix.h"
#include "polyview/numeric/rotation.h"

CRotateVector::CRotateVector() = default;
CRotateVector::CRotateVector(const C3DVector& vector) : C3DVector(vector) {}
CRotateVector::CRotateVector(const double* values) : C3DVector(values) {}
CRotateVector::CRotateVector(const CRotateVector& other) = default;
CRotateVector& CRotateVector::operator=(const CRotateVector& other) {
    C3DVector::operator=(other);
    return *this;
}
CRotateVector::~CRotateVector() = default;

CRotateMatrix CRotateVector::GetRotateMatrix() const {
    const double theta = GetNorm();
    if (!(theta > 1e-5)) {
        // Series of sin(t) / t and (1 - cos(t)) / t^2; exact to rounding for t <= 1e-5.
        const double t2 = theta * theta;
        const double s = 1.0 - t2 / 6.0;
        const double k = 0.5 - t2 / 24.0;
        // clang-format off
        return CRotateMatrix(C33Matrix(
            1.0 + k * (-m_y * m_y - m_z * m_z), k * m_x * m_y - s * m_z,             k * m_x * m_z + s * m_y,
            k * m_x * m_y + s * m_z,             1.0 + k * (-m_x * m_x - m_z * m_z), k * m_y * m_z - s * m_x,
            k * m_x * m_z - s * m_y,             k * m_y * m_z + s * m_x,             1.0 + k * (-m_x * m_x - m_y * m_y)));
        // clang-format on
    }
    double r[3];
    GetVector(r);
    double m[9];  // row-major, [3 * row + col]
    drotvec2mat(r, m);
    return CRotateMatrix(C33Matrix(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]));
}
