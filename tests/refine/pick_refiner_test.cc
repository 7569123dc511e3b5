#include "polyview/refine/pick_refiner.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "refine/render_gray.h"
#include <gtest/gtest.h>

namespace {

using refine_test::EShape;
using refine_test::HalfPlaneThrough;
using refine_test::Render;
using refine_test::SHalfPlane;

constexpr int kSize = 64;
constexpr double kNoise = 2.0;      // gray levels, against a contrast of 140
constexpr double kAccuracy = 0.05;  // px: what a measurement wants of a refined pick
const double kNan = std::numeric_limits<double>::quiet_NaN();

double Offset(const SHalfPlane& h, const C2DCoordinate& p) {
    return h.nx * p.GetData(0) + h.ny * p.GetData(1) - h.d;
}

TEST(CPickRefinerEdge, FindsAntiAliasedEdgesAtAnyAngleFromPicksOff) {
    // Edges through (31.37, 32.81) at angles that put every sampling phase along them, both
    // polarities; the picks lie 2 px off the edge on opposite sides, so the picked segment crosses
    // it at an angle too.
    for (const double degrees : {0.0, 4.0, 30.0, 45.0, 90.0, 133.0, 180.0, 251.0}) {
        SCOPED_TRACE(degrees);
        const SHalfPlane edge = HalfPlaneThrough(31.37, 32.81, degrees);
        const std::vector<std::uint8_t> pixels =
            Render(kSize, kSize, EShape::kEdge, edge, edge, kNoise);
        const CGrayImage image(pixels.data(), kSize, kSize, kSize);
        const C2DVector n(edge.nx, edge.ny);
        const C2DVector along(-edge.ny, edge.nx);
        const C2DVector centre(31.37, 32.81);
        const C2DCoordinate start(centre - along * 20.0 + n * 2.0, WorldCoordinateSystem);
        const C2DCoordinate end(centre + along * 20.0 - n * 1.5, WorldCoordinateSystem);
        const CPickRefiner::SEdgeRefinement refined = CPickRefiner::RefineEdge(image, start, end);
        ASSERT_TRUE(refined.ok) << refined.reason;
        EXPECT_TRUE(refined.reason.empty());
        EXPECT_LT(std::fabs(Offset(edge, refined.start)), kAccuracy);
        EXPECT_LT(std::fabs(Offset(edge, refined.end)), kAccuracy);
        EXPECT_NEAR(refined.startMovement, 2.0, 0.1);  // the picks move across the edge only
        EXPECT_NEAR(refined.endMovement, 1.5, 0.1);
        EXPECT_EQ(refined.stations, 41);
        EXPECT_GE(refined.used, 39);
        EXPECT_EQ(refined.points.GetSize(), refined.used);
        EXPECT_DOUBLE_EQ(refined.support, refined.used / 41.0);
        EXPECT_LT(refined.rms, 0.1);
    }
}

TEST(CPickRefinerCorner, FindsCrossAndLCornersFromPicksOff) {
    struct SCase {
        EShape shape;
        double x, y, degreesA, degreesB;
    };
    const SCase cases[] = {{EShape::kCross, 31.5, 32.5, 0.0, 90.0},  // on a pixel centre
                           {EShape::kCross, 31.23, 32.71, 17.0, 101.0},
                           {EShape::kCross, 30.81, 31.96, 35.0, 150.0},  // 65 degrees apart
                           {EShape::kCorner, 31.0, 32.0, 0.0, 90.0},     // on a pixel corner
                           {EShape::kCorner, 31.37, 32.62, 200.0, 290.0},
                           {EShape::kCorner, 30.66, 31.18, 33.0, 145.0}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " " << c.y << " " << c.degreesA);
        const SHalfPlane a = HalfPlaneThrough(c.x, c.y, c.degreesA);
        const SHalfPlane b = HalfPlaneThrough(c.x, c.y, c.degreesB);
        const std::vector<std::uint8_t> pixels = Render(kSize, kSize, c.shape, a, b, kNoise);
        const CGrayImage image(pixels.data(), kSize, kSize, kSize);
        for (const C2DVector& off : {C2DVector(1.4, -1.4), C2DVector(-2.0, 0.3)}) {
            const C2DCoordinate pick(c.x + off.GetData(0), c.y + off.GetData(1));
            const CPickRefiner::SCornerRefinement refined = CPickRefiner::RefineCorner(image, pick);
            ASSERT_TRUE(refined.ok) << refined.reason;
            const double error =
                std::hypot(refined.corner.GetData(0) - c.x, refined.corner.GetData(1) - c.y);
            EXPECT_LT(error, kAccuracy);
            EXPECT_NEAR(refined.movement, off.GetNorm(), kAccuracy);
            EXPECT_GT(refined.support, 0.1);
            EXPECT_LE(refined.support, 0.5);
            EXPECT_GE(refined.iterations, 2);
        }
    }
}

