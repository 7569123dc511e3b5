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

// A 1-based m x n workspace matrix that frees itself.
struct SWork {
    SWork(int rows, int cols)
        : m(rows),
          n(cols),
          a(dmatrix(1, rows, 1, cols)),
          v(dmatrix(1, cols, 1, cols)),
          w(dvector(1, cols)) {}
    ~SWork() {
        dmatrix_free(a, 1, m, 1, n);
        dmatrix_free(v, 1, n, 1, n);
        dvector_free(w, 1, n);
    }
    int m, n;
    double** a;
    double** v;
    double* w;
};

// Decomposes input (row-major m x n) and checks everything the decomposition promises:
// U diag(w) V^T == input, V orthonormal, U's columns orthonormal when m >= n and every w is
// clearly non-zero, w non-negative and non-increasing.
void CheckDecomposition(const std::vector<double>& input, int m, int n, bool checkU) {
    SWork work(m, n);
    double scale = 0.0;
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= n; ++j) {
            work.a[i][j] = input[(i - 1) * n + (j - 1)];
            scale = std::max(scale, std::fabs(work.a[i][j]));
        }
    }
    ASSERT_TRUE(dsvd_inplace(work.a, m, n, work.w, work.v));
    const double tolerance = kTolerance * scale;
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= n; ++j) {
            double sum = 0.0;
            for (int k = 1; k <= n; ++k) {
                sum += work.a[i][k] * work.w[k] * work.v[j][k];
            }
            ASSERT_NEAR(sum, input[(i - 1) * n + (j - 1)], tolerance) << i << ", " << j;
        }
    }
    for (int k = 1; k <= n; ++k) {
        EXPECT_GE(work.w[k], 0.0);
        if (k > 1) {
            EXPECT_GE(work.w[k - 1], work.w[k]);
        }
        for (int l = 1; l <= n; ++l) {
            double vv = 0.0;
            double uu = 0.0;
            for (int i = 1; i <= n; ++i) {
                vv += work.v[i][k] * work.v[i][l];
            }
            for (int i = 1; i <= m; ++i) {
                uu += work.a[i][k] * work.a[i][l];
            }
            EXPECT_NEAR(vv, k == l ? 1.0 : 0.0, kTolerance) << "V " << k << ", " << l;
            if (checkU && m >= n) {
                EXPECT_NEAR(uu, k == l ? 1.0 : 0.0, kTolerance) << "U " << k << ", " << l;
            }
        }
    }
}

TEST(DsvdInplace, RandomMatricesOfEveryShapeRebuild) {
    std::mt19937_64 generator(20240611);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int m = 1; m <= 7; ++m) {
        for (int n = 1; n <= 7; ++n) {
            for (int trial = 0; trial < 5; ++trial) {
                SCOPED_TRACE(testing::Message() << m << " x " << n << " trial " << trial);
                std::vector<double> input(static_cast<size_t>(m * n));
                const double magnitude = std::pow(10.0, 4 * trial - 8);  // 1e-8 .. 1e8
                for (double& value : input) {
                    value = uniform(generator) * magnitude;
                }
                CheckDecomposition(input, m, n, true);
            }
        }
    }
}

TEST(DsvdInplace, RankDeficientMatricesGiveTrailingZeros) {
    // Products of m x r and r x n factors have rank r < n; the last n - r values vanish.
    std::mt19937_64 generator(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const int shapes[][3] = {{4, 3, 1}, {5, 4, 2}, {3, 3, 2}, {10, 4, 3}, {2, 4, 1}, {6, 6, 3}};
    for (const auto& shape : shapes) {
        const int m = shape[0], n = shape[1], r = shape[2];
        SCOPED_TRACE(testing::Message() << m << " x " << n << " rank " << r);
        std::vector<double> left(static_cast<size_t>(m * r)), right(static_cast<size_t>(r * n));
        for (double& value : left) {
            value = uniform(generator);
        }
        for (double& value : right) {
            value = uniform(generator);
        }
        std::vector<double> input(static_cast<size_t>(m * n), 0.0);
        for (int i = 0; i < m; ++i) {
            for (int j = 0; j < n; ++j) {
                for (int k = 0; k < r; ++k) {
                    input[i * n + j] += left[i * r + k] * right[k * n + j];
                }
            }
        }
        CheckDecomposition(input, m, n, false);
        SWork work(m, n);
        for (int i = 1; i <= m; ++i) {
            for (int j = 1; j <= n; ++j) {
                work.a[i][j] = input[(i - 1) * n + (j - 1)];
            }
        }
        ASSERT_TRUE(dsvd_inplace(work.a, m, n, work.w, work.v));
        EXPECT_GT(work.w[r], 1e-6);
        for (int k = r + 1; k <= n; ++k) {
            EXPECT_LT(work.w[k], 1e-14);
        }
    }
}

TEST(DsvdInplace, DiagonalWithNegativeEntrySortsAndFlipsSign) {
    // diag(1, -3, 2): w = (3, 2, 1); the -3 column appears first with one sign flipped.
    SWork work(3, 3);
    const double diagonal[3] = {1.0, -3.0, 2.0};
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            work.a[i][j] = i == j ? diagonal[i - 1] : 0.0;
        }
    }
    ASSERT_TRUE(dsvd_inplace(work.a, 3, 3, work.w, work.v));
    EXPECT_NEAR(work.w[1], 3.0, 1e-15);
    EXPECT_NEAR(work.w[2], 2.0, 1e-15);
    EXPECT_NEAR(work.w[3], 1.0, 1e-15);
    // Column k of U and V are +-e_j for j the input position of w[k], with u_j v_j = sign.
    const int position[4] = {0, 2, 3, 1};
    for (int k = 1; k <= 3; ++k) {
        SCOPED_TRACE(k);
        const int j = position[k];
        EXPECT_NEAR(std::fabs(work.v[j][k]), 1.0, 1e-15);
        EXPECT_NEAR(work.a[j][k] * work.v[j][k], diagonal[j - 1] / work.w[k], 1e-15);
    }
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
