#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/polyview_export.h"
#include "polyview/shapes3d/shape3d.h"

// One observation of a point: the calibrated camera of an image and where the point was seen in
// it, in the image units of the camera's focal length and principal point.
struct POLYVIEW_EXPORT SImagePoint {
    CCameraParam cameraParam;
    C2DCoordinate imagePoint;
};

POLYVIEW_BITWISE_RELOCATABLE(SImagePoint);

// A single point in world coordinates.
class POLYVIEW_EXPORT C3DPoint : public C3DShape {
  public:
    C3DPoint();  // (0, 0, 0), tag 0
    C3DPoint(const C3DPoint& other);
    explicit C3DPoint(const C3DCoordinate& point);
    // Assigns the components only; the stored tag stays.
    C3DPoint& operator=(const C3DPoint& other);
    ~C3DPoint() override;

    const C3DCoordinate& GetPoint() const;
    // Assigns the components; the stored tag stays.
    void SetPoint(const C3DCoordinate& point);
    // Resets the point to (0, 0, 0) with tag 0.
    void Initialize();
    // Projects into the camera's image (u = f x / z + cx); with observed and residual both given,
    // *residual = image distance to *observed. False when the depth is not > 0 (outputs untouched)
    // or the residual is negative or NaN (outputs already written).
    bool Reproject(const CCameraParam& camera,
                   C2DCoordinate& imagePoint,
                   const C2DCoordinate* observed,
                   double* residual) const;
    // The point p becomes (rotation p + translation) / scale; false (unchanged) when scale is 0.
    bool Transform(const CRotateMatrix& rotation, const C3DVector& translation, double scale);
    // Triangulates the point nearest to the viewing rays of the observations (two or more) and
    // stores its components. False (unchanged) with fewer than two observations, (nearly)
    // parallel rays, or a point that comes out infinite or not a number (cameras near the double
    // range). Takes nothing from the heap.
    bool CreateFromImagePoints(const C1DArray<SImagePoint>& points);

  private:
    C3DCoordinate m_point;
};

POLYVIEW_BITWISE_RELOCATABLE(C3DPoint);
