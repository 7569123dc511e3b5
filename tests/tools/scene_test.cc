#include "measure/scene.h"

#include <cmath>
#include <filesystem>
#include <string>

#include "measure/input_error.h"
#include "measure/json_node.h"
#include "measure/measurement.h"
#include "measure/scene_writer.h"
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
    {"id": "right", "model": "PINHOLE", "params": [1000, 1000, 500, 400], "width": 1000,
     "height": 800, "rotation": [[1, 0, 0], [0, 1, 0], [0, 0, 1]], "translation": [-1, 0, 0]}
  ],
  "shapes": [
    {"name": "p", "kind": "point", "outliers": "drop",
     "picks": {"right": [250, 400], "left": [750, 400]},
     "truth": {"point": [0.5, 0, 2]}},
    {"name": "s", "kind": "segment", "extent": "median",
     "picks": {"left": [[600, 200], [900, 600]], "right": [[100, 200], [400, 600]]}},
    {"name": "c", "kind": "cylinder", "method": "centre-lines", "outliers": "drop",
     "picks": {"left": [[[100, 100], [200, 100]], null],
               "right": [[[100, 100], [200, 100]], [[100, 200], [200, 200]]]}},
    {"name": "f", "kind": "plane", "points": ["p", [0, 0, 0], [1, 0, 0]]},
    {"name": "k", "kind": "curve", "mode": "approximate", "interval": 10, "samples": 20,
     "picks": {"left": [[10, 10], [50, 60], [90, 20]]}}
  ]
})";

// The first bytes of a PNG file: photos are checked by their signature.
const char kPng[] = "\x89PNG\r\n\x1a\n";

// A camera file in the OpenCV form: camera 3 m behind the world origin, image 1000 x 800.
const char kSideCamera[] = R"({"K": [[1000, 0, 500], [0, 1000, 400], [0, 0, 1]], "rvec": [0, 0, 0],
                               "tvec": [0, 0, 3], "image_size": [1000, 800]})";

// Read, write, read again: every field of the document comes back as it was (these documents are
// written in the writer's order, with every option spelled out), the scene read back is the same
// scene, and writing it again gives the same text. The second document has camera files (kept as
// references) with their photos, lenses in COLMAP's and OpenCV's forms, a photo, comments, every
// shape kind and a truth for each, "outliers": "drop" on a point and a cylinder, and an interval
// that only an approximation would use.
TEST(SceneDocument, ReadWriteReadKeepsEveryField) {
    TempDir dir("document");
    std::filesystem::create_directories(dir / "model");
    dir.Write("model/cameras.txt", "1 SIMPLE_PINHOLE 1000 800 1000 500 400\n");
    dir.Write("model/images.txt", "1 1 0 0 0 0 0 5 1 top.png\n\n");
    dir.Write("side.json", kSideCamera);
    std::filesystem::create_directories(dir / "photos");
    dir.Write("photos/top.png", kPng);
    dir.Write("photo.jpg", "\xff\xd8\xff\xe0");
    const Json valid = Json::parse(kValidScene);
    Json full = {{"title", "every field"}, {"comment", {{"any", "json"}}}, {"units", "mm"}};
    full["cameras"] = valid["cameras"];
    full["cameras"][0]["image"] = "photo.jpg";
    full["cameras"][0]["comment"] = "left";
    full["cameras"].push_back(Json::parse(R"({"id": "fish", "model": "opencv_fisheye",
        "camera_matrix": [[300, 0.5, 319.5], [0, 310, 239.5], [0, 0, 1]],
        "distortion": [0.05, -0.01, 0.002, -0.0005], "width": 640, "height": 480,
        "rotation": [0, 0, 0], "translation": [0, 0, 3]})"));
    full["camera_sources"] = Json::parse(R"([
        {"format": "colmap", "path": "model", "image_folder": "photos"},
        {"format": "opencv", "path": "side.json", "id": "side", "model": "opencv",
         "images": ["photo.jpg"], "comment": 7}])");
    full["shapes"] = valid["shapes"];
    Json& shapes = full["shapes"];
    shapes[0]["truth"]["comment"] = "hand-worked";
    shapes[1]["truth"] = Json::parse(R"({"start": [0.1, -0.2, 2], "end": [0.4, 0.2, 2]})");
    shapes[2]["truth"] = Json::parse(R"({"start": [0, 0, 2], "end": [1, 0, 2], "radius": 0.1})");
    shapes[3]["truth"] = Json::parse(R"({"point": [0, 0, 0], "normal": [0, 1, 0]})");
    shapes[4]["truth"] = Json::parse(R"({"image_points": [[10, 10], [90, 20]]})");
    shapes[4]["comment"] = "approximated";
    shapes.push_back(Json::parse(R"({"name": "l", "kind": "line",
        "picks": {"top.png": [[500, 100], [500, 700]], "side": [[400, 100], [400, 700]]},
        "truth": {"point": [0, 0, 0], "direction": [0, 1, 0]}})"));
    shapes.push_back(Json::parse(R"({"name": "i", "kind": "curve", "mode": "interpolate",
        "interval": 5.5, "samples": 50, "picks": {"side": [[10, 10], [20, 30]]}})"));
    const std::string files[] = {
        std::string(POLYVIEW_SOURCE_DIR) + "/examples/scenes/pipe_rack.json",
        dir.Write("full.json", full.dump())};
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const measure::Scene first = measure::LoadScene(file);
        const std::string text = measure::SceneText(first);
        EXPECT_EQ(Json::parse(text), Json::parse(ReadFile(file)));
        measure::Scene second =
            measure::ParseScene(text, file, std::filesystem::path(file).parent_path().string());
        second.inputs.insert(second.inputs.begin(), file);
        EXPECT_TRUE(second == first);
        EXPECT_EQ(measure::SceneText(second), text);
    }
}

