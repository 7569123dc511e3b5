#pragma once

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/array1d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/range.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "support/camera_rig.h"
#include "support/expect_geometry.h"

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

// A record with only generator `which` observed (slot 1 of zero length), its segment running so
// that (dy, -dx) of its direction points towards the cylinder's image, or the other way when
// reversed.
inline SImageCylinder OneEdgeRecord(const SKnownCylinder& cylinder,
                                    const CCameraParam& camera,
                                    int which,
                                    bool reversed = false) {
    const SImageCylinder both = ExactRecord(cylinder, camera);
    C2DCoordinate p0;
    C2DCoordinate p1;
    both.edgeSegment[which].GetEndPoints(p0, p1);
    C2DCoordinate other0;
    C2DCoordinate other1;
    both.edgeSegment[1 - which].GetEndPoints(other0, other1);
    const double dx = p1.GetData(0) - p0.GetData(0);
    const double dy = p1.GetData(1) - p0.GetData(1);
    const double towards =
        dy * (other0.GetData(0) - p0.GetData(0)) - dx * (other0.GetData(1) - p0.GetData(1));
    SImageCylinder record;
    record.cameraParam = camera;
    if ((towards < 0.0) != reversed) {
        record.edgeSegment[0].SetEndPoints(p1, p0);
    } else {
        record.edgeSegment[0].SetEndPoints(p0, p1);
    }
    record.edgeSegment[1].SetEndPoints(p0, p0);  // not observed
    return record;
}

// n cameras (n <= 6) around the cylinder's middle at distances near `distance`, spread in
// azimuth around the axis and in elevation along it, each looking at the middle, focal length f,
// principal point (cx, cy). The camera's up vector is the axis direction turned by `roll` about
// the radial direction: roll 0 shows the axis nearly vertical in the image, pi / 2 nearly
// horizontal. With aimAside the cameras look at a point that far beside the middle (across the
// axis and across the line of sight) instead, so that their optical axes miss the axis.
inline std::vector<CCameraParam> CamerasAround(const SKnownCylinder& cylinder,
                                               int n,
                                               double distance,
                                               double roll,
                                               double f = 1000.0,
                                               double cx = 640.0,
                                               double cy = 480.0,
                                               double aimAside = 0.0) {
    const C3DVector middle = cylinder.AxisPoint(0.5 * (cylinder.start + cylinder.end));
    C3DVector helper(0.0, 0.0, 1.0);
    if (std::fabs(cylinder.direction.GetDotProduct(helper)) > 0.9) {
        helper = C3DVector(1.0, 0.0, 0.0);
    }
    const C3DVector e1 = cylinder.direction.GetCrossProduct(helper).GetNormalizedVector();
    const C3DVector e2 = cylinder.direction.GetCrossProduct(e1);
    const double azimuths[6] = {0.0, 1.9, 3.7, 5.1, 0.9, 2.8};        // radians around the axis
    const double elevations[6] = {0.35, -0.25, 0.1, -0.4, 0.2, 0.5};  // along the axis, radians
    const double scales[6] = {1.0, 1.3, 0.8, 1.1, 1.6, 0.9};
    std::vector<CCameraParam> cameras;
    for (int i = 0; i < n; ++i) {
        const C3DVector radial = e1 * std::cos(azimuths[i]) + e2 * std::sin(azimuths[i]);
        const C3DVector offset =
            (radial * std::cos(elevations[i]) + cylinder.direction * std::sin(elevations[i])) *
            (distance * scales[i]);
        const C3DVector up = cylinder.direction * std::cos(roll) +
                             cylinder.direction.GetCrossProduct(radial) * std::sin(roll);
        const C3DVector target = middle + cylinder.direction.GetCrossProduct(radial) * aimAside;
        cameras.push_back(LookAtCamera(middle + offset, target, f, cx, cy, up));
    }
    return cameras;
}

// The records of a list.
inline C1DArray<SImageCylinder> Records(const std::vector<SImageCylinder>& list) {
    C1DArray<SImageCylinder> records;
    records.SetSize(static_cast<int>(list.size()));
    for (int i = 0; i < records.GetSize(); ++i) {
        records[i] = list[static_cast<size_t>(i)];
    }
    return records;
}

// One exact record (ExactRecord) per camera.
inline C1DArray<SImageCylinder> ExactRecords(const SKnownCylinder& cylinder,
                                             const std::vector<CCameraParam>& cameras) {
    std::vector<SImageCylinder> list;
    for (const CCameraParam& camera : cameras) {
        list.push_back(ExactRecord(cylinder, camera));
    }
    return Records(list);
}

// Axis, range and radius bit for bit the same.
inline void ExpectSameCylinder(const C3DCylinder& actual, const C3DCylinder& expected) {
    ExpectVectorNear(actual.GetAxis().GetUVector(), expected.GetAxis().GetUVector(), 0.0);
    ExpectVectorNear(actual.GetAxis().GetVVector(), expected.GetAxis().GetVVector(), 0.0);
    EXPECT_TRUE(SameBits(actual.GetAxis().GetDistance(), expected.GetAxis().GetDistance()));
    EXPECT_TRUE(
        SameBits(actual.GetRange().GetStartPosition(), expected.GetRange().GetStartPosition()));
    EXPECT_TRUE(SameBits(actual.GetRange().GetEndPosition(), expected.GetRange().GetEndPosition()));
    EXPECT_TRUE(SameBits(actual.GetRadius(), expected.GetRadius()));
}
