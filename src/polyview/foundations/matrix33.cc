#include "polyview/foundations/matrix33.h"

#include <cmath>
#include <limits>

C33Matrix::C33Matrix(EType type) : C33Matrix() {
    if (type == IdentityMatrix) {
        m_data[0] = 1.0;
        m_data[4] = 1.0;
        m_data[8] = 1.0;
    }
}
C33Matrix::~C33Matrix() = default;

void C33Matrix::SetMatrix(double m00,
                          double m01,
                          double m02,
                          double m10,
                          double m11,
                          double m12,
                          double m20,
                          double m21,
                          double m22) {
    *this = C33Matrix(m00, m01, m02, m10, m11, m12, m20, m21, m22);
}

C3DVector C33Matrix::GetRowVector(int row) const {
    return C3DVector(GetData(row, 0), GetData(row, 1), GetData(row, 2));
}
void C33Matrix::GetMatrix(double* values) const {
    for (int i = 0; i < 9; ++i) {
        values[i] = m_data[i];
    }
}

C3DVector C33Matrix::operator*(const C3DVector& vector) const {
    const double x = vector.GetData(0);
    const double y = vector.GetData(1);
    const double z = vector.GetData(2);
    return C3DVector(m_data[0] * x + m_data[1] * y + m_data[2] * z,
                     m_data[3] * x + m_data[4] * y + m_data[5] * z,
                     m_data[6] * x + m_data[7] * y + m_data[8] * z);
}
C33Matrix C33Matrix::operator*(double factor) const {
    C33Matrix product;
    for (int i = 0; i < 9; ++i) {
        product.m_data[i] = m_data[i] * factor;
    }
    return product;
}
C33Matrix C33Matrix::GetTransposedMatrix() const {
    const double* m = m_data;
    return C33Matrix(m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]);
}

bool C33Matrix::GetInverseMatrix(C33Matrix& out) const {
    // Adjugate over the determinant.
    const double* m = m_data;
    const double c00 = m[4] * m[8] - m[5] * m[7];
    const double c01 = m[5] * m[6] - m[3] * m[8];
    const double c02 = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    if (det == 0.0 || !std::isfinite(det)) {
        return false;
    }
    // clang-format off
    const C33Matrix inverse(c00 / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
                            c01 / det, (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
                            c02 / det, (m[1] * m[6] - m[0] * m[7]) / det, (m[0] * m[4] - m[1] * m[3]) / det);
    // clang-format on
    for (int i = 0; i < 9; ++i) {
        if (!std::isfinite(inverse.m_data[i])) {
            return false;
        }
    }
    out = inverse;
    return true;
}

C33Matrix operator*(double factor, const C33Matrix& matrix) {
    return matrix * factor;
}
