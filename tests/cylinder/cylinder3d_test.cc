#include "polyview/cylinder/cylinder3d.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/camera_rig.h"
#include "support/cylinder_observations.h"
#include "support/expect_geometry.h"
#include "support/expect_line2d.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// An axis through (5, 0, 0) along z, radius 2, positions 1..4 measured from (5, 0, 0).
C3DCylinder UprightCylinder() {
    return MakeCylinder({C3DVector(5.0, 0.0, 0.0), C3DVector(0.0, 0.0, 1.0), 2.0, 1.0, 4.0});
}

// A camera at centreInWorld looking along +x (image x along world y, image y along world z).
CCameraParam CameraLookingAlongX(const C3DVector& centreInWorld) {
    const CRotateMatrix camFromWorld(C33Matrix(0, 1, 0, 0, 0, 1, 1, 0, 0));
    return CCameraParam(CIntrinsicParam(100.0, C2DCoordinate(320.0, 240.0)),
                        CExtrinsicParam(camFromWorld, (camFromWorld * centreInWorld) * -1.0));
}

// Four image points to hand to Reproject where their distances must not be reported.
const C2DCoordinate kObserved[4] = {
    C2DCoordinate(0, 0), C2DCoordinate(1, 0), C2DCoordinate(2, 0), C2DCoordinate(3, 0)};

const SKnownCylinder kKnown[] = {
    {C3DVector(1.0, -2.0, 3.0), C3DVector(0.48, -0.6, 0.64), 2.0, -4.0, 6.0},
    {C3DVector(-0.5, 0.3, 0.2), C3DVector(0.0, 0.6, 0.8), 0.05, 0.0, 3.0},
};

TEST(C3DCylinderModel, NothingIsProjectedWithoutAxisDistanceAndRadius) {
    std::vector<C3DCylinder> cylinders = {C3DCylinder()};  // the default has axis distance 0
    const std::pair<double, double> distanceAndRadius[] = {
        {0.0, 2.0}, {5.0, 0.0}, {5.0, kNaN}, {kNaN, 2.0}};
    for (const auto& [distance, radius] : distanceAndRadius) {
        cylinders.push_back(UprightCylinder());
        const C3DAxis axis(C3DVector(1, 0, 0), C3DVector(0, 0, 1), distance);
        cylinders.back().Set3DCylinder(axis, CRange(), radius, true, false, true);
    }
    const CCameraParam camera = CameraLookingAlongX(C3DVector(-10.0, 0.0, 0.0));
    for (size_t i = 0; i < cylinders.size(); ++i) {
        SCOPED_TRACE(i);
        C3DCoordinate start(7.0, 7.0, 7.0), end(8.0, 8.0, 8.0);
        EXPECT_FALSE(cylinders[i].GetEndPoint3D(start, end));
        ExpectVectorNear(start, C3DVector(7.0, 7.0, 7.0), 0.0);
        ExpectVectorNear(end, C3DVector(8.0, 8.0, 8.0), 0.0);
        C2DCoordinate start2D(1.0, 2.0), end2D(3.0, 4.0);
        EXPECT_FALSE(cylinders[i].GetEndPoint2D(camera, start2D, end2D));
        ExpectVectorNear(end2D, C2DVector(3.0, 4.0), 0.0);
        C2DLineSegment centre, edges[2];
        EXPECT_FALSE(cylinders[i].Reproject(camera, centre, edges, nullptr, nullptr, nullptr));
        ExpectVectorNear(edges[0].GetCenterCoordinate(), C2DVector(0.0, 0.5), 0.0);  // default
    }
}