// A scene names only files inside its own folder unless outside paths are allowed: an absolute
// path, ".." and a link that leads out (a linked folder, or one linked file of a COLMAP model)
// are refused naming the field; a link that stays inside is followed.
TEST(SceneLoad, CameraFilesStayInsideTheSceneFolderUnlessAllowed) {
    namespace fs = std::filesystem;
    TempDir dir("confined");
    fs::create_directories(dir / "scene/model");
    fs::create_directories(dir / "outside");
    dir.Write("outside/side.json", kSideCamera);
    dir.Write("outside/images.txt", "1 1 0 0 0 0 0 5 1 top.png\n\n");
    dir.Write("scene/model/cameras.txt", "1 SIMPLE_PINHOLE 1000 800 1000 500 400\n");
    fs::create_symlink(dir / "outside/images.txt", dir / "scene/model/images.txt");
    fs::create_directory_symlink(dir / "outside", dir / "scene/out");
    fs::create_directory_symlink(".", dir / "scene/here");
    dir.Write("scene/side.json", kSideCamera);
    struct Case {
        const char* format;
        std::string path;
        const char* id;
        const char* refusal;  // nullptr: read either way
    };
    const Case cases[] = {
        {"opencv", "here/side.json", "side", nullptr},
        {"opencv", "../outside/side.json", "side", "goes up with \"..\""},
        {"opencv", dir / "outside/side.json", "side", "is an absolute path"},
        {"opencv", "out/side.json", "side", "leads outside the scene's folder"},
        {"colmap", "model", "top.png", "leads outside the scene's folder"},
    };
    for (const Case& c : cases) {
        Json scene = {{"camera_sources", {{{"format", c.format}, {"path", c.path}}}}};
        scene["shapes"] = {{{"name", "p"}, {"kind", "point"}, {"picks", {{c.id, {500, 400}}}}}};
        const std::string file = dir.Write("scene/scene.json", scene.dump());
        for (const bool allowed : {false, true}) {
            SCOPED_TRACE(c.path + (allowed ? ", allowed" : ""));
            try {
                EXPECT_EQ(measure::LoadScene(file, allowed).cameras.at(0).id, c.id);
                EXPECT_TRUE(allowed || c.refusal == nullptr);
            } catch (const measure::InputError& error) {
                EXPECT_FALSE(allowed) << error.what();
                ASSERT_NE(c.refusal, nullptr) << error.what();
                EXPECT_EQ(error.Where(), "camera_sources[0].path");
                EXPECT_NE(error.Message().find(c.refusal), std::string::npos) << error.Message();
                EXPECT_NE(error.Message().find("--allow-outside-paths"), std::string::npos);
            }
        }
    }
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
    TempDir dir("bad_fields");
    dir.Write("text.png", "GIF89a");
    const BadCase cases[] = {
        {"/cameras/0/focal_length", nullptr, "cameras[0]", "missing required field \"focal_"},
        {"/cameras/0/width", "\"1000\"", "cameras[0].width", "expected a number, got a string"},
        {"/shapes/0/picks", "[1, 2]", "shapes[0].picks", "expected an object"},
        {"/shapes/0/picks/left", "[750]", "shapes[0].picks.left", "expected an image point"},
        {"/cameras/1/rotation", "\"identity\"", "cameras[1].rotation", "expected a rotation vec"},
        {"/shapes/1/picks/middle", "[[1, 1], [2, 2]]", "shapes[1].picks.middle", "unknown camera"},
        {"/cameras/0/focal_length", "0", "cameras[0].focal_length", "must be greater than 0"},
        {"/cameras/1/params/1", "-1000.0", "cameras[1].params", "(fy) must be positive"},
        {"/cameras/1/params",
         "[1000, 1000, 500]",
         "cameras[1].params",
         "takes 4 parameters, not 3"},
        {"/cameras/1/model", "\"FOV\"", "cameras[1].model", "\"FOV\" is not supported"},
        {"/cameras/1/model",
         "\"FISH\"",
         "cameras[1].model",
         "THIN_PRISM_FISHEYE, opencv, opencv_f"},
        {"/cameras/1",
         R"({"id": "right", "model": "opencv", "camera_matrix": [[1000, 0, 499.5], [0, 1000, 399.5],
            [0, 0, 1]], "distortion": [0.1, 0, 0], "width": 1000, "height": 800,
            "rotation": [0, 0, 0], "translation": [-1, 0, 0]})",
         "cameras[1].distortion",
         "4, 5, 8, 12 or 14"},
        {"/cameras/0/image", "\"missing.png\"", "cameras[0].image", "does not exist"},
        {"/cameras/0/image", "\"text.png\"", "cameras[0].image", "is not a JPEG or PNG image"},
        {"/shapes/1/extent", "\"mean\"", "shapes[1].extent", "unknown extent \"mean\""},
        {"/shapes/0/outliers", "\"skip\"", "shapes[0].outliers", "unknown outliers \"skip\""},
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
        const std::string what = ExpectInputError(
            [&] { measure::ParseScene(document.dump(), "scene.json", dir.Path()); },
            "scene.json",
            bad.where,
            bad.fragment);
        EXPECT_EQ(what.rfind("scene.json: " + std::string(bad.where) + ": ", 0), 0u);
    }
}

