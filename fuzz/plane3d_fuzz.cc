// C3DPlane::SetApproximationPlane and C3DPlanarPolygon::SetApproximationPlane: points near one
// plane (nudged) or arbitrary, coincident and collinear sets among them.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"

#include "polyview/foundations/array1d.h"
#include "polyview/shapes3d/planar_polygon3d.h"
#include "polyview/shapes3d/plane3d.h"

namespace {

// The largest magnitude of the three components.
double Largest(const C3DVector& v) {
    return std::fmax(std::fabs(v.GetData(0)),
                     std::fmax(std::fabs(v.GetData(1)), std::fabs(v.GetData(2))));
}

void CheckFittedPlane(const C3DPlane& plane) {
    const C3DVector& normal = plane.GetNormalVector();
    POLYVIEW_FUZZ_CHECK(Finite(normal) && Finite(plane.GetPoint()));
    POLYVIEW_FUZZ_CHECK(std::fabs(normal.GetNorm() - 1.0) < 1e-9);
    // The largest-magnitude component is positive (ties aside).
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(normal.GetData(i)) == Largest(normal)) {
            const bool tie = std::fabs(normal.GetData((i + 1) % 3)) > Largest(normal) - 1e-12 ||
                             std::fabs(normal.GetData((i + 2) % 3)) > Largest(normal) - 1e-12;
            POLYVIEW_FUZZ_CHECK(normal.GetData(i) > 0.0 || tie);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput input(data, size);
    const C3DVector initialNormal = input.Vector3();
    C3DPlane plane(initialNormal, C3DCoordinate(input.Vector3(), WorldCoordinateSystem));
    C3DPlanarPolygon polygon;
    const int oldCount = input.Count(4);
    C1DArray<C3DCoordinate> oldVertices;
    oldVertices.SetSize(oldCount);
    for (int i = 0; i < oldCount; ++i) {
        oldVertices[i] = input.Vector3();
    }
    polygon.SetApproximationPlane(oldVertices);
    input.ResetFinite();

    const bool nearPlane = input.Bool();
    const C3DVector normal = input.Vector3().GetNormalizedVector();
    const C3DVector across = normal.GetCrossProduct(input.Vector3());
    const C3DVector along = normal.GetCrossProduct(across);
    const C3DVector origin = input.Vector3();
    const int count = input.Count(40);
    C1DArray<C3DCoordinate> points;
    points.SetSize(count);
    for (int i = 0; i < count; ++i) {
        if (nearPlane) {
            const double s = input.Double();
            const double t = input.Double();
            points[i] = origin + across * s + along * t + normal * (input.Double() * 1e-6);
        } else {
            points[i] = input.Vector3();
        }
    }
    bool allFinite = true;
    for (int i = 0; i < count; ++i) {
        allFinite = allFinite && Finite(points[i]);
    }

    const std::vector<unsigned char> planeBefore = Bytes(plane);
    if (!plane.SetApproximationPlane(points)) {
        POLYVIEW_FUZZ_CHECK(SameBytes(planeBefore, plane));
    } else {
        POLYVIEW_FUZZ_CHECK(count >= 3 && allFinite);
        CheckFittedPlane(plane);
    }

    const std::vector<unsigned char> polygonBefore = Bytes(polygon);
    const std::vector<unsigned char> polygonPlaneBefore = Bytes(polygon.GetPlane());
    const int verticesBefore = polygon.GetVertices().GetSize();
    std::vector<unsigned char> vertexBytesBefore;
    for (int i = 0; i < verticesBefore; ++i) {
        const std::vector<unsigned char> bytes = Bytes(polygon.GetVertices()[i]);
        vertexBytesBefore.insert(vertexBytesBefore.end(), bytes.begin(), bytes.end());
    }
    if (!polygon.SetApproximationPlane(points)) {
        POLYVIEW_FUZZ_CHECK(SameBytes(polygonBefore, polygon));
        POLYVIEW_FUZZ_CHECK(SameBytes(polygonPlaneBefore, polygon.GetPlane()));
        std::vector<unsigned char> vertexBytes;
        for (int i = 0; i < polygon.GetVertices().GetSize(); ++i) {
            const std::vector<unsigned char> bytes = Bytes(polygon.GetVertices()[i]);
            vertexBytes.insert(vertexBytes.end(), bytes.begin(), bytes.end());
        }
        POLYVIEW_FUZZ_CHECK(vertexBytes == vertexBytesBefore);
        return 0;
    }
    POLYVIEW_FUZZ_CHECK(count >= 3 && allFinite);
    CheckFittedPlane(polygon.GetPlane());
    POLYVIEW_FUZZ_CHECK(polygon.GetVertices().GetSize() == count);
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            POLYVIEW_FUZZ_CHECK(
                SameBits(polygon.GetVertices()[i].GetData(c), points[i].GetData(c)));
        }
    }
    return 0;
}
