// The measurement tool's COLMAP reader on text models (cameras.txt and images.txt).
#include "colmap_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzColmapModel(data, size, false);
    return 0;
}
