#pragma once

#include "polyview/foundations/angle.h"
#include "polyview/foundations/array1d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/range.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/polyview_export.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/shape3d.h"

// A bounded piece of a 3D line: an axis d U + t V, a range (t0, t1) of positions along V and the
// two end points, which every operation but Initialize and the copies recomputes from the axis
// at the range.
class POLYVIEW_EXPORT C3DLineSegment : public C3DShape {
  public:
    C3DLineSegment();  // default axis, range (0.0, 1.0), end points from them
    // Copies axis and range and the end points' components as they stand (not recomputed).
    C3DLineSegment(const C3DLineSegment& other);
    // Copies both unchanged (nothing normalised), then recomputes the end points.
    C3DLineSegment(const C3DAxis& axis, const CRange& range);
    // Assigns U, V, d, the range and both end points' components; nothing recomputed.
    C3DLineSegment& operator=(const C3DLineSegment& other);
    ~C3DLineSegment() override;

    // Resets axis and range to their defaults and both end points to the origin, without
    // recomputing the end points.
    void Initialize();
    const C3DAxis& GetAxis() const;
    const CRange& GetRange() const;
    // Takes U, V and d from axis if setAxis (not normalised) and the range if setRange, then
    // recomputes the end points; always returns true.
    bool Set3DLineSegment(const C3DAxis& axis, const CRange& range, bool setAxis, bool setRange);
    // endPoints[0] and [1] receive the start and end point (components only; tags stay).
    void GetEndPoint3D(C3DCoordinate* endPoints) const;
    // Makes the segment run from start to end: foot of the perpendicular from the origin as the
    // base, V along end - start, the range the two positions. Equal points leave the direction
    // without length (zero vector) and the default range (0.0, 1.0).
    void SetEndPoint3D(const C3DCoordinate& start, const C3DCoordinate& end);
    // Foot of the perpendicular from point onto the (unbounded) line and the distance to it.
    void GetDistancePoint2Line(const C3DCoordinate& point,
                               C3DCoordinate& foot,
                               double& distance) const;
    // The angle in [0, pi] between the two directions (antiparallel gives pi); false (angle
    // untouched) when a direction is zero or not a number.
    bool GetAngleLine2Line(const C3DLineSegment& other, CAngle& angle) const;
    // Closest points of the two unbounded lines, closest[0] on this one, closest[1] on other's,
    // and their distance; for parallel lines both points are the foot on other's line of this
    // line's base point. False when the eigen solver fails (outputs untouched) or the distance is
    // not a number (outputs written).
    bool GetDistanceLine2Line(const C3DLineSegment& other,
                              C3DCoordinate* closest,
                              double& distance) const;
    // Every point x becomes (rotation x + translation) / scale, so the length is scaled by
    // 1 / scale; false (segment unchanged) for a zero or NaN scale, a rotation that collapses the
    // direction, or an end point that cannot be moved.
    bool Transform(const CRotateMatrix& rotation, const C3DVector& translation, double scale);
    // The extent along the axis seen by the observations: each observed end point is carried
    // onto the image of the axis and lifted back onto the axis, and the farthest pair of the
    // positions found is kept. The axis is unchanged; observations whose axis image has a point
    // at depth 0 or whose lift is undefined or not finite are left out; with none left the range is
    // (0.0, 0.0) and both end points the base point. Always returns true.
    bool CalcRange(const C1DArray<SImageLine>& observations);
    // The image of the segment in camera, the part behind the camera cut off at depth 1e-8. With
    // observed (two image points) and residual both given, *residual = the larger distance of
    // the two from the image segment's line. False when the whole segment lies behind the camera
    // or an end point at depth 0 (segment untouched), or when the residual is not a number
    // (segment and *residual written). The segment itself never changes.
    bool Reproject(const CCameraParam& camera,
                   C2DLineSegment& segment,
                   const C2DCoordinate* observed,
                   double* residual) const;

  private:
    // Recomputes the end points from the axis at the range; returns true.
    bool BeConsistent();
    // Replaces segment by its description in camera's frame, an end behind the camera moved
    // along the segment to depth 1e-8; false (segment unchanged) when both ends lie behind.
    bool AdjustLineSegmentWithCamera(const CCameraParam& camera, C3DLineSegment& segment) const;

    C3DAxis m_axis;
    CRange m_range;
    C3DCoordinate m_endPoints[2];
};

POLYVIEW_BITWISE_RELOCATABLE(C3DLineSegment);
