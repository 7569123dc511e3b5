#include "polyview/foundations/essential_matrix.h"

#include <cmath>

CEssentialMatrix::CEssentialMatrix() = default;
CEssentialMatrix::CEssentialMatrix(const CExtrinsicParam& relative) {
    // [T]x R, row by row.
    const C3DVector& t = relative.GetTranslateVector();
    const C33Matrix& r = relative.GetRotateMatrix();
    // clang-format off
    const double skew[9] = { 0.0,           -t.GetData(2),  t.GetData(1),
                             t.GetData(2),   0.0,          -t.GetData(0),
                            -t.GetData(1),   t.GetData(0),  0.0};
    // clang-format on
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            m_data[3 * row + col] = skew[3 * row] * r.GetData(0, col) +
                                    skew[3 * row + 1] * r.GetData(1, col) +
                                    skew[3 * row + 2] * r.GetData(2, col);
        }
    }
}
CEssentialMatrix::CEssentialMatrix(const CEssentialMatrix& other) = default;
CEssentialMatrix& CEssentialMatrix::operator=(const CEssentialMatrix& other) {
    C33Matrix::operator=(other);
    return *this;
}
CEssentialMatrix::~CEssentialMatrix() = default;

bool CEssentialMatrix::CalcFundamentalMatrix(const CIntrinsicParam& first,
                                             const CIntrinsicParam& second,
                                             CFundamentalMatrix& fundamental) const {
    const double f1 = first.GetFocalLengthParam();
    const double f2 = second.GetFocalLengthParam();
    if (f1 == 0.0 || !std::isfinite(f1) || f2 == 0.0 || !std::isfinite(f2)) {
        return false;
    }
    // K^-1 = [[1/f, 0, -cx/f], [0, 1/f, -cy/f], [0, 0, 1]]; F = K1^-T E K2^-1.
    const C2DCoordinate p1 = first.GetPrincipalPointParam();
    const C2DCoordinate p2 = second.GetPrincipalPointParam();
    // clang-format off
    const double k1[9] = {1.0 / f1, 0.0,      -p1.GetData(0) / f1,
                          0.0,      1.0 / f1, -p1.GetData(1) / f1,
                          0.0,      0.0,       1.0};
    const double k2[9] = {1.0 / f2, 0.0,      -p2.GetData(0) / f2,
                          0.0,      1.0 / f2, -p2.GetData(1) / f2,
                          0.0,      0.0,       1.0};
    // clang-format on
    double left[9];  // K1^-T E, row-major
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            left[3 * row + col] = k1[row] * m_data[col] + k1[3 + row] * m_data[3 + col] +
                                  k1[6 + row] * m_data[6 + col];
        }
    }
    double f[9];  // (K1^-T E) K2^-1, row-major
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            f[3 * row + col] = left[3 * row] * k2[col] + left[3 * row + 1] * k2[3 + col] +
                               left[3 * row + 2] * k2[6 + col];
        }
    }
    fundamental =
        CFundamentalMatrix(C33Matrix(f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8]));
    return true;
}
