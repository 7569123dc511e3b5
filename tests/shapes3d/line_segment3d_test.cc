#include "polyview/shapes3d/line_segment3d.h"

#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/shapes3d/line3d.h"
#include "support/camera_rig.h"
#include "support/expect_geometry.h"
#include "support/expect_line2d.h"
#include "support/line_observations.h"

namespace {

const double kPi = 3.14159265358979323846;
const CRotateMatrix kIdentity(C33Matrix(1, 0, 0, 0, 1, 0, 0, 0, 1));

C3DCoordinate Point(const C3DVector& point) {
    return C3DCoordinate(point, WorldCoordinateSystem);
}

// The segment's two end points.
std::vector<C3DVector> Ends(const C3DLineSegment& segment) {
    C3DCoordinate ends[2];
    segment.GetEndPoint3D(ends);
    return {ends[0], ends[1]};
}

void ExpectSameSegment(const C3DLineSegment& actual, const C3DLineSegment& expected) {
    EXPECT_EQ(actual.GetAxis().GetDistance(), expected.GetAxis().GetDistance());
    ExpectVectorNear(actual.GetAxis().GetUVector(), expected.GetAxis().GetUVector(), 0.0);
    ExpectVectorNear(actual.GetAxis().GetVVector(), expected.GetAxis().GetVVector(), 0.0);
    EXPECT_EQ(actual.GetRange().GetStartPosition(), expected.GetRange().GetStartPosition());
    EXPECT_EQ(actual.GetRange().GetEndPosition(), expected.GetRange().GetEndPosition());
    for (int i = 0; i < 2; ++i) {
        ExpectVectorNear(Ends(actual)[i], Ends(expected)[i], 0.0);
    }
}

// An axis with foot direction u (made perpendicular to v), direction v and distance d.
C3DAxis MakeAxis(const C3DVector& u, const C3DVector& v, double d) {
    const C3DVector unitV = v.GetNormalizedVector();
    return C3DAxis(u - unitV * u.GetDotProduct(unitV), unitV, d);
}

// The positions are measured from the foot of the perpendicular from the origin; with the end
// points, which come from the axis at the range, they pin foot, direction and distance.
TEST(C3DLineSegmentGeometry, SetEndPoint3DFindsFootDirectionAndRange) {
    const struct {
        C3DVector start, end;
        double t0, t1;
    } cases[] = {
        {{1, 2, 0}, {1, 2, 5}, 0.0, 5.0},  // x and y of V are exactly 0: z carries the positions
        {{0, 0, 3}, {4, 0, 3}, 0.0, 4.0},
        {{2, 1, 0}, {5, 1, 0}, 2.0, 5.0},
        {{3, 1, 0}, {-2, 1, 0}, -3.0, 2.0},  // backwards: V = -x
        // x one ulp apart: V.x is rounding noise, and positions read off it would be noise over
        // noise; y, the largest component, carries them.
        {{0.1, 0.7, 5.0}, {std::nextafter(0.1, 1.0), 2.7, 5.0 + 1e-15}, 0.7, 2.7},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(testing::Message() << item.t0 << " " << item.t1);
        C3DLineSegment segment;
        segment.SetEndPoint3D(Point(item.start), Point(item.end));
        EXPECT_NEAR(segment.GetRange().GetStartPosition(), item.t0, 1e-14);
        EXPECT_NEAR(segment.GetRange().GetEndPosition(), item.t1, 1e-14);
        ExpectVectorNear(Ends(segment)[0], item.start, 1e-14);
        ExpectVectorNear(Ends(segment)[1], item.end, 1e-14);
    }
}

TEST(C3DLineSegmentGeometry, PointToLineDistanceAndAngleBetweenDirections) {
    const C3DLineSegment segment(MakeAxis({0, 1, 0}, {1, 0, 0}, 1.0), CRange(0.0, 1.0));
    const struct {
        C3DVector point, foot;
        double distance;
    } points[] = {{{5, 4, 0}, {5, 1, 0}, 3.0},  // beyond the range: the line counts
                  {{-2, 1, 0}, {-2, 1, 0}, 0.0},
                  {{1, 1, -4}, {1, 1, 0}, 4.0}};
    for (const auto& item : points) {
        SCOPED_TRACE(item.distance);
        C3DCoordinate foot;
        double distance = -1.0;
        segment.GetDistancePoint2Line(Point(item.point), foot, distance);
        ExpectVectorNear(foot, item.foot, 1e-15);
        EXPECT_NEAR(distance, item.distance, 1e-15);
    }
    const std::pair<C3DVector, double> directions[] = {
        {{-1, 0, 0}, kPi}, {{0, 0, 1}, kPi / 2}, {{1, 0, 0}, 0.0}};
    for (const auto& [direction, radians] : directions) {
        SCOPED_TRACE(radians);
        const C3DLineSegment other(MakeAxis(C3DVector(0, 1, 1), direction, 3.0), CRange());
        CAngle angle;
        ASSERT_TRUE(segment.GetAngleLine2Line(other, angle));
        EXPECT_NEAR(angle.GetRadian(), radians, 1e-15);
    }
    CAngle untouched;
    untouched.SetDegree(10.0);
    const C3DLineSegment zero;  // the default direction is the zero vector
    const C3DLineSegment notANumber(C3DAxis(C3DVector(0, 1, 0), C3DVector(std::nan(""), 0, 0), 1.0),
                                    CRange());
    EXPECT_FALSE(segment.GetAngleLine2Line(zero, untouched));
    EXPECT_FALSE(zero.GetAngleLine2Line(segment, untouched));
    EXPECT_FALSE(segment.GetAngleLine2Line(notANumber, untouched));
    EXPECT_NEAR(untouched.GetDegree(), 10.0, 1e-12);
}

TEST(C3DLineSegmentGeometry, DistanceBetweenSkewAndParallelLines) {
    const struct {
        C3DAxis first, second;
        double distance;
    } cases[] = {
        // The x axis and the line (0, 0, 2) + t (0, 1, 0): closest points (0, 0, 0), (0, 0, 2).
        {MakeAxis({0, 1, 0}, {1, 0, 0}, 0.0), MakeAxis({0, 0, 1}, {0, 1, 0}, 2.0), 2.0},
        // Skew lines: y = 1, z = 0 along x, and through (3, 0, 4) along (0, 1, 1) (foot point
        // (3, -2, 2)). The common normal is (0, -1, 1) / sqrt(2); the offset (3, -1, 4) between
        // the two points projects onto it as 5 / sqrt(2).
        {MakeAxis({0, 1, 0}, {1, 0, 0}, 1.0),
         MakeAxis({3, -2, 2}, {0, 1, 1}, std::sqrt(17.0)),
         5.0 / std::sqrt(2.0)},
        // Parallel and antiparallel lines 5 apart.
        {MakeAxis({0, 1, 0}, {1, 0, 0}, 1.0),
         MakeAxis({0, -3, 4}, {1, 0, 0}, 5.0),
         std::sqrt(4.0 * 4 + 4 * 4)},
        {MakeAxis({0, 0.6, 0.8}, {0, 0.8, -0.6}, 2.0),
         MakeAxis({0, 0.6, 0.8}, {0, -0.8, 0.6}, 7.0),
         5.0},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.distance);
        const C3DLineSegment first(item.first, CRange());
        const C3DLineSegment second(item.second, CRange());
        C3DCoordinate closest[2];
        double distance = -1.0;
        ASSERT_TRUE(first.GetDistanceLine2Line(second, closest, distance));
        EXPECT_NEAR(distance, item.distance, 1e-12);
        EXPECT_NEAR((closest[0] - closest[1]).GetNorm(), item.distance, 1e-12);
        // Each closest point lies on its own line.
        C3DCoordinate foot;
        double off = -1.0;
        first.GetDistancePoint2Line(closest[0], foot, off);
        EXPECT_NEAR(off, 0.0, 1e-7);  // a root of a difference of squares: sqrt(1e-15)
        second.GetDistancePoint2Line(closest[1], foot, off);
        EXPECT_NEAR(off, 0.0, 1e-7);
    }
}

