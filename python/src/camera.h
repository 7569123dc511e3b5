#pragma once

#include <pybind11/pybind11.h>

namespace polyview_python {

// Adds polyview.Camera (a CCamera: the pinhole camera and, when given, its photo's size) to the
// module.
void BindCamera(pybind11::module_& module);

}  // namespace polyview_python