TEST(C3DCylinderTransform, MovesEndPointsAndScalesRadius) {
    std::mt19937_64 generator(11);
    const SKnownCylinder& known = kKnown[0];
    for (double scale : {2.0, 0.5, -1.5}) {
        SCOPED_TRACE(scale);
        const CRotateMatrix rotation = RandomRotation(generator);
        const C3DVector translation(0.3, -1.2, 2.5);
        C3DCylinder cylinder = MakeCylinder(known);
        ASSERT_TRUE(cylinder.Transform(rotation, translation, scale));
        EXPECT_NEAR(cylinder.GetRadius(), 2.0 / scale, 1e-15);  // negative scale: negative radius
        C3DCoordinate start, end;
        ASSERT_TRUE(cylinder.GetEndPoint3D(start, end));
        ExpectVectorNear(
            start, (rotation * known.AxisPoint(known.start) + translation) / scale, 1e-12);
        ExpectVectorNear(end, (rotation * known.AxisPoint(known.end) + translation) / scale, 1e-12);
    }
    // The last rotation collapses the direction.
    const std::pair<CRotateMatrix, double> rejected[] = {
        {CRotateMatrix(), 0.0}, {CRotateMatrix(), kNaN}, {CRotateMatrix(C33Matrix()), 1.0}};
    for (const auto& [rotation, scale] : rejected) {
        SCOPED_TRACE(scale);
        C3DCylinder cylinder = UprightCylinder();
        EXPECT_FALSE(cylinder.Transform(rotation, C3DVector(1.0, 2.0, 3.0), scale));
        ExpectSameCylinder(cylinder, UprightCylinder());
    }
}

// The silhouette edges run between the images of the tangent points on the two end circles;
// the infinite lines hold the grazing generators far beyond the range as well, and Reproject
// finds exact points on them at distance 0.
TEST(C3DCylinderSilhouette, EdgesAndLinesFollowTheGrazingGenerators) {
    for (const SKnownCylinder& known : kKnown) {
        const C3DCylinder cylinder = MakeCylinder(known);
        for (const CCameraParam& camera : CamerasAround(known, 6, 12.0, 0.7)) {
            C3DVector offsets[2];
            ASSERT_TRUE(SilhouetteOffsets(known, CCamera(camera, 0, 0).GetCentre(), offsets));
            const auto onGenerator = [&](int which, double t) {
                return ProjectPoint(camera, known.AxisPoint(t) + offsets[which]);
            };
            C2DLineSegment centre, edges[2];
            ASSERT_TRUE(cylinder.Reproject(camera, centre, edges, nullptr, nullptr, nullptr));
            C2DLine lines[2];
            ASSERT_TRUE(C3DCylinderTestPeer::ProjectedLines(cylinder, camera, lines));
            C2DCoordinate starts[2], ends[2];
            edges[0].GetEndPoints(starts[0], ends[0]);
            edges[1].GetEndPoints(starts[1], ends[1]);
            // Edge 0 and line 0 may be either generator; the others must be the other one.
            const C2DCoordinate g0 = onGenerator(0, known.start);
            const int edge0 = (starts[0] - g0).GetNorm() < (starts[1] - g0).GetNorm() ? 0 : 1;
            const int line0 = lines[0].GetDistance(g0) < lines[1].GetDistance(g0) ? 0 : 1;
            for (int which = 0; which < 2; ++which) {
                SCOPED_TRACE(which);
                const int edge = which == 0 ? edge0 : 1 - edge0;
                ExpectVectorNear(starts[edge], onGenerator(which, known.start), 1e-8);
                ExpectVectorNear(ends[edge], onGenerator(which, known.end), 1e-8);
                const C2DLine& line = lines[which == 0 ? line0 : 1 - line0];
                EXPECT_NEAR(line.GetDistance(onGenerator(which, known.start - 3.0)), 0.0, 1e-8);
                EXPECT_NEAR(line.GetDistance(onGenerator(which, known.end + 3.0)), 0.0, 1e-8);
            }
            // Exact points on the generators, given in the swapped pairing, lie on the edges.
            const double a = 0.3 * known.start + 0.7 * known.end;
            const double b = 0.8 * known.start + 0.2 * known.end;
            const C2DCoordinate observed[4] = {
                onGenerator(1, a), onGenerator(1, b), onGenerator(0, a), onGenerator(0, b)};
            double distances[4], maxDistance = -1.0;
            ASSERT_TRUE(
                cylinder.Reproject(camera, centre, edges, observed, distances, &maxDistance));
            EXPECT_TRUE(maxDistance >= 0.0 && maxDistance < 1e-8) << maxDistance;
            C2DCoordinate ends2D[2];  // the end points' images, and the centre line's ends
            ASSERT_TRUE(cylinder.GetEndPoint2D(camera, ends2D[0], ends2D[1]));
            ExpectVectorNear(ends2D[0], ProjectPoint(camera, known.AxisPoint(known.start)), 1e-8);
            ExpectVectorNear(ends2D[1], ProjectPoint(camera, known.AxisPoint(known.end)), 1e-8);
            ExpectEndPoints(centre, ends2D[0], ends2D[1], 1e-8);
        }
    }
}

