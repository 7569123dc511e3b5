#pragma once

#include <vector>

#include "core/reprojection.h"

#include "polyview/camera/camera.h"

namespace workbench {

// The epipolar line in camera to's photo of a pixel picked in camera from's photo (observed
// pixels both): the pick is undistorted to from's ideal pinhole, the two ideal pinholes give the
// epipolar line, and to's lens draws it (core::ObservedLinePolylines), clipped to the photo. None
// when the pick has no ideal pixel, the cameras share their centre, or the line misses the photo.
std::vector<core::Polyline> EpipolarPolylines(const CCamera& from,
                                              const core::Pixel& pick,
                                              const CCamera& to);

}  // namespace workbench
