#include "polyview/numeric/svd.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector_nd.h"
#include "polyview/numeric/workspace.h"

namespace {

// Reconstruction and orthogonality tolerances, relative to the largest input element: a few
// hundred ulps of accumulated rotations.
const double kTolerance = 1e-12;

// Decomposes input (row-major m x n) and checks what the decomposition promises:
// U diag(w) V^T == input, V orthonormal, U's columns orthonormal when m >= n and checkU, w
// non-negative and non-increasing. Returns w (1-based, w[0] unused).
std::vector<double> Decompose(const std::vector<double>& input, int m, int n, bool checkU) {
    double** a = dmatrix(1, m, 1, n);
    double** v = dmatrix(1, n, 1, n);
    std::vector<double> w(static_cast<size_t>(n + 1), -1.0);
    double scale = 0.0;
    for (int i = 0; i < m * n; ++i) {
        a[i / n + 1][i % n + 1] = input[i];
        scale = std::max(scale, std::fabs(input[i]));
    }
    EXPECT_TRUE(dsvd_inplace(a, m, n, w.data(), v));
    for (int i = 0; i < m * n; ++i) {
        double sum = 0.0;
        for (int k = 1; k <= n; ++k) {
            sum += a[i / n + 1][k] * w[k] * v[i % n + 1][k];
        }
        EXPECT_NEAR(sum, input[i], kTolerance * scale) << "element " << i;
    }
    for (int k = 1; k <= n; ++k) {
        EXPECT_GE(w[k], 0.0);
        EXPECT_TRUE(k == 1 || w[k - 1] >= w[k]) << k;
        for (int l = 1; l <= n; ++l) {
            double vv = 0.0, uu = 0.0;
            for (int i = 1; i <= n; ++i) {
                vv += v[i][k] * v[i][l];
            }
            for (int i = 1; i <= m; ++i) {
                uu += a[i][k] * a[i][l];
            }
            EXPECT_NEAR(vv, k == l ? 1.0 : 0.0, kTolerance) << "V " << k << ", " << l;
            if (checkU && m >= n) {
                EXPECT_NEAR(uu, k == l ? 1.0 : 0.0, kTolerance) << "U " << k << ", " << l;
            }
        }
    }
    dmatrix_free(a, 1, m, 1, n);
    dmatrix_free(v, 1, n, 1, n);
    return w;
}

TEST(DsvdInplace, RandomMatricesOfEveryShapeRebuild) {
    std::mt19937_64 generator(20240611);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int m = 1; m <= 7; ++m) {
        for (int n = 1; n <= 7; ++n) {
            for (int trial = 0; trial < 5; ++trial) {
                SCOPED_TRACE(testing::Message() << m << " x " << n << " trial " << trial);
                std::vector<double> input(static_cast<size_t>(m * n));
                for (double& value : input) {
                    value = uniform(generator) * std::pow(10.0, 4 * trial - 8);  // 1e-8 .. 1e8
                }
                Decompose(input, m, n, true);
            }
        }
    }
}

TEST(DsvdInplace, RankDeficientMatricesGiveTrailingZeros) {
    // Products of m x r and r x n factors have rank r < n; the last n - r values vanish.
    std::mt19937_64 generator(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const int shapes[][3] = {{4, 3, 1}, {5, 4, 2}, {3, 3, 2}, {10, 4, 3}, {2, 4, 1}, {6, 6, 3}};
    for (const auto& [m, n, r] : shapes) {
        SCOPED_TRACE(testing::Message() << m << " x " << n << " rank " << r);
        std::vector<double> left(static_cast<size_t>(m * r)), right(static_cast<size_t>(r * n));
        for (double& value : left) {
            value = uniform(generator);
        }
        for (double& value : right) {
            value = uniform(generator);
        }
        std::vector<double> input(static_cast<size_t>(m * n), 0.0);
        for (int i = 0; i < m * n; ++i) {
            for (int k = 0; k < r; ++k) {
                input[i] += left[i / n * r + k] * right[k * n + i % n];
            }
        }
        const std::vector<double> w = Decompose(input, m, n, false);
        EXPECT_GT(w[r], 1e-6);
        for (int k = r + 1; k <= n; ++k) {
            EXPECT_LT(w[k], 1e-14);
        }
    }
}

TEST(DsvdInplace, DiagonalWithNegativeEntrySortsAndFlipsSign) {
    // diag(1, -3, 2): w = (3, 2, 1); column k of U and V are +-e_j for j the input position of
    // w[k], with u_j v_j the sign of the entry.
    const double diagonal[3] = {1.0, -3.0, 2.0};
    double** a = dmatrix(1, 3, 1, 3);
    double** v = dmatrix(1, 3, 1, 3);
    double w[4];
    for (int i = 0; i < 9; ++i) {
        a[i / 3 + 1][i % 3 + 1] = i / 3 == i % 3 ? diagonal[i / 3] : 0.0;
    }
    ASSERT_TRUE(dsvd_inplace(a, 3, 3, w, v));
    const int position[4] = {0, 2, 3, 1};
    for (int k = 1; k <= 3; ++k) {
        SCOPED_TRACE(k);
        const int j = position[k];
        EXPECT_NEAR(w[k], std::fabs(diagonal[j - 1]), 1e-15);
        EXPECT_NEAR(std::fabs(v[j][k]), 1.0, 1e-15);
        EXPECT_NEAR(a[j][k] * v[j][k], diagonal[j - 1] / w[k], 1e-15);
    }
    dmatrix_free(a, 1, 3, 1, 3);
    dmatrix_free(v, 1, 3, 1, 3);
}

TEST(DsvdSorted, ResizesOutputsAndKeepsTheOrder) {
    // 5 p p^T - 2 q q^T for orthonormal p, q: singular values 5, 2 and 0, V's first column +-p.
    const double p[3] = {2.0 / 3.0, 1.0 / 3.0, 2.0 / 3.0};
    const double q[3] = {-2.0 / 3.0, 2.0 / 3.0, 1.0 / 3.0};
    CMNMatrix a(3, 3);
    for (int i = 0; i < 9; ++i) {
        a(i / 3, i % 3) = 5.0 * p[i / 3] * p[i % 3] - 2.0 * q[i / 3] * q[i % 3];
    }
    CNDVector w;
    CMNMatrix v(1, 1);
    ASSERT_TRUE(dsvd_sorted(a, w, v));
    ASSERT_EQ(w.Rows(), 3);
    ASSERT_EQ(v.Rows(), 3);
    ASSERT_EQ(v.Cols(), 3);
    EXPECT_NEAR(w[0], 5.0, 1e-14);
    EXPECT_NEAR(w[1], 2.0, 1e-14);
    EXPECT_NEAR(w[2], 0.0, 1e-14);
    EXPECT_NEAR(std::fabs(v(0, 0) * p[0] + v(1, 0) * p[1] + v(2, 0) * p[2]), 1.0, 1e-14);
}

}  // namespace
