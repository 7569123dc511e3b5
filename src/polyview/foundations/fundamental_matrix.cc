#include "polyview/foundations/fundamental_matrix.h"

CFundamentalMatrix::CFundamentalMatrix() = default;
CFundamentalMatrix::CFundamentalMatrix(const C33Matrix& matrix) : C33Matrix(matrix) {}
CFundamentalMatrix::CFundamentalMatrix(const CFundamentalMatrix& other) = default;
CFundamentalMatrix& CFundamentalMatrix::operator=(const CFundamentalMatrix& other) {
    C33Matrix::operator=(other);
    return *this;
}
CFundamentalMatrix::~CFundamentalMatrix() = default;
