// Runs polyview-measure as a user does, and checks the demo scene that the README points to.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "measure/json_node.h"
#include "measure/measurement.h"
#include "measure/scene.h"
#include "xml_check.h"
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using measure::Json;

const std::string kDemoScene = std::string(POLYVIEW_SOURCE_DIR) + "/examples/scenes/pipe_rack.json";

struct SRunResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class TempDir {
  public:
    explicit TempDir(const std::string& name)
        : m_path(fs::temp_directory_path() /
                 ("polyview_measure_cli_" + name + "_" + std::to_string(getpid()))) {
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~TempDir() { fs::remove_all(m_path); }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

  private:
    fs::path m_path;
};

// Runs a program with arguments (already quoted where needed); captures both outputs.
SRunResult RunProgram(const std::string& program,
                      const std::string& arguments,
                      const TempDir& dir) {
    const std::string errFile = dir / "stderr.txt";
    const std::string command = "'" + program + "' " + arguments + " 2>'" + errFile + "'";
    SRunResult run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return run;
    }
    char buffer[4096];
    std::size_t count = 0;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, count);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadFile(errFile);
    return run;
}

SRunResult Measure(const std::string& arguments, const TempDir& dir) {
    return RunProgram(POLYVIEW_MEASURE_EXE, arguments, dir);
}

TEST(DemoScene, IsWhatItsGeneratorWrites) {
    TempDir dir("generator");
    const SRunResult run = RunProgram(PIPE_RACK_SCENE_EXE, "'" + (dir / "scene.json") + "'", dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(dir / "scene.json"), ReadFile(kDemoScene))
        << "examples/scenes/pipe_rack.json is out of date: rerun pipe_rack_scene";
}

double Error(const measure::ShapeResult& result, const std::string& quantity) {
    for (const measure::TruthError& error : result.truthErrors) {
        if (error.quantity == quantity) {
            return std::fabs(error.value);
        }
    }
    ADD_FAILURE() << result.name << ": no truth error " << quantity;
    return 1e9;
}

// The bounds follow from the scene: picks carry 0.5 px of noise per coordinate in 12-megapixel
// images (f about 3550 px) taken 4.5 to 7 m away, so one pixel is 1.3 to 2 mm at the rack.
// - Points are triangulated from 3 to 5 rays: errors of about a millimetre; 5 mm is several
//   times that.
// - Segment ends come from the extent that the picked end points give along the line in each
//   image, and the farthest of them is kept, so the noise pushes them outwards by about one
//   along-line noise (up to twice the across-line one in oblique views): 5 mm.
// - Lines and the pipe's radius come from planes through many noisy picks, averaged: 5 mm and
//   half a degree.
// - The pipe's ends come from its silhouettes' end points, which lie on the end circles up to a
//   radius (0.11 m) beside the axis ends; carried onto the axis they fall about a centimetre
//   outside the ends even without noise (10 and 11 mm for this scene's exact projections), so
//   the ends are held to a quarter of the radius, 27 mm.
// - Residuals: a pick lies about 0.5 to 1 px from a fit that absorbs part of its noise; 2 px.
TEST(DemoScene, MeasuresEveryShapeWithinItsBounds) {
    const measure::Scene scene = measure::LoadScene(kDemoScene);
    const measure::Measurement measured = measure::Measure(scene);
    ASSERT_EQ(measured.shapes.size(), 12u);
    constexpr double kLength = 0.005;  // m
    constexpr double kAngle = 0.5;     // degrees
    constexpr double kResidual = 2.0;  // px
    for (std::size_t i = 0; i < scene.shapes.size(); ++i) {
        const measure::ShapeResult& result = measured.shapes[i];
        SCOPED_TRACE(result.name);
        ASSERT_TRUE(result.ok) << result.reason;
        ASSERT_TRUE(scene.shapes[i].truth.has_value());
        for (const measure::Residual& residual : result.residuals) {
            EXPECT_TRUE(residual.ok);
            EXPECT_LT(residual.pixels, kResidual) << scene.cameras[residual.camera].id;
        }
        switch (result.kind) {
            case measure::ShapeKind::kPoint:
                EXPECT_LT(Error(result, "point"), kLength);
                EXPECT_GE(result.residuals.size(), 3u);
                break;
            case measure::ShapeKind::kSegment:
                EXPECT_LT(Error(result, "start"), kLength);
                EXPECT_LT(Error(result, "end"), kLength);
                EXPECT_LT(Error(result, "length"), 2 * kLength);
                break;
            case measure::ShapeKind::kLine:
                EXPECT_LT(Error(result, "direction"), kAngle);
                EXPECT_LT(Error(result, "offset"), kLength);
                break;
            case measure::ShapeKind::kCylinder:
                EXPECT_LT(Error(result, "radius"), kLength);
                EXPECT_LT(Error(result, "axis direction"), kAngle);
                EXPECT_LT(Error(result, "start"), 0.25 * 0.1095);
                EXPECT_LT(Error(result, "end"), 0.25 * 0.1095);
                EXPECT_EQ(result.residuals.size(), 5u);  // one camera saw a single edge
                break;
            case measure::ShapeKind::kPlane:
                EXPECT_LT(Error(result, "normal"), kAngle);
                EXPECT_LT(Error(result, "offset"), kLength);
                EXPECT_EQ(result.planePointCount, 4);
                break;
            case measure::ShapeKind::kCurve:
                // Samples of a smooth fit near picks with 0.5 px noise.
                EXPECT_LT(Error(result, "samples"), kResidual);
                break;
        }
    }
}

