#include "core/soundness.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/polyview.h"

namespace {

// Spread ratio of the rectangle (+-1, +-b, 0): the scatter's eigenvalues are 4 and 4 b^2, so the
// ratio is b. The examples: three collinear points, and four points within 0.5 mm of a
// 1.5 m line.
TEST(CoreJudgePlanePoints, ThresholdOnTheSpreadRatio) {
    const auto rectangle = [](double b) {
        return std::vector<double>{-1, -b, 0, 1, -b, 0, -1, b, 0, 1, b, 0};
    };
    const std::pair<std::vector<double>, bool> cases[] = {
        {rectangle(0.0099), false},
        {rectangle(0.0101), true},
        {{0, 0, 0, 1, 0, 0, 2, 0, 0}, false},
        {{0, 0, 0, 0.5, 0.0005, 0, 1.0, -0.0005, 0.0003, 1.5, 0.0002, -0.0004}, false},
        {{0, 0, 0, 1, 0, 0, 0, 1, 0, 0.5, 0.5, 0.1}, true},
        {{1, 2, 3, 1, 2, 3, 1, 2, 3}, false},          // coincident
        {{0, 0, 0, 1, 0, 0, 0, NAN, 0}, false},        // not finite
        {{0, 0, 0, 1e300, 0, 0, 0, 1e300, 0}, false},  // the spread overflows
    };
    for (const auto& [xyz, ok] : cases) {
        SCOPED_TRACE(xyz[4] + 10 * xyz[7]);
        const core::PlaneConditioning judged = core::JudgePlanePoints(xyz.data(), xyz.size() / 3);
        EXPECT_EQ(judged.ok, ok) << judged.reason;
        EXPECT_EQ(judged.reason.empty(), ok);
    }
    EXPECT_NEAR(core::JudgePlanePoints(rectangle(0.0099).data(), 4).spreadRatio, 0.0099, 1e-12);
    EXPECT_NE(core::JudgePlanePoints(rectangle(0.0).data(), 4).reason.find("line"),
              std::string::npos);
    EXPECT_FALSE(core::JudgePlanePoints(rectangle(1.0).data(), 2).ok);  // two points
}

}  // namespace
