#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/polyview_export.h"

class CRotateMatrix;

// A rotation vector: the unit rotation axis times the angle in radians.
class POLYVIEW_EXPORT CRotateVector : public C3DVector {
  public:
    CRotateVector();  // no rotation
    explicit CRotateVector(const C3DVector& vector);
    // Reads three values.
    explicit CRotateVector(const double* values);
    CRotateVector(const CRotateVector& other);
    CRotateVector& operator=(const CRotateVector& other);
    ~CRotateVector() override;

    // The rotation matrix (exact formula at every angle, including very small ones).
    CRotateMatrix GetRotateMatrix() const;
};

POLYVIEW_BITWISE_RELOCATABLE(CRotateVector);
