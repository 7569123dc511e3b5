#include "reconstruction.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "array_input.h"
#include "core/reconstruction.h"
#include "errors.h"
#include "shapes.h"

#include "polyview/batch/point_batch.h"
#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/array1d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "polyview/shapes3d/plane3d.h"
#include "polyview/shapes3d/point3d.h"

namespace polyview_python {

namespace {

// Sizes the array to count elements; MemoryError when the block cannot be had.
template <typename T>
void Resize(C1DArray<T>& array, int count) {
    array.SetSize(count);
    if (array.GetSize() != count) {
        throw std::bad_alloc();
    }
}

// ReconstructionError with the core's reason; MemoryError when that is the lack of memory.
[[noreturn]] void Refuse(const std::string& reason) {
    if (reason == core::kOutOfMemory) {
        throw std::bad_alloc();
    }
    throw ReconstructionFailure(reason);
}

// The extent argument: "union" or "median"; ValueError naming it otherwise.
core::Extent ReadExtent(const std::string& name) {
    if (name == "union") {
        return core::Extent::kUnion;
    }
    if (name == "median") {
        return core::Extent::kMedian;
    }
    throw py::value_error("extent: expected 'union' or 'median', got '" + name + "'");
}

// The outliers argument: "keep" or "drop"; ValueError naming it otherwise.
core::Outliers ReadOutliers(const std::string& name) {
    if (name == "keep") {
        return core::Outliers::kKeep;
    }
    if (name == "drop") {
        return core::Outliers::kDrop;
    }
    throw py::value_error("outliers: expected 'keep' or 'drop', got '" + name + "'");
}

// The shape of a measurement made with Outliers::kDrop, with the cameras it left out.
template <typename Shape, typename Measurement>
Measured<Shape> Kept(const Measurement& measurement, const Shape& shape) {
    if (!measurement.ok) {
        Refuse(measurement.reason);
    }
    return Measured<Shape>(shape, measurement.leftOut);
}

// The picks of one row of image points, row[2k], row[2k + 1] seen by camera k, a camera whose
// pair holds NaN not having seen the point; picks is reused from row to row.
void RowPicks(const double* row, std::size_t cameras, std::vector<core::PointPick>& picks) {
    picks.clear();
    for (std::size_t k = 0; k < cameras; ++k) {
        if (!std::isnan(row[2 * k]) && !std::isnan(row[2 * k + 1])) {
            picks.push_back({k, {row[2 * k], row[2 * k + 1]}});
        }
    }
}

PointShape TriangulatePoint(py::handle camerasValue,
                            py::handle pointsValue,
                            const std::string& outliersName) {
    const core::Outliers outliers = ReadOutliers(outliersName);
    const std::vector<CCamera> cameras = ReadCameras(camerasValue, "cameras");
    const DoubleArray points = ReadArray(pointsValue, "image_points", {Any("n"), Fixed(2)});
    RequireNoInfinity(points, "image_points");
    RequireRowPerCamera(points, "image_points", cameras.size());
    std::vector<core::PointPick> picks;
    RowPicks(points.data(), cameras.size(), picks);
    if (outliers == core::Outliers::kDrop) {
        const core::PointMeasurement measurement = core::MeasurePoint(cameras, picks, outliers);
        return Kept(measurement, measurement.point);
    }
    C3DPoint point;
    std::string reason;
    if (!core::PointTriangulator(cameras).Triangulate(picks, point, reason)) {
        Refuse(reason);
    }
    return point;
}

// The thread count of triangulate_points: threads as given (an integer >= 1), or for None one
// thread per 25 000 points up to the machine's cores.
int ReadThreads(py::handle value, py::ssize_t count) {
    if (value.is_none()) {
        const py::ssize_t cores = std::max(1u, std::thread::hardware_concurrency());
        return static_cast<int>(std::max<py::ssize_t>(1, std::min(cores, count / 25000)));
    }
    if (py::isinstance<py::bool_>(value) || !py::isinstance<py::int_>(value)) {
        throw py::type_error("threads: expected an integer or None");
    }
    long long threads = PyLong_AsLongLong(value.ptr());
    if (PyErr_Occurred() != nullptr) {
        PyErr_Clear();
        threads = -1;  // beyond long long: too many
    }
    if (threads < 1 || threads > 1024) {
        throw py::value_error("threads: must be between 1 and 1024, got " +
                              py::repr(value).cast<std::string>());
    }
    return static_cast<int>(threads);
}

py::array_t<double> TriangulatePoints(py::handle camerasValue,
                                      py::handle pointsValue,
                                      py::handle threadsValue) {
    const std::vector<CCamera> cameras = ReadCameras(camerasValue, "cameras");
    const DoubleArray points =
        ReadArray(pointsValue, "image_points", {Any("m"), Any("n"), Fixed(2)});
    RequireNoInfinity(points, "image_points");
    if (static_cast<size_t>(points.shape(1)) != cameras.size()) {
        throw py::value_error("image_points: one observation per camera expected: " +
                              std::to_string(points.shape(1)) + " per point for " +
                              std::to_string(cameras.size()) + " cameras");
    }
    const py::ssize_t count = points.shape(0);
    if (count > INT_MAX) {
        throw py::value_error("image_points: at most " + std::to_string(INT_MAX) + " points");
    }
    const int threads = ReadThreads(threadsValue, count);
    const std::size_t stride = 2 * cameras.size();
    py::array_t<double> result({count, static_cast<py::ssize_t>(3)});
    double* out = result.mutable_data();
    {
        // Plain C++ from here: the core and the library keep no shared state.
        py::gil_scoped_release release;
        C1DArray<CCameraParam> pinholes;
        Resize(pinholes, static_cast<int>(cameras.size()));
        bool lens = false;
        for (std::size_t k = 0; k < cameras.size(); ++k) {
            pinholes[static_cast<int>(k)] = cameras[k].GetCameraParam();
            lens = lens || !cameras[k].GetLensModel().IsNone();
        }
        // Through a lens the picks are first moved to ideal pixels, as the single point's
        // triangulation does; a pick without one leaves its point NaN.
        std::vector<double> ideal;
        const double* picks = points.data();
        if (lens) {
            ideal.assign(picks, picks + stride * static_cast<std::size_t>(count));
            for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
                double* row = ideal.data() + stride * i;
                for (std::size_t k = 0; k < cameras.size(); ++k) {
                    C2DCoordinate pixel;
                    if (HasNaN(row + 2 * k, 2)) {
                        continue;
                    }
                    if (!cameras[k].ToIdealPixel(C2DCoordinate(row[2 * k], row[2 * k + 1]),
                                                 pixel)) {
                        std::fill(row, row + stride, std::nan(""));
                        break;
                    }
                    pixel.GetVector(row + 2 * k);
                }
            }
            picks = ideal.data();
        }
        const CPointBatch batch(pinholes);
        const std::unique_ptr<bool[]> ok(new bool[static_cast<std::size_t>(count)]);
        if (batch.GetCameraCount() != pinholes.GetSize() ||
            !batch.Triangulate(static_cast<int>(count), picks, out, ok.get(), threads)) {
            throw std::bad_alloc();
        }
        // Rays that meet nearest behind a camera that saw the point: no camera can have seen it.
        for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
            double* xyz = out + 3 * i;
            if (!ok[i]) {
                continue;
            }
            const C3DCoordinate point(xyz, WorldCoordinateSystem);
            for (std::size_t k = 0; k < cameras.size(); ++k) {
                const CExtrinsicParam& pose = pinholes[static_cast<int>(k)].GetExtrinsicParam();
                if (!HasNaN(picks + stride * i + 2 * k, 2) &&
                    !(pose.Apply(point).GetData(2) > 0.0)) {
                    std::fill(xyz, xyz + 3, std::nan(""));
                    break;
                }
            }
        }
    }
    return result;
}

