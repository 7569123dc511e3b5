// Cylinders rebuilt from the silhouette edges of known cylinders (CreateFromImageCylinder).

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/cylinder/cylinder3d.h"
#include "support/camera_rig.h"
#include "support/cylinder_observations.h"
#include "support/expect_geometry.h"
#include "support/numeric_allocation_sweep.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kPi = 3.14159265358979323846;

struct SScene {
    const char* name;
    SKnownCylinder known;
    double distance;  // of the cameras from the cylinder's middle
    double roll;      // 0: the axis nearly vertical in the images, pi / 2 nearly horizontal
};

const C3DVector kNearlyZ = C3DVector(0.02, -0.01, 1.0).GetNormalizedVector();
const C3DVector kNearlyX = C3DVector(1.0, 0.03, -0.02).GetNormalizedVector();
const SScene kScenes[] = {
    {"radius 2, general position", {{1, -2, 3}, {0.48, -0.6, 0.64}, 2, -4, 6}, 15, 0.7},
    {"radius 2, axis nearly vertical in the images", {{-3, 1, 2}, kNearlyZ, 2, 0, 8}, 15, 0},
    {"pipe 0.05, general position", {{0.4, 0.2, -0.3}, {0, 0.6, 0.8}, 0.05, -0.5, 1.5}, 3, 1.1},
    {"pipe 0.05, axis nearly horizontal", {{0.1, -0.2, 0.3}, kNearlyX, 0.05, 0, 2}, 3, kPi / 2},
};

// Errors of a reconstruction against the known cylinder, relative to its size.
struct SErrors {
    double direction;  // |V x known direction|
    double position;   // largest distance of a known end point from its reconstruction / size
    double radius;     // |radius - known radius| / known radius
};

SErrors Compare(const C3DCylinder& cylinder, const SKnownCylinder& known) {
    C3DCoordinate e[2];
    const bool ended = cylinder.GetEndPoint3D(e[0], e[1]);
    const C3DVector k[2] = {known.AxisPoint(known.start), known.AxisPoint(known.end)};
    // The direction may come out reversed; the sorted range then starts at the known end.
    const double same = std::fmax((e[0] - k[0]).GetNorm(), (e[1] - k[1]).GetNorm());
    const double reversed = std::fmax((e[0] - k[1]).GetNorm(), (e[1] - k[0]).GetNorm());
    return {cylinder.GetAxis().GetVVector().GetCrossProduct(known.direction).GetNorm(),
            ended ? std::fmin(same, reversed) / std::fabs(known.end - known.start)
                  : std::numeric_limits<double>::infinity(),
            std::fabs(cylinder.GetRadius() - known.radius) / known.radius};
}

void ExpectExact(const C3DCylinder& cylinder, const SKnownCylinder& known) {
    // Exact edges: what is left is rounding, amplified by the depth and by the conditioning of
    // the tangent planes of the thin pipe; 1e-9 of the cylinder's size leaves ample room.
    const SErrors errors = Compare(cylinder, known);
    EXPECT_LT(errors.direction, 1e-9);
    EXPECT_LT(errors.position, 1e-9);
    EXPECT_LT(errors.radius, 1e-9);
    EXPECT_LE(cylinder.GetRange().GetStartPosition(), cylinder.GetRange().GetEndPosition());
}

// A cylinder that no test reconstructs, to see that failures leave it alone.
C3DCylinder Bystander() {
    return MakeCylinder({C3DVector(0.0, 7.0, 0.0), C3DVector(1.0, 0.0, 0.0), 3.0, -1.0, 2.0});
}

// A record whose only edge is the image line u + b v + c = 0 (normal (1, b, c)), running so
// that it keeps that normal or, turned, reverses it.
SImageCylinder LoneEdge(const CCameraParam& camera, double b, double c, bool turned = false) {
    const C2DCoordinate at0(-c, 0.0);
    const C2DCoordinate at1(-b - c, 1.0);
    SImageCylinder record;
    record.cameraParam = camera;
    record.edgeSegment[0] = turned ? C2DLineSegment(at1, at0) : C2DLineSegment(at0, at1);
    record.edgeSegment[1] = C2DLineSegment(at0, at0);
    return record;
}

