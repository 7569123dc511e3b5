#include "polyview/numeric/rotation.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/rotate_vector.h"
#include "support/camera_rig.h"
#include "support/expect_geometry.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kTolerance = 1e-12;  // rotation entries are O(1); a few hundred ulps

// The rotation by angle about the unit axis, built from a unit quaternion (row-major).
void AxisAngleMatrix(const C3DVector& axis, double angle, double* m) {
    const double w = std::cos(angle / 2.0), s = std::sin(angle / 2.0);
    const double x = axis.GetData(0) * s, y = axis.GetData(1) * s, z = axis.GetData(2) * s;
    // clang-format off
    CRotateMatrix(C33Matrix(1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),
                            2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
                            2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)))
        .GetMatrix(m);
    // clang-format on
}

// drotvec2mat(drotmat2vec(R)) == R with an angle in [0, pi], and the class agrees.
void ExpectRoundTrip(const double* rotation, double tolerance = kTolerance) {
    double r[3];
    drotmat2vec(rotation, r);
    EXPECT_LE(std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]), kPi + 1e-12);
    double rebuilt[9];
    drotvec2mat(r, rebuilt);
    for (int i = 0; i < 9; ++i) {
        ASSERT_FALSE(std::isnan(rebuilt[i]));
        EXPECT_NEAR(rebuilt[i], rotation[i], tolerance) << "element " << i;
    }
    const C33Matrix matrix(rotation[0],
                           rotation[1],
                           rotation[2],
                           rotation[3],
                           rotation[4],
                           rotation[5],
                           rotation[6],
                           rotation[7],
                           rotation[8]);
    ExpectMatrixNear(CRotateMatrix(matrix).GetRotateVector().GetRotateMatrix(), matrix, tolerance);
}

TEST(RotationVector, QuarterTurnAndIdentityThresholds) {
    const double quarter[3] = {kPi / 2.0, 0.0, 0.0};
    double m[9];
    drotvec2mat(quarter, m);
    EXPECT_NEAR(m[5], -1.0, 1e-15);  // R12
    EXPECT_NEAR(m[7], 1.0, 1e-15);   // R21
    double r[3];
    drotmat2vec(m, r);
    ExpectVectorNear(C3DVector(r), C3DVector(kPi / 2.0, 0.0, 0.0), 1e-15);

    const double atThreshold[3] = {1e-5, 0.0, 0.0};
    drotvec2mat(atThreshold, m);
    EXPECT_EQ(m[5], 0.0);  // the identity exactly
    const double aboveThreshold[3] = {1.1e-5, 0.0, 0.0};
    drotvec2mat(aboveThreshold, m);
    EXPECT_NEAR(m[5], -1.1e-5, 1e-15);

    // Angle t has a skew part of length 2 sin t: below 1e-6 for t = 4e-7, above for t = 1e-6.
    const C3DVector axis(0.6, 0.0, 0.8);
    AxisAngleMatrix(axis, 4e-7, m);
    drotmat2vec(m, r);
    ExpectVectorNear(C3DVector(r), C3DVector(0.0, 0.0, 0.0), 0.0);
    AxisAngleMatrix(axis, 1e-6, m);
    drotmat2vec(m, r);
    ExpectVectorNear(C3DVector(r), axis * 1e-6, 1e-15);
}

TEST(RotationVector, RoundTripOverRandomRotations) {
    std::mt19937_64 generator(42);
    for (int trial = 0; trial < 200; ++trial) {
        SCOPED_TRACE(trial);
        double m[9];
        RandomRotation(generator).GetMatrix(m);
        ExpectRoundTrip(m);
    }
}

TEST(RotationVector, RoundTripOverHalfTurnsAndNearHalfTurns) {
    // A line along +x with foot vector (0, -1, 0) has the frame with rows D, P, D x P:
    // diag(1, -1, -1), the half-turn about x.
    const double frame[9] = {1, 0, 0, 0, -1, 0, 0, 0, -1};
    ExpectRoundTrip(frame);
    double r[3];
    drotmat2vec(frame, r);
    EXPECT_NEAR(std::fabs(r[0]), kPi, 1e-15);

    std::mt19937_64 generator(3);
    for (double offset : {0.0, 1e-12, 1e-9, 3e-7, 1e-6, 1e-3}) {
        for (int trial = 0; trial < 30; ++trial) {
            SCOPED_TRACE(testing::Message() << "pi - " << offset << " trial " << trial);
            C3DVector axis = RandomRotation(generator).GetRowVector(0);
            if (trial < 3) {  // the coordinate axes as well
                axis.SetVector(trial == 0, trial == 1, trial == 2);
            }
            double m[9];
            AxisAngleMatrix(axis, kPi - offset, m);
            // Once the skew part (length 2 sin(offset)) carries the axis, its rounding of about
            // 1e-16 limits the axis to about 1e-16 / sin(offset).
            ExpectRoundTrip(
                m, offset > 0.0 ? std::max(kTolerance, 2e-16 / std::sin(offset)) : kTolerance);
            drotmat2vec(m, r);
            const double along = axis.GetDotProduct(C3DVector(r));
            EXPECT_NEAR(std::fabs(along), kPi - offset, 1e-9);  // up to sign at an exact half-turn
            if (offset >= 1e-6) {
                EXPECT_GT(along, 0.0);  // the skew part fixes the sense
            }
        }
    }
}

}  // namespace
