#include "camera.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "array_input.h"
#include "core/reprojection.h"
#include "core/soundness.h"
#include "pickling.h"
#include <pybind11/stl.h>

#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/intrinsic_param.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/lens/lens_model.h"
#include "polyview/shapes3d/point3d.h"

namespace polyview_python {

namespace {

// The models given by an OpenCV camera matrix and distortion coefficients; every other name is
// one of COLMAP's, given by params.
bool IsOpenCvModel(const std::string& model) {
    return model == "opencv" || model == "opencv_fisheye";
}

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

// TypeError unless the argument was given (it is not None), or unless it was not, as wanted.
void RequireArgument(py::handle value, const char* name, bool wanted, const std::string& when) {
    if (value.is_none() == wanted) {
        throw py::type_error(std::string(name) + (wanted ? ": required " : ": not taken ") + when);
    }
}

std::vector<double> Values(const DoubleArray& array) {
    return std::vector<double>(array.data(), array.data() + array.size());
}

// The lens of an OpenCV camera matrix and distortion coefficients, ValueError naming the argument
// at fault with the library's reason.
CLensModel ReadOpenCvLens(const std::string& model,
                          py::handle matrixValue,
                          py::handle distortionValue,
                          LensArguments& given) {
    const DoubleArray matrix = ReadArray(matrixValue, "camera_matrix", {Fixed(3), Fixed(3)});
    const double* k = matrix.data();
    if (!(k[3] == 0.0 && k[6] == 0.0 && k[7] == 0.0 && k[8] == 1.0)) {
        throw py::value_error("camera_matrix: expected [[fx, s, cx], [0, fy, cy], [0, 0, 1]]");
    }
    // As cv2.calibrateCamera returns them, (1, n), or as a column (n, 1).
    const DoubleArray distortion = ReadArray(
        distortionValue, "distortion", {{Any("n")}, {Fixed(1), Any("n")}, {Any("n"), Fixed(1)}});
    // OpenCV puts the centre of the first pixel at (0, 0), the module (as the scene files) at
    // (0.5, 0.5).
    const double cx = k[2] + 0.5;
    const double cy = k[5] + 0.5;
    CLensModel lens;
    std::string reason;
    if (!CLensModel::CreatePinhole(k[0], k[4], k[1], cx, cy, lens, reason)) {
        throw py::value_error("camera_matrix: " + reason);
    }
    const int count = static_cast<int>(std::min<py::ssize_t>(distortion.size(), INT_MAX));
    if (model == "opencv_fisheye" && count != 4) {
        throw py::value_error(
            "distortion: OpenCV's fisheye model takes 4 coefficients k1 k2 k3 k4, not " +
            std::to_string(distortion.size()));
    }
    const bool made = model == "opencv_fisheye"
                          ? CLensModel::CreateOpenCVFisheye(
                                k[0], k[4], k[1], cx, cy, distortion.data(), lens, reason)
                          : CLensModel::CreateOpenCV(
                                k[0], k[4], k[1], cx, cy, distortion.data(), count, lens, reason);
    if (!made) {
        throw py::value_error("distortion: " + reason);
    }
    given.cameraMatrix = Values(matrix);
    given.distortion = Values(distortion);
    return lens;
}

// The lens of a model and its arguments (COLMAP's parameters, or OpenCV's camera matrix and
// distortion coefficients): TypeError for an argument missing or not taken, ValueError naming the
// argument at fault with the library's reason.
CLensModel ReadLens(const std::string& model,
                    py::handle params,
                    py::handle cameraMatrix,
                    py::handle distortion,
                    LensArguments& given) {
    const std::string with = "with model=" + py::repr(py::str(model)).cast<std::string>();
    given.model = model;
    if (IsOpenCvModel(model)) {
        RequireArgument(params, "params", false, with + " (it takes camera_matrix, distortion)");
        RequireArgument(cameraMatrix, "camera_matrix", true, with);
        RequireArgument(distortion, "distortion", true, with);
        return ReadOpenCvLens(model, cameraMatrix, distortion, given);
    }
    RequireArgument(cameraMatrix, "camera_matrix", false, with + " (it takes params)");
    RequireArgument(distortion, "distortion", false, with + " (it takes params)");
    RequireArgument(params, "params", true, with);
    const DoubleArray values = ReadArray(params, "params", {Any("n")});
    given.params = Values(values);
    CLensModel lens;
    std::string reason;
    if (!CLensModel::CreateColmap(model, given.params, lens, reason)) {
        // The library names an unknown model first, before it looks at the parameters.
        if (reason.rfind("unknown camera model", 0) == 0) {
            throw py::value_error("model: " + reason +
                                  " (expected one of COLMAP's camera models, \"opencv\" or "
                                  "\"opencv_fisheye\")");
        }
        throw py::value_error("params: " + reason);
    }
    return lens;
}

Camera MakeCamera(std::optional<double> focalLength,
                  py::handle principalPoint,
                  py::handle rotation,
                  py::handle translation,
                  py::handle widthValue,
                  py::handle heightValue,
                  std::optional<std::string> model,
                  py::handle params,
                  py::handle cameraMatrix,
                  py::handle distortion) {
    Camera made;
    CLensModel lens;
    if (model) {
        const std::string with = "with model= (the lens gives the ideal pinhole)";
        if (focalLength) {
            throw py::type_error("focal_length: not taken " + with);
        }
        RequireArgument(principalPoint, "principal_point", false, with);
        lens = ReadLens(*model, params, cameraMatrix, distortion, made.lens);
    } else {
        for (const auto& [value, name] : {std::pair{params, "params"},
                                          std::pair{cameraMatrix, "camera_matrix"},
                                          std::pair{distortion, "distortion"}}) {
            RequireArgument(value, name, false, "without model=");
        }
        if (!focalLength) {
            throw py::type_error("focal_length: required without model=");
        }
        RequireArgument(principalPoint, "principal_point", true, "without model=");
        if (!(std::isfinite(*focalLength) && *focalLength > 0.0)) {
            throw py::value_error("focal_length: must be a finite number greater than 0, got " +
                                  ReprNumber(*focalLength));
        }
    }
    RequireArgument(rotation, "rotation", true, "(R, world to camera)");
    RequireArgument(translation, "translation", true, "(T, world to camera)");
    std::optional<DoubleArray> centre;
    if (!model) {
        centre = ReadArray(principalPoint, "principal_point", {Fixed(2)});
        RequireFinite(*centre, "principal_point");
    }
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
    const CExtrinsicParam pose(camFromWorld, C3DVector(shift.data()));
    const CCameraParam pinhole =
        model
            ? CCamera::IdealPinholeFor(lens, pose)
            : CCameraParam(
                  CIntrinsicParam(*focalLength, C2DCoordinate(centre->at(0), centre->at(1))), pose);
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
    made.camera = CCamera(pinhole, width, height);
    if (model && !lens.IsSquarePinhole()) {
        made.camera.SetLensModel(lens);
    }
    return made;
}

// The library's look-at camera (CCamera::CreateLookAt): x to the right, y down, up up.
Camera LookAt(py::handle centreValue,
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
    Camera made;
    if (!CCamera::CreateLookAt(C3DVector(centre.data()),
                               C3DVector(target.data()),
                               C3DVector(up.data()),
                               focalLength,
                               C2DCoordinate(principal.at(0), principal.at(1)),
                               width,
                               height,
                               made.camera)) {
        throw py::value_error(
            "centre, target: the camera must stand apart from its target, all values finite");
    }
    return made;
}

// Points (n, dimension) or one point (dimension,) read as rows; the result has a row of two for
// each, NaN until written.
struct Rows {
    DoubleArray in;
    py::ssize_t count;
    py::array_t<double> out;
};
Rows ReadRows(py::handle value, const char* name, py::ssize_t dimension) {
    DoubleArray in = ReadArray(value, name, {{Any("n"), Fixed(dimension)}, {Fixed(dimension)}});
    const bool single = in.ndim() == 1;
    const py::ssize_t count = single ? 1 : in.shape(0);
    py::array_t<double> out =
        single ? NaNArray({2}) : NaNArray({count, static_cast<py::ssize_t>(2)});
    return {std::move(in), count, std::move(out)};
}

// The image of each point in observed pixels, NaN where the point is not in front of the camera or
// has no image through the lens.
py::array_t<double> Project(const Camera& camera, py::handle pointsValue) {
    Rows rows = ReadRows(pointsValue, "points", 3);
    const double* in = rows.in.data();
    double* out = rows.out.mutable_data();
    for (py::ssize_t i = 0; i < rows.count; ++i) {
        const C3DPoint point(C3DCoordinate(in + 3 * i, WorldCoordinateSystem));
        core::Pixel image;
        if (core::ProjectPoint(camera.camera, point, image)) {
            out[2 * i] = image.x;
            out[2 * i + 1] = image.y;
        }
    }
    return rows.out;
}

// Observed pixels to ideal pinhole pixels (toIdeal) or back, NaN where the map has none.
py::array_t<double> MapPixels(const Camera& camera,
                              py::handle pixelsValue,
                              const char* name,
                              bool toIdeal) {
    Rows rows = ReadRows(pixelsValue, name, 2);
    const double* in = rows.in.data();
    double* out = rows.out.mutable_data();
    for (py::ssize_t i = 0; i < rows.count; ++i) {
        const C2DCoordinate pixel(in[2 * i], in[2 * i + 1]);
        C2DCoordinate mapped;
        if (toIdeal ? camera.camera.ToIdealPixel(pixel, mapped)
                    : camera.camera.FromIdealPixel(pixel, mapped)) {
            out[2 * i] = mapped.GetData(0);
            out[2 * i + 1] = mapped.GetData(1);
        }
    }
    return rows.out;
}

py::array_t<double> FrozenArray(const std::vector<double>& values,
                                const std::vector<py::ssize_t>& shape) {
    py::array_t<double> array(shape);
    std::copy(values.begin(), values.end(), array.mutable_data());
    return Frozen(array);
}

// The lens's keyword arguments, None for a camera given by focal length and principal point.
py::object LensOf(const Camera& camera) {
    const LensArguments& lens = camera.lens;
    if (lens.model.empty()) {
        return py::none();
    }
    py::dict arguments;
    arguments["model"] = lens.model;
    if (IsOpenCvModel(lens.model)) {
        arguments["camera_matrix"] = FrozenArray(lens.cameraMatrix, {3, 3});
        arguments["distortion"] =
            FrozenArray(lens.distortion, {static_cast<py::ssize_t>(lens.distortion.size())});
    } else {
        arguments["params"] =
            FrozenArray(lens.params, {static_cast<py::ssize_t>(lens.params.size())});
    }
    return std::move(arguments);
}

py::array_t<double> RotationMatrixOf(const Camera& camera) {
    py::array_t<double> matrix({3, 3});
    camera.camera.GetCameraParam().GetExtrinsicParam().GetRotateMatrix().GetMatrix(
        matrix.mutable_data());
    return Frozen(matrix);
}

// The values a camera shows (the rotation vector and the centre follow from them); the lens's
// lists each after its length, the model's name as character codes.
std::vector<double> CameraValues(const Camera& made) {
    const CCamera& camera = made.camera;
    const CIntrinsicParam& intrinsic = camera.GetCameraParam().GetIntrinsicParam();
    const CExtrinsicParam& pose = camera.GetCameraParam().GetExtrinsicParam();
    std::vector<double> values(17);
    values[0] = intrinsic.GetFocalLengthParam();
    intrinsic.GetPrincipalPointParam().GetVector(values.data() + 1);
    pose.GetRotateMatrix().GetMatrix(values.data() + 3);
    pose.GetTranslateVector().GetVector(values.data() + 12);
    values[15] = camera.GetWidth();
    values[16] = camera.GetHeight();
    const LensArguments& lens = made.lens;
    const std::vector<double> name(lens.model.begin(), lens.model.end());
    for (const std::vector<double>* list :
         {&name, &lens.params, &lens.cameraMatrix, &lens.distortion}) {
        values.push_back(static_cast<double>(list->size()));
        values.insert(values.end(), list->begin(), list->end());
    }
    return values;
}

// The photo's width or height, None when not known.
py::object ImageSide(int pixels) {
    return pixels > 0 ? py::object(py::int_(pixels)) : py::object(py::none());
}

std::string ReprVector(const std::vector<double>& values) {
    return ReprList(values.data(), static_cast<int>(values.size()));
}

std::string ReprCamera(const Camera& made) {
    const CCamera& camera = made.camera;
    const LensArguments& lens = made.lens;
    const CIntrinsicParam& intrinsic = camera.GetCameraParam().GetIntrinsicParam();
    const CExtrinsicParam& pose = camera.GetCameraParam().GetExtrinsicParam();
    std::string text = "Camera(";
    if (lens.model.empty()) {
        double principalPoint[2];
        intrinsic.GetPrincipalPointParam().GetVector(principalPoint);
        text += "focal_length=" + ReprNumber(intrinsic.GetFocalLengthParam()) +
                ", principal_point=" + ReprList(principalPoint, 2);
    } else {
        text += "model=" + py::repr(py::str(lens.model)).cast<std::string>();
        if (IsOpenCvModel(lens.model)) {
            const double* k = lens.cameraMatrix.data();
            text += ", camera_matrix=[" + ReprList(k, 3) + ", " + ReprList(k + 3, 3) + ", " +
                    ReprList(k + 6, 3) + "], distortion=" + ReprVector(lens.distortion);
        } else {
            text += ", params=" + ReprVector(lens.params);
        }
    }
    text += ", rotation=" + ReprList(pose.GetRotateMatrix().GetRotateVector()) +
            ", translation=" + ReprList(pose.GetTranslateVector());
    if (camera.GetWidth() > 0) {
        text += ", width=" + std::to_string(camera.GetWidth()) +
                ", height=" + std::to_string(camera.GetHeight());
    }
    return text + ")";
}

const CCameraParam& PinholeOf(const Camera& camera) {
    return camera.camera.GetCameraParam();
}

// Pickling: a camera's state is (f, cx, cy, R row by row, T) as it holds them, its photo's size
// and its lens arguments; it is made again from them by the constructor's own path, which keeps
// every value bit for bit (R is taken as a matrix, the ideal pinhole of a lens comes from the
// lens).
py::tuple CameraState(const Camera& made) {
    const std::vector<double> values = CameraValues(made);
    const std::vector<double> numbers(values.begin(), values.begin() + 15);
    return py::make_tuple(NumbersState(numbers),
                          ImageSide(made.camera.GetWidth()),
                          ImageSide(made.camera.GetHeight()),
                          LensOf(made));
}

Camera CameraFromState(const py::tuple& state) {
    if (state.size() != 4 || !(state[3].is_none() || py::isinstance<py::dict>(state[3]))) {
        throw py::value_error("Camera: a pickled state (numbers, width, height, lens) expected");
    }
    const std::vector<double> numbers = ReadNumbersState(state[0], 15, "Camera");
    py::array_t<double> rotation({3, 3});
    std::copy(numbers.begin() + 3, numbers.begin() + 12, rotation.mutable_data());
    const py::array_t<double> translation(3, numbers.data() + 12);
    if (state[3].is_none()) {
        const py::array_t<double> principalPoint(2, numbers.data() + 1);
        return MakeCamera(numbers[0],
                          principalPoint,
                          rotation,
                          translation,
                          state[1],
                          state[2],
                          std::nullopt,
                          py::none(),
                          py::none(),
                          py::none());
    }
    const py::dict lens = py::reinterpret_borrow<py::dict>(state[3]);
    const auto argument = [&lens](const char* name) {
        return lens.contains(name) ? py::object(lens[name]) : py::object(py::none());
    };
    if (!lens.contains("model")) {
        throw py::value_error("Camera: a pickled lens without its model");
    }
    return MakeCamera(std::nullopt,
                      py::none(),
                      rotation,
                      translation,
                      state[1],
                      state[2],
                      lens["model"].cast<std::string>(),
                      argument("params"),
                      argument("camera_matrix"),
                      argument("distortion"));
}

}  // namespace

void BindCamera(py::module_& module) {
    py::class_<Camera> cameraClass(
        module,
        "Camera",
        "A calibrated camera and optionally the size of its photo: a world point X has camera "
        "coordinates R X + T; the ideal pinhole images them at (f x / z + cx, f y / z + cy), and "
        "the lens model, when given, maps normalised (x / z, y / z) to the photo's observed "
        "pixels instead. Pixels: x to the right, y down, origin at the top-left corner of the "
        "photo (the first pixel's centre at (0.5, 0.5)), as in the tool's scene files. "
        "Immutable; equal (and of equal hash) when the values it shows are.");
    CompareByValue(cameraClass, &CameraValues)
        .def(py::init(&MakeCamera),
             py::arg("focal_length") = py::none(),
             py::arg("principal_point") = py::none(),
             py::arg("rotation") = py::none(),
             py::arg("translation") = py::none(),
             py::arg("width") = py::none(),
             py::arg("height") = py::none(),
             py::kw_only(),
             py::arg("model") = py::none(),
             py::arg("params") = py::none(),
             py::arg("camera_matrix") = py::none(),
             py::arg("distortion") = py::none(),
             "Camera(focal_length, principal_point, rotation, translation, width=None, "
             "height=None, *, model=None, params=None, camera_matrix=None, distortion=None)\n\n"
             "Without a lens: focal_length f in pixels, finite and > 0, and principal_point (cx, "
             "cy). With a lens (no focal_length, principal_point): model, a COLMAP camera model "
             "(SIMPLE_PINHOLE, PINHOLE, SIMPLE_RADIAL, RADIAL, OPENCV, OPENCV_FISHEYE, "
             "FULL_OPENCV, SIMPLE_RADIAL_FISHEYE, RADIAL_FISHEYE, THIN_PRISM_FISHEYE) with params "
             "in COLMAP's order and pixels; or model 'opencv' (radial-tangential, distortion of "
             "4, 5, 8, 12 or 14 coefficients) or 'opencv_fisheye' (4) with OpenCV's camera_matrix "
             "(3, 3), whose principal point is in OpenCV's pixels (the first pixel's centre at "
             "(0, 0)) and is moved by +0.5. The ideal pinhole is f = fx and the lens's principal "
             "point. rotation: R as a 3 x 3 rotation matrix (within 1e-5) or a rotation vector "
             "(3,) (unit axis times angle in radians), also as OpenCV's rvec (3, 1) or a row (1, "
             "3). translation: T (3,), (3, 1) as OpenCV's tvec, or (1, 3). width, height: the "
             "photo's size in pixels, both or neither. TypeError naming an argument missing or "
             "not taken with the model; ValueError naming the argument for a bad value, shape or "
             "dtype (with the library's reason for a lens: unknown model, wrong count, a value "
             "not finite), and for a pose that is none: a rotation vector whose matrix is not "
             "finite, a matrix that is not a rotation, a centre -R^T T that overflows.")
        .def_property_readonly(
            "focal_length",
            [](const Camera& camera) {
                return PinholeOf(camera).GetIntrinsicParam().GetFocalLengthParam();
            },
            "f of the ideal pinhole in pixels (the lens's fx).")
        .def_property_readonly(
            "principal_point",
            [](const Camera& camera) {
                return FrozenVector(PinholeOf(camera).GetIntrinsicParam().GetPrincipalPointParam());
            },
            "(cx, cy) of the ideal pinhole in pixels (the lens's), shape (2,).")
        .def_property_readonly("lens",
                               &LensOf,
                               "The lens as the keyword arguments that give it: {'model', "
                               "'params'} or {'model', 'camera_matrix', 'distortion'}, the "
                               "arrays read-only; None for a camera without a lens model.")
        .def_property_readonly("rotation", &RotationMatrixOf, "R, shape (3, 3).")
        .def_property_readonly(
            "rotation_vector",
            [](const Camera& camera) {
                return FrozenVector(
                    PinholeOf(camera).GetExtrinsicParam().GetRotateMatrix().GetRotateVector());
            },
            "R as a rotation vector (unit axis times angle in radians, angle in [0, pi]), (3,).")
        .def_property_readonly(
            "translation",
            [](const Camera& camera) {
                return FrozenVector(PinholeOf(camera).GetExtrinsicParam().GetTranslateVector());
            },
            "T, shape (3,).")
        .def_property_readonly(
            "centre",
            [](const Camera& camera) { return FrozenVector(camera.camera.GetCentre()); },
            "The camera centre in world coordinates, -R^T T, shape (3,).")
        .def_property_readonly(
            "width",
            [](const Camera& camera) { return ImageSide(camera.camera.GetWidth()); },
            "The photo's width in pixels, None when not given.")
        .def_property_readonly(
            "height",
            [](const Camera& camera) { return ImageSide(camera.camera.GetHeight()); },
            "The photo's height in pixels, None when not given.")
        .def("project",
             &Project,
             py::arg("points"),
             "project(points) -> ndarray\n\n"
             "The images of world points (n, 3) as (n, 2) observed pixels, through the lens (a "
             "single point (3,) gives (2,)). A point that is not in front of the camera (depth "
             "<= 0), lies beyond the lens's fold radius, or holds NaN gives a NaN row.")
        .def(
            "undistort",
            [](const Camera& camera, py::handle pixels) {
                return MapPixels(camera, pixels, "pixels", true);
            },
            py::arg("pixels"),
            "undistort(pixels) -> ndarray\n\n"
            "Observed pixels (n, 2) of the photo as ideal pinhole pixels (n, 2): where the ideal "
            "pinhole (focal_length, principal_point) images the same viewing rays ((2,) gives "
            "(2,)). NaN rows where the lens has no inverse (beyond its fold radius, Newton's "
            "method not converging) or the pixel is not finite. Without a lens the identity.")
        .def(
            "distort",
            [](const Camera& camera, py::handle pixels) {
                return MapPixels(camera, pixels, "ideal_pixels", false);
            },
            py::arg("ideal_pixels"),
            "distort(ideal_pixels) -> ndarray\n\n"
            "Ideal pinhole pixels (n, 2) as the photo's observed pixels (n, 2), the inverse of "
            "undistort ((2,) gives (2,)). NaN rows beyond the lens's fold radius or where a "
            "value is not finite.")
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
                    "A camera without a lens at centre (3,) whose optical axis points at target "
                    "(3,), with up pointing up in the photo (x to the right, y down). ValueError "
                    "when centre equals target or a value is not finite.")
        .def(py::pickle(&CameraState, &CameraFromState))
        .def("__repr__", &ReprCamera);
}

}  // namespace polyview_python
