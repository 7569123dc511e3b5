#include "camera.h"

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "array_input.h"
#include "core/reprojection.h"
#include "core/soundness.h"
#include <pybind11/stl.h>

#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/intrinsic_param.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/shapes3d/point3d.h"

namespace polyview_python {

namespace {

// R from a rotation matrix (3, 3) or a rotation vector (3,), also a column (3, 1) as OpenCV gives
// rvec, or a row (1, 3); whether it is a rotation is judged with the whole camera.
CRotateMatrix ReadRotation(py::handle value) {
    const DoubleArray array =
        ReadArray(value,
                  "rotation",
                  {{Fixed(3), Fixed(3)}, {Fixed(3)}, {Fixed(3), Fixed(1)}, {Fixed(1), Fixed(3)}});
    RequireFinite(array, "rotation");
    const double* r = array.data();
    if (array.size() == 3) {
        return CRotateVector(r).GetRotateMatrix();
    }
    return CRotateMatrix(C33Matrix(r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]));
}

// A photo's width or height: None (not known), or an integer from 1 to INT_MAX.
int ReadImageSide(py::handle value, const char* name) {
    if (value.is_none()) {
        return 0;
    }
    if (py::isinstance<py::bool_>(value) || PyIndex_Check(value.ptr()) == 0) {
        throw py::type_error(std::string(name) + ": expected an integer or None, got " +
                             py::str(py::type::of(value).attr("__name__")).cast<std::string>());
    }
    const py::int_ side = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
    const long long pixels = PyLong_AsLongLong(side.ptr());
    if (PyErr_Occurred() != nullptr) {
        PyErr_Clear();
        throw py::value_error(std::string(name) + ": too large");
    }
    if (pixels < 1 || pixels > INT_MAX) {
        throw py::value_error(std::string(name) + ": must be between 1 and " +
                              std::to_string(INT_MAX) + " pixels, got " + std::to_string(pixels));
    }
    return static_cast<int>(pixels);
}

CCamera MakeCamera(double focalLength,
                   py::handle principalPoint,
                   py::handle rotation,
                   py::handle translation,
                   py::handle widthValue,
                   py::handle heightValue) {
    if (!(std::isfinite(focalLength) && focalLength > 0.0)) {
        throw py::value_error("focal_length: must be a finite number greater than 0, got " +
                              ReprNumber(focalLength));
    }
    const DoubleArray centre = ReadArray(principalPoint, "principal_point", {Fixed(2)});
    RequireFinite(centre, "principal_point");
    const CRotateMatrix camFromWorld = ReadRotation(rotation);
    // (3,), a column (3, 1) as OpenCV gives tvec, or a row (1, 3).
    const DoubleArray shift = ReadArray(
        translation, "translation", {{Fixed(3)}, {Fixed(3), Fixed(1)}, {Fixed(1), Fixed(3)}});
    RequireFinite(shift, "translation");
    const int width = ReadImageSide(widthValue, "width");
    const int height = ReadImageSide(heightValue, "height");
    if ((width == 0) != (height == 0)) {
        throw py::value_error("width, height: give both or neither");
    }
    const CCameraParam pinhole(
        CIntrinsicParam(focalLength, C2DCoordinate(centre.at(0), centre.at(1))),
        CExtrinsicParam(camFromWorld, C3DVector(shift.data())));
    // A rotation vector too large for its matrix, a matrix that is no rotation, a centre that
    // overflows: every reconstruction with such a camera would be wrong.
    const std::string reason = core::CheckCameraPose(pinhole);
    if (!reason.empty()) {
        double r[9];
        camFromWorld.GetMatrix(r);
        const bool rotationAtFault =
            !(CCamera::GetRotationDeviation(r) <= CCamera::kRotationTolerance);
        throw py::value_error(std::string(rotationAtFault ? "rotation: " : "translation: ") +
                              reason);
    }
    return CCamera(pinhole, width, height);
}

// The library's look-at camera (CCamera::CreateLookAt): x to the right, y down, up up.
CCamera LookAt(py::handle centreValue,
               py::handle targetValue,
               double focalLength,
               py::handle principalPoint,
               py::handle upValue,
               py::handle widthValue,
               py::handle heightValue) {
    const DoubleArray centre = ReadArray(centreValue, "centre", {Fixed(3)});
    const DoubleArray target = ReadArray(targetValue, "target", {Fixed(3)});
    const DoubleArray up = ReadArray(upValue, "up", {Fixed(3)});
    const DoubleArray principal = ReadArray(principalPoint, "principal_point", {Fixed(2)});
    if (!(std::isfinite(focalLength) && focalLength > 0.0)) {
        throw py::value_error("focal_length: must be a finite number greater than 0, got " +
                              ReprNumber(focalLength));
    }
    const int width = ReadImageSide(widthValue, "width");
    const int height = ReadImageSide(heightValue, "height");
    if ((width == 0) != (height == 0)) {
        throw py::value_error("width, height: give both or neither");
    }
    CCamera camera;
    if (!CCamera::CreateLookAt(C3DVector(centre.data()),
                               C3DVector(target.data()),
                               C3DVector(up.data()),
                               focalLength,
                               C2DCoordinate(principal.at(0), principal.at(1)),
                               width,
                               height,
                               camera)) {
        throw py::value_error(
            "centre, target: the camera must stand apart from its target, all values finite");
    }
    return camera;
}

// The image of each point in observed pixels, NaN where the point is not in front of the camera or
// its image is not finite; a single point (3,) gives a single image point (2,).
py::array_t<double> Project(const CCamera& camera, py::handle pointsValue) {
    const DoubleArray points = ReadArray(pointsValue, "points", {{Any("n"), Fixed(3)}, {Fixed(3)}});
    const bool single = points.ndim() == 1;
    const py::ssize_t count = single ? 1 : points.shape(0);
    py::array_t<double> images =
        single ? NaNArray({2}) : NaNArray({count, static_cast<py::ssize_t>(2)});
    const double* in = points.data();
    double* out = images.mutable_data();
    for (py::ssize_t i = 0; i < count; ++i) {
        const C3DPoint point(C3DCoordinate(in + 3 * i, WorldCoordinateSystem));
        core::Pixel image;
        if (core::ProjectPoint(camera, point, image)) {
            out[2 * i] = image.x;
            out[2 * i + 1] = image.y;
        }
    }
    return images;
}

py::array_t<double> RotationMatrixOf(const CCamera& camera) {
    py::array_t<double> matrix({3, 3});
    camera.GetCameraParam().GetExtrinsicParam().GetRotateMatrix().GetMatrix(matrix.mutable_data());
    return Frozen(matrix);
}

// The values a camera shows (the rotation vector and the centre follow from them).
std::vector<double> CameraValues(const CCamera& camera) {
    const CIntrinsicParam& intrinsic = camera.GetCameraParam().GetIntrinsicParam();
    const CExtrinsicParam& pose = camera.GetCameraParam().GetExtrinsicParam();
    std::vector<double> values(17);
    values[0] = intrinsic.GetFocalLengthParam();
    intrinsic.GetPrincipalPointParam().GetVector(values.data() + 1);
    pose.GetRotateMatrix().GetMatrix(values.data() + 3);
    pose.GetTranslateVector().GetVector(values.data() + 12);
    values[15] = camera.GetWidth();
    values[16] = camera.GetHeight();
    return values;
}

// The photo's width or height, None when not known.
py::object ImageSide(int pixels) {
    return pixels > 0 ? py::object(py::int_(pixels)) : py::object(py::none());
}

std::string ReprCamera(const CCamera& camera) {
    const CIntrinsicParam& intrinsic = camera.GetCameraParam().GetIntrinsicParam();
    const CExtrinsicParam& pose = camera.GetCameraParam().GetExtrinsicParam();
    double principalPoint[2];
    intrinsic.GetPrincipalPointParam().GetVector(principalPoint);
    std::string text = "Camera(focal_length=" + ReprNumber(intrinsic.GetFocalLengthParam()) +
                       ", principal_point=" + ReprList(principalPoint, 2) +
                       ", rotation=" + ReprList(pose.GetRotateMatrix().GetRotateVector()) +
                       ", translation=" + ReprList(pose.GetTranslateVector());
    if (camera.GetWidth() > 0) {
        text += ", width=" + std::to_string(camera.GetWidth()) +
                ", height=" + std::to_string(camera.GetHeight());
    }
    return text + ")";
}

}  // namespace

