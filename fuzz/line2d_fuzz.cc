// C2DLine::GetApproximationLine (points near one line, nudged, or arbitrary),
// C2DLine::GetIntersection and C2DLine::GetLineSegment (any lines, any rectangle).
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"

#include "polyview/foundations/array1d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"

namespace {

C2DLine DecodeLine(CFuzzInput& input) {
    const double a = input.Double();
    const double b = input.Double();
    const double params[3] = {a, b, input.Double()};
    C2DLine line;
    line.SetLineParams(params);
    return line;
}

void FuzzApproximation(CFuzzInput& input, C2DLine& line) {
    input.ResetFinite();
    const bool nearLine = input.Bool();
    const C2DCoordinate origin = input.Point2();
    const C2DCoordinate direction = input.Point2();
    const int count = input.Count(40);
    C1DArray<C2DCoordinate> points;
    points.SetSize(count);
    for (int i = 0; i < count; ++i) {
        if (nearLine) {
            const double t = input.Double();
            const double off = input.Double() * 1e-6;
            points[i].SetVector(
                origin.GetData(0) + t * direction.GetData(0) - off * direction.GetData(1),
                origin.GetData(1) + t * direction.GetData(1) + off * direction.GetData(0));
        } else {
            points[i] = input.Point2();
        }
    }
    bool allFinite = true;
    for (int i = 0; i < count; ++i) {
        allFinite = allFinite && Finite(points[i]);
    }
    const std::vector<unsigned char> before = Bytes(line);
    if (!line.GetApproximationLine(points)) {
        POLYVIEW_FUZZ_CHECK(SameBytes(before, line));
        return;
    }
    POLYVIEW_FUZZ_CHECK(count >= 1);
    double params[3];
    line.GetLineParams(params);
    POLYVIEW_FUZZ_CHECK(std::isfinite(params[0]) && std::isfinite(params[1]) &&
                        std::isfinite(params[2]));
    if (allFinite) {
        POLYVIEW_FUZZ_CHECK(std::fabs(std::hypot(params[0], params[1]) - 1.0) < 1e-9);
    }
}

void FuzzIntersection(CFuzzInput& input, const C2DLine& line) {
    const C2DLine other = DecodeLine(input);
    C2DCoordinate point = input.Point2();
    const std::vector<unsigned char> lineBefore = Bytes(line);
    const std::vector<unsigned char> otherBefore = Bytes(other);
    const std::vector<unsigned char> pointBefore = Bytes(point);
    const bool found = line.GetIntersection(other, point);
    POLYVIEW_FUZZ_CHECK(SameBytes(lineBefore, line) && SameBytes(otherBefore, other));
    if (!found) {
        POLYVIEW_FUZZ_CHECK(SameBytes(pointBefore, point));
        return;
    }
    POLYVIEW_FUZZ_CHECK(Finite(point));
    // For two well-separated directions of moderate size the point lies on both lines.
    double p[3];
    double q[3];
    line.GetLineParams(p);
    other.GetLineParams(q);
    const double np = std::hypot(p[0], p[1]);
    const double nq = std::hypot(q[0], q[1]);
    const double sine = std::fabs(p[0] * q[1] - p[1] * q[0]) / (np * nq);
    const bool moderate = np > 1e-3 && np < 1e3 && nq > 1e-3 && nq < 1e3 && std::fabs(p[2]) < 1e6 &&
                          std::fabs(q[2]) < 1e6;
    // The elimination pivots on a1 whenever |a1| > 1e-6, however small beside b1; such a pivot
    // amplifies rounding by |b1 / a1| (up to 1e-6 relative error for unit-size lines), which is
    // the documented method, not a fault. Only pivots within 1e-3 of the larger one are checked.
    const double pivot = std::fabs(p[0]) > 1e-6 ? std::fabs(p[0]) : std::fabs(p[1]);
    const bool fairPivot = pivot > 1e-3 * std::fmax(std::fabs(p[0]), std::fabs(p[1]));
    if (moderate && fairPivot && sine > 0.1) {
        const double x = point.GetData(0);
        const double y = point.GetData(1);
        const double scale = 1.0 + std::fabs(x) + std::fabs(y);
        POLYVIEW_FUZZ_CHECK(std::fabs(p[0] * x + p[1] * y + p[2]) / np < 1e-9 * scale);
        POLYVIEW_FUZZ_CHECK(std::fabs(q[0] * x + q[1] * y + q[2]) / nq < 1e-9 * scale);
    }
}

void FuzzLineSegment(CFuzzInput& input, const C2DLine& line) {
    const double xMin = input.Double();
    const double yMin = input.Double();
    const double xMax = input.Double();
    const double yMax = input.Double();
    const std::vector<unsigned char> lineBefore = Bytes(line);
    const C2DLineSegment clipped = line.GetLineSegment(xMin, yMin, xMax, yMax);
    POLYVIEW_FUZZ_CHECK(SameBytes(lineBefore, line));
    C2DCoordinate start, end;
    clipped.GetEndPoints(start, end);
    const bool isDefault = start.GetData(0) == 0.0 && start.GetData(1) == 0.0 &&
                           end.GetData(0) == 0.0 && end.GetData(1) == 1.0;
    if (isDefault) {
        return;
    }
    // A clip: both end points on the rectangle's border or inside it.
    for (const C2DCoordinate* point : {&start, &end}) {
        const double x = point->GetData(0);
        const double y = point->GetData(1);
        POLYVIEW_FUZZ_CHECK(xMin <= x && x <= xMax && yMin <= y && y <= yMax);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput input(data, size);
    const uint8_t mode = input.Byte() % 3;
    C2DLine line = DecodeLine(input);
    if (mode == 0) {
        FuzzApproximation(input, line);
    } else if (mode == 1) {
        FuzzIntersection(input, line);
    } else {
        FuzzLineSegment(input, line);
    }
    return 0;
}
