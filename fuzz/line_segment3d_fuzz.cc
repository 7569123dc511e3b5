// C3DLineSegment::CalcRange (observed end points of the segment itself, nudged, or arbitrary) and
// C3DLineSegment::Reproject (any segment, any camera, with and without a residual).
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"

#include "polyview/foundations/array1d.h"
#include "polyview/shapes3d/line_segment3d.h"

namespace {

void FuzzCalcRange(CFuzzInput& input, C3DLineSegment& segment) {
    const bool fromSegment = input.Bool();
    const int count = input.Count(16);
    C1DArray<SImageLine> observations;
    observations.SetSize(count);
    for (int k = 0; k < count; ++k) {
        observations[k].cameraParam = input.Camera();
        C2DCoordinate images[2];
        for (int e = 0; e < 2; ++e) {
            const C3DVector end = segment.GetAxis().GetCoordinate(input.Double());
            if (!fromSegment || !ProjectInto(observations[k].cameraParam, end, images[e])) {
                images[e] = input.Point2();
            }
            const C2DCoordinate nudge = input.Point2();
            images[e].SetVector(images[e].GetData(0) + nudge.GetData(0) * 1e-6,
                                images[e].GetData(1) + nudge.GetData(1) * 1e-6);
        }
        observations[k].lineSegment.SetEndPoints(images[0], images[1]);
    }

    const std::vector<unsigned char> axisBefore = Bytes(segment.GetAxis());
    POLYVIEW_FUZZ_CHECK(segment.CalcRange(observations));
    POLYVIEW_FUZZ_CHECK(SameBytes(axisBefore, segment.GetAxis()));
    if (input.AllFinite()) {
        const CRange& range = segment.GetRange();
        POLYVIEW_FUZZ_CHECK(std::isfinite(range.GetStartPosition()) &&
                            std::isfinite(range.GetEndPosition()));
    }
}

void FuzzReproject(CFuzzInput& input, const C3DLineSegment& segment) {
    const CCameraParam camera = input.Camera();
    const C2DCoordinate start = input.Point2();
    C2DLineSegment image(start, input.Point2());
    const C2DCoordinate observedStart = input.Point2();
    const C2DCoordinate observed[2] = {observedStart, input.Point2()};
    double residual = input.Double();
    const uint8_t optional = input.Byte();
    const C2DCoordinate* observedArgument = (optional & 1) ? observed : nullptr;
    double* residualArgument = (optional & 2) ? &residual : nullptr;
    const bool withResidual = observedArgument != nullptr && residualArgument != nullptr;

    const std::vector<unsigned char> segmentBefore = Bytes(segment);
    const std::vector<unsigned char> imageBefore = Bytes(image);
    const double residualBefore = residual;
    const bool projected = segment.Reproject(camera, image, observedArgument, residualArgument);
    POLYVIEW_FUZZ_CHECK(SameBytes(segmentBefore, segment));
    if (!withResidual) {
        POLYVIEW_FUZZ_CHECK(SameBits(residual, residualBefore));
    }
    if (!projected) {
        // Either nothing was written, or the image was written and the residual is undefined.
        const bool untouched = SameBytes(imageBefore, image) && SameBits(residual, residualBefore);
        POLYVIEW_FUZZ_CHECK(untouched || (withResidual && !(residual >= 0.0)));
        return;
    }
    if (withResidual) {
        POLYVIEW_FUZZ_CHECK(residual >= 0.0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput input(data, size);
    const bool reproject = input.Bool();
    const C3DVector u = input.Vector3();
    const C3DVector v = input.Vector3();
    const C3DAxis axis(u, v, input.Double());
    const double start = input.Double();
    C3DLineSegment segment(axis, CRange(start, input.Double()));
    if (reproject) {
        FuzzReproject(input, segment);
    } else {
        input.ResetFinite();  // the previous range plays no part; the axis does
        if (!Finite(axis.GetUVector()) || !Finite(axis.GetVVector()) ||
            !std::isfinite(axis.GetDistance())) {
            input.MarkNotFinite();
        }
        FuzzCalcRange(input, segment);
    }
    return 0;
}
