#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/fundamental_matrix.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/polyview_export.h"

// A C2DLine that is the epipolar line of a point through a fundamental matrix.
class POLYVIEW_EXPORT CEpipolarLine : public C2DLine {
  public:
    CEpipolarLine();  // a = 1, b = 0, c = 0
    CEpipolarLine(const CEpipolarLine& other);
    // Copies the line's coefficients.
    CEpipolarLine(const C2DLine& line);
    CEpipolarLine& operator=(const CEpipolarLine& other);
    ~CEpipolarLine() override;

    // Sets (a, b, c) to fundamental * (x, y, 1), not normalised: with x1^T F x2 = 0, a point of the
    // second image gives its epipolar line in the first. Never fails.
    void Create(const CFundamentalMatrix& fundamental, const C2DCoordinate& point);
};

POLYVIEW_BITWISE_RELOCATABLE(CEpipolarLine);