TEST(C3DLineSegmentTransform, MovesBothEndsAndKeepsTheirOrder) {
    std::mt19937_64 generator(3);
    // A range that runs backwards and across the base point.
    const C3DLineSegment original(MakeAxis({0, 0.6, 0.8}, {1, 0, 0}, 2.0), CRange(1.5, -2.5));
    const struct {
        CRotateMatrix rotation;
        C3DVector translation;
        double scale;
    } cases[] = {{kIdentity, C3DVector(1, -2, 3), 1.0},
                 {RandomRotation(generator), C3DVector(0.5, 4, -1), 2.0},
                 {RandomRotation(generator), C3DVector(-3, 0, 0.25), 0.5}};
    for (const auto& item : cases) {
        SCOPED_TRACE(item.scale);
        C3DLineSegment segment(original);
        ASSERT_TRUE(segment.Transform(item.rotation, item.translation, item.scale));
        for (int i = 0; i < 2; ++i) {
            const C3DVector expected =
                (item.rotation * Ends(original)[i] + item.translation) / item.scale;
            ExpectVectorNear(Ends(segment)[i], expected, 1e-14);
        }
        EXPECT_NEAR(segment.GetRange().GetLength(), 4.0 / item.scale, 1e-14);
    }
    const std::pair<CRotateMatrix, double> rejected[] = {
        {kIdentity, 0.0}, {kIdentity, std::nan("")}, {CRotateMatrix(C33Matrix()), 1.0}};
    for (const auto& [rotation, scale] : rejected) {
        C3DLineSegment segment(original);
        EXPECT_FALSE(segment.Transform(rotation, C3DVector(1, 2, 3), scale));
        ExpectSameSegment(segment, original);
    }
}

