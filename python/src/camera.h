#pragma once

#include <pybind11/pybind11.h>

#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/vector3d.h"

namespace polyview_python {

// The camera centre in world coordinates, -R^T T.
C3DVector CameraCentre(const CCameraParam& camera);

// Adds polyview.Camera (a CCameraParam) to the module.
void BindCamera(pybind11::module_& module);

}  // namespace polyview_python
