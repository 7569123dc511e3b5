#include "shapes.h"

#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "array_input.h"
#include "pickling.h"

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/range.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "polyview/shapes3d/plane3d.h"
#include "polyview/shapes3d/point3d.h"

namespace polyview_python {

namespace {

C3DCoordinate ToCoordinate(const C3DVector& vector) {
    return C3DCoordinate(vector, WorldCoordinateSystem);
}

py::array_t<double> SegmentEnd(const C3DLineSegment& segment, int which) {
    C3DCoordinate ends[2];
    segment.GetEndPoint3D(ends);
    return FrozenVector(ends[which]);
}

py::array_t<double> CylinderEnd(const C3DCylinder& cylinder, int which) {
    C3DCoordinate ends[2];
    if (!cylinder.GetEndPoint3D(ends[0], ends[1])) {
        return Frozen(NaNArray({3}));
    }
    return FrozenVector(ends[which]);
}

// Plane and line distances: (n, k) points give (n,) distances, a single point a float.
template <typename Distance>
py::object Distances(py::handle pointsValue, py::ssize_t dimension, Distance distance) {
    const DoubleArray points =
        ReadArray(pointsValue, "points", {{Any("n"), Fixed(dimension)}, {Fixed(dimension)}});
    const double* in = points.data();
    if (points.ndim() == 1) {
        return py::float_(distance(in));
    }
    py::array_t<double> out(points.shape(0));
    double* values = out.mutable_data();
    for (py::ssize_t i = 0; i < points.shape(0); ++i) {
        values[i] = distance(in + dimension * i);
    }
    return std::move(out);
}

// The left_out attribute of a measured shape: a tuple of camera indices.
template <typename Shape>
void AddLeftOut(py::class_<Measured<Shape>>& cls) {
    cls.def_property_readonly(
        "left_out",
        [](const Measured<Shape>& shape) {
            py::tuple cameras(shape.leftOut.size());
            for (std::size_t i = 0; i < shape.leftOut.size(); ++i) {
                cameras[i] = py::int_(shape.leftOut[i]);
            }
            return cameras;
        },
        "The cameras (indices) left out as outliers in measuring it (outliers='drop'), in the "
        "order left out; () for a shape made directly or measured from every view. It takes no "
        "part in comparison.");
}

double PlaneOffset(const C3DPlane& plane) {
    double params[4];
    plane.GetPlaneParam(params);
    return -params[3];
}

// The unit normal, offset and direction of a 2D line, whose coefficients need not be normalised.
struct LineForm {
    double a, b, c, length;
};
LineForm FormOf(const C2DLine& line) {
    double params[3];
    line.GetLineParams(params);
    return {params[0], params[1], params[2], std::hypot(params[0], params[1])};
}

// The values each shape shows, in a fixed order: what its comparison and hash go by.
void Append(std::vector<double>& values, const C3DVector& vector) {
    for (int k = 0; k < 3; ++k) {
        values.push_back(vector.GetData(k));
    }
}

std::vector<double> PointValues(const C3DPoint& point) {
    std::vector<double> values;
    Append(values, point.GetPoint());
    return values;
}

std::vector<double> LineValues(const C3DLine& line) {
    std::vector<double> values;
    Append(values, line.Get3DAxis().GetBaseCoordinate());
    Append(values, line.GetDirectionVector());
    values.push_back(line.Get3DAxis().GetDistance());
    return values;
}

std::vector<double> SegmentValues(const C3DLineSegment& segment) {
    C3DCoordinate ends[2];
    segment.GetEndPoint3D(ends);
    std::vector<double> values;
    Append(values, ends[0]);
    Append(values, ends[1]);
    values.push_back(segment.GetRange().GetLength());
    Append(values, segment.GetAxis().GetVVector());
    return values;
}

std::vector<double> CylinderValues(const C3DCylinder& cylinder) {
    std::vector<double> values;
    for (int which = 0; which < 2; ++which) {
        const py::array_t<double> end = CylinderEnd(cylinder, which);
        values.insert(values.end(), end.data(), end.data() + 3);
    }
    values.push_back(cylinder.GetRadius());
    values.push_back(cylinder.GetRange().GetLength());
    Append(values, cylinder.GetAxis().GetVVector());
    return values;
}

std::vector<double> PlaneValues(const C3DPlane& plane) {
    std::vector<double> values;
    Append(values, plane.GetNormalVector());
    values.push_back(PlaneOffset(plane));
    return values;
}

std::vector<double> Line2DValues(const C2DLine& line) {
    const LineForm form = FormOf(line);
    return {form.a / form.length, form.b / form.length, form.c / form.length};
}

// ValueError naming the arguments when a shape built from finite arguments would hold a value
// that is not finite (a difference, product or square that overflows).
void RequireFiniteValues(const std::vector<double>& values, const char* names) {
    if (!AllFinite(values.data(), static_cast<py::ssize_t>(values.size()))) {
        throw py::value_error(std::string(names) +
                              ": too large; the shape's values would overflow to inf or NaN");
    }
}

PointShape MakePoint(py::handle xyz) {
    return C3DPoint(ToCoordinate(ReadVector3(xyz, "xyz")));
}

LineShape MakeLine(py::handle pointValue, py::handle directionValue) {
    const C3DVector point = ReadVector3(pointValue, "point");
    C3DVector direction;
    if (!ReadVector3(directionValue, "direction").GetNormalizedVector(direction)) {
        throw py::value_error("direction: must not be the zero vector");
    }
    const C3DVector foot = point - direction * point.GetDotProduct(direction);
    C3DLine line(C3DAxis(foot, direction, foot.GetNorm()));
    RequireFiniteValues(LineValues(line), "point, direction");
    return line;
}

// The segment from start to end, which must differ.
C3DLineSegment MakeSegment(py::handle startValue,
                           py::handle endValue,
                           const char* startName,
                           const char* endName) {
    const C3DVector start = ReadVector3(startValue, startName);
    const C3DVector end = ReadVector3(endValue, endName);
    if (!((end - start).GetNorm() > 0.0)) {
        throw py::value_error(std::string(startName) + ", " + endName + ": the points coincide");
    }
    C3DLineSegment segment;
    segment.SetEndPoint3D(ToCoordinate(start), ToCoordinate(end));
    RequireFiniteValues(SegmentValues(segment), (std::string(startName) + ", " + endName).c_str());
    return segment;
}

CylinderShape MakeCylinder(py::handle startValue, py::handle endValue, double radius) {
    if (!(std::isfinite(radius) && radius > 0.0)) {
        throw py::value_error("radius: must be a finite number greater than 0, got " +
                              ReprNumber(radius));
    }
    const C3DLineSegment axis = MakeSegment(startValue, endValue, "axis_start", "axis_end");
    if (axis.GetAxis().GetDistance() == 0.0) {
        // The library keeps no end points for an axis at distance 0 from the origin.
        throw py::value_error(
            "axis_start, axis_end: the axis line passes through the world origin, which the "
            "library cannot hold; shift the world origin");
    }
    C3DCylinder cylinder;
    cylinder.Set3DCylinder(axis.GetAxis(), axis.GetRange(), radius, true, true, true);
    RequireFiniteValues(CylinderValues(cylinder), "axis_start, axis_end");
    return cylinder;
}

C3DPlane MakePlane(py::handle normalValue, double offset) {
    C3DVector normal;
    if (!ReadVector3(normalValue, "normal").GetNormalizedVector(normal)) {
        throw py::value_error("normal: must not be the zero vector");
    }
    if (!std::isfinite(offset)) {
        throw py::value_error("offset: must be finite, got " + ReprNumber(offset));
    }
    return C3DPlane(normal, ToCoordinate(normal * offset));
}

C2DLine MakeLine2D(py::handle normalValue, double offset) {
    const C2DVector normal = ReadVector2(normalValue, "normal");
    const double length = std::hypot(normal.GetData(0), normal.GetData(1));  // no overflow
    if (!(length > 0.0)) {
        throw py::value_error("normal: must not be the zero vector");
    }
    if (!std::isfinite(offset)) {
        throw py::value_error("offset: must be finite, got " + ReprNumber(offset));
    }
    const double params[3] = {normal.GetData(0) / length, normal.GetData(1) / length, -offset};
    C2DLine line;
    line.SetLineParams(params);
    return line;
}

// Pickling. A shape's state is the numbers it is made of, as it holds them (its axis's U, V and
// d, its range, ...), so that the shape rebuilt from them shows every value bit for bit.
void AppendAxis(std::vector<double>& values, const C3DAxis& axis) {
    Append(values, axis.GetUVector());
    Append(values, axis.GetVVector());
    values.push_back(axis.GetDistance());
}
constexpr std::size_t kAxisNumbers = 7;

// The axis of numbers[first..first + 6]; the vectors are fed to the axis so that its
// normalisation gives them back unchanged.
C3DAxis AxisOf(const std::vector<double>& numbers, std::size_t first) {
    const double* u = numbers.data() + first;
    return C3DAxis(
        NormalisedTo(C3DVector(u[0], u[1], u[2])), NormalisedTo(C3DVector(u[3], u[4], u[5])), u[6]);
}

std::vector<double> LineNumbers(const C3DLine& line) {
    std::vector<double> numbers;
    AppendAxis(numbers, line.Get3DAxis());
    return numbers;
}

std::vector<double> SegmentNumbers(const C3DLineSegment& segment) {
    std::vector<double> numbers;
    AppendAxis(numbers, segment.GetAxis());
    numbers.push_back(segment.GetRange().GetStartPosition());
    numbers.push_back(segment.GetRange().GetEndPosition());
    return numbers;
}

std::vector<double> CylinderNumbers(const C3DCylinder& cylinder) {
    std::vector<double> numbers;
    AppendAxis(numbers, cylinder.GetAxis());
    numbers.push_back(cylinder.GetRange().GetStartPosition());
    numbers.push_back(cylinder.GetRange().GetEndPosition());
    numbers.push_back(cylinder.GetRadius());
    return numbers;
}

std::vector<double> PlaneNumbers(const C3DPlane& plane) {
    std::vector<double> numbers;
    Append(numbers, plane.GetNormalVector());
    Append(numbers, plane.GetPoint());
    return numbers;
}

std::vector<double> Line2DNumbers(const C2DLine& line) {
    std::vector<double> numbers(3);
    line.GetLineParams(numbers.data());
    return numbers;
}

// Makes a measured shape pickle as (its count numbers, left_out), rebuilt by make(numbers).
template <typename Shape, typename Numbers, typename Make>
void AddShapePickling(py::class_<Measured<Shape>>& cls,
                      const char* type,
                      std::size_t count,
                      Numbers numbers,
                      Make make) {
    cls.def(py::pickle(
        [numbers](const Measured<Shape>& shape) {
            py::tuple leftOut(shape.leftOut.size());
            for (std::size_t i = 0; i < shape.leftOut.size(); ++i) {
                leftOut[i] = py::int_(shape.leftOut[i]);
            }
            return py::make_tuple(NumbersState(numbers(shape)), leftOut);
        },
        [type, count, make](const py::tuple& state) {
            if (state.size() != 2 || !py::isinstance<py::tuple>(state[1])) {
                throw py::value_error(std::string(type) +
                                      ": a pickled state (numbers, left_out) expected");
            }
            std::vector<std::size_t> leftOut;
            for (const py::handle camera : state[1]) {
                leftOut.push_back(camera.cast<std::size_t>());
            }
            return Measured<Shape>(make(ReadNumbersState(state[0], count, type)),
                                   std::move(leftOut));
        }));
}

// Makes a shape without left_out pickle as its count numbers, rebuilt by make(numbers).
template <typename Shape, typename Numbers, typename Make>
void AddPlainPickling(
    py::class_<Shape>& cls, const char* type, std::size_t count, Numbers numbers, Make make) {
    cls.def(py::pickle([numbers](const Shape& shape) { return NumbersState(numbers(shape)); },
                       [type, count, make](const py::tuple& state) {
                           return make(ReadNumbersState(state, count, type));
                       }));
}

}  // namespace

void BindShapes(py::module_& module) {
    py::class_<PointShape> pointClass(
        module, "Point3D", "A 3D point. Immutable; equal when xyz is.");
    AddLeftOut(pointClass);
    AddShapePickling(pointClass, "Point3D", 3, &PointValues, [](const std::vector<double>& xyz) {
        return C3DPoint(C3DCoordinate(xyz.data(), WorldCoordinateSystem));
    });
    CompareByValue(pointClass, &PointValues)
        .def(py::init(&MakePoint), py::arg("xyz"), "Point3D(xyz): the point (3,), finite.")
        .def_property_readonly(
            "xyz",
            [](const PointShape& point) { return FrozenVector(point.GetPoint()); },
            "(x, y, z), shape (3,).")
        .def("__repr__", [](const PointShape& point) {
            return "Point3D(xyz=" + ReprList(point.GetPoint()) + ")";
        });

    py::class_<LineShape> lineClass(
        module, "Line3D", "An infinite 3D line. Immutable; equal when point and direction are.");
    AddLeftOut(lineClass);
    AddShapePickling(lineClass, "Line3D", kAxisNumbers, &LineNumbers, [](const auto& numbers) {
        return C3DLine(AxisOf(numbers, 0));
    });
    CompareByValue(lineClass, &LineValues)
        .def(py::init(&MakeLine),
             py::arg("point"),
             py::arg("direction"),
             "Line3D(point, direction): the line through point (3,) along direction (3,), "
             "which must not be zero; ValueError when its values would overflow.")
        .def_property_readonly(
            "point",
            [](const LineShape& line) {
                return FrozenVector(line.Get3DAxis().GetBaseCoordinate());
            },
            "The point of the line nearest the world origin, (3,).")
        .def_property_readonly(
            "direction",
            [](const LineShape& line) { return FrozenVector(line.GetDirectionVector()); },
            "The unit direction, (3,); a reconstructed line has its largest-magnitude component "
            "positive.")
        .def_property_readonly(
            "distance",
            [](const LineShape& line) { return line.Get3DAxis().GetDistance(); },
            "The distance of the line from the world origin.")
        .def("__repr__", [](const LineShape& line) {
            return "Line3D(point=" + ReprList(line.Get3DAxis().GetBaseCoordinate()) +
                   ", direction=" + ReprList(line.GetDirectionVector()) + ")";
        });

    py::class_<SegmentShape> segmentClass(
        module,
        "Segment3D",
        "A 3D line segment. Immutable; equal when start, end, length and direction are.");
    AddLeftOut(segmentClass);
    AddShapePickling(
        segmentClass, "Segment3D", kAxisNumbers + 2, &SegmentNumbers, [](const auto& numbers) {
            return C3DLineSegment(AxisOf(numbers, 0), CRange(numbers[7], numbers[8]));
        });
    CompareByValue(segmentClass, &SegmentValues)
        .def(py::init([](py::handle start, py::handle end) {
                 return SegmentShape(MakeSegment(start, end, "start", "end"));
             }),
             py::arg("start"),
             py::arg("end"),
             "Segment3D(start, end): the segment between two distinct points (3,); ValueError "
             "when its values would overflow.")
        .def_property_readonly(
            "start",
            [](const SegmentShape& segment) { return SegmentEnd(segment, 0); },
            "The first end point, (3,).")
        .def_property_readonly(
            "end",
            [](const SegmentShape& segment) { return SegmentEnd(segment, 1); },
            "The second end point, (3,).")
        .def_property_readonly(
            "length",
            [](const SegmentShape& segment) { return segment.GetRange().GetLength(); },
            "The distance between the end points.")
        .def_property_readonly(
            "direction",
            [](const SegmentShape& segment) {
                return FrozenVector(segment.GetAxis().GetVVector());
            },
            "The unit direction of its line, (3,) (not necessarily from start to end).")
        .def("__repr__", [](const SegmentShape& segment) {
            C3DCoordinate ends[2];
            segment.GetEndPoint3D(ends);
            return "Segment3D(start=" + ReprList(ends[0]) + ", end=" + ReprList(ends[1]) + ")";
        });

    py::class_<CylinderShape> cylinderClass(
        module,
        "Cylinder",
        "A finite right circular cylinder. Immutable; equal when the axis end points, radius, "
        "length and direction are.");
    AddLeftOut(cylinderClass);
    AddShapePickling(
        cylinderClass, "Cylinder", kAxisNumbers + 3, &CylinderNumbers, [](const auto& numbers) {
            C3DCylinder cylinder;
            cylinder.Set3DCylinder(
                AxisOf(numbers, 0), CRange(numbers[7], numbers[8]), numbers[9], true, true, true);
            return cylinder;
        });
    CompareByValue(cylinderClass, &CylinderValues)
        .def(py::init(&MakeCylinder),
             py::arg("axis_start"),
             py::arg("axis_end"),
             py::arg("radius"),
             "Cylinder(axis_start, axis_end, radius): the axis between two distinct points (3,) "
             "and a radius > 0. The axis line must not pass through the world origin, and its "
             "values must not overflow (ValueError).")
        .def_property_readonly(
            "axis_start",
            [](const CylinderShape& cylinder) { return CylinderEnd(cylinder, 0); },
            "The axis end point at the start of the extent, (3,).")
        .def_property_readonly(
            "axis_end",
            [](const CylinderShape& cylinder) { return CylinderEnd(cylinder, 1); },
            "The other axis end point, (3,).")
        .def_property_readonly(
            "radius",
            [](const CylinderShape& cylinder) { return cylinder.GetRadius(); },
            "The radius.")
        .def_property_readonly(
            "length",
            [](const CylinderShape& cylinder) { return cylinder.GetRange().GetLength(); },
            "The distance between the axis end points.")
        .def_property_readonly(
            "direction",
            [](const CylinderShape& cylinder) {
                return FrozenVector(cylinder.GetAxis().GetVVector());
            },
            "The unit direction of the axis, (3,).")
        .def("__repr__", [](const CylinderShape& cylinder) {
            C3DCoordinate start;
            C3DCoordinate end;
            cylinder.GetEndPoint3D(start, end);
            return "Cylinder(axis_start=" + ReprList(start) + ", axis_end=" + ReprList(end) +
                   ", radius=" + ReprNumber(cylinder.GetRadius()) + ")";
        });

    py::class_<C3DPlane> planeClass(
        module,
        "Plane",
        "An infinite plane normal . x = offset. Immutable; equal when the unit normal and "
        "offset are.");
    AddPlainPickling(planeClass, "Plane", 6, &PlaneNumbers, [](const std::vector<double>& numbers) {
        return C3DPlane(NormalisedTo(C3DVector(numbers[0], numbers[1], numbers[2])),
                        C3DCoordinate(numbers.data() + 3, WorldCoordinateSystem));
    });
    CompareByValue(planeClass, &PlaneValues)
        .def(py::init(&MakePlane),
             py::arg("normal"),
             py::arg("offset"),
             "Plane(normal, offset): the points x with normal . x = offset after scaling normal "
             "(3,), which must not be zero, to unit length.")
        .def_property_readonly(
            "normal",
            [](const C3DPlane& plane) { return FrozenVector(plane.GetNormalVector()); },
            "The unit normal, (3,); a fitted plane has its largest-magnitude component positive.")
        .def_property_readonly("offset",
                               &PlaneOffset,
                               "The signed distance of the plane from the origin along the "
                               "normal: normal . x = offset on the plane.")
        .def_property_readonly(
            "coefficients",
            [](const C3DPlane& plane) {
                double params[4];
                plane.GetPlaneParam(params);
                return FrozenVector({params[0], params[1], params[2], params[3]});
            },
            "(a, b, c, d) of a x + b y + c z + d = 0 with (a, b, c) the unit normal, (4,).")
        .def(
            "distance",
            [](const C3DPlane& plane, py::handle points) {
                return Distances(points, 3, [&plane](const double* xyz) {
                    C3DCoordinate foot;
                    return plane.GetDistance(C3DCoordinate(xyz, WorldCoordinateSystem), foot);
                });
            },
            py::arg("points"),
            "distance(points): the unsigned distances of points (n, 3) from the plane as (n,); "
            "a single point (3,) gives a float. NaN for a point that is not finite.")
        .def("__repr__", [](const C3DPlane& plane) {
            return "Plane(normal=" + ReprList(plane.GetNormalVector()) +
                   ", offset=" + ReprNumber(PlaneOffset(plane)) + ")";
        });

    py::class_<C2DLine> line2dClass(
        module,
        "Line2D",
        "An infinite line in the image, normal . p = offset. Immutable; equal when the unit "
        "normal and offset are.");
    AddPlainPickling(line2dClass, "Line2D", 3, &Line2DNumbers, [](const std::vector<double>& abc) {
        C2DLine line;
        line.SetLineParams(abc.data());
        return line;
    });
    CompareByValue(line2dClass, &Line2DValues)
        .def(py::init(&MakeLine2D),
             py::arg("normal"),
             py::arg("offset"),
             "Line2D(normal, offset): the image points p with normal . p = offset after scaling "
             "normal (2,), which must not be zero, to unit length.")
        .def_property_readonly(
            "coefficients",
            [](const C2DLine& line) {
                const LineForm form = FormOf(line);
                return FrozenVector(
                    {form.a / form.length, form.b / form.length, form.c / form.length});
            },
            "(a, b, c) of a x + b y + c = 0 with (a, b) a unit normal, (3,).")
        .def_property_readonly(
            "normal",
            [](const C2DLine& line) {
                const LineForm form = FormOf(line);
                return FrozenVector({form.a / form.length, form.b / form.length});
            },
            "The unit normal (a, b), (2,).")
        .def_property_readonly(
            "offset",
            [](const C2DLine& line) {
                const LineForm form = FormOf(line);
                return -form.c / form.length;
            },
            "normal . p = offset on the line.")
        .def_property_readonly(
            "direction",
            [](const C2DLine& line) {
                const LineForm form = FormOf(line);
                return FrozenVector({-form.b / form.length, form.a / form.length});
            },
            "The unit direction (-b, a), (2,).")
        .def(
            "distance",
            [](const C2DLine& line, py::handle points) {
                return Distances(points, 2, [&line](const double* xy) {
                    double distance = std::nan("");
                    line.GetDistance(C2DCoordinate(xy[0], xy[1]), distance, false);
                    return distance;
                });
            },
            py::arg("points"),
            "distance(points): the unsigned distances of image points (n, 2) from the line as "
            "(n,); a single point (2,) gives a float. NaN for a point that is not finite.")
        .def("__repr__", [](const C2DLine& line) {
            const LineForm form = FormOf(line);
            const double normal[2] = {form.a / form.length, form.b / form.length};
            return "Line2D(normal=" + ReprList(normal, 2) +
                   ", offset=" + ReprNumber(-form.c / form.length) + ")";
        });
}

}  // namespace polyview_python
