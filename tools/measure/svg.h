#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "measure/measurement.h"
#include "measure/scene.h"

namespace measure {

// The picture of one camera: an SVG document of the image's size (one user unit per pixel, y
// down) with the picks (those left out as outliers dashed in a warning colour), the reprojected
// shapes, their names (where there is no room, on hover only) and a legend of the roles shown,
// over the camera's photo when it names one (embedded as a data: URI). Throws std::runtime_error
// when that photo cannot be read or is neither a JPEG nor a PNG file.
std::string SvgPicture(const Scene& scene, const Measurement& measurement, std::size_t camera);

// A file name for a camera id: letters, digits, '.', '-' and '_' kept, anything else '_'.
std::string SvgFileName(const std::string& id);

// The path of each camera's picture in directory: named by SvgFileName, made unique with a
// number where two ids map to one name.
std::vector<std::string> SvgPicturePaths(const std::string& directory, const Scene& scene);

// Writes one picture per camera into directory (created when missing) at SvgPicturePaths, each
// whole or not at all (WriteFileAtomically). Returns the paths written; throws
// std::runtime_error when the directory or a file cannot be written or a photo read.
std::vector<std::string> WriteSvgPictures(const std::string& directory,
                                          const Scene& scene,
                                          const Measurement& measurement);

}  // namespace measure