// Every refusal leaves the pick where it was and says why.
void ExpectCornerRefused(const CGrayImage& image,
                         const C2DCoordinate& pick,
                         const std::string& reason,
                         const CPickRefiner::SCornerOptions& options = {}) {
    SCOPED_TRACE(reason);
    const CPickRefiner::SCornerRefinement refined =
        CPickRefiner::RefineCorner(image, pick, options);
    EXPECT_FALSE(refined.ok);
    EXPECT_NE(refined.reason.find(reason), std::string::npos) << refined.reason;
    EXPECT_TRUE(refined.corner.GetData(0) == pick.GetData(0) || std::isnan(pick.GetData(0)));
    EXPECT_TRUE(refined.corner.GetData(1) == pick.GetData(1) || std::isnan(pick.GetData(1)));
}

TEST(CPickRefinerCorner, RefusesWithAReason) {
    const SHalfPlane a = HalfPlaneThrough(31.3, 32.6, 10.0);
    const SHalfPlane b = HalfPlaneThrough(31.3, 32.6, 100.0);
    const std::vector<std::uint8_t> cross = Render(kSize, kSize, EShape::kCross, a, b, kNoise);
    const std::vector<std::uint8_t> edge = Render(kSize, kSize, EShape::kEdge, a, a, kNoise);
    const std::vector<std::uint8_t> flat(kSize * kSize, 128);
    const std::vector<std::uint8_t> saturated(kSize * kSize, 255);
    const CGrayImage image(cross.data(), kSize, kSize, kSize);
    const C2DCoordinate near(32.0, 33.0);
    ExpectCornerRefused(image, C2DCoordinate(5.9, 33.0), "outside the image");
    ExpectCornerRefused(image, C2DCoordinate(kNan, 33.0), "not finite");
    ExpectCornerRefused(CGrayImage(flat.data(), kSize, kSize, kSize), near, "flat");
    ExpectCornerRefused(CGrayImage(saturated.data(), kSize, kSize, kSize), near, "flat");
    ExpectCornerRefused(CGrayImage(edge.data(), kSize, kSize, kSize), near, "no corner");
    ExpectCornerRefused(CGrayImage(cross.data(), 0, kSize, kSize), near, "invalid image");
    ExpectCornerRefused(CGrayImage(cross.data(), kSize, -3, kSize), near, "invalid image");
    ExpectCornerRefused(CGrayImage(cross.data(), kSize, kSize, kSize - 1), near, "invalid image");
    CPickRefiner::SCornerOptions options;
    options.maxMovement = 0.5;  // the corner is 0.77 px away
    ExpectCornerRefused(image, near, "more than the limit", options);
    options = {};
    options.halfWindow = 0;
    ExpectCornerRefused(image, near, "invalid options", options);
    options = {};
    options.maxIterations = 1;  // one step cannot be known to have converged
    ExpectCornerRefused(image, near, "no convergence", options);
    // A float image with a NaN inside the window.
    std::vector<float> samples(cross.begin(), cross.end());
    samples[33 * kSize + 30] = std::numeric_limits<float>::quiet_NaN();
    ExpectCornerRefused(
        CGrayImage(samples.data(), kSize, kSize, kSize * sizeof(float)), near, "not finite");
}

