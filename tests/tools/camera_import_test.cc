#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "measure/camera_fields.h"
#include "measure/colmap_model.h"
#include "measure/opencv_camera.h"
#include "measure/rotation.h"
#include "measure/scene.h"
#include "temp_dir.h"
#include <gtest/gtest.h>

#include "support/camera_rig.h"

namespace {

namespace fs = std::filesystem;

constexpr double kPi = 3.14159265358979323846;

// The image of a world point through the tool's camera, computed with the test rig's projection.
C2DCoordinate Image(const measure::Camera& camera, const measure::Vec3& x) {
    return ProjectPoint(camera.calibration.GetCameraParam(), C3DVector(x[0], x[1], x[2]));
}

double FocalLength(const measure::Camera& camera) {
    return camera.calibration.GetCameraParam().GetIntrinsicParam().GetFocalLengthParam();
}

TEST(CameraImportRotation, QuaternionRoundTripIncludingHalfTurnsAndQuarterTurn) {
    // Rotation vectors from small to half turns, where the trace is -1 and the usual
    // formula divides by zero.
    const measure::Vec3 vectors[] = {{0, 0, 0},
                                     {1e-9, 0, 0},
                                     {0.3, -0.2, 0.1},
                                     {2.5, 0.4, -1.0},
                                     {kPi, 0, 0},
                                     {kPi / std::sqrt(2.0), kPi / std::sqrt(2.0), 0},
                                     {0, 0, -3.0}};
    for (const measure::Vec3& v : vectors) {
        SCOPED_TRACE(v[0] + 10 * v[1] + 100 * v[2]);
        const auto rotation = measure::RotationFromVector(v);
        const auto q = measure::QuaternionFromRotation(rotation);
        EXPECT_GE(q[0], 0.0);
        EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-15);
        const auto back = measure::RotationFromQuaternion(q[0], q[1], q[2], q[3]);
        for (int i = 0; i < 9; ++i) {
            EXPECT_NEAR(back[i], rotation[i], 1e-14) << i;
        }
    }
    const double h = std::sqrt(0.5);
    const auto r = measure::RotationFromQuaternion(2 * h, 0, 0, 2 * h);  // 90 degrees about z,
    EXPECT_NEAR(r[3], 1.0, 1e-15);  // not normalised on input: R (1, 0, 0) = (0, 1, 0)
    EXPECT_NEAR(r[1], -1.0, 1e-15);
}

TEST(ColmapModel, WriteThenReadGivesTheSameCameras) {
    TempDir dir("colmap_round_trip");
    std::vector<measure::Camera> cameras(3);
    const measure::Vec3 vectors[3] = {{0.1, 0.2, 0.3}, {-2.0, 0.5, 0.7}, {kPi, 0.0, 0.0}};
    for (int i = 0; i < 3; ++i) {
        cameras[i].id = "image_" + std::to_string(i) + ".jpg";
        cameras[i].calibration = measure::PinholeCamera(1000.0 + 123.456 * i,
                                                        640.25 + i,
                                                        480.75 - i,
                                                        1280 + i,
                                                        960,
                                                        measure::RotationFromVector(vectors[i]),
                                                        {0.1 * i, -1.0 / 3.0, 5.0 + i});
    }
    measure::WriteColmapModel(dir / "new/model", cameras);  // made like --svg's directory
    std::vector<std::string> warnings;
    const std::vector<measure::Camera> read = measure::ReadColmapModel(dir / "new/model", warnings);
    EXPECT_TRUE(warnings.empty());
    ASSERT_EQ(read.size(), cameras.size());
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        SCOPED_TRACE(i);
        const auto fields = [](const measure::Camera& c) {
            const CCameraParam& param = c.calibration.GetCameraParam();
            const C2DCoordinate principal = param.GetIntrinsicParam().GetPrincipalPointParam();
            std::array<double, 6> values{
                FocalLength(c), principal.GetData(0), principal.GetData(1)};
            param.GetExtrinsicParam().GetTranslateVector().GetVector(&values[3]);
            return std::tuple(c.id, values, c.calibration.GetWidth(), c.calibration.GetHeight());
        };
        EXPECT_EQ(fields(read[i]), fields(cameras[i]));  // written to full precision
        double rotation[9], expected[9];
        read[i].calibration.GetCameraParam().GetExtrinsicParam().GetRotateMatrix().GetMatrix(
            rotation);
        cameras[i].calibration.GetCameraParam().GetExtrinsicParam().GetRotateMatrix().GetMatrix(
            expected);
        for (int k = 0; k < 9; ++k) {
            EXPECT_NEAR(rotation[k], expected[k], 1e-14);  // via a quaternion
        }
    }
}

