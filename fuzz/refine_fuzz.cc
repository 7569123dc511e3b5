// CPickRefiner::RefineCorner, RefineEdge, FindEdgePoints and FitEdgeLine on an image of up to
// 48 x 48 samples from the input (8-bit, or float with bytes 254 and 255 read as infinity and
// not-a-number), picks and options from the input (the defaults half the time).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "fuzz_input.h"

#include "polyview/foundations/array1d.h"
#include "polyview/refine/gray_image.h"
#include "polyview/refine/pick_refiner.h"

namespace {

bool SameCoordinate(const C2DCoordinate& a, const C2DCoordinate& b) {
    return SameBits(a.GetData(0), b.GetData(0)) && SameBits(a.GetData(1), b.GetData(1));
}

void FuzzCorner(CFuzzInput& input, const CGrayImage& image) {
    const C2DCoordinate pick = input.Point2();
    CPickRefiner::SCornerOptions options;
    if (input.Bool()) {
        options.halfWindow = input.Count(12);
        options.maxMovement = input.Double();
        options.maxIterations = input.Count(60);
        options.tolerance = input.Double();
        options.minContrast = input.Double();
        options.minSupport = input.Double();
    }
    const CPickRefiner::SCornerRefinement refined =
        CPickRefiner::RefineCorner(image, pick, options);
    if (!refined.ok) {
        POLYVIEW_FUZZ_CHECK(!refined.reason.empty());
        POLYVIEW_FUZZ_CHECK(SameCoordinate(refined.corner, pick));
        return;
    }
    POLYVIEW_FUZZ_CHECK(refined.reason.empty() && Finite(refined.corner));
    const double moved = std::hypot(refined.corner.GetData(0) - pick.GetData(0),
                                    refined.corner.GetData(1) - pick.GetData(1));
    POLYVIEW_FUZZ_CHECK(refined.movement <= options.maxMovement);
    POLYVIEW_FUZZ_CHECK(std::fabs(moved - refined.movement) <= 1e-9 * (1.0 + moved));
    POLYVIEW_FUZZ_CHECK(refined.support >= options.minSupport && refined.support <= 0.5);
    POLYVIEW_FUZZ_CHECK(refined.arms == 0 || (refined.arms >= 2 && refined.arms <= 4));
}

void FuzzEdge(CFuzzInput& input, const CGrayImage& image) {
    const C2DCoordinate start = input.Point2();
    const C2DCoordinate end = input.Point2();
    CPickRefiner::SEdgeOptions options;
    if (input.Bool()) {
        options.step = input.Double();
        options.searchHalfWidth = input.Double();
        options.maxMovement = input.Double();
        options.minContrast = input.Double();
        options.outlierDistance = input.Double();
    }
    const CPickRefiner::SEdgeRefinement refined =
        CPickRefiner::RefineEdge(image, start, end, options);
    if (!refined.ok) {
        POLYVIEW_FUZZ_CHECK(!refined.reason.empty());
        POLYVIEW_FUZZ_CHECK(SameCoordinate(refined.start, start) &&
                            SameCoordinate(refined.end, end));
    } else {
        POLYVIEW_FUZZ_CHECK(Finite(refined.start) && Finite(refined.end));
        POLYVIEW_FUZZ_CHECK(refined.startMovement <= options.maxMovement &&
                            refined.endMovement <= options.maxMovement);
        POLYVIEW_FUZZ_CHECK(refined.used >= 5 && refined.used <= refined.stations);
        POLYVIEW_FUZZ_CHECK(refined.points.GetSize() == refined.used);
        POLYVIEW_FUZZ_CHECK(std::isfinite(refined.rms) &&
                            refined.rms <= options.outlierDistance * (1.0 + 1e-12));
    }
    // The same picks as stations of their own, across the segment and along it.
    C1DArray<CPickRefiner::SEdgeStation> stations;
    stations.SetSize(3);
    stations[0] = {start, end - start};
    stations[1] = {end, C2DVector(start.GetData(1) - end.GetData(1), end.GetData(0))};
    stations[2] = {input.Point2(), input.Point2()};
    C1DArray<C2DCoordinate> points;
    const int found = CPickRefiner::FindEdgePoints(image, stations, options, points);
    POLYVIEW_FUZZ_CHECK(found == points.GetSize() && found >= 0 && found <= 3);
    for (int i = 0; i < found; ++i) {
        POLYVIEW_FUZZ_CHECK(Finite(points[i]));
    }
}

void FuzzFit(CFuzzInput& input) {
    const int count = input.Count(40);
    C1DArray<C2DCoordinate> points;
    points.SetSize(count);
    for (int i = 0; i < count; ++i) {
        points[i] = input.Point2();
    }
    const double outlierDistance = input.Double();
    C2DLine line;
    C1DArray<C2DCoordinate> used;
    used.SetSize(1);
    const std::vector<unsigned char> before = Bytes(line);
    if (!CPickRefiner::FitEdgeLine(points, outlierDistance, line, used)) {
        POLYVIEW_FUZZ_CHECK(SameBytes(before, line) && used.GetSize() == 1);
        return;
    }
    POLYVIEW_FUZZ_CHECK(used.GetSize() >= 2 && used.GetSize() <= count);
    double abc[3];
    line.GetLineParams(abc);
    for (int i = 0; i < used.GetSize(); ++i) {
        const double offset = abc[0] * used[i].GetData(0) + abc[1] * used[i].GetData(1) + abc[2];
        const double scale =
            1.0 + std::fabs(used[i].GetData(0)) + std::fabs(used[i].GetData(1)) + std::fabs(abc[2]);
        POLYVIEW_FUZZ_CHECK(std::fabs(offset) <= outlierDistance + 1e-9 * scale);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput input(data, size);
    const int width = input.Count(47) + 1;
    const int height = input.Count(47) + 1;
    const uint8_t mode = input.Byte();
    const int padding = input.Count(3);
    const size_t stride = static_cast<size_t>(width + padding);
    // The image takes the input's last width x height bytes; the rest drives the calls.
    const size_t imageBytes = static_cast<size_t>(height) * stride;
    const size_t head = size > imageBytes + 4 ? size - imageBytes : 4;
    std::vector<uint8_t> bytes(imageBytes, 0);
    for (size_t i = 0; i < imageBytes && head + i < size; ++i) {
        bytes[i] = data[head + i];
    }
    std::vector<float> floats(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        floats[i] = bytes[i] == 255   ? std::numeric_limits<float>::quiet_NaN()
                    : bytes[i] == 254 ? std::numeric_limits<float>::infinity()
                                      : static_cast<float>(bytes[i]);
    }
    const CGrayImage image =
        (mode & 1) != 0
            ? CGrayImage(
                  floats.data(), width, height, static_cast<std::ptrdiff_t>(stride * sizeof(float)))
            : CGrayImage(bytes.data(), width, height, static_cast<std::ptrdiff_t>(stride));
    CFuzzInput calls(data, head < size ? head : size);
    for (int i = 0; i < 4; ++i) {
        calls.Byte();  // the image's own header above
    }
    switch ((mode >> 1) % 3) {
        case 0:
            FuzzCorner(calls, image);
            break;
        case 1:
            FuzzEdge(calls, image);
            break;
        default:
            FuzzFit(calls);
    }
    return 0;
}
