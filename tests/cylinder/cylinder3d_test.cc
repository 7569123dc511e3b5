#include "polyview/cylinder/cylinder3d.h"

#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/camera_rig.h"
#include "support/cylinder_observations.h"
#include "support/expect_geometry.h"

// Reaches the private line form of the silhouette, which no member of the library calls.
class C3DCylinderTestPeer {
  public:
    static bool ProjectedLines(const C3DCylinder& cylinder,
                               const CCameraParam& camera,
                               C2DLine* lines) {
        return cylinder.CalcProjectedEdge(camera, lines);
    }
};

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// An axis through (5, 0, 0) along z, radius 2, positions 1..4 measured from (5, 0, 0).
C3DCylinder UprightCylinder() {
    C3DCylinder cylinder;
    cylinder.Set3DCylinder(C3DAxis(C3DVector(1.0, 0.0, 0.0), C3DVector(0.0, 0.0, 1.0), 5.0),
                           CRange(1.0, 4.0),
                           2.0,
                           true,
                           true,
                           true);
    return cylinder;
}

// A camera at centreInWorld looking along +x (image x along world y, image y along world z).
CCameraParam CameraLookingAlongX(const C3DVector& centreInWorld) {
    const CRotateMatrix camFromWorld(C33Matrix(0, 1, 0, 0, 0, 1, 1, 0, 0));
    return CCameraParam(CIntrinsicParam(100.0, C2DCoordinate(320.0, 240.0)),
                        CExtrinsicParam(camFromWorld, (camFromWorld * centreInWorld) * -1.0));
}

void ExpectCylinderEquals(const C3DCylinder& actual, const C3DCylinder& expected) {
    ExpectVectorNear(actual.GetAxis().GetUVector(), expected.GetAxis().GetUVector(), 0.0);
    ExpectVectorNear(actual.GetAxis().GetVVector(), expected.GetAxis().GetVVector(), 0.0);
    EXPECT_TRUE(SameBits(actual.GetAxis().GetDistance(), expected.GetAxis().GetDistance()));
    EXPECT_TRUE(
        SameBits(actual.GetRange().GetStartPosition(), expected.GetRange().GetStartPosition()));
    EXPECT_TRUE(SameBits(actual.GetRange().GetEndPosition(), expected.GetRange().GetEndPosition()));
    EXPECT_TRUE(SameBits(actual.GetRadius(), expected.GetRadius()));
}

const SKnownCylinder kKnown[] = {
    {C3DVector(1.0, -2.0, 3.0), C3DVector(0.48, -0.6, 0.64), 2.0, -4.0, 6.0},
    {C3DVector(-0.5, 0.3, 0.2), C3DVector(0.0, 0.6, 0.8), 0.05, 0.0, 3.0},
};

// The default cylinder (axis distance 0) among them: no end points, no silhouette.
TEST(C3DCylinderModel, NothingIsProjectedWithoutAxisDistanceAndRadius) {
    const C3DCylinder byDefault;
    EXPECT_EQ(byDefault.GetRadius(), 1.0);
    EXPECT_EQ(byDefault.GetRange().GetEndPosition(), 1.0);
    struct Case {
        double distance;
        double radius;
    };
    const Case cases[] = {{0.0, 2.0}, {5.0, 0.0}, {5.0, kNaN}, {kNaN, 2.0}};
    std::vector<C3DCylinder> cylinders = {byDefault};
    for (const Case& c : cases) {
        cylinders.push_back(UprightCylinder());
        cylinders.back().Set3DCylinder(C3DAxis(C3DVector(1, 0, 0), C3DVector(0, 0, 1), c.distance),
                                       CRange(),
                                       c.radius,
                                       true,
                                       false,
                                       true);
    }
    const CCameraParam camera = CameraLookingAlongX(C3DVector(-10.0, 0.0, 0.0));
    for (size_t i = 0; i < cylinders.size(); ++i) {
        SCOPED_TRACE(i);
        C3DCoordinate start(7.0, 7.0, 7.0);
        C3DCoordinate end(8.0, 8.0, 8.0);
        EXPECT_FALSE(cylinders[i].GetEndPoint3D(start, end));
        ExpectVectorNear(start, C3DVector(7.0, 7.0, 7.0), 0.0);
        ExpectVectorNear(end, C3DVector(8.0, 8.0, 8.0), 0.0);
        C2DCoordinate start2D(1.0, 2.0);
        C2DCoordinate end2D(3.0, 4.0);
        EXPECT_FALSE(cylinders[i].GetEndPoint2D(camera, start2D, end2D));
        ExpectVectorNear(end2D, C2DVector(3.0, 4.0), 0.0);
        C2DLineSegment centre;
        C2DLineSegment edges[2];
        EXPECT_FALSE(cylinders[i].Reproject(camera, centre, edges, nullptr, nullptr, nullptr));
        ExpectVectorNear(edges[0].GetCenterCoordinate(), C2DVector(0.0, 0.5), 0.0);
    }
}

