#pragma once

#include <string>
#include <vector>

#include <pybind11/pybind11.h>

#include "polyview/camera/camera.h"

namespace polyview_python {

// The lens of a polyview.Camera as it was given, so that the camera shows it back: the model's
// name as the scene files spell it (a COLMAP model name, "opencv" or "opencv_fisheye"; empty for
// a camera given by focal length and principal point) and its numbers.
struct LensArguments {
    std::string model;
    std::vector<double> params;        // COLMAP's models: the parameters in COLMAP's order
    std::vector<double> cameraMatrix;  // "opencv", "opencv_fisheye": K, row-major, OpenCV's pixels
    std::vector<double> distortion;    // "opencv", "opencv_fisheye": the coefficients
};

// What polyview.Camera holds: the camera that measures (the ideal pinhole, the lens, the photo's
// size) and the lens arguments it was made from.
struct Camera {
    CCamera camera;
    LensArguments lens;
};

// Adds polyview.Camera (the pinhole camera, its lens model and, when given, its photo's size) to
// the module.
void BindCamera(pybind11::module_& module);

}  // namespace polyview_python
