#include <cmath>

#include <gtest/gtest.h>

#include "polyview/foundations/coordinate2d.h"
#include "polyview/numeric/perpendicular_foot.h"
#include "polyview/numeric/vector_kernels.h"
#include "support/expect_geometry.h"

namespace {

TEST(Dhypot, ExactCasesAndNoOverflowOrUnderflow) {
    EXPECT_EQ(dhypot(0.0, 0.0), 0.0);
    EXPECT_EQ(dhypot(-4.0, 3.0), 5.0);
    EXPECT_EQ(dhypot(0.0, -2.5), 2.5);
    // Squaring 1e200 would overflow and squaring 1e-200 would underflow.
    EXPECT_NEAR(dhypot(1e200, 1e200) / 1e200, std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(dhypot(-1e-200, 1e-200) / 1e-200, std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(dhypot(3e300, -4e300) / 1e300, 5.0, 1e-14);
}

TEST(Dperpfoot, AxisParallelAndObliqueLines) {
    const struct {
        double line[3];
        double x, y, footX, footY;
    } cases[] = {
        {{0.0, 2.0, -4.0}, 5.0, 7.0, 5.0, 2.0},   // v = 2
        {{1.0, 0.0, -3.0}, 5.0, 7.0, 3.0, 7.0},   // u = 3
        {{1.0, -1.0, 0.0}, 2.0, 0.0, 1.0, 1.0},   // u = v
        {{3.0, 4.0, -25.0}, 0.0, 0.0, 3.0, 4.0},  // 3u + 4v = 25, foot from the origin
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.line[0] << ", " << c.line[1] << ", " << c.line[2]);
        C2DCoordinate foot(-1.0, -1.0);
        dperpfoot(c.line, C2DCoordinate(c.x, c.y), foot);
        ExpectVectorNear(foot, C2DVector(c.footX, c.footY), 1e-14);
    }
}

}  // namespace
