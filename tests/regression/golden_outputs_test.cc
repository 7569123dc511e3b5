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

const int kGroupCount = static_cast<int>(sizeof(kGoldenGroups) / sizeof(kGoldenGroups[0]));
const int kValueCount = static_cast<int>(sizeof(kGoldenValues) / sizeof(kGoldenValues[0]));

bool SameValue(double actual, double expected) {
    if (std::isnan(expected)) {
        return std::isnan(actual);
    }
    return std::memcmp(&actual, &expected, sizeof(double)) == 0;
}

// Compares each value as it arrives; reports the first few mismatches of each group.
class CComparer : public golden::CSink {
  public:
    void Group(const std::string& name) override {
        ++m_group;
        m_reportedInGroup = 0;
        ASSERT_LT(m_group, kGroupCount) << "more groups than recorded: " << name;
        EXPECT_EQ(name, kGoldenGroups[m_group]);
        EXPECT_EQ(m_index, kGoldenGroupStarts[m_group]) << name;
    }
    void Put(double value) override {
        if (m_index < kValueCount && !SameValue(value, kGoldenValues[m_index])) {
            ++m_mismatches;
            if (m_reportedInGroup++ < 3) {
                ADD_FAILURE() << (m_group >= 0 && m_group < kGroupCount ? kGoldenGroups[m_group]
                                                                        : "?")
                              << ", value " << m_index << ": got " << std::hexfloat << value
                              << ", recorded " << kGoldenValues[m_index];
            }
        }
        ++m_index;
    }

    int m_group = -1;
    int m_index = 0;
    int m_reportedInGroup = 0;
    int m_mismatches = 0;
};

TEST(GoldenOutputs, EveryOperationReproducesTheRecordedBits) {
    CComparer comparer;
    golden::RunAll(comparer);
    EXPECT_EQ(comparer.m_group + 1, kGroupCount);
    EXPECT_EQ(comparer.m_index, kValueCount);
    EXPECT_EQ(comparer.m_mismatches, 0);
}

}  // namespace
