#include "polyview/numeric/symmetric_eigen.h"

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/foundations/rotate_matrix.h"
#include "support/camera_rig.h"

namespace {

const double kHalf = std::sqrt(0.5);
const double kTolerance = 1e-13;  // O(1) entries after a handful of rotations

// Q diag(lambda) Q^T for a rotation Q, row-major.
std::vector<double> WithEigenvalues(const CRotateMatrix& q, const double* lambda) {
    std::vector<double> a(9, 0.0);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                a[i * 3 + j] += q.GetData(i, k) * lambda[k] * q.GetData(j, k);
            }
        }
    }
    return a;
}

TEST(Dfitline2d, SignsAndDegenerateInputs) {
    struct Case {
        std::vector<double> xs, ys;
        double a, b, c;
    };
    const Case cases[] = {
        {{0, 1, 2}, {0, 1, 2}, kHalf, -kHalf, 0.0},     // eigenvalues 0, 4 already in order
        {{0, 1, 2}, {0, -1, -2}, -kHalf, -kHalf, 0.0},  // 4, 0: exchanged by the ordering
        {{5}, {7}, 1.0, 0.0, -5.0},                     // one point: z stays the identity
        {{1, 4, 2}, {3, 3, 3}, 0.0, 1.0, -3.0},         // equal y
        {{-2, -2, -2}, {0, 5, 1}, 1.0, 0.0, 2.0},       // equal x
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "first point " << c.xs[0] << ", " << c.ys[0]);
        double a = 0.0, b = 0.0, cc = 0.0;
        ASSERT_TRUE(
            dfitline2d(c.xs.data(), c.ys.data(), static_cast<int>(c.xs.size()), &a, &b, &cc));
        EXPECT_NEAR(a, c.a, 1e-15);
        EXPECT_NEAR(b, c.b, 1e-15);
        EXPECT_NEAR(cc, c.c, 1e-15);
    }
}

TEST(Dfitline2d, MatchesClosedFormOfTheScatterMatrix) {
    // (0,0), (1,1), (2,1), (3,3): centroid (1.5, 1.25), scatter [[5, 4.5], [4.5, 4.75]]. The
    // smaller eigenvalue is (9.75 - sqrt(0.25^2 + 9^2)) / 2 with normal (4.5, lambda - 5).
    const double xs[4] = {0, 1, 2, 3};
    const double ys[4] = {0, 1, 1, 3};
    const double lambda = (9.75 - std::sqrt(0.0625 + 81.0)) / 2.0;
    const double length = std::hypot(4.5, lambda - 5.0);
    const double expectedA = 4.5 / length;
    const double expectedB = (lambda - 5.0) / length;
    double a = 0.0, b = 0.0, c = 0.0;
    ASSERT_TRUE(dfitline2d(xs, ys, 4, &a, &b, &c));
    EXPECT_NEAR(a, expectedA, 1e-14);                              // about 0.697
    EXPECT_NEAR(b, expectedB, 1e-14);                              // about -0.717
    EXPECT_NEAR(c, -(1.5 * expectedA + 1.25 * expectedB), 1e-14);  // about -0.150
}

TEST(Dfitline2d, PointsOnALineAreFittedExactly) {
    std::mt19937_64 generator(9);
    std::uniform_real_distribution<double> uniform(-100.0, 100.0);
    for (int trial = 0; trial < 50; ++trial) {
        SCOPED_TRACE(trial);
        const double angle = uniform(generator);
        const double px = uniform(generator), py = uniform(generator);
        std::vector<double> xs, ys;
        for (int i = 0; i < 10; ++i) {
            const double t = uniform(generator);
            xs.push_back(px + t * std::cos(angle));
            ys.push_back(py + t * std::sin(angle));
        }
        double a = 0.0, b = 0.0, c = 0.0;
        ASSERT_TRUE(dfitline2d(xs.data(), ys.data(), 10, &a, &b, &c));
        EXPECT_NEAR(std::hypot(a, b), 1.0, 1e-14);
        for (int i = 0; i < 10; ++i) {
            EXPECT_NEAR(a * xs[i] + b * ys[i] + c, 0.0, 1e-11);  // coordinates up to ~200
        }
    }
}