TEST(MeasureCommand, DemoRunWritesReportJsonAndPictures) {
    TempDir dir("demo");
    const SRunResult run = Measure("--json '" + (dir / "report.json") + "' --svg '" +
                                       (dir / "pictures") + "' '" + kDemoScene + "'",
                                   dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const measure::Scene scene = measure::LoadScene(kDemoScene);
    for (const measure::ShapeSpec& shape : scene.shapes) {
        EXPECT_NE(run.out.find("  " + shape.name + ": "), std::string::npos) << shape.name;
    }
    EXPECT_NE(run.out.find("12 of 12 shapes measured"), std::string::npos) << run.out;

    const Json report = Json::parse(ReadFile(dir / "report.json"));
    EXPECT_EQ(report.at("summary").at("measured"), 12);
    EXPECT_EQ(report.at("shapes").size(), 12u);

    for (const measure::Camera& camera : scene.cameras) {
        SCOPED_TRACE(camera.id);
        const std::string path = (dir / "pictures") + "/" + camera.id + ".svg";
        EXPECT_NE(run.out.find(path), std::string::npos);
        const SXmlCheck xml = CheckXml(ReadFile(path));
        ASSERT_TRUE(xml.wellFormed) << xml.problem;
        EXPECT_EQ(xml.rootAttributes.at("width"), "4032");
        EXPECT_EQ(xml.rootAttributes.at("height"), "3024");
    }
}

TEST(MeasureCommand, BadInputExitsWithStatusTwo) {
    TempDir dir("bad");
    const std::string camera =
        R"({"id": "a", "focal_length": 1000, "principal_point": [500, 400], "width": 1000,
            "height": 800, "rotation": [0, 0, 0], "translation": [0, 0, 0]})";
    const std::string shapes =
        R"("shapes": [{"name": "p", "kind": "point", "picks": {"a": [1, 2]}}])";
    const std::pair<std::string, std::string> cases[] = {
        {"{\"cameras\": [" + camera + "], " + shapes, "line 3, column 1: malformed JSON"},
        {"{\"cameras\": [" + camera.substr(0, camera.find("\"focal")) +
             camera.substr(camera.find("\"principal")) + "], " + shapes + "}",
         "cameras[0]: missing required field \"focal_length\""},
        {"{\"cameras\": [" + camera +
             "], \"shapes\": [{\"name\": \"p\", \"kind\": \"point\", "
             "\"picks\": {\"b\": [1, 2]}}]}",
         "shapes[0].picks.b: unknown camera id \"b\""},
        {"{\"cameras\": [" + camera +
             "], \"shapes\": [{\"name\": \"p\", \"kind\": \"point\", "
             "\"picks\": {\"a\": [1, 1e999]}}]}",
         "malformed JSON: number overflow parsing '1e999'"},
        {"{\"cameras\": [" + camera.substr(0, camera.find("1000")) + "-1000" +
             camera.substr(camera.find("1000") + 4) + "], " + shapes + "}",
         "cameras[0].focal_length: must be greater than 0"},
        {"{\"cameras\": [" + camera.substr(0, camera.find("800")) + "0" +
             camera.substr(camera.find("800") + 3) + "], " + shapes + "}",
         "cameras[0].height: must be greater than 0"},
        {"{\"cameras\": [" + camera +
             "], \"shapes\": [{\"name\": \"p\", \"kind\": \"point\", "
             "\"picks\": {}}]}",
         "shapes[0].picks: empty pick list"},
        {"{\"cameras\": [" + camera +
             "], \"shapes\": [{\"name\": \"p\", \"kind\": \"point\", "
             "\"picks\": {\"a\": \"1, 2\"}}]}",
         "shapes[0].picks.a: expected an image point [x, y], got a string"},
    };
    int number = 0;
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(expected);
        const std::string file = dir / ("bad" + std::to_string(number++) + ".json");
        std::ofstream(file) << text << "\n";
        const SRunResult run = Measure("'" + file + "'", dir);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("polyview-measure: " + file + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    }
    const std::pair<std::string, std::string> usage[] = {
        {"", "no scene file given"},
        {"--frobnicate scene.json", "unknown option --frobnicate"},
        {"--json", "--json needs a file name"},
        {"'" + (dir / "missing.json") + "'", "missing.json: cannot be opened"},
    };
    for (const auto& [arguments, expected] : usage) {
        SCOPED_TRACE(arguments);
        const SRunResult run = Measure(arguments, dir);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    }
}

