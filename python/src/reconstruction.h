#pragma once

#include <pybind11/pybind11.h>

namespace polyview_python {

// Adds the reconstructions and fits: triangulate_point(s), reconstruct_line, reconstruct_segment,
// reconstruct_cylinder, fit_plane, fit_line_2d and sample_curve.
void BindReconstruction(pybind11::module_& module);

}  // namespace polyview_python
