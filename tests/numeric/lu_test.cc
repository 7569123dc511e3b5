#include "polyview/numeric/lu.h"

#include <random>

#include <gtest/gtest.h>

#include "polyview/foundations/matrix_mn.h"

namespace {

CMNMatrix Square2(double a, double b, double c, double d) {
    CMNMatrix m(2, 2);
    m(0, 0) = a;
    m(0, 1) = b;
    m(1, 0) = c;
    m(1, 1) = d;
    return m;
}

TEST(DinvertLu, InvertsResizesAndReplacesOnlyAnExactZeroPivot) {
    std::mt19937_64 generator(13);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        CMNMatrix a(n, n);
        for (int i = 0; i < n * n; ++i) {
            a(i / n, i % n) =
                uniform(generator) + (i / n == i % n ? 3.0 : 0.0);  // well conditioned
        }
        CMNMatrix inverse(2, 7, -1.0);
        ASSERT_TRUE(dinvert_lu(a, inverse));
        ASSERT_EQ(inverse.Rows(), n);
        ASSERT_EQ(inverse.Cols(), n);
        const CMNMatrix product = a * inverse;
        for (int i = 0; i < n * n; ++i) {
            EXPECT_NEAR(product(i / n, i % n), i / n == i % n ? 1.0 : 0.0, 1e-12) << i;
        }
    }
    CMNMatrix inverse;
    ASSERT_TRUE(dinvert_lu(Square2(0, 2, 4, 0), inverse));  // the leading zero needs an exchange
    EXPECT_EQ(inverse(0, 1), 0.25);
    EXPECT_EQ(inverse(1, 0), 0.5);
    // Rank one without a zero row: the exact zero pivot becomes 1e-20 and the inverse is huge;
    // the non-singular variant and a zero row refuse, leaving the target alone.
    ASSERT_TRUE(dinvert_lu(Square2(1, 2, 2, 4), inverse));
    EXPECT_GT(std::fabs(inverse(1, 1)), 1e15);
    CMNMatrix untouched(2, 2, -1.0);
    EXPECT_FALSE(dinvert_lu_nonsingular(Square2(1, 2, 2, 4), untouched));
    EXPECT_FALSE(dinvert_lu(Square2(1, 1, 0, 0), untouched));
    EXPECT_EQ(untouched(0, 0), -1.0);
}

TEST(CMNMatrixGetInverted, SingularOrNonSquareGiveNotANumber) {
    const CMNMatrix inverse = Square2(2, 1, 1, 1).GetInverted();  // [[1, -1], [-1, 2]]
    EXPECT_NEAR(inverse(0, 1), -1.0, 1e-15);
    EXPECT_NEAR(inverse(1, 1), 2.0, 1e-15);
    // Equal rows (an exact zero pivot), a zero row, and a wide matrix.
    for (const CMNMatrix& m : {CMNMatrix(2, 2, 3.0), Square2(1, 0, 0, 0), CMNMatrix(2, 3, 1.0)}) {
        const CMNMatrix nan = m.GetInverted();
        ASSERT_EQ(nan.Rows(), m.Rows());
        ASSERT_EQ(nan.Cols(), m.Cols());
        for (int i = 0; i < m.Rows() * m.Cols(); ++i) {
            EXPECT_TRUE(std::isnan(nan(i / m.Cols(), i % m.Cols())));
        }
    }
}

}  // namespace
