#include "polyview/numeric/vector_kernels.h"

#include <gtest/gtest.h>

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

}  // namespace
