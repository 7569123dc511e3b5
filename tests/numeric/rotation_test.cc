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
void AxisAngleMatrix(const double* axis, double angle, double* m) {
    const double w = std::cos(angle / 2.0);
    const double s = std::sin(angle / 2.0);
    const double x = axis[0] * s, y = axis[1] * s, z = axis[2] * s;
    // clang-format off
    const double values[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - w * z),     2 * (x * z + w * y),
                              2 * (x * y + w * z),     1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
                              2 * (x * z - w * y),     2 * (y * z + w * x),     1 - 2 * (x * x + y * y)};
    // clang-format on
    for (int i = 0; i < 9; ++i) {
        m[i] = values[i];
    }
}

void RandomAxis(std::mt19937_64& generator, double* axis) {
    std::normal_distribution<double> normal(0.0, 1.0);
    double length = 0.0;
    for (int i = 0; i < 3; ++i) {
        axis[i] = normal(generator);
        length += axis[i] * axis[i];
    }
    for (int i = 0; i < 3; ++i) {
        axis[i] /= std::sqrt(length);
    }
}

// drotvec2mat(drotmat2vec(R)) == R, and the vector's length is the angle in [0, pi].
void ExpectRoundTrip(const double* rotation, double tolerance = kTolerance) {
    double r[3];
    drotmat2vec(rotation, r);
    const double angle = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
    EXPECT_LE(angle, kPi + 1e-12);
    double rebuilt[9];
    drotvec2mat(r, rebuilt);
    for (int i = 0; i < 9; ++i) {
        ASSERT_FALSE(std::isnan(rebuilt[i]));
        EXPECT_NEAR(rebuilt[i], rotation[i], tolerance) << "element " << i;
    }
}

TEST(RotationVector, QuarterTurnAndIdentityThreshold) {
    const double quarter[3] = {kPi / 2.0, 0.0, 0.0};
    double m[9];
    drotvec2mat(quarter, m);
    EXPECT_NEAR(m[5], -1.0, 1e-15);  // R12
    EXPECT_NEAR(m[7], 1.0, 1e-15);   // R21
    EXPECT_NEAR(m[0], 1.0, 1e-15);
    double r[3];
    drotmat2vec(m, r);
    EXPECT_NEAR(r[0], kPi / 2.0, 1e-15);
    EXPECT_NEAR(r[1], 0.0, 1e-15);
    EXPECT_NEAR(r[2], 0.0, 1e-15);

    const double atThreshold[3] = {1e-5, 0.0, 0.0};
    drotvec2mat(atThreshold, m);
    EXPECT_EQ(m[5], 0.0);  // the identity exactly
    EXPECT_EQ(m[0], 1.0);
    const double aboveThreshold[3] = {1.1e-5, 0.0, 0.0};
    drotvec2mat(aboveThreshold, m);
    EXPECT_NEAR(m[5], -1.1e-5, 1e-15);
}

TEST(RotationVector, SmallSkewPartNearIdentityGivesZero) {
    // Angle t has a skew part of length 2 sin t: below 1e-6 for t = 4e-7, above for t = 1e-6.
    const double axis[3] = {0.6, 0.0, 0.8};
    double m[9];
    double r[3];
    AxisAngleMatrix(axis, 4e-7, m);
    drotmat2vec(m, r);
    EXPECT_EQ(r[0], 0.0);
    EXPECT_EQ(r[1], 0.0);
    EXPECT_EQ(r[2], 0.0);
    AxisAngleMatrix(axis, 1e-6, m);
    drotmat2vec(m, r);
    EXPECT_NEAR(r[0], 0.6e-6, 1e-15);
    EXPECT_NEAR(r[2], 0.8e-6, 1e-15);
}

TEST(RotationVector, RoundTripOverRandomRotations) {
    std::mt19937_64 generator(42);
    for (int trial = 0; trial < 200; ++trial) {
        SCOPED_TRACE(trial);
        const CRotateMatrix rotation = RandomRotation(generator);
        double m[9];
        rotation.GetMatrix(m);
        ExpectRoundTrip(m);
    }
}

TEST(RotationVector, RoundTripOverHalfTurnsAndNearHalfTurns) {
    std::mt19937_64 generator(3);
    // A line along +x with foot vector (0, -1, 0) has the frame with rows D, P, D x P:
    // diag(1, -1, -1), the half-turn about x.
    const double frame[9] = {1, 0, 0, 0, -1, 0, 0, 0, -1};
    ExpectRoundTrip(frame);
    double r[3];
    drotmat2vec(frame, r);
    EXPECT_NEAR(std::fabs(r[0]), kPi, 1e-15);

    const double offsets[] = {0.0, 1e-12, 1e-9, 3e-7, 1e-6, 1e-3};
    for (double offset : offsets) {
        for (int trial = 0; trial < 30; ++trial) {
            SCOPED_TRACE(testing::Message() << "pi - " << offset << " trial " << trial);
            double axis[3];
            RandomAxis(generator, axis);
            if (trial < 3) {  // the coordinate axes as well
                axis[0] = axis[1] = axis[2] = 0.0;
                axis[trial] = 1.0;
            }
            double m[9];
            AxisAngleMatrix(axis, kPi - offset, m);
            // Once the skew part (length 2 sin(offset)) carries the axis, its rounding of about
            // 1e-16 limits the axis to about 1e-16 / sin(offset).
            const double tolerance =
                offset > 0.0 ? std::max(kTolerance, 2e-16 / std::sin(offset)) : kTolerance;
            ExpectRoundTrip(m, tolerance);
            drotmat2vec(m, r);
            // The axis comes back (up to sign at an exact half-turn).
            const double along = r[0] * axis[0] + r[1] * axis[1] + r[2] * axis[2];
            EXPECT_NEAR(std::fabs(along), kPi - offset, 1e-9);
            if (offset >= 1e-6) {
                EXPECT_GT(along, 0.0);  // the skew part fixes the sense
            }
        }
    }
}

TEST(RotationVector, RotateMatrixClassAgreesAtHalfTurns) {
    std::mt19937_64 generator(11);
    for (int trial = 0; trial < 20; ++trial) {
        SCOPED_TRACE(trial);
        double axis[3];
        RandomAxis(generator, axis);
        double m[9];
        AxisAngleMatrix(axis, kPi - (trial % 2 == 0 ? 0.0 : 1e-8), m);
        const CRotateMatrix rotation(
            C33Matrix(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]));
        const CRotateMatrix rebuilt = rotation.GetRotateVector().GetRotateMatrix();
        ExpectMatrixNear(rebuilt, rotation, kTolerance);
    }
}

}  // namespace