// The observed segments (rows with NaN left out) with their cameras.
std::vector<core::SegmentPick> ReadSegmentPicks(py::handle segmentsValue, std::size_t cameras) {
    const DoubleArray segments = ReadArray(segmentsValue, "segments", {Any("n"), Fixed(4)});
    RequireNoInfinity(segments, "segments");
    RequireRowPerCamera(segments, "segments", cameras);
    std::vector<core::SegmentPick> picks;
    for (std::size_t k = 0; k < cameras; ++k) {
        const double* row = segments.data() + 4 * k;
        if (HasNaN(row, 4)) {
            continue;
        }
        if (row[0] == row[2] && row[1] == row[3]) {
            throw py::value_error("segments[" + std::to_string(k) +
                                  "]: start and end coincide, so it shows no line");
        }
        picks.push_back({k, {{row[0], row[1]}, {row[2], row[3]}}});
    }
    return picks;
}

LineShape ReconstructLine(py::handle camerasValue,
                          py::handle segments,
                          const std::string& outliersName) {
    const core::Outliers outliers = ReadOutliers(outliersName);
    const std::vector<CCamera> cameras = ReadCameras(camerasValue, "cameras");
    const std::vector<core::SegmentPick> picks = ReadSegmentPicks(segments, cameras.size());
    if (outliers == core::Outliers::kDrop) {
        const core::LineMeasurement measurement = core::MeasureLine(cameras, picks, outliers);
        return Kept(measurement, measurement.line);
    }
    C3DLine line;
    std::string reason;
    if (!core::ReconstructLine(cameras, picks, line, reason)) {
        Refuse(reason);
    }
    return line;
}