TEST(ColmapModel, UnusableModelsNameFileAndLine) {
    const std::string ok = "1 SIMPLE_PINHOLE 1000 800 1000 500 400\n";
    struct Case {
        std::string cameras, images;
        const char *file, *where, *fragment;
    };
    const Case cases[] = {
        {"1 OPENCV 1000 800 1000 1000 500 400 0.1 0 0 0\n", "", "cameras", "line 1", "\"OPENCV\""},
        {"# c\n1 SIMPLE_PINHOLE 1000 800 0 500 400\n", "", "cameras", "line 2", "focal length"},
        {"1 SIMPLE_PINHOLE 1000 800 1000 500\n", "", "cameras", "line 1", "f, cx, cy"},
        {"1 SIMPLE_PINHOLE 1000 -800 1000 500 400\n", "", "cameras", "line 1", "whole numbers"},
        {"1 SIMPLE_PINHOLE 1000 800 nan 500 400\n", "", "cameras", "line 1", "finite number"},
        {ok, "1 1 0 0 0 0 0 5 3 a.png\n\n", "images", "line 1", "CAMERA_ID 3 is not in"},
        {ok, "1 1 0 0 0 0 0 5 1\n", "images", "line 1", "got 9 fields"},
        {ok, "1 0 0 0 0 0 0 5 1 a.png\n", "images", "line 1", "quaternion is zero"},
        {ok, "# nothing\n", "images", "", "lists no image"},
        // A finite translation whose camera centre -R^T T overflows: no usable pose.
        {ok, "1 0.92388 0 0 0.382683 1.5e308 1.5e308 0 1 a.png\n", "images", "line 1", "finite"},
    };
    for (const Case& bad : cases) {
        SCOPED_TRACE(bad.fragment);
        TempDir dir("colmap_bad");
        dir.Write("cameras.txt", bad.cameras);
        dir.Write("images.txt", bad.images);
        std::vector<std::string> warnings;
        ExpectInputError([&] { measure::ReadColmapModel(dir.Path(), warnings); },
                         dir / (bad.file + std::string(".txt")),
                         bad.where,
                         bad.fragment);
    }
}

// The camera used by the OpenCV-style files below: K with f = 800, principal point (320, 240),
// R a quarter turn about z, t = (0, 0, 4), image 640 x 480. World (1, 0, 0) maps to camera
// (0, 1, 4) and so to image (320, 240 + 800 / 4) = (320, 440).
const char kYaml[] =
    "%YAML:1.0\n---\ncalibration_time: \"Mon Jan  1 00:00:00 2024\"\n"
    "image_width: 640\nimage_height: 480   # pixels\n"
    "camera_matrix: !!opencv-matrix\n   rows: 3\n   cols: 3\n   dt: d\n"
    "   data: [ 8.0e+02, 0., 320., 0., 8.0e+02, 240.,\n       0., 0., 1. ]\n"
    "distortion_coefficients: !!opencv-matrix\n   rows: 1\n   cols: 5\n   dt: d\n"
    "   data: [ 0., 0., 0., 0., 0. ]\n"
    "R: !!opencv-matrix\n   rows: 3\n   cols: 3\n   dt: d\n"
    "   data: [ 0., -1., 0., 1., 0., 0., 0., 0., 1. ]\n"
    "t: !!opencv-matrix\n   rows: 3\n   cols: 1\n   dt: d\n   data: [ 0., 0., 4. ]\n";

