#pragma once

#include <array>

#include "measure/scene.h"

namespace measure {

// The rotation matrix (row-major) of a rotation vector: the unit axis times the angle in radians.
std::array<double, 9> RotationFromVector(const Vec3& rotationVector);

// The rotation of a quaternion (w, x, y, z), normalised first; camera point = R X + T when the
// quaternion is the world-to-camera rotation, as in COLMAP's images.txt.
std::array<double, 9> RotationFromQuaternion(double w, double x, double y, double z);

// The unit quaternion (w, x, y, z) of a rotation, with w >= 0 (Shepperd's method: the largest of
// the four squared components is taken from the diagonal, the others from off-diagonal sums).
std::array<double, 4> QuaternionFromRotation(const std::array<double, 9>& rotation);

}  // namespace measure
