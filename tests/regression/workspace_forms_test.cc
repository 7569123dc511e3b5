// The numeric kernels come in two forms: the heap-workspace form and the form the fits use, with
// its workspace on the stack (or, for the LU inverse, with the elimination along the rows'
// profile). Both must give the same bits on every input, including the ones the fixed regression
// inputs avoid: rank-deficient and sparse matrices, signed zeros, exchanges and ties.

#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/matrix_mn.h"
#include "polyview/numeric/lu.h"
#include "polyview/numeric/perpendicular_foot.h"
#include "polyview/numeric/svd.h"
#include "polyview/numeric/symmetric_eigen.h"
#include "polyview/numeric/workspace.h"
#include "support/expect_geometry.h"
#include "support/indexed_matrix.h"

namespace {

// A matrix of the given size whose entries are drawn from a few kinds: ordinary values, exact
// zeros of both signs, repeated values, and (rarely) huge or tiny magnitudes.
std::vector<double> Matrix(std::mt19937_64& random, int rows, int cols, bool symmetric) {
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    std::vector<double> m(static_cast<size_t>(rows * cols));
    const double fixed[] = {0.0, 0.0, -0.0, 1.0};
    for (double& entry : m) {
        const int k = kind(random);
        entry = k < 4 ? fixed[k] : (k == 4 ? value(random) * 1e150 : value(random));
    }
    if (symmetric) {
        for (int i = 0; i < rows; ++i) {
            for (int j = 0; j < i; ++j) {
                m[j * cols + i] = m[i * cols + j];
            }
        }
    }
    return m;
}

TEST(WorkspaceForms, SvdOnTheStackMatchesTheHeapForm) {
    std::mt19937_64 random(11);
    const int shapes[][2] = {{3, 3}, {2, 4}, {10, 4}, {4, 3}, {1, 3}, {5, 5}, {40, 4}};
    for (int trial = 0; trial < 700; ++trial) {
        const int m = shapes[trial % 7][0];
        const int n = shapes[trial % 7][1];
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", " << m << " x " << n);
        const std::vector<double> input = Matrix(random, m, n, false);
        const CIndexed a1(m, n, input), a2(m, n, input), a3(m, n, input), a4(m, n, input),
            v1(n, n, {}), v2(n, n, {}), v4(n, n, {});
        std::vector<double> w1(n + 1), w2(n + 1), w3(n + 1), w4(n + 1);  // [1..n]
        ASSERT_TRUE(dsvd_inplace(*a1, m, n, w1.data(), *v1));
        ASSERT_TRUE(dsvd_inplace_small(*a2, m, n, w2.data(), *v2));
        ASSERT_TRUE(dsvd_values_small(*a3, m, n, w3.data()));
        ASSERT_TRUE(dsvd_right_small(*a4, m, n, w4.data(), *v4));
        for (int j = 1; j <= n; ++j) {
            EXPECT_TRUE(SameBits(w1[j], w2[j]) && SameBits(w1[j], w3[j]) && SameBits(w1[j], w4[j]))
                << "w " << j;
            for (int i = 1; i <= n; ++i) {
                EXPECT_TRUE(SameBits((*v1)[i][j], (*v2)[i][j]) &&
                            SameBits((*v1)[i][j], (*v4)[i][j]))
                    << "v " << i << " " << j;
            }
            for (int i = 1; i <= m; ++i) {
                EXPECT_TRUE(SameBits((*a1)[i][j], (*a2)[i][j])) << "u " << i << " " << j;
            }
        }
    }
}

TEST(WorkspaceForms, FeetOnOneLineMatchTheSingleFoot) {
    // Lines of every branch: general, a or b below 1e-20 or zero or NaN; points with signed
    // zeros, huge values and NaN. The feet are computed in place, as the cylinder's range does.
    std::mt19937_64 random(5);
    for (int trial = 0; trial < 400; ++trial) {
        const std::vector<double> line = Matrix(random, 1, 3, false);
        std::vector<double> points = Matrix(random, 1, 8, false);
        double edited[3] = {line[0], line[1], line[2]};
        if (trial % 5 == 1) {
            edited[trial % 2] = 1e-21;
        } else if (trial % 5 == 2) {
            edited[trial % 2] = std::nan("");
        }
        if (trial % 7 == 3) {
            points[trial % 8] = std::nan("");
        }
        const int count = 1 + trial % 4;
        std::vector<double> feet(points);
        dperpfeet(edited, count, feet.data(), feet.data());
        for (int k = 0; k < count; ++k) {
            C2DCoordinate foot;
            dperpfoot(edited, C2DCoordinate(points[2 * k], points[2 * k + 1]), foot);
            EXPECT_TRUE(SameBits(foot.GetData(0), feet[2 * k]) &&
                        SameBits(foot.GetData(1), feet[2 * k + 1]))
                << "trial " << trial << ", point " << k;
        }
    }
}

