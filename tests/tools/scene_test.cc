#include "measure/scene.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "measure/input_error.h"
#include "measure/json_node.h"
#include <gtest/gtest.h>

namespace {

using measure::Json;

// Two cameras 1 m apart looking along +z; picks are exact images of points 2 m away, worked out by
// hand: u = 1000 x / z + 500, v = 1000 y / z + 400.
Json ValidScene() {
    return Json::parse(R"({
  "units": "m",
  "cameras": [
    {"id": "left", "focal_length": 1000, "principal_point": [500, 400], "width": 1000,
     "height": 800, "rotation": [0, 0, 0], "translation": [0, 0, 0]},
    {"id": "right", "focal_length": 1000, "principal_point": [500, 400], "width": 1000,
     "height": 800, "rotation": [[1, 0, 0], [0, 1, 0], [0, 0, 1]], "translation": [-1, 0, 0]}
  ],
  "shapes": [
    {"name": "p", "kind": "point", "picks": {"right": [250, 400], "left": [750, 400]},
     "truth": {"point": [0.5, 0, 2]}},
    {"name": "s", "kind": "segment",
     "picks": {"left": [[600, 200], [900, 600]], "right": [[100, 200], [400, 600]]}},
    {"name": "c", "kind": "cylinder", "method": "centre-lines",
     "picks": {"left": [[[100, 100], [200, 100]], null],
               "right": [[[100, 100], [200, 100]], [[100, 200], [200, 200]]]}},
    {"name": "f", "kind": "plane", "points": ["p", [0, 0, 0], [1, 0, 0]]},
    {"name": "k", "kind": "curve", "mode": "approximate", "interval": 10, "samples": 20,
     "picks": {"left": [[10, 10], [50, 60], [90, 20]]}}
  ]
})");
}

measure::Scene Parse(const Json& document) {
    return measure::ParseScene(document.dump(), "scene.json", "");
}

TEST(SceneParse, ReadsEveryKindInFileOrder) {
    const measure::Scene scene = Parse(ValidScene());
    ASSERT_EQ(scene.cameras.size(), 2u);
    ASSERT_EQ(scene.shapes.size(), 5u);
    // Picks keep the order of the file ("right" first), with camera indices resolved.
    const measure::ShapeSpec& point = scene.shapes[0];
    ASSERT_EQ(point.pointPicks.size(), 2u);
    EXPECT_EQ(point.pointPicks[0].camera, 1u);
    EXPECT_EQ(point.pointPicks[0].point.x, 250.0);
    EXPECT_EQ(point.truth->point->at(2), 2.0);
    EXPECT_FALSE(scene.shapes[2].tangentPlanes);
    EXPECT_FALSE(scene.shapes[2].cylinderPicks[0].edges[1].has_value());
    EXPECT_TRUE(scene.shapes[2].cylinderPicks[1].edges[1].has_value());
    EXPECT_EQ(scene.shapes[3].planePoints[0].pointName, "p");
    EXPECT_EQ(scene.shapes[3].planePoints[2].point[0], 1.0);
    EXPECT_FALSE(scene.shapes[4].interpolate);
    EXPECT_EQ(scene.shapes[4].interval, 10.0);
    EXPECT_EQ(scene.shapes[4].sampleCount, 20);
    // Camera centre -R^T T: the right camera sits at x = 1.
    EXPECT_EQ(scene.cameras[1].Centre()[0], 1.0);
}

TEST(SceneParse, RotationVectorAndMatrixAgree) {
    // A quarter turn about z: the matrix maps the x axis onto the y axis.
    Json vectorForm = ValidScene();
    const double quarterTurn = 1.5707963267948966;  // pi / 2
    vectorForm["cameras"][0]["rotation"] = {0.0, 0.0, quarterTurn};
    Json matrixForm = ValidScene();
    matrixForm["cameras"][0]["rotation"] = Json::parse("[[0, -1, 0], [1, 0, 0], [0, 0, 1]]");
    const measure::Camera a = Parse(vectorForm).cameras[0];
    const measure::Camera b = Parse(matrixForm).cameras[0];
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(a.rotation[i], b.rotation[i], 1e-15);
    }
    EXPECT_EQ(b.rotation[3], 1.0);  // row 1, column 0: (1, 0, 0) goes to (0, 1, 0)
}