void BindCamera(py::module_& module) {
    py::class_<CCamera> cameraClass(
        module,
        "Camera",
        "A calibrated pinhole camera without lens distortion, and optionally the size of its "
        "photo: a world point X has camera coordinates R X + T and images at (f x / z + cx, "
        "f y / z + cy), in pixels. Immutable; equal (and of equal hash) when f, principal point, "
        "R, T and the photo's size are.");
    CompareByValue(cameraClass, &CameraValues)
        .def(py::init(&MakeCamera),
             py::arg("focal_length"),
             py::arg("principal_point"),
             py::arg("rotation"),
             py::arg("translation"),
             py::arg("width") = py::none(),
             py::arg("height") = py::none(),
             "Camera(focal_length, principal_point, rotation, translation, width=None, "
             "height=None)\n\n"
             "focal_length: f in pixels, finite and > 0. principal_point: (cx, cy). rotation: R "
             "as a 3 x 3 rotation matrix (within 1e-5) or a rotation vector (3,) (unit axis "
             "times angle in radians), also as OpenCV's rvec (3, 1) or a row (1, 3). translation: "
             "T (3,), (3, 1) as OpenCV's tvec, or (1, 3). width, height: the photo's size in "
             "pixels, both or neither. ValueError naming the argument for a bad value, shape or "
             "dtype, and for a pose that is none: a rotation vector whose matrix is not finite, a "
             "matrix that is not a rotation, a centre -R^T T that overflows.")
        .def_property_readonly(
            "focal_length",
            [](const CCamera& camera) {
                return camera.GetCameraParam().GetIntrinsicParam().GetFocalLengthParam();
            },
            "f in pixels.")
        .def_property_readonly(
            "principal_point",
            [](const CCamera& camera) {
                return FrozenVector(
                    camera.GetCameraParam().GetIntrinsicParam().GetPrincipalPointParam());
            },
            "(cx, cy) in pixels, shape (2,).")
        .def_property_readonly("rotation", &RotationMatrixOf, "R, shape (3, 3).")
        .def_property_readonly(
            "rotation_vector",
            [](const CCamera& camera) {
                return FrozenVector(camera.GetCameraParam()
                                        .GetExtrinsicParam()
                                        .GetRotateMatrix()
                                        .GetRotateVector());
            },
            "R as a rotation vector (unit axis times angle in radians, angle in [0, pi]), (3,).")
        .def_property_readonly(
            "translation",
            [](const CCamera& camera) {
                return FrozenVector(
                    camera.GetCameraParam().GetExtrinsicParam().GetTranslateVector());
            },
            "T, shape (3,).")
        .def_property_readonly(
            "centre",
            [](const CCamera& camera) { return FrozenVector(camera.GetCentre()); },
            "The camera centre in world coordinates, -R^T T, shape (3,).")
        .def_property_readonly(
            "width",
            [](const CCamera& camera) { return ImageSide(camera.GetWidth()); },
            "The photo's width in pixels, None when not given.")
        .def_property_readonly(
            "height",
            [](const CCamera& camera) { return ImageSide(camera.GetHeight()); },
            "The photo's height in pixels, None when not given.")
        .def("project",
             &Project,
             py::arg("points"),
             "project(points) -> ndarray\n\n"
             "The images of world points (n, 3) as (n, 2) pixels (a single point (3,) gives "
             "(2,)). A point that is not in front of the camera (depth <= 0), or NaN, gives a "
             "NaN row.")
        .def_static("look_at",
                    &LookAt,
                    py::arg("centre"),
                    py::arg("target"),
                    py::arg("focal_length"),
                    py::arg("principal_point"),
                    py::arg("up") = std::vector<double>{0.0, 0.0, 1.0},
                    py::arg("width") = py::none(),
                    py::arg("height") = py::none(),
                    "look_at(centre, target, focal_length, principal_point, up=(0, 0, 1), "
                    "width=None, height=None) -> Camera\n\n"
                    "A camera at centre (3,) whose optical axis points at target (3,), with up "
                    "pointing up in the photo (x to the right, y down). ValueError when centre "
                    "equals target or a value is not finite.")
        .def("__repr__", &ReprCamera);
}

}  // namespace polyview_python
