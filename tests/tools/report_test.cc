#include "measure/report.h"

#include <iomanip>
#include <set>
#include <sstream>
#include <string>

#include "synthetic_scene.h"
#include <gtest/gtest.h>

namespace {

using measure::Json;

class ReportOfSyntheticScene : public ::testing::Test {
  protected:
    ReportOfSyntheticScene()
        : m_scene(synthetic::MakeScene()), m_measured(measure::Measure(m_scene)) {}

    measure::Scene m_scene;
    measure::Measurement m_measured;
};

TEST_F(ReportOfSyntheticScene, JsonHasOneEntryPerCameraAndShape) {
    const Json report = measure::ReportJson(m_scene, m_measured);
    // The fields of a measured scene are held by value in DemoOutputsUnchanged's report.json.
    ASSERT_EQ(report.at("cameras").size(), m_scene.cameras.size());
    const Json& shapes = report.at("shapes");
    ASSERT_EQ(shapes.size(), m_scene.shapes.size());
    // Per kind, the members of "result" that a reader can rely on.
    const std::pair<int, std::vector<const char*>> members[] = {
        {synthetic::kCornerShape, {"point"}},
        {synthetic::kRailShape,
         {"start", "end", "length", "direction", "extent", "end_spread", "union_end_cameras"}},
        {synthetic::kPoleShape, {"direction", "point_nearest_origin", "distance_from_origin"}},
        {synthetic::kTankShape,
         {"method",
          "start",
          "end",
          "radius",
          "length",
          "direction",
          "extent",
          "end_spread",
          "union_end_cameras"}},
        {synthetic::kGroundShape, {"coefficients", "point_count", "rms_distance", "max_distance"}},
        {synthetic::kArcShape, {"camera", "mode", "sample_count", "samples"}},
    };
    for (const auto& [index, keys] : members) {
        const Json& shape = shapes.at(index);
        SCOPED_TRACE(shape.at("name").get<std::string>());
        EXPECT_EQ(shape.at("status"), "measured");
        EXPECT_FALSE(shape.contains("reason"));
        EXPECT_EQ(shape.at("result").size(), keys.size());
        for (const char* key : keys) {
            EXPECT_TRUE(shape.at("result").contains(key)) << key;
        }
        EXPECT_EQ(shape.at("max_residual").is_null(), shape.at("residuals").empty());
    }
    EXPECT_EQ(shapes.at(synthetic::kCornerShape).at("residuals").size(), 4u);
    EXPECT_EQ(shapes.at(synthetic::kTankShape).at("result").at("start").size(), 3u);
    EXPECT_EQ(shapes.at(synthetic::kArcShape).at("result").at("samples").size(), 200u);
    EXPECT_EQ(shapes.at(synthetic::kArcShape).at("result").at("camera"), "south");
    // A shape without truth has no truth_errors member.
    EXPECT_FALSE(shapes.at(synthetic::kMarker0).contains("truth_errors"));

    const Json& lonely = shapes.at(synthetic::kLonelyShape);
    EXPECT_EQ(lonely.at("status"), "failed");
    EXPECT_TRUE(lonely.at("reason").is_string());
    EXPECT_TRUE(lonely.at("result").empty());
    EXPECT_TRUE(lonely.at("max_residual").is_null());

    EXPECT_EQ(report.at("summary").at("shapes"), m_scene.shapes.size());
    EXPECT_EQ(report.at("summary").at("measured"), m_scene.shapes.size() - 1);
    EXPECT_EQ(report.at("summary").at("failed"), 1);
    // The overlays: per camera what its picture draws, in the order drawn, with role and shape.
    const Json& overlays = report.at("overlays");
    ASSERT_EQ(overlays.size(), m_scene.cameras.size());
    EXPECT_EQ(overlays.at(1).at("camera"), m_scene.cameras[1].id);
    std::set<std::string> roles;
    for (std::size_t camera = 0; camera < overlays.size(); ++camera) {
        const Json& drawings = overlays.at(camera).at("drawings");
        ASSERT_EQ(drawings.size(), m_measured.drawings[camera].size());
        for (std::size_t i = 0; i < drawings.size(); ++i) {
            const Json& points = drawings.at(i).at("points");
            EXPECT_EQ(points.back().at(0), m_measured.drawings[camera][i].points.back().x);
            roles.insert(drawings.at(i).at("role").get<std::string>() +
                         (drawings.at(i).at("closed").get<bool>() ? " closed" : ""));
        }
    }
    std::string seen;  // the set, in order
    for (const std::string& role : roles) {
        seen += role + ",";
    }
    EXPECT_EQ(seen, "centre_line,curve,line,pick,plane closed,point,segment,silhouette,");
    EXPECT_EQ(Json::parse(report.dump(2)), report);  // nothing that JSON text cannot hold
}

TEST_F(ReportOfSyntheticScene, TextNamesEveryShapeAndTheFailure) {
    std::ostringstream text;
    measure::WriteTextReport(text, m_scene, m_measured);
    const std::string report = text.str();
    for (const measure::ShapeInput& shape : m_scene.shapes) {
        EXPECT_NE(report.find("  " + shape.name + ": "), std::string::npos) << shape.name;
    }
    EXPECT_NE(report.find("lonely: point, NOT MEASURED"), std::string::npos) << report;
    EXPECT_NE(report.find("reason          picked in one camera only"), std::string::npos);
    EXPECT_NE(report.find("9 of 10 shapes measured"), std::string::npos);
    EXPECT_EQ(report.find("nan"), std::string::npos);
    EXPECT_EQ(report.find("-0.0000"), std::string::npos);
}

// Names are printed with their control characters escaped (a terminal would obey them), and a
// number is printed whole however long (a fixed buffer cut 2e299 short).
TEST_F(ReportOfSyntheticScene, TextEscapesControlCharactersAndKeepsLongNumbers) {
    m_scene.cameras[0].id = "north\x1b[2J";
    m_scene.shapes[synthetic::kCornerShape].name = "corner\nnext";
    m_scene.cameras[1].calibration.SetCameraParam(CCameraParam(
        CIntrinsicParam(1000.0, C2DCoordinate(800.0, 600.0)),
        CExtrinsicParam(CRotateMatrix(), C3DVector(-2e299, 0, 0))));  // centre (2e299, 0, 0)
    std::ostringstream text;
    measure::WriteTextReport(text, m_scene, m_measured);
    const std::string report = text.str();
    EXPECT_NE(report.find("  north\\x1b[2J: 1600 x 1200"), std::string::npos) << report;
    EXPECT_NE(report.find("  corner\\x0anext: point, measured"), std::string::npos);
    EXPECT_EQ(report.find('\x1b'), std::string::npos);
    std::ostringstream centre;
    centre << "centre (" << std::fixed << std::setprecision(4) << 2e299 << ", 0.0000, 0.0000)";
    EXPECT_EQ(centre.str().size(), 330u);  // 300 digits
    EXPECT_NE(report.find(centre.str()), std::string::npos) << report;
}

}  // namespace
