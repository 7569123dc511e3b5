#include "polyview/foundations/fundamental_matrix.h"

#include <gtest/gtest.h>

#include "polyview/foundations/essential_matrix.h"
#include "support/expect_geometry.h"

namespace {

TEST(CFundamentalMatrixConvention, UnusableFocalLengthFailsAndLeavesOutput) {
    const CEssentialMatrix essential{CExtrinsicParam(CRotateMatrix(), C3DVector(1.0, 0.0, 0.0))};
    const double focalLengths[] = {0.0, std::nan(""), INFINITY};
    for (double focalLength : focalLengths) {
        SCOPED_TRACE(focalLength);
        CFundamentalMatrix fundamental(C33Matrix(1, 2, 3, 4, 5, 6, 7, 8, 9));
        const CIntrinsicParam bad(focalLength, C2DCoordinate(0.0, 0.0));
        const CIntrinsicParam good(100.0, C2DCoordinate(0.0, 0.0));
        EXPECT_FALSE(essential.CalcFundamentalMatrix(bad, good, fundamental));
        EXPECT_FALSE(essential.CalcFundamentalMatrix(good, bad, fundamental));
        EXPECT_EQ(fundamental.GetData(2, 2), 9.0);
    }
}

}  // namespace
