#pragma once

#include <pybind11/pybind11.h>

namespace polyview_python {

// Adds reproject_point, reproject_line, reproject_segment and reproject_cylinder with their
// result types.
void BindProjection(pybind11::module_& module);

}  // namespace polyview_python
