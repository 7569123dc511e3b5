// The workbench's request handler as the page and a hostile page would call it: on a copy of a
// small two-camera scene (saving rewrites it), and on the chessboard demo for the lens.

#include "workbench/workbench.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/reprojection.h"
#include "measure/json_node.h"
#include "measure/scene.h"
#include "measure/snapping.h"
#include "temp_dir.h"
#include <gtest/gtest.h>

namespace {

using measure::Json;
using workbench::HttpRequest;
using workbench::HttpResponse;
using workbench::Workbench;

const char kHost[] = "127.0.0.1:8350";

// Two cameras 1 m apart looking at the origin from 5 m, no lens; one point seen by both.
const char kScene[] = R"({
  "cameras": [
    {"id": "a", "focal_length": 800.0, "principal_point": [320.0, 240.0], "width": 640,
     "height": 480, "rotation": [0, 0, 0], "translation": [0, 0, 5]},
    {"id": "b", "focal_length": 800.0, "principal_point": [320.0, 240.0], "width": 640,
     "height": 480, "rotation": [0, 0.2, 0], "translation": [0, 0, 5]}
  ],
  "shapes": [{"name": "p", "kind": "point", "picks": {"a": [323.2, 246.4], "b": [323.14, 246.4]}}]
})";

HttpRequest Request(const std::string& method, const std::string& target, const Json& body = {}) {
    HttpRequest request{method, target, {{"host", kHost}}, ""};
    if (method == "POST") {
        request.headers.emplace_back("Content-Type", "application/json; charset=utf-8");
        request.body = body.dump();
    }
    return request;
}

Json Body(const HttpResponse& response) {
    return Json::parse(response.body);
}

double Distance(const std::vector<core::Polyline>& polylines, const core::Pixel& pixel) {
    double nearest = std::numeric_limits<double>::infinity();
    for (const core::Polyline& polyline : polylines) {
        nearest = std::min(nearest, core::MaxDistanceToPolyline({pixel}, polyline));
    }
    return nearest;
}

std::vector<core::Polyline> Polylines(const Json& line) {
    std::vector<core::Polyline> polylines;
    for (const Json& points : line.at("polylines")) {
        polylines.emplace_back();
        for (const Json& point : points) {
            polylines.back().push_back({point[0].get<double>(), point[1].get<double>()});
        }
    }
    return polylines;
}

class WorkbenchTest : public ::testing::Test {
  protected:
    WorkbenchTest()
        : m_dir("workbench"),
          m_file(m_dir.Write("scene.json", kScene)),
          m_bench(m_file, {kHost, "localhost:8350"}) {}

    Json Session() {
        const HttpResponse response = m_bench.Handle(Request("GET", "/api/session"));
        EXPECT_EQ(response.status, 200) << response.body;
        return Body(response);
    }

    TempDir m_dir;
    std::string m_file;
    Workbench m_bench;
};

