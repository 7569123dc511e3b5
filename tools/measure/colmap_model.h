#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "measure/scene.h"

namespace measure {

// A COLMAP images.txt or images.bin also lists every image's 2D points (skipped), so it may be
// this large.
constexpr std::size_t kColmapImagesFileLimit = std::size_t{1} << 30;

// The two files of a COLMAP model that the tool reads.
struct ColmapFiles {
    std::string cameras;  // directory/cameras.bin or directory/cameras.txt
    std::string images;   // directory/images.bin or directory/images.txt
    bool binary = false;
};

// The model in directory: the binary files when cameras.bin and images.bin both exist (COLMAP
// reads those first too), else the text files cameras.txt and images.txt (which need not exist
// yet: reading them names what is missing).
ColmapFiles FindColmapModel(const std::string& directory);

// Reads a COLMAP model: the cameras (any of SIMPLE_PINHOLE, PINHOLE, SIMPLE_RADIAL, RADIAL,
// OPENCV, OPENCV_FISHEYE, FULL_OPENCV, SIMPLE_RADIAL_FISHEYE, RADIAL_FISHEYE, THIN_PRISM_FISHEYE;
// FOV is refused) and the images, regular files of at most kCameraFileLimit and
// kColmapImagesFileLimit bytes; text as COLMAP writes it, or binary as COLMAP writes it by
// default (little-endian). One camera per image, named after the image, with the lens of its
// COLMAP camera (none for a pinhole with square pixels). Throws InputError naming the file and
// the line (text) or byte offset (binary) for anything it cannot use: an unknown model, a wrong
// parameter count, a value that is not finite, a truncated file or one with bytes left over.
std::vector<Camera> ReadColmapModel(const ColmapFiles& files);

// ReadColmapModel(FindColmapModel(directory)).
std::vector<Camera> ReadColmapModel(const std::string& directory);

// ReadColmapModel on the two files' contents already read (no size limits); files names them in
// errors and says whether they are binary.
std::vector<Camera> ParseColmapModel(const std::string& camerasContent,
                                     const std::string& imagesContent,
                                     const ColmapFiles& files);

// Writes cameras as a COLMAP text model (cameras.txt, images.txt, an empty points3D.txt) into
// directory (created when missing), one camera per image: SIMPLE_PINHOLE without a lens, else the
// COLMAP model of the lens (CLensModel::GetColmap), every value to full precision, principal
// points in COLMAP's pixels (the scene's); each file whole or not at all (WriteFileAtomically).
// Throws std::runtime_error when a file cannot be written, or before writing anything when an id
// contains white space or a lens has no COLMAP model (skew, tilt, thin prism terms).
void WriteColmapModel(const std::string& directory, const std::vector<Camera>& cameras);

// The three files that WriteColmapModel writes into directory.
std::vector<std::string> ColmapModelPaths(const std::string& directory);

}  // namespace measure
