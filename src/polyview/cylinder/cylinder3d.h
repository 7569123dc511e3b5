#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/range.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/polyview_export.h"
#include "polyview/shapes3d/circle3d.h"
#include "polyview/shapes3d/shape3d.h"

// One observation of a cylinder: the calibrated camera of an image and the two silhouette edges
// picked in it, in either order. An edge of length 0.0 counts as not observed.
struct POLYVIEW_EXPORT SImageCylinder {
    CCameraParam cameraParam;
    C2DLineSegment edgeSegment[2];
};

POLYVIEW_BITWISE_RELOCATABLE(SImageCylinder);

// A finite right circular cylinder: a centre line (C3DAxis), the stretch [s, e] of axis positions
// that it covers (CRange, no order imposed) and a radius (unchecked). The start circle (centre at
// position s, normal V) and the height |s - e| are derived after every change.
class POLYVIEW_EXPORT C3DCylinder : public C3DShape {
  public:
    C3DCylinder();  // default axis (distance 0), range (0, 1), radius 1.0
    C3DCylinder(const C3DCylinder& other);
    C3DCylinder& operator=(const C3DCylinder& other);
    ~C3DCylinder() override;

    const C3DAxis& GetAxis() const { return m_axis; }
    const CRange& GetRange() const { return m_range; }
    double GetRadius() const { return m_radius; }

    // Takes the axis (as given, not normalised), the range and the radius, each only where its
    // flag is set, then re-derives the start circle and height. Validates nothing; always true.
    bool Set3DCylinder(const C3DAxis& axis,
                       const CRange& range,
                       double radius,
                       bool setAxis,
                       bool setRange,
                       bool setRadius);
    // Resets to the default axis, range (0, 1) and radius 1.0.
    void Initialize();
    // Every point x goes to (rotation x + translation) / scale and the radius is divided by
    // scale. False, cylinder unchanged, for a zero or NaN scale or an axis that cannot be moved.
    bool Transform(const CRotateMatrix& rotation, const C3DVector& translation, double scale);
    // The axis points at s and e. False, outputs untouched, when the axis distance or the radius
    // is 0.0 or not a number.
    bool GetEndPoint3D(C3DCoordinate& start, C3DCoordinate& end) const;
    // The axis points at s and e projected into camera's image (x and y written; no depth test).
    // False, outputs untouched, when GetEndPoint3D fails.
    bool GetEndPoint2D(const CCameraParam& camera, C2DCoordinate& start, C2DCoordinate& end) const;
    // Projects the cylinder into camera's image: edges[0] and edges[1] receive the silhouette
    // edges between the end circles, centerLine the projected axis segment. With observed (four
    // points, two on each edge in either pairing), distances (four) and maxDistance all given,
    // the pairing with the smaller sum of point-to-edge-line distances is reported (the first
    // two values belong to edge 0) with their maximum. False when the silhouette cannot be
    // formed (camera inside the cylinder or on its axis line, no axis; nothing written) or the
    // centre line cannot be projected (edges already written); edges null is refused.
    bool Reproject(const CCameraParam& camera,
                   C2DLineSegment& centerLine,
                   C2DLineSegment* const edges,
                   const C2DCoordinate* observed,
                   double* distances,
                   double* maxDistance) const;

    // Reconstructs axis and radius from the silhouette edges, by tangent planes when fullFit,
    // else by the centre lines of the edge pairs, then the range with CalcRange. False with the
    // cylinder unchanged when the observations do not determine axis and radius (an overflowing
    // radius or axis point included); false with the new axis and radius but the old range when
    // only the range cannot be found.
    bool CreateFromImageCylinder(const C1DArray<SImageCylinder>& imageCylinders, bool fullFit);
    // Sets the range to the span of axis positions that the observed edge end points reach.
    // False, range unchanged, when no observation yields a position.
    bool CalcRange(const C1DArray<SImageCylinder>& imageCylinders);

  private:
    friend class C3DCylinderTestPeer;  // the unit tests reach the private projection forms

    bool BeConsistent();
    bool CalcProjectedEdge(const CCameraParam& camera, C2DLineSegment* const edges) const;
    bool CalcProjectedEdge(const CCameraParam& camera, C2DLine* const lines) const;
    bool CreateTempCylinder(const C1DArray<SImageCylinder>& imageCylinders);
    bool CreateCylinder(const C1DArray<SImageCylinder>& imageCylinders);
    // The axis end points ends[0..1] (GetEndPoint3D) projected as GetEndPoint2D does.
    static void ProjectEndPoints(const CCameraParam& camera,
                                 const C3DCoordinate* ends,
                                 C2DCoordinate& start,
                                 C2DCoordinate& end);
    bool CalcRamda(const SImageCylinder& imageCylinder,
                   const C3DCoordinate* ends,
                   double* const ramda) const;

    C3DAxis m_axis;
    CRange m_range;
    double m_radius;
    C3DCircle m_startCircle;  // derived: centre at position s, the radius, normal V
    double m_height;          // derived: |s - e|
};

POLYVIEW_BITWISE_RELOCATABLE(C3DCylinder);
