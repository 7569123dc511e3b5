// Runs polyview-measure as a user does, and checks the demo scene that the README points to.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "measure/json_node.h"
#include "measure/measurement.h"
#include "measure/scene.h"
#include "temp_dir.h"
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using measure::Json;

const std::string kDemoScene = std::string(POLYVIEW_SOURCE_DIR) + "/examples/scenes/pipe_rack.json";

struct SRunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program with arguments (already quoted where needed); captures both outputs in files of
// dir.
SRunResult RunProgram(const std::string& program,
                      const std::string& arguments,
                      const TempDir& dir) {
    const int status = std::system(("'" + program + "' " + arguments + " >'" +
                                    (dir / "stdout.txt") + "' 2>'" + (dir / "stderr.txt") + "'")
                                       .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            ReadFile(dir / "stdout.txt"),
            ReadFile(dir / "stderr.txt")};
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
    constexpr double kPipeEnd = 0.25 * 0.1095;
    const std::map<std::string, double> bounds = {
        {"point point", kLength},
        {"segment start", kLength},
        {"segment end", kLength},
        {"segment length", 2 * kLength},
        {"line direction", kAngle},
        {"line offset", kLength},
        {"cylinder radius", kLength},
        {"cylinder axis direction", kAngle},
        {"cylinder start", kPipeEnd},
        {"cylinder end", kPipeEnd},
        {"cylinder length", 2 * kPipeEnd},
        {"plane normal", kAngle},
        {"plane offset", kLength},
        {"curve samples", kResidual},  // a smooth fit, px
    };
    for (std::size_t i = 0; i < scene.shapes.size(); ++i) {
        const measure::ShapeResult& result = measured.shapes[i];
        SCOPED_TRACE(result.name);
        ASSERT_TRUE(result.ok) << result.reason;
        EXPECT_FALSE(result.truthErrors.empty());
        for (const measure::TruthError& error : result.truthErrors) {
            const std::string key = measure::KindName(result.kind) + (" " + error.quantity);
            ASSERT_EQ(bounds.count(key), 1u) << key;
            EXPECT_LT(std::fabs(error.value), bounds.at(key)) << key;
        }
        for (const measure::Residual& residual : result.residuals) {
            EXPECT_TRUE(residual.ok);
            EXPECT_LT(residual.pixels, kResidual) << scene.cameras[residual.camera].id;
        }
        EXPECT_GE(result.residuals.size(), result.kind == measure::ShapeKind::kPoint ? 3u : 0u);
    }
    EXPECT_EQ(measured.shapes[5].residuals.size(), 5u);  // the pipe; one camera saw a single edge
    EXPECT_EQ(measured.shapes[10].planePointCount, 4);   // the floor
}

