#include <cmath>

#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/essential_matrix.h"
#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/fundamental_matrix.h"
#include "polyview/foundations/intrinsic_param.h"
#include "polyview/foundations/tangential_distortion.h"

CIntrinsicParam::CIntrinsicParam() : m_focalLength(1.0), m_principalPoint(0.0, 0.0) {}
CIntrinsicParam::CIntrinsicParam(double focalLength, const C2DCoordinate& principalPoint)
    : m_focalLength(focalLength), m_principalPoint(principalPoint) {}
CIntrinsicParam::CIntrinsicParam(const CIntrinsicParam& other) = default;
CIntrinsicParam& CIntrinsicParam::operator=(const CIntrinsicParam& other) {
    m_focalLength = other.m_focalLength;
    m_principalPoint = other.m_principalPoint;
    return *this;
}
CIntrinsicParam::~CIntrinsicParam() = default;
double CIntrinsicParam::GetFocalLengthParam() const {
    return m_focalLength;
}
C2DCoordinate CIntrinsicParam::GetPrincipalPointParam() const {
    return m_principalPoint;
}
void CIntrinsicParam::SetFocalLengthParam(double focalLength) {
    m_focalLength = focalLength;
}
void CIntrinsicParam::SetPrincipalPointParam(const C2DCoordinate& principalPoint) {
    m_principalPoint = principalPoint;
}

CTangentialDistortion::CTangentialDistortion() : m_p1(0.0), m_p2(0.0) {}
CTangentialDistortion::CTangentialDistortion(const CTangentialDistortion& other) = default;
CTangentialDistortion& CTangentialDistortion::operator=(const CTangentialDistortion& other) {
    m_p1 = other.m_p1;
    m_p2 = other.m_p2;
    return *this;
}
CTangentialDistortion::~CTangentialDistortion() = default;

CExtrinsicParam::CExtrinsicParam() = default;
CExtrinsicParam::CExtrinsicParam(const CRotateMatrix& rotation, const C3DVector& translation)
    : m_rotation(rotation), m_translation(translation) {}
CExtrinsicParam::CExtrinsicParam(const CExtrinsicParam& other) = default;
CExtrinsicParam& CExtrinsicParam::operator=(const CExtrinsicParam& other) {
    m_rotation = other.m_rotation;
    m_translation = other.m_translation;
    return *this;
}
CExtrinsicParam::~CExtrinsicParam() = default;
const CRotateMatrix& CExtrinsicParam::GetRotateMatrix() const {
    return m_rotation;
}
const C3DVector& CExtrinsicParam::GetTranslateVector() const {
    return m_translation;
}
void CExtrinsicParam::SetRotateMatrix(const CRotateMatrix& rotation) {
    m_rotation = rotation;
}
void CExtrinsicParam::SetTranslateVector(const C3DVector& translation) {
    m_translation = translation;
}
C3DCoordinate CExtrinsicParam::Apply(const C3DCoordinate& point) const {
    return C3DCoordinate(m_rotation * point + m_translation, point.GetCoordinateSystem());
}
void CExtrinsicParam::SetDifferenceTwoExtrinsicParams(const CExtrinsicParam& first,
                                                      const CExtrinsicParam& second) {
    const C33Matrix& r1 = first.m_rotation;
    const C33Matrix r2t = second.m_rotation.GetTransposedMatrix();
    double relative[9];  // row-major R1 * R2^T, [3 * row + col]
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            relative[3 * row + col] = r1.GetData(row, 0) * r2t.GetData(0, col) +
                                      r1.GetData(row, 1) * r2t.GetData(1, col) +
                                      r1.GetData(row, 2) * r2t.GetData(2, col);
        }
    }
    const CRotateMatrix rotation(C33Matrix(relative[0],
                                           relative[1],
                                           relative[2],
                                           relative[3],
                                           relative[4],
                                           relative[5],
                                           relative[6],
                                           relative[7],
                                           relative[8]));
    const C3DVector translation = first.m_translation - rotation * second.m_translation;
    m_rotation = rotation;
    m_translation = translation;
}

CCameraParam::CCameraParam() = default;
CCameraParam::CCameraParam(const CIntrinsicParam& intrinsic, const CExtrinsicParam& extrinsic)
    : m_intrinsic(intrinsic), m_extrinsic(extrinsic) {}
CCameraParam::CCameraParam(const CCameraParam& other) = default;
CCameraParam& CCameraParam::operator=(const CCameraParam& other) {
    m_intrinsic = other.m_intrinsic;
    m_extrinsic = other.m_extrinsic;
    m_distortion = other.m_distortion;
    return *this;
}
CCameraParam::~CCameraParam() = default;
const CIntrinsicParam& CCameraParam::GetIntrinsicParam() const {
    return m_intrinsic;
}
const CExtrinsicParam& CCameraParam::GetExtrinsicParam() const {
    return m_extrinsic;
}
void CCameraParam::SetIntrinsicParam(const CIntrinsicParam& intrinsic) {
    m_intrinsic = intrinsic;
}
void CCameraParam::SetExtrinsicParam(const CExtrinsicParam& extrinsic) {
    m_extrinsic = extrinsic;
}

CFundamentalMatrix::CFundamentalMatrix() = default;
CFundamentalMatrix::CFundamentalMatrix(const C33Matrix& matrix) : C33Matrix(matrix) {}
CFundamentalMatrix::CFundamentalMatrix(const CFundamentalMatrix& other) = default;
CFundamentalMatrix& CFundamentalMatrix::operator=(const CFundamentalMatrix& other) {
    C33Matrix::operator=(other);
    return *this;
}
CFundamentalMatrix::~CFundamentalMatrix() = default;

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
