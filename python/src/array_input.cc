#include "array_input.h"

#include <cmath>
#include <memory>
#include <sstream>

#include "camera.h"

namespace polyview_python {

namespace {

std::string ShapeText(const Shape& shape) {
    std::ostringstream text;
    text << '(';
    for (size_t i = 0; i < shape.size(); ++i) {
        text << (i > 0 ? ", " : "");
        if (shape[i].size < 0) {
            text << shape[i].name;
        } else {
            text << shape[i].size;
        }
    }
    text << (shape.size() == 1 ? ",)" : ")");
    return text.str();
}

std::string ShapeText(const py::array& array) {
    return py::repr(py::tuple(array.attr("shape"))).cast<std::string>();
}

bool Matches(const py::array& array, const Shape& shape) {
    if (array.ndim() != static_cast<py::ssize_t>(shape.size())) {
        return false;
    }
    for (size_t i = 0; i < shape.size(); ++i) {
        if (shape[i].size >= 0 && array.shape(static_cast<py::ssize_t>(i)) != shape[i].size) {
            return false;
        }
    }
    return true;
}

[[noreturn]] void Fail(const char* name, const std::string& message) {
    throw py::value_error(std::string(name) + ": " + message);
}

}  // namespace

DoubleArray ReadArray(py::handle value, const char* name, std::initializer_list<Shape> shapes) {
    py::array array;
    try {
        array = py::module_::import("numpy").attr("asarray")(value);
    } catch (py::error_already_set& error) {
        // Ragged nesting and objects that numpy cannot read.
        Fail(name, "not an array of numbers (" + py::str(error.value()).cast<std::string>() + ")");
    }
    const char kind = array.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u') {
        Fail(name,
             "expected real numbers, got an array of dtype " +
                 py::str(array.dtype()).cast<std::string>());
    }
    for (const Shape& shape : shapes) {
        if (Matches(array, shape)) {
            DoubleArray converted = DoubleArray::ensure(array);
            if (!converted) {
                Fail(name, "cannot be converted to float64");
            }
            return converted;
        }
    }
    std::string expected;
    for (const Shape& shape : shapes) {
        expected += (expected.empty() ? "" : " or ") + ShapeText(shape);
    }
    Fail(name, "expected shape " + expected + ", got " + ShapeText(array));
}

DoubleArray ReadArray(py::handle value, const char* name, const Shape& shape) {
    return ReadArray(value, name, {shape});
}

std::vector<CCamera> ReadCameras(py::handle value, const char* name) {
    if (!py::isinstance<py::sequence>(value) || py::isinstance<py::str>(value)) {
        const std::string hint =
            py::isinstance<Camera>(value) ? " (put a single camera in a list)" : "";
        throw py::type_error(std::string(name) + ": expected a sequence of polyview.Camera, got " +
                             py::str(py::type::of(value).attr("__name__")).cast<std::string>() +
                             hint);
    }
    const py::sequence sequence = py::reinterpret_borrow<py::sequence>(value);
    std::vector<CCamera> cameras;
    cameras.reserve(sequence.size());
    for (size_t i = 0; i < sequence.size(); ++i) {
        const py::object item = sequence[i];
        if (!py::isinstance<Camera>(item)) {
            throw py::type_error(std::string(name) + "[" + std::to_string(i) +
                                 "]: expected a polyview.Camera, got " +
                                 py::str(py::type::of(item).attr("__name__")).cast<std::string>());
        }
        cameras.push_back(item.cast<const Camera&>().camera);
    }
    return cameras;
}

C3DVector ReadVector3(py::handle value, const char* name) {
    const DoubleArray array = ReadArray(value, name, {Fixed(3)});
    RequireFinite(array, name);
    return C3DVector(array.data());
}

C2DVector ReadVector2(py::handle value, const char* name) {
    const DoubleArray array = ReadArray(value, name, {Fixed(2)});
    RequireFinite(array, name);
    return C2DVector(array.at(0), array.at(1));
}