// A PINHOLE camera with fx != fy measures as the same camera resampled to square pixels (y scaled
// by fx / fy): its lens carries the aspect (a mean focal length would move the point by ~1 cm).
TEST(SceneMeasure, UnequalFocalLengthsMeasureAsSquarePixels) {
    Json scene = Json::parse(kValidScene);
    scene["shapes"] = Json::parse(R"([{"name": "p", "kind": "point",
        "picks": {"left": [750.3, 499.6], "right": [250.2, 525.7]}}])");
    scene["cameras"][1]["params"] = {1000, 1250, 500, 400};
    const measure::Vec3 lens =
        measure::Measure(measure::ParseScene(scene.dump(), "a", "")).shapes[0].point;
    const double aspect = 1000.0 / 1250.0;
    scene["cameras"][1]["params"] = {1000, 1000, 500, 320};  // cy 400 and height 800, scaled
    scene["cameras"][1]["height"] = 640;
    scene["shapes"][0]["picks"]["right"][1] = 525.7 * aspect;
    const measure::Vec3 square =
        measure::Measure(measure::ParseScene(scene.dump(), "b", "")).shapes[0].point;
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(lens[i], square[i], 1e-9 * std::hypot(square[0], square[1], square[2])) << i;
    }
    EXPECT_NEAR(lens[2], 2.0, 0.01);  // near the point (0.5, 0.2, 2) that the picks were made from
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
        const std::string& document = text;  // a lambda may not capture a structured binding
        ExpectInputError([&] { measure::ParseScene(document, "broken.json", ""); },
                         "broken.json",
                         where.c_str(),
                         where[0] == 'l' ? "malformed JSON: " : "given twice");
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
        const std::string& path = file;  // a lambda may not capture a structured binding
        ExpectInputError([&] { measure::LoadScene(path); }, file, nullptr, fragment);
    }
}

}  // namespace
