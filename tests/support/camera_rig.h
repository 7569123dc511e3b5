#pragma once

#include <cmath>
#include <random>

#include "regression/scene_geometry.h"

#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/foundations/vector3d.h"

// The look-at camera, pinhole projection and camera centre of the frozen scene helper.
using scene::CameraCentre;
using scene::LookAtCamera;
using scene::ProjectPoint;
using scene::QuaternionRotation;

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
