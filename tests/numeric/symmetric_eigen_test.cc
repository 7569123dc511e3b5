#include "polyview/numeric/symmetric_eigen.h"

#include <random>

#include <gtest/gtest.h>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector_nd.h"

namespace {

const double kHalf = std::sqrt(0.5);
const double kTolerance = 1e-13;  // O(1) entries after a handful of rotations

TEST(DsymeigSorted, OrdersByMagnitudeNotValue) {
    // Diagonal: nothing iterates, so the order is that of the exchange sort alone.
    const double diagonal[9] = {2, 0, 0, 0, -2, 0, 0, 0, 1};
    double out[12];  // the values, then the vectors
    ASSERT_TRUE(dsymeig_sorted(diagonal, 3, out, out + 3));
    const double expected[12] = {1, -2, 2, 0, 0, 1, 0, 1, 0, 1, 0, 0};  // columns e3, e2, e1
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(out[i], expected[i]) << i;
    }
}

TEST(DsymeigSorted, RandomSymmetricMatricesRebuild) {
    std::mt19937_64 generator(77);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int n = 1; n <= 8; ++n) {
        for (int trial = 0; trial < 10; ++trial) {
            SCOPED_TRACE(testing::Message() << "order " << n << " trial " << trial);
            std::vector<double> a(static_cast<size_t>(n * n));
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j <= i; ++j) {
                    a[i * n + j] = a[j * n + i] = uniform(generator);
                }
            }
            std::vector<double> values(static_cast<size_t>(n)), vectors(a.size());
            ASSERT_TRUE(dsymeig_sorted(a.data(), n, values.data(), vectors.data()));
            for (int k = 1; k < n; ++k) {
                EXPECT_LE(std::fabs(values[k - 1]), std::fabs(values[k]));
            }
            for (int i = 0; i < n * n; ++i) {
                const int row = i / n, col = i % n;
                double rebuilt = 0.0;  // V diag(values) V^T
                double gram = 0.0;     // V^T V
                for (int k = 0; k < n; ++k) {
                    rebuilt += vectors[row * n + k] * values[k] * vectors[col * n + k];
                    gram += vectors[k * n + row] * vectors[k * n + col];
                }
                EXPECT_NEAR(rebuilt, a[i], kTolerance);
                EXPECT_NEAR(gram, row == col ? 1.0 : 0.0, kTolerance);
            }
        }
    }
}

TEST(DsymeigSmallest2, OrderOutsideItsRangeLeavesOutputsUntouched) {
    for (int n : {-1, 0, 1, 200}) {
        SCOPED_TRACE(n);
        std::vector<double> a(200 * 200, 1.0), smallest(200, -7.0), second(200, -7.0);
        std::vector<double> values(200, -7.0);
        EXPECT_FALSE(
            dsymeig_smallest2(a.data(), n, smallest.data(), second.data(), values.data(), true));
        EXPECT_TRUE(smallest[0] == -7.0 && second[0] == -7.0 && values[0] == -7.0);
    }
    // The largest accepted order: the second-difference matrix (2 on the diagonal, -1 beside it)
    // has eigenvalues 2 - 2 cos(k pi / (n + 1)) and eigenvectors sin(j k pi / (n + 1)).
    const int n = 199;
    std::vector<double> a(n * n, 0.0), smallest(n), second(n), values(n);
    for (int i = 0; i < n; ++i) {
        a[i * n + i] = 2.0;
        if (i > 0) {
            a[i * n + i - 1] = a[(i - 1) * n + i] = -1.0;
        }
    }
    ASSERT_TRUE(
        dsymeig_smallest2(a.data(), n, smallest.data(), second.data(), values.data(), true));
    const double step = std::acos(-1.0) / (n + 1);
    double along[2] = {0.0, 0.0};
    for (int j = 0; j < n; ++j) {
        along[0] += smallest[j] * std::sqrt(2.0 / (n + 1)) * std::sin((j + 1) * step);
        along[1] += second[j] * std::sqrt(2.0 / (n + 1)) * std::sin(2.0 * (j + 1) * step);
    }
    for (int k : {1, 2, n}) {
        EXPECT_NEAR(values[k - 1], 2.0 - 2.0 * std::cos(k * step), 1e-12) << k;
        EXPECT_TRUE(k == n || std::fabs(std::fabs(along[k - 1]) - 1.0) < 1e-9);  // gaps ~7e-4
    }
    values[0] = -7.0;  // without wantValues the values are not touched
    ASSERT_TRUE(
        dsymeig_smallest2(a.data(), n, smallest.data(), second.data(), values.data(), false));
    EXPECT_EQ(values[0], -7.0);
}

TEST(CMNMatrixEigen, AscendingByValueAndUntouchedOnFailure) {
    // diag(2, -3, 1): by value -3 comes first, though its magnitude is the largest.
    CMNMatrix a(3, 3);
    a(0, 0) = 2.0;
    a(1, 1) = -3.0;
    a(2, 2) = 1.0;
    double minimum = 0.0;
    CNDVector vector(3, 1.0);
    C1DArray<double> values;
    C1DArray<CNDVector> vectors;
    ASSERT_TRUE(a.GetMinEigenVector4MinEigenValue(minimum, vector));
    ASSERT_TRUE(a.GetEigenVector4EigenValue(values, vectors));
    ASSERT_TRUE(vector.Rows() == 3 && values.GetSize() == 3 && vectors.GetSize() == 3);
    EXPECT_EQ(minimum, -3.0);
    EXPECT_EQ(std::fabs(vector[1]), 1.0);
    const double expected[3] = {-3.0, 1.0, 2.0};
    const int axis[3] = {1, 2, 0};  // the unit vector of each
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(values[k], expected[k]);
        EXPECT_EQ(std::fabs(vectors[k][axis[k]]), 1.0);
    }
    for (const CMNMatrix& m : {CMNMatrix(), CMNMatrix(2, 3, 1.0)}) {  // empty, not square
        EXPECT_FALSE(m.GetMinEigenVector4MinEigenValue(minimum, vector));
        EXPECT_FALSE(m.GetEigenVector4EigenValue(values, vectors));
        EXPECT_TRUE(minimum == -3.0 && vector.Rows() == 3 && values.GetSize() == 3 &&
                    vectors.GetSize() == 3);  // all untouched
    }
}

}  // namespace
