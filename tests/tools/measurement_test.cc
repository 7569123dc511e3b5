#include "measure/measurement.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "synthetic_scene.h"
#include <gtest/gtest.h>

namespace {

using measure::ShapeResult;

double TruthError(const ShapeResult& result, const std::string& quantity) {
    for (const measure::TruthError& error : result.truthErrors) {
        if (error.quantity == quantity) {
            return error.value;
        }
    }
    ADD_FAILURE() << result.name << " has no truth error " << quantity;
    return std::numeric_limits<double>::quiet_NaN();
}

double MaxResidual(const ShapeResult& result) {
    double worst = 0.0;
    for (const measure::Residual& residual : result.residuals) {
        EXPECT_TRUE(residual.ok) << result.name << ": " << residual.note;
        worst = std::max(worst, residual.pixels);
    }
    return worst;
}

// The synthetic scene, measured once for the tests of its exact picks.
const measure::Scene kScene = synthetic::MakeScene();
const measure::Measurement kExact = measure::Measure(kScene);
const ShapeResult& Result(int index) {
    return kExact.shapes.at(index);
}

// Exact picks: the reconstructions return the constructed shapes up to rounding, every residual
// vanishes, and only the shape picked in one camera fails.
TEST(ExactScene, ShapesComeBackAndOnlyTheLonelyPointFails) {
    using namespace synthetic;
    // The pole's truth is another point of the line and a reversed, unnormalised direction; the
    // ground's normal is (0, 0, -1), whose sign does not count. The tank's extent comes from the
    // silhouettes' end points, tangent points on the end circles up to a radius beside the axis
    // ends. The curve's picks lie on the samples' polyline up to its chord error.
    const std::tuple<int, const char*, double> bounds[] = {
        {kCornerShape, "point", 1e-9},
        {kRailShape, "start", 1e-8},
        {kRailShape, "end", 1e-8},
        {kPoleShape, "direction", 1e-6},
        {kPoleShape, "offset", 1e-9},
        {kTankShape, "axis direction", 1e-6},
        {kTankShape, "start", kTankRadius},
        {kTankShape, "end", kTankRadius},
        {kGroundShape, "normal", 1e-6},
        {kGroundShape, "offset", 1e-9},
        {kArcShape, "samples", 1.0},
    };
    for (const auto& [index, quantity, bound] : bounds) {
        const ShapeResult& result = Result(index);
        SCOPED_TRACE(result.name + " " + quantity);
        ASSERT_TRUE(result.ok) << result.reason;
        EXPECT_LT(TruthError(result, quantity), bound);
        EXPECT_LT(MaxResidual(result), index == kArcShape ? 0.5 : 1e-6);
    }
    EXPECT_EQ(Result(kCornerShape).residuals.size(), 4u);
    EXPECT_NEAR(Result(kRailShape).length, std::sqrt(4.0 + 0.01 + 0.01), 1e-8);
    EXPECT_NEAR(Result(kPoleShape).distance, std::hypot(0.8, 0.8), 1e-9);  // x = y = 0.8
    EXPECT_NEAR(Result(kTankShape).radius, kTankRadius, 1e-9);
    const ShapeResult& ground = Result(kGroundShape);
    EXPECT_EQ(ground.planePointCount, 4);
    EXPECT_LT(ground.planeMaxDistance, 1e-9);
    EXPECT_NEAR(std::fabs(ground.plane[2]), 1.0, 1e-12);
    EXPECT_TRUE(ground.residuals.empty());  // a plane is not picked in images
    EXPECT_EQ(Result(kArcShape).samples.size(), 200u);

    const ShapeResult& lonely = Result(kLonelyShape);
    EXPECT_FALSE(lonely.ok);
    EXPECT_NE(lonely.reason.find("one camera"), std::string::npos) << lonely.reason;
    EXPECT_TRUE(lonely.residuals.empty());
    int measured = 0;
    for (const ShapeResult& result : kExact.shapes) {
        measured += result.ok ? 1 : 0;
    }
    EXPECT_EQ(measured, static_cast<int>(kScene.shapes.size()) - 1);
}

TEST(ExactScene, DrawingsStayInsideTheirImages) {
    for (std::size_t camera = 0; camera < kScene.cameras.size(); ++camera) {
        const measure::Camera& image = kScene.cameras[camera];
        bool silhouette = false;
        for (const measure::Drawing& drawing : kExact.drawings[camera]) {
            silhouette = silhouette || drawing.role == measure::DrawRole::kSilhouette;
            for (const measure::Vec2& p : drawing.points) {
                if (drawing.role != measure::DrawRole::kPlane) {
                    EXPECT_TRUE(image.calibration.Contains(C2DCoordinate(p.x, p.y)))
                        << drawing.label << " " << p.x << ", " << p.y;
                }
            }
        }
        EXPECT_TRUE(silhouette) << image.id;
    }
}

// Failures of each kind are results with a reason, not errors.
TEST(MeasureFailures, ReasonsForDegenerateInput) {
    measure::Scene scene = synthetic::MakeScene();
    const std::vector<measure::ShapeInput> shapes = scene.shapes;
    scene.shapes.clear();

    // Adds a copy of shape under a new name; returns the copy (valid until the next add).
    const auto add = [&](measure::ShapeInput shape, const char* name) -> measure::ShapeInput& {
        shape.name = name;
        return scene.shapes.emplace_back(std::move(shape));
    };
    add(shapes[synthetic::kRailShape], "rail_once").segmentPicks.resize(1);
    // Two edges in all: too few tangent planes; with one edge per image the centre lines fail.
    measure::ShapeInput& tank = add(shapes[synthetic::kTankShape], "tank_two_edges");
    tank.cylinderPicks.resize(2);
    tank.cylinderPicks[0].edges[1].reset();
    tank.cylinderPicks[1].edges[0].reset();
    add(tank, "tank_centre_lines").tangentPlanes = false;
    // A curve whose interval leaves fewer than 4 control points.
    measure::ShapeInput& arc = add(shapes[synthetic::kArcShape], "arc_coarse");
    arc.interpolate = false;
    arc.interval = 1e6;

    // A plane of points, the first of them taken from the point shape named first if one is.
    const auto plane = [&](const char* name,
                           const std::vector<measure::Vec3>& points,
                           std::string first = "") {
        measure::ShapeInput& shape = add(synthetic::Shape("", measure::ShapeKind::kPlane), name);
        for (const measure::Vec3& point : points) {
            shape.planePoints.push_back({std::exchange(first, ""), point, ""});
        }
    };
    // A plane of two points, one of which failed.
    add(shapes[synthetic::kLonelyShape], "lonely");
    plane("thin_plane", {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}}, "lonely");
    // Points on a line, and four points within 0.5 mm of a 1.5 m line: the fit's normal would turn
    // with the noise (12.5 degrees off here), yet its rms distance is 0.
    plane("collinear", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    plane("nearly_collinear", {{0, 0, 0}, {0.5, 5e-4, 0}, {1.0, -5e-4, 3e-4}, {1.5, 2e-4, -4e-4}});

    // A point on the line through the north and south cameras, seen from those two: the rays
    // coincide.
    measure::ShapeInput between =
        synthetic::PointShape(scene, "between", {-0.1, 0.25, 2.25}, false);
    between.pointPicks = {between.pointPicks[0], between.pointPicks[2]};
    scene.shapes.push_back(between);
    const measure::Measurement measured = measure::Measure(scene);
    const std::pair<const char*, const char*> expected[] = {
        {"rail_once", "one camera only"},
        {"tank_two_edges", "fewer than three silhouette edges"},
        {"tank_centre_lines", "both edges in at least two cameras"},
        {"arc_coarse", "fewer than 4 control points"},
        {"lonely", "one camera only"},
        {"thin_plane", "fewer than three points (2 usable)"},
        {"collinear", "on or near a line"},
        {"nearly_collinear", "on or near a line"},
        {"between", "parallel"},
    };
    ASSERT_EQ(measured.shapes.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].first);
        EXPECT_EQ(measured.shapes[i].name, expected[i].first);
        EXPECT_FALSE(measured.shapes[i].ok);
        EXPECT_NE(measured.shapes[i].reason.find(expected[i].second), std::string::npos)
            << measured.shapes[i].reason;
    }
    EXPECT_NE(measured.shapes[5].notes.at(0).find("point lonely left out"), std::string::npos);
}