// One run writes everything: with "--json -" standard output carries the JSON alone (so that it
// can be piped), the pictures and the COLMAP model go into directories that it creates, and no
// temporary file is left beside them. The model read back gives the same measurements.
TEST(MeasureCommand, DemoRunWritesJsonPicturesAndColmapModel) {
    TempDir dir("demo");
    const SRunResult run = Measure("--json - --svg '" + (dir / "pictures") + "' --export-colmap '" +
                                       (dir / "model") + "' '" + kDemoScene + "'",
                                   dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const Json before = Json::parse(run.out);
    EXPECT_EQ(before.at("summary").at("measured"), 12);
    EXPECT_EQ(before.at("shapes").size(), 12u);
    const auto count = [](const std::string& path) {
        return std::distance(fs::directory_iterator(path), fs::directory_iterator());
    };
    EXPECT_EQ(count(dir.Path()), 4);  // and stdout.txt, stderr.txt
    EXPECT_EQ(count(dir / "pictures"), 5);
    EXPECT_EQ(count(dir / "model"), 3);

    Json scene = Json::parse(ReadFile(kDemoScene));
    scene.erase("cameras");
    scene["camera_sources"] = Json::array({{{"format", "colmap"}, {"path", "model"}}});
    const SRunResult imported =
        Measure("--json - '" + dir.Write("scene.json", scene.dump()) + "'", dir);
    ASSERT_EQ(imported.status, 0) << imported.err;
    const Json after = Json::parse(imported.out);
    ASSERT_EQ(before.at("shapes").size(), after.at("shapes").size());
    for (std::size_t i = 0; i < before.at("shapes").size(); ++i) {
        const Json& a = before.at("shapes").at(i);
        const Json& b = after.at("shapes").at(i);
        SCOPED_TRACE(a.at("name").get<std::string>());
        EXPECT_EQ(a.at("status"), b.at("status"));
        const Json& point = a.at("result").value("point", Json::array());
        for (std::size_t k = 0; k < point.size(); ++k) {
            EXPECT_NEAR(
                point[k].get<double>(), b.at("result").at("point").at(k).get<double>(), 1e-9);
        }
        if (!a.at("max_residual").is_null()) {
            EXPECT_NEAR(
                a.at("max_residual").get<double>(), b.at("max_residual").get<double>(), 1e-6);
        }
    }
}

// Bad input and usage exit with status 2, an output that cannot be written with status 1; either
// way standard output stays empty and nothing is overwritten.
TEST(MeasureCommand, FailuresExitWithTheirStatus) {
    TempDir dir("cli_bad");
    const std::string scene = dir.Write("scene.json", ReadFile(kDemoScene));
    const std::string quoted = "'" + scene + "'";
    const std::string broken = "'" + dir.Write("broken.json", "{\"cameras\": [}\n") + "'";
    Json sourced = Json::parse(ReadFile(kDemoScene));
    sourced["camera_sources"] = Json::array({{{"format", "colmap"}, {"path", "model"}}});
    fs::create_directories(dir / "model");
    const std::string model = dir.Write("model/cameras.txt", "1 SIMPLE_PINHOLE 9 9 9 4 4\n");
    dir.Write("model/images.txt", "1 1 0 0 0 0 0 5 1 extra.png\n\n");
    const std::string colmap = "'" + dir.Write("colmap.json", sourced.dump()) + "'";
    // The same model named from a folder below: outside that scene's folder.
    sourced["camera_sources"][0]["path"] = "../model";
    fs::create_directories(dir / "below");
    const std::string outside = "'" + dir.Write("below/scene.json", sourced.dump()) + "'";
    const std::pair<std::string, std::string> cases[] = {
        {broken, "broken.json: line 1, column 14: malformed JSON"},
        {"'" + dir.Path() + "'", "is a directory"},
        {"", "no scene file given"},
        {"--frobnicate " + quoted, "unknown option --frobnicate"},
        {"--json", "--json needs a file name"},
        {"'" + (dir / "missing.json") + "'", "missing.json: cannot be opened"},
        // An output that is an input, by the same or by another name of the file.
        {"--json " + quoted + " " + quoted, "is an input"},
        {"--json '" + dir.Path() + "/../" + fs::path(dir.Path()).filename().string() +
             "/scene.json' " + quoted,
         "is an input"},
        {"--export-colmap '" + (dir / "model") + "' " + colmap, "is an input"},
        {"--quiet --json /nonexistent/dir/report.json " + quoted,
         "/nonexistent/dir/report.json: cannot be written"},
        {outside, "camera_sources[0].path: \"../model\" goes up with \"..\""},
        {"measure", "no scene file given"},
        {"format " + quoted + " -o", "-o needs a file name"},
        {"format --allow-outside-paths -o '" + model + "' " + colmap, "is an input"},
        {"format -o /nonexistent/dir/scene.json " + quoted, "cannot be written"},
    };
    for (const auto& [arguments, expected] : cases) {
        SCOPED_TRACE(arguments);
        const SRunResult run = Measure(arguments, dir);
        EXPECT_EQ(run.status, expected.find("cannot be written") == std::string::npos ? 2 : 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadFile(scene), ReadFile(kDemoScene));
    EXPECT_EQ(ReadFile(model), "1 SIMPLE_PINHOLE 9 9 9 4 4\n");
    EXPECT_EQ(Measure("--quiet --allow-outside-paths " + outside, dir).status, 0);
    // Through a symbolic link the file it points to is replaced, and the link is kept.
    fs::create_symlink("report.json", dir / "link.json");
    ASSERT_EQ(Measure("--quiet --json '" + (dir / "link.json") + "' " + quoted, dir).status, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.json"));
    EXPECT_EQ(Json::parse(ReadFile(dir / "report.json")).at("summary").at("measured"), 12);
}

// "measure" is the bare command, "help" prints the usage, "format" writes the scene back: to
// standard output, or with -o in place, where formatting it again changes nothing.
TEST(Subcommands, MeasureHelpAndFormat) {
    TempDir dir("subcommands");
    const std::string scene = "'" + dir.Write("scene.json", ReadFile(kDemoScene)) + "'";
    const SRunResult bare = Measure("--json - " + scene, dir);
    ASSERT_EQ(bare.status, 0) << bare.err;
    EXPECT_EQ(Measure("measure --json - " + scene, dir).out, bare.out);
    const SRunResult help = Measure("help", dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("format SCENE.json [-o OUT.json]"), std::string::npos) << help.out;
    const SRunResult formatted = Measure("format " + scene, dir);
    ASSERT_EQ(formatted.status, 0) << formatted.err;
    EXPECT_EQ(Json::parse(formatted.out), Json::parse(ReadFile(kDemoScene)));
    ASSERT_EQ(Measure("format " + scene + " -o " + scene, dir).status, 0);
    EXPECT_EQ(ReadFile(dir / "scene.json"), formatted.out);
    EXPECT_EQ(Measure("format " + scene, dir).out, formatted.out);
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
