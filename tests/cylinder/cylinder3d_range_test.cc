// Extent along the axis from observed edge end points (C3DCylinder::CalcRange).

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/cylinder/cylinder3d.h"
#include "support/camera_rig.h"
#include "support/expect_geometry.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kHalfRoot2 = std::sqrt(0.5);
const double kF = 100.0;
const double kCx = 320.0;
const double kCy = 240.0;

// A camera at the world origin looking along +z (f 100, principal point (320, 240)) and a
// cylinder whose axis runs from depth 1 away from it at 45 degrees, in the plane x = 0 (its
// image is the vertical line u = 320) or in the plane y = 0 (the horizontal line v = 240). The
// axis direction has equal components across and in depth, so the image of its point at
// infinity, the vanishing point, is exactly f away from the principal point.
struct SRig {
    bool vertical;
    C3DCylinder cylinder;
    CCameraParam camera;

    explicit SRig(bool verticalImage) : vertical(verticalImage) {
        const C3DVector v = vertical ? C3DVector(0.0, kHalfRoot2, kHalfRoot2)
                                     : C3DVector(kHalfRoot2, 0.0, kHalfRoot2);
        const C3DVector u = vertical ? C3DVector(0.0, -kHalfRoot2, kHalfRoot2)
                                     : C3DVector(-kHalfRoot2, 0.0, kHalfRoot2);
        cylinder.Set3DCylinder(
            C3DAxis(u, v, std::sqrt(2.0)), CRange(0.0, 1.0), 0.1, true, true, true);
        camera = CCameraParam(CIntrinsicParam(kF, C2DCoordinate(kCx, kCy)), CExtrinsicParam());
    }

    // The image of the axis point at position t, moved by `across` pixels off the axis image.
    C2DCoordinate PointAt(double t, double across) const {
        const C2DCoordinate onAxis = ProjectPoint(camera, cylinder.GetAxis().GetCoordinate(t));
        return vertical ? C2DCoordinate(onAxis.GetData(0) + across, onAxis.GetData(1))
                        : C2DCoordinate(onAxis.GetData(0), onAxis.GetData(1) + across);
    }
    // A point whose foot on the axis image is the vanishing point: no axis position images there.
    C2DCoordinate Vanishing(double across) const {
        return vertical ? C2DCoordinate(kCx + across, kCy + kF)
                        : C2DCoordinate(kCx + kF, kCy + across);
    }
    C2DLineSegment Edge(double t0, double t1, double across) const {
        return C2DLineSegment(PointAt(t0, across), PointAt(t1, across));
    }
    SImageCylinder Record(const C2DLineSegment& edge0, const C2DLineSegment& edge1) const {
        SImageCylinder record;
        record.cameraParam = camera;
        record.edgeSegment[0] = edge0;
        record.edgeSegment[1] = edge1;
        return record;
    }
};

const C2DLineSegment kNotObserved(C2DCoordinate(5.0, 5.0), C2DCoordinate(5.0, 5.0));

C1DArray<SImageCylinder> Records(const std::vector<SImageCylinder>& list) {
    C1DArray<SImageCylinder> records;
    records.SetSize(static_cast<int>(list.size()));
    for (int i = 0; i < records.GetSize(); ++i) {
        records[i] = list[i];
    }
    return records;
}

void ExpectRange(const C3DCylinder& cylinder, double start, double end, double tolerance) {
    ASSERT_FALSE(std::isnan(cylinder.GetRange().GetStartPosition()));
    ASSERT_FALSE(std::isnan(cylinder.GetRange().GetEndPosition()));
    EXPECT_NEAR(cylinder.GetRange().GetStartPosition(), start, tolerance);
    EXPECT_NEAR(cylinder.GetRange().GetEndPosition(), end, tolerance);
}

// Lifting back through a 100 px focal length at depths of a few units: a few ulps of the image
// coordinates, amplified by the depth.
const double kLift = 1e-12;

TEST(C3DCylinderRange, OneRecordSpansItsFarthestEndPointsInOrder) {
    for (bool vertical : {true, false}) {
        SCOPED_TRACE(vertical ? "vertical axis image (y decides)" : "horizontal (x decides)");
        const SRig rig(vertical);
        struct Case {
            double t[4];
            double start;
            double end;
        };
        const Case cases[] = {{{3.0, 2.0, 5.0, 4.0}, 2.0, 5.0},
                              {{4.0, 1.0, 2.0, 3.0}, 1.0, 4.0},
                              {{0.5, 2.5, 6.0, 1.5}, 0.5, 6.0}};
        for (const Case& c : cases) {
            C3DCylinder cylinder = rig.cylinder;
            const auto records = Records(
                {rig.Record(rig.Edge(c.t[0], c.t[1], -4.0), rig.Edge(c.t[2], c.t[3], 4.0))});
            ASSERT_TRUE(cylinder.CalcRange(records));
            ExpectRange(cylinder, c.start, c.end, kLift);
            EXPECT_EQ(cylinder.GetRadius(), 0.1);
            EXPECT_EQ(cylinder.GetAxis().GetDistance(), rig.cylinder.GetAxis().GetDistance());
        }
    }
}

