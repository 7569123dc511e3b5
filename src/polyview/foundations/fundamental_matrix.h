#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/polyview_export.h"

// A fundamental matrix F between two images: x1^T F x2 = 0 for matching homogeneous image points
// x1 of the first and x2 of the second image. F (x2, 1) is the epipolar line in the first image
// of a point of the second; F^T (x1, 1) the line in the second image of a point of the first.
class POLYVIEW_EXPORT CFundamentalMatrix : public C33Matrix {
  public:
    CFundamentalMatrix();  // the zero matrix
    explicit CFundamentalMatrix(const C33Matrix& matrix);
    CFundamentalMatrix(const CFundamentalMatrix& other);
    CFundamentalMatrix& operator=(const CFundamentalMatrix& other);
    ~CFundamentalMatrix() override;
};

POLYVIEW_BITWISE_RELOCATABLE(CFundamentalMatrix);
