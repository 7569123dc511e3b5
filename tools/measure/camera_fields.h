#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "measure/json_node.h"
#include "measure/scene.h"

// What the camera readers share: the camera they build, the checks of its pose, and the number
// and line fields of calibration text files.
namespace measure {

// Camera files larger than this are refused unread: 64 MiB is far more than any calibration file
// or COLMAP cameras.txt.
constexpr std::size_t kCameraFileLimit = std::size_t{64} << 20;

// The camera with these parameters: rotation row-major, world to camera, camera point = R X + T.
CCamera PinholeCamera(double focalLength,
                      double principalX,
                      double principalY,
                      int width,
                      int height,
                      const std::array<double, 9>& rotation,
                      const Vec3& translation);

// Fails at node (InputError) unless the row-major matrix is within CCamera::kRotationTolerance of a
// rotation (CCamera::GetRotationDeviation), naming the deviation.
void RequireRotationMatrix(const JsonNode& node, const std::array<double, 9>& matrix);

// Refuses a camera that is no usable pose once converted (core::CheckCameraPose: a rotation
// vector or quaternion that overflowed, a centre -R^T T that is not finite): throws InputError
// naming file and rotationWhere, or translationWhere when the translation or the centre is at
// fault.
void RequireUsablePose(const Camera& camera,
                       const std::string& file,
                       const std::string& rotationWhere,
                       const std::string& translationWhere);

// "fx = 1000 and fy = 1010, 10 px (0.995 %) apart; one focal length is modelled, their mean 1005
// is used"
std::string FocalLengthsApart(double fx, double fy);

// The white-space separated fields of a line.
std::vector<std::string> Tokens(const std::string& line);
// A whole token as a number (strtod: "nan" and "inf" too); false when any of it is left over.
bool ParseDouble(const std::string& token, double& value);
// A whole token as a decimal integer in the range of long.
bool ParseWhole(const std::string& token, long& value);
// A line whose first non-blank character is '#'.
bool IsComment(const std::string& line);
// A line of spaces, tabs and carriage returns only (or empty).
bool IsBlank(const std::string& line);

}  // namespace measure