TEST(C3DCylinderRange, RecordsUniteToTheOverallSpan) {
    struct Case {
        std::pair<double, double> first;
        std::pair<double, double> second;
        double start;
        double end;
    };
    const Case cases[] = {{{1.0, 3.0}, {2.0, 5.0}, 1.0, 5.0},
                          {{1.0, 3.0}, {5.0, 1.0}, 1.0, 5.0},
                          {{3.0, 1.0}, {2.0, 5.0}, 1.0, 5.0},
                          {{1.0, 5.0}, {2.0, 3.0}, 1.0, 5.0},
                          {{2.0, 3.0}, {5.0, 1.0}, 1.0, 5.0},
                          {{4.0, 5.0}, {1.0, 2.0}, 1.0, 5.0}};
    for (bool vertical : {true, false}) {
        const SRig rig(vertical);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << vertical << " (" << c.first.first << ", " << c.first.second << ") ("
                         << c.second.first << ", " << c.second.second << ")");
            // One edge per record, in either slot; the other slot has length 0.0.
            C3DCylinder cylinder = rig.cylinder;
            const auto records = Records(
                {rig.Record(rig.Edge(c.first.first, c.first.second, 3.0), kNotObserved),
                 rig.Record(kNotObserved, rig.Edge(c.second.first, c.second.second, -3.0))});
            ASSERT_TRUE(cylinder.CalcRange(records));
            ExpectRange(cylinder, c.start, c.end, kLift);
        }
    }
}

// An end point whose foot is the vanishing point gives no position (zero denominator); it must
// not stand in as position 0.0, which would stretch these ranges down to 0.
TEST(C3DCylinderRange, PositionsNeverComputedTakeNoPart) {
    for (bool vertical : {true, false}) {
        SCOPED_TRACE(vertical);
        const SRig rig(vertical);
        const C2DLineSegment toVanishing(rig.PointAt(3.0, -4.0), rig.Vanishing(-4.0));
        const C2DLineSegment notANumber(C2DCoordinate(kNaN, kNaN), C2DCoordinate(kNaN, kNaN));

        C3DCylinder cylinder = rig.cylinder;
        ASSERT_TRUE(
            cylinder.CalcRange(Records({rig.Record(toVanishing, rig.Edge(2.0, 4.0, 4.0))})));
        ExpectRange(cylinder, 2.0, 4.0, kLift);

        cylinder = rig.cylinder;  // a single position: the record reaches just that one
        ASSERT_TRUE(cylinder.CalcRange(Records({rig.Record(toVanishing, notANumber)})));
        ExpectRange(cylinder, 3.0, 3.0, kLift);

        // Nothing computable in the first record: only the second one counts.
        const C2DLineSegment bothVanishing(rig.Vanishing(-4.0), rig.Vanishing(4.0));
        cylinder = rig.cylinder;
        ASSERT_TRUE(
            cylinder.CalcRange(Records({rig.Record(bothVanishing, notANumber),
                                        rig.Record(rig.Edge(4.0, 6.0, 2.0), kNotObserved)})));
        ExpectRange(cylinder, 4.0, 6.0, kLift);
    }
}

TEST(C3DCylinderRange, NothingUsableKeepsTheRangeAndFails) {
    const SRig rig(true);
    const SImageCylinder usable = rig.Record(rig.Edge(2.0, 4.0, 3.0), kNotObserved);
    const SImageCylinder unusable =
        rig.Record(C2DLineSegment(rig.Vanishing(-4.0), rig.Vanishing(4.0)), kNotObserved);

    C3DCylinder noAxis = rig.cylinder;
    noAxis.Set3DCylinder(
        C3DAxis(C3DVector(0, 0, 0), C3DVector(0, 1, 0), 0.0), CRange(), 0.0, true, false, false);
    C3DCylinder noRadius = rig.cylinder;
    noRadius.Set3DCylinder(C3DAxis(), CRange(), 0.0, false, false, true);

    struct Case {
        const char* name;
        C3DCylinder cylinder;
        C1DArray<SImageCylinder> records;
    };
    const Case cases[] = {{"no records", rig.cylinder, Records({})},
                          {"no computable position", rig.cylinder, Records({unusable})},
                          {"axis distance 0", noAxis, Records({usable})},
                          {"radius 0", noRadius, Records({usable})}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        C3DCylinder cylinder = c.cylinder;
        cylinder.Set3DCylinder(C3DAxis(), CRange(-7.0, 9.0), 0.0, false, true, false);
        EXPECT_FALSE(cylinder.CalcRange(c.records));
        EXPECT_EQ(cylinder.GetRange().GetStartPosition(), -7.0);
        EXPECT_EQ(cylinder.GetRange().GetEndPosition(), 9.0);
    }
}

}  // namespace
