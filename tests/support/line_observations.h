#pragma once

#include <cmath>
#include <vector>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/vector2d.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/shapes3d/line3d.h"
#include "support/camera_rig.h"
#include "support/expect_geometry.h"

// The observation of the 3D segment from start to end in camera: its projected end points, each
// moved by the given image offset (pixel noise).
inline SImageLine ObserveSegment(const CCameraParam& camera,
                                 const C3DVector& start,
                                 const C3DVector& end,
                                 const C2DVector& startOffset = C2DVector(0.0, 0.0),
                                 const C2DVector& endOffset = C2DVector(0.0, 0.0)) {
    const C2DCoordinate imageStart(ProjectPoint(camera, start) + startOffset,
                                   WorldCoordinateSystem);
    const C2DCoordinate imageEnd(ProjectPoint(camera, end) + endOffset, WorldCoordinateSystem);
    return {camera, C2DLineSegment(imageStart, imageEnd)};
}

// count cameras of focal length 1000 (principal point (640, 480)), at distance from the point
// target of a line with unit direction, spread over half a turn around the line (so that no two
// viewing planes coincide) and looking at target.
inline std::vector<CCameraParam> CamerasAroundLine(const C3DVector& target,
                                                   const C3DVector& direction,
                                                   double distance,
                                                   int count) {
    // Two unit vectors perpendicular to the direction.
    C3DVector side = direction.GetCrossProduct(C3DVector(0.0, 0.0, 1.0));
    if (side.GetNorm() < 0.1) {
        side = direction.GetCrossProduct(C3DVector(1.0, 0.0, 0.0));
    }
    side = side.GetNormalizedVector();
    const C3DVector other = direction.GetCrossProduct(side);
    std::vector<CCameraParam> cameras;
    for (int i = 0; i < count; ++i) {
        const double angle = 0.3 + 3.14159 * i / count;
        const C3DVector centre = target + side * (distance * std::cos(angle)) +
                                 other * (distance * std::sin(angle)) +
                                 direction * (0.2 * distance * std::sin(7.0 * i));
        cameras.push_back(LookAtCamera(centre, target, 1000.0, 640.0, 480.0));
    }
    return cameras;
}
