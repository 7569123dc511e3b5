#pragma once

#include <cmath>
#include <vector>

#include "regression/scene_geometry.h"
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

// The known cylinder, its library form and its exact silhouette records come from the frozen
// scene helper.
using scene::ExactRecord;
using scene::MakeCylinder;
using scene::SilhouetteOffsets;
using scene::SKnownCylinder;

// A record with only generator `which` observed (slot 1 of zero length), its segment running so
// that (dy, -dx) of its direction points towards the cylinder's image, or the other way when
// reversed.
inline SImageCylinder OneEdgeRecord(const SKnownCylinder& cylinder,
                                    const CCameraParam& camera,
                                    int which,
                                    bool reversed = false) {
    const SImageCylinder both = ExactRecord(cylinder, camera);
    C2DCoordinate p[2], other[2];
    both.edgeSegment[which].GetEndPoints(p[0], p[1]);
    both.edgeSegment[1 - which].GetEndPoints(other[0], other[1]);
    const C2DVector along = p[1] - p[0];
    const C2DVector across = other[0] - p[0];
    const double towards =
        along.GetData(1) * across.GetData(0) - along.GetData(0) * across.GetData(1);
    const bool turn = (towards < 0.0) != reversed;
    return {camera, {C2DLineSegment(p[turn], p[!turn]), C2DLineSegment(p[0], p[0])}};
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
                                               double aimAside = 0.0,
                                               double f = 1000.0,
                                               double cx = 640.0,
                                               double cy = 480.0) {
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
    return ToArray(list);
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

// Reaches the cylinder's private line form of the silhouette and its derived members.
class C3DCylinderTestPeer {
  public:
    static bool ProjectedLines(const C3DCylinder& cylinder,
                               const CCameraParam& camera,
                               C2DLine* lines) {
        return cylinder.CalcProjectedEdge(camera, lines);
    }
    // Axis, range, radius, then the derived start circle (centre, radius, normal) and height.
    static std::vector<double> Values(const C3DCylinder& c) {
        const C3DCircle& circle = c.m_startCircle;
        std::vector<double> values = {c.m_axis.GetDistance(),
                                      c.m_range.GetStartPosition(),
                                      c.m_range.GetEndPosition(),
                                      c.m_radius,
                                      circle.GetRadius(),
                                      c.m_height};
        for (const C3DVector& v : {c.m_axis.GetUVector(),
                                   c.m_axis.GetVVector(),
                                   C3DVector(circle.GetCenter()),
                                   circle.GetNormalVector()}) {
            values.insert(values.end(), {v.GetData(0), v.GetData(1), v.GetData(2)});
        }
        return values;
    }
};

// Every member, the derived ones included, bit for bit the same.
inline void ExpectSameCylinder(const C3DCylinder& actual, const C3DCylinder& expected) {
    const std::vector<double> a = C3DCylinderTestPeer::Values(actual);
    const std::vector<double> e = C3DCylinderTestPeer::Values(expected);
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_TRUE(SameBits(a[i], e[i])) << "value " << i << ": " << a[i] << ", was " << e[i];
    }
}
