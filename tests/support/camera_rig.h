#pragma once

#include <cmath>
#include <random>

#include "regression/scene_geometry.h"

#include "polyview/camera/camera.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/foundations/vector3d.h"

using scene::QuaternionRotation;

// The library's look-at camera (CCamera::CreateLookAt) as a pinhole camera; the default one when
// there is none.
inline CCameraParam LookAtCamera(const C3DVector& centre,
                                 const C3DVector& target,
                                 double focalLength,
                                 double cx = 0.0,
                                 double cy = 0.0,
                                 const C3DVector& up = C3DVector(0.0, 0.0, 1.0)) {
    CCamera camera;
    CCamera::CreateLookAt(centre, target, up, focalLength, C2DCoordinate(cx, cy), 0, 0, camera);
    return camera.GetCameraParam();
}

// The ideal pixel of a world point (CCamera::ProjectIdeal); (NaN, NaN) behind the camera.
inline C2DCoordinate ProjectPoint(const CCameraParam& camera, const C3DVector& point) {
    C2DCoordinate pixel(std::nan(""), std::nan(""));
    CCamera(camera, 0, 0).ProjectIdeal(point, pixel);
    return pixel;
}

// A uniformly random rotation (from a random unit quaternion), for a seeded generator.
inline CRotateMatrix RandomRotation(std::mt19937_64& generator) {
    std::normal_distribution<double> normal(0.0, 1.0);
    double q[4];
    double length = 0.0;
    for (double& value : q) {
        value = normal(generator);
        length += value * value;
    }
    length = std::sqrt(length);
    return QuaternionRotation(q[0] / length, q[1] / length, q[2] / length, q[3] / length);
}