TEST(C3DCylinderSilhouette, CameraOnTheSurfaceSeesOneEdge) {
    // (3, 0, 0) lies exactly radius 2 from the axis x = 5, y = 0; looking up along +z the
    // grazing generator x = 3, y = 0 runs along the optical axis, so both edges shrink to the
    // principal point, and both tangent planes are the plane x = 3, the image line u = 320.
    const C3DCylinder cylinder = UprightCylinder();
    const CCameraParam camera(CIntrinsicParam(100.0, C2DCoordinate(320.0, 240.0)),
                              CExtrinsicParam(CRotateMatrix(), C3DVector(-3.0, 0.0, 0.0)));
    C2DLineSegment centre, edges[2];
    ASSERT_TRUE(cylinder.Reproject(camera, centre, edges, nullptr, nullptr, nullptr));
    C2DLine lines[2];
    ASSERT_TRUE(C3DCylinderTestPeer::ProjectedLines(cylinder, camera, lines));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        ExpectEndPoints(edges[i], {320.0, 240.0}, {320.0, 240.0}, 1e-12);
        double params[3];
        lines[i].GetLineParams(params);
        ASSERT_NE(params[0], 0.0);
        EXPECT_EQ(params[1] / params[0], 0.0);
        EXPECT_EQ(params[2] / params[0], -320.0);
    }
}

TEST(C3DCylinderSilhouette, CameraInsideOrOnTheAxisLineFailsWithOutputsUntouched) {
    const C3DCylinder cylinder = UprightCylinder();
    const std::pair<const char*, CCameraParam> cases[] = {
        {"inside, beside the axis", CameraLookingAlongX(C3DVector(4.0, 1.0, 2.0))},
        {"just inside the surface", CameraLookingAlongX(C3DVector(3.0000001, 0.0, 2.0))},
        {"on the axis line, beyond the end",
         LookAtCamera(C3DVector(5.0, 0.0, 20.0), C3DVector(5.0, 0.0, 0.0), 100.0)},
    };
    for (const auto& [name, camera] : cases) {
        SCOPED_TRACE(name);
        C2DLineSegment centre(C2DCoordinate(1, 1), C2DCoordinate(2, 2));
        C2DLineSegment edges[2];
        double distances[4] = {9.0, 9.0, 9.0, 9.0};
        double maxDistance = 9.0;
        EXPECT_FALSE(cylinder.Reproject(camera, centre, edges, kObserved, distances, &maxDistance));
        ExpectVectorNear(edges[0].GetCenterCoordinate(), C2DVector(0.0, 0.5), 0.0);
        ExpectVectorNear(centre.GetCenterCoordinate(), C2DVector(1.5, 1.5), 0.0);
        EXPECT_EQ(distances[0], 9.0);
        EXPECT_EQ(maxDistance, 9.0);
        C2DLine lines[2];
        EXPECT_FALSE(C3DCylinderTestPeer::ProjectedLines(cylinder, camera, lines));
        ExpectLineParams(lines[0], 1.0, 0.0, 0.0, 0.0);  // the default line x = 0
    }
}

