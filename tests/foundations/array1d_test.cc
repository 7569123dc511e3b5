#include "polyview/foundations/array1d.h"

#include <string>

#include <gtest/gtest.h>

#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/vector_nd.h"

namespace {

TEST(C1DArraySetSize, ShrinkKeepsTheBlockGrowKeepsValuesAndDefaultsNewPlaces) {
    C1DArray<C3DCoordinate> points;
    points.SetSize(0);  // nothing to release
    EXPECT_EQ(points.GetSize(), 0);
    points.SetSize(5);
    for (int i = 0; i < 5; ++i) {
        points[i].SetVector(i, 2.0 * i, 3.0 * i);
    }
    const C3DCoordinate* block = &points[0];
    points.SetSize(2);
    EXPECT_EQ(points.GetSize(), 2);
    EXPECT_EQ(&points[0], block);  // shrinking never reallocates
    points.SetSize(-4);            // rejected: the array stays intact
    EXPECT_EQ(points.GetSize(), 2);
    points.SetSize(4);
    EXPECT_EQ(points.GetSize(), 4);
    EXPECT_EQ(points[1].GetData(1), 2.0);  // kept through the relocation
    EXPECT_EQ(points[3].GetData(0), 0.0);  // default-constructed, not the old element 3
    EXPECT_EQ(points[3].GetCoordinateSystem(), WorldCoordinateSystem);
    C1DArray<double> values;  // new places of a plain type are zeroed, not left as they were
    values.SetSize(1);
    values[0] = 1.5;
    values.SetSize(3);
    EXPECT_TRUE(values[0] == 1.5 && values[1] == 0.0 && values[2] == 0.0);
}

TEST(C1DArrayCopy, CopiesComponentsButNotTags) {
    C1DArray<C3DCoordinate> source;
    source.SetSize(2);
    source[0] = C3DCoordinate(1.0, 2.0, 3.0);
    // Replace element 1 in place by a camera-frame coordinate (assignment would keep tag 0).
    source[1].~C3DCoordinate();
    new (&source[1]) C3DCoordinate(4.0, 5.0, 6.0, CameraCoordinateSystem);
    ASSERT_EQ(source[1].GetCoordinateSystem(), CameraCoordinateSystem);

    const C1DArray<C3DCoordinate> copy(source);
    ASSERT_EQ(copy.GetSize(), 2);
    EXPECT_EQ(copy[1].GetData(2), 6.0);
    EXPECT_EQ(copy[1].GetCoordinateSystem(), WorldCoordinateSystem);

    C1DArray<C3DCoordinate> assigned;
    assigned.SetSize(1);
    assigned = source;
    ASSERT_EQ(assigned.GetSize(), 2);
    EXPECT_EQ(assigned[0].GetData(0), 1.0);
    EXPECT_EQ(assigned[1].GetCoordinateSystem(), WorldCoordinateSystem);
    C1DArray<C3DCoordinate>& alias = assigned;
    assigned = alias;  // self-assignment keeps everything
    EXPECT_EQ(assigned[1].GetData(1), 5.0);
}

TEST(C1DArrayGrowth, OwningElementsSurviveRelocation) {
    // Heap-owning elements: relocation must neither double-free nor lose them (ASan checks).
    C1DArray<CNDVector> vectors;
    vectors.SetSize(1);
    vectors[0] = CNDVector(3, 7.0);
    vectors.SetSize(6);
    EXPECT_EQ(vectors[0].Rows(), 3);
    EXPECT_EQ(vectors[0][2], 7.0);
    EXPECT_EQ(vectors[5].Rows(), 0);

    // A type that is not marked relocatable is moved by construction instead.
    C1DArray<std::string> words;
    words.SetSize(1);
    words[0] = "short";  // small-string storage points into the object itself
    words.SetSize(3);
    EXPECT_EQ(words[0], "short");
    EXPECT_TRUE(words[2].empty());
}

}  // namespace
