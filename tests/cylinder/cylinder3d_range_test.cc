// Extent along the axis from observed edge end points (C3DCylinder::CalcRange).

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/cylinder/cylinder3d.h"
#include "support/camera_rig.h"
#include "support/cylinder_observations.h"
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

    // roll turns the camera about its optical axis, and the axis image with it.
    explicit SRig(bool verticalImage, double roll = 0.0) : vertical(verticalImage) {
        const double h = kHalfRoot2;
        const C3DVector v = vertical ? C3DVector(0.0, h, h) : C3DVector(h, 0.0, h);
        const C3DVector u = vertical ? C3DVector(0.0, -h, h) : C3DVector(-h, 0.0, h);
        cylinder.Set3DCylinder(C3DAxis(u, v, 2 * h), CRange(0.0, 1.0), 0.1, true, true, true);
        const CRotateMatrix turn(CRotateVector(C3DVector(0.0, 0.0, roll)));
        camera = CCameraParam(CIntrinsicParam(kF, C2DCoordinate(kCx, kCy)),
                              CExtrinsicParam(turn, C3DVector(0.0, 0.0, 0.0)));
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
        return {camera, {edge0, edge1}};
    }
};

const C2DLineSegment kNotObserved(C2DCoordinate(5.0, 5.0), C2DCoordinate(5.0, 5.0));

// Lifting back through a 100 px focal length at depths of a few units: a few ulps of the image
// coordinates, amplified by the depth.
const double kLift = 1e-12;

TEST(C3DCylinderRange, RecordsSpanTheirFarthestComputedPositions) {
    for (bool vertical : {true, false}) {
        SCOPED_TRACE(vertical ? "vertical axis image (y decides)" : "horizontal (x decides)");
        const SRig rig(vertical);
        // An end point whose foot is the vanishing point gives no position (zero denominator);
        // it must not stand in as position 0.0, which would stretch those ranges down to 0.
        const C2DLineSegment toVanishing(rig.PointAt(3.0, -4.0), rig.Vanishing(-4.0));
        const C2DLineSegment bothVanishing(rig.Vanishing(-4.0), rig.Vanishing(4.0));
        const C2DLineSegment notANumber(C2DCoordinate(kNaN, kNaN), C2DCoordinate(kNaN, kNaN));
        // One edge per record, in either slot; the other slot has length 0.0.
        const auto first = [&](double t0, double t1) {
            return rig.Record(rig.Edge(t0, t1, 3.0), kNotObserved);
        };
        const auto second = [&](double t0, double t1) {
            return rig.Record(kNotObserved, rig.Edge(t0, t1, -3.0));
        };
        const struct {
            std::vector<SImageCylinder> records;
            double start, end;
        } cases[] = {
            {{rig.Record(rig.Edge(3, 2, -4), rig.Edge(5, 4, 4))}, 2, 5},  // farthest, in order
            {{rig.Record(rig.Edge(4, 1, -4), rig.Edge(2, 3, 4))}, 1, 4},
            {{rig.Record(rig.Edge(0.5, 2.5, -4), rig.Edge(6, 1.5, 4))}, 0.5, 6},
            {{first(1, 3), second(2, 5)}, 1, 5},  // records unite to the overall span
            {{first(1, 3), second(5, 1)}, 1, 5},
            {{first(3, 1), second(2, 5)}, 1, 5},
            {{first(1, 5), second(2, 3)}, 1, 5},
            {{first(2, 3), second(5, 1)}, 1, 5},
            {{first(4, 5), second(1, 2)}, 1, 5},
            {{rig.Record(toVanishing, rig.Edge(2, 4, 4))}, 2, 4},
            {{rig.Record(toVanishing, notANumber)}, 3, 3},  // just the one position
            {{rig.Record(bothVanishing, notANumber), first(4, 6)}, 4, 6},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.start << " " << c.end);
            C3DCylinder cylinder = rig.cylinder;
            ASSERT_TRUE(cylinder.CalcRange(Records(c.records)));
            EXPECT_NEAR(cylinder.GetRange().GetStartPosition(), c.start, kLift);
            EXPECT_NEAR(cylinder.GetRange().GetEndPosition(), c.end, kLift);
            EXPECT_EQ(cylinder.GetRadius(), 0.1);
            EXPECT_EQ(cylinder.GetAxis().GetDistance(), rig.cylinder.GetAxis().GetDistance());
        }
    }
}

// Turned by 1e-12, the horizontal axis image keeps |slope| < 1 and lifts by x; read by y, the
// rows of its points would differ only by rounding noise.
TEST(C3DCylinderRange, NearlyHorizontalAxisImageLiftsByX) {
    const SRig rig(false, 1e-12);
    C3DCylinder cylinder = rig.cylinder;
    ASSERT_TRUE(cylinder.CalcRange(Records({rig.Record(rig.Edge(1, 3, -4), rig.Edge(5, 2, 4))})));
    EXPECT_NEAR(cylinder.GetRange().GetStartPosition(), 1.0, kLift);
    EXPECT_NEAR(cylinder.GetRange().GetEndPosition(), 5.0, kLift);
}

TEST(C3DCylinderRange, NothingUsableKeepsTheRangeAndFails) {
    const SRig rig(true);
    const SImageCylinder usable = rig.Record(rig.Edge(2.0, 4.0, 3.0), kNotObserved);
    const SImageCylinder unusable =
        rig.Record(C2DLineSegment(rig.Vanishing(-4.0), rig.Vanishing(4.0)), kNotObserved);
    const double distance = rig.cylinder.GetAxis().GetDistance();
    const struct {
        const char* name;
        double distance, radius;
        std::vector<SImageCylinder> records;
    } cases[] = {{"no records", distance, 0.1, {}},
                 {"no computable position", distance, 0.1, {unusable}},
                 {"axis distance 0", 0.0, 0.1, {usable}},
                 {"radius 0", distance, 0.0, {usable}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const C3DAxis& axis = rig.cylinder.GetAxis();
        C3DCylinder cylinder;
        const C3DAxis moved(axis.GetUVector(), axis.GetVVector(), c.distance);
        cylinder.Set3DCylinder(moved, CRange(-7.0, 9.0), c.radius, true, true, true);
        const C3DCylinder before = cylinder;
        EXPECT_FALSE(cylinder.CalcRange(Records(c.records)));
        ExpectSameCylinder(cylinder, before);
    }
}

}  // namespace
