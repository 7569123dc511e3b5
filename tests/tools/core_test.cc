#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/reconstruction.h"
#include "core/reprojection.h"
#include <gtest/gtest.h>

#include "polyview/polyview.h"

namespace {

// A and B look along +z from (0, 0, 0) and (1, 0, 0); C stands at the origin looking along -z.
// The point (0, 0, 5) images at (500, 400) in A and at (1000 * -1 / 5 + 500, 400) in B.
CCamera Camera(const CRotateMatrix& rotation, double x) {
    return CCamera(CCameraParam(CIntrinsicParam(1000.0, C2DCoordinate(500.0, 400.0)),
                                CExtrinsicParam(rotation, C3DVector(-x, 0.0, 0.0))),
                   1000,
                   800);
}
const std::vector<CCamera> kCameras = {
    Camera(CRotateMatrix(), 0.0),
    Camera(CRotateMatrix(), 1.0),
    Camera(CRotateMatrix(C33Matrix(-1, 0, 0, 0, 1, 0, 0, 0, -1)), 0.0)};
const double kNan = std::numeric_limits<double>::quiet_NaN();

// Residuals in pixels against hand-placed picks, and the overlays: picks first, then the point in
// the cameras before which it lies.
TEST(CoreMeasure, ResidualsAndOverlaysOnTwoCameras) {
    const core::PointMeasurement point =
        core::MeasurePoint(kCameras, {{0, {500.0, 400.0}}, {1, {300.0, 400.0}}});
    ASSERT_TRUE(point.ok) << point.reason;
    EXPECT_NEAR(point.point.GetPoint().GetData(2), 5.0, 1e-9);
    ASSERT_EQ(point.residuals.size(), 2u);
    EXPECT_EQ(point.residuals[1].camera, 1u);
    EXPECT_NEAR(point.residuals[1].pixels, 0.0, 1e-9);
    using core::Role;
    std::vector<std::pair<std::size_t, Role>> roles;
    for (const core::Overlay& overlay : point.overlays) {
        roles.emplace_back(overlay.camera, overlay.role);
    }
    EXPECT_EQ(roles,
              (decltype(roles){
                  {0, Role::kPick}, {1, Role::kPick}, {0, Role::kPoint}, {1, Role::kPoint}}));

    // 3 and 4 px off the point; the segment (-1, 0, 5)-(1, 0, 5) images at (300, 400)-(700, 400)
    // in A, and the pick's ends lie 2 and 3 px off it.
    const core::PixelSegment pick = {{300.0, 402.0}, {700.0, 397.0}};
    C3DLineSegment segment;
    segment.SetEndPoint3D(C3DCoordinate(-1.0, 0.0, 5.0), C3DCoordinate(1.0, 0.0, 5.0));
    const C3DLine line(segment.GetAxis());
    const C3DPoint truth(C3DCoordinate(0.0, 0.0, 5.0));
    const core::Residual residuals[] = {
        core::PointResidual(kCameras, 0, truth, {503.0, 404.0}),
        core::SegmentResidual(kCameras, 0, segment, pick),
        core::LineResidual(kCameras, 0, line, pick),
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(residuals[i].ok);
        EXPECT_NEAR(residuals[i].pixels, i == 0 ? 5.0 : 3.0, 1e-9);
    }
    // A curve of one sample (the last pick): the picks' distance from it, not infinity.
    const core::CurveMeasurement single =
        core::MeasureCurve(kCameras, 0, {{20, 0}, {35, 20}, {50, 40}}, {true, 0.0, 1});
    ASSERT_TRUE(single.ok) << single.reason;
    EXPECT_DOUBLE_EQ(single.residuals.at(0).pixels, 50.0);  // (20, 0) from (50, 40)
    const core::Residual behind = core::PointResidual(kCameras, 2, truth, {500.0, 400.0});
    EXPECT_FALSE(behind.ok);
    EXPECT_EQ(behind.camera, 2u);
    EXPECT_NE(behind.note.find("behind"), std::string::npos);
}

// What the front ends refuse before the core sees it, and the rays that part behind the cameras:
// a reason, no residuals, no shape drawn, only the picks that lie in their photos.
TEST(CoreMeasure, RefusalsKeepOnlyTheDrawablePicks) {
    const core::PixelSegment seen = {{300.0, 400.0}, {700.0, 400.0}};
    const core::PixelSegment dot = {{300.0, 400.0}, {300.0, 400.0}};
    const struct {
        const char* reason;
        core::Outcome outcome;
        std::size_t picksDrawn;
    } cases[] = {
        {"picked in no camera", core::MeasurePoint(kCameras, {}), 0},
        {"names camera 7", core::MeasurePoint(kCameras, {{0, {1.0, 1.0}}, {7, {1.0, 1.0}}}), 0},
        {"no viewing ray", core::MeasurePoint(kCameras, {{0, {500, 400}}, {1, {kNan, 400}}}), 1},
        // Rays that part: x = -0.01 z from A, x = 1 + 0.01 z from B meet at z = -50.
        {"behind a camera that saw the point",
         core::MeasurePoint(kCameras, {{0, {490.0, 400.0}}, {1, {510.0, 400.0}}}),
         2},
        {"ends coincide", core::MeasureLine(kCameras, {{0, seen}, {1, dot}}), 2},
        {"ends coincide",
         core::MeasureCylinder(kCameras,
                               {{0, {seen, seen}}, {1, {dot, std::nullopt}}},
                               core::CylinderMethod::kTangentPlanes),
         3},
        {"sample count", core::MeasureCurve(kCameras, 0, {{1, 1}, {50, 50}}, {true, 0.0, 0}), 1},
        {"names camera 5", core::MeasureCurve(kCameras, 5, {{1, 1}}, {}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        EXPECT_FALSE(c.outcome.ok);
        EXPECT_NE(c.outcome.reason.find(c.reason), std::string::npos) << c.outcome.reason;
        EXPECT_TRUE(c.outcome.residuals.empty());
        EXPECT_EQ(c.outcome.overlays.size(), c.picksDrawn);
        for (const core::Overlay& overlay : c.outcome.overlays) {
            EXPECT_EQ(overlay.role, core::Role::kPick);
        }
    }
}

// Three views of the segment (-1, 0, 5)-(1, 0, 5), the third picking its +x end at x = 1.3: the
// union takes that end and names the view, the median keeps the end the other two agree on.
TEST(CoreExtent, MedianOutvotesOneBadEndPick) {
    std::vector<CCamera> cameras(3);
    const double centres[3][3] = {{0, -2, 0}, {0, 2, 0}, {1, 0.5, -1}};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(CCamera::CreateLookAt(C3DVector(centres[i][0], centres[i][1], centres[i][2]),
                                          C3DVector(0, 0, 5),
                                          C3DVector(0, -1, 0),
                                          1000.0,
                                          C2DCoordinate(500, 400),
                                          1000,
                                          800,
                                          cameras[i]));
    }
    std::vector<core::SegmentPick> picks;
    for (std::size_t i = 0; i < 3; ++i) {
        C2DCoordinate ends[2];
        ASSERT_TRUE(cameras[i].Project(C3DVector(-1, 0, 5), ends[0]));
        ASSERT_TRUE(cameras[i].Project(C3DVector(i == 2 ? 1.3 : 1.0, 0, 5), ends[1]));
        picks.push_back(
            {i,
             {{ends[0].GetData(0), ends[0].GetData(1)}, {ends[1].GetData(0), ends[1].GetData(1)}}});
    }
    for (const core::Extent extent : {core::Extent::kUnion, core::Extent::kMedian}) {
        const bool median = extent == core::Extent::kMedian;
        SCOPED_TRACE(median ? "median" : "union");
        const core::SegmentMeasurement measured = core::MeasureSegment(cameras, picks, extent);
        ASSERT_TRUE(measured.ok) << measured.reason;
        C3DCoordinate ends[2];
        measured.segment.GetEndPoint3D(ends);
        const int plus = ends[1].GetData(0) > ends[0].GetData(0) ? 1 : 0;  // the +x end
        EXPECT_NEAR(ends[plus].GetData(0), median ? 1.0 : 1.3, 1e-9);
        EXPECT_NEAR(ends[1 - plus].GetData(0), -1.0, 1e-9);
        EXPECT_EQ(measured.ends[plus].unionCamera, 2u);
        EXPECT_NEAR(measured.ends[plus].spread, 0.3, 1e-9);
        EXPECT_NEAR(measured.ends[1 - plus].spread, 0.0, 1e-9);
    }
}

// Five views of the segment (-1, 0, 5)-(1, 0, 5) with exact picks, then with one end of view 3's
// pick moved 5 px: dropping leaves out view 3 alone and gives what the other four give, its
// residual taken against that; without an outlier it changes nothing, to the bit.
TEST(CoreOutliers, DropsTheOneBadViewAndNothingElse) {
    std::vector<CCamera> cameras(5);
    const double centres[5][3] = {{0, -2, 0}, {0, 2, 0}, {1, 0.5, -1}, {-1, 1, 0}, {2, -1, 1}};
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(CCamera::CreateLookAt(C3DVector(centres[i][0], centres[i][1], centres[i][2]),
                                          C3DVector(0, 0, 5),
                                          C3DVector(0, -1, 0),
                                          1000.0,
                                          C2DCoordinate(500, 400),
                                          1000,
                                          800,
                                          cameras[i]));
    }
    std::vector<core::SegmentPick> exact;
    for (std::size_t i = 0; i < 5; ++i) {
        C2DCoordinate ends[2];
        ASSERT_TRUE(cameras[i].Project(C3DVector(-1, 0, 5), ends[0]));
        ASSERT_TRUE(cameras[i].Project(C3DVector(1, 0, 5), ends[1]));
        exact.push_back(
            {i,
             {{ends[0].GetData(0), ends[0].GetData(1)}, {ends[1].GetData(0), ends[1].GetData(1)}}});
    }
    std::vector<core::SegmentPick> moved = exact;
    moved[3].segment.end.y += 5.0;
    std::vector<core::SegmentPick> others = exact;
    others.erase(others.begin() + 3);
    const auto endsOf = [](const core::SegmentMeasurement& measured) {
        C3DCoordinate ends[2];
        measured.segment.GetEndPoint3D(ends);
        return std::vector<double>{ends[0].GetData(0),
                                   ends[0].GetData(1),
                                   ends[0].GetData(2),
                                   ends[1].GetData(0),
                                   ends[1].GetData(1),
                                   ends[1].GetData(2)};
    };
    const core::Extent median = core::Extent::kMedian;
    const core::SegmentMeasurement dropped =
        core::MeasureSegment(cameras, moved, median, core::Outliers::kDrop);
    const core::SegmentMeasurement fromOthers = core::MeasureSegment(cameras, others, median);
    ASSERT_TRUE(dropped.ok) << dropped.reason;
    ASSERT_TRUE(fromOthers.ok) << fromOthers.reason;
    EXPECT_EQ(dropped.leftOut, std::vector<std::size_t>{3});
    EXPECT_EQ(endsOf(dropped), endsOf(fromOthers));
    ASSERT_EQ(dropped.residuals.size(), 5u);
    EXPECT_EQ(dropped.residuals[3].camera, 3u);
    EXPECT_GT(dropped.residuals[3].pixels, 4.0);  // against the four views' segment
    EXPECT_EQ(dropped.residuals[4].pixels, fromOthers.residuals[3].pixels);
    const core::SegmentMeasurement kept =
        core::MeasureSegment(cameras, moved, median, core::Outliers::kKeep);
    EXPECT_TRUE(kept.leftOut.empty());
    EXPECT_NE(endsOf(kept), endsOf(fromOthers));

    const core::SegmentMeasurement clean =
        core::MeasureSegment(cameras, exact, median, core::Outliers::kDrop);
    const core::SegmentMeasurement all = core::MeasureSegment(cameras, exact, median);
    ASSERT_TRUE(clean.ok) << clean.reason;
    EXPECT_TRUE(clean.leftOut.empty());
    EXPECT_EQ(endsOf(clean), endsOf(all));
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(clean.residuals[i].pixels, all.residuals[i].pixels);
    }
}

