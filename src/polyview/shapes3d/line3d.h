#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/polyview_export.h"
#include "polyview/shapes3d/shape3d.h"

// One observation of a line: the calibrated camera of an image and the segment seen in it, in the
// image units of the camera's focal length and principal point. The segment's line fixes the 3D
// line; its end points fix a segment's extent (C3DLineSegment::CalcRange).
struct POLYVIEW_EXPORT SImageLine {
    CCameraParam cameraParam;
    C2DLineSegment lineSegment;
};

POLYVIEW_BITWISE_RELOCATABLE(SImageLine);

// An infinite straight line in world coordinates, held as a C3DAxis d U + t V.
class POLYVIEW_EXPORT C3DLine : public C3DShape {
  public:
    C3DLine();  // the default axis: zero U and V, distance 0.0
    C3DLine(const C3DLine& other);
    // Copies the axis as it is (nothing normalised).
    explicit C3DLine(const C3DAxis& axis);
    // Assigns U, V (components only) and the distance.
    C3DLine& operator=(const C3DLine& other);
    ~C3DLine() override;

    const C3DAxis& Get3DAxis() const;
    // The unit direction V of the axis.
    const C3DVector& GetDirectionVector() const;
    // The image of the line in camera: the coefficients (a, b, c) of a u + b v + c = 0, not
    // normalised; (0, 0, 0) for a line through the camera centre. No test that the line lies in
    // front of the camera; always returns true.
    bool Reproject(const CCameraParam& camera, C2DLine& line) const;
    // Every point x of the line becomes (rotation x + translation) / scale; false (line unchanged)
    // for a zero or NaN scale or a rotation that collapses the direction.
    bool Transform(const CRotateMatrix& rotation, const C3DVector& translation, double scale);
    // Least-squares intersection of the planes through each camera centre and its observed image
    // line; V's largest-magnitude component comes out positive, U perpendicular to V, d >= 0.
    // False (line unchanged) with fewer than two observations, planes too close to one
    // orientation to fix the direction, degenerate observations that give no finite line, or
    // when work storage cannot be had.
    bool CreateFromImageLines(const C1DArray<SImageLine>& observations);

  private:
    C3DAxis m_axis;
};

POLYVIEW_BITWISE_RELOCATABLE(C3DLine);