TEST(CPickRefinerEdge, RefusesWithAReasonAndKeepsThePicks) {
    const SHalfPlane edge = HalfPlaneThrough(31.4, 32.0, 80.0);
    const std::vector<std::uint8_t> pixels =
        Render(kSize, kSize, EShape::kEdge, edge, edge, kNoise);
    const std::vector<std::uint8_t> flat(kSize * kSize, 255);
    std::vector<float> withNan(pixels.begin(), pixels.end());
    for (int i = 0; i < kSize; i += 2) {
        withNan[32 * kSize + i] = std::numeric_limits<float>::quiet_NaN();  // every other station
    }
    const CGrayImage image(pixels.data(), kSize, kSize, kSize);
    CPickRefiner::SEdgeOptions tight;
    tight.maxMovement = 1.0;
    CPickRefiner::SEdgeOptions noStep;
    noStep.step = 0.0;
    CPickRefiner::SEdgeOptions noSearch;
    noSearch.searchHalfWidth = -1.0;
    struct SCase {
        CGrayImage image;
        C2DCoordinate start, end;
        CPickRefiner::SEdgeOptions options;
        const char* reason;
    };
    const C2DCoordinate left(12.0, 34.0);  // about 2 px below the edge
    const C2DCoordinate right(50.0, 34.0);
    const SCase cases[] = {
        {image, left, right, tight, "more than the limit"},
        {image, left, right, noStep, "invalid options"},
        {image, left, right, noSearch, "invalid options"},
        {image, C2DCoordinate(kNan, 1.0), right, {}, "not finite"},
        {image, left, C2DCoordinate(70.0, 34.0), {}, "outside the image"},
        {image, left, C2DCoordinate(12.5, 34.0), {}, "too short"},
        {CGrayImage(flat.data(), kSize, kSize, kSize), left, right, {}, "too few edge points"},
        {CGrayImage(withNan.data(), kSize, kSize, kSize * 4), left, right, {}, "too few"},
        {CGrayImage(pixels.data(), kSize, kSize, 0), left, right, {}, "invalid image"}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.reason);
        const CPickRefiner::SEdgeRefinement refined =
            CPickRefiner::RefineEdge(c.image, c.start, c.end, c.options);
        EXPECT_FALSE(refined.ok);
        EXPECT_NE(refined.reason.find(c.reason), std::string::npos) << refined.reason;
        EXPECT_TRUE(refined.start.GetData(0) == c.start.GetData(0) ||
                    std::isnan(c.start.GetData(0)));
        EXPECT_EQ(refined.end.GetData(1), c.end.GetData(1));
    }
}

TEST(CPickRefinerEdge, FindsPointsInStationOrderAndFitsPastOutliers) {
    const SHalfPlane edge = HalfPlaneThrough(20.0, 30.25, 90.0);  // the row y = 30.25
    const std::vector<std::uint8_t> pixels = Render(kSize, kSize, EShape::kEdge, edge, edge, 0.0);
    const CGrayImage image(pixels.data(), kSize, kSize, kSize);
    C1DArray<CPickRefiner::SEdgeStation> stations;
    stations.SetSize(5);
    const C2DVector down(0.0, 3.0);  // any length
    stations[0] = {C2DCoordinate(10.5, 29.0), down};
    stations[1] = {C2DCoordinate(20.5, 10.0), down};                 // flat within the search: none
    stations[2] = {C2DCoordinate(-9.0, 30.0), down};                 // outside the image: none
    stations[3] = {C2DCoordinate(30.5, 31.0), C2DVector(0.0, 0.0)};  // no direction: none
    stations[4] = {C2DCoordinate(40.5, 31.0), down * -1.0};
    C1DArray<C2DCoordinate> points;
    ASSERT_EQ(CPickRefiner::FindEdgePoints(image, stations, {}, points), 2);
    ASSERT_EQ(points.GetSize(), 2);
    EXPECT_NEAR(points[0].GetData(0), 10.5, 1e-12);  // along the normal only
    EXPECT_NEAR(points[0].GetData(1), 30.25, 0.01);  // noise-free: better than 0.01 px
    EXPECT_NEAR(points[1].GetData(0), 40.5, 1e-12);
    EXPECT_NEAR(points[1].GetData(1), 30.25, 0.01);

    // The fit drops what lies off the line, even a point 1000 px off that drags the first fit.
    C1DArray<C2DCoordinate> noisy;
    noisy.SetSize(12);
    for (int i = 0; i < 10; ++i) {
        noisy[i] = C2DCoordinate(i, 5.0 + 0.02 * i);  // the line y = 5 + 0.02 x
    }
    noisy[10] = C2DCoordinate(3.5, 1005.0);
    noisy[11] = C2DCoordinate(6.5, 6.0);  // 0.87 px off
    C2DLine line;
    C1DArray<C2DCoordinate> used;
    ASSERT_TRUE(CPickRefiner::FitEdgeLine(noisy, 0.5, line, used));
    EXPECT_EQ(used.GetSize(), 10);
    EXPECT_NEAR(line.GetDistance(C2DCoordinate(0.0, 5.0)), 0.0, 1e-9);
    EXPECT_NEAR(line.GetDistance(C2DCoordinate(100.0, 7.0)), 0.0, 1e-9);
    // Refused: fewer than two points, or no positive distance; line and used untouched.
    used.SetSize(1);
    noisy.SetSize(1);
    EXPECT_FALSE(CPickRefiner::FitEdgeLine(noisy, 0.5, line, used));
    noisy.SetSize(3);
    EXPECT_FALSE(CPickRefiner::FitEdgeLine(noisy, 0.0, line, used));
    EXPECT_FALSE(CPickRefiner::FitEdgeLine(noisy, kNan, line, used));
    EXPECT_EQ(used.GetSize(), 1);
    EXPECT_NEAR(line.GetDistance(C2DCoordinate(50.0, 6.0)), 0.0, 1e-9);
}

}  // namespace