// With both edges observed the side comes from the other edge, so neither the slot order nor the
// running direction matters: every record but the first has its slots swapped and one edge turned.
TEST(C3DCylinderTangentPlanes, ExactEdgesInAnyOrderGiveTheKnownCylinder) {
    for (const SScene& scene : kScenes) {
        for (int n = 2; n <= 6; ++n) {
            SCOPED_TRACE(testing::Message() << scene.name << ", " << n << " cameras");
            const auto cameras = CamerasAround(scene.known, n, scene.distance, scene.roll);
            C1DArray<SImageCylinder> records = ExactRecords(scene.known, cameras);
            for (int i = 1; i < n; ++i) {
                C2DCoordinate p[2][2];
                records[i].edgeSegment[0].GetEndPoints(p[0][0], p[0][1]);
                records[i].edgeSegment[1].GetEndPoints(p[1][0], p[1][1]);
                const int turned = i % 2;
                records[i].edgeSegment[0].SetEndPoints(p[1][turned], p[1][1 - turned]);
                records[i].edgeSegment[1].SetEndPoints(p[0][1 - turned], p[0][turned]);
            }
            C3DCylinder cylinder = Bystander();
            ASSERT_TRUE(cylinder.CreateFromImageCylinder(records, true));
            ExpectExact(cylinder, scene.known);
        }
    }
}

// A lone edge says on which side the cylinder lies by the direction in which it runs; run the
// other way it puts its plane's normal away from the cylinder, and the axis lands elsewhere.
TEST(C3DCylinderTangentPlanes, OneEdgeRecordsAreOrientedByTheirRunningDirection) {
    for (const SScene& scene : kScenes) {
        SCOPED_TRACE(scene.name);
        const auto cameras = CamerasAround(scene.known, 5, scene.distance, scene.roll);
        auto build = [&](bool reversed) {
            return Records({ExactRecord(scene.known, cameras[0]),
                            OneEdgeRecord(scene.known, cameras[1], 0, reversed),
                            ExactRecord(scene.known, cameras[2]),
                            OneEdgeRecord(scene.known, cameras[3], 1, reversed),
                            OneEdgeRecord(scene.known, cameras[4], 0, reversed)});
        };
        C3DCylinder cylinder;
        ASSERT_TRUE(cylinder.CreateFromImageCylinder(build(false), true));
        ExpectExact(cylinder, scene.known);

        // The one-edge slot may also be slot 1.
        C1DArray<SImageCylinder> slotOne = build(false);
        slotOne[1].edgeSegment[1] = slotOne[1].edgeSegment[0];
        slotOne[1].edgeSegment[0] = C2DLineSegment(C2DCoordinate(1, 1), C2DCoordinate(1, 1));
        ASSERT_TRUE(cylinder.CreateFromImageCylinder(slotOne, true));
        ExpectExact(cylinder, scene.known);

        C3DCylinder wrong;
        if (wrong.CreateFromImageCylinder(build(true), true)) {
            const SErrors errors = Compare(wrong, scene.known);
            EXPECT_GT(std::fmax(errors.position, errors.radius), 1e-3);
        }
    }
}

// Exactly vertical image edges have coefficients (1, 0, c), which a slope test alone never
// turns; a lone vertical edge must still follow its running direction.
TEST(C3DCylinderTangentPlanes, LoneVerticalEdgesFollowTheirRunningDirection) {
    // An upright cylinder (axis x = 5, y = 0) seen level from four sides by cameras whose rows
    // are axis-aligned, so every silhouette edge is exactly vertical in its image.
    const SKnownCylinder known = {
        C3DVector(5.0, 0.0, 0.0), C3DVector(0.0, 0.0, 1.0), 2.0, 1.0, 4.0};
    std::vector<CCameraParam> cameras;
    for (const C3DVector& centre : {C3DVector(-5.0, 0.0, 2.5),
                                    C3DVector(5.0, -12.0, 2.5),
                                    C3DVector(19.0, 0.0, 2.5),
                                    C3DVector(5.0, 8.0, 2.5)}) {
        cameras.push_back(LookAtCamera(centre, C3DVector(5.0, 0.0, 2.5), 800.0, 400.0, 300.0));
    }
    // Views 1 and 3 give each generator alone, one edge running up and the other down.
    std::vector<SImageCylinder> list = {ExactRecord(known, cameras[0]),
                                        ExactRecord(known, cameras[2])};
    for (int view : {1, 3}) {
        for (int which = 0; which < 2; ++which) {
            list.push_back(OneEdgeRecord(known, cameras[view], which));
            C2DCoordinate p0, p1;
            list.back().edgeSegment[0].GetEndPoints(p0, p1);
            ASSERT_EQ(p0.GetData(0), p1.GetData(0));  // exactly vertical
        }
    }
    C3DCylinder cylinder;
    ASSERT_TRUE(cylinder.CreateFromImageCylinder(Records(list), true));
    ExpectExact(cylinder, known);
}

