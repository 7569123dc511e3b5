#include "polyview/numeric/rotation.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "polyview/foundations/rotate_matrix.h"
#include "support/camera_rig.h"
#include "support/expect_geometry.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kTolerance = 1e-12;  // rotation entries are O(1); a few hundred ulps

// The rotation by angle about the unit axis, from its unit quaternion.
CRotateMatrix AxisAngle(const C3DVector& axis, double angle) {
    const C3DVector q = axis * std::sin(angle / 2.0);
    return QuaternionRotation(std::cos(angle / 2.0), q.GetData(0), q.GetData(1), q.GetData(2));
}

// drotvec2mat(drotmat2vec(R)) == R with an angle in [0, pi]; returns r. (The class forms, which
// take no cut-off near the identity, have their round trips in the camera tests.)
C3DVector ExpectRoundTrip(const CRotateMatrix& rotation, double tolerance = kTolerance) {
    double m[9], r[3], rebuilt[9];
    rotation.GetMatrix(m);
    drotmat2vec(m, r);
    EXPECT_LE(C3DVector(r).GetNorm(), kPi + 1e-12);
    drotvec2mat(r, rebuilt);
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(rebuilt[i], m[i], tolerance) << "element " << i;  // fails on NaN as well
    }
    return C3DVector(r);
}

TEST(RotationVector, QuarterTurnAndIdentityThresholds) {
    const C3DVector quarter = ExpectRoundTrip(AxisAngle(C3DVector(1, 0, 0), kPi / 2.0));
    ExpectVectorNear(quarter, C3DVector(kPi / 2.0, 0.0, 0.0), 1e-15);
    double m[9];
    const double atThreshold[3] = {1e-5, 0.0, 0.0};
    drotvec2mat(atThreshold, m);
    EXPECT_EQ(m[5], 0.0);  // the identity exactly
    const double aboveThreshold[3] = {1.1e-5, 0.0, 0.0};
    drotvec2mat(aboveThreshold, m);
    EXPECT_NEAR(m[5], -1.1e-5, 1e-15);
    // Angle t has a skew part of length 2 sin t: below 1e-6 for t = 4e-7, above for t = 1e-6.
    const C3DVector axis(0.6, 0.0, 0.8);
    double r[3];
    AxisAngle(axis, 4e-7).GetMatrix(m);
    drotmat2vec(m, r);
    ExpectVectorNear(C3DVector(r), C3DVector(0.0, 0.0, 0.0), 0.0);
    AxisAngle(axis, 1e-6).GetMatrix(m);
    drotmat2vec(m, r);
    ExpectVectorNear(C3DVector(r), axis * 1e-6, 1e-15);
}

TEST(RotationVector, RoundTripAtAndNearHalfTurnsAndAtGeneralAngles) {
    // A line along +x with foot vector (0, -1, 0) has the frame with rows D, P, D x P:
    // diag(1, -1, -1), the half-turn about x.
    const C3DVector r = ExpectRoundTrip(CRotateMatrix(C33Matrix(1, 0, 0, 0, -1, 0, 0, 0, -1)));
    EXPECT_NEAR(std::fabs(r.GetData(0)), kPi, 1e-15);
    std::mt19937_64 generator(3);
    for (double offset : {0.0, 1e-12, 1e-9, 3e-7, 1e-6, 1e-3, 1.0, 2.0, 3.0}) {
        for (int trial = 0; trial < 30; ++trial) {
            SCOPED_TRACE(testing::Message() << "pi - " << offset << " trial " << trial);
            C3DVector axis = RandomRotation(generator).GetRowVector(0);
            if (trial < 3) {  // the coordinate axes as well
                axis.SetVector(trial == 0, trial == 1, trial == 2);
            }
            // Once the skew part (length 2 sin(offset)) carries the axis, its rounding of about
            // 1e-16 limits the axis to about 1e-16 / sin(offset).
            const double tolerance = std::max(kTolerance, 2e-16 / std::sin(offset));
            const double along = axis.GetDotProduct(ExpectRoundTrip(
                AxisAngle(axis, kPi - offset), offset > 0.0 ? tolerance : kTolerance));
            EXPECT_NEAR(std::fabs(along), kPi - offset, 1e-9);  // up to sign at an exact half-turn
            EXPECT_TRUE(offset < 1e-6 || along > 0.0);          // the skew part fixes the sense
        }
    }
}

}  // namespace
