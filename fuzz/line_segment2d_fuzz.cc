// C2DLineSegment::Unify (separate and aliased results, any tolerance) and
// C2DLineSegment::SetEpipolarLine (any two cameras, any point, any integer bounds).
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"

#include "polyview/geometry2d/line_segment2d.h"

namespace {

C2DLineSegment DecodeSegment(CFuzzInput& input) {
    const C2DCoordinate start = input.Point2();
    return C2DLineSegment(start, input.Point2());
}

bool SamePoint(const C2DCoordinate& a, const C2DVector& b) {
    return SameBits(a.GetData(0), b.GetData(0)) && SameBits(a.GetData(1), b.GetData(1));
}

void FuzzUnify(CFuzzInput& input) {
    C2DLineSegment first = DecodeSegment(input);
    C2DLineSegment second = DecodeSegment(input);
    if (input.Bool()) {  // the second segment continues the first, more or less
        C2DCoordinate a, b;
        first.GetEndPoints(a, b);
        const double t0 = input.Double();
        const double t1 = input.Double();
        const C2DVector step = b - a;
        const C2DCoordinate nudge = input.Point2();
        second.SetEndPoints(C2DCoordinate(a + step * t0 + nudge * 1e-6, WorldCoordinateSystem),
                            C2DCoordinate(a + step * t1 - nudge * 1e-6, WorldCoordinateSystem));
    }
    C2DLineSegment result = DecodeSegment(input);
    const double tolerance = input.Double();
    const uint8_t alias = input.Byte() % 3;  // 0: a separate result, 1: into first, 2: into second
    C2DLineSegment& unified = alias == 0 ? result : (alias == 1 ? first : second);

    C2DCoordinate ends[5];
    first.GetEndPoints(ends[0], ends[1]);
    second.GetEndPoints(ends[2], ends[3]);
    C2DCoordinate unifiedStart, unifiedEnd;
    unified.GetEndPoints(unifiedStart, unifiedEnd);
    const std::vector<unsigned char> firstBefore = Bytes(first);
    const std::vector<unsigned char> secondBefore = Bytes(second);
    const std::vector<unsigned char> unifiedBefore = Bytes(unified);

    const bool merged = first.Unify(second, unified, tolerance);
    if (alias != 1) {
        POLYVIEW_FUZZ_CHECK(SameBytes(firstBefore, first));
    }
    if (alias != 2) {
        POLYVIEW_FUZZ_CHECK(SameBytes(secondBefore, second));
    }
    if (!merged) {
        POLYVIEW_FUZZ_CHECK(SameBytes(unifiedBefore, unified));
        return;
    }
    POLYVIEW_FUZZ_CHECK(tolerance >= 0.0);
    // The merged end points are two of the four (the old ones when all four coincide).
    C2DCoordinate start, end;
    unified.GetEndPoints(start, end);
    bool startFound = SamePoint(start, unifiedStart);
    bool endFound = SamePoint(end, unifiedEnd);
    for (int i = 0; i < 4; ++i) {
        startFound = startFound || SamePoint(start, ends[i]);
        endFound = endFound || SamePoint(end, ends[i]);
    }
    POLYVIEW_FUZZ_CHECK(startFound && endFound);
}

void FuzzEpipolarLine(CFuzzInput& input) {
    C2DLineSegment segment = DecodeSegment(input);
    const CCameraParam first = input.Camera();
    const CCameraParam second = input.Camera();
    const C2DCoordinate point = input.Point2();
    const bool anyBounds = input.Bool();
    const int xStart = anyBounds ? input.Int() : static_cast<int>(input.Byte()) - 64;
    const int xEnd = anyBounds ? input.Int() : static_cast<int>(input.Byte()) * 8;

    const std::vector<unsigned char> before = Bytes(segment);
    if (!segment.SetEpipolarLine(first, second, point, xStart, xEnd)) {
        POLYVIEW_FUZZ_CHECK(SameBytes(before, segment));
        return;
    }
    C2DCoordinate start, end;
    segment.GetEndPoints(start, end);
    POLYVIEW_FUZZ_CHECK(Finite(start) && Finite(end));
    POLYVIEW_FUZZ_CHECK(start.GetData(0) == static_cast<double>(xStart) &&
                        end.GetData(0) == static_cast<double>(xEnd));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput input(data, size);
    if (input.Bool()) {
        FuzzEpipolarLine(input);
    } else {
        FuzzUnify(input);
    }
    return 0;
}
