#include "polyview/foundations/vector3d.h"

#include <gtest/gtest.h>

#include "support/expect_geometry.h"

namespace {

TEST(C3DVectorNormalize, NoDirectionGivesZeroNeverNaN) {
    const C3DVector inputs[] = {
        C3DVector(0, 0, 0), C3DVector(std::nan(""), 1, 0), C3DVector(INFINITY, 0, 0)};
    for (const C3DVector& input : inputs) {
        C3DVector untouched(9, 9, 9);
        EXPECT_FALSE(input.GetNormalizedVector(untouched));
        ExpectVectorNear(untouched, C3DVector(9, 9, 9), 0.0);
        ExpectVectorNear(input.GetNormalizedVector(), C3DVector(0, 0, 0), 0.0);
    }
    // Over- and underflowing norms still have a direction.
    ExpectVectorNear(
        C3DVector(3e300, 4e300, 0).GetNormalizedVector(), C3DVector(0.6, 0.8, 0), 1e-15);
    ExpectVectorNear(
        C3DVector(0, 3e-320, 4e-320).GetNormalizedVector(), C3DVector(0, 0.6, 0.8), 1e-3);
}

}  // namespace