TEST(WorkspaceForms, SymmetricEigenOnTheStackMatchesTheHeapForm) {
    std::mt19937_64 random(12);
    for (int trial = 0; trial < 600; ++trial) {
        const int n = 2 + trial % 3;
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", order " << n);
        const std::vector<double> a = Matrix(random, n, n, true);
        double values1[4], values2[4], vectors1[16], vectors2[16];
        ASSERT_TRUE(dsymeig_sorted(a.data(), n, values1, vectors1));
        ASSERT_TRUE(dsymeig_sorted_small(a.data(), n, values2, vectors2));
        EXPECT_EQ(std::memcmp(values1, values2, n * sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(vectors1, vectors2, n * n * sizeof(double)), 0);
        double smallest1[4], smallest2[4], second1[4], second2[4];
        ASSERT_TRUE(dsymeig_smallest2(a.data(), n, smallest1, second1, values1, true));
        ASSERT_TRUE(dsymeig_smallest2_small(a.data(), n, smallest2, second2, values2, true));
        for (const auto& [first, second] : {std::pair(smallest1, smallest2),
                                            std::pair(second1, second2),
                                            std::pair(values1, values2)}) {
            EXPECT_EQ(std::memcmp(first, second, n * sizeof(double)), 0);
        }
    }
}

// dinvert_lu eliminates along the rows' profile; dinvert_lu_small is the plain elimination.
TEST(WorkspaceForms, ProfileEliminationMatchesThePlainElimination) {
    std::mt19937_64 random(13);
    for (int trial = 0; trial < 2000; ++trial) {
        const int n = 1 + trial % 4;
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", order " << n);
        const std::vector<double> a = Matrix(random, n, n, trial % 2 == 0);
        CMNMatrix matrix(n, n);
        for (int k = 0; k < n * n; ++k) {
            matrix(k / n, k % n) = a[k];
        }
        CMNMatrix profiled;
        double plain[16];
        const bool profiledOk = dinvert_lu(matrix, profiled);
        ASSERT_EQ(profiledOk, dinvert_lu_small(a.data(), n, plain));
        if (!profiledOk) {
            continue;  // a zero row
        }
        for (int k = 0; k < n * n; ++k) {
            EXPECT_TRUE(SameBits(profiled(k / n, k % n), plain[k]) ||
                        (std::isnan(profiled(k / n, k % n)) && std::isnan(plain[k])))
                << k;
        }
    }
}

// Larger orders, where the stack form cannot go: dinvert_lu against the plain elimination built
// from dlu_decompose and dlu_solve, column by column, on banded systems as the B-spline fits make
// them and on sparse random ones (exchanges move rows with other profiles around).
TEST(WorkspaceForms, ProfileInverseMatchesColumnByColumnSolves) {
    std::mt19937_64 random(14);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (int trial = 0; trial < 40; ++trial) {
        const int n = 5 + trial;
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", order " << n);
        const bool banded = trial % 2 == 0;
        const std::vector<double> sparse = Matrix(random, n, n, false);
        CMNMatrix matrix(n, n, 0.0);
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                matrix(i, j) = banded ? (std::abs(i - j) <= 3 ? value(random) : 0.0)
                                      : sparse[i * n + j] * 1e-150;
            }
            matrix(i, i) += 0.5;  // no zero rows
        }
        CMNMatrix inverse;
        ASSERT_TRUE(dinvert_lu(matrix, inverse));

        std::vector<double> values(static_cast<size_t>(n * n));
        for (int k = 0; k < n * n; ++k) {
            values[k] = matrix(k / n, k % n);
        }
        const CIndexed lu(n, n, values);
        std::vector<int> index(n + 1);
        std::vector<double> b(n + 1);
        double sign = 0.0;
        ASSERT_TRUE(dlu_decompose(*lu, n, index.data(), &sign));
        for (int j = 1; j <= n; ++j) {
            for (int i = 1; i <= n; ++i) {
                b[i] = i == j ? 1.0 : 0.0;
            }
            dlu_solve(*lu, n, index.data(), b.data());
            for (int i = 1; i <= n; ++i) {
                EXPECT_TRUE(SameBits(inverse(i - 1, j - 1), b[i])) << i << " " << j;
            }
        }
    }
}

}  // namespace