TEST(C3DCylinderModel, EndPointsInSpaceAndInTheImage) {
    const C3DCylinder cylinder = UprightCylinder();
    C3DCoordinate start;
    C3DCoordinate end;
    ASSERT_TRUE(cylinder.GetEndPoint3D(start, end));
    ExpectVectorNear(start, C3DVector(5.0, 0.0, 1.0), 0.0);
    ExpectVectorNear(end, C3DVector(5.0, 0.0, 4.0), 0.0);

    // Seen from (-5, 0, 0) the axis is 10 deep: z = 1 images 100 * 1 / 10 = 10 px below centre.
    const CCameraParam camera = CameraLookingAlongX(C3DVector(-5.0, 0.0, 0.0));
    C2DCoordinate start2D;
    C2DCoordinate end2D;
    ASSERT_TRUE(cylinder.GetEndPoint2D(camera, start2D, end2D));
    ExpectVectorNear(start2D, C2DVector(320.0, 250.0), 1e-12);
    ExpectVectorNear(end2D, C2DVector(320.0, 280.0), 1e-12);
}

TEST(C3DCylinderModel, SetTakesOnlyFlaggedParts) {
    const C3DCylinder original = UprightCylinder();
    const C3DAxis other(C3DVector(0, 1, 0), C3DVector(1, 0, 0), 6.0);

    C3DCylinder cylinder = original;
    EXPECT_TRUE(cylinder.Set3DCylinder(other, CRange(9.0, -9.0), 7.0, false, false, false));
    ExpectCylinderEquals(cylinder, original);

    EXPECT_TRUE(cylinder.Set3DCylinder(other, CRange(9.0, -9.0), 7.0, false, true, false));
    EXPECT_EQ(cylinder.GetRange().GetStartPosition(), 9.0);  // s > e is kept as given
    EXPECT_EQ(cylinder.GetRange().GetEndPosition(), -9.0);
    EXPECT_EQ(cylinder.GetRadius(), 2.0);
    EXPECT_EQ(cylinder.GetAxis().GetDistance(), 5.0);

    EXPECT_TRUE(cylinder.Set3DCylinder(other, CRange(), 7.0, true, false, true));
    EXPECT_EQ(cylinder.GetAxis().GetDistance(), 6.0);
    ExpectVectorNear(cylinder.GetAxis().GetVVector(), C3DVector(1, 0, 0), 0.0);
    EXPECT_EQ(cylinder.GetRadius(), 7.0);
    EXPECT_EQ(cylinder.GetRange().GetStartPosition(), 9.0);
    C3DCoordinate start;
    C3DCoordinate end;
    ASSERT_TRUE(cylinder.GetEndPoint3D(start, end));
    ExpectVectorNear(start, C3DVector(9.0, 6.0, 0.0), 0.0);
    ExpectVectorNear(end, C3DVector(-9.0, 6.0, 0.0), 0.0);

    const C3DCylinder copy(cylinder);
    ExpectCylinderEquals(copy, cylinder);
    cylinder.Initialize();
    ExpectCylinderEquals(cylinder, C3DCylinder());
}

TEST(C3DCylinderTransform, MovesEndPointsAndScalesRadius) {
    std::mt19937_64 generator(11);
    const double scales[] = {2.0, 0.5, -1.5};
    for (double scale : scales) {
        SCOPED_TRACE(scale);
        const CRotateMatrix rotation = RandomRotation(generator);
        const C3DVector translation(0.3, -1.2, 2.5);
        C3DCylinder cylinder = MakeCylinder(kKnown[0]);
        ASSERT_TRUE(cylinder.Transform(rotation, translation, scale));
        EXPECT_NEAR(cylinder.GetRadius(), 2.0 / scale, 1e-15);  // negative scale: negative radius
        C3DCoordinate start;
        C3DCoordinate end;
        ASSERT_TRUE(cylinder.GetEndPoint3D(start, end));
        const C3DVector knownStart = kKnown[0].AxisPoint(kKnown[0].start);
        const C3DVector knownEnd = kKnown[0].AxisPoint(kKnown[0].end);
        ExpectVectorNear(start, (rotation * knownStart + translation) / scale, 1e-12);
        ExpectVectorNear(end, (rotation * knownEnd + translation) / scale, 1e-12);
    }
}

