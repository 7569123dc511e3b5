#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "polyview/camera/camera.h"
#include "polyview/foundations/vector2d.h"
#include "polyview/foundations/vector3d.h"

namespace polyview_python {

namespace py = pybind11;

// A C-ordered float64 array, the form in which every array argument is read.
using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// One dimension of an expected array shape: a fixed size, or any size shown by a name ("n").
struct Dim {
    py::ssize_t size;  // -1 for any size
    const char* name;  // shown in messages for any size
};
inline Dim Any(const char* name) {
    return {-1, name};
}
inline Dim Fixed(py::ssize_t size) {
    return {size, nullptr};
}
using Shape = std::vector<Dim>;

// The value (an array or nested sequences of real numbers; integers are converted) as a float64
// array of one of the shapes. ValueError naming the argument for any other dtype (bool, complex,
// object, strings), ragged nesting or shape.
DoubleArray ReadArray(py::handle value, const char* name, std::initializer_list<Shape> shapes);
DoubleArray ReadArray(py::handle value, const char* name, const Shape& shape);

// The cameras of a sequence of polyview.Camera; TypeError naming the argument (and the index of
// an element that is not a camera).
std::vector<CCamera> ReadCameras(py::handle value, const char* name);

// A finite 3-vector (3,); ValueError naming the argument otherwise.
C3DVector ReadVector3(py::handle value, const char* name);
// A finite 2-vector (2,); ValueError naming the argument otherwise.
C2DVector ReadVector2(py::handle value, const char* name);

// ValueError naming the argument when a value is infinite; NaN is allowed (a missing observation).
void RequireNoInfinity(const DoubleArray& array, const char* name);
// ValueError naming the argument when a value is NaN or infinite.
void RequireFinite(const DoubleArray& array, const char* name);
// ValueError when rows (the length of the first dimension) differs from the number of cameras.
void RequireRowPerCamera(const DoubleArray& array, const char* name, size_t cameras);

// Whether any of the count values is NaN.
bool HasNaN(const double* values, py::ssize_t count);
// Whether every one of the count values is finite.
bool AllFinite(const double* values, py::ssize_t count);

// A new float64 array of the shape, every value NaN.
py::array_t<double> NaNArray(const std::vector<py::ssize_t>& shape);
// A read-only copy of the array (it belongs to a frozen result), whose memory belongs to an
// object without a buffer, so that numpy refuses to make it writeable again.
py::array_t<double> Frozen(py::array_t<double> array);
// A new read-only 1-D array of the values.
py::array_t<double> FrozenVector(std::initializer_list<double> values);
py::array_t<double> FrozenVector(const C3DVector& vector);
py::array_t<double> FrozenVector(const C2DVector& vector);

// Whether the two lists hold the same values, NaN (a value not had) equal to NaN in the same
// place, -0.0 equal to 0.0.
bool SameValues(const std::vector<double>& first, const std::vector<double>& second);
// A hash of the values that agrees with SameValues.
py::ssize_t HashValues(const std::vector<double>& values);

// Makes the immutable class compare (==, !=) and hash by the values listed by values(object):
// every value it shows, so that equal objects are alike in every property.
template <typename T, typename Values>
py::class_<T>& CompareByValue(py::class_<T>& cls, Values values) {
    cls.def(
           "__eq__",
           [values](const T& self, const T& other) {
               return SameValues(values(self), values(other));
           },
           py::is_operator())
        .def(
            "__ne__",
            [values](const T& self, const T& other) {
                return !SameValues(values(self), values(other));
            },
            py::is_operator())
        .def("__hash__", [values](const T& self) { return HashValues(values(self)); });
    return cls;
}

// The shortest text that reads back as the same double ("0.1", "nan").
std::string ReprNumber(double value);
// "[x, y, z]" of the count values.
std::string ReprList(const double* values, int count);
std::string ReprList(const C3DVector& vector);

}  // namespace polyview_python
