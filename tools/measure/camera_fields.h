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

// The camera of a lens (not kNone) with this pose: a pinhole lens with square pixels and no skew
// gives a camera without a lens (PinholeCamera with its f and principal point, so that such a
// camera measures exactly as one given by focal length and principal point); any other lens is set
// on the camera over the ideal pinhole f = fx with the lens's principal point (cx, cy).
CCamera LensCamera(const CLensModel& lens,
                   int width,
                   int height,
                   const std::array<double, 9>& rotation,
                   const Vec3& translation);

// COLMAP's camera models by model id (the index), as its binary files number them. FOV (7) is
// known by name but not supported.
extern const char* const kColmapModels[11];

// Why a COLMAP camera model name cannot be used: "" for the ten models the lens knows, else that
// FOV is not supported or that the name is unknown (listing the known ones).
std::string ColmapModelRefusal(const std::string& name);

// Why a row-major OpenCV camera matrix cannot be used: "" when it is [[fx, s, cx], [0, fy, cy],
// [0, 0, 1]] with fx, fy > 0, else what is wrong.
std::string CameraMatrixRefusal(const std::array<double, 9>& cameraMatrix);

// The lens of an OpenCV camera matrix (row-major, in OpenCV's pixels: the first pixel's centre at
// (0, 0); CameraMatrixRefusal must accept it) and distortion coefficients: the radial-tangential
// model (4, 5, 8, 12 or 14 coefficients, or none) or, when fisheye, OpenCV's fisheye model (4). The
// principal point moves by +0.5 px into the scene's pixels (the first pixel's centre at
// (0.5, 0.5)). False, lens untouched, reason set, when the coefficients are unusable (their count,
// a value that is not finite, a tilt out of range).
bool OpenCvLens(const std::array<double, 9>& cameraMatrix,
                const std::vector<double>& distortion,
                bool fisheye,
                CLensModel& lens,
                std::string& reason);

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
