#include "polyview/numeric/perpendicular_foot.h"

#include <gtest/gtest.h>

#include "support/expect_geometry.h"

namespace {

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