struct BadCase {
    const char* label;
    std::function<void(Json&)> change;
    const char* where;     // the JSON path the message must name
    const char* fragment;  // part of the message
};

TEST(SceneParse, BadFieldsNameFileAndPath) {
    const std::vector<BadCase> cases = {
        {"missing field",
         [](Json& s) { s["cameras"][0].erase("focal_length"); },
         "cameras[0]",
         "missing required field \"focal_length\""},
        {"mistyped number",
         [](Json& s) { s["cameras"][0]["width"] = "1000"; },
         "cameras[0].width",
         "expected a number, got a string"},
        {"mistyped picks",
         [](Json& s) {
             s["shapes"][0]["picks"] = Json::array({1, 2});
         },
         "shapes[0].picks",
         "expected an object"},
        {"short image point",
         [](Json& s) { s["shapes"][0]["picks"]["left"] = {750}; },
         "shapes[0].picks.left",
         "expected an image point [x, y]"},
        {"mistyped rotation",
         [](Json& s) { s["cameras"][1]["rotation"] = "identity"; },
         "cameras[1].rotation",
         "expected a rotation vector"},
        {"unknown camera",
         [](Json& s) { s["shapes"][1]["picks"]["middle"] = s["shapes"][1]["picks"]["left"]; },
         "shapes[1].picks.middle",
         "unknown camera id \"middle\""},
        {"zero focal length",
         [](Json& s) { s["cameras"][0]["focal_length"] = 0; },
         "cameras[0].focal_length",
         "must be greater than 0"},
        {"negative focal length",
         [](Json& s) { s["cameras"][1]["focal_length"] = -1000.0; },
         "cameras[1].focal_length",
         "must be greater than 0"},
        {"zero width",
         [](Json& s) { s["cameras"][0]["width"] = 0; },
         "cameras[0].width",
         "must be greater than 0"},
        {"negative height",
         [](Json& s) { s["cameras"][1]["height"] = -800; },
         "cameras[1].height",
         "must be greater than 0"},
        {"fractional width",
         [](Json& s) { s["cameras"][0]["width"] = 999.5; },
         "cameras[0].width",
         "expected a whole number"},
        {"empty point picks",
         [](Json& s) { s["shapes"][0]["picks"] = Json::object(); },
         "shapes[0].picks",
         "empty pick list"},
        {"empty curve picks",
         [](Json& s) { s["shapes"][4]["picks"]["left"] = Json::array(); },
         "shapes[4].picks.left",
         "empty list"},
        {"empty plane points",
         [](Json& s) { s["shapes"][3]["points"] = Json::array(); },
         "shapes[3].points",
         "empty list"},
        {"empty camera list",
         [](Json& s) { s["cameras"] = Json::array(); },
         "cameras",
         "empty list"},
        {"pick outside image",
         [](Json& s) {
             s["shapes"][0]["picks"]["left"] = {1000.5, 400};
         },
         "shapes[0].picks.left",
         "outside the image of camera \"left\" (1000 x 800)"},
        {"unknown field",
         [](Json& s) { s["cameras"][1]["focal"] = 3; },
         "cameras[1].focal",
         "unknown field"},
        {"unknown kind",
         [](Json& s) { s["shapes"][0]["kind"] = "sphere"; },
         "shapes[0].kind",
         "unknown kind \"sphere\""},
        {"unknown method",
         [](Json& s) { s["shapes"][2]["method"] = "guess"; },
         "shapes[2].method",
         "unknown method"},
        {"plane of unknown point",
         [](Json& s) { s["shapes"][3]["points"][0] = "q"; },
         "shapes[3].points[0]",
         "no point shape named \"q\""},
        {"plane of a segment",
         [](Json& s) { s["shapes"][3]["points"][0] = "s"; },
         "shapes[3].points[0]",
         "is a segment, not a point shape"},
        {"duplicate camera",
         [](Json& s) { s["cameras"][1]["id"] = "left"; },
         "cameras",
         "duplicate camera id \"left\""},
        {"duplicate shape",
         [](Json& s) { s["shapes"][1]["name"] = "p"; },
         "shapes[1].name",
         "duplicate shape name"},
        {"zero-length segment",
         [](Json& s) {
             s["shapes"][1]["picks"]["left"][1] = {600, 200};
         },
         "shapes[1].picks.left",
         "zero length"},
        {"cylinder without edges",
         [](Json& s) { s["shapes"][2]["picks"]["left"][0] = nullptr; },
         "shapes[2].picks.left",
         "both edges are null"},
        {"not a rotation",
         [](Json& s) { s["cameras"][1]["rotation"][1][1] = 2; },
         "cameras[1].rotation",
         "not a rotation matrix"},
        {"curve in two images",
         [](Json& s) { s["shapes"][4]["picks"]["right"] = s["shapes"][4]["picks"]["left"]; },
         "shapes[4].picks",
         "exactly one image"},
        {"approximation without interval",
         [](Json& s) { s["shapes"][4].erase("interval"); },
         "shapes[4]",
         "missing required field \"interval\""},
        {"one sample",
         [](Json& s) { s["shapes"][4]["samples"] = 1; },
         "shapes[4].samples",
         "at least 2 samples"},
        {"truth of another kind",
         [](Json& s) {
             s["shapes"][0]["truth"] = {{"start", {0, 0, 0}}};
         },
         "shapes[0].truth.start",
         "unknown field"},
        {"no shapes",
         [](Json& s) { s.erase("shapes"); },
         "top level",
         "missing required field \"shapes\""},
        {"top level array",
         [](Json& s) {
             s = Json::array({1, 2});
         },
         "top level",
         "expected an object"},
    };
    for (const BadCase& bad : cases) {
        SCOPED_TRACE(bad.label);
        Json document = ValidScene();
        bad.change(document);
        try {
            Parse(document);
            ADD_FAILURE() << "accepted";
        } catch (const measure::InputError& error) {
            EXPECT_EQ(error.File(), "scene.json");
            EXPECT_EQ(error.Where(), bad.where);
            EXPECT_NE(error.Message().find(bad.fragment), std::string::npos) << error.Message();
            EXPECT_EQ(std::string(error.what()).rfind("scene.json: " + error.Where() + ": ", 0),
                      0u);
        }
    }
}

