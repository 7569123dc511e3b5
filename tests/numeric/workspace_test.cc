#include "polyview/numeric/workspace.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector_nd.h"
#include "polyview/numeric/lu.h"
#include "polyview/numeric/svd.h"
#include "polyview/numeric/symmetric_eigen.h"
#include "support/indexed_matrix.h"
#include "support/numeric_allocation_sweep.h"

namespace {

const double kSentinel = -7.25;  // a value no operation under test would produce

TEST(NumericWorkspace, EachRefusedBlockIsReportedWithItsMessageAndGivesNull) {
    // dmatrix asks for its row pointers first, then its data; in case 2 it releases the first.
    const struct {
        int nth;
        bool (*refused)();
        const char* message;
    } cases[] = {
        {1, [] { return dmatrix(1, 3, 1, 3) == nullptr; }, "allocation failure 1 in dmatrix()"},
        {2, [] { return dmatrix(1, 3, 1, 3) == nullptr; }, "allocation failure 2 in dmatrix()"},
        {1, [] { return dvector(1, 3) == nullptr; }, "allocation failure in dvector()"},
        {1, [] { return ivector(1, 3) == nullptr; }, "allocation failure in ivector()"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        dworkspace_fail_nth(c.nth);
        EXPECT_TRUE(c.refused());
        ASSERT_NE(dworkspace_last_message(), nullptr);
        EXPECT_EQ(std::string(dworkspace_last_message()), c.message);
    }
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
    const CIndexed indexed(3, 4, {}), indexedV(4, 4, {});  // allocated before the sweep
    double** a = *indexed;
    double** v = *indexedV;
    double w[5];  // [1..4]
    const int allocations = SweepAllocationFailures("dsvd_inplace", [&] {
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
}

TEST(NumericAllocationFailure, KernelsFailCleanlyAtEveryAllocation) {
    const double symmetric[9] = {4, 1, 0, 1, 3, -1, 0, -1, 2};
    CMNMatrix matrix(3, 3);
    for (int i = 0; i < 9; ++i) {
        matrix(i / 3, i % 3) = symmetric[i];
    }
    // Each attempt fills its outputs with the sentinel; on failure they must still hold it.
    double out[12];  // values (3) and vectors (9) of the largest output set
    auto untouched = [&out](int count) {
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(out[i], kSentinel) << i;
        }
    };
    const int sorted = SweepAllocationFailures("dsymeig_sorted", [&] {
        std::fill(out, out + 12, kSentinel);
        return dsymeig_sorted(symmetric, 3, out, out + 3) || (untouched(12), false);
    });
    EXPECT_EQ(sorted, 5);  // z (two blocks), d, e and the index
    const int smallest2 = SweepAllocationFailures("dsymeig_smallest2", [&] {
        std::fill(out, out + 9, kSentinel);
        return dsymeig_smallest2(symmetric, 3, out, out + 3, out + 6, true) ||
               (untouched(9), false);
    });
    EXPECT_EQ(smallest2, 3);  // z (two blocks) and the index
    const int invert = SweepAllocationFailures("dinvert_lu", [&] {
        CMNMatrix inverse(3, 3, kSentinel);
        const bool ok = dinvert_lu(matrix, inverse);
        EXPECT_TRUE(ok || inverse(1, 2) == kSentinel);
        return ok;
    });
    EXPECT_EQ(invert, 7);  // two matrices of two blocks, a column, the index and the scale vector
    SweepAllocationFailures("dsvd_sorted", [&] {
        CMNMatrix a(matrix);
        CNDVector w(3, kSentinel);
        CMNMatrix v(3, 3, kSentinel);
        const bool ok = dsvd_sorted(a, w, v);
        EXPECT_TRUE(ok || (a(0, 0) == 4.0 && w[0] == kSentinel && v(0, 0) == kSentinel));
        return ok;
    });
}

TEST(NumericAllocationFailure, MatrixMembersFailCleanlyAtEveryAllocation) {
    CMNMatrix matrix(2, 2, 1.0);
    matrix(0, 0) = 2.0;
    SweepAllocationFailures("GetInverted", [&matrix] {
        return !std::isnan(matrix.GetInverted()(0, 0));  // refused: the not-a-number matrix
    });
    SweepAllocationFailures("GetMinEigenVector4MinEigenValue", [&matrix] {
        double value = kSentinel;
        CNDVector vector(1, kSentinel);
        const bool ok = matrix.GetMinEigenVector4MinEigenValue(value, vector);
        EXPECT_TRUE(ok || (value == kSentinel && vector.Rows() == 1));
        return ok;
    });
    SweepAllocationFailures("GetEigenVector4EigenValue", [&matrix] {
        C1DArray<double> values;
        C1DArray<CNDVector> vectors;
        const bool ok = matrix.GetEigenVector4EigenValue(values, vectors);
        EXPECT_TRUE(ok || (values.GetSize() == 0 && vectors.GetSize() == 0));
        return ok;
    });
}

}  // namespace
