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

// Compares each value as it arrives; reports at most a few mismatches per group, and the largest
// relative difference seen.
class CComparer : public golden::CSink {
  public:
    void Group(const std::string& name) override {
        ++m_group;
        m_reportedInGroup = 0;
        if (m_group >= kGroupCount) {
            ADD_FAILURE() << "more groups than recorded: " << name;
            return;
        }
        EXPECT_EQ(name, kGoldenGroups[m_group]);
        EXPECT_EQ(m_index, kGoldenGroupStarts[m_group]) << name;
    }
    void Put(double value) override {
        if (m_index >= kValueCount) {
            ++m_index;
            return;
        }
        const double expected = kGoldenValues[m_index];
        if (!SameValue(value, expected)) {
            ++m_mismatches;
            const double scale = std::fabs(expected) > 0.0 ? std::fabs(expected) : 1.0;
            const double relative = std::fabs(value - expected) / scale;
            if (!(relative <= m_largestRelative)) {
                m_largestRelative = relative;
            }
            if (m_reportedInGroup < 3) {
                ++m_reportedInGroup;
                ADD_FAILURE() << (m_group >= 0 ? kGoldenGroups[m_group] : "?") << ", value "
                              << m_index << ": got " << std::hexfloat << value << ", recorded "
                              << expected;
            }
        }
        ++m_index;
    }

    int Groups() const { return m_group + 1; }
    int Values() const { return m_index; }
    int Mismatches() const { return m_mismatches; }
    double LargestRelative() const { return m_largestRelative; }

  private:
    int m_group = -1;
    int m_index = 0;
    int m_reportedInGroup = 0;
    int m_mismatches = 0;
    double m_largestRelative = 0.0;
};

TEST(GoldenOutputs, EveryOperationReproducesTheRecordedBits) {
    CComparer comparer;
    golden::RunAll(comparer);
    EXPECT_EQ(comparer.Groups(), kGroupCount);
    EXPECT_EQ(comparer.Values(), kValueCount);
    EXPECT_EQ(comparer.Mismatches(), 0)
        << "largest relative difference " << comparer.LargestRelative();
}

}  // namespace
