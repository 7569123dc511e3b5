#pragma once

// The one scene helper of the regression test, the benchmarks and the unit tests' support: a
// look-at camera, pinhole projection, and the silhouette edges of a known cylinder. Frozen: the
// recorded regression outputs and the benchmark inputs depend on every operation here, so its
// arithmetic must not change.

#include <cmath>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/range.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/geometry2d/line_segment2d.h"

namespace scene {

// A camera at centreInWorld looking at targetInWorld (optical axis +z towards the target), with
// the image y axis roughly along -up.
inline CCameraParam LookAtCamera(const C3DVector& centreInWorld,
                                 const C3DVector& targetInWorld,
                                 double focalLength,
                                 double cx = 0.0,
                                 double cy = 0.0,
                                 const C3DVector& up = C3DVector(0.0, 0.0, 1.0)) {
    const C3DVector zAxis = (targetInWorld - centreInWorld).GetNormalizedVector();
    C3DVector xAxis = zAxis.GetCrossProduct(up * -1.0);
    if (xAxis.GetNorm() < 1e-9) {
        xAxis = zAxis.GetCrossProduct(C3DVector(0.0, 1.0, 0.0));
    }
    xAxis = xAxis.GetNormalizedVector();
    const C3DVector yAxis = zAxis.GetCrossProduct(xAxis);
    // Rows of camFromWorld are the camera axes in world coordinates.
    const CRotateMatrix camFromWorld(C33Matrix(xAxis.GetData(0),
                                               xAxis.GetData(1),
                                               xAxis.GetData(2),
                                               yAxis.GetData(0),
                                               yAxis.GetData(1),
                                               yAxis.GetData(2),
                                               zAxis.GetData(0),
                                               zAxis.GetData(1),
                                               zAxis.GetData(2)));
    const C3DVector translation = (camFromWorld * centreInWorld) * -1.0;
    return CCameraParam(CIntrinsicParam(focalLength, C2DCoordinate(cx, cy)),
                        CExtrinsicParam(camFromWorld, translation));
}

// The rotation of the unit quaternion (w, x, y, z).
inline CRotateMatrix QuaternionRotation(double w, double x, double y, double z) {
    return CRotateMatrix(C33Matrix(1 - 2 * (y * y + z * z),
                                   2 * (x * y - w * z),
                                   2 * (x * z + w * y),
                                   2 * (x * y + w * z),
                                   1 - 2 * (x * x + z * z),
                                   2 * (y * z - w * x),
                                   2 * (x * z - w * y),
                                   2 * (y * z + w * x),
                                   1 - 2 * (x * x + y * y)));
}

// Pinhole projection of a world point, computed independently of the library's shapes.
inline C2DCoordinate ProjectPoint(const CCameraParam& camera, const C3DVector& pointInWorld) {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const C3DVector pointInCam = pose.GetRotateMatrix() * pointInWorld + pose.GetTranslateVector();
    const double f = camera.GetIntrinsicParam().GetFocalLengthParam();
    const C2DCoordinate principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
    return C2DCoordinate(f * pointInCam.GetData(0) / pointInCam.GetData(2) + principal.GetData(0),
                         f * pointInCam.GetData(1) / pointInCam.GetData(2) + principal.GetData(1));
}

// The camera centre in world coordinates, -R^T T.
inline C3DVector CameraCentre(const CCameraParam& camera) {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    return (pose.GetRotateMatrix().GetTransposedMatrix() * pose.GetTranslateVector()) * -1.0;
}

// A cylinder described independently of the library: axis points base + t * direction (unit
// direction), covering the positions start..end, with the given radius.
struct SKnownCylinder {
    C3DVector base;
    C3DVector direction;
    double radius;
    double start;
    double end;

