#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "camera_checks.h"
#include "measure/colmap_model.h"
#include "measure/input_error.h"

// One fuzz input as the two files of a COLMAP model: the first two bytes (little-endian) give the
// length of the cameras file, which follows; the rest is the images file. Either reads the model
// and checks every camera, or takes the tool's input error.
inline void FuzzColmapModel(const uint8_t* data, size_t size, bool binary) {
    if (size < 2) {
        return;
    }
    const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::size_t split = std::min<std::size_t>(data[0] | (data[1] << 8), rest.size());
    measure::ColmapFiles files;
    files.binary = binary;
    files.cameras = binary ? "cameras.bin" : "cameras.txt";
    files.images = binary ? "images.bin" : "images.txt";
    try {
        const std::vector<measure::Camera> cameras =
            measure::ParseColmapModel(rest.substr(0, split), rest.substr(split), files);
        POLYVIEW_FUZZ_CHECK(!cameras.empty());
        for (const measure::Camera& camera : cameras) {
            CheckImportedCamera(camera);
        }
    } catch (const measure::InputError&) {
        // Bad input, reported with its place: the expected outcome for most inputs.
    }
}