TEST(C3DCylinderTransform, RejectedMovesLeaveCylinderUnchanged) {
    const std::pair<CRotateMatrix, double> rejected[] = {
        {CRotateMatrix(), 0.0}, {CRotateMatrix(), kNaN}, {CRotateMatrix(C33Matrix()), 1.0}};
    for (const auto& [rotation, scale] : rejected) {
        SCOPED_TRACE(scale);  // the last: a rotation that collapses the direction
        C3DCylinder cylinder = UprightCylinder();
        EXPECT_FALSE(cylinder.Transform(rotation, C3DVector(1.0, 2.0, 3.0), scale));
        ExpectCylinderEquals(cylinder, UprightCylinder());
    }
}

// The silhouette edges must run between the images of the tangent points on the two end
// circles, computed here from the grazing generators of the known cylinder.
TEST(C3DCylinderSilhouette, SegmentsRunBetweenTangentPointsOfEndCircles) {
    for (const SKnownCylinder& known : kKnown) {
        const C3DCylinder cylinder = MakeCylinder(known);
        for (const CCameraParam& camera : CamerasAround(known, 6, 12.0, 0.7)) {
            C3DVector offsets[2];
            ASSERT_TRUE(SilhouetteOffsets(known, CameraCentre(camera), offsets));
            C2DLineSegment centre;
            C2DLineSegment edges[2];
            ASSERT_TRUE(cylinder.Reproject(camera, centre, edges, nullptr, nullptr, nullptr));
            C2DCoordinate starts[2];
            C2DCoordinate ends[2];
            for (int i = 0; i < 2; ++i) {
                edges[i].GetEndPoints(starts[i], ends[i]);
            }
            const C2DCoordinate g0 =
                ProjectPoint(camera, known.AxisPoint(known.start) + offsets[0]);
            // Edge 0 may be either generator; the other edge must be the other one.
            const int first = (starts[0] - g0).GetNorm() < (starts[1] - g0).GetNorm() ? 0 : 1;
            for (int which = 0; which < 2; ++which) {
                SCOPED_TRACE(which);
                const int edge = which == 0 ? first : 1 - first;
                ExpectVectorNear(
                    starts[edge],
                    ProjectPoint(camera, known.AxisPoint(known.start) + offsets[which]),
                    1e-8);
                ExpectVectorNear(ends[edge],
                                 ProjectPoint(camera, known.AxisPoint(known.end) + offsets[which]),
                                 1e-8);
            }
            C2DCoordinate centreStart;
            C2DCoordinate centreEnd;
            centre.GetEndPoints(centreStart, centreEnd);
            ExpectVectorNear(centreStart, ProjectPoint(camera, known.AxisPoint(known.start)), 1e-8);
            ExpectVectorNear(centreEnd, ProjectPoint(camera, known.AxisPoint(known.end)), 1e-8);
        }
    }
}

