#pragma once

// The benchmarks build their scenes with the regression test's frozen look-at camera and
// projection, so the two cannot drift apart.
#include "regression/scene_geometry.h"

#include "polyview/polyview.h"

// A camera at centre whose optical axis (z) points at target; its x axis is z x hint (the scene
// helper's up vector is -hint, negated back exactly).
inline CCameraParam BenchCamera(const C3DVector& centre,
                                const C3DVector& target,
                                const C3DVector& hint,
                                double focalLength,
                                const C2DCoordinate& principalPoint) {
    return scene::LookAtCamera(centre,
                               target,
                               focalLength,
                               principalPoint.GetData(0),
                               principalPoint.GetData(1),
                               hint * -1.0);
}

// Pinhole image of a world point.
inline C2DCoordinate BenchProject(const CCameraParam& camera, const C3DVector& pointInWorld) {
    return scene::ProjectPoint(camera, pointInWorld);
}
