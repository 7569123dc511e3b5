#pragma once

#include <pybind11/pybind11.h>

namespace polyview_python {

// Adds the shape types Point3D, Line3D, Segment3D, Cylinder, Plane and Line2D to the module: the
// library's shapes, immutable from Python, with numpy attributes.
void BindShapes(pybind11::module_& module);

}  // namespace polyview_python
