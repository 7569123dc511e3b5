#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include <pybind11/pybind11.h>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "polyview/shapes3d/point3d.h"

namespace polyview_python {

// A 3D shape as the module holds it: the library's shape and the cameras left out as outliers
// in measuring it (outliers="drop"), in the order left out; none for a shape made directly.
template <typename Shape>
struct Measured : Shape {
    Measured() = default;
    // The shape with the cameras left out in measuring it (implicit: a shape made directly).
    Measured(const Shape& shape, std::vector<std::size_t> leftOutCameras = {})
        : Shape(shape), leftOut(std::move(leftOutCameras)) {}

    std::vector<std::size_t> leftOut;
};

using PointShape = Measured<C3DPoint>;
using LineShape = Measured<C3DLine>;
using SegmentShape = Measured<C3DLineSegment>;
using CylinderShape = Measured<C3DCylinder>;

// Adds the shape types Point3D, Line3D, Segment3D, Cylinder, Plane and Line2D to the module: the
// library's shapes, immutable from Python, with numpy attributes.
void BindShapes(pybind11::module_& module);

}  // namespace polyview_python