// An edge seen alone decides on which side the cylinder lies (on its left, walking from its first
// point to its second, y down). Picked the other way round, the axis moves; the shape is still
// measured, with a warning that the other images disagree.
TEST(MeasureCylinder, LoneEdgeAgainstItsDirectionWarns) {
    measure::Scene scene = synthetic::MakeScene();
    const measure::ShapeInput tank = scene.shapes[synthetic::kTankShape];
    scene.shapes.clear();
    const measure::Camera& north = scene.cameras[0];
    const measure::Vec2 axis = synthetic::Project(
        north, synthetic::Scale(synthetic::Add(synthetic::kTankStart, synthetic::kTankEnd), 0.5));
    measure::Segment2 edge = *tank.cylinderPicks[0].edges[0];
    const double dx = edge.end.x - edge.start.x, dy = edge.end.y - edge.start.y;
    if ((axis.x - edge.start.x) * dy - (axis.y - edge.start.y) * dx < 0.0) {
        std::swap(edge.start, edge.end);  // now the axis lies on its left
    }
    for (const bool reversed : {false, true}) {
        measure::ShapeInput lone = tank;
        lone.name = reversed ? "reversed" : "documented";
        lone.cylinderPicks[0].edges = {reversed ? measure::Segment2{edge.end, edge.start} : edge,
                                       std::nullopt};
        scene.shapes.push_back(lone);
    }
    const measure::Measurement measured = measure::Measure(scene);
    for (const ShapeResult& result : measured.shapes) {
        SCOPED_TRACE(result.name);
        ASSERT_TRUE(result.ok) << result.reason;
        EXPECT_EQ(result.notes.size(), result.name == "reversed" ? 1u : 0u);
    }
    EXPECT_NEAR(measured.shapes[0].radius, synthetic::kTankRadius, 1e-9);
    EXPECT_NE(measured.shapes[1].notes.at(0).find("north"), std::string::npos);
    EXPECT_NE(measured.shapes[1].notes[0].find("direction"), std::string::npos);
}

}  // namespace