TEST(SceneParse, MalformedJsonAndHugeNumbersGiveLineAndColumn) {
    const std::pair<std::string, std::string> texts[] = {
        {"{\n  \"units\": \"m\",\n  \"cameras\": [,]\n}\n", "line 3, column 15"},
        {"{\n  \"units\": \"m\"\n", "line 3, column 1"},  // ends inside the object
        {"{\"cameras\": [{\"focal_length\":\n 1e999}]}", "line 2, column 2"},  // not finite
    };
    for (const auto& [text, where] : texts) {
        SCOPED_TRACE(text);
        try {
            measure::ParseScene(text, "broken.json", "");
            ADD_FAILURE() << "accepted";
        } catch (const measure::InputError& error) {
            EXPECT_EQ(error.File(), "broken.json");
            EXPECT_EQ(error.Where(), where);
            EXPECT_EQ(error.Message().rfind("malformed JSON: ", 0), 0u) << error.Message();
        }
    }
}

TEST(SceneParse, MemberGivenTwiceIsRefused) {
    // The second pick for "left" would silently replace the first.
    const std::string text = ValidScene().dump();
    const std::string twice = text.substr(0, text.find("\"left\":[750")) + "\"left\":[1,1]," +
                              text.substr(text.find("\"left\":[750"));
    try {
        measure::ParseScene(twice, "scene.json", "");
        ADD_FAILURE() << "accepted";
    } catch (const measure::InputError& error) {
        EXPECT_EQ(error.Where(), "shapes[0].picks.left");
        EXPECT_NE(error.Message().find("given twice"), std::string::npos) << error.Message();
    }
}

TEST(SceneParse, MissingFileIsReported) {
    try {
        measure::LoadScene("/nonexistent/scene.json");
        ADD_FAILURE() << "accepted";
    } catch (const measure::InputError& error) {
        EXPECT_EQ(error.File(), "/nonexistent/scene.json");
        EXPECT_NE(error.Message().find("cannot be opened"), std::string::npos);
    }
}

}  // namespace
