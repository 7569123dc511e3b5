#include "measure/colmap_model.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>

#include "measure/camera_fields.h"
#include "measure/input_error.h"
#include "measure/json_node.h"
#include "measure/output_file.h"
#include "measure/rotation.h"

namespace measure {

namespace {

std::string Quote(const std::string& text) {
    return Json(text).dump();
}

struct ColmapIntrinsics {
    std::string model;
    int width;
    int height;
    double focalLength;
    double principalX;
    double principalY;
};

std::map<long, ColmapIntrinsics> ReadColmapCameras(const std::string& file,
                                                   std::vector<std::string>& warnings) {
    std::istringstream text(ReadTextFile(file, kCameraFileLimit));
    std::map<long, ColmapIntrinsics> cameras;
    std::string line;
    for (int number = 1; std::getline(text, line); ++number) {
        if (IsComment(line) || IsBlank(line)) {
            continue;
        }
        const std::string where = "line " + std::to_string(number);
        const std::vector<std::string> tokens = Tokens(line);
        long id = 0;
        if (tokens.size() < 4 || !ParseWhole(tokens[0], id)) {
            throw InputError(file, where, "expected CAMERA_ID MODEL WIDTH HEIGHT PARAMS...");
        }
        ColmapIntrinsics camera;
        camera.model = tokens[1];
        std::vector<double> values;
        for (std::size_t i = 2; i < tokens.size(); ++i) {
            double value = 0.0;
            if (!ParseDouble(tokens[i], value) || !std::isfinite(value)) {
                throw InputError(file, where, "expected a finite number, got " + Quote(tokens[i]));
            }
            values.push_back(value);
        }
        if (values[0] <= 0.0 || values[1] <= 0.0 || values[0] != std::floor(values[0]) ||
            values[1] != std::floor(values[1])) {
            throw InputError(file, where, "image width and height must be whole numbers > 0");
        }
        camera.width = static_cast<int>(values[0]);
        camera.height = static_cast<int>(values[1]);
        if (camera.model == "SIMPLE_PINHOLE") {
            if (values.size() != 5) {
                throw InputError(file, where, "SIMPLE_PINHOLE takes the parameters f, cx, cy");
            }
            camera.focalLength = values[2];
            camera.principalX = values[3];
            camera.principalY = values[4];
        } else if (camera.model == "PINHOLE") {
            if (values.size() != 6) {
                throw InputError(file, where, "PINHOLE takes the parameters fx, fy, cx, cy");
            }
            const double fx = values[2];
            const double fy = values[3];
            camera.focalLength = 0.5 * (fx + fy);
            camera.principalX = values[4];
            camera.principalY = values[5];
            if (fx != fy && fx > 0.0 && fy > 0.0) {
                warnings.push_back(file + " " + where + ": camera " + std::to_string(id) +
                                   " (PINHOLE) has " + FocalLengthsApart(fx, fy));
            }
            if (fx <= 0.0 || fy <= 0.0) {
                throw InputError(file, where, "focal lengths must be greater than 0");
            }
        } else {
            throw InputError(file,
                             where,
                             "camera model " + Quote(camera.model) +
                                 " is not supported: only SIMPLE_PINHOLE and PINHOLE (the "
                                 "measurement has no lens distortion; undistort the images first)");
        }
        if (camera.focalLength <= 0.0) {
            throw InputError(file, where, "the focal length must be greater than 0");
        }
        if (!cameras.emplace(id, camera).second) {
            throw InputError(file, where, "duplicate CAMERA_ID " + std::to_string(id));
        }
    }
    return cameras;
}

// An images.txt line that carries 2D points: numbers in groups of three (or nothing).
bool IsPointsLine(const std::vector<std::string>& tokens) {
    if (tokens.size() % 3 != 0) {
        return false;
    }
    double value = 0.0;
    for (const std::string& token : tokens) {
        if (!ParseDouble(token, value)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<Camera> ReadColmapModel(const std::string& directory,
                                    std::vector<std::string>& warnings) {
    const std::string camerasFile = directory + "/cameras.txt";
    const std::string imagesFile = directory + "/images.txt";
    const std::map<long, ColmapIntrinsics> intrinsics = ReadColmapCameras(camerasFile, warnings);

    std::istringstream text(ReadTextFile(imagesFile, kColmapImagesFileLimit));
    std::vector<Camera> cameras;
    std::string line;
    bool afterHeader = false;  // the line after an image line lists its 2D points
    for (int number = 1; std::getline(text, line); ++number) {
        if (IsComment(line)) {
            continue;
        }
        const std::vector<std::string> tokens = Tokens(line);
        if (afterHeader) {
            afterHeader = false;
            if (IsPointsLine(tokens)) {
                continue;
            }
        }
        if (tokens.empty()) {
            continue;
        }
        const std::string where = "line " + std::to_string(number);
        if (tokens.size() < 10) {
            throw InputError(imagesFile,
                             where,
                             "expected IMAGE_ID QW QX QY QZ TX TY TZ CAMERA_ID NAME, got " +
                                 std::to_string(tokens.size()) + " fields");
        }
        double values[7];
        for (int i = 0; i < 7; ++i) {
            if (!ParseDouble(tokens[1 + i], values[i]) || !std::isfinite(values[i])) {
                throw InputError(
                    imagesFile, where, "expected a finite number, got " + Quote(tokens[1 + i]));
            }
        }
        long cameraId = 0;
        if (!ParseWhole(tokens[8], cameraId)) {
            throw InputError(imagesFile, where, "expected a CAMERA_ID, got " + Quote(tokens[8]));
        }
        const auto found = intrinsics.find(cameraId);
        if (found == intrinsics.end()) {
            throw InputError(imagesFile,
                             where,
                             "CAMERA_ID " + std::to_string(cameraId) + " is not in " + camerasFile);
        }
        if (values[0] == 0.0 && values[1] == 0.0 && values[2] == 0.0 && values[3] == 0.0) {
            throw InputError(imagesFile, where, "the quaternion is zero");
        }
        Camera camera;
        camera.id = tokens[9];
        for (std::size_t i = 10; i < tokens.size(); ++i) {
            camera.id += " " + tokens[i];
        }
        camera.origin = imagesFile + " " + where;
        const ColmapIntrinsics& lens = found->second;
        camera.calibration =
            PinholeCamera(lens.focalLength,
                          lens.principalX,
                          lens.principalY,
                          lens.width,
                          lens.height,
                          RotationFromQuaternion(values[0], values[1], values[2], values[3]),
                          {values[4], values[5], values[6]});
        RequireUsablePose(camera, imagesFile, where, where);
        cameras.push_back(camera);
        afterHeader = true;
    }
    if (cameras.empty()) {
        throw InputError(imagesFile, "", "lists no image");
    }
    return cameras;
}

std::vector<std::string> ColmapModelPaths(const std::string& directory) {
    return {directory + "/cameras.txt", directory + "/images.txt", directory + "/points3D.txt"};
}

void WriteColmapModel(const std::string& directory, const std::vector<Camera>& cameras) {
    std::ostringstream camerasText;
    std::ostringstream imagesText;
    camerasText << "# Camera list with one line of data per camera:\n"
                << "#   CAMERA_ID, MODEL, WIDTH, HEIGHT, PARAMS[]\n"
                << "# Number of cameras: " << cameras.size() << "\n";
    imagesText << "# Image list with two lines of data per image:\n"
               << "#   IMAGE_ID, QW, QX, QY, QZ, TX, TY, TZ, CAMERA_ID, NAME\n"
               << "#   POINTS2D[] as (X, Y, POINT3D_ID)\n"
               << "# Number of images: " << cameras.size() << "\n";
    char line[512];  // at most 9 numbers of 24 characters
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        const Camera& camera = cameras[i];
        if (camera.id.find_first_of(" \t\r\n") != std::string::npos) {
            throw std::runtime_error("camera id " + Quote(camera.id) +
                                     " contains white space and cannot be an image name");
        }
        const CCamera& calibration = camera.calibration;
        const CIntrinsicParam& pinhole = calibration.GetCameraParam().GetIntrinsicParam();
        const CExtrinsicParam& pose = calibration.GetCameraParam().GetExtrinsicParam();
        std::snprintf(line,
                      sizeof line,
                      "%zu SIMPLE_PINHOLE %d %d %.17g %.17g %.17g\n",
                      i + 1,
                      calibration.GetWidth(),
                      calibration.GetHeight(),
                      pinhole.GetFocalLengthParam(),
                      pinhole.GetPrincipalPointParam().GetData(0),
                      pinhole.GetPrincipalPointParam().GetData(1));
        camerasText << line;
        std::array<double, 9> rotation{};
        pose.GetRotateMatrix().GetMatrix(rotation.data());
        const C3DVector& translation = pose.GetTranslateVector();
        const std::array<double, 4> q = QuaternionFromRotation(rotation);
        std::snprintf(line,
                      sizeof line,
                      "%zu %.17g %.17g %.17g %.17g %.17g %.17g %.17g %zu ",
                      i + 1,
                      q[0],
                      q[1],
                      q[2],
                      q[3],
                      translation.GetData(0),
                      translation.GetData(1),
                      translation.GetData(2),
                      i + 1);
        imagesText << line << camera.id << "\n\n";
    }
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        throw std::runtime_error(directory + ": cannot create the directory (" + error.message() +
                                 ")");
    }
    const std::vector<std::string> paths = ColmapModelPaths(directory);
    WriteFileAtomically(paths[0], camerasText.str());
    WriteFileAtomically(paths[1], imagesText.str());
    WriteFileAtomically(paths[2],
                        "# 3D point list with one line of data per point:\n"
                        "#   POINT3D_ID, X, Y, Z, R, G, B, ERROR, TRACK[] as (IMAGE_ID, "
                        "POINT2D_IDX)\n"
                        "# Number of points: 0\n");
}

}  // namespace measure
