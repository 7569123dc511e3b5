#pragma once

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/foundations/vector2d.h"
#include "polyview/foundations/vector3d.h"

// Component-wise closeness that fails on not-a-number values (EXPECT_NEAR alone would not).
inline void ExpectVectorNear(const C3DVector& actual, const C3DVector& expected, double tolerance) {
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(std::isnan(actual.GetData(i)));
        EXPECT_NEAR(actual.GetData(i), expected.GetData(i), tolerance);
    }
}

inline void ExpectVectorNear(const C2DVector& actual, const C2DVector& expected, double tolerance) {
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(std::isnan(actual.GetData(i)));
        EXPECT_NEAR(actual.GetData(i), expected.GetData(i), tolerance);
    }
}

inline void ExpectMatrixNear(const C33Matrix& actual, const C33Matrix& expected, double tolerance) {
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            SCOPED_TRACE(3 * row + col);
            ASSERT_FALSE(std::isnan(actual.GetData(row, col)));
            EXPECT_NEAR(actual.GetData(row, col), expected.GetData(row, col), tolerance);
        }
    }
}

// Bitwise equality of two doubles (NaN equals NaN of the same payload).
inline bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof(double)) == 0;
}

// The C1DArray of a list, each element converted to T.
template <typename U, typename T = U>
C1DArray<T> ToArray(const std::vector<U>& list) {
    C1DArray<T> array;
    array.SetSize(static_cast<int>(list.size()));
    for (int i = 0; i < array.GetSize(); ++i) {
        array[i] = list[static_cast<size_t>(i)];
    }
    return array;
}
template <typename T>
C1DArray<T> ToArray(std::initializer_list<T> list) {
    return ToArray(std::vector<T>(list));
}
