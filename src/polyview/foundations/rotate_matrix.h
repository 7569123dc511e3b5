#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/polyview_export.h"

class CRotateVector;

// A 3 x 3 rotation matrix. The matrix and rotation vector r correspond by
// R = I + (sin t / t) [r]x + ((1 - cos t) / t^2) [r]x^2, t = |r|.
class POLYVIEW_EXPORT CRotateMatrix : public C33Matrix {
  public:
    CRotateMatrix();  // the identity
    explicit CRotateMatrix(const C33Matrix& matrix);
    // The matrix of a rotation vector.
    explicit CRotateMatrix(const CRotateVector& vector);
    CRotateMatrix(const CRotateMatrix& other);
    CRotateMatrix& operator=(const CRotateMatrix& other);
    ~CRotateMatrix() override;

    // The rotation vector (angle in [0, pi], half-turns included); the inverse of
    // CRotateVector::GetRotateMatrix for every rotation.
    CRotateVector GetRotateVector() const;
};

POLYVIEW_BITWISE_RELOCATABLE(CRotateMatrix);
