#include "camera.h"
#include "errors.h"
#include "projection.h"
#include "reconstruction.h"
#include "shapes.h"
#include <pybind11/pybind11.h>

PYBIND11_MODULE(_core, module) {
    module.doc() =
        "Polyview's compiled core: 3D measurement from calibrated camera images over numpy "
        "arrays. Import the package `polyview`, which re-exports everything here.";
    module.attr("__version__") = POLYVIEW_VERSION;
    polyview_python::BindErrors(module);
    polyview_python::BindCamera(module);
    polyview_python::BindShapes(module);
    polyview_python::BindReconstruction(module);
    polyview_python::BindProjection(module);
}
