// The measurement tool's scene parser (measure::ParseScene) on any text: it either throws
// measure::InputError or returns a scene that keeps every promise of its checks.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "measure/input_error.h"
#include "measure/scene.h"

namespace {

bool FiniteValue(double value) {
    return std::isfinite(value);
}

void CheckPoint(const measure::Scene& scene, std::size_t camera, const measure::Vec2& point) {
    POLYVIEW_FUZZ_CHECK(camera < scene.cameras.size());
    POLYVIEW_FUZZ_CHECK(FiniteValue(point.x) && FiniteValue(point.y));
    POLYVIEW_FUZZ_CHECK(
        scene.cameras[camera].calibration.Contains(C2DCoordinate(point.x, point.y)));
}

void CheckSegment(const measure::Scene& scene,
                  std::size_t camera,
                  const measure::Segment2& segment) {
    CheckPoint(scene, camera, segment.start);
    CheckPoint(scene, camera, segment.end);
    POLYVIEW_FUZZ_CHECK(segment.start.x != segment.end.x || segment.start.y != segment.end.y);
}

void CheckScene(const measure::Scene& scene) {
    POLYVIEW_FUZZ_CHECK(!scene.cameras.empty());
    for (const measure::Camera& camera : scene.cameras) {
        const CCamera& calibration = camera.calibration;
        const CIntrinsicParam& pinhole = calibration.GetCameraParam().GetIntrinsicParam();
        const double focalLength = pinhole.GetFocalLengthParam();
        const C2DCoordinate principal = pinhole.GetPrincipalPointParam();
        POLYVIEW_FUZZ_CHECK(FiniteValue(focalLength) && focalLength > 0.0);
        POLYVIEW_FUZZ_CHECK(FiniteValue(principal.GetData(0)) && FiniteValue(principal.GetData(1)));
        POLYVIEW_FUZZ_CHECK(calibration.GetWidth() > 0 && calibration.GetHeight() > 0);
        POLYVIEW_FUZZ_CHECK(calibration.HasValidPose());
        // A lens, when there is one, was made from usable numbers; a photo was found.
        double fx = 0.0, fy = 0.0, skew = 0.0, cx = 0.0, cy = 0.0;
        calibration.GetLensModel().GetIntrinsics(fx, fy, skew, cx, cy);
        POLYVIEW_FUZZ_CHECK(fx > 0.0 && fy > 0.0 && FiniteValue(fx) && FiniteValue(fy));
        POLYVIEW_FUZZ_CHECK(FiniteValue(skew) && FiniteValue(cx) && FiniteValue(cy));
        POLYVIEW_FUZZ_CHECK(camera.image.empty() == camera.imageName.empty() || camera.source);
    }
    for (const measure::ShapeInput& shape : scene.shapes) {
        POLYVIEW_FUZZ_CHECK(shape.extent == measure::Extent::kUnion ||
                            shape.kind == measure::ShapeKind::kSegment ||
                            shape.kind == measure::ShapeKind::kCylinder);
        switch (shape.kind) {
            case measure::ShapeKind::kPoint:
                POLYVIEW_FUZZ_CHECK(!shape.pointPicks.empty());
                for (const measure::PointPick& pick : shape.pointPicks) {
                    CheckPoint(scene, pick.camera, pick.point);
                }
                break;
            case measure::ShapeKind::kLine:
            case measure::ShapeKind::kSegment:
                POLYVIEW_FUZZ_CHECK(!shape.segmentPicks.empty());
                for (const measure::SegmentPick& pick : shape.segmentPicks) {
                    CheckSegment(scene, pick.camera, pick.segment);
                }
                break;
            case measure::ShapeKind::kCylinder:
                POLYVIEW_FUZZ_CHECK(!shape.cylinderPicks.empty());
                for (const measure::CylinderPick& pick : shape.cylinderPicks) {
                    POLYVIEW_FUZZ_CHECK(pick.edges[0] || pick.edges[1]);
                    for (const auto& edge : pick.edges) {
                        if (edge) {
                            CheckSegment(scene, pick.camera, *edge);
                        }
                    }
                }
                break;
            case measure::ShapeKind::kPlane:
                POLYVIEW_FUZZ_CHECK(shape.planePoints.size() >= 3);
                for (const measure::PlaneSource& source : shape.planePoints) {
                    for (const double value : source.point) {
                        POLYVIEW_FUZZ_CHECK(FiniteValue(value));
                    }
                }
                break;
            case measure::ShapeKind::kCurve:
                POLYVIEW_FUZZ_CHECK(shape.curvePicks.size() >= 2);
                for (const measure::Vec2& point : shape.curvePicks) {
                    CheckPoint(scene, shape.curveCamera, point);
                }
                POLYVIEW_FUZZ_CHECK(shape.sampleCount >= 2);
                POLYVIEW_FUZZ_CHECK(shape.interpolate ||
                                    (FiniteValue(shape.interval) && shape.interval > 0.0));
                break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Camera files named in the scene are opened; device and process files (which may never end
    // or block) are kept out of reach.
    for (const char* device : {"dev", "proc", "sys"}) {
        if (text.find(device) != std::string::npos) {
            return 0;
        }
    }
    try {
        CheckScene(measure::ParseScene(text, "fuzz.json", "/nonexistent-polyview-fuzz"));
    } catch (const measure::InputError&) {
        // Bad input, reported with its place: the expected outcome for most inputs.
    }
    return 0;
}
