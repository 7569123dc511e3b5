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
