#include "measure/scene.h"

#include <string>

#include "measure/input_error.h"
#include "measure/json_node.h"
#include "temp_dir.h"
#include <gtest/gtest.h>

namespace {

using measure::Json;

// Two cameras 1 m apart looking along +z; picks are exact images of points 2 m away, worked out by
// hand: u = 1000 x / z + 500, v = 1000 y / z + 400.
const char kValidScene[] = R"({
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
})";

measure::Scene Parse(const Json& document) {
    return measure::ParseScene(document.dump(), "scene.json", "");
}

TEST(SceneParse, ReadsEveryKindInFileOrder) {
    const measure::Scene scene = Parse(Json::parse(kValidScene));
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
    EXPECT_EQ(scene.cameras[1].calibration.GetCentre().GetData(0), 1.0);
}

TEST(SceneParse, RotationVectorAndMatrixAgree) {
    // A quarter turn about z: the matrix maps the x axis onto the y axis.
    Json vectorForm = Json::parse(kValidScene);
    vectorForm["cameras"][0]["rotation"] = {0.0, 0.0, 1.5707963267948966};  // pi / 2
    Json matrixForm = Json::parse(kValidScene);
    matrixForm["cameras"][0]["rotation"] = Json::parse("[[0, -1, 0], [1, 0, 0], [0, 0, 1]]");
    const measure::Camera a = Parse(vectorForm).cameras[0];
    const measure::Camera b = Parse(matrixForm).cameras[0];
    double ra[9];
    double rb[9];
    a.calibration.GetCameraParam().GetExtrinsicParam().GetRotateMatrix().GetMatrix(ra);
    b.calibration.GetCameraParam().GetExtrinsicParam().GetRotateMatrix().GetMatrix(rb);
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(ra[i], rb[i], 1e-15) << i;
    }
    EXPECT_EQ(rb[3], 1.0);  // row 1, column 0: (1, 0, 0) goes to (0, 1, 0)
}

// One change to the valid scene (a JSON pointer and the new value, or nullptr to remove the
// member), the path that the message must name and part of the message.
struct BadCase {
    const char* pointer;
    const char* value;
    const char* where;
    const char* fragment;
};

