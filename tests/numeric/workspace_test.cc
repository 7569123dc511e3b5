#include "polyview/numeric/workspace.h"

#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector_nd.h"
#include "polyview/numeric/lu.h"
#include "polyview/numeric/svd.h"
#include "polyview/numeric/symmetric_eigen.h"
#include "polyview/numeric/triangulation.h"
#include "support/numeric_allocation_sweep.h"

namespace {

const double kSentinel = -7.25;  // a value no operation under test would produce

TEST(NumericWorkspace, ShiftedRangesAreUsableAndMatrixRowsAreContiguous) {
    double* v = dvector(0, 3);
    ASSERT_NE(v, nullptr);
    for (int i = 0; i <= 3; ++i) {
        v[i] = i;  // all four elements writable (ASan checks the bounds)
    }
    dvector_free(v, 0, 3);

    int* iv = ivector(-2, 2);
    ASSERT_NE(iv, nullptr);
    iv[-2] = 1;
    iv[2] = 2;
    ivector_free(iv, -2, 2);

    double** m = dmatrix(1, 2, 1, 3);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(&m[1][3] + 1, &m[2][1]);  // row-major, one block
    m[1][1] = 1.0;
    m[2][3] = 6.0;
    dmatrix_free(m, 1, 2, 1, 3);

    dvector_free(nullptr, 1, 3);  // freeing what was never obtained is harmless
    dmatrix_free(nullptr, 1, 3, 1, 3);
}

TEST(NumericWorkspace, EachRefusedBlockIsReportedWithItsMessageAndGivesNull) {
    struct Case {
        int nth;
        const char* message;
    };
    // dmatrix asks for its row pointers first, then its data.
    const Case matrixCases[] = {{1, "allocation failure 1 in dmatrix()"},
                                {2, "allocation failure 2 in dmatrix()"}};
    for (const Case& c : matrixCases) {
        SCOPED_TRACE(c.nth);
        dworkspace_fail_nth(c.nth);
        EXPECT_EQ(dmatrix(1, 3, 1, 3), nullptr);  // the row block of case 2 is released (ASan)
        ASSERT_NE(dworkspace_last_message(), nullptr);
        EXPECT_EQ(std::string(dworkspace_last_message()), c.message);
    }
    dworkspace_fail_nth(1);
    EXPECT_EQ(dvector(1, 3), nullptr);
    ASSERT_NE(dworkspace_last_message(), nullptr);
    EXPECT_EQ(std::string(dworkspace_last_message()), "allocation failure in dvector()");
    dworkspace_fail_nth(1);
    EXPECT_EQ(ivector(1, 3), nullptr);
    ASSERT_NE(dworkspace_last_message(), nullptr);
    EXPECT_EQ(std::string(dworkspace_last_message()), "allocation failure in ivector()");

    dworkspace_fail_nth(0);
    double* v = dvector(1, 3);
    EXPECT_NE(v, nullptr);
    EXPECT_EQ(dworkspace_last_message(), nullptr);
    dvector_free(v, 1, 3);
}

// Every operation that allocates fails cleanly at each of its allocation points: false, outputs
// untouched, nothing leaked (AddressSanitizer builds check the leaks at exit).
TEST(NumericAllocationFailure, SvdFailsCleanlyAtEveryAllocation) {
    const double input[3][4] = {{2, -1, 0, 3}, {1, 4, -2, 0}, {0, 1, 5, -1}};
    double** a = dmatrix(1, 3, 1, 4);
    double** v = dmatrix(1, 4, 1, 4);
    double* w = dvector(1, 4);
    ASSERT_TRUE(a != nullptr && v != nullptr && w != nullptr);
    const int allocations = SweepAllocationFailures([&] {
        for (int i = 1; i <= 3; ++i) {
            for (int j = 1; j <= 4; ++j) {
                a[i][j] = input[i - 1][j - 1];
                v[j][i] = kSentinel;
            }
        }
        w[1] = kSentinel;
        const bool ok = dsvd_inplace(a, 3, 4, w, v);
        if (!ok) {
            EXPECT_EQ(a[2][3], input[1][2]);
            EXPECT_EQ(w[1], kSentinel);
            EXPECT_EQ(v[1][1], kSentinel);
        }
        return ok;
    });
    EXPECT_EQ(allocations, 7);  // rv1, the index, and copies of U (2 blocks), w and V (2 blocks)
    dmatrix_free(a, 1, 3, 1, 4);
    dmatrix_free(v, 1, 4, 1, 4);
    dvector_free(w, 1, 4);
}

TEST(NumericAllocationFailure, KernelsFailCleanlyAtEveryAllocation) {
    const double symmetric[9] = {4, 1, 0, 1, 3, -1, 0, -1, 2};
    CMNMatrix matrix(3, 3);
    for (int i = 0; i < 9; ++i) {
        matrix(i / 3, i % 3) = symmetric[i];
    }
    {
        SCOPED_TRACE("dsymeig_sorted");
        EXPECT_EQ(SweepAllocationFailures([&symmetric] {
                      double values[3] = {kSentinel, kSentinel, kSentinel};
                      double vectors[9] = {kSentinel};
                      const bool ok = dsymeig_sorted(symmetric, 3, values, vectors);
                      if (!ok) {
                          EXPECT_EQ(values[0], kSentinel);
                          EXPECT_EQ(vectors[0], kSentinel);
                      }
                      return ok;
                  }),
                  5);  // z (two blocks), d, e, index
    }
    {
        SCOPED_TRACE("dsymeig_smallest2");
        EXPECT_GT(SweepAllocationFailures([&symmetric] {
                      double smallest[3] = {kSentinel};
                      double second[3] = {kSentinel};
                      double values[3] = {kSentinel};
                      const bool ok =
                          dsymeig_smallest2(symmetric, 3, smallest, second, values, true);
                      if (!ok) {
                          EXPECT_EQ(smallest[0], kSentinel);
                          EXPECT_EQ(second[0], kSentinel);
                          EXPECT_EQ(values[0], kSentinel);
                      }
                      return ok;
                  }),
                  0);
    }
    {
        SCOPED_TRACE("dfitline2d");
        const double xs[3] = {0.0, 1.0, 2.0};
        const double ys[3] = {1.0, 2.0, 2.5};
        EXPECT_GT(SweepAllocationFailures([&xs, &ys] {
                      double a = kSentinel, b = kSentinel, c = kSentinel;
                      const bool ok = dfitline2d(xs, ys, 3, &a, &b, &c);
                      if (!ok) {
                          EXPECT_EQ(a, kSentinel);
                          EXPECT_EQ(b, kSentinel);
                          EXPECT_EQ(c, kSentinel);
                      }
                      return ok;
                  }),
                  0);
    }
    {
        SCOPED_TRACE("dinvert_lu");
        EXPECT_EQ(SweepAllocationFailures([&matrix] {
                      CMNMatrix inverse(3, 3, kSentinel);
                      const bool ok = dinvert_lu(matrix, inverse);
                      if (!ok) {
                          EXPECT_EQ(inverse(1, 2), kSentinel);
                      }
                      return ok;
                  }),
                  7);  // two matrices of two blocks, a column, an index, the scale vector
    }
    {
        SCOPED_TRACE("dsvd_sorted");
        EXPECT_GT(SweepAllocationFailures([&matrix] {
                      CMNMatrix a(matrix);
                      CNDVector w(3, kSentinel);
                      CMNMatrix v(3, 3, kSentinel);
                      const bool ok = dsvd_sorted(a, w, v);
                      if (!ok) {
                          EXPECT_EQ(a(0, 0), 4.0);
                          EXPECT_EQ(w[0], kSentinel);
                          EXPECT_EQ(v(0, 0), kSentinel);
                      }
                      return ok;
                  }),
                  0);
    }
    {
        SCOPED_TRACE("dtriangulate_point");
        // Camera 1 at the origin, camera 2 at (1, 0, 0), both unrotated, seeing (0, 0, 2).
        const double cameras[14] = {0, 0, 0, 0, 0, 0, 1, 0, 0, 0, -1, 0, 0, 1};
        const double imagePoints[4] = {0.0, 0.0, -0.5, 0.0};
        const double principal[2] = {0.0, 0.0};
        EXPECT_GT(SweepAllocationFailures([&] {
                      double result[3];
                      const bool ok =
                          dtriangulate_point(2, cameras, imagePoints, principal, principal, result);
                      if (ok) {
                          EXPECT_NEAR(result[2], 2.0, 1e-14);
                      }
                      return ok;
                  }),
                  0);
    }
}

TEST(NumericAllocationFailure, MatrixMembersFailCleanlyAtEveryAllocation) {
    CMNMatrix matrix(2, 2);
    matrix(0, 0) = 2.0;
    matrix(0, 1) = 1.0;
    matrix(1, 0) = 1.0;
    matrix(1, 1) = 2.0;
    SweepAllocationFailures([&matrix] {
        const CMNMatrix inverse = matrix.GetInverted();
        return !std::isnan(inverse(0, 0));  // a refused block gives the not-a-number matrix
    });
    SweepAllocationFailures([&matrix] {
        double value = kSentinel;
        CNDVector vector(1, kSentinel);
        const bool ok = matrix.GetMinEigenVector4MinEigenValue(value, vector);
        if (!ok) {
            EXPECT_EQ(value, kSentinel);
            EXPECT_EQ(vector.Rows(), 1);
        }
        return ok;
    });
    SweepAllocationFailures([&matrix] {
        C1DArray<double> values;
        C1DArray<CNDVector> vectors;
        const bool ok = matrix.GetEigenVector4EigenValue(values, vectors);
        if (!ok) {
            EXPECT_EQ(values.GetSize(), 0);
            EXPECT_EQ(vectors.GetSize(), 0);
        }
        return ok;
    });
}

}  // namespace
