#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/polyview_export.h"

// Camera pose: a world point X has camera coordinates R X + T, so the centre is -R^T T.
class POLYVIEW_EXPORT CExtrinsicParam {
  public:
    CExtrinsicParam();  // identity rotation, zero translation
    CExtrinsicParam(const CRotateMatrix& rotation, const C3DVector& translation);
    CExtrinsicParam(const CExtrinsicParam& other);
    CExtrinsicParam& operator=(const CExtrinsicParam& other);
    virtual ~CExtrinsicParam();

    const CRotateMatrix& GetRotateMatrix() const { return m_rotation; }
    const C3DVector& GetTranslateVector() const { return m_translation; }
    void SetRotateMatrix(const CRotateMatrix& rotation);
    void SetTranslateVector(const C3DVector& translation);
    // R X + T: the point in the camera frame, with the tag of X.
    C3DCoordinate Apply(const C3DCoordinate& point) const;
    // Sets this to the pose of the second camera's frame in the first camera's frame:
    // x1 = R x2 + T with R = R1 R2^T and T = T1 - R T2.
    void SetDifferenceTwoExtrinsicParams(const CExtrinsicParam& first,
                                         const CExtrinsicParam& second);

  private:
    friend struct SPoseSolverAccess;  // the solvers read the kept rotations below
    // Refreshes the three kept forms below from m_rotation.
    void KeepSolverRotations();

    CRotateMatrix m_rotation;
    C3DVector m_translation;
    // Kept with the rotation, refreshed whenever it changes (never lazily, so a const pose can be
    // read from several threads): its rotation vector and the two matrices the solvers rebuild
    // from that vector, row-major.
    double m_rotationVector[3];
    double m_pointRotation[9];
    double m_lineRotation[9];
};

POLYVIEW_BITWISE_RELOCATABLE(CExtrinsicParam);
