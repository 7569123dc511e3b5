// The umbrella header alone must compile and give every public class.
#include <gtest/gtest.h>

#include "polyview/polyview.h"

TEST(UmbrellaHeader, CompilesOnItsOwn) {
    const C3DPoint point;
    EXPECT_EQ(point.GetPoint().GetNorm(), 0.0);
}