SegmentShape ReconstructSegment(py::handle camerasValue,
                                py::handle segments,
                                const std::string& extentName,
                                const std::string& outliersName) {
    const core::Extent extent = ReadExtent(extentName);
    const core::Outliers outliers = ReadOutliers(outliersName);
    const std::vector<CCamera> cameras = ReadCameras(camerasValue, "cameras");
    const std::vector<core::SegmentPick> picks = ReadSegmentPicks(segments, cameras.size());
    if (outliers == core::Outliers::kDrop) {
        const core::SegmentMeasurement measurement =
            core::MeasureSegment(cameras, picks, extent, outliers);
        return Kept(measurement, measurement.segment);
    }
    C3DLineSegment segment;
    std::string reason;
    if (!core::ReconstructSegment(cameras, picks, segment, reason, extent)) {
        Refuse(reason);
    }
    return segment;
}

// The observed edges (n, 2, 4) with their cameras, an edge holding NaN not seen.
std::vector<core::EdgePick> ReadEdgePicks(py::handle edgesValue, std::size_t cameras) {
    const DoubleArray edges = ReadArray(edgesValue, "edges", {Any("n"), Fixed(2), Fixed(4)});
    RequireNoInfinity(edges, "edges");
    RequireRowPerCamera(edges, "edges", cameras);
    std::vector<core::EdgePick> picks;
    for (std::size_t k = 0; k < cameras; ++k) {
        core::EdgePick pick;
        pick.camera = k;
        for (std::size_t slot = 0; slot < 2; ++slot) {
            const double* edge = edges.data() + 8 * k + 4 * slot;
            if (HasNaN(edge, 4)) {
                continue;
            }
            if (edge[0] == edge[2] && edge[1] == edge[3]) {
                throw py::value_error("edges[" + std::to_string(k) + "][" + std::to_string(slot) +
                                      "]: start and end coincide (give NaN for an edge not seen)");
            }
            pick.edges[slot] = core::PixelSegment{{edge[0], edge[1]}, {edge[2], edge[3]}};
        }
        picks.push_back(pick);  // with neither edge it counts as not made
    }
    return picks;
}

CylinderShape ReconstructCylinder(py::handle camerasValue,
                                  py::handle edgesValue,
                                  const std::string& methodName,
                                  const std::string& extentName,
                                  const std::string& outliersName) {
    core::CylinderMethod method = core::CylinderMethod::kTangentPlanes;
    if (methodName == "centre-lines") {
        method = core::CylinderMethod::kCentreLines;
    } else if (methodName != "tangent-planes") {
        throw py::value_error("method: expected 'tangent-planes' or 'centre-lines', got '" +
                              methodName + "'");
    }
    const core::Extent extent = ReadExtent(extentName);
    const core::Outliers outliers = ReadOutliers(outliersName);
    const std::vector<CCamera> cameras = ReadCameras(camerasValue, "cameras");
    const std::vector<core::EdgePick> picks = ReadEdgePicks(edgesValue, cameras.size());
    if (outliers == core::Outliers::kDrop) {
        const core::CylinderMeasurement measurement =
            core::MeasureCylinder(cameras, picks, method, extent, outliers);
        return Kept(measurement, measurement.cylinder);
    }
    C3DCylinder cylinder;
    std::string reason;
    if (!core::ReconstructCylinder(cameras, picks, method, cylinder, reason, extent)) {
        Refuse(reason);
    }
    return cylinder;
}

C3DPlane FitPlane(py::handle pointsValue) {
    const DoubleArray points = ReadArray(pointsValue, "points", {Any("n"), Fixed(3)});
    RequireFinite(points, "points");
    std::vector<core::Point3> xyz(static_cast<std::size_t>(points.shape(0)));
    for (std::size_t i = 0; i < xyz.size(); ++i) {
        std::copy(points.data() + 3 * i, points.data() + 3 * i + 3, xyz[i].begin());
    }
    C3DPlane plane;
    std::string reason;
    if (!core::FitPlane(xyz, plane, reason)) {
        Refuse(reason);
    }
    return plane;
}

