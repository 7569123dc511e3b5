#include "polyview/foundations/rotate_matrix.h"

#include <random>

#include <gtest/gtest.h>

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

TEST(CRotateConversion, QuarterTurnMatchesFormulaAndHalfTurnIsNeverTheZeroVector) {
    const CRotateMatrix quarter = CRotateVector(C3DVector(M_PI / 2.0, 0.0, 0.0)).GetRotateMatrix();
    ExpectMatrixNear(quarter, C33Matrix(1, 0, 0, 0, 0, -1, 0, 1, 0), 1e-15);
    const CRotateMatrix halfTurnAboutZ(C33Matrix(-1, 0, 0, 0, -1, 0, 0, 0, 1));
    const CRotateVector r = halfTurnAboutZ.GetRotateVector();
    EXPECT_NEAR(std::fabs(r.GetData(2)), M_PI, 1e-15);
    EXPECT_TRUE(r.GetData(0) == 0.0 && r.GetData(1) == 0.0);
}

}  // namespace