TEST(MeasureCommand, UnwritableOutputExitsWithStatusOne) {
    TempDir dir("unwritable");
    const SRunResult run =
        Measure("--quiet --json /nonexistent/dir/report.json '" + kDemoScene + "'", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("/nonexistent/dir/report.json: cannot be written"), std::string::npos)
        << run.err;
}

// The demo's cameras written as a COLMAP model and read back give the same measurements.
TEST(MeasureCommand, ColmapExportRoundTrip) {
    TempDir dir("colmap");
    fs::create_directories(dir / "model");
    const SRunResult exported =
        Measure("--quiet --json '" + (dir / "before.json") + "' --export-colmap '" +
                    (dir / "model") + "' '" + kDemoScene + "'",
                dir);
    ASSERT_EQ(exported.status, 0) << exported.err;

    Json scene = Json::parse(ReadFile(kDemoScene));
    scene.erase("cameras");
    scene["camera_sources"] = Json::array({{{"format", "colmap"}, {"path", "model"}}});
    std::ofstream(dir / "scene.json") << scene.dump(2);
    const SRunResult imported = Measure(
        "--quiet --json '" + (dir / "after.json") + "' '" + (dir / "scene.json") + "'", dir);
    ASSERT_EQ(imported.status, 0) << imported.err;

    const Json before = Json::parse(ReadFile(dir / "before.json"));
    const Json after = Json::parse(ReadFile(dir / "after.json"));
    ASSERT_EQ(before.at("shapes").size(), after.at("shapes").size());
    for (std::size_t i = 0; i < before.at("shapes").size(); ++i) {
        const Json& a = before.at("shapes").at(i);
        const Json& b = after.at("shapes").at(i);
        SCOPED_TRACE(a.at("name").get<std::string>());
        EXPECT_EQ(a.at("status"), b.at("status"));
        if (a.at("result").contains("point")) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(a.at("result").at("point").at(k).get<double>(),
                            b.at("result").at("point").at(k).get<double>(),
                            1e-9);
            }
        }
        if (!a.at("max_residual").is_null()) {
            EXPECT_NEAR(
                a.at("max_residual").get<double>(), b.at("max_residual").get<double>(), 1e-6);
        }
    }
}

// The complete example of docs/scene-format.md is valid and measures every shape: its picks are
// exact projections rounded to 0.01 px.
TEST(SceneFormatDocument, CompleteExampleMeasuresEveryShape) {
    const std::string document =
        ReadFile(std::string(POLYVIEW_SOURCE_DIR) + "/docs/scene-format.md");
    const std::size_t start = document.find("```json\n");
    ASSERT_NE(start, std::string::npos);
    const std::size_t end = document.find("```", start + 8);
    const measure::Scene scene =
        measure::ParseScene(document.substr(start + 8, end - start - 8), "scene-format.md", "");
    const measure::Measurement measured = measure::Measure(scene);
    EXPECT_EQ(measured.shapes.size(), 8u);
    for (const measure::ShapeResult& result : measured.shapes) {
        SCOPED_TRACE(result.name);
        ASSERT_TRUE(result.ok) << result.reason;
        for (const measure::Residual& residual : result.residuals) {
            EXPECT_LT(residual.pixels, 0.05);
        }
        for (const measure::TruthError& error : result.truthErrors) {
            SCOPED_TRACE(error.quantity);
            // The pipe's ends lie a fraction of its 60 mm radius off (see the demo's bounds).
            EXPECT_LT(std::fabs(error.value), error.unit == "m" ? 0.005 : 0.01);
        }
    }
}

}  // namespace
