#pragma once

#include <gtest/gtest.h>

#include "polyview/numeric/workspace.h"

// Runs attempt() once with a healthy heap, counting the numeric module's allocations, then once
// with each of those allocations refused in turn. attempt returns whether the operation
// succeeded and checks its own outputs (untouched on failure). Returns the allocation count.
template <typename Attempt>
int SweepAllocationFailures(const char* operation, const Attempt& attempt) {
    SCOPED_TRACE(operation);
    dworkspace_fail_nth(0);
    EXPECT_TRUE(attempt());
    const int allocations = dworkspace_allocation_count();
    for (int nth = 1; nth <= allocations; ++nth) {
        SCOPED_TRACE(testing::Message() << "allocation " << nth << " of " << allocations);
        dworkspace_fail_nth(nth);
        const bool succeeded = attempt();
        const char* message = dworkspace_last_message();
        dworkspace_fail_nth(0);
        EXPECT_FALSE(succeeded);
        EXPECT_NE(message, nullptr);  // the failure went through the error hook
    }
    return allocations;
}