TEST(OpenCvCamera, YamlAndJsonGiveTheSameCamera) {
    TempDir dir("opencv");
    const std::string yaml = dir.Write("left.yml", kYaml);
    // JSON with nested rows and a rotation vector instead of R.
    const std::string json = dir.Write("right.json",
                                       R"({"K": [[800, 0, 320], [0, 800, 240], [0, 0, 1]],
                                           "rvec": [0, 0, 1.5707963267948966],
                                           "tvec": [0, 0, 4], "image_size": [640, 480]})");
    for (const std::string& file : {yaml, json}) {
        SCOPED_TRACE(file);
        std::vector<std::string> warnings;
        const measure::Camera camera = measure::ReadOpenCvCamera(file, "cam", warnings);
        EXPECT_TRUE(warnings.empty());
        EXPECT_EQ(camera.id, "cam");
        EXPECT_EQ(FocalLength(camera), 800.0);
        EXPECT_EQ(camera.calibration.GetWidth(), 640);
        EXPECT_EQ(camera.calibration.GetHeight(), 480);
        const C2DCoordinate image = Image(camera, {1, 0, 0});
        EXPECT_NEAR(image.GetData(0), 320.0, 1e-12);
        EXPECT_NEAR(image.GetData(1), 440.0, 1e-12);
    }
}

TEST(OpenCvCamera, UnequalFocalLengthsSkewAndDistortionWarn) {
    TempDir dir("opencv_warn");
    std::string text = kYaml;
    text.replace(text.find("8.0e+02, 240."), 7, "8.2e+02");                      // fy = 820
    text.replace(text.find("[ 8.0e+02, 0., 320."), 19, "[ 8.0e+02, 1.5, 320.");  // skew
    text.replace(text.find("[ 0., 0., 0., 0., 0. ]"), 22, "[ -0.1, 0.01, 0., 0., 0. ]");
    const std::string file = dir.Write("warn.yml", text);
    std::vector<std::string> warnings;
    const measure::Camera camera = measure::ReadOpenCvCamera(file, "cam", warnings);
    EXPECT_EQ(FocalLength(camera), 810.0);
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_NE(warnings[0].find("20 px"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("skew"), std::string::npos) << warnings[1];
    EXPECT_NE(warnings[2].find("distortion"), std::string::npos) << warnings[2];
}

// Fields, and files that are no camera file: a directory, a device (reading /dev/zero would not
// end) and a file above the size limit of 64 MiB.
TEST(OpenCvCamera, UnusableFilesNameTheField) {
    TempDir dir("opencv_bad");
    const auto edit = [](const std::string& from, const std::string& to, std::string text = kYaml) {
        return text.replace(text.find(from), from.size(), to);
    };
    const auto editJson = [&](const std::string& from, const std::string& to) {
        return edit(from, to, R"({"K": [[800, 0, 320], [0, 800, 240], [0, 0, 1]],
            "R": [1, 0, 0, 0, 1, 0, 0, 0, 1], "t": [0, 0, 4], "width": 640, "height": 480})");
    };
    const std::string large = dir / "large.yml";
    std::ofstream(large) << kYaml;
    fs::resize_file(large, (64u << 20) + 1);
    struct Case {
        std::string text;  // the file's text, or the file itself when where is empty
        const char* where;
        const char* fragment;
    };
    const Case cases[] = {
        {edit("camera_matrix", "intrinsics"), "top level", "looked for: K, camera_matrix, camera"},
        {edit("   cols: 3\n   dt: d\n   data: [ 8.0", "   cols: 4\n   dt: d\n   data: [ 8.0"),
         "camera_matrix",
         "expected a 3 x 3 matrix, got 3 x 4"},
        {edit("[ 0., -1., 0.", "[ 0., -2., 0."), "R", "not a rotation matrix"},
        {edit("[ 0., 0., 4. ]", "[ 0., 0., 4."), "line 26", "not closed"},
        {edit("[ 0., 0., 4. ]", "[ .nan, 0., 4. ]"), "t.data[0]", "not finite (NaN)"},
        {editJson("[[800", "[[-800"), "K", "must be greater than 0"},
        {editJson("\"width\": 640", "\"width\": 0"), "width", "must be greater than 0"},
        {editJson("\"R\": [1, 0, 0, 0, 1, 0, 0, 0, 1]", "\"rvec\": [1e200, 0, 0]"),
         "rvec",
         "finite"},
        {dir.Path(), "", "is a directory"},
        {"/dev/zero", "", "not a regular file"},
        {large, "", "larger than the limit of 64 MiB"},
    };
    for (const Case& bad : cases) {
        SCOPED_TRACE(bad.fragment);
        const std::string file = *bad.where ? dir.Write("bad.yml", bad.text) : bad.text;
        std::vector<std::string> warnings;
        ExpectInputError([&] { measure::ReadOpenCvCamera(file, "cam", warnings); },
                         file,
                         bad.where,
                         bad.fragment);
    }
}

