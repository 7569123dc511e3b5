// C3DCylinder::CreateFromImageCylinder by tangent planes and by centre lines (silhouettes of one
// cylinder, nudged, or arbitrary edges; edges of length 0 among them) and C3DCylinder::Reproject.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/array1d.h"

namespace {

// A cylinder described here, independently of the library: axis points base + t direction.
struct SCylinder {
    C3DVector base;
    C3DVector direction;  // unit, when usable
    double radius;
    double start;
    double end;
};

// The silhouette edges of cylinder in camera, from the two generators along which viewing rays
// from the centre graze the surface; false when the centre is not outside it or an end does not
// image.
bool Silhouette(const SCylinder& cylinder, const CCameraParam& camera, C2DLineSegment edges[2]) {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const C3DVector centre =
        (pose.GetRotateMatrix().GetTransposedMatrix() * pose.GetTranslateVector()) * -1.0;
    const C3DVector fromBase = centre - cylinder.base;
    const C3DVector across =
        fromBase - cylinder.direction * fromBase.GetDotProduct(cylinder.direction);
    const double h = across.GetNorm();
    if (!(h > std::fabs(cylinder.radius)) || !std::isfinite(h)) {
        return false;
    }
    const C3DVector e = across / h;
    const C3DVector side = cylinder.direction.GetCrossProduct(e);
    const double cosine = cylinder.radius / h;
    const double sine = std::sqrt(1.0 - cosine * cosine);
    for (int k = 0; k < 2; ++k) {
        const C3DVector offset = (e * cosine + side * (k == 0 ? sine : -sine)) * cylinder.radius;
        C2DCoordinate images[2];
        if (!ProjectInto(
                camera, cylinder.base + cylinder.direction * cylinder.start + offset, images[0]) ||
            !ProjectInto(
                camera, cylinder.base + cylinder.direction * cylinder.end + offset, images[1])) {
            return false;
        }
        edges[k].SetEndPoints(images[0], images[1]);
    }
    return true;
}

C2DLineSegment Nudged(CFuzzInput& input, const C2DLineSegment& edge) {
    C2DCoordinate ends[2];
    edge.GetEndPoints(ends[0], ends[1]);
    for (C2DCoordinate& end : ends) {
        const C2DCoordinate nudge = input.Point2();
        end.SetVector(end.GetData(0) + nudge.GetData(0) * 1e-6,
                      end.GetData(1) + nudge.GetData(1) * 1e-6);
    }
    return C2DLineSegment(ends[0], ends[1]);
}

void FuzzCreate(CFuzzInput& input, C3DCylinder& cylinder, bool fullFit) {
    const bool fromCylinder = input.Bool();
    SCylinder known;
    known.base = input.Vector3();
    known.direction = input.Vector3().GetNormalizedVector();
    known.radius = input.Double();
    known.start = input.Double();
    known.end = input.Double();
    const int count = input.Count(12);
    C1DArray<SImageCylinder> observations;
    observations.SetSize(count);
    for (int k = 0; k < count; ++k) {
        SImageCylinder& observation = observations[k];
        observation.cameraParam = input.Camera();
        C2DLineSegment edges[2];
        if (!fromCylinder || !Silhouette(known, observation.cameraParam, edges)) {
            for (C2DLineSegment& edge : edges) {
                const C2DCoordinate start = input.Point2();
                edge.SetEndPoints(start, input.Point2());
            }
        }
        const uint8_t missing = input.Byte();  // an edge of length 0 is not observed
        for (int e = 0; e < 2; ++e) {
            observation.edgeSegment[e] = Nudged(input, edges[e]);
            if ((missing >> e) & (missing >> 2) & 1) {
                C2DCoordinate start, end;
                observation.edgeSegment[e].GetEndPoints(start, end);
                observation.edgeSegment[e].SetEndPoints(start, start);
            }
        }
    }

    const std::vector<unsigned char> before = Bytes(cylinder);
    const std::vector<unsigned char> rangeBefore = Bytes(cylinder.GetRange());
    if (!cylinder.CreateFromImageCylinder(observations, fullFit)) {
        // Either nothing changed, or a new axis and radius were found but no range.
        POLYVIEW_FUZZ_CHECK(SameBytes(rangeBefore, cylinder.GetRange()));
        POLYVIEW_FUZZ_CHECK(count >= 2 || SameBytes(before, cylinder));
        return;
    }
    POLYVIEW_FUZZ_CHECK(count >= 2);
    if (!input.AllFinite()) {
        return;
    }
    const C3DAxis& axis = cylinder.GetAxis();
    POLYVIEW_FUZZ_CHECK(Finite(axis.GetUVector()) && Finite(axis.GetVVector()) &&
                        std::isfinite(axis.GetDistance()));
    POLYVIEW_FUZZ_CHECK(std::fabs(axis.GetVVector().GetNorm() - 1.0) < 1e-9);
    POLYVIEW_FUZZ_CHECK(std::isfinite(cylinder.GetRadius()));
    POLYVIEW_FUZZ_CHECK(std::isfinite(cylinder.GetRange().GetStartPosition()) &&
                        std::isfinite(cylinder.GetRange().GetEndPosition()));
}

void FuzzReproject(CFuzzInput& input, const C3DCylinder& cylinder) {
    const CCameraParam camera = input.Camera();
    C2DLineSegment centerLine(input.Point2(), input.Point2());
    C2DLineSegment edges[2] = {C2DLineSegment(input.Point2(), input.Point2()),
                               C2DLineSegment(input.Point2(), input.Point2())};
    C2DCoordinate observed[4];
    for (C2DCoordinate& point : observed) {
        point = input.Point2();
    }
    double distances[4] = {-2.0, -3.0, -4.0, -5.0};
    double maxDistance = -6.0;
    const uint8_t optional = input.Byte();
    const bool all = (optional & 7) == 7;

    const std::vector<unsigned char> before = Bytes(cylinder);
    const std::vector<unsigned char> centerBefore = Bytes(centerLine);
    const bool projected = cylinder.Reproject(camera,
                                              centerLine,
                                              edges,
                                              (optional & 1) ? observed : nullptr,
                                              (optional & 2) ? distances : nullptr,
                                              (optional & 4) ? &maxDistance : nullptr);
    POLYVIEW_FUZZ_CHECK(SameBytes(before, cylinder));
    const bool distancesUntouched = distances[0] == -2.0 && distances[1] == -3.0 &&
                                    distances[2] == -4.0 && distances[3] == -5.0 &&
                                    maxDistance == -6.0;
    if (!projected || !all) {
        POLYVIEW_FUZZ_CHECK(distancesUntouched);
    }
    if (!projected) {
        POLYVIEW_FUZZ_CHECK(SameBytes(centerBefore, centerLine));
        return;
    }
    if (all && !std::isnan(distances[0] + distances[1] + distances[2] + distances[3])) {
        bool reached = false;
        for (const double distance : distances) {
            POLYVIEW_FUZZ_CHECK(distance <= maxDistance);
            reached = reached || distance == maxDistance;
        }
        POLYVIEW_FUZZ_CHECK(reached);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput input(data, size);
    const uint8_t mode = input.Byte() % 3;
    const C3DVector u = input.Vector3();
    const C3DVector v = input.Vector3();
    const C3DAxis axis(u, v, input.Double());
    const double start = input.Double();
    const CRange range(start, input.Double());
    C3DCylinder cylinder;
    cylinder.Set3DCylinder(axis, range, input.Double(), true, true, true);
    input.ResetFinite();  // a reconstruction replaces axis, radius and range
    if (mode == 2) {
        FuzzReproject(input, cylinder);
    } else {
        FuzzCreate(input, cylinder, mode == 1);
    }
    return 0;
}
