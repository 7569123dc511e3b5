#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/fundamental_matrix.h"
#include "polyview/foundations/intrinsic_param.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/polyview_export.h"

// The essential matrix E = [T]x R of a relative pose (x1 = R x2 + T, from
// CExtrinsicParam::SetDifferenceTwoExtrinsicParams(first, second)), so that n1^T E n2 = 0 for
// matching normalised image points n1 of the first and n2 of the second camera.
class POLYVIEW_EXPORT CEssentialMatrix : public C33Matrix {
  public:
    CEssentialMatrix();  // the zero matrix
    explicit CEssentialMatrix(const CExtrinsicParam& relative);
    CEssentialMatrix(const CEssentialMatrix& other);
    CEssentialMatrix& operator=(const CEssentialMatrix& other);
    ~CEssentialMatrix() override;

    // F = K1^-T E K2^-1 with x1^T F x2 = 0 (first = camera of x1); false (F untouched) when either
    // focal length is 0 or not finite.
    bool CalcFundamentalMatrix(const CIntrinsicParam& first,
                               const CIntrinsicParam& second,
                               CFundamentalMatrix& fundamental) const;
};

POLYVIEW_BITWISE_RELOCATABLE(CEssentialMatrix);
