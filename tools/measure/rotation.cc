#include "measure/rotation.h"

#include <cmath>

namespace measure {

std::array<double, 9> RotationFromVector(const Vec3& rotationVector) {
    const CRotateMatrix matrix =
        CRotateVector(C3DVector(rotationVector[0], rotationVector[1], rotationVector[2]))
            .GetRotateMatrix();
    std::array<double, 9> rotation{};
    matrix.GetMatrix(rotation.data());
    return rotation;
}

std::array<double, 9> RotationFromQuaternion(double w, double x, double y, double z) {
    const double norm = std::sqrt(w * w + x * x + y * y + z * z);
    w /= norm;
    x /= norm;
    y /= norm;
    z /= norm;
    // clang-format off
    return {1 - 2 * (y * y + z * z),     2 * (x * y - z * w),     2 * (x * z + y * w),
                2 * (x * y + z * w), 1 - 2 * (x * x + z * z),     2 * (y * z - x * w),
                2 * (x * z - y * w),     2 * (y * z + x * w), 1 - 2 * (x * x + y * y)};
    // clang-format on
}

std::array<double, 4> QuaternionFromRotation(const std::array<double, 9>& r) {
    const double trace = r[0] + r[4] + r[8];
    std::array<double, 4> q{};
    if (trace >= r[0] && trace >= r[4] && trace >= r[8]) {
        const double s = 2.0 * std::sqrt(1.0 + trace);
        q = {0.25 * s, (r[7] - r[5]) / s, (r[2] - r[6]) / s, (r[3] - r[1]) / s};
    } else if (r[0] >= r[4] && r[0] >= r[8]) {
        const double s = 2.0 * std::sqrt(1.0 + r[0] - r[4] - r[8]);
        q = {(r[7] - r[5]) / s, 0.25 * s, (r[1] + r[3]) / s, (r[2] + r[6]) / s};
    } else if (r[4] >= r[8]) {
        const double s = 2.0 * std::sqrt(1.0 + r[4] - r[0] - r[8]);
        q = {(r[2] - r[6]) / s, (r[1] + r[3]) / s, 0.25 * s, (r[5] + r[7]) / s};
    } else {
        const double s = 2.0 * std::sqrt(1.0 + r[8] - r[0] - r[4]);
        q = {(r[3] - r[1]) / s, (r[2] + r[6]) / s, (r[5] + r[7]) / s, 0.25 * s};
    }
    if (q[0] < 0.0) {
        for (double& value : q) {
            value = -value;
        }
    }
    return q;
}

}  // namespace measure
