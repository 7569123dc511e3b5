#include "measure/camera_fields.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "core/soundness.h"
#include "measure/input_error.h"

namespace measure {

CCamera PinholeCamera(double focalLength,
                      double principalX,
                      double principalY,
                      int width,
                      int height,
                      const std::array<double, 9>& rotation,
                      const Vec3& translation) {
    const std::array<double, 9>& r = rotation;
    const CRotateMatrix camFromWorld(
        C33Matrix(r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]));
    return CCamera(
        CCameraParam(CIntrinsicParam(focalLength, C2DCoordinate(principalX, principalY)),
                     CExtrinsicParam(camFromWorld,
                                     C3DVector(translation[0], translation[1], translation[2]))),
        width,
        height);
}

CCamera LensCamera(const CLensModel& lens,
                   int width,
                   int height,
                   const std::array<double, 9>& rotation,
                   const Vec3& translation) {
    CCamera camera = PinholeCamera(1.0, 0.0, 0.0, width, height, rotation, translation);
    camera.SetCameraParam(
        CCamera::IdealPinholeFor(lens, camera.GetCameraParam().GetExtrinsicParam()));
    if (!lens.IsSquarePinhole()) {
        camera.SetLensModel(lens);
    }
    return camera;
}

const char* const kColmapModels[11] = {"SIMPLE_PINHOLE",
                                       "PINHOLE",
                                       "SIMPLE_RADIAL",
                                       "RADIAL",
                                       "OPENCV",
                                       "OPENCV_FISHEYE",
                                       "FULL_OPENCV",
                                       "FOV",
                                       "SIMPLE_RADIAL_FISHEYE",
                                       "RADIAL_FISHEYE",
                                       "THIN_PRISM_FISHEYE"};

std::string ColmapModelRefusal(const std::string& name) {
    std::string known;
    for (const char* model : kColmapModels) {
        if (name == model) {
            return name == "FOV" ? "camera model \"FOV\" is not supported" : "";
        }
        if (std::string(model) != "FOV") {
            known += (known.empty() ? "" : ", ") + std::string(model);
        }
    }
    // A name read from a file may be any bytes: those that are not UTF-8 are shown replaced.
    return "unknown camera model " +
           Json(name).dump(-1, ' ', false, Json::error_handler_t::replace) + " (known: " + known +
           ")";
}

std::string CameraMatrixRefusal(const std::array<double, 9>& k) {
    if (!std::all_of(k.begin(), k.end(), [](double v) { return std::isfinite(v); })) {
        return "the camera matrix is not finite";
    }
    if (!(k[0] > 0.0) || !(k[4] > 0.0)) {
        return "the focal lengths fx = K[0][0] and fy = K[1][1] must be greater than 0";
    }
    if (k[3] != 0.0 || k[6] != 0.0 || k[7] != 0.0 || k[8] != 1.0) {
        return "expected a camera matrix [[fx, s, cx], [0, fy, cy], [0, 0, 1]]";
    }
    return "";
}

bool OpenCvLens(const std::array<double, 9>& k,
                const std::vector<double>& distortion,
                bool fisheye,
                CLensModel& lens,
                std::string& reason) {
    // OpenCV's pixel (0, 0) is the centre of the first pixel, the scene's (0.5, 0.5).
    const double cx = k[2] + 0.5;
    const double cy = k[5] + 0.5;
    const std::size_t count = distortion.size();
    if (fisheye) {
        if (count != 4) {
            reason = "OpenCV's fisheye model takes 4 coefficients k1 k2 k3 k4, got " +
                     std::to_string(count);
            return false;
        }
        return CLensModel::CreateOpenCVFisheye(
            k[0], k[4], k[1], cx, cy, distortion.data(), lens, reason);
    }
    if (count != 0 && count != 4 && count != 5 && count != 8 && count != 12 && count != 14) {
        reason = "expected 4, 5, 8, 12 or 14 distortion coefficients, got " + std::to_string(count);
        return false;
    }
    return CLensModel::CreateOpenCV(
        k[0], k[4], k[1], cx, cy, distortion.data(), static_cast<int>(count), lens, reason);
}

void RequireRotationMatrix(const JsonNode& node, const std::array<double, 9>& matrix) {
    const double deviation = CCamera::GetRotationDeviation(matrix.data());
    if (!(deviation <= CCamera::kRotationTolerance)) {
        node.Fail(
            "is not a rotation matrix (largest deviation of R R^T from I, or of det R from 1: " +
            std::to_string(deviation) + ")");
    }
}

void RequireUsablePose(const Camera& camera,
                       const std::string& file,
                       const std::string& rotationWhere,
                       const std::string& translationWhere) {
    const std::string problem = core::CheckCameraPose(camera.calibration.GetCameraParam());
    if (!problem.empty()) {
        const bool translation = problem.find("translation") != std::string::npos ||
                                 problem.find("centre") != std::string::npos;
        throw InputError(file,
                         translation ? translationWhere : rotationWhere,
                         "camera " + Json(camera.id).dump() + " has no usable pose: " + problem);
    }
}

std::vector<std::string> Tokens(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> tokens;
    std::string token;
    while (stream >> token) {
        tokens.push_back(token);
    }
    return tokens;
}

bool ParseDouble(const std::string& token, double& value) {
    if (token.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size();
}

bool ParseWhole(const std::string& token, long& value) {
    if (token.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtol(token.c_str(), &end, 10);
    return end == token.c_str() + token.size() && errno == 0;
}

bool IsComment(const std::string& line) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    return first != std::string::npos && line[first] == '#';
}

bool IsBlank(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

}  // namespace measure
