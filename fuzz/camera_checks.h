#pragma once

// What every camera that a camera file reader of the measurement tool accepts must keep: a name,
// a photo size, a real pose and a pinhole and lens made from usable numbers.
#include <cmath>
#include <vector>

#include "fuzz_input.h"
#include "measure/scene.h"

inline void CheckImportedCamera(const measure::Camera& camera) {
    POLYVIEW_FUZZ_CHECK(!camera.id.empty());
    const CCamera& calibration = camera.calibration;
    POLYVIEW_FUZZ_CHECK(calibration.GetWidth() > 0 && calibration.GetHeight() > 0);

    const CExtrinsicParam& pose = calibration.GetCameraParam().GetExtrinsicParam();
    double rotation[9];  // row-major, [3 * row + col]
    pose.GetRotateMatrix().GetMatrix(rotation);
    POLYVIEW_FUZZ_CHECK(CCamera::GetRotationDeviation(rotation) <= CCamera::kRotationTolerance);
    POLYVIEW_FUZZ_CHECK(Finite(pose.GetTranslateVector()));
    POLYVIEW_FUZZ_CHECK(Finite(calibration.GetCentre()));
    POLYVIEW_FUZZ_CHECK(calibration.HasValidPose());

    const CIntrinsicParam& pinhole = calibration.GetCameraParam().GetIntrinsicParam();
    const double focalLength = pinhole.GetFocalLengthParam();
    const C2DCoordinate principal = pinhole.GetPrincipalPointParam();
    POLYVIEW_FUZZ_CHECK(std::isfinite(focalLength) && focalLength > 0.0);
    POLYVIEW_FUZZ_CHECK(Finite(principal));

    // With a lens, the pinhole is the lens's ideal one (f = fx, its principal point), every
    // coefficient is finite and the optical axis images at the principal point and back.
    const CLensModel& lens = calibration.GetLensModel();
    if (lens.IsNone()) {
        return;
    }
    double fx = 0.0, fy = 0.0, skew = 0.0, cx = 0.0, cy = 0.0;
    lens.GetIntrinsics(fx, fy, skew, cx, cy);
    POLYVIEW_FUZZ_CHECK(std::isfinite(fx) && std::isfinite(fy) && fx > 0.0 && fy > 0.0);
    POLYVIEW_FUZZ_CHECK(std::isfinite(skew) && std::isfinite(cx) && std::isfinite(cy));
    POLYVIEW_FUZZ_CHECK(focalLength == fx && principal.GetData(0) == cx &&
                        principal.GetData(1) == cy);
    for (const double coefficient : lens.GetCoefficients()) {
        POLYVIEW_FUZZ_CHECK(std::isfinite(coefficient));
    }
    C2DCoordinate axis;
    POLYVIEW_FUZZ_CHECK(lens.Distort(C2DCoordinate(0.0, 0.0), axis));
    POLYVIEW_FUZZ_CHECK(axis.GetData(0) == cx && axis.GetData(1) == cy);
    C2DCoordinate normalised;
    POLYVIEW_FUZZ_CHECK(lens.Undistort(axis, normalised));
    POLYVIEW_FUZZ_CHECK(std::fabs(normalised.GetData(0)) <= 1e-9 &&
                        std::fabs(normalised.GetData(1)) <= 1e-9);
}
