#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/vector2d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/polyview_export.h"

// An infinite line a x + b y + c = 0 in the image plane. The coefficients are stored exactly as
// given or computed: the class never normalises them or fixes their sign, so (a, b) is a normal of
// any length. Only x and y of a C2DCoordinate take part; written coordinates keep their tag.
class POLYVIEW_EXPORT C2DLine {
  public:
    C2DLine();  // a = 1, b = 0, c = 0: the line x = 0
    C2DLine(const C2DLine& other);
    // The segment's coefficients a, b, c, unchanged.
    C2DLine(const C2DLineSegment& segment);
    C2DLine& operator=(const C2DLine& other);
    virtual ~C2DLine();

    // Writes a, b, c to params[0..2].
    void GetLineParams(double* const params) const;
    // Reads a, b, c from params[0..2], stored unchanged.
    void SetLineParams(const double* const params);
    // The direction vector (-b, a); its length is that of the normal (a, b).
    C2DVector GetVector() const;
    // Distance from point to the line, signed (positive on the side the normal (a, b) points to)
    // or unsigned. False, distance untouched, when a = b = 0 or the result is not finite.
    bool GetDistance(const C2DCoordinate& point, double& distance, bool signedDistance) const;
    // Unsigned distance from point to the line; -1.0 when the two-form call above fails.
    double GetDistance(const C2DCoordinate& point) const;
    // Intersection with line. False, point untouched, for parallel or coincident lines, a
    // degenerate line, or a result that is not finite.
    bool GetIntersection(const C2DLine& line, C2DCoordinate& point) const;
    // Replaces the coefficients by the orthogonal least-squares line through the points (unit
    // normal). False, coefficients unchanged, for an empty array, a failed allocation or a fit
    // that is not finite.
    bool GetApproximationLine(const C1DArray<C2DCoordinate>& points);
    // The angle bisector of this line and line whose normal comes from the pair of unit normals
    // at an acute angle (for parallel lines the midway line; not normalised). False, center
    // untouched, when either line has a = b = 0, a coefficient that is not finite, or the result is
    // not finite.
    bool CalcCenterLine(const C2DLine& line, C2DLine& center) const;
    // The part of the line inside the half-open rectangle xMin <= x < xMax, yMin <= y < yMax,
    // from the first to the second edge crossing found (left, right, bottom, top edge). Never
    // fails: the default segment (0, 0)-(0, 1) unless exactly two crossings are found, and for an
    // empty, reversed or NaN rectangle. Rounding at corners: a crossing within 1e-9 times the
    // larger side of one already found is that point, one short of a minimum edge by as little
    // counts on that edge.
    C2DLineSegment GetLineSegment(double xMin, double yMin, double xMax, double yMax) const;

  private:
    double m_a;
    double m_b;
    double m_c;
};

POLYVIEW_BITWISE_RELOCATABLE(C2DLine);