void RequireNoInfinity(const DoubleArray& array, const char* name) {
    const double* values = array.data();
    for (py::ssize_t i = 0; i < array.size(); ++i) {
        if (std::isinf(values[i])) {
            Fail(name, "values must be finite (NaN marks a missing observation), got inf");
        }
    }
}

void RequireFinite(const DoubleArray& array, const char* name) {
    if (!AllFinite(array.data(), array.size())) {
        Fail(name, "values must be finite, got NaN or inf");
    }
}

void RequireRowPerCamera(const DoubleArray& array, const char* name, size_t cameras) {
    const auto rows = static_cast<size_t>(array.shape(0));
    if (rows != cameras) {
        Fail(name,
             "one row per camera expected: " + std::to_string(rows) + " rows for " +
                 std::to_string(cameras) + " cameras");
    }
}

bool HasNaN(const double* values, py::ssize_t count) {
    for (py::ssize_t i = 0; i < count; ++i) {
        if (std::isnan(values[i])) {
            return true;
        }
    }
    return false;
}

bool AllFinite(const double* values, py::ssize_t count) {
    for (py::ssize_t i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) {
            return false;
        }
    }
    return true;
}

py::array_t<double> NaNArray(const std::vector<py::ssize_t>& shape) {
    py::array_t<double> array(shape);
    double* values = array.mutable_data();
    for (py::ssize_t i = 0; i < array.size(); ++i) {
        values[i] = std::nan("");
    }
    return array;
}

py::array_t<double> Frozen(py::array_t<double> array) {
    const double* values = array.data();
    auto copy = std::make_unique<std::vector<double>>(values, values + array.size());
    double* data = copy->data();
    const py::capsule owner(copy.get(),
                            [](void* block) { delete static_cast<std::vector<double>*>(block); });
    copy.release();  // the capsule owns it now
    const std::vector<py::ssize_t> shape(array.shape(), array.shape() + array.ndim());
    py::array_t<double> frozen(shape, data, owner);
    frozen.attr("flags").attr("writeable") = false;
    return frozen;
}

bool SameValues(const std::vector<double>& first, const std::vector<double>& second) {
    if (first.size() != second.size()) {
        return false;
    }
    for (size_t i = 0; i < first.size(); ++i) {
        if (!(first[i] == second[i] || (std::isnan(first[i]) && std::isnan(second[i])))) {
            return false;
        }
    }
    return true;
}

py::ssize_t HashValues(const std::vector<double>& values) {
    // Python's float hash takes -0.0 as 0.0; every NaN hashes as None.
    py::tuple items(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        items[i] =
            std::isnan(values[i]) ? py::object(py::none()) : py::object(py::float_(values[i]));
    }
    return py::hash(items);
}

py::array_t<double> FrozenVector(std::initializer_list<double> values) {
    py::array_t<double> array(static_cast<py::ssize_t>(values.size()));
    double* out = array.mutable_data();
    for (const double value : values) {
        *out++ = value;
    }
    return Frozen(array);
}

py::array_t<double> FrozenVector(const C3DVector& vector) {
    return FrozenVector({vector.GetData(0), vector.GetData(1), vector.GetData(2)});
}

py::array_t<double> FrozenVector(const C2DVector& vector) {
    return FrozenVector({vector.GetData(0), vector.GetData(1)});
}

std::string ReprNumber(double value) {
    return py::repr(py::float_(value)).cast<std::string>();
}

std::string ReprList(const double* values, int count) {
    std::string text = "[";
    for (int i = 0; i < count; ++i) {
        text += (i > 0 ? ", " : "") + ReprNumber(values[i]);
    }
    return text + "]";
}

std::string ReprList(const C3DVector& vector) {
    double values[3];
    vector.GetVector(values);
    return ReprList(values, 3);
}

}  // namespace polyview_python