// Points placed at known perpendicular offsets from the reported edges: the pairing with the
// smaller sum wins, the first two distances belong to edge 0, and a tie goes to the swapped one.
TEST(C3DCylinderReproject, ReportsTheCloserPairingAndItsLargestDistance) {
    const C3DCylinder cylinder = MakeCylinder(kKnown[0]);
    const CCameraParam camera = CamerasAround(kKnown[0], 1, 12.0, 0.3)[0];
    C2DLineSegment centre, edges[2];
    ASSERT_TRUE(cylinder.Reproject(camera, centre, edges, nullptr, nullptr, nullptr));
    // A point on edge i at fraction s of its length, moved by `offset` pixels across it.
    auto near = [&](int i, double s, double offset) {
        C2DCoordinate p0, p1;
        edges[i].GetEndPoints(p0, p1);
        const C2DVector along = p1 - p0;
        const C2DVector across =
            C2DVector(-along.GetData(1), along.GetData(0)) * (1.0 / along.GetNorm());
        return C2DCoordinate(p0 + along * s + across * offset, WorldCoordinateSystem);
    };
    const C2DCoordinate p0 = near(0, 0.2, 1.0), q0 = near(0, 0.7, -2.0);
    const C2DCoordinate p1 = near(1, 0.4, 3.0), q1 = near(1, 0.9, 0.5);
    const struct {
        C2DCoordinate observed[4];
        double expected[4];  // NaN: a distance no hand-worked value is known for
    } cases[] = {{{p0, q0, p1, q1}, {1.0, 2.0, 3.0, 0.5}},
                 {{p1, q1, p0, q0}, {1.0, 2.0, 3.0, 0.5}},
                 // (P, Q, Q, P) makes both sums the same terms: the swapped pairing is reported,
                 // where the direct one would give 1 and 0.5 first.
                 {{p0, q1, q1, p0}, {kNaN, 1.0, kNaN, 0.5}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected[0]);
        double distances[4];
        double maxDistance = -1.0;
        ASSERT_TRUE(cylinder.Reproject(camera, centre, edges, c.observed, distances, &maxDistance));
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(std::isnan(c.expected[i]) || std::fabs(distances[i] - c.expected[i]) < 1e-9)
                << i << ": " << distances[i];
        }
        EXPECT_EQ(maxDistance, *std::max_element(distances, distances + 4));
    }
}

TEST(C3DCylinderReproject, DistancesOnlyWithAllThreeOptionalArguments) {
    const C3DCylinder cylinder = UprightCylinder();
    const CCameraParam camera = CameraLookingAlongX(C3DVector(-5.0, 0.0, 0.0));
    double distances[4] = {9.0, 9.0, 9.0, 9.0};
    double maxDistance = 9.0;
    C2DLineSegment centre, edges[2];
    EXPECT_TRUE(cylinder.Reproject(camera, centre, edges, kObserved, distances, nullptr));
    EXPECT_TRUE(cylinder.Reproject(camera, centre, edges, kObserved, nullptr, &maxDistance));
    EXPECT_TRUE(cylinder.Reproject(camera, centre, edges, nullptr, distances, &maxDistance));
    EXPECT_EQ(distances[0], 9.0);
    EXPECT_EQ(maxDistance, 9.0);
    // The silhouette of the upright cylinder from (-5, 0, 0): x = 320 +- 100 tan(asin(0.2)).
    const double offset = 100.0 * std::tan(std::asin(0.2));
    const double xs[2] = {edges[0].GetCenterCoordinate().GetData(0),
                          edges[1].GetCenterCoordinate().GetData(0)};
    EXPECT_NEAR(std::fmin(xs[0], xs[1]), 320.0 - offset, 1e-9);
    EXPECT_NEAR(std::fmax(xs[0], xs[1]), 320.0 + offset, 1e-9);
    const C2DCoordinate centreBefore = centre.GetCenterCoordinate();
    EXPECT_FALSE(cylinder.Reproject(camera, centre, nullptr, kObserved, distances, &maxDistance));
    ExpectVectorNear(centre.GetCenterCoordinate(), centreBefore, 0.0);  // refused before any work
}

TEST(C3DCylinderReproject, CentreLineBehindTheCameraFailsAfterWritingEdges) {
    // Looking away from the cylinder: the silhouette is still formed (no depth test), the axis
    // segment is wholly behind the camera.
    const C3DCylinder cylinder = UprightCylinder();
    const CCameraParam camera =
        LookAtCamera(C3DVector(-5.0, 0.0, 2.0), C3DVector(-10.0, 0.0, 2.0), 100.0);
    C2DLineSegment centre(C2DCoordinate(1, 1), C2DCoordinate(2, 2));
    C2DLineSegment edges[2];
    EXPECT_FALSE(cylinder.Reproject(camera, centre, edges, nullptr, nullptr, nullptr));
    EXPECT_NE(edges[0].GetCenterCoordinate().GetData(1), 0.5);  // written
    ExpectVectorNear(centre.GetCenterCoordinate(), C2DVector(1.5, 1.5), 0.0);
}

}  // namespace
