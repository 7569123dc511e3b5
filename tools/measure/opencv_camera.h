#pragma once

#include <string>
#include <vector>

#include "measure/scene.h"

namespace measure {

// Reads one camera from an OpenCV-style YAML or JSON file (a regular file of at most
// kCameraFileLimit bytes) with K (or camera_matrix), R (or a rotation vector rvec), t and the
// image size. fx != fy and a non-zero skew or distortion give warnings; fx and fy are averaged.
// Throws InputError naming the file and the field.
Camera ReadOpenCvCamera(const std::string& file,
                        const std::string& id,
                        std::vector<std::string>& warnings);

}  // namespace measure
