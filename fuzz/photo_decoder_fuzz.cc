// The tool's photo decoder (measure::DecodeGrayPhoto) on any bytes: it either throws
// measure::PhotoError or returns a gray photo whose samples fill its declared size; a decoded
// photo is then snapped on as the tool snaps picks (a corner and an edge across its middle).
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "measure/photo_decoder.h"
#include "measure/snapping.h"

namespace {

// Small enough that a crafted header cannot make one run allocate or decode for long.
constexpr std::size_t kMaxPixels = std::size_t{1} << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    measure::GrayPhoto photo;
    try {
        photo = measure::DecodeGrayPhoto(data, size, kMaxPixels);
    } catch (const measure::PhotoError&) {
        return 0;  // not a photo, damaged, or too large: the expected outcome for most inputs
    }
    POLYVIEW_FUZZ_CHECK(photo.width > 0 && photo.height > 0);
    const std::size_t pixels = static_cast<std::size_t>(photo.width) * photo.height;
    POLYVIEW_FUZZ_CHECK(pixels <= kMaxPixels && photo.samples.size() == pixels);

    const double width = photo.width;
    const double height = photo.height;
    const measure::Snap corner = measure::SnapCorner(photo, {width / 2, height / 2});
    POLYVIEW_FUZZ_CHECK(corner.points.size() == 1 && corner.ok == corner.reason.empty());
    CCamera camera(CCameraParam(CIntrinsicParam(width, C2DCoordinate(width / 2, height / 2)),
                                CExtrinsicParam()),
                   photo.width,
                   photo.height);
    const measure::Snap edge = measure::SnapEdge(
        camera, photo, {{width / 4, height / 2}, {3 * width / 4, height / 2 + 1}});
    POLYVIEW_FUZZ_CHECK(edge.points.size() == 2 && edge.ok == edge.reason.empty());
    return 0;
}