TEST_F(WorkbenchTest, RefusesWhatThePageNeverSends) {
    struct Case {
        const char* method;
        std::string target;
        std::vector<workbench::Header> headers;
        std::string body;
        int status;
    };
    const std::string json = "application/json";
    const Case cases[] = {
        {"GET", "/api/session", {{"Host", "evil.example:8350"}}, "", 403},
        {"GET", "/api/session", {}, "", 403},
        {"GET", "/api/session", {{"HOST", "LOCALHOST:8350"}}, "", 200},
        {"GET", "/api/session", {{"Host", kHost}, {"Origin", "http://evil.example"}}, "", 403},
        {"GET", "/api/session", {{"Host", kHost}, {"Origin", "null"}}, "", 403},
        {"GET", "/api/session", {{"Host", kHost}, {"Origin", "http://localhost:8350"}}, "", 200},
        {"GET", "/app/../scene.json", {{"Host", kHost}}, "", 400},
        {"GET", "/app/%2e%2e/scene.json", {{"Host", kHost}}, "", 400},
        {"GET", "/app/x%2Fy", {{"Host", kHost}}, "", 400},
        {"GET", "/app/a\\b", {{"Host", kHost}}, "", 400},
        {"GET", std::string("/app/a\0b", 8), {{"Host", kHost}}, "", 400},
        {"GET", "/scene.json", {{"Host", kHost}}, "", 404},
        {"GET", "/app/.hidden", {{"Host", kHost}}, "", 404},
        {"GET", "/photo/0", {{"Host", kHost}}, "", 404},
        {"GET", "/photo/-1", {{"Host", kHost}}, "", 404},
        {"DELETE", "/api/session", {{"Host", kHost}}, "", 405},
        {"POST", "/api/session", {{"Host", kHost}, {"Content-Type", json}}, "{}", 405},
        {"GET", "/api/measure", {{"Host", kHost}}, "", 405},
        {"POST", "/api/measure", {{"Host", kHost}, {"Content-Type", "text/plain"}}, "{}", 415},
        {"POST", "/api/measure", {{"Host", kHost}}, "{}", 415},
        {"POST", "/api/measure", {{"Host", kHost}, {"Content-Type", json}}, "{\"a\": ", 400},
        {"POST", "/api/measure", {{"Host", kHost}, {"Content-Type", json}}, "[1]", 400},
        {"POST",
         "/api/save",
         {{"Host", kHost}, {"Content-Type", json}},
         "{\"version\": \"0\"}",
         400},
        {"POST", "/api/export", {{"Host", kHost}, {"Content-Type", json}}, "{\"format\": 1}", 400},
        {"POST",
         "/api/measure",
         {{"Host", kHost}, {"Content-Type", json}},
         std::string(workbench::kBodyLimit + 1, ' '),
         413},
    };
    for (const Case& c : cases) {
        const HttpResponse response = m_bench.Handle({c.method, c.target, c.headers, c.body});
        EXPECT_EQ(response.status, c.status)
            << c.method << " " << c.target << ": " << response.body;
        if (response.status >= 400) {
            EXPECT_TRUE(Body(response).at("error").is_string()) << c.target;
        }
    }
    EXPECT_EQ(ReadFile(m_file), kScene);
}

TEST_F(WorkbenchTest, SessionAndMeasure) {
    const Json session = Session();
    EXPECT_EQ(session.at("file"), "scene.json");
    EXPECT_EQ(session.at("version"), workbench::ContentVersion(kScene));
    EXPECT_EQ(session.at("cameras").size(), 2u);
    EXPECT_EQ(session.at("cameras")[1].dump(),
              R"({"id":"b","width":640,"height":480,"photo":null,"lens":false})");
    EXPECT_EQ(session.at("report").at("summary").at("measured"), 1);

    const HttpResponse same = m_bench.Handle(Request("POST", "/api/measure", session["document"]));
    ASSERT_EQ(same.status, 200) << same.body;
    EXPECT_EQ(Body(same).at("report"), session.at("report"));

    Json document = session.at("document");
    document["shapes"][0]["picks"]["a"] = {700, 10};
    const HttpResponse outside = m_bench.Handle(Request("POST", "/api/measure", document));
    EXPECT_EQ(outside.status, 400);
    EXPECT_EQ(Body(outside).at("error"),
              "scene.json: shapes[0].picks.a: lies outside the image of camera \"a\" (640 x 480)");
    // The page edits shapes, never cameras.
    document = session.at("document");
    document["cameras"][0]["focal_length"] = 900.0;
    EXPECT_EQ(m_bench.Handle(Request("POST", "/api/measure", document)).status, 400);
    document["cameras"] = session.at("document").at("cameras");
    document["shapes"] = Json::array();
    const HttpResponse empty = m_bench.Handle(Request("POST", "/api/measure", document));
    EXPECT_EQ(Body(empty).at("report").at("summary").at("shapes"), 0);
}