TEST(C3DCylinderSilhouette, InfiniteLinesContainTheGrazingGenerators) {
    for (const SKnownCylinder& known : kKnown) {
        const C3DCylinder cylinder = MakeCylinder(known);
        for (const CCameraParam& camera : CamerasAround(known, 6, 12.0, 1.2)) {
            C3DVector offsets[2];
            ASSERT_TRUE(SilhouetteOffsets(known, CameraCentre(camera), offsets));
            C2DLine lines[2];
            ASSERT_TRUE(C3DCylinderTestPeer::ProjectedLines(cylinder, camera, lines));
            // Generator 0 lies on one line and generator 1 on the other, far outside the range.
            const double ts[] = {known.start - 3.0, known.end + 3.0};
            const C2DCoordinate g0 = ProjectPoint(camera, known.AxisPoint(ts[0]) + offsets[0]);
            const int first = lines[0].GetDistance(g0) < lines[1].GetDistance(g0) ? 0 : 1;
            for (int which = 0; which < 2; ++which) {
                for (double t : ts) {
                    SCOPED_TRACE(testing::Message() << which << " " << t);
                    const C2DCoordinate onGenerator =
                        ProjectPoint(camera, known.AxisPoint(t) + offsets[which]);
                    const C2DLine& line = lines[which == 0 ? first : 1 - first];
                    EXPECT_NEAR(line.GetDistance(onGenerator), 0.0, 1e-8);
                }
            }
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
    C2DLineSegment centre;
    C2DLineSegment edges[2];
    ASSERT_TRUE(cylinder.Reproject(camera, centre, edges, nullptr, nullptr, nullptr));
    for (const C2DLineSegment& edge : edges) {
        C2DCoordinate start;
        C2DCoordinate end;
        edge.GetEndPoints(start, end);
        ExpectVectorNear(start, C2DVector(320.0, 240.0), 1e-12);
        ExpectVectorNear(end, C2DVector(320.0, 240.0), 1e-12);
    }
    C2DLine lines[2];
    ASSERT_TRUE(C3DCylinderTestPeer::ProjectedLines(cylinder, camera, lines));
    for (const C2DLine& line : lines) {
        double params[3];
        line.GetLineParams(params);
        ASSERT_NE(params[0], 0.0);
        EXPECT_EQ(params[1] / params[0], 0.0);
        EXPECT_EQ(params[2] / params[0], -320.0);
    }
}

TEST(C3DCylinderSilhouette, CameraInsideOrOnTheAxisLineFailsWithOutputsUntouched) {
    const C3DCylinder cylinder = UprightCylinder();
    struct Case {
        const char* name;
        CCameraParam camera;
    };
    const Case cases[] = {
        {"inside, beside the axis", CameraLookingAlongX(C3DVector(4.0, 1.0, 2.0))},
        {"just inside the surface", CameraLookingAlongX(C3DVector(3.0000001, 0.0, 2.0))},
        {"on the axis line, beyond the end",
         LookAtCamera(C3DVector(5.0, 0.0, 20.0), C3DVector(5.0, 0.0, 0.0), 100.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        C2DLineSegment centre(C2DCoordinate(1, 1), C2DCoordinate(2, 2));
        C2DLineSegment edges[2];
        const C2DCoordinate observed[4] = {
            C2DCoordinate(0, 0), C2DCoordinate(1, 0), C2DCoordinate(2, 0), C2DCoordinate(3, 0)};
        double distances[4] = {9.0, 9.0, 9.0, 9.0};
        double maxDistance = 9.0;
        EXPECT_FALSE(
            cylinder.Reproject(c.camera, centre, edges, observed, distances, &maxDistance));
        ExpectVectorNear(edges[0].GetCenterCoordinate(), C2DVector(0.0, 0.5), 0.0);
        ExpectVectorNear(centre.GetCenterCoordinate(), C2DVector(1.5, 1.5), 0.0);
        EXPECT_EQ(distances[0], 9.0);
        EXPECT_EQ(maxDistance, 9.0);
        C2DLine lines[2];
        EXPECT_FALSE(C3DCylinderTestPeer::ProjectedLines(cylinder, c.camera, lines));
        double params[3];
        lines[0].GetLineParams(params);
        EXPECT_EQ(params[0], 1.0);
    }
}

TEST(C3DCylinderReproject, ExactObservationsFitInEitherPairing) {
    for (const SKnownCylinder& known : kKnown) {
        const C3DCylinder cylinder = MakeCylinder(known);
        for (const CCameraParam& camera : CamerasAround(known, 4, 12.0, 0.3)) {
            C3DVector offsets[2];
            ASSERT_TRUE(SilhouetteOffsets(known, CameraCentre(camera), offsets));
            C2DCoordinate onGenerator[2][2];  // [generator][point]
            for (int which = 0; which < 2; ++which) {
                onGenerator[which][0] = ProjectPoint(
                    camera, known.AxisPoint(0.3 * known.start + 0.7 * known.end) + offsets[which]);
                onGenerator[which][1] = ProjectPoint(
                    camera, known.AxisPoint(0.8 * known.start + 0.2 * known.end) + offsets[which]);
            }
            for (int firstGenerator = 0; firstGenerator < 2; ++firstGenerator) {
                SCOPED_TRACE(firstGenerator);
                const C2DCoordinate observed[4] = {onGenerator[firstGenerator][0],
                                                   onGenerator[firstGenerator][1],
                                                   onGenerator[1 - firstGenerator][0],
                                                   onGenerator[1 - firstGenerator][1]};
                C2DLineSegment centre;
                C2DLineSegment edges[2];
                double distances[4] = {-1.0, -1.0, -1.0, -1.0};
                double maxDistance = -1.0;
                ASSERT_TRUE(
                    cylinder.Reproject(camera, centre, edges, observed, distances, &maxDistance));
                for (double distance : distances) {
                    EXPECT_NEAR(distance, 0.0, 1e-8);
                    EXPECT_GE(distance, 0.0);
                }
                EXPECT_NEAR(maxDistance, 0.0, 1e-8);
                EXPECT_GE(maxDistance, 0.0);
            }
        }
    }
}

// Points placed at known perpendicular offsets from the reported edges: the pairing with the
// smaller sum wins, the first two distances belong to edge 0, and a tie goes to the swapped one.
TEST(C3DCylinderReproject, ReportsTheCloserPairingAndItsLargestDistance) {
    const SKnownCylinder& known = kKnown[0];
    const C3DCylinder cylinder = MakeCylinder(known);
    const CCameraParam camera = CamerasAround(known, 1, 12.0, 0.3)[0];
    C2DLineSegment centre;
    C2DLineSegment edges[2];
    ASSERT_TRUE(cylinder.Reproject(camera, centre, edges, nullptr, nullptr, nullptr));
    // A point on edge i at fraction s of its length, moved by `offset` pixels across it.
    auto near = [&](int i, double s, double offset) {
        C2DCoordinate p0;
        C2DCoordinate p1;
        edges[i].GetEndPoints(p0, p1);
        const C2DVector along = p1 - p0;
        const C2DVector across =
            C2DVector(-along.GetData(1), along.GetData(0)) * (1.0 / along.GetNorm());
        return C2DCoordinate(p0 + along * s + across * offset, WorldCoordinateSystem);
    };
    const C2DCoordinate on0a = near(0, 0.2, 1.0);
    const C2DCoordinate on0b = near(0, 0.7, -2.0);
    const C2DCoordinate on1a = near(1, 0.4, 3.0);
    const C2DCoordinate on1b = near(1, 0.9, 0.5);
    const double expected[4] = {1.0, 2.0, 3.0, 0.5};
    struct Case {
        const char* name;
        C2DCoordinate observed[4];
    };
    const Case cases[] = {{"direct", {on0a, on0b, on1a, on1b}},
                          {"swapped", {on1a, on1b, on0a, on0b}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double distances[4];
        double maxDistance = -1.0;
        ASSERT_TRUE(cylinder.Reproject(camera, centre, edges, c.observed, distances, &maxDistance));
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(distances[i], expected[i], 1e-9);
        }
        EXPECT_NEAR(maxDistance, 3.0, 1e-9);
    }
    // (P, Q, Q, P) makes both sums the same terms: the swapped pairing is reported.
    const C2DCoordinate tie[4] = {on0a, on1b, on1b, on0a};
    double distances[4];
    double maxDistance = -1.0;
    ASSERT_TRUE(cylinder.Reproject(camera, centre, edges, tie, distances, &maxDistance));
    const C2DLine line0(edges[0]);
    const C2DLine line1(edges[1]);
    EXPECT_EQ(distances[0], line0.GetDistance(on1b));
    EXPECT_EQ(distances[1], line0.GetDistance(on0a));
    EXPECT_EQ(distances[2], line1.GetDistance(on0a));
    EXPECT_EQ(distances[3], line1.GetDistance(on1b));
    EXPECT_NEAR(distances[1], 1.0, 1e-9);  // the direct pairing would put these two first
    EXPECT_NEAR(distances[3], 0.5, 1e-9);
}

TEST(C3DCylinderReproject, DistancesOnlyWithAllThreeOptionalArguments) {
    const C3DCylinder cylinder = UprightCylinder();
    const CCameraParam camera = CameraLookingAlongX(C3DVector(-5.0, 0.0, 0.0));
    const C2DCoordinate observed[4] = {
        C2DCoordinate(0, 0), C2DCoordinate(1, 0), C2DCoordinate(2, 0), C2DCoordinate(3, 0)};
    double distances[4] = {9.0, 9.0, 9.0, 9.0};
    double maxDistance = 9.0;
    C2DLineSegment centre;
    C2DLineSegment edges[2];
    EXPECT_TRUE(cylinder.Reproject(camera, centre, edges, observed, distances, nullptr));
    EXPECT_TRUE(cylinder.Reproject(camera, centre, edges, observed, nullptr, &maxDistance));
    EXPECT_TRUE(cylinder.Reproject(camera, centre, edges, nullptr, distances, &maxDistance));
    EXPECT_EQ(distances[0], 9.0);
    EXPECT_EQ(maxDistance, 9.0);
    // The silhouette of the upright cylinder from (-5, 0, 0): x = 320 +- 100 tan(asin(0.2)).
    const double offset = 100.0 * std::tan(std::asin(0.2));
    const double xs[2] = {edges[0].GetCenterCoordinate().GetData(0),
                          edges[1].GetCenterCoordinate().GetData(0)};
    EXPECT_NEAR(std::fmin(xs[0], xs[1]), 320.0 - offset, 1e-9);
    EXPECT_NEAR(std::fmax(xs[0], xs[1]), 320.0 + offset, 1e-9);
    EXPECT_FALSE(cylinder.Reproject(camera, centre, nullptr, observed, distances, &maxDistance));
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
