#include "projection.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "array_input.h"
#include "core/reprojection.h"
#include "shapes.h"

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "polyview/shapes3d/point3d.h"

namespace polyview_python {

namespace {

struct PointProjection {
    py::array_t<double> imagePoints;
    py::array_t<double> residuals;
};

struct LineProjection {
    py::array_t<double> lines;
    py::array_t<double> residuals;
};

struct SegmentProjection {
    py::array_t<double> segments;
    py::array_t<double> residuals;
};

struct CylinderProjection {
    py::array_t<double> edges;
    py::array_t<double> centreLines;
    py::array_t<double> residuals;
};

// The observations of a reprojection: None, or one row per camera, NaN where not observed.
std::optional<DoubleArray> ReadObserved(py::handle value, const Shape& shape, size_t cameras) {
    if (value.is_none()) {
        return std::nullopt;
    }
    DoubleArray observed = ReadArray(value, "observed", shape);
    RequireNoInfinity(observed, "observed");
    RequireRowPerCamera(observed, "observed", cameras);
    return observed;
}

// The values of row k (width values), or null when not observed.
const double* ObservedRow(const std::optional<DoubleArray>& observed, size_t k, int width) {
    if (!observed) {
        return nullptr;
    }
    const double* row = observed->data() + static_cast<size_t>(width) * k;
    return HasNaN(row, width) ? nullptr : row;
}

core::PixelSegment SegmentOf(const double* values) {
    return {{values[0], values[1]}, {values[2], values[3]}};
}

void WriteSegment(const core::PixelSegment& segment, double* out) {
    out[0] = segment.start.x;
    out[1] = segment.start.y;
    out[2] = segment.end.x;
    out[3] = segment.end.y;
}

// Writes the residual where it could be had (the array holds NaN).
void WriteResidual(const core::Residual& residual, double* out) {
    if (residual.ok) {
        *out = residual.pixels;
    }
}

py::ssize_t Count(const std::vector<CCamera>& cameras) {
    return static_cast<py::ssize_t>(cameras.size());
}

PointProjection ReprojectPoint(const PointShape& point, py::handle camerasValue, py::handle value) {
    const std::vector<CCamera> cameras = ReadCameras(camerasValue, "cameras");
    const auto observed = ReadObserved(value, {Any("n"), Fixed(2)}, cameras.size());
    PointProjection result{NaNArray({Count(cameras), 2}), NaNArray({Count(cameras)})};
    double* images = result.imagePoints.mutable_data();
    double* residuals = result.residuals.mutable_data();
    for (size_t k = 0; k < cameras.size(); ++k) {
        core::Pixel image;
        if (core::ProjectPoint(cameras[k], point, image)) {
            images[2 * k] = image.x;
            images[2 * k + 1] = image.y;
        }
        if (const double* row = ObservedRow(observed, k, 2)) {
            WriteResidual(core::PointResidual(cameras, k, point, {row[0], row[1]}), residuals + k);
        }
    }
    return {Frozen(result.imagePoints), Frozen(result.residuals)};
}

LineProjection ReprojectLine(const LineShape& line, py::handle camerasValue, py::handle value) {
    const std::vector<CCamera> cameras = ReadCameras(camerasValue, "cameras");
    const auto observed = ReadObserved(value, {Any("n"), Fixed(4)}, cameras.size());
    LineProjection result{NaNArray({Count(cameras), 3}), NaNArray({Count(cameras)})};
    double* lines = result.lines.mutable_data();
    double* residuals = result.residuals.mutable_data();
    for (size_t k = 0; k < cameras.size(); ++k) {
        C2DLine image;
        if (!core::ImageLine(cameras[k], line, image)) {
            continue;  // the line runs through the camera centre: no image line
        }
        double params[3];
        image.GetLineParams(params);
        const double length = std::hypot(params[0], params[1]);
        for (int i = 0; i < 3; ++i) {
            lines[3 * k + static_cast<size_t>(i)] = params[i] / length;
        }
        if (const double* row = ObservedRow(observed, k, 4)) {
            WriteResidual(core::LineResidual(cameras, k, line, SegmentOf(row)), residuals + k);
        }
    }
    return {Frozen(result.lines), Frozen(result.residuals)};
}

SegmentProjection ReprojectSegment(const SegmentShape& segment,
                                   py::handle camerasValue,
                                   py::handle value) {
    const std::vector<CCamera> cameras = ReadCameras(camerasValue, "cameras");
    const auto observed = ReadObserved(value, {Any("n"), Fixed(4)}, cameras.size());
    SegmentProjection result{NaNArray({Count(cameras), 4}), NaNArray({Count(cameras)})};
    double* segments = result.segments.mutable_data();
    double* residuals = result.residuals.mutable_data();
    for (size_t k = 0; k < cameras.size(); ++k) {
        core::PixelSegment image;
        if (core::ImageSegment(cameras[k], segment, image)) {
            WriteSegment(image, segments + 4 * k);
        }
        if (const double* row = ObservedRow(observed, k, 4)) {
            WriteResidual(core::SegmentResidual(cameras, k, segment, SegmentOf(row)),
                          residuals + k);
        }
    }
    return {Frozen(result.segments), Frozen(result.residuals)};
}

CylinderProjection ReprojectCylinder(const CylinderShape& cylinder,
                                     py::handle camerasValue,
                                     py::handle value) {
    const std::vector<CCamera> cameras = ReadCameras(camerasValue, "cameras");
    const auto observed = ReadObserved(value, {Any("n"), Fixed(2), Fixed(4)}, cameras.size());
    CylinderProjection result{NaNArray({Count(cameras), 2, 4}),
                              NaNArray({Count(cameras), 4}),
                              NaNArray({Count(cameras)})};
    double* edgesOut = result.edges.mutable_data();
    double* centres = result.centreLines.mutable_data();
    double* residuals = result.residuals.mutable_data();
    for (size_t k = 0; k < cameras.size(); ++k) {
        core::CylinderImage image;
        if (!core::ImageCylinder(cameras[k], cylinder, image)) {
            continue;
        }
        WriteSegment(image.edges[0], edgesOut + 8 * k);
        WriteSegment(image.edges[1], edgesOut + 8 * k + 4);
        WriteSegment(image.centre, centres + 4 * k);
        std::array<std::optional<core::PixelSegment>, 2> seen;
        if (observed) {
            for (size_t slot = 0; slot < 2; ++slot) {
                const double* edge = observed->data() + 8 * k + 4 * slot;
                if (!HasNaN(edge, 4)) {
                    seen[slot] = SegmentOf(edge);
                }
            }
        }
        if (seen[0] || seen[1]) {
            WriteResidual(core::CylinderResidual(cameras, k, cylinder, seen), residuals + k);
        }
    }
    return {Frozen(result.edges), Frozen(result.centreLines), Frozen(result.residuals)};
}

std::string Repr(const char* type,
                 std::initializer_list<std::pair<const char*, py::handle>> fields) {
    std::string text = std::string(type) + "(";
    bool first = true;
    for (const auto& [name, value] : fields) {
        text += (first ? "" : ", ") + std::string(name) + "=" + py::repr(value).cast<std::string>();
        first = false;
    }
    return text + ")";
}

// Every value of the arrays, one after the other: what a projection's comparison and hash go by
// (the camera count fixes how they split into the arrays).
std::vector<double> ArrayValues(std::initializer_list<const py::array_t<double>*> arrays) {
    std::vector<double> values;
    for (const py::array_t<double>* array : arrays) {
        values.insert(values.end(), array->data(), array->data() + array->size());
    }
    return values;
}

// Pickling of a projection: the tuple of its arrays, read back with the shapes they have (one row
// per camera, the same number of cameras in each) into read-only copies.
template <typename Projection, std::size_t N>
void AddPickling(py::class_<Projection>& cls,
                 const char* type,
                 std::array<py::array_t<double> Projection::*, N> members,
                 std::array<Shape, N> shapes) {
    cls.def(py::pickle(
        [members](const Projection& projection) {
            py::tuple state(N);
            for (std::size_t i = 0; i < N; ++i) {
                state[i] = projection.*members[i];
            }
            return state;
        },
        [type, members, shapes](const py::tuple& state) {
            const std::string fault = std::string(type) + ": a pickled state of " +
                                      std::to_string(N) + " arrays, one row per camera, expected";
            if (state.size() != N) {
                throw py::value_error(fault);
            }
            Projection projection;
            py::ssize_t cameras = 0;
            for (std::size_t i = 0; i < N; ++i) {
                const DoubleArray array = ReadArray(state[i], type, shapes[i]);
                cameras = i == 0 ? array.shape(0) : cameras;
                if (array.shape(0) != cameras) {
                    throw py::value_error(fault);
                }
                projection.*members[i] = Frozen(array);
            }
            return projection;
        }));
}

}  // namespace

void BindProjection(py::module_& module) {
    py::class_<PointProjection> pointClass(
        module, "PointProjection", "A point's images in a list of cameras. Immutable.");
    AddPickling<PointProjection, 2>(pointClass,
                                    "PointProjection",
                                    {&PointProjection::imagePoints, &PointProjection::residuals},
                                    {Shape{Any("n"), Fixed(2)}, Shape{Any("n")}});
    CompareByValue(pointClass,
                   [](const PointProjection& p) {
                       return ArrayValues({&p.imagePoints, &p.residuals});
                   })
        .def_readonly("image_points",
                      &PointProjection::imagePoints,
                      "(n, 2) observed pixels, through the lens; NaN where the point is not in "
                      "front of the camera or beyond the lens's fold radius.")
        .def_readonly("residuals",
                      &PointProjection::residuals,
                      "(n,) pixel distance of each image from its observation; NaN where "
                      "not observed or not imaged.")
        .def("__repr__", [](const PointProjection& p) {
            return Repr("PointProjection",
                        {{"image_points", p.imagePoints}, {"residuals", p.residuals}});
        });

    py::class_<LineProjection> lineClass(
        module, "LineProjection", "A line's images in a list of cameras. Immutable.");
    AddPickling<LineProjection, 2>(lineClass,
                                   "LineProjection",
                                   {&LineProjection::lines, &LineProjection::residuals},
                                   {Shape{Any("n"), Fixed(3)}, Shape{Any("n")}});
    CompareByValue(lineClass,
                   [](const LineProjection& p) {
                       return ArrayValues({&p.lines, &p.residuals});
                   })
        .def_readonly("lines",
                      &LineProjection::lines,
                      "(n, 3) image lines (a, b, c) of a x + b y + c = 0 with (a, b) a unit "
                      "normal, in ideal pinhole pixels (through a lens the observed image is "
                      "the curve that Camera.distort makes of this line); NaN where the line "
                      "runs through the camera centre. There is no test that the line lies in "
                      "front of the camera.")
        .def_readonly("residuals",
                      &LineProjection::residuals,
                      "(n,) the larger distance of an observed segment's two end points from "
                      "the observed image of the line, in observed pixels; NaN where not "
                      "observed or not imaged.")
        .def("__repr__", [](const LineProjection& p) {
            return Repr("LineProjection", {{"lines", p.lines}, {"residuals", p.residuals}});
        });

    py::class_<SegmentProjection> segmentClass(
        module, "SegmentProjection", "A segment's images in a list of cameras. Immutable.");
    AddPickling<SegmentProjection, 2>(segmentClass,
                                      "SegmentProjection",
                                      {&SegmentProjection::segments, &SegmentProjection::residuals},
                                      {Shape{Any("n"), Fixed(4)}, Shape{Any("n")}});
    CompareByValue(segmentClass,
                   [](const SegmentProjection& p) {
                       return ArrayValues({&p.segments, &p.residuals});
                   })
        .def_readonly("segments",
                      &SegmentProjection::segments,
                      "(n, 4) the image segments' ends (x0, y0, x1, y1) in observed pixels "
                      "(through a lens the image between them is a curve), the part behind the "
                      "camera cut off; NaN where the whole segment lies behind the camera.")
        .def_readonly("residuals",
                      &SegmentProjection::residuals,
                      "(n,) the larger distance of an observed segment's two end points from "
                      "the observed image of the segment's line, in observed pixels; NaN where "
                      "not observed or not imaged.")
        .def("__repr__", [](const SegmentProjection& p) {
            return Repr("SegmentProjection",
                        {{"segments", p.segments}, {"residuals", p.residuals}});
        });

    py::class_<CylinderProjection> cylinderClass(
        module, "CylinderProjection", "A cylinder's silhouettes in a list of cameras. Immutable.");
    AddPickling<CylinderProjection, 3>(
        cylinderClass,
        "CylinderProjection",
        {&CylinderProjection::edges,
         &CylinderProjection::centreLines,
         &CylinderProjection::residuals},
        {Shape{Any("n"), Fixed(2), Fixed(4)}, Shape{Any("n"), Fixed(4)}, Shape{Any("n")}});
    CompareByValue(cylinderClass,
                   [](const CylinderProjection& p) {
                       return ArrayValues({&p.edges, &p.centreLines, &p.residuals});
                   })
        .def_readonly("edges",
                      &CylinderProjection::edges,
                      "(n, 2, 4) the ends (x0, y0, x1, y1) of the two silhouette edges between "
                      "the end circles, in observed pixels (through a lens each edge is a curve); "
                      "NaN where the camera is inside the cylinder or on its axis line.")
        .def_readonly("centre_lines",
                      &CylinderProjection::centreLines,
                      "(n, 4) the ends of the image of the axis segment, in observed pixels; "
                      "NaN where not imaged.")
        .def_readonly("residuals",
                      &CylinderProjection::residuals,
                      "(n,) the largest distance of an observed edge end point from the observed "
                      "image of its silhouette line (the edges paired the way that fits better), "
                      "in observed pixels; with one "
                      "edge observed, its distance from the nearer silhouette. NaN where not "
                      "observed or not imaged.")
        .def("__repr__", [](const CylinderProjection& p) {
            return Repr(
                "CylinderProjection",
                {{"edges", p.edges}, {"centre_lines", p.centreLines}, {"residuals", p.residuals}});
        });

    module.def("reproject_point",
               &ReprojectPoint,
               py::arg("point"),
               py::arg("cameras"),
               py::arg("observed") = py::none(),
               "reproject_point(point, cameras, observed=None) -> PointProjection\n\n"
               "The point's image in each camera and, with observed (n, 2) (NaN rows: not "
               "observed), the residual of each observation in pixels.");
    module.def("reproject_line",
               &ReprojectLine,
               py::arg("line"),
               py::arg("cameras"),
               py::arg("observed") = py::none(),
               "reproject_line(line, cameras, observed=None) -> LineProjection\n\n"
               "The line's image line in each camera and, with observed segments (n, 4) (NaN "
               "rows: not observed), the residual of each in pixels.");
    module.def("reproject_segment",
               &ReprojectSegment,
               py::arg("segment"),
               py::arg("cameras"),
               py::arg("observed") = py::none(),
               "reproject_segment(segment, cameras, observed=None) -> SegmentProjection\n\n"
               "The segment's image in each camera, cut off at the camera plane, and, with "
               "observed segments (n, 4) (NaN rows: not observed), the residual of each.");
    module.def("reproject_cylinder",
               &ReprojectCylinder,
               py::arg("cylinder"),
               py::arg("cameras"),
               py::arg("observed") = py::none(),
               "reproject_cylinder(cylinder, cameras, observed=None) -> CylinderProjection\n\n"
               "The cylinder's two silhouette edges and axis image in each camera and, with "
               "observed edges (n, 2, 4) (an edge of NaN: not observed), the residual of each "
               "camera's edges.");
}

}  // namespace polyview_python