TEST_F(WorkbenchTest, EpipolarLinePassesThroughTheImageOfThePoint) {
    const measure::Scene scene = m_bench.CurrentScene();
    const C3DVector point(0.3, -0.2, 0.4);
    C2DCoordinate inA, inB;
    ASSERT_TRUE(scene.cameras[0].calibration.Project(point, inA));
    ASSERT_TRUE(scene.cameras[1].calibration.Project(point, inB));
    const HttpResponse response = m_bench.Handle(Request(
        "POST", "/api/epipolar", {{"camera", "a"}, {"point", {inA.GetData(0), inA.GetData(1)}}}));
    ASSERT_EQ(response.status, 200) << response.body;
    const Json lines = Body(response).at("lines");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].at("camera"), "b");
    EXPECT_LT(Distance(Polylines(lines[0]), {inB.GetData(0), inB.GetData(1)}), 1e-6);

    for (const Json& bad : {Json{{"camera", "c"}, {"point", {1, 2}}},
                            Json{{"camera", "a"}, {"point", {1}}},
                            Json{{"camera", "a"}, {"point", {1, "2"}}},
                            Json{{"point", {1, 2}}}}) {
        EXPECT_EQ(m_bench.Handle(Request("POST", "/api/epipolar", bad)).status, 400) << bad;
    }
}

TEST(WorkbenchChessboard, EpipolarLineThroughTheLensMeetsTheSameCorner) {
    Workbench bench(std::string(POLYVIEW_SOURCE_DIR) + "/examples/chessboard/chessboard.json",
                    {kHost});
    const measure::Scene scene = bench.CurrentScene();
    const measure::ShapeInput& corner = scene.shapes.front();  // corner_r0_c0, all 13 views
    const measure::PointPick& from = corner.pointPicks[0];
    const HttpResponse response = bench.Handle(Request(
        "POST",
        "/api/epipolar",
        {{"camera", scene.cameras[from.camera].id}, {"point", {from.point.x, from.point.y}}}));
    ASSERT_EQ(response.status, 200) << response.body;
    const Json lines = Body(response).at("lines");
    ASSERT_EQ(lines.size(), scene.cameras.size() - 1);
    for (const measure::PointPick& pick : corner.pointPicks) {
        if (pick.camera == from.camera || scene.cameras[pick.camera].id == "view_2") {
            continue;  // view_2's detections are off by pixels (examples/chessboard)
        }
        const Json& line = lines[pick.camera - (pick.camera > from.camera ? 1 : 0)];
        ASSERT_EQ(line.at("camera"), scene.cameras[pick.camera].id);
        EXPECT_LT(Distance(Polylines(line), {pick.point.x, pick.point.y}), 1.0) << line["camera"];
    }
}

TEST(WorkbenchChessboard, SnapsAsTheSceneOptionDoesAndRefusesWithAReason) {
    Workbench bench(std::string(POLYVIEW_SOURCE_DIR) + "/examples/chessboard/chessboard.json",
                    {kHost});
    const measure::Camera view = bench.CurrentScene().cameras[0];
    const measure::GrayPhoto photo = measure::LoadGrayPhoto(view.image);
    const measure::Vec2 click{443.8, 157.5};  // 1.5 px from the detector's corner_r2_c6
    const measure::Segment2 edge{{416.1, 160.1}, {433.8, 160.3}};  // 2 px below c5 to c6
    const measure::Snap corner = measure::SnapCorner(photo, click);
    const measure::Snap border = measure::SnapEdge(view.calibration, photo, edge);
    ASSERT_TRUE(corner.ok && border.ok) << corner.reason << border.reason;
    const auto snap = [&](const Json& body) {
        return bench.Handle(Request("POST", "/api/snap", body));
    };
    HttpResponse response =
        snap({{"camera", "view_1"}, {"kind", "corner"}, {"point", {click.x, click.y}}});
    EXPECT_EQ(Body(response),
              (Json{{"ok", true},
                    {"point", {corner.points[0].x, corner.points[0].y}},
                    {"movement", corner.movements[0]},
                    {"support", corner.support}}));
    response = snap({{"camera", "view_1"},
                     {"kind", "edge"},
                     {"segment", {{edge.start.x, edge.start.y}, {edge.end.x, edge.end.y}}}});
    EXPECT_EQ(Body(response).at("segment"),
              Json::array({{border.points[0].x, border.points[0].y},
                           {border.points[1].x, border.points[1].y}}));
    EXPECT_EQ(Body(response).at("movement"), Json(border.movements));
    response = snap({{"camera", "view_1"}, {"kind", "corner"}, {"point", {2.0, 240.0}}});
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(Body(response).at("ok"), false);
    EXPECT_TRUE(Body(response).at("reason").is_string());
    for (const Json& bad :
         {Json{{"camera", "view_99"}, {"kind", "corner"}, {"point", {1, 2}}},
          Json{{"camera", "view_1"}, {"kind", "blob"}, {"point", {1, 2}}},
          Json{{"camera", "view_1"}, {"kind", "corner"}, {"point", {1}}},
          Json{{"camera", "view_1"}, {"kind", "edge"}, {"point", {1, 2}}},
          Json{{"camera", "view_1"}, {"kind", "edge"}, {"segment", {{1, 2}}}},
          Json{{"camera", "view_1"}, {"kind", "edge"}, {"segment", {{1, 2}, {1, 2}}}}}) {
        EXPECT_EQ(snap(bad).status, 400) << bad;
    }
}

