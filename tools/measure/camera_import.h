#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "measure/json_node.h"
#include "measure/scene.h"

namespace measure {

// Camera files larger than these are refused unread: 64 MiB is far more than any calibration
// file or cameras.txt; a COLMAP images.txt also lists every image's 2D points, which are skipped.
constexpr std::size_t kCameraFileLimit = std::size_t{64} << 20;
constexpr std::size_t kColmapImagesFileLimit = std::size_t{1} << 30;

// The rotation matrix (row-major) of a rotation vector: the unit axis times the angle in radians.
std::array<double, 9> RotationFromVector(const Vec3& rotationVector);

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

// The rotation of a quaternion (w, x, y, z), normalised first; camera point = R X + T when the
// quaternion is the world-to-camera rotation, as in COLMAP's images.txt.
std::array<double, 9> RotationFromQuaternion(double w, double x, double y, double z);

// The unit quaternion (w, x, y, z) of a rotation, with w >= 0 (Shepperd's method: the largest of
// the four squared components is taken from the diagonal, the others from off-diagonal sums).
std::array<double, 4> QuaternionFromRotation(const std::array<double, 9>& rotation);

// Reads a COLMAP text model: directory/cameras.txt (SIMPLE_PINHOLE or PINHOLE) and
// directory/images.txt, regular files of at most kCameraFileLimit and kColmapImagesFileLimit
// bytes. One camera per image, named after the image. A PINHOLE camera with
// fx != fy gets the mean of the two and a warning saying how far apart they are. Throws
// InputError naming the file and line for anything it cannot use.
std::vector<Camera> ReadColmapModel(const std::string& directory,
                                    std::vector<std::string>& warnings);

// Writes cameras as a COLMAP text model (cameras.txt, images.txt, an empty points3D.txt) into
// directory (created when missing), one SIMPLE_PINHOLE camera per image, every value to full
// precision; each file whole or not at all (WriteFileAtomically). Throws std::runtime_error when
// a file cannot be written or an id contains white space (then before writing anything).
void WriteColmapModel(const std::string& directory, const std::vector<Camera>& cameras);

// The three files that WriteColmapModel writes into directory.
std::vector<std::string> ColmapModelPaths(const std::string& directory);

// Reads the subset of YAML that OpenCV's file storage writes (top-level keys, !!opencv-matrix
// blocks with rows, cols, dt and data, flow sequences) into JSON. Throws InputError on syntax it
// does not know.
Json ParseOpenCvYaml(const std::string& text, const std::string& file);

// Reads one camera from an OpenCV-style YAML or JSON file (a regular file of at most
// kCameraFileLimit bytes) with K (or camera_matrix), R (or a rotation vector rvec), t and the
// image size. fx != fy and a non-zero skew or distortion give warnings; fx and fy are averaged.
// Throws InputError naming the file and the field.
Camera ReadOpenCvCamera(const std::string& file,
                        const std::string& id,
                        std::vector<std::string>& warnings);

}  // namespace measure