// A camera of random orientation that sees the world direction returned in vertical: the
// direction is the camera's y axis, so in the camera frame its x and z are rounding noise. The
// point middle lies 5 m ahead, 0.3 m right of the optical axis.
CCameraParam UprightView(std::mt19937_64& generator, const C3DVector& middle, C3DVector& vertical) {
    const CRotateMatrix camFromWorld = RandomRotation(generator);
    vertical = camFromWorld.GetTransposedMatrix() * C3DVector(0.0, 1.0, 0.0);
    const C3DVector translation = C3DVector(0.3, 0.0, 5.0) - camFromWorld * middle;
    return CCameraParam(CIntrinsicParam(1000.0, C2DCoordinate(640.0, 480.0)),
                        CExtrinsicParam(camFromWorld, translation));
}

TEST(C3DLineSegmentCalcRange, VerticalImageOfTheAxis) {
    // Every point of the axis's image has the same column u up to rounding: positions must come
    // from the row v, and the reprojected ends are those of the vertical edge.
    std::mt19937_64 generator(29);
    const C3DVector middle(1.0, 0.5, 1.0);
    for (int trial = 0; trial < 8; ++trial) {
        SCOPED_TRACE(trial);
        C3DVector vertical;
        const CCameraParam camera = UprightView(generator, middle, vertical);
        const C3DVector foot = middle - vertical * middle.GetDotProduct(vertical);
        const C3DAxis axis(foot, vertical, foot.GetNorm());
        const double t0 = middle.GetDotProduct(vertical) - 1.0;
        C3DLineSegment segment(axis, CRange());
        const SImageLine seen = ObserveSegment(camera, middle - vertical, middle + vertical);
        ASSERT_TRUE(segment.CalcRange(ToArray({seen})));
        EXPECT_NEAR(segment.GetRange().GetStartPosition(), t0, 1e-9);
        EXPECT_NEAR(segment.GetRange().GetEndPosition(), t0 + 2.0, 1e-9);
        segment.SetEndPoint3D(Point(middle - vertical), Point(middle + vertical));
        C2DLineSegment image;
        ASSERT_TRUE(segment.Reproject(camera, image, nullptr, nullptr));
        ExpectEndPoints(image, {700, 280}, {700, 680}, 1e-9);  // (0.3, -1, 5) and (0.3, 1, 5)
    }
}

