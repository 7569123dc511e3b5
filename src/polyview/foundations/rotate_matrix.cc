#include "polyview/foundations/rotate_matrix.h"

#include "polyview/foundations/rotate_vector.h"
#include "polyview/numeric/rotation.h"

CRotateMatrix::CRotateMatrix() : C33Matrix(C33Matrix::IdentityMatrix) {}
CRotateMatrix::CRotateMatrix(const C33Matrix& matrix) : C33Matrix(matrix) {}
CRotateMatrix::CRotateMatrix(const CRotateVector& vector) : C33Matrix(vector.GetRotateMatrix()) {}
CRotateMatrix::CRotateMatrix(const CRotateMatrix& other) = default;
CRotateMatrix& CRotateMatrix::operator=(const CRotateMatrix& other) {
    C33Matrix::operator=(other);
    return *this;
}
CRotateMatrix::~CRotateMatrix() = default;

CRotateVector CRotateMatrix::GetRotateVector() const {
    double r[3];
    drotmat2vec_exact(m_data, r);
    return CRotateVector(r);
}
