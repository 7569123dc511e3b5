// The measurement tool's COLMAP reader on binary models (cameras.bin and images.bin).
#include "colmap_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzColmapModel(data, size, true);
    return 0;
}
