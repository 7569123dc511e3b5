#include "polyview/numeric/svd.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "support/indexed_matrix.h"

namespace {

// Reconstruction and orthogonality tolerances, relative to the largest input element: a few
// hundred ulps of accumulated rotations.
const double kTolerance = 1e-12;

struct SSvd {
    std::vector<double> u, w, v;  // row-major m x n, n, n x n
};

// Decomposes input (row-major m x n) and checks what the decomposition promises:
// U diag(w) V^T == input, V orthonormal, U's columns orthonormal when m >= n and checkU, w
// non-negative and non-increasing.
SSvd Decompose(const std::vector<double>& input, int m, int n, bool checkU) {
    const CIndexed a(m, n, input), v(n, n, {});
    std::vector<double> w(n + 1);  // [1..n]
    EXPECT_TRUE(dsvd_inplace(*a, m, n, w.data(), *v));
    const SSvd result = {a.Values(), {w.begin() + 1, w.end()}, v.Values()};
    const double scale =
        std::fabs(*std::max_element(input.begin(), input.end(), [](double x, double y) {
            return std::fabs(x) < std::fabs(y);
        }));
    for (int i = 0; i < m * n; ++i) {
        double sum = 0.0;
        for (int k = 0; k < n; ++k) {
            sum += result.u[i / n * n + k] * result.w[k] * result.v[i % n * n + k];
        }
        EXPECT_NEAR(sum, input[i], kTolerance * scale) << "element " << i;
    }
    for (int k = 0; k < n; ++k) {
        EXPECT_GE(result.w[k], 0.0);
        EXPECT_TRUE(k == 0 || result.w[k - 1] >= result.w[k]) << k;
        for (int l = 0; l < n; ++l) {
            double vv = 0.0, uu = 0.0;
            for (int i = 0; i < std::max(m, n); ++i) {
                vv += i < n ? result.v[i * n + k] * result.v[i * n + l] : 0.0;
                uu += i < m ? result.u[i * n + k] * result.u[i * n + l] : 0.0;
            }
            EXPECT_NEAR(vv, k == l ? 1.0 : 0.0, kTolerance) << "V " << k << ", " << l;
            EXPECT_TRUE(!checkU || m < n || std::fabs(uu - (k == l)) < kTolerance) << k << l;
        }
    }
    return result;
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
        std::vector<double> factors(static_cast<size_t>(m * r + r * n));  // left, then right
        for (double& value : factors) {
            value = uniform(generator);
        }
        const double* left = factors.data();
        const double* right = left + m * r;
        std::vector<double> input(static_cast<size_t>(m * n), 0.0);
        for (int i = 0; i < m * n; ++i) {
            for (int k = 0; k < r; ++k) {
                input[i] += left[i / n * r + k] * right[k * n + i % n];
            }
        }
        const std::vector<double> w = Decompose(input, m, n, false).w;
        EXPECT_GT(w[r - 1], 1e-6);
        for (int k = r; k < n; ++k) {
            EXPECT_LT(w[k], 1e-14);
        }
    }
}

TEST(DsvdInplace, DiagonalWithNegativeEntrySortsAndFlipsSign) {
    // diag(1, -3, 2): w = (3, 2, 1); column k of U and V are +-e_j for j the input position of
    // w[k], with u_j v_j the sign of the entry.
    const SSvd svd = Decompose({1, 0, 0, 0, -3, 0, 0, 0, 2}, 3, 3, true);
    const double diagonal[3] = {1.0, -3.0, 2.0};
    const int position[3] = {1, 2, 0};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const int j = position[k];
        EXPECT_NEAR(svd.w[k], std::fabs(diagonal[j]), 1e-15);
        EXPECT_NEAR(std::fabs(svd.v[j * 3 + k]), 1.0, 1e-15);
        EXPECT_NEAR(svd.u[j * 3 + k] * svd.v[j * 3 + k], diagonal[j] / svd.w[k], 1e-15);
    }
}

}  // namespace
