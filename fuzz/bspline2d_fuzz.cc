// C2DBSpline::GetSamplePoint through and near the points, any sample count and interval: points
// along a smooth path (most of them far enough apart to be kept) or arbitrary.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"

#include "polyview/foundations/array1d.h"
#include "polyview/geometry2d/bspline2d.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput input(data, size);
    const bool passThrough = input.Bool();
    const bool alongPath = input.Bool();
    const int count = input.Count(48);
    C1DArray<C2DCoordinate> points;
    points.SetSize(count);
    double x = 0.0;
    double y = 0.0;
    for (int i = 0; i < count; ++i) {
        if (alongPath) {
            x += input.Double();
            y += input.Double();
            points[i].SetVector(x, y);
        } else {
            points[i] = input.Point2();
        }
    }
    bool allFinite = true;
    for (int i = 0; i < count; ++i) {
        allFinite = allFinite && Finite(points[i]);
    }
    const double interval = input.Double();
    const int sampleCount = input.Count(255) + (input.Bool() ? 1000 : 0);
    C1DArray<C2DCoordinate> samples;
    samples.SetSize(sampleCount);
    for (int i = 0; i < sampleCount; ++i) {
        samples[i].SetVector(-7.0 * i, 3.0);
    }
    const std::vector<unsigned char> arrayBefore = Bytes(samples);

    const EErrorType result = C2DBSpline::GetSamplePoint(points, interval, samples, passThrough);
    POLYVIEW_FUZZ_CHECK(result >= NoError && result <= ControlPointError);
    POLYVIEW_FUZZ_CHECK(SameBytes(arrayBefore, samples));  // never resized or reallocated
    if (result != NoError) {
        for (int i = 0; i < sampleCount; ++i) {
            POLYVIEW_FUZZ_CHECK(samples[i].GetData(0) == -7.0 * i && samples[i].GetData(1) == 3.0);
        }
        return 0;
    }
    POLYVIEW_FUZZ_CHECK(count >= 2);
    POLYVIEW_FUZZ_CHECK(passThrough || interval > 0.0);
    if (sampleCount >= 1) {
        const C2DCoordinate& last = samples[sampleCount - 1];
        POLYVIEW_FUZZ_CHECK(SameBits(last.GetData(0), points[count - 1].GetData(0)) &&
                            SameBits(last.GetData(1), points[count - 1].GetData(1)));
    }
    if (allFinite) {
        for (int i = 0; i < sampleCount; ++i) {
            POLYVIEW_FUZZ_CHECK(Finite(samples[i]));
        }
    }
    return 0;
}
