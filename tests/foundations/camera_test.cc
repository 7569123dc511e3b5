#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/essential_matrix.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/rotate_vector.h"
#include "support/expect_geometry.h"

namespace {

TEST(CRotateConversion, RoundTripAtEveryAngle) {
    std::mt19937_64 generator(3);
    std::normal_distribution<double> normal(0.0, 1.0);
    const double angles[] = {
        0.0, 1e-12, 1e-7, 2e-6, 1e-3, 1.0, 3.0, M_PI - 1e-7, M_PI - 1e-9, M_PI};
    for (double angle : angles) {
        for (int trial = 0; trial < 20; ++trial) {
            SCOPED_TRACE(angle);
            C3DVector axis(normal(generator), normal(generator), normal(generator));
            axis = axis.GetNormalizedVector();
            const CRotateVector vector(axis * angle);
            const CRotateMatrix matrix = vector.GetRotateMatrix();
            const CRotateVector back = matrix.GetRotateVector();
            // The same rotation must come back; at pi, r and -r are the same rotation.
            ExpectMatrixNear(back.GetRotateMatrix(), matrix, 1e-12);
            EXPECT_NEAR(back.GetNorm(), angle, 1e-9);
            if (angle < M_PI - 1e-6) {
                ExpectVectorNear(back, vector, 1e-9);
            }
        }
    }
}

TEST(CRotateConversion, HalfTurnIsNeverTheZeroVector) {
    const CRotateMatrix halfTurnAboutZ(C33Matrix(-1, 0, 0, 0, -1, 0, 0, 0, 1));
    const CRotateVector r = halfTurnAboutZ.GetRotateVector();
    EXPECT_NEAR(std::fabs(r.GetData(2)), M_PI, 1e-15);
    EXPECT_EQ(r.GetData(0), 0.0);
    EXPECT_EQ(r.GetData(1), 0.0);
}

TEST(CRotateConversion, QuarterTurnMatchesFormula) {
    const CRotateMatrix quarter = CRotateVector(C3DVector(M_PI / 2.0, 0.0, 0.0)).GetRotateMatrix();
    ExpectMatrixNear(quarter, C33Matrix(1, 0, 0, 0, 0, -1, 0, 1, 0), 1e-15);
}

TEST(CFundamentalMatrixConvention, UnusableFocalLengthFailsAndLeavesOutput) {
    const CEssentialMatrix essential{CExtrinsicParam(CRotateMatrix(), C3DVector(1.0, 0.0, 0.0))};
    const double focalLengths[] = {0.0, std::nan(""), INFINITY};
    for (double focalLength : focalLengths) {
        SCOPED_TRACE(focalLength);
        CFundamentalMatrix fundamental(C33Matrix(1, 2, 3, 4, 5, 6, 7, 8, 9));
        const CIntrinsicParam bad(focalLength, C2DCoordinate(0.0, 0.0));
        const CIntrinsicParam good(100.0, C2DCoordinate(0.0, 0.0));
        EXPECT_FALSE(essential.CalcFundamentalMatrix(bad, good, fundamental));
        EXPECT_FALSE(essential.CalcFundamentalMatrix(good, bad, fundamental));
        EXPECT_EQ(fundamental.GetData(2, 2), 9.0);
    }
}

TEST(C3DVectorNormalize, NoDirectionGivesZeroNeverNaN) {
    const C3DVector inputs[] = {
        C3DVector(0, 0, 0), C3DVector(std::nan(""), 1, 0), C3DVector(INFINITY, 0, 0)};
    for (const C3DVector& input : inputs) {
        C3DVector untouched(9, 9, 9);
        EXPECT_FALSE(input.GetNormalizedVector(untouched));
        ExpectVectorNear(untouched, C3DVector(9, 9, 9), 0.0);
        ExpectVectorNear(input.GetNormalizedVector(), C3DVector(0, 0, 0), 0.0);
    }
    // Over- and underflowing norms still have a direction.
    ExpectVectorNear(
        C3DVector(3e300, 4e300, 0).GetNormalizedVector(), C3DVector(0.6, 0.8, 0), 1e-15);
    ExpectVectorNear(
        C3DVector(0, 3e-320, 4e-320).GetNormalizedVector(), C3DVector(0, 0.6, 0.8), 1e-3);
}

TEST(C33MatrixInverse, SingularFailsAndLeavesOutput) {
    C33Matrix out(C33Matrix::IdentityMatrix);
    EXPECT_FALSE(C33Matrix(1, 2, 3, 2, 4, 6, 0, 0, 1).GetInverseMatrix(out));
    EXPECT_EQ(out.GetData(0, 0), 1.0);
    const C33Matrix m(2, 0, 1, 0, 3, 0, 1, 0, 1);
    ASSERT_TRUE(m.GetInverseMatrix(out));
    ExpectMatrixNear(out, C33Matrix(1, 0, -1, 0, 1.0 / 3.0, 0, -1, 0, 2), 1e-15);
}

}  // namespace
