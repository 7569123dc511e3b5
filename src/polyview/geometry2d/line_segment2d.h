#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/vector2d.h"
#include "polyview/polyview_export.h"

// A bounded segment in the image plane: two end points and the coefficients a x + b y + c = 0 of
// the line through them, re-derived whenever the end points change, in the form a = 1 or
// (a, b) = (0, 1) (not a unit normal in general).
class POLYVIEW_EXPORT C2DLineSegment {
  public:
    C2DLineSegment();  // (0, 0)-(0, 1), coefficients (1, 0, 0)
    // Copies the coefficients and the end points' components (the stored tags stay 0).
    C2DLineSegment(const C2DLineSegment& other);
    // The segment from start to end (components only).
    C2DLineSegment(const C2DCoordinate& start, const C2DCoordinate& end);
    // Copies the coefficients and the end points' components; nothing on self-assignment.
    const C2DLineSegment& operator=(const C2DLineSegment& other);
    virtual ~C2DLineSegment();

    // Assigns the end points' components to start and end (their tags stay).
    void GetEndPoints(C2DCoordinate& start, C2DCoordinate& end) const;
    // Takes the components of start and end, then re-derives the coefficients.
    void SetEndPoints(const C2DCoordinate& start, const C2DCoordinate& end);
    // Writes a, b, c to params[0..2].
    void GetLineParams(double* const params) const;
    // The direction vector (-b, a) of the supporting line.
    C2DVector GetVector() const;
    // Euclidean distance between the end points.
    double GetLength() const;
    // The midpoint, tag 0.
    C2DCoordinate GetCenterCoordinate() const;
    // Merges with segment into the longest segment between the four end points, when the mean
    // unsigned distance of segment's end points from this segment's line is at most tolerance.
    // False, unified untouched, for a negative or NaN tolerance, a mean distance above it, or a
    // NaN end point.
    bool Unify(const C2DLineSegment& segment, C2DLineSegment& unified, double tolerance) const;
    // Coarse visibility in the image 0 <= x < width, 0 <= y < height: the supporting line crosses
    // the image's edges at least twice and the end points are not both beyond one edge; false for
    // a NaN end point.
    bool IsIn(double width, double height) const;
    // Sets the segment to the stretch over x in [xStart, xEnd] of the epipolar line in camera2's
    // image of point (an image point of camera1). False, segment unchanged, when the fundamental
    // matrix cannot be formed, the epipolar line is vertical, or an end point is not finite.
    bool SetEpipolarLine(const CCameraParam& camera1,
                         const CCameraParam& camera2,
                         const C2DCoordinate& point,
                         int xStart,
                         int xEnd);
    // The centre line of the two segments' lines (as C2DLine::CalcCenterLine), spanning the x
    // range (centre line nearer horizontal) or the y range of the four end points. False, center
    // untouched, for a degenerate line or centre line, a NaN end point, or a result end point
    // that is not finite.
    bool CalcCenterLine(const C2DLineSegment& segment, C2DLineSegment& center) const;

  private:
    // Re-derives a, b, c from the end points: vertical form when |x1 - x2| <= 1e-20, else
    // horizontal form when |y1 - y2| <= 1e-20, else a = 1.
    void CalcDirectionVector();

    double m_a;
    double m_b;
    double m_c;
    C2DCoordinate m_start;
    C2DCoordinate m_end;
};

POLYVIEW_BITWISE_RELOCATABLE(C2DLineSegment);