// Both silhouette edges, and the centre line between them, pass through the image of the axis's
// point at infinity: the direction comes out exact. The centre line is the image of the axis only
// for a view symmetric about the plane through camera centre and axis (a camera aimed at the
// axis); else the axis moves by about theta^2 * aside (theta = r / h, the half-angle subtended;
// aside the aim's offset), four times that bounding it. The radius, a mean of two edges whose
// errors have opposite signs, moves below theta^2 * r.
TEST(C3DCylinderCentreLines, EstimateErrorIsOfSecondOrderInTheHalfAngle) {
    for (const SScene& scene : kScenes) {
        const double theta = scene.known.radius / scene.distance;
        const double length = std::fabs(scene.known.end - scene.known.start);
        for (double aside : {0.0, 0.1, 0.3}) {
            for (int n = 2; n <= 6; ++n) {
                SCOPED_TRACE(testing::Message()
                             << scene.name << ", aside " << aside << ", " << n << " cameras");
                const auto cameras = CamerasAround(
                    scene.known, n, scene.distance, scene.roll, aside * scene.distance);
                C3DCylinder cylinder = Bystander();
                ASSERT_TRUE(
                    cylinder.CreateFromImageCylinder(ExactRecords(scene.known, cameras), false));
                const SErrors errors = Compare(cylinder, scene.known);
                EXPECT_LT(errors.direction, 1e-9);
                EXPECT_LT(errors.position * length,
                          4.0 * theta * theta * aside * scene.distance + 1e-9 * length);
                EXPECT_LT(errors.radius, aside == 0.0 ? 1e-8 : theta * theta);
            }
        }
    }
}

// 0.5 px of noise (sigma per coordinate) on every edge end point, four cameras 3.6 to 5.9 m away
// with f = 1500 px: an edge line is off by about 0.5 px / sqrt(2), 1.4 mm at the farthest camera,
// and so is the radius fitted to eight tangent planes; 5 mm must hold in all 200 seeded trials.
TEST(C3DCylinderTangentPlanes, NoisyPipeRadiusWithinFewMillimetres) {
    const SKnownCylinder pipe = {
        C3DVector(0.2, -0.1, 0.5), C3DVector(0.6, 0.0, 0.8), 0.1, -1.0, 1.0};
    const auto cameras = CamerasAround(pipe, 4, 4.5, 0.4, 0.0, 1500.0, 960.0, 540.0);
    std::mt19937_64 generator(20261206);
    std::normal_distribution<double> noise(0.0, 0.5);
    double worst = 0.0;
    for (int trial = 0; trial < 200; ++trial) {
        C1DArray<SImageCylinder> records = ExactRecords(pipe, cameras);
        for (int i = 0; i < 8; ++i) {
            C2DCoordinate ends[2];
            records[i / 2].edgeSegment[i % 2].GetEndPoints(ends[0], ends[1]);
            for (C2DCoordinate& end : ends) {
                end += C2DVector(noise(generator), noise(generator));
            }
            records[i / 2].edgeSegment[i % 2].SetEndPoints(ends[0], ends[1]);
        }
        C3DCylinder cylinder;
        ASSERT_TRUE(cylinder.CreateFromImageCylinder(records, true));
        worst = std::fmax(worst, std::fabs(cylinder.GetRadius() - pipe.radius));
    }
    EXPECT_LT(worst, 0.005);
}