TEST_F(WorkbenchTest, SnapNeedsAPhoto) {
    const HttpResponse response = m_bench.Handle(
        Request("POST", "/api/snap", {{"camera", "a"}, {"kind", "corner"}, {"point", {1, 2}}}));
    EXPECT_EQ(response.status, 400);
    EXPECT_EQ(Body(response).at("error"), "camera a has no photo to snap on");
}

TEST_F(WorkbenchTest, SaveKeepsTheOldFileAndNoticesAnotherWriter) {
    Json session = Session();
    Json document = session.at("document");
    document["shapes"][0]["name"] = "q";
    HttpResponse saved = m_bench.Handle(
        Request("POST", "/api/save", {{"document", document}, {"version", session["version"]}}));
    ASSERT_EQ(saved.status, 200) << saved.body;
    EXPECT_EQ(Body(saved).at("replaced_other"), false);
    EXPECT_EQ(ReadFile(m_file + ".bak"), kScene);
    const std::string text = ReadFile(m_file);
    EXPECT_EQ(Body(saved).at("version"), workbench::ContentVersion(text));
    EXPECT_EQ(measure::ParseScene(text, "scene.json", m_dir.Path()),
              measure::ParseScene(document.dump(), "scene.json", m_dir.Path()));

    // An invalid document leaves the file as it is.
    Json invalid = document;
    invalid["shapes"][0]["kind"] = "sphere";
    EXPECT_EQ(
        m_bench
            .Handle(Request(
                "POST", "/api/save", {{"document", invalid}, {"version", Body(saved)["version"]}}))
            .status,
        400);
    EXPECT_EQ(ReadFile(m_file), text);

    // Another tab saved since this one loaded: the last save wins and says so.
    saved = m_bench.Handle(
        Request("POST", "/api/save", {{"document", document}, {"version", session["version"]}}));
    ASSERT_EQ(saved.status, 200) << saved.body;
    EXPECT_EQ(Body(saved).at("replaced_other"), true);
    EXPECT_NE(Body(saved).at("message").get<std::string>().find("another tab"), std::string::npos);
}

TEST_F(WorkbenchTest, ExportsTheReportAsCsv) {
    Json document = Session().at("document");
    document["shapes"].push_back(
        {{"name", "one \"view\", only"}, {"kind", "point"}, {"picks", {{"a", {10, 10}}}}});
    const HttpResponse csv =
        m_bench.Handle(Request("POST", "/api/export", {{"document", document}, {"format", "csv"}}));
    ASSERT_EQ(csv.status, 200) << csv.body;
    EXPECT_EQ(csv.contentType, "text/csv; charset=utf-8");
    EXPECT_EQ(csv.headers.at(0).second, "attachment; filename=\"scene.report.csv\"");
    const std::string& body = csv.body;
    EXPECT_EQ(body.substr(0, body.find("\r\n")),
              "name,kind,ok,reason,x,y,z,dx,dy,dz,start_x,start_y,start_z,end_x,end_y,end_z,"
              "length,radius,plane_a,plane_b,plane_c,plane_d,rms_residual_px,max_residual_px");
    EXPECT_NE(body.find("\r\np,point,true,,"), std::string::npos) << body;
    EXPECT_NE(body.find("\r\n\"one \"\"view\"\", only\",point,false,picked in one camera only"),
              std::string::npos)
        << body;
    const HttpResponse json = m_bench.Handle(
        Request("POST", "/api/export", {{"document", document}, {"format", "json"}}));
    EXPECT_EQ(Body(json).at("summary").at("shapes"), 2);
}

}  // namespace
