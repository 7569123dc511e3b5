#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "measure/camera_fields.h"
#include "measure/colmap_model.h"
#include "measure/opencv_camera.h"
#include "measure/rotation.h"
#include "measure/scene.h"
#include "measure/yaml_reader.h"
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

// The committed camera files (tests/tools/data, recorded by record_camera_files.py).
std::string Data(const std::string& name) {
    return std::string(POLYVIEW_SOURCE_DIR) + "/tests/tools/data/" + name;
}

// A camera's lens as COLMAP names it (SIMPLE_PINHOLE for a camera without a lens).
std::pair<std::string, std::vector<double>> Colmap(const measure::Camera& camera) {
    std::string name = "SIMPLE_PINHOLE";
    const CIntrinsicParam& pinhole = camera.calibration.GetCameraParam().GetIntrinsicParam();
    std::vector<double> params = {pinhole.GetFocalLengthParam(),
                                  pinhole.GetPrincipalPointParam().GetData(0),
                                  pinhole.GetPrincipalPointParam().GetData(1)};
    const CLensModel& lens = camera.calibration.GetLensModel();
    EXPECT_TRUE(lens.IsNone() || lens.GetColmap(name, params));
    return {name, params};
}

// Equal ids, lenses, image sizes and translations; rotations within 1e-15 (through quaternions).
void ExpectSameCameras(const std::vector<measure::Camera>& read,
                       const std::vector<measure::Camera>& expected) {
    ASSERT_EQ(read.size(), expected.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(expected[i].id);
        const auto fields = [](const measure::Camera& c) {
            std::array<double, 3> t{};
            c.calibration.GetCameraParam().GetExtrinsicParam().GetTranslateVector().GetVector(
                t.data());
            return std::tuple(
                c.id, Colmap(c), t, c.calibration.GetWidth(), c.calibration.GetHeight());
        };
        EXPECT_EQ(fields(read[i]), fields(expected[i]));
        double rotation[9], other[9];
        read[i].calibration.GetCameraParam().GetExtrinsicParam().GetRotateMatrix().GetMatrix(
            rotation);
        expected[i].calibration.GetCameraParam().GetExtrinsicParam().GetRotateMatrix().GetMatrix(
            other);
        for (int k = 0; k < 9; ++k) {
            EXPECT_NEAR(rotation[k], other[k], 1e-15);
        }
    }
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

// Written with every value to full precision: read back the same, lens models included.
TEST(ColmapModel, WriteThenReadGivesTheSameCameras) {
    TempDir dir("colmap_round_trip");
    std::vector<measure::Camera> cameras(3);
    const measure::Vec3 vectors[3] = {{0.1, 0.2, 0.3}, {-2.0, 0.5, 0.7}, {kPi, 0.0, 0.0}};
    const double coefficients[4] = {-0.2, 0.05, 0.001, -0.002};
    CLensModel lens;
    ASSERT_TRUE(CLensModel::CreateOpenCV(1000, 1010, 0, 640.5, 480.5, coefficients, 4, lens));
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
    cameras[2].calibration = measure::LensCamera(
        lens, 1280, 960, measure::RotationFromVector(vectors[2]), {0.2, -1.0 / 3.0, 7.0});
    measure::WriteColmapModel(dir / "new/model", cameras);  // made like --svg's directory
    ExpectSameCameras(measure::ReadColmapModel(dir / "new/model"), cameras);
    EXPECT_EQ(Colmap(cameras[2]).first, "OPENCV");
}

// COLMAP's binary model (colmap_bin, written by COLMAP from colmap_txt): the same cameras as the
// text, one per camera model. Every truncation, a count beyond the file's size, a byte left over
// and an unknown or unsupported model are refused naming the byte, never read past the end.
TEST(ColmapModel, BinaryModelAsColmapWritesIt) {
    const std::vector<measure::Camera> text = measure::ReadColmapModel(Data("colmap_txt"));
    ASSERT_EQ(text.size(), 10u);
    std::vector<measure::Camera> binary = measure::ReadColmapModel(Data("colmap_bin"));
    std::sort(
        binary.begin(), binary.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    ExpectSameCameras(binary, text);  // COLMAP wrote the images in another order
    EXPECT_EQ(Colmap(text[9]).first, "THIN_PRISM_FISHEYE");
    EXPECT_EQ(text[2].id, "img03.jpg");  // the one with 2D points, skipped

    TempDir dir("colmap_binary");
    const std::string cameras = ReadFile(Data("colmap_bin/cameras.bin"));
    const std::string images = ReadFile(Data("colmap_bin/images.bin"));
    const auto read = [&](const std::string& camerasBytes, const std::string& imagesBytes) {
        dir.Write("cameras.bin", camerasBytes);
        dir.Write("images.bin", imagesBytes);
        return [&dir] { measure::ReadColmapModel(dir.Path()); };
    };
    // Every fifth length: 5 is prime to the sizes of the fields, so cuts fall at every place in
    // them.
    for (std::size_t cut = 0; cut < cameras.size(); cut += 5) {
        ExpectInputError(read(cameras.substr(0, cut), images), dir / "cameras.bin", nullptr, "");
    }
    for (std::size_t cut = 0; cut < images.size(); cut += 5) {
        ExpectInputError(read(cameras, images.substr(0, cut)), dir / "images.bin", nullptr, "");
    }
    const auto edit = [](std::string bytes, std::size_t at, const std::string& with) {
        return bytes.replace(at, with.size(), with);
    };
    const std::string huge("\0\0\0\0\0\0\0\x10", 8);  // 2^60 records
    struct Case {
        std::string cameras, images;
        const char *file, *where, *fragment;
    };
    const Case cases[] = {
        {edit(cameras, 0, huge), images, "cameras", "byte 0", "cannot fit in the 760 bytes left"},
        {cameras, edit(images, 0, huge), "images", "byte 0", "cannot fit"},
        {cameras + '\0', images, "cameras", "byte 768", "1 bytes left over"},
        {edit(cameras, 12, "\x07"), images, "cameras", "byte 8", "\"FOV\" is not supported"},
        {edit(cameras, 12, std::string(4, '\xff')), images, "cameras", "byte 8", "model id -1"},
        {edit(cameras, 16, std::string(8, '\0')), images, "cameras", "byte 8", "whole numbers"},
    };
    for (const Case& bad : cases) {
        SCOPED_TRACE(bad.fragment);
        ExpectInputError(read(bad.cameras, bad.images),
                         dir / (bad.file + std::string(".bin")),
                         bad.where,
                         bad.fragment);
    }
}

TEST(ColmapModel, UnusableModelsNameFileAndLine) {
    const std::string ok = "1 SIMPLE_PINHOLE 1000 800 1000 500 400\n";
    struct Case {
        std::string cameras, images;
        const char *file, *where, *fragment;
    };
    const Case cases[] = {
        {"1 FOV 1000 800 1000 1000 500 400 0.1\n", "", "cameras", "line 1", "\"FOV\" is not sup"},
        {"1 OPENCV 1000 800 1000 1000 500 400 0.1 0 0\n", "", "cameras", "line 1", "not 7"},
        {"1 LENS 1000 800 1000 500 400\n", "", "cameras", "line 1", "unknown camera model"},
        {"1 LENS\xff 1 1 1 1 1\n", "", "cameras", "line 1", "model \"LENS\xef\xbf\xbd\""},
        {"# c\n1 SIMPLE_PINHOLE 1000 800 0 500 400\n", "", "cameras", "line 2", "must be positive"},
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
        ExpectInputError([&] { measure::ReadColmapModel(dir.Path()); },
                         dir / (bad.file + std::string(".txt")),
                         bad.where,
                         bad.fragment);
    }
}

// The camera used by the OpenCV-style files below: K with f = 800, principal point (320, 240) in
// OpenCV's pixels, so (320.5, 240.5) in the scene's; R a quarter turn about z, t = (0, 0, 4),
// image 640 x 480. World (1, 0, 0) maps to camera (0, 1, 4) and so to (320.5, 440.5).
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

// YAML and JSON give the same camera, half a pixel from OpenCV's numbers; exported to COLMAP, whose
// pixels are the scene's, it keeps that half pixel.
TEST(OpenCvCamera, YamlAndJsonGiveTheSameCameraInTheScenePixels) {
    TempDir dir("opencv");
    const std::string yaml = dir.Write("left.yml", kYaml);
    // JSON with nested rows and a rotation vector instead of R.
    const std::string json = dir.Write("right.json",
                                       R"({"K": [[800, 0, 320], [0, 800, 240], [0, 0, 1]],
                                           "rvec": [0, 0, 1.5707963267948966],
                                           "tvec": [0, 0, 4], "image_size": [640, 480]})");
    for (const std::string& file : {yaml, json}) {
        SCOPED_TRACE(file);
        const std::vector<measure::Camera> cameras = measure::ReadOpenCvCameras(file, "cam", false);
        ASSERT_EQ(cameras.size(), 1u);
        EXPECT_EQ(cameras[0].id, "cam");
        EXPECT_TRUE(cameras[0].calibration.GetLensModel().IsNone());  // zero distortion
        EXPECT_EQ(cameras[0].calibration.GetWidth(), 640);
        EXPECT_EQ(cameras[0].calibration.GetHeight(), 480);
        const C2DCoordinate image = Image(cameras[0], {1, 0, 0});
        EXPECT_NEAR(image.GetData(0), 320.5, 1e-12);
        EXPECT_NEAR(image.GetData(1), 440.5, 1e-12);
        measure::WriteColmapModel(dir / "model", cameras);
        EXPECT_NE(
            ReadFile(dir / "model/cameras.txt").find("1 SIMPLE_PINHOLE 640 480 800 320.5 240.5\n"),
            std::string::npos);
    }
}

// Files written by OpenCV itself (record_camera_files.py): each camera projects check_point to the
// pixel that OpenCV projected it to, half a pixel on (radial-tangential with 8 and 5 coefficients,
// a stereo pair, the fisheye model). OpenCV's own calibration of 13 views gives 13 cameras.
TEST(OpenCvCamera, FilesWrittenByOpenCvProjectAsOpenCvDoes) {
    const std::pair<const char*, bool> files[] = {
        {"opencv_single.yml", false}, {"opencv_stereo.yml", false}, {"opencv_fisheye.yml", true}};
    for (const auto& [name, fisheye] : files) {
        SCOPED_TRACE(name);
        const std::vector<measure::Camera> cameras =
            measure::ReadOpenCvCameras(Data(name), "c", fisheye);
        const measure::Json document = measure::ParseOpenCvYaml(ReadFile(Data(name)), name);
        const auto point = document["check_point"]["data"].get<std::vector<double>>();
        const auto pixels = document["check_pixel"]["data"].get<std::vector<double>>();
        ASSERT_EQ(pixels.size(), 2 * cameras.size());
        for (std::size_t i = 0; i < cameras.size(); ++i) {
            EXPECT_FALSE(cameras[i].calibration.GetLensModel().IsNone());
            C2DCoordinate image;
            ASSERT_TRUE(
                cameras[i].calibration.Project(C3DVector(point[0], point[1], point[2]), image));
            EXPECT_NEAR(image.GetData(0), pixels[2 * i] + 0.5, 1e-9);
            EXPECT_NEAR(image.GetData(1), pixels[2 * i + 1] + 0.5, 1e-9);
        }
    }
    const std::vector<measure::Camera> views =
        measure::ReadOpenCvCameras(Data("chessboard_calibration.yml"), "left", false);
    ASSERT_EQ(views.size(), 13u);
    EXPECT_EQ(views[12].id, "left_13");
    EXPECT_EQ(views[12].calibration.GetLensModel().GetCoefficients().size(), 5u);
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
    const std::string stereo = ReadFile(Data("opencv_stereo.yml"));
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
        {edit("[ 0., 0., 4. ]", "[ 0., 0., 4."), "line 27, column 1", "malformed YAML"},
        {edit("[ 0., 0., 4. ]", "[ .NaN, 0., 4. ]"), "t.data[0]", "not finite (NaN)"},
        {edit("[ 0., 0., 0., 0., 0. ]", "[ 0., .inf, 0., 0., 0. ]"),
         "distortion_coefficients.data[1]",
         "not finite (infinity)"},
        {edit("cols: 5\n   dt: d\n   data: [ 0., 0.,", "cols: 3\n   dt: d\n   data: ["),
         "distortion_coefficients",
         "4, 5, 8, 12 or 14"},
        {edit("R:", "K: [1, 0, 0, 0, 1, 0, 0, 0, 1]\nR:"),
         "camera_matrix",
         "given twice, also as K"},
        {edit("R:", "extrinsic_parameters: [0, 0, 0, 0, 0, 1]\nR:"),
         "extrinsic_parameters",
         "would be ignored"},
        {edit("M2:", "M3:", stereo), "top level", "missing M2 for R and T"},
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
        ExpectInputError(
            [&] { measure::ReadOpenCvCameras(file, "cam", false); }, file, bad.where, bad.fragment);
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
    // PINHOLE fx = 1000, fy = 1010: a lens over the ideal pinhole f = fx, not a mean.
    EXPECT_EQ(FocalLength(scene.cameras[1]), 1000.0);
    EXPECT_EQ(Colmap(scene.cameras[1]).first, "PINHOLE");
    EXPECT_TRUE(scene.warnings.empty());
    EXPECT_EQ(scene.inputs.size(), 4u);  // the scene, cameras.txt, images.txt, side.yml
}

}  // namespace
