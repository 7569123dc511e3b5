#include "polyview/numeric/lu.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/vector_nd.h"
#include "support/camera_rig.h"

namespace {

const double kTolerance = 1e-12;  // well-conditioned random matrices of order up to 6

void ExpectIdentityProduct(const CMNMatrix& a, const CMNMatrix& inverse) {
    const CMNMatrix product = a * inverse;
    ASSERT_EQ(product.Rows(), a.Rows());
    for (int i = 0; i < a.Rows(); ++i) {
        for (int j = 0; j < a.Rows(); ++j) {
            EXPECT_NEAR(product(i, j), i == j ? 1.0 : 0.0, kTolerance) << i << ", " << j;
        }
    }
}

TEST(DinvertLu, RandomMatricesInvertAndTargetIsResized) {
    std::mt19937_64 generator(13);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        CMNMatrix a(n, n);
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                a(i, j) = uniform(generator) + (i == j ? 3.0 : 0.0);  // diagonally dominant
            }
        }
        CMNMatrix inverse(2, 7, -1.0);
        ASSERT_TRUE(dinvert_lu(a, inverse));
        ASSERT_EQ(inverse.Rows(), n);
        ASSERT_EQ(inverse.Cols(), n);
        ExpectIdentityProduct(a, inverse);
    }
    // Pivoting: a zero in the leading position needs a row exchange.
    CMNMatrix swap(2, 2);
    swap(0, 1) = 2.0;
    swap(1, 0) = 4.0;
    CMNMatrix inverse;
    ASSERT_TRUE(dinvert_lu(swap, inverse));
    EXPECT_EQ(inverse(0, 1), 0.25);
    EXPECT_EQ(inverse(1, 0), 0.5);
}

TEST(DinvertLu, ZeroRowFailsButZeroPivotIsReplaced) {
    CMNMatrix zeroRow(3, 3, 1.0);
    zeroRow(1, 0) = zeroRow(1, 1) = zeroRow(1, 2) = 0.0;
    CMNMatrix inverse(3, 3, -1.0);
    EXPECT_FALSE(dinvert_lu(zeroRow, inverse));
    EXPECT_EQ(inverse(2, 2), -1.0);

    // Rank one without a zero row: elimination meets an exact zero pivot, replaced by 1e-20,
    // and the inversion goes on to enormous values.
    CMNMatrix rankOne(2, 2);
    rankOne(0, 0) = 1.0;
    rankOne(0, 1) = 2.0;
    rankOne(1, 0) = 2.0;
    rankOne(1, 1) = 4.0;
    ASSERT_TRUE(dinvert_lu(rankOne, inverse));
    EXPECT_GT(std::fabs(inverse(1, 1)), 1e15);
    CMNMatrix untouched(2, 2, -1.0);
    EXPECT_FALSE(dinvert_lu_nonsingular(rankOne, untouched));
    EXPECT_EQ(untouched(0, 0), -1.0);
}

TEST(CMNMatrixGetInverted, SingularOrNonSquareGiveNotANumber) {
    CMNMatrix rankOne(2, 2, 3.0);  // rows equal: an exact zero pivot
    CMNMatrix zeroRow(2, 2);
    zeroRow(0, 0) = 1.0;
    const CMNMatrix wide(2, 3, 1.0);
    const CMNMatrix* const matrices[] = {&rankOne, &zeroRow, &wide};
    for (const CMNMatrix* m : matrices) {
        const CMNMatrix inverse = m->GetInverted();
        ASSERT_EQ(inverse.Rows(), m->Rows());
        ASSERT_EQ(inverse.Cols(), m->Cols());
        for (int i = 0; i < m->Rows(); ++i) {
            for (int j = 0; j < m->Cols(); ++j) {
                EXPECT_TRUE(std::isnan(inverse(i, j)));
            }
        }
    }
    CMNMatrix a(2, 2);
    a(0, 0) = 2.0;
    a(0, 1) = 1.0;
    a(1, 0) = 1.0;
    a(1, 1) = 1.0;
    const CMNMatrix inverse = a.GetInverted();  // [[1, -1], [-1, 2]]
    EXPECT_NEAR(inverse(0, 0), 1.0, 1e-15);
    EXPECT_NEAR(inverse(0, 1), -1.0, 1e-15);
    EXPECT_NEAR(inverse(1, 1), 2.0, 1e-15);
}

TEST(CMNMatrixEigen, AscendingByValueWithUnitVectors) {
    // Q diag(-3, 1, 2) Q^T: by value -3 comes first, though its magnitude is the largest.
    std::mt19937_64 generator(21);
    const CRotateMatrix q = RandomRotation(generator);
    const double lambda[3] = {2.0, -3.0, 1.0};
    CMNMatrix a(3, 3);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                a(i, j) += q.GetData(i, k) * lambda[k] * q.GetData(j, k);
            }
        }
    }
    double minimum = 0.0;
    CNDVector vector(3, 1.0);
    ASSERT_TRUE(a.GetMinEigenVector4MinEigenValue(minimum, vector));
    EXPECT_NEAR(minimum, -3.0, 1e-13);
    ASSERT_EQ(vector.Rows(), 3);
    EXPECT_NEAR(std::fabs(vector[0] * q.GetData(0, 1) + vector[1] * q.GetData(1, 1) +
                          vector[2] * q.GetData(2, 1)),
                1.0,
                1e-13);

    C1DArray<double> values;
    C1DArray<CNDVector> vectors;
    ASSERT_TRUE(a.GetEigenVector4EigenValue(values, vectors));
    ASSERT_EQ(values.GetSize(), 3);
    ASSERT_EQ(vectors.GetSize(), 3);
    const double expected[3] = {-3.0, 1.0, 2.0};
    const int column[3] = {1, 2, 0};  // column of q behind each
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(values[k], expected[k], 1e-13);
        double along = 0.0;
        for (int i = 0; i < 3; ++i) {
            along += vectors[k][i] * q.GetData(i, column[k]);
        }
        EXPECT_NEAR(std::fabs(along), 1.0, 1e-13);
    }
}

TEST(CMNMatrixEigen, EmptyOrNonSquareFailWithOutputsUntouched) {
    for (const CMNMatrix& m : {CMNMatrix(), CMNMatrix(2, 3, 1.0)}) {
        double value = -7.0;
        CNDVector vector(1, -7.0);
        EXPECT_FALSE(m.GetMinEigenVector4MinEigenValue(value, vector));
        EXPECT_EQ(value, -7.0);
        EXPECT_EQ(vector.Rows(), 1);
        C1DArray<double> values;
        values.SetSize(1);
        values[0] = -7.0;
        C1DArray<CNDVector> vectors;
        EXPECT_FALSE(m.GetEigenVector4EigenValue(values, vectors));
        EXPECT_EQ(values[0], -7.0);
        EXPECT_EQ(vectors.GetSize(), 0);
    }
}

}  // namespace
