#include "polyview/foundations/matrix33.h"

#include <gtest/gtest.h>

#include "support/expect_geometry.h"

namespace {

TEST(C33MatrixInverse, SingularFailsAndLeavesOutput) {
    C33Matrix out(C33Matrix::IdentityMatrix);
    EXPECT_FALSE(C33Matrix(1, 2, 3, 2, 4, 6, 0, 0, 1).GetInverseMatrix(out));
    EXPECT_EQ(out.GetData(0, 0), 1.0);
    const C33Matrix m(2, 0, 1, 0, 3, 0, 1, 0, 1);
    ASSERT_TRUE(m.GetInverseMatrix(out));
    ExpectMatrixNear(out, C33Matrix(1, 0, -1, 0, 1.0 / 3.0, 0, -1, 0, 2), 1e-15);
}

}  // namespace
