#pragma once

#include <cstddef>
#include <string>

#include "polyview/camera/camera.h"
#include "polyview/foundations/camera_param.h"

// Checks that stand between a caller's input and a result reported as measured: what the library
// computes faithfully but cannot judge (a plane through nearly collinear points, a camera whose
// rotation or centre is not a real pose). The tool and the Python module both decide with these.
namespace core {

// Points whose spread across their best line (root mean square) is below this fraction of their
// spread along it do not fix a plane: the fitted normal then turns with the rounding or picking
// noise (four points within 0.5 mm of a 1.5 m line give a normal 12.5 degrees off).
constexpr double kPlaneSpreadRatioLimit = 0.01;

// How well a set of 3D points fixes a plane.
struct PlaneConditioning {
    bool ok = false;
    double spreadRatio = 0.0;  // sqrt of the scatter's middle over its largest eigenvalue
    std::string reason;        // why not, when !ok
};

// Judges count points (x, y, z consecutive) by the eigenvalues of their centred scatter matrix:
// ok when the ratio is at least kPlaneSpreadRatioLimit. Fewer than three points, non-finite
// coordinates, an overflowing spread or coincident points are not ok, with the reason.
PlaneConditioning JudgePlanePoints(const double* xyz, std::size_t count);

// Empty when the camera is a usable pose (finite rotation matrix within CCamera::kRotationTolerance
// of a rotation, finite translation and centre); otherwise the reason, to follow the field's path.
std::string CheckCameraPose(const CCameraParam& camera);

}  // namespace core