TEST(SceneParse, BadFieldsNameFileAndPath) {
    const BadCase cases[] = {
        {"/cameras/0/focal_length", nullptr, "cameras[0]", "missing required field \"focal_"},
        {"/cameras/0/width", "\"1000\"", "cameras[0].width", "expected a number, got a string"},
        {"/shapes/0/picks", "[1, 2]", "shapes[0].picks", "expected an object"},
        {"/shapes/0/picks/left", "[750]", "shapes[0].picks.left", "expected an image point"},
        {"/cameras/1/rotation", "\"identity\"", "cameras[1].rotation", "expected a rotation vec"},
        {"/shapes/1/picks/middle", "[[1, 1], [2, 2]]", "shapes[1].picks.middle", "unknown camera"},
        {"/cameras/0/focal_length", "0", "cameras[0].focal_length", "must be greater than 0"},
        {"/cameras/1/focal_length", "-1000.0", "cameras[1].focal_length", "must be greater than"},
        {"/cameras/0/width", "0", "cameras[0].width", "must be greater than 0"},
        {"/cameras/1/height", "-800", "cameras[1].height", "must be greater than 0"},
        {"/cameras/0/width", "999.5", "cameras[0].width", "expected a whole number"},
        {"/shapes/0/picks", "{}", "shapes[0].picks", "empty pick list"},
        {"/shapes/4/picks/left", "[]", "shapes[4].picks.left", "empty list"},
        {"/shapes/3/points", "[]", "shapes[3].points", "empty list"},
        {"/cameras", "[]", "cameras", "empty list"},
        {"/shapes/0/picks/left", "[1000.5, 4]", "shapes[0].picks.left", "outside the image"},
        {"/cameras/1/focal", "3", "cameras[1].focal", "unknown field"},
        {"/shapes/0/kind", "\"sphere\"", "shapes[0].kind", "unknown kind \"sphere\""},
        {"/shapes/2/method", "\"guess\"", "shapes[2].method", "unknown method"},
        {"/shapes/3/points/0", "\"q\"", "shapes[3].points[0]", "no point shape named \"q\""},
        {"/shapes/3/points/0", "\"s\"", "shapes[3].points[0]", "is a segment, not a point shape"},
        {"/cameras/1/id", "\"left\"", "cameras", "duplicate camera id \"left\""},
        {"/shapes/1/name", "\"p\"", "shapes[1].name", "duplicate shape name"},
        {"/shapes/1/picks/left/1", "[600, 200]", "shapes[1].picks.left", "zero length"},
        {"/shapes/2/picks/left/0", "null", "shapes[2].picks.left", "both edges are null"},
        {"/cameras/1/rotation/1/1", "2", "cameras[1].rotation", "not a rotation matrix"},
        {"/shapes/4/picks/right", "[[1, 1], [9, 9]]", "shapes[4].picks", "exactly one image"},
        {"/shapes/4/interval", nullptr, "shapes[4]", "missing required field \"interval\""},
        {"/shapes/4/samples", "1", "shapes[4].samples", "at least 2 samples"},
        {"/shapes/0/truth", "{\"start\": [0, 0, 0]}", "shapes[0].truth.start", "unknown field"},
        {"/shapes", nullptr, "top level", "missing required field \"shapes\""},
        {"", "[1, 2]", "top level", "expected an object"},
        // A rotation vector whose length overflows gives no rotation; the camera is refused.
        {"/cameras/1/rotation", "[1e200, 0, 0]", "cameras[1].rotation", "not finite"},
    };
    for (const BadCase& bad : cases) {
        SCOPED_TRACE(std::string(bad.pointer) + " " + (bad.value ? bad.value : "removed"));
        Json document = Json::parse(kValidScene);
        const Json::json_pointer pointer(bad.pointer);
        if (bad.value == nullptr) {
            document.at(pointer.parent_pointer()).erase(pointer.back());
        } else {
            document[pointer] = Json::parse(bad.value);
        }
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

TEST(SceneParse, UnreadableTextNamesLineAndColumn) {
    const std::string valid = Json::parse(kValidScene).dump();
    // The second pick for "left" would silently replace the first.
    const std::string twice = valid.substr(0, valid.find("\"left\":[750")) + "\"left\":[1,1]," +
                              valid.substr(valid.find("\"left\":[750"));
    const std::pair<std::string, std::string> cases[] = {
        {"{\n  \"units\": \"m\",\n  \"cameras\": [,]\n}\n", "line 3, column 15"},
        {"{\n  \"units\": \"m\"\n", "line 3, column 1"},  // ends inside the object
        {"{\"cameras\": [{\"focal_length\":\n 1e999}]}", "line 2, column 2"},  // not finite
        {twice, "shapes[0].picks.left"},
    };
    for (const auto& [text, where] : cases) {
        SCOPED_TRACE(where);
        try {
            measure::ParseScene(text, "broken.json", "");
            ADD_FAILURE() << "accepted";
        } catch (const measure::InputError& error) {
            EXPECT_EQ(error.File(), "broken.json");
            EXPECT_EQ(error.Where(), where);
            EXPECT_NE(error.Message().find(where[0] == 'l' ? "malformed JSON: " : "given twice"),
                      std::string::npos)
                << error.Message();
        }
    }
}

// A missing file, a directory and a device are named as what they are, and a device is never
// read (reading /dev/zero would not end).
TEST(SceneLoad, OnlyRegularFilesAreRead) {
    TempDir dir("scene_load");
    const std::pair<std::string, const char*> cases[] = {
        {dir / "missing.json", "cannot be opened"},
        {dir.Path(), "is a directory"},
        {"/dev/zero", "not a regular file"},
    };
    for (const auto& [file, fragment] : cases) {
        SCOPED_TRACE(file);
        try {
            measure::LoadScene(file);
            ADD_FAILURE() << "accepted";
        } catch (const measure::InputError& error) {
            EXPECT_EQ(error.File(), file);
            EXPECT_NE(error.Message().find(fragment), std::string::npos) << error.Message();
        }
    }
}

}  // namespace