// A hand-written COLMAP model and an OpenCV file beside the scene that lists them.
TEST(SceneCameraSources, ImportsNextToTheSceneFile) {
    TempDir dir("scene_sources");
    fs::create_directories(dir / "model");
    dir.Write("model/cameras.txt",
              "# Camera list with one line of data per camera:\n"
              "#   CAMERA_ID, MODEL, WIDTH, HEIGHT, PARAMS[]\n"
              "1 SIMPLE_PINHOLE 1000 800 1000 500 400\n"
              "2 PINHOLE 1000 800 1000 1010 500 400\n");
    // Image 7: a quarter turn about z (w = z = sqrt(1/2)), 5 in front; its 2D point line is
    // empty. Image 9: no rotation, with a points line.
    dir.Write("model/images.txt",
              "# Image list with two lines of data per image:\n"
              "7 0.70710678118654757 0 0 0.70710678118654757 0 0 5 1 turned.png\n"
              "\n"
              "9 1 0 0 0 0 0 5 2 straight.png\n"
              "100.5 200.5 -1 300 400 17\n");
    dir.Write("side.yml", kYaml);
    const measure::Scene scene = measure::LoadScene(dir.Write("scene.json", R"({
        "camera_sources": [{"format": "colmap", "path": "model"},
                           {"format": "opencv", "path": "side.yml"}],
        "shapes": [{"name": "p", "kind": "point",
                    "picks": {"turned.png": [500, 600], "side": [320, 440]}}]})"));
    ASSERT_EQ(scene.cameras.size(), 3u);
    EXPECT_EQ(scene.cameras[0].id, "turned.png");
    EXPECT_EQ(scene.cameras[1].id, "straight.png");
    EXPECT_EQ(scene.cameras[2].id, "side");  // named after the file
    // World (1, 0, 0) -> camera (0, 1, 5) -> image (500, 400 + 1000 / 5).
    const C2DCoordinate turned = Image(scene.cameras[0], {1, 0, 0});
    EXPECT_NEAR(turned.GetData(0), 500.0, 1e-12);
    EXPECT_NEAR(turned.GetData(1), 600.0, 1e-12);
    // PINHOLE fx = 1000, fy = 1010: the mean, and a warning saying how far apart they are.
    EXPECT_EQ(FocalLength(scene.cameras[1]), 1005.0);
    ASSERT_EQ(scene.warnings.size(), 1u);
    for (const char* fragment : {"cameras.txt line 4", "10 px", "mean 1005"}) {
        EXPECT_NE(scene.warnings[0].find(fragment), std::string::npos) << scene.warnings[0];
    }
    EXPECT_EQ(scene.inputs.size(), 4u);  // the scene, cameras.txt, images.txt, side.yml
}

}  // namespace
