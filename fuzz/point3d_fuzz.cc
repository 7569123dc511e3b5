// C3DPoint::CreateFromImagePoints: observations either of one world point (projected, then
// nudged) or arbitrary, in cameras of any quality.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"

#include "polyview/foundations/array1d.h"
#include "polyview/shapes3d/point3d.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput input(data, size);
    C3DPoint point(C3DCoordinate(input.Vector3(), WorldCoordinateSystem));
    input.ResetFinite();  // the previous value plays no part in the result

    const bool fromOnePoint = input.Bool();
    const C3DVector target = input.Vector3();
    const int count = input.Count(24);
    C1DArray<SImagePoint> observations;
    observations.SetSize(count);
    for (int k = 0; k < count; ++k) {
        observations[k].cameraParam = input.Camera();
        C2DCoordinate image;
        if (!fromOnePoint || !ProjectInto(observations[k].cameraParam, target, image)) {
            image = input.Point2();
        }
        const C2DCoordinate nudge = input.Point2();
        image.SetVector(image.GetData(0) + nudge.GetData(0) * 1e-6,
                        image.GetData(1) + nudge.GetData(1) * 1e-6);
        observations[k].imagePoint = image;
    }

    const std::vector<unsigned char> before = Bytes(point);
    if (!point.CreateFromImagePoints(observations)) {
        POLYVIEW_FUZZ_CHECK(SameBytes(before, point));
        return 0;
    }
    POLYVIEW_FUZZ_CHECK(count >= 2);
    POLYVIEW_FUZZ_CHECK(point.GetPoint().GetCoordinateSystem() == WorldCoordinateSystem);
    if (input.AllFinite()) {
        POLYVIEW_FUZZ_CHECK(Finite(point.GetPoint()));
    }
    return 0;
}