C2DLine FitLine2D(py::handle pointsValue) {
    const DoubleArray points = ReadArray(pointsValue, "points", {Any("n"), Fixed(2)});
    RequireFinite(points, "points");
    const auto count = static_cast<int>(points.shape(0));
    if (count < 2) {
        throw ReconstructionFailure("fewer than two points");
    }
    C1DArray<C2DCoordinate> coordinates;
    Resize(coordinates, count);
    bool coincide = true;
    const double* xy = points.data();
    for (int i = 0; i < count; ++i) {
        coordinates[i].SetVector(xy[2 * i], xy[2 * i + 1]);
        coincide = coincide && xy[2 * i] == xy[0] && xy[2 * i + 1] == xy[1];
    }
    if (coincide) {
        throw ReconstructionFailure("the points coincide");
    }
    C2DLine line;
    if (!line.GetApproximationLine(coordinates)) {
        throw ReconstructionFailure("the points do not fix a line");
    }
    double params[3];
    line.GetLineParams(params);
    if (!AllFinite(params, 3) || (params[0] == 0.0 && params[1] == 0.0)) {
        throw ReconstructionFailure("the points do not fix a line");
    }
    return line;
}

py::array_t<double> SampleCurve(py::handle pointsValue,
                                py::ssize_t count,
                                bool passThrough,
                                py::object intervalValue) {
    const DoubleArray points = ReadArray(pointsValue, "points", {Any("n"), Fixed(2)});
    RequireFinite(points, "points");
    if (count < 1 || count > INT_MAX) {
        throw py::value_error("count: must be between 1 and " + std::to_string(INT_MAX) + ", got " +
                              std::to_string(count));
    }
    double interval = 0.0;
    if (!intervalValue.is_none()) {
        try {
            interval = intervalValue.cast<double>();
        } catch (const py::cast_error&) {
            throw py::type_error("interval: expected a number or None");
        }
    } else if (!passThrough) {
        throw py::value_error(
            "interval: the approximation (pass_through=False) needs an interval in pixels");
    }
    if (!passThrough && !(std::isfinite(interval) && interval > 0.0)) {
        throw py::value_error("interval: must be a finite number greater than 0, got " +
                              ReprNumber(interval));
    }
    std::vector<core::Pixel> picks(static_cast<std::size_t>(points.shape(0)));
    for (std::size_t i = 0; i < picks.size(); ++i) {
        picks[i] = {points.data()[2 * i], points.data()[2 * i + 1]};
    }
    core::CurveOptions options;
    options.interpolate = passThrough;
    options.interval = interval;
    options.sampleCount = static_cast<int>(count);
    std::vector<core::Pixel> samples;
    const std::string reason = core::FitCurve(picks, options, samples);
    if (!reason.empty()) {
        Refuse(reason);
    }
    py::array_t<double> result({count, static_cast<py::ssize_t>(2)});
    double* out = result.mutable_data();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        out[2 * i] = samples[i].x;
        out[2 * i + 1] = samples[i].y;
    }
    return result;
}

}  // namespace