TEST(C3DLineSegmentCalcRange, UnitesObservationsAndLeavesOutThoseThatSeeNothing) {
    // A camera at the origin looking along +z has the axis base point (1, 0, 0) in its plane
    // z = 0: it contributes nothing, alone or beside proper observations.
    const C3DAxis axis = MakeAxis({1, 0, 0}, {0, 0.6, 0.8}, 1.0);
    const std::vector<CCameraParam> cameras =
        CamerasAroundLine(axis.GetCoordinate(2.5), axis.GetVVector(), 8.0, 2);
    const auto seen = [&](int camera, double t0, double t1) {
        return ObserveSegment(cameras[camera], axis.GetCoordinate(t0), axis.GetCoordinate(t1));
    };
    SImageLine unseen;
    unseen.cameraParam = CCameraParam(CIntrinsicParam(1000.0, C2DCoordinate(640, 480)), {});
    unseen.lineSegment.SetEndPoints(C2DCoordinate(10, 10), C2DCoordinate(900, 700));
    const struct {
        std::vector<SImageLine> observations;
        double start, end;
        const char* what;
    } cases[] = {
        {{seen(0, 0, 2), seen(1, 1, 5)}, 0, 5, "the new end reaches farther"},
        {{seen(0, 2, 0), seen(1, 1, 5)}, 5, 0, "the kept start 0 stays the end of the range"},
        {{seen(0, 1, 4), seen(1, 0, 5)}, 0, 5, "the new pair spans more: taken in its order"},
        {{seen(0, 4, 1), seen(1, 2, 3)}, 4, 1, "nothing beyond the first extent"},
        {{}, 0, 0, "no observations"},
        {{unseen}, 0, 0, "only an observation that sees nothing"},
        {{unseen, seen(1, 0.5, 2)}, 0.5, 2, "one that sees nothing, one that does"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        C3DLineSegment segment(axis, CRange(7.0, 9.0));
        ASSERT_TRUE(segment.CalcRange(ToArray(item.observations)));
        EXPECT_NEAR(segment.GetRange().GetStartPosition(), item.start, 1e-9);
        EXPECT_NEAR(segment.GetRange().GetEndPosition(), item.end, 1e-9);
        ExpectVectorNear(Ends(segment)[0], axis.GetCoordinate(item.start), 1e-9);
        ExpectVectorNear(Ends(segment)[1], axis.GetCoordinate(item.end), 1e-9);
    }
}

TEST(C3DLineSegmentReproject, ImageEndsResidualAndClippingAtTheImagePlane) {
    // R = I, t = 0, f = 100, principal point (320, 240): (1, 2, 5) images at (340, 280) and
    // (-1, 2, 10) at (310, 260).
    const CCameraParam camera(CIntrinsicParam(100.0, C2DCoordinate(320, 240)), CExtrinsicParam());
    C3DLineSegment segment;
    segment.SetEndPoint3D(Point({1, 2, 5}), Point({-1, 2, 10}));
    C2DLineSegment image;
    ASSERT_TRUE(segment.Reproject(camera, image, nullptr, nullptr));
    ExpectEndPoints(image, {340, 280}, {310, 260}, 1e-12);
    // Observed points 1 and 3 pixels off the image line, whose unit normal is (2, -3) / sqrt(13).
    const double unit = 1.0 / std::sqrt(13.0);
    const C2DCoordinate observed[2] = {C2DCoordinate(340 + 2 * unit, 280 - 3 * unit),
                                       C2DCoordinate(310 - 6 * unit, 260 + 9 * unit)};
    double residual = -7.0;
    ASSERT_TRUE(segment.Reproject(camera, image, observed, &residual));
    EXPECT_NEAR(residual, 3.0, 1e-12);
    EXPECT_TRUE(segment.Reproject(camera, image, observed, nullptr));  // no residual wanted
    // From (2, 1, 4) to (0, 1, -4): depth 1e-8 is reached at x = 1 + 2.5e-9, y = 1, which images
    // at (100 (1 + 2.5e-9) / 1e-8 + 320, 100 / 1e-8 + 240) = (1e10 + 345, 1e10 + 240).
    const C3DVector frontAndBack[2] = {{2, 1, 4}, {0, 1, -4}};
    for (const int startBehind : {0, 1}) {
        SCOPED_TRACE(startBehind);
        C3DLineSegment segment;
        segment.SetEndPoint3D(Point(frontAndBack[startBehind]),
                              Point(frontAndBack[1 - startBehind]));
        C2DCoordinate images[2];  // the front end's image, then the clipped end's
        ASSERT_TRUE(segment.Reproject(camera, image, nullptr, nullptr));
        image.GetEndPoints(images[startBehind], images[1 - startBehind]);
        ExpectVectorNear(images[0], C2DVector(370, 265), 1e-9);
        // The clipped depth carries the rounding of coordinates of size 1 (1e-16 of 1e-8).
        ExpectVectorNear(images[1], C2DVector(1e10 + 345, 1e10 + 240), 1e10 * 1e-6);
    }
    // Both ends behind the camera or in its plane z = 0: nothing to draw, outputs untouched.
    const std::pair<C3DVector, C3DVector> hidden[] = {
        {{2, 1, -4}, {0, 1, -1}}, {{1, 2, -1}, {3, 2, -1}}, {{1, 2, 0}, {3, 2, 0}}};
    for (const auto& [first, second] : hidden) {
        SCOPED_TRACE(second.GetData(2));
        C3DLineSegment segment;
        segment.SetEndPoint3D(Point(first), Point(second));
        C2DLineSegment image(C2DCoordinate(1, 2), C2DCoordinate(3, 4));
        double residual = -7.0;
        EXPECT_FALSE(segment.Reproject(camera, image, observed, &residual));
        ExpectEndPoints(image, {1, 2}, {3, 4}, 0.0);
        EXPECT_EQ(residual, -7.0);
    }
}

TEST(C3DLineSegmentFromImages, NoisyEndPointsInThreeCameras) {
    // A 2 m segment along x seen from 5 m by three cameras (f = 1000) spread over 80 degrees
    // around it, each observed end point moved 0.5 px. 0.5 px turns a ray by 5e-4 rad, 2.6 mm at
    // the farther end; lifted onto the line (rays at 75 degrees or more) 2.7 mm along it, and
    // the planes at -40, 0 and 40 degrees amplify 2.6 mm across to at most 4.2 mm. 8 mm leaves
    // room for the tilt of the fitted direction; a lost sign or wrong coordinate errs by dm.
    const double kBound = 0.008;
    const C3DVector start(-1.0, 0.0, 0.0);
    const C3DVector end(1.0, 0.0, 0.0);
    std::vector<CCameraParam> cameras;
    for (const double degrees : {50.0, 90.0, 130.0}) {
        const double radians = degrees * kPi / 180.0;
        const C3DVector centre(0.3, 5.0 * std::cos(radians), 5.0 * std::sin(radians));
        cameras.push_back(
            LookAtCamera(centre, C3DVector(0, 0, 0), 1000.0, 640.0, 480.0, C3DVector(1, 0, 0)));
    }
    std::mt19937_64 generator(23);
    std::uniform_real_distribution<double> direction(0.0, 2.0 * kPi);
    const auto noise = [&]() {
        const double angle = direction(generator);
        return C2DVector(0.5 * std::cos(angle), 0.5 * std::sin(angle));
    };
    for (int trial = 0; trial < 500; ++trial) {
        SCOPED_TRACE(trial);
        std::vector<SImageLine> observations;
        for (const CCameraParam& camera : cameras) {
            observations.push_back(ObserveSegment(camera, start, end, noise(), noise()));
        }
        const C1DArray<SImageLine> array = ToArray(observations);
        C3DLine line;
        ASSERT_TRUE(line.CreateFromImageLines(array));
        C3DLineSegment segment;
        segment.Set3DLineSegment(line.Get3DAxis(), CRange(), true, false);
        ASSERT_TRUE(segment.CalcRange(array));
        // The observations run from start to end, and so does the range.
        EXPECT_LT((Ends(segment)[0] - start).GetNorm(), kBound);
        EXPECT_LT((Ends(segment)[1] - end).GetNorm(), kBound);
    }
}

}  // namespace
