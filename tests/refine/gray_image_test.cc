#include "polyview/refine/gray_image.h"

#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace {

TEST(CGrayImage, InterpolatesBetweenPixelCentres) {
    // 3 x 2 image with a 4-byte stride; the fourth byte of each row is padding that must not leak.
    const std::uint8_t bytes[8] = {0, 10, 20, 255, 40, 50, 60, 255};
    const float floats[8] = {0, 10, 20, -1, 40, 50, 60, -1};
    for (const CGrayImage& image :
         {CGrayImage(bytes, 3, 2, 4), CGrayImage(floats, 3, 2, 4 * sizeof(float))}) {
        SCOPED_TRACE(image.IsFloat());
        ASSERT_TRUE(image.IsValid());
        EXPECT_EQ(image.GetSample(2, 1), 60.0);
        double value = -7.0;
        // Pixel (i, j) has its centre at (i + 0.5, j + 0.5): there the sample itself.
        ASSERT_TRUE(image.Interpolate(2.5, 1.5, value));
        EXPECT_EQ(value, 60.0);
        ASSERT_TRUE(image.Interpolate(1.0, 1.0, value));  // the four of columns 0-1, rows 0-1
        EXPECT_DOUBLE_EQ(value, 25.0);
        ASSERT_TRUE(image.Interpolate(1.75, 0.5, value));
        EXPECT_DOUBLE_EQ(value, 12.5);
        // Outside the hull of the centres [0.5, 2.5] x [0.5, 1.5]: false, value untouched.
        value = -7.0;
        const double outside[][2] = {{0.49, 1.0},
                                     {2.51, 1.0},
                                     {1.0, 1.51},
                                     {1.0, 0.0},
                                     {std::numeric_limits<double>::quiet_NaN(), 1.0}};
        for (const auto& xy : outside) {
            EXPECT_FALSE(image.Interpolate(xy[0], xy[1], value));
        }
        EXPECT_EQ(value, -7.0);
    }
}

TEST(CGrayImage, RefusesBadViewsAndSamples) {
    const std::uint8_t bytes[4] = {1, 2, 3, 4};
    const float nanRow[4] = {1.0f, std::numeric_limits<float>::quiet_NaN(), 3.0f, 4.0f};
    const std::ptrdiff_t huge = std::numeric_limits<std::ptrdiff_t>::max() / 2;
    const CGrayImage invalid[] = {CGrayImage(),
                                  CGrayImage(static_cast<const std::uint8_t*>(nullptr), 2, 2, 2),
                                  CGrayImage(bytes, 0, 2, 2),
                                  CGrayImage(bytes, 2, -1, 2),
                                  CGrayImage(bytes, 2, 2, 1),      // stride shorter than a row
                                  CGrayImage(nanRow, 2, 2, 9),     // not a whole float
                                  CGrayImage(bytes, 2, 3, huge)};  // the last row overflows
    double value = -7.0;
    for (const CGrayImage& image : invalid) {
        EXPECT_FALSE(image.IsValid());
        EXPECT_FALSE(image.Interpolate(1.0, 1.0, value));
    }
    const CGrayImage withNan(nanRow, 2, 2, 2 * sizeof(float));
    ASSERT_TRUE(withNan.IsValid());
    EXPECT_FALSE(withNan.Interpolate(1.0, 1.0, value));  // reads the NaN
    EXPECT_FALSE(withNan.Interpolate(0.5, 0.5, value));  // weight 0, but read: still refused
    EXPECT_EQ(value, -7.0);
    EXPECT_TRUE(withNan.Interpolate(0.5, 1.5, value));  // the column without the NaN
    EXPECT_EQ(value, 3.0);
}

}  // namespace