// Two cameras with the strong barrel lens of a real 640 x 480 calibration, picks made through the
// lens (CCamera::Project): the segment comes back, its image is drawn on the curve the lens bends
// it into, and a residual is measured in the photo's own pixels, from that curve.
TEST(CoreLens, SegmentThroughAStrongLens) {
    const double distortion[5] = {-0.27, -0.04, 0.0018, -0.0003, 0.24};  // k1 k2 p1 p2 k3
    CLensModel lens;
    ASSERT_TRUE(CLensModel::CreateOpenCV(536.0, 536.0, 0.0, 342.0, 236.0, distortion, 5, lens));
    std::vector<CCamera> cameras(2);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(CCamera::CreateLookAt(C3DVector(0.3 * i, 0.1 * i, 0),
                                          C3DVector(0, 0, 1),
                                          C3DVector(0, -1, 0),
                                          536.0,
                                          C2DCoordinate(342.0, 236.0),
                                          640,
                                          480,
                                          cameras[i]));
        cameras[i].SetLensModel(lens);
    }
    // Along the top of the photo, where the lens bends it most.
    const C3DVector start(-0.5, -0.35, 1.0);
    const C3DVector end(0.45, -0.3, 1.05);
    const auto project = [&](std::size_t camera, const C3DVector& x) {
        C2DCoordinate image;
        EXPECT_TRUE(cameras[camera].Project(x, image));
        return core::Pixel{image.GetData(0), image.GetData(1)};
    };
    const std::vector<core::SegmentPick> picks = {{0, {project(0, start), project(0, end)}},
                                                  {1, {project(1, start), project(1, end)}}};
    const core::SegmentMeasurement measured = core::MeasureSegment(cameras, picks);
    ASSERT_TRUE(measured.ok) << measured.reason;
    C3DCoordinate ends[2];
    measured.segment.GetEndPoint3D(ends);
    const double length = (end - start).GetNorm();
    EXPECT_LT((ends[0] - start).GetNorm() / length, 1e-6);
    EXPECT_LT((ends[1] - end).GetNorm() / length, 1e-6);
    for (const core::Residual& residual : measured.residuals) {
        EXPECT_LT(residual.pixels, 1e-6);
    }
    // The drawn image against the projections of 20001 points of the segment: its points on the
    // curve, its chords' middles within the sampling tolerance of 0.1 px.
    core::Polyline curve;
    for (int k = 0; k <= 20000; ++k) {
        curve.push_back(project(0, start + (end - start) * (k / 20000.0)));
    }
    std::vector<core::Pixel> drawn;
    for (const core::Overlay& overlay : measured.overlays) {
        if (overlay.camera == 0 && overlay.role == core::Role::kSegment) {
            drawn.insert(drawn.end(), overlay.points.begin(), overlay.points.end());
        }
    }
    ASSERT_GT(drawn.size(), 20u);
    std::vector<core::Pixel> middles;
    for (std::size_t i = 0; i + 1 < drawn.size(); ++i) {
        middles.push_back(
            {0.5 * (drawn[i].x + drawn[i + 1].x), 0.5 * (drawn[i].y + drawn[i + 1].y)});
    }
    EXPECT_LT(core::MaxDistanceToPolyline(drawn, curve), 1e-3);
    EXPECT_LT(core::MaxDistanceToPolyline(middles, curve), 0.1 + 1e-3);
    const double bend = core::MaxDistanceToPolyline(drawn, {drawn.front(), drawn.back()});
    EXPECT_GT(bend, 5.0) << "no curve";
    // A pick of the middle of the edge, one end moved 1 px across the curve (along its normal
    // there): 1 px off the segment and its line, whose chord would lie pixels away.
    const C3DVector from = start + (end - start) * 0.3;
    const core::PixelSegment pick = {project(0, from), project(0, start + (end - start) * 0.7)};
    const core::Pixel along = project(0, from + (end - start) * 1e-4);
    const double dx = along.x - pick.start.x;
    const double dy = along.y - pick.start.y;
    core::PixelSegment moved = pick;
    moved.start.x -= dy / std::hypot(dx, dy);
    moved.start.y += dx / std::hypot(dx, dy);
    C3DLineSegment truth;
    truth.SetEndPoint3D(C3DCoordinate(-0.5, -0.35, 1.0), C3DCoordinate(0.45, -0.3, 1.05));
    EXPECT_LT(core::SegmentResidual(cameras, 0, truth, pick).pixels, 1e-6);
    EXPECT_NEAR(core::SegmentResidual(cameras, 0, truth, moved).pixels, 1.0, 0.01);
    EXPECT_NEAR(core::LineResidual(cameras, 0, C3DLine(truth.GetAxis()), moved).pixels, 1.0, 0.01);
}

