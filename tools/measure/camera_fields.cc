#include "measure/camera_fields.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "core/soundness.h"
#include "measure/format.h"
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

std::string FocalLengthsApart(double fx, double fy) {
    const double mean = 0.5 * (fx + fy);
    return "fx = " + FormatNumber("%.6g", fx) + " and fy = " + FormatNumber("%.6g", fy) + ", " +
           FormatNumber("%.3g", std::fabs(fx - fy)) + " px (" +
           FormatNumber("%.3g", 100.0 * std::fabs(fx - fy) / mean) +
           " %) apart; one focal length is modelled, their mean " + FormatNumber("%.6g", mean) +
           " is used";
}

}  // namespace measure
