// C3DLine::CreateFromImageLines: observed segments either of one world segment (both ends
// projected, then nudged) or arbitrary, in cameras of any quality.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"

#include "polyview/foundations/array1d.h"
#include "polyview/shapes3d/line3d.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput input(data, size);
    const C3DVector u = input.Vector3();
    const C3DVector v = input.Vector3();
    C3DLine line(C3DAxis(u, v, input.Double()));
    input.ResetFinite();

    const bool fromOneSegment = input.Bool();
    const C3DVector ends[2] = {input.Vector3(), input.Vector3()};
    const int count = input.Count(16);
    C1DArray<SImageLine> observations;
    observations.SetSize(count);
    for (int k = 0; k < count; ++k) {
        observations[k].cameraParam = input.Camera();
        C2DCoordinate images[2];
        for (int e = 0; e < 2; ++e) {
            if (!fromOneSegment || !ProjectInto(observations[k].cameraParam, ends[e], images[e])) {
                images[e] = input.Point2();
            }
            const C2DCoordinate nudge = input.Point2();
            images[e].SetVector(images[e].GetData(0) + nudge.GetData(0) * 1e-6,
                                images[e].GetData(1) + nudge.GetData(1) * 1e-6);
        }
        observations[k].lineSegment.SetEndPoints(images[0], images[1]);
    }

    const std::vector<unsigned char> before = Bytes(line);
    if (!line.CreateFromImageLines(observations)) {
        POLYVIEW_FUZZ_CHECK(SameBytes(before, line));
        return 0;
    }
    POLYVIEW_FUZZ_CHECK(count >= 2);
    if (!input.AllFinite()) {
        return 0;
    }
    const C3DAxis& axis = line.Get3DAxis();
    const C3DVector& uVector = axis.GetUVector();
    const C3DVector& vVector = axis.GetVVector();
    POLYVIEW_FUZZ_CHECK(Finite(uVector) && Finite(vVector) && std::isfinite(axis.GetDistance()));
    // A unit direction with its largest component positive, a unit foot direction across it and
    // a distance that is not negative.
    POLYVIEW_FUZZ_CHECK(std::fabs(vVector.GetNorm() - 1.0) < 1e-9);
    POLYVIEW_FUZZ_CHECK(std::fabs(uVector.GetNorm() - 1.0) < 1e-9);
    POLYVIEW_FUZZ_CHECK(std::fabs(uVector.GetDotProduct(vVector)) < 1e-9);
    POLYVIEW_FUZZ_CHECK(axis.GetDistance() >= 0.0);
    // Ties aside: the frame's round trip through a rotation vector moves components by up to
    // about 1e-8 near half-turns, so a near tie may come out either way.
    int largest = 0;
    for (int i = 1; i < 3; ++i) {
        if (std::fabs(vVector.GetData(i)) > std::fabs(vVector.GetData(largest))) {
            largest = i;
        }
    }
    POLYVIEW_FUZZ_CHECK(vVector.GetData(largest) > 0.0 ||
                        std::fabs(vVector.GetData(largest)) <
                            std::fabs(vVector.GetData((largest + 1) % 3)) + 1e-6 ||
                        std::fabs(vVector.GetData(largest)) <
                            std::fabs(vVector.GetData((largest + 2) % 3)) + 1e-6);
    return 0;
}
