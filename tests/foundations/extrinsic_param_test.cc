#include "polyview/foundations/extrinsic_param.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/numeric/pose_access.h"
#include "polyview/numeric/rotation.h"
#include "polyview/numeric/triangulation.h"

namespace {

bool SameBits(const double* a, const double* b, int count) {
    return std::memcmp(a, b, sizeof(double) * static_cast<size_t>(count)) == 0;
}

// The kept forms equal the round trip the solvers made on every call: the rotation vector of the
// pose's matrix, then the point solver's and the line solver's matrices rebuilt from it.
void ExpectKeptAsRoundTrip(const CExtrinsicParam& pose) {
    double vector[3];
    pose.GetRotateMatrix().GetRotateVector().GetVector(vector);
    const CMNMatrix point = drotation_from_vector(vector);
    double pointRows[9];
    for (int i = 0; i < 9; ++i) {
        pointRows[i] = point(i / 3, i % 3);
    }
    double line[9];
    drotvec2mat(vector, line);
    EXPECT_TRUE(SameBits(SPoseSolverAccess::RotationVector(pose), vector, 3));
    EXPECT_TRUE(SameBits(SPoseSolverAccess::PointRotation(pose), pointRows, 9));
    EXPECT_TRUE(SameBits(SPoseSolverAccess::LineRotation(pose), line, 9));
}

// Rotations at every kind of angle: random, tiny (either side of the identity cut-off at 1e-5),
// half turns and near them, the identity; then the same with their last bits disturbed (matrices
// read from files are not exactly orthogonal) and a matrix that is not a number.
std::vector<CRotateMatrix> TestRotations() {
    std::mt19937_64 generator(11);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, M_PI);
    std::vector<double> angles = {
        0.0, 1e-300, 1e-12, 1e-7, 9.999e-6, 1e-5, 1.0001e-5, 2e-5, M_PI - 1e-9, M_PI};
    for (int i = 0; i < 200; ++i) {
        angles.push_back(uniform(generator));
    }
    std::vector<CRotateMatrix> rotations = {CRotateMatrix(),
                                            CRotateMatrix(C33Matrix(-1, 0, 0, 0, -1, 0, 0, 0, 1))};
    for (double angle : angles) {
        for (int trial = 0; trial < 5; ++trial) {
            C3DVector axis(normal(generator), normal(generator), normal(generator));
            axis = axis.GetNormalizedVector();
            const CRotateMatrix rotation = CRotateVector(axis * angle).GetRotateMatrix();
            rotations.push_back(rotation);
            double m[9];
            for (int i = 0; i < 9; ++i) {
                m[i] = rotation.GetData(i / 3, i % 3) * (1.0 + 1e-15 * normal(generator));
            }
            rotations.emplace_back(C33Matrix(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]));
        }
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    rotations.emplace_back(C33Matrix(nan, 0, 0, 0, 1, 0, 0, 0, 1));
    return rotations;
}

TEST(CExtrinsicParamKeptRotations, EqualTheSolversRoundTripBitForBit) {
    const C3DVector translation(1.0, -2.0, 3.0);
    ExpectKeptAsRoundTrip(CExtrinsicParam());
    for (const CRotateMatrix& rotation : TestRotations()) {
        ExpectKeptAsRoundTrip(CExtrinsicParam(rotation, translation));
        CExtrinsicParam set;
        set.SetRotateMatrix(rotation);
        ExpectKeptAsRoundTrip(set);
    }
}

TEST(CExtrinsicParamKeptRotations, FollowEveryChangeAndNeverTheSourceOfACopy) {
    const CRotateMatrix first = CRotateVector(C3DVector(0.3, -0.2, 0.9)).GetRotateMatrix();
    const CRotateMatrix second = CRotateVector(C3DVector(-1.1, 0.4, 0.05)).GetRotateMatrix();
    const C3DVector translation(0.5, 0.25, -4.0);
    const CExtrinsicParam original(first, translation);

    CExtrinsicParam copy(original);  // then changed: the original keeps its own forms
    ExpectKeptAsRoundTrip(copy);
    copy.SetRotateMatrix(second);
    ExpectKeptAsRoundTrip(copy);
    ExpectKeptAsRoundTrip(original);
    EXPECT_FALSE(SameBits(
        SPoseSolverAccess::PointRotation(copy), SPoseSolverAccess::PointRotation(original), 9));

    CExtrinsicParam assigned;
    assigned = copy;
    ExpectKeptAsRoundTrip(assigned);
    assigned = original;  // back to the first rotation
    ExpectKeptAsRoundTrip(assigned);
    EXPECT_TRUE(SameBits(
        SPoseSolverAccess::LineRotation(assigned), SPoseSolverAccess::LineRotation(original), 9));
    assigned.SetTranslateVector(C3DVector(9.0, 9.0, 9.0));  // the rotation is untouched
    ExpectKeptAsRoundTrip(assigned);

    CExtrinsicParam relative(original);
    relative.SetDifferenceTwoExtrinsicParams(original, copy);
    ExpectKeptAsRoundTrip(relative);
    relative.SetDifferenceTwoExtrinsicParams(original, original);  // close to the identity
    ExpectKeptAsRoundTrip(relative);
}

}  // namespace
