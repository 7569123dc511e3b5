#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "measure/scene.h"

namespace measure {

// A COLMAP images.txt also lists every image's 2D points (skipped), so it may be this large.
constexpr std::size_t kColmapImagesFileLimit = std::size_t{1} << 30;

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

}  // namespace measure