TEST(CoreClip, KeepsThePartsInsideThePhoto) {
    const CCamera camera(CCameraParam(), 200, 100);
    struct Case {
        const char* label;
        core::PixelSegment segment;
        bool visible;
        core::PixelSegment expected;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"inside", {{10, 10}, {50, 80}}, true, {{10, 10}, {50, 80}}},
        {"through both sides", {{-100, 50}, {300, 50}}, true, {{0, 50}, {200, 50}}},
        {"reversed, one end inside", {{100, 20}, {-100, 60}}, true, {{100, 20}, {0, 40}}},
        {"diagonal entering at the left edge", {{-50, -40}, {50, 60}}, true, {{0, 10}, {50, 60}}},
        {"beside the image", {{-50, -10}, {300, -10}}, false, {}},
        {"on the line, short of the image", {{-300, 50}, {-100, 50}}, false, {}},
        {"not finite", {{inf, 50}, {100, 50}}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        core::PixelSegment clipped{{-1, -1}, {-1, -1}};
        ASSERT_EQ(core::ClipToImage(c.segment, camera, clipped), c.visible);
        if (c.visible) {
            EXPECT_NEAR(clipped.start.x, c.expected.start.x, 1e-9);
            EXPECT_NEAR(clipped.start.y, c.expected.start.y, 1e-9);
            EXPECT_NEAR(clipped.end.x, c.expected.end.x, 1e-9);
            EXPECT_NEAR(clipped.end.y, c.expected.end.y, 1e-9);
        }
    }
    // A polyline that leaves the photo and comes back is drawn in two pieces; inside, whole.
    const std::vector<core::Polyline> pieces =
        core::ClipPolyline({{10, 50}, {100, 50}, {100, 150}, {150, 50}, {190, 50}}, camera);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].size(), 3u);  // (10, 50), (100, 50), (100, 100)
    EXPECT_EQ(pieces[0][2].y, 100.0);
    EXPECT_EQ(pieces[1].size(), 3u);  // (125, 100), (150, 50), (190, 50)
    EXPECT_NEAR(pieces[1][0].x, 125.0, 1e-9);
}

TEST(CoreMaxDistanceToPolyline, PerpendicularOrToTheNearerEnd) {
    const core::Polyline polyline = {{0, 0}, {10, 0}, {10, 10}};
    EXPECT_DOUBLE_EQ(core::MaxDistanceToPolyline({{5, 3}}, polyline), 3.0);
    EXPECT_DOUBLE_EQ(core::MaxDistanceToPolyline({{13, 14}}, polyline), 5.0);  // past the end
    EXPECT_DOUBLE_EQ(core::MaxDistanceToPolyline({{5, -1}, {12, 5}}, polyline), 2.0);
}

}  // namespace