void BindReconstruction(py::module_& module) {
    module.def("triangulate_point",
               &TriangulatePoint,
               py::arg("cameras"),
               py::arg("image_points"),
               py::kw_only(),
               py::arg("outliers") = "keep",
               "triangulate_point(cameras, image_points, *, outliers='keep') -> Point3D\n\n"
               "The point nearest (least squares) to the viewing rays of its images: "
               "image_points (n, 2) holds the point's pixel position in each of the n cameras, "
               "a row with NaN where a camera did not see it. ReconstructionError with fewer "
               "than two observations, (nearly) parallel rays, or rays that meet behind a camera "
               "that saw the point (depth <= 0). outliers='drop' leaves out, again and again, the "
               "view with the largest residual while it exceeds 1 px and 3 times the median "
               "residual and the rest still give the point; the result's left_out names them. "
               "ValueError for an outliers other than 'keep' or 'drop'.");
    module.def("triangulate_points",
               &TriangulatePoints,
               py::arg("cameras"),
               py::arg("image_points"),
               py::kw_only(),
               py::arg("threads") = py::none(),
               "triangulate_points(cameras, image_points, *, threads=None) -> ndarray\n\n"
               "Many points at once: image_points (m, n, 2) holds point i as seen by camera k at "
               "[i, k], NaN where not seen. Returns (m, 3); a row is NaN where triangulate_point "
               "would raise ReconstructionError, else exactly its result. Runs in C++ without "
               "the GIL, the cameras' terms formed once, on threads threads (an integer >= 1; "
               "None: one per 25 000 points up to the machine's cores); the result does not "
               "depend on the count. TypeError or ValueError for another threads.");
    module.def("reconstruct_line",
               &ReconstructLine,
               py::arg("cameras"),
               py::arg("segments"),
               py::kw_only(),
               py::arg("outliers") = "keep",
               "reconstruct_line(cameras, segments, *, outliers='keep') -> Line3D\n\n"
               "The line in which the planes through each camera centre and its image segment "
               "meet (least squares). segments (n, 4): (x0, y0, x1, y1) of a segment on the "
               "line's image in each camera, a row with NaN where not seen. ReconstructionError "
               "with fewer than two observations or viewing planes too close to one "
               "orientation. outliers as for triangulate_point.");
    module.def("reconstruct_segment",
               &ReconstructSegment,
               py::arg("cameras"),
               py::arg("segments"),
               py::kw_only(),
               py::arg("extent") = "union",
               py::arg("outliers") = "keep",
               "reconstruct_segment(cameras, segments, *, extent='union', outliers='keep') -> "
               "Segment3D\n\n"
               "The line as reconstruct_line, bounded by the observed end points carried onto it: "
               "extent 'union' takes their farthest pair, 'median' each end the median over the "
               "views (robust against one bad end among three or more views); segments (n, 4) "
               "run from end to end as seen. ReconstructionError as reconstruct_line, when no "
               "end point can be carried onto the line, or when the segment lies wholly behind a "
               "camera that saw it. outliers as for triangulate_point; ValueError for another "
               "extent.");
    module.def("reconstruct_cylinder",
               &ReconstructCylinder,
               py::arg("cameras"),
               py::arg("edges"),
               py::arg("method") = "tangent-planes",
               py::kw_only(),
               py::arg("extent") = "union",
               py::arg("outliers") = "keep",
               "reconstruct_cylinder(cameras, edges, method='tangent-planes', *, "
               "extent='union', outliers='keep') -> Cylinder\n\n"
               "Axis, radius and extent from the silhouette edges: edges (n, 2, 4) holds the two "
               "edges (x0, y0, x1, y1) seen by each camera, in either order, an edge of NaN "
               "where not seen. An edge seen alone must run with the cylinder on its left as "
               "seen on the screen (y down). method 'tangent-planes' needs three edges in two "
               "cameras; 'centre-lines' needs both edges in two cameras and gives an estimate. "
               "ReconstructionError when the edges do not fix the cylinder, or fix one whose "
               "axis lies wholly behind a camera that saw it. extent (from the edges' ends) and "
               "outliers as for reconstruct_segment.");
    module.def("fit_plane",
               &FitPlane,
               py::arg("points"),
               "fit_plane(points) -> Plane\n\n"
               "The orthogonal least-squares plane through points (n, 3), finite; its normal's "
               "largest-magnitude component is positive. ReconstructionError with fewer than "
               "three points, coincident points, or points on or near a line: when their "
               "spread across their best line (root mean square) is below 0.01 of their spread "
               "along it, the normal would turn with the noise.");
    module.def("fit_line_2d",
               &FitLine2D,
               py::arg("points"),
               "fit_line_2d(points) -> Line2D\n\n"
               "The orthogonal least-squares line through image points (n, 2), finite. "
               "ReconstructionError with fewer than two points or when they coincide.");
    module.def("sample_curve",
               &SampleCurve,
               py::arg("points"),
               py::arg("count"),
               py::arg("pass_through") = true,
               py::arg("interval") = py::none(),
               "sample_curve(points, count, pass_through=True, interval=None) -> ndarray\n\n"
               "A cubic B-spline through (pass_through) or near image points (n, 2), sampled at "
               "count points (count, 2) at equal parameter steps; the last sample is the last "
               "point. A point within 2 px (in x and in y) of the one before it is dropped. The "
               "approximation (pass_through=False) needs interval > 0 in pixels and uses "
               "(length / interval) / 2 control points, rounded down: at least 4, not 3, and "
               "at most the number of points, else ReconstructionError.");
}

}  // namespace polyview_python
