#include "polyview/numeric/line_fit2d.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

namespace {

const double kHalf = std::sqrt(0.5);

TEST(Dfitline2d, SignsAndDegenerateInputs) {
    // (0,0), (1,1), (2,1), (3,3): centroid (1.5, 1.25), scatter [[5, 4.5], [4.5, 4.75]]; the
    // smaller eigenvalue is (9.75 - sqrt(0.25^2 + 9^2)) / 2 with normal (4.5, lambda - 5).
    const double lambda = (9.75 - std::sqrt(0.0625 + 81.0)) / 2.0;
    const double a4 = 4.5 / std::hypot(4.5, lambda - 5.0);             // about 0.697
    const double b4 = (lambda - 5.0) / std::hypot(4.5, lambda - 5.0);  // about -0.717
    const struct {
        std::vector<double> xs, ys;
        double a, b, c;
    } cases[] = {
        {{0, 1, 2}, {0, 1, 2}, kHalf, -kHalf, 0.0},     // eigenvalues 0, 4 already in order
        {{0, 1, 2}, {0, -1, -2}, -kHalf, -kHalf, 0.0},  // 4, 0: exchanged by the ordering
        {{5}, {7}, 1.0, 0.0, -5.0},                     // one point: z stays the identity
        {{1, 4, 2}, {3, 3, 3}, 0.0, 1.0, -3.0},         // equal y
        {{-2, -2, -2}, {0, 5, 1}, 1.0, 0.0, 2.0},       // equal x
        {{0, 1, 2, 3}, {0, 1, 1, 3}, a4, b4, -(1.5 * a4 + 1.25 * b4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "point " << c.xs.back() << ", " << c.ys.back());
        double a = 0.0, b = 0.0, cc = 0.0;
        ASSERT_TRUE(
            dfitline2d(c.xs.data(), c.ys.data(), static_cast<int>(c.xs.size()), &a, &b, &cc));
        EXPECT_NEAR(a, c.a, 1e-14);
        EXPECT_NEAR(b, c.b, 1e-14);
        EXPECT_NEAR(cc, c.c, 1e-14);
    }
}

}  // namespace
