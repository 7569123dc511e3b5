#include "polyview/foundations/extrinsic_param.h"

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