TEST(DsymeigSorted, OrdersByMagnitudeNotValue) {
    // Diagonal: nothing iterates, so the order is that of the exchange sort alone.
    const double diagonal[9] = {2, 0, 0, 0, -2, 0, 0, 0, 1};
    double values[3];
    double vectors[9];
    ASSERT_TRUE(dsymeig_sorted(diagonal, 3, values, vectors));
    EXPECT_EQ(values[0], 1.0);
    EXPECT_EQ(values[1], -2.0);
    EXPECT_EQ(values[2], 2.0);
    const double expectedVectors[9] = {0, 0, 1, 0, 1, 0, 1, 0, 0};  // columns e3, e2, e1
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(vectors[i], expectedVectors[i]) << i;
    }

    // Eigenvalues -3, 1, 2 behind a rotation come out as 1, 2, -3.
    std::mt19937_64 generator(1);
    const double lambda[3] = {-3.0, 1.0, 2.0};
    const CRotateMatrix q = RandomRotation(generator);
    const std::vector<double> a = WithEigenvalues(q, lambda);
    ASSERT_TRUE(dsymeig_sorted(a.data(), 3, values, vectors));
    EXPECT_NEAR(values[0], 1.0, kTolerance);
    EXPECT_NEAR(values[1], 2.0, kTolerance);
    EXPECT_NEAR(values[2], -3.0, kTolerance);
    const int source[3] = {1, 2, 0};  // column of q behind each value
    for (int k = 0; k < 3; ++k) {
        double along = 0.0;
        for (int i = 0; i < 3; ++i) {
            along += vectors[i * 3 + k] * q.GetData(i, source[k]);
        }
        EXPECT_NEAR(std::fabs(along), 1.0, kTolerance) << k;
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
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j) {
                    double rebuilt = 0.0;  // V diag(values) V^T
                    double gram = 0.0;     // V^T V
                    for (int k = 0; k < n; ++k) {
                        rebuilt += vectors[i * n + k] * values[k] * vectors[j * n + k];
                        gram += vectors[k * n + i] * vectors[k * n + j];
                    }
                    EXPECT_NEAR(rebuilt, a[i * n + j], kTolerance);
                    EXPECT_NEAR(gram, i == j ? 1.0 : 0.0, kTolerance);
                }
            }
        }
    }
}

TEST(DsymeigSmallest2, OrderOutsideItsRangeLeavesOutputsUntouched) {
    for (int n : {-1, 0, 1, 200}) {
        SCOPED_TRACE(n);
        std::vector<double> a(200 * 200, 1.0);
        std::vector<double> smallest(200, -7.0), second(200, -7.0), values(200, -7.0);
        EXPECT_FALSE(
            dsymeig_smallest2(a.data(), n, smallest.data(), second.data(), values.data(), true));
        EXPECT_EQ(smallest[0], -7.0);
        EXPECT_EQ(second[0], -7.0);
        EXPECT_EQ(values[0], -7.0);
    }
    // The largest accepted order works: the second-difference matrix (2 on the diagonal, -1
    // beside it) has eigenvalues 2 - 2 cos(k pi / (n + 1)) and eigenvectors sin(j k pi / (n + 1)).
    const int n = 199;
    std::vector<double> a(n * n, 0.0);
    for (int i = 0; i < n; ++i) {
        a[i * n + i] = 2.0;
        if (i > 0) {
            a[i * n + i - 1] = a[(i - 1) * n + i] = -1.0;
        }
    }
    std::vector<double> smallest(n), second(n), values(n);
    ASSERT_TRUE(
        dsymeig_smallest2(a.data(), n, smallest.data(), second.data(), values.data(), true));
    const double step = std::acos(-1.0) / (n + 1);
    EXPECT_NEAR(values[0], 2.0 - 2.0 * std::cos(step), 1e-12);
    EXPECT_NEAR(values[1], 2.0 - 2.0 * std::cos(2.0 * step), 1e-12);
    EXPECT_NEAR(values[n - 1], 2.0 - 2.0 * std::cos(n * step), 1e-12);
    const double norm = std::sqrt(2.0 / (n + 1));
    double alongFirst = 0.0, alongSecond = 0.0;
    for (int j = 0; j < n; ++j) {
        alongFirst += smallest[j] * norm * std::sin((j + 1) * step);
        alongSecond += second[j] * norm * std::sin(2.0 * (j + 1) * step);
    }
    EXPECT_NEAR(std::fabs(alongFirst), 1.0, 1e-9);  // eigenvalue gaps of about 7e-4
    EXPECT_NEAR(std::fabs(alongSecond), 1.0, 1e-9);
    // Without wantValues the values array is not touched.
    values[0] = -7.0;
    ASSERT_TRUE(
        dsymeig_smallest2(a.data(), n, smallest.data(), second.data(), values.data(), false));
    EXPECT_EQ(values[0], -7.0);
}

}  // namespace
