#pragma once

#include <string>

#include "measure/json_node.h"

namespace measure {

// Reads the YAML that OpenCV's file storage writes (its first line "%YAML:1.0", mappings,
// sequences, !!opencv-matrix blocks with rows, cols, dt and data) into JSON with libyaml: plain
// scalars that read as numbers become numbers (.nan and .inf too, any case), everything else
// text. Throws InputError naming the line and column of malformed YAML, of anchors and aliases
// (OpenCV writes none), of a key given twice in one mapping, and of nesting deeper than 64 levels.
Json ParseOpenCvYaml(const std::string& text, const std::string& file);

}  // namespace measure