TEST(C3DCylinderReconstruction, RejectedObservationsLeaveTheCylinderUnchanged) {
    const SScene& scene = kScenes[0];
    const auto cameras = CamerasAround(scene.known, 3, scene.distance, scene.roll);
    const SImageCylinder both0 = ExactRecord(scene.known, cameras[0]);
    const SImageCylinder both1 = ExactRecord(scene.known, cameras[1]);
    const SImageCylinder one1 = OneEdgeRecord(scene.known, cameras[1], 0);
    const SImageCylinder one2 = OneEdgeRecord(scene.known, cameras[2], 1);
    const C2DLineSegment dot(C2DCoordinate(3, 4), C2DCoordinate(3, 4));
    const SImageCylinder unseen = {cameras[1], {dot, dot}};  // both edges of length 0
    SImageCylinder notANumber = both1;
    notANumber.edgeSegment[0].SetEndPoints(C2DCoordinate(kNaN, 0.0), C2DCoordinate(1.0, kNaN));

    // Two cameras in one plane with the axis: their centre-line planes coincide, so the 3D line
    // through them is undetermined.
    const SKnownCylinder upright = {C3DVector(5, 0, 0), C3DVector(0, 0, 1), 2.0, 1.0, 4.0};
    auto cameraAt = [](double x) {
        return LookAtCamera(C3DVector(x, 0.0, 2.5), C3DVector(5.0, 0.0, 2.5), 800.0, 400.0, 300.0);
    };

    // Lone edges of a camera with f = 1e-100 give planes whose normals differ only in components
    // of about 1e-100: the conditioning test passes (the smallest eigenvalue is exactly 0), but
    // the normal matrix of the axis point has a determinant of about 1e-400, 0.0 in doubles.
    const CCameraParam tiny(CIntrinsicParam(1e-100, C2DCoordinate(0.0, 0.0)), CExtrinsicParam());
    const struct {
        const char* name;
        bool fullFit;
        C1DArray<SImageCylinder> records;
    } cases[] = {
        {"tangent planes: no records", true, Records({})},
        {"tangent planes: one record", true, Records({both0})},
        {"tangent planes: two lone edges", true, Records({one1, one2})},
        {"tangent planes: nothing observed", true, Records({unseen, unseen})},
        {"tangent planes: singular point system",
         true,
         Records({LoneEdge(tiny, 0.5, 1.0),
                  LoneEdge(tiny, -0.25, 2.0),
                  LoneEdge(tiny, 0.75, 4.0),
                  LoneEdge(tiny, -1.0, 0.5)})},
        {"centre lines: no records", false, Records({})},
        {"centre lines: one record", false, Records({both0})},
        {"centre lines: one record with both edges", false, Records({both0, one1, one2})},
        {"centre lines: nothing observed", false, Records({unseen, unseen})},
        {"centre lines: no centre line in the second", false, Records({both0, notANumber})},
        {"centre lines: planes through the axis coincide",
         false,
         Records({ExactRecord(upright, cameraAt(-5.0)), ExactRecord(upright, cameraAt(-9.0))})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        C3DCylinder cylinder = Bystander();
        EXPECT_FALSE(cylinder.CreateFromImageCylinder(c.records, c.fullFit));
        ExpectSameCylinder(cylinder, Bystander());
    }
    // Three edges over two records are enough for the tangent planes.
    C3DCylinder cylinder;
    EXPECT_TRUE(cylinder.CreateFromImageCylinder(Records({both0, one2}), true));
}

// Beyond 32 records the centre-line rows come from the numeric workspace. Records without a
// centre line between the others change no bit of the result, and a refused block fails the
// reconstruction with the cylinder unchanged.
TEST(C3DCylinderCentreLines, ManyRecordsWithGapsAndRefusedWorkspace) {
    const SScene& scene = kScenes[2];
    std::vector<CCameraParam> cameras;  // seven rings of six at growing distances, 40 in all
    for (int ring = 0; cameras.size() < 40; ++ring) {
        for (const CCameraParam& camera :
             CamerasAround(scene.known, 6, scene.distance * (1.0 + 0.1 * ring), scene.roll, 0.1)) {
            if (cameras.size() < 40) {
                cameras.push_back(camera);
            }
        }
    }
    const C1DArray<SImageCylinder> records = ExactRecords(scene.known, cameras);
    const C2DLineSegment dot(C2DCoordinate(3, 4), C2DCoordinate(3, 4));
    std::vector<SImageCylinder> gaps;
    for (int i = 0; i < records.GetSize(); ++i) {
        gaps.push_back({cameras[(i + 7) % 40], {dot, dot}});
        gaps.push_back(records[i]);
    }
    C3DCylinder plain = Bystander();
    C3DCylinder withGaps = Bystander();
    ASSERT_TRUE(plain.CreateFromImageCylinder(records, false));
    ASSERT_TRUE(withGaps.CreateFromImageCylinder(Records(gaps), false));
    ExpectSameCylinder(withGaps, plain);
    const int allocations = SweepAllocationFailures("centre lines", [&]() {
        C3DCylinder cylinder = Bystander();
        const bool created = cylinder.CreateFromImageCylinder(records, false);
        ExpectSameCylinder(cylinder, created ? plain : Bystander());
        return created;
    });
    EXPECT_EQ(allocations, 12);  // four rows of the records and the fit's two systems, two each
}

// Four lone edges seen from the origin (f = 1) whose planes have the normals (x, y, z),
// (-x, y, z), (-x, -y, z), (-x, -y, -z): the normal differences are (2x, 0, 0), (0, 2y, 0) and
// (0, 0, 2z), so A^T A = diag(4x^2, 4y^2, 4z^2). With z = 0.1 and y^2 = 7 z^2 (1 +- 1e-7) the
// second eigenvalue lies just above or just below seven times the smallest. At the threshold
// itself: lone vertical edges through the principal point of cameras at the origin whose x axis
// is a world axis give the normals +-e_x, +-e_y, +-e_z exactly (sign by running direction), so
// A^T A holds small integers and its eigenvalues are exact; 14 / 7 rounds to 2 exactly, and the
// strict comparison refuses 2 and 14 but takes 2 and 16. All planes pass through the origin: the
// fit after a passed test finds an axis through the origin with radius 0, which has no range.
TEST(C3DCylinderTangentPlanes, ConditioningNeedsMoreThanSevenTimesTheSmallestEigenvalue) {
    const CCameraParam origin(CIntrinsicParam(1.0, C2DCoordinate(0.0, 0.0)), CExtrinsicParam());
    const CRotateMatrix kCycles[3] = {CRotateMatrix(),  // rows e_a, e_a+1, e_a+2 for a = x, y, z
                                      CRotateMatrix(C33Matrix(0, 1, 0, 0, 0, 1, 1, 0, 0)),
                                      CRotateMatrix(C33Matrix(0, 0, 1, 1, 0, 0, 0, 1, 0))};
    const auto axisPlanes = [&](const std::string& normals) {
        std::vector<SImageCylinder> list;
        for (size_t i = 0; i < normals.size(); i += 2) {
            const int a = normals[i + 1] - 'x';
            const CCameraParam camera(origin.GetIntrinsicParam(),
                                      CExtrinsicParam(kCycles[a], C3DVector(0.0, 0.0, 0.0)));
            list.push_back(LoneEdge(camera, 0.0, 0.0, normals[i] == '-'));
        }
        return Records(list);
    };
    const double z = 0.1;
    const auto lone = [&](double excess) {
        const double y = std::sqrt(7.0 * z * z * (1.0 + excess));
        const double x = std::sqrt(1.0 - y * y - z * z);
        return Records({LoneEdge(origin, y / x, z / x),
                        LoneEdge(origin, -y / x, -z / x, true),
                        LoneEdge(origin, y / x, -z / x, true),
                        LoneEdge(origin, y / x, z / x, true)});
    };
    const struct {
        const char* name;
        C1DArray<SImageCylinder> records;
        bool passes;
    } cases[] = {
        {"1e-7 above", lone(1e-7), true},
        {"1e-7 below", lone(-1e-7), false},
        {"2 and 14", axisPlanes("+z+y+x-x+x-x+y-y+y-y+z"), false},
        {"2 and 16", axisPlanes("+z+y+x-x+x-x+x-x+y-y+y-y+z"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        C3DCylinder cylinder = Bystander();
        EXPECT_FALSE(cylinder.CreateFromImageCylinder(c.records, true));
        if (c.passes) {
            EXPECT_EQ(cylinder.GetRadius(), 0.0);
            EXPECT_NEAR(std::fabs(cylinder.GetAxis().GetVVector().GetData(2)), 1.0, 1e-12);
            EXPECT_EQ(cylinder.GetRange().GetStartPosition(), -1.0);  // the old range stays
        } else {
            ExpectSameCylinder(cylinder, Bystander());
        }
    }
}

}  // namespace
