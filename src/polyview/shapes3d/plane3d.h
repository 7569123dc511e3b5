#pragma once

#include "polyview/foundations/angle.h"
#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/polyview_export.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/shape3d.h"

// An infinite plane: a unit normal and one point on it. Exchanged with callers as the
// coefficients (a, b, c, d) of a x + b y + c z + d = 0, always with (a, b, c) the unit normal.
class POLYVIEW_EXPORT C3DPlane : public C3DShape {
  public:
    C3DPlane();  // normal (0, 0, 1), point (0, 0, 0) with tag 0
    C3DPlane(const C3DPlane& other);
    // Normalises normal; one that has no direction (zero, infinite or NaN) becomes (0, 0, 1),
    // silently. The point is stored as given (a non-finite point makes every distance NaN).
    C3DPlane(const C3DVector& normal, const C3DCoordinate& point);
    // Assigns normal and point (components only; the stored point's tag stays).
    C3DPlane& operator=(const C3DPlane& other);
    ~C3DPlane() override;

    const C3DVector& GetNormalVector() const;
    const C3DCoordinate& GetPoint() const;
    // Writes a, b, c (the unit normal) and d to params[0..3].
    void GetPlaneParam(double* const params) const;
    // Reads a, b, c, d from params[0..3]: the normal becomes (a, b, c) normalised and the point the
    // plane's crossing with the x axis, else the y axis, else the z axis (tested on the unit
    // normal); when that crossing overflows, the foot of the perpendicular from the origin.
    // Coefficients that describe no plane (a = b = c = 0, any of them infinite or NaN, or a plane
    // too far away to hold) give the default plane; nothing infinite or NaN is ever stored.
    void SetPlaneParam(const double* const params);
    // Orthogonal least-squares plane through the points; its normal's largest-magnitude component
    // is positive. False, plane unchanged, with fewer than 3 points, points that are not finite
    // or too large to square, or when work storage cannot be had. Collinear or coincident points
    // give one of the planes through them.
    bool SetApproximationPlane(const C1DArray<C3DCoordinate>& points);
    // Distance of point from the plane (never negative); foot receives the foot of the
    // perpendicular (components only, its tag stays). A non-finite point gives NaN values.
    double GetDistance(const C3DCoordinate& point, C3DCoordinate& foot) const;
    // Angle between the line's direction and the plane, in degrees within [0, 90] (the degree
    // factor is 180 / 3.14159267, so a line in the plane gives about 4.7e-7). A line without a
    // direction (e.g. a default C3DLine) gives NaN.
    CAngle GetAngle(const C3DLine& line) const;

  private:
    // Normalises the normal; false, with the normal (0, 0, 1), when it has no direction.
    bool BeConsistent();

    C3DVector m_normalVector;
    C3DCoordinate m_point;
};

POLYVIEW_BITWISE_RELOCATABLE(C3DPlane);