// One view picks both edges of the tank 30 % too long at their far ends: the union's end follows
// it and names that camera, the median's stays where the other three views put it.
TEST(MeasureCylinder, MedianExtentOutvotesOneLongPick) {
    measure::Scene scene = synthetic::MakeScene();
    measure::ShapeInput tank = scene.shapes[synthetic::kTankShape];
    for (std::optional<measure::Segment2>& edge : tank.cylinderPicks[1].edges) {
        edge->end = {1.3 * edge->end.x - 0.3 * edge->start.x,
                     1.3 * edge->end.y - 0.3 * edge->start.y};
    }
    scene.shapes = {tank, tank};
    scene.shapes[1].extent = measure::Extent::kMedian;
    const measure::Measurement measured = measure::Measure(scene);
    for (const ShapeResult& result : measured.shapes) {
        const bool median = &result == &measured.shapes[1];
        SCOPED_TRACE(median ? "median" : "union");
        ASSERT_TRUE(result.ok) << result.reason;
        EXPECT_LT(TruthError(result, "start"), synthetic::kTankRadius);
        EXPECT_EQ(TruthError(result, "end") < synthetic::kTankRadius, median);
        // The end nearer the truth's end: set by the long pick in the union.
        const measure::Vec3 off =
            synthetic::Add(result.end, synthetic::Scale(synthetic::kTankEnd, -1));
        const int far = synthetic::Dot(off, off) < 1.0 ? 1 : 0;
        EXPECT_EQ(result.ends[far].unionCamera, 1u);
        EXPECT_GT(result.ends[far].spread, 0.3);
    }
}
