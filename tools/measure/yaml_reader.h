#pragma once

#include <string>

#include "measure/json_node.h"

namespace measure {

// Reads the subset of YAML that OpenCV's file storage writes (top-level keys, !!opencv-matrix
// blocks with rows, cols, dt and data, flow sequences) into JSON. Throws InputError on syntax it
// does not know.
Json ParseOpenCvYaml(const std::string& text, const std::string& file);

}  // namespace measure
