#include "polyview/foundations/extrinsic_param.h"

#include "polyview/numeric/rotation.h"

namespace {

// The rotation vector of a rotation (as CRotateMatrix::GetRotateVector gives it) and the two
// matrices the solvers rebuild from that vector.
struct SSolverRotations {
    double vector[3];
    double point[9];
    double line[9];
};

void FormSolverRotations(const CRotateMatrix& rotation, SSolverRotations& kept) {
    double matrix[9];  // row-major, [3 * row + col]
    for (int i = 0; i < 9; ++i) {
        matrix[i] = rotation.GetData(i / 3, i % 3);
    }
    drotmat2vec_exact(matrix, kept.vector);
    drotvec2mat_point(kept.vector, kept.point);
    drotvec2mat(kept.vector, kept.line);
}

// The kept forms of the identity, formed once: default poses are made in bulk (arrays).
const SSolverRotations& IdentityRotations() {
    static const SSolverRotations identity = [] {
        SSolverRotations kept;
        FormSolverRotations(CRotateMatrix(), kept);
        return kept;
    }();
    return identity;
}

void CopyKept(const double* vector,
              const double* point,
              const double* line,
              double* toVector,
              double* toPoint,
              double* toLine) {
    for (int i = 0; i < 3; ++i) {
        toVector[i] = vector[i];
    }
    for (int i = 0; i < 9; ++i) {
        toPoint[i] = point[i];
        toLine[i] = line[i];
    }
}

}  // namespace

CExtrinsicParam::CExtrinsicParam() {
    const SSolverRotations& identity = IdentityRotations();
    CopyKept(identity.vector,
             identity.point,
             identity.line,
             m_rotationVector,
             m_pointRotation,
             m_lineRotation);
}
CExtrinsicParam::CExtrinsicParam(const CRotateMatrix& rotation, const C3DVector& translation)
    : m_rotation(rotation), m_translation(translation) {
    KeepSolverRotations();
}
// The other pose's kept forms belong to its rotation, which is copied with them.
CExtrinsicParam::CExtrinsicParam(const CExtrinsicParam& other)
    : m_rotation(other.m_rotation), m_translation(other.m_translation) {
    CopyKept(other.m_rotationVector,
             other.m_pointRotation,
             other.m_lineRotation,
             m_rotationVector,
             m_pointRotation,
             m_lineRotation);
}
CExtrinsicParam& CExtrinsicParam::operator=(const CExtrinsicParam& other) {
    m_rotation = other.m_rotation;
    m_translation = other.m_translation;
    CopyKept(other.m_rotationVector,
             other.m_pointRotation,
             other.m_lineRotation,
             m_rotationVector,
             m_pointRotation,
             m_lineRotation);
    return *this;
}
CExtrinsicParam::~CExtrinsicParam() = default;
void CExtrinsicParam::SetRotateMatrix(const CRotateMatrix& rotation) {
    m_rotation = rotation;
    KeepSolverRotations();
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
    KeepSolverRotations();
}
void CExtrinsicParam::KeepSolverRotations() {
    SSolverRotations kept;
    FormSolverRotations(m_rotation, kept);
    CopyKept(kept.vector, kept.point, kept.line, m_rotationVector, m_pointRotation, m_lineRotation);
}