    C3DVector AxisPoint(double t) const { return base + direction * t; }
};

// The library cylinder of a known one: the axis by the foot of the perpendicular from the
// origin, positions shifted to be measured from that foot.
inline C3DCylinder MakeCylinder(const SKnownCylinder& known) {
    const double along = known.base.GetDotProduct(known.direction);
    const C3DVector foot = known.base - known.direction * along;
    const C3DAxis axis(foot.GetNormalizedVector(), known.direction, foot.GetNorm());
    C3DCylinder cylinder;
    cylinder.Set3DCylinder(
        axis, CRange(known.start + along, known.end + along), known.radius, true, true, true);
    return cylinder;
}

// The two generators (surface lines) along which viewing rays from centreInWorld graze the
// cylinder, as offsets from the axis perpendicular to it: with h the distance of the centre from
// the axis and e the unit vector from the axis towards it, the tangent points of the cross
// section lie at r (cos(th) e +- sin(th) (direction x e)), cos(th) = r / h. False when the centre
// is not outside the surface.
inline bool SilhouetteOffsets(const SKnownCylinder& cylinder,
                              const C3DVector& centreInWorld,
                              C3DVector offsets[2]) {
    const C3DVector fromBase = centreInWorld - cylinder.base;
    const C3DVector across =
        fromBase - cylinder.direction * fromBase.GetDotProduct(cylinder.direction);
    const double h = across.GetNorm();
    if (!(h > std::fabs(cylinder.radius))) {
        return false;
    }
    const C3DVector e = across / h;
    const C3DVector side = cylinder.direction.GetCrossProduct(e);
    const double cosine = cylinder.radius / h;
    const double sine = std::sqrt(1.0 - cosine * cosine);
    offsets[0] = (e * cosine + side * sine) * cylinder.radius;
    offsets[1] = (e * cosine - side * sine) * cylinder.radius;
    return true;
}

// Where the perpendicular to the axis image through the image of the axis point at t meets the
// image of generator `which`: the observed end point whose foot on the axis image is exactly
// the image of that axis point.
inline C2DCoordinate SilhouettePointAt(const SKnownCylinder& cylinder,
                                       const CCameraParam& camera,
                                       int which,
                                       double t) {
    C3DVector offsets[2];
    SilhouetteOffsets(cylinder, CameraCentre(camera), offsets);
    const C2DCoordinate axis0 = ProjectPoint(camera, cylinder.AxisPoint(cylinder.start));
    const C2DCoordinate axis1 = ProjectPoint(camera, cylinder.AxisPoint(cylinder.end));
    const C2DCoordinate onAxis = ProjectPoint(camera, cylinder.AxisPoint(t));
    const C2DCoordinate g0 =
        ProjectPoint(camera, cylinder.AxisPoint(cylinder.start) + offsets[which]);
    const C2DCoordinate g1 =
        ProjectPoint(camera, cylinder.AxisPoint(cylinder.end) + offsets[which]);
    const double dx = axis1.GetData(0) - axis0.GetData(0);
    const double dy = axis1.GetData(1) - axis0.GetData(1);
    const double px = -dy;  // perpendicular to the axis image
    const double py = dx;
    const double ex = g1.GetData(0) - g0.GetData(0);
    const double ey = g1.GetData(1) - g0.GetData(1);
    // onAxis + lambda (px, py) = g0 + mu (ex, ey), solved for lambda by Cramer's rule.
    const double rx = g0.GetData(0) - onAxis.GetData(0);
    const double ry = g0.GetData(1) - onAxis.GetData(1);
    const double det = px * (-ey) - (-ex) * py;
    const double lambda = (rx * (-ey) - (-ex) * ry) / det;
    return C2DCoordinate(onAxis.GetData(0) + lambda * px, onAxis.GetData(1) + lambda * py);
}

// The record of camera with both silhouette edges running from the image of position
// cylinder.start to that of cylinder.end, end points placed as SilhouettePointAt does.
inline SImageCylinder ExactRecord(const SKnownCylinder& cylinder, const CCameraParam& camera) {
    SImageCylinder record;
    record.cameraParam = camera;
    for (int which = 0; which < 2; ++which) {
        record.edgeSegment[which].SetEndPoints(
            SilhouettePointAt(cylinder, camera, which, cylinder.start),
            SilhouettePointAt(cylinder, camera, which, cylinder.end));
    }
    return record;
}

}  // namespace scene
