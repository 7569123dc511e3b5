// Every public operation, run on the fixed inputs of golden_cases.h, must reproduce the values
// recorded in golden_values.inc bit for bit (a NaN matches any NaN).

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "regression/golden_cases.h"
#include <gtest/gtest.h>

namespace {

[[maybe_unused]] const double kGoldenNan = std::numeric_limits<double>::quiet_NaN();
[[maybe_unused]] const double kGoldenInf = std::numeric_limits<double>::infinity();

#include "regression/golden_values.inc"

bool SameValue(double actual, double expected) {
    if (std::isnan(expected)) {
        return std::isnan(actual);
    }
    return std::memcmp(&actual, &expected, sizeof(double)) == 0;
}

TEST(GoldenOutputs, EveryOperationReproducesTheRecordedBits) {
    golden::CCollector outputs;
    golden::RunAll(outputs);
    ASSERT_EQ(outputs.groups.size(), sizeof(kGoldenGroups) / sizeof(kGoldenGroups[0]));
    ASSERT_EQ(outputs.values.size(), sizeof(kGoldenValues) / sizeof(kGoldenValues[0]));
    int mismatches = 0;
    for (size_t g = 0; g < outputs.groups.size(); ++g) {
        EXPECT_EQ(outputs.groups[g], kGoldenGroups[g]);
        EXPECT_EQ(outputs.starts[g], static_cast<size_t>(kGoldenGroupStarts[g]));
        const size_t end =
            g + 1 < outputs.groups.size() ? outputs.starts[g + 1] : outputs.values.size();
        int reported = 0;  // the first three of a group
        for (size_t i = outputs.starts[g]; i < end; ++i) {
            if (!SameValue(outputs.values[i], kGoldenValues[i])) {
                ++mismatches;
                if (reported++ < 3) {
                    ADD_FAILURE() << outputs.groups[g] << ", value " << i << ": got "
                                  << std::hexfloat << outputs.values[i] << ", recorded "
                                  << kGoldenValues[i];
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
