#include "reconstruction.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "array_input.h"
#include "core/soundness.h"
#include "errors.h"

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/range.h"
#include "polyview/geometry2d/bspline2d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "polyview/shapes3d/plane3d.h"
#include "polyview/shapes3d/point3d.h"

namespace polyview_python {

namespace {

const char* const kFewerThanTwoObservations = "fewer than two observations";

// Sizes the array to count elements; MemoryError when the block cannot be had.
template <typename T>
void Resize(C1DArray<T>& array, int count) {
    array.SetSize(count);
    if (array.GetSize() != count) {
        throw std::bad_alloc();
    }
}

// Triangulates rows of image points, row[2k], row[2k + 1] seen by camera k and a row with NaN not
// observed, keeping the observation records (and their copies of the cameras) from row to row
// while the same cameras observe. Runs without the GIL.
class RowTriangulator {
  public:
    explicit RowTriangulator(const std::vector<CCameraParam>& cameras)
        : m_cameras(cameras), m_held(cameras.size(), 0), m_holding(false) {}

    // Writes the point to xyz and returns null, or returns the reason it cannot be had.
    const char* Triangulate(const double* row, double* xyz) {
        int count = 0;
        bool same = m_holding;
        for (size_t k = 0; k < m_cameras.size(); ++k) {
            const char seen = std::isnan(row[2 * k]) || std::isnan(row[2 * k + 1]) ? 0 : 1;
            count += seen;
            same = same && seen == m_held[k];
        }
        if (count < 2) {
            return kFewerThanTwoObservations;
        }
        if (!same) {
            m_holding = false;
            m_observations.SetSize(count);
            if (m_observations.GetSize() != count) {
                return "out of memory";
            }
            for (size_t k = 0, i = 0; k < m_cameras.size(); ++k) {
                m_held[k] = std::isnan(row[2 * k]) || std::isnan(row[2 * k + 1]) ? 0 : 1;
                if (m_held[k] != 0) {
                    m_observations[static_cast<int>(i++)].cameraParam = m_cameras[k];
                }
            }
            m_holding = true;
        }
        for (size_t k = 0, i = 0; k < m_cameras.size(); ++k) {
            if (m_held[k] != 0) {
                m_observations[static_cast<int>(i++)].imagePoint.SetVector(row[2 * k],
                                                                           row[2 * k + 1]);
            }
        }
        C3DPoint point;
        if (!point.CreateFromImagePoints(m_observations)) {
            return "viewing rays (nearly) parallel: the cameras see the point from too similar "
                   "directions";
        }
        double result[3];
        point.GetPoint().GetVector(result);
        if (!AllFinite(result, 3)) {
            return "the observations give no finite point";
        }
        // Rays that part meet nearest behind the cameras: no camera can have seen that point.
        for (size_t k = 0; k < m_cameras.size(); ++k) {
            if (m_held[k] != 0 &&
                !(m_cameras[k].GetExtrinsicParam().Apply(point.GetPoint()).GetData(2) > 0.0)) {
                return "the viewing rays meet behind a camera that saw the point: the image points "
                       "are not of one point";
            }
        }
        std::copy(result, result + 3, xyz);
        return nullptr;
    }

  private:
    const std::vector<CCameraParam>& m_cameras;
    C1DArray<SImagePoint> m_observations;
    std::vector<char> m_held;  // the cameras whose records m_observations holds
    bool m_holding;            // whether m_held describes m_observations
};

C3DPoint TriangulatePoint(py::handle camerasValue, py::handle pointsValue) {
    const std::vector<CCameraParam> cameras = ReadCameras(camerasValue, "cameras");
    const DoubleArray points = ReadArray(pointsValue, "image_points", {Any("n"), Fixed(2)});
    RequireNoInfinity(points, "image_points");
    RequireRowPerCamera(points, "image_points", cameras.size());
    double xyz[3];
    if (const char* reason = RowTriangulator(cameras).Triangulate(points.data(), xyz)) {
        throw ReconstructionFailure(reason);
    }
    return C3DPoint(C3DCoordinate(xyz, WorldCoordinateSystem));
}

py::array_t<double> TriangulatePoints(py::handle camerasValue, py::handle pointsValue) {
    const std::vector<CCameraParam> cameras = ReadCameras(camerasValue, "cameras");
    const DoubleArray points =
        ReadArray(pointsValue, "image_points", {Any("m"), Any("n"), Fixed(2)});
    RequireNoInfinity(points, "image_points");
    if (static_cast<size_t>(points.shape(1)) != cameras.size()) {
        throw py::value_error("image_points: one observation per camera expected: " +
                              std::to_string(points.shape(1)) + " per point for " +
                              std::to_string(cameras.size()) + " cameras");
    }
    const py::ssize_t count = points.shape(0);
    const py::ssize_t stride = 2 * points.shape(1);
    py::array_t<double> result = NaNArray({count, static_cast<py::ssize_t>(3)});
    const double* in = points.data();
    double* out = result.mutable_data();
    {
        // Plain C++ from here: the library keeps no shared state.
        py::gil_scoped_release release;
        RowTriangulator triangulator(cameras);
        for (py::ssize_t i = 0; i < count; ++i) {
            triangulator.Triangulate(in + stride * i, out + 3 * i);
        }
    }
    return result;
}

// The observed segments (rows with NaN left out) paired with their cameras.
C1DArray<SImageLine> ReadLineObservations(py::handle camerasValue, py::handle segmentsValue) {
    const std::vector<CCameraParam> cameras = ReadCameras(camerasValue, "cameras");
    const DoubleArray segments = ReadArray(segmentsValue, "segments", {Any("n"), Fixed(4)});
    RequireNoInfinity(segments, "segments");
    RequireRowPerCamera(segments, "segments", cameras.size());
    std::vector<int> observed;
    for (int k = 0; k < static_cast<int>(cameras.size()); ++k) {
        const double* row = segments.data() + 4 * k;
        if (HasNaN(row, 4)) {
            continue;
        }
        if (row[0] == row[2] && row[1] == row[3]) {
            throw py::value_error("segments[" + std::to_string(k) +
                                  "]: start and end coincide, so it shows no line");
        }
        observed.push_back(k);
    }
    C1DArray<SImageLine> observations;
    Resize(observations, static_cast<int>(observed.size()));
    for (int i = 0; i < observations.GetSize(); ++i) {
        const int k = observed[static_cast<size_t>(i)];
        const double* row = segments.data() + 4 * k;
        observations[i].cameraParam = cameras[static_cast<size_t>(k)];
        observations[i].lineSegment.SetEndPoints(C2DCoordinate(row[0], row[1]),
                                                 C2DCoordinate(row[2], row[3]));
    }
    return observations;
}

C3DLine LineFrom(const C1DArray<SImageLine>& observations) {
    if (observations.GetSize() < 2) {
        throw ReconstructionFailure(kFewerThanTwoObservations);
    }
    C3DLine line;
    if (!line.CreateFromImageLines(observations)) {
        throw ReconstructionFailure(
            "viewing planes too close to one orientation: the cameras see the line from too "
            "similar directions");
    }
    const C3DAxis& axis = line.Get3DAxis();
    double values[7];
    axis.GetVVector().GetVector(values);
    axis.GetBaseCoordinate().GetVector(values + 3);
    values[6] = axis.GetDistance();
    if (!AllFinite(values, 7)) {
        throw ReconstructionFailure("the segments give no finite line");
    }
    return line;
}

C3DLine ReconstructLine(py::handle cameras, py::handle segments) {
    return LineFrom(ReadLineObservations(cameras, segments));
}

C3DLineSegment ReconstructSegment(py::handle cameras, py::handle segments) {
    const C1DArray<SImageLine> observations = ReadLineObservations(cameras, segments);
    const C3DLine line = LineFrom(observations);
    C3DLineSegment segment;
    segment.Set3DLineSegment(line.Get3DAxis(), CRange(), true, false);
    segment.CalcRange(observations);
    C3DCoordinate ends[2];
    segment.GetEndPoint3D(ends);
    double values[6];
    ends[0].GetVector(values);
    ends[1].GetVector(values + 3);
    if (!AllFinite(values, 6)) {
        throw ReconstructionFailure("the segments give no finite end points");
    }
    if (!(segment.GetRange().GetLength() > 0.0)) {
        throw ReconstructionFailure("no observed end point could be carried onto the line");
    }
    // The viewing planes do not tell front from back: segments can fix one wholly behind the
    // cameras, which none of them can have seen.
    for (int i = 0; i < observations.GetSize(); ++i) {
        C2DLineSegment image;
        if (!segment.Reproject(observations[i].cameraParam, image, nullptr, nullptr)) {
            throw ReconstructionFailure(
                "the segment lies behind a camera that saw it: the image segments are not of one "
                "segment");
        }
    }
    return segment;
}

C3DCylinder ReconstructCylinder(py::handle camerasValue,
                                py::handle edgesValue,
                                const std::string& method) {
    bool tangentPlanes = true;
    if (method == "centre-lines") {
        tangentPlanes = false;
    } else if (method != "tangent-planes") {
        throw py::value_error("method: expected 'tangent-planes' or 'centre-lines', got '" +
                              method + "'");
    }
    const std::vector<CCameraParam> cameras = ReadCameras(camerasValue, "cameras");
    const DoubleArray edges = ReadArray(edgesValue, "edges", {Any("n"), Fixed(2), Fixed(4)});
    RequireNoInfinity(edges, "edges");
    RequireRowPerCamera(edges, "edges", cameras.size());

    C1DArray<SImageCylinder> records;
    int edgeCount = 0;
    int bothEdges = 0;
    for (int k = 0; k < static_cast<int>(cameras.size()); ++k) {
        SImageCylinder record;
        record.cameraParam = cameras[static_cast<size_t>(k)];
        int seen = 0;
        for (int slot = 0; slot < 2; ++slot) {
            const double* edge = edges.data() + 8 * k + 4 * slot;
            if (HasNaN(edge, 4)) {
                // An edge of length 0 counts as not observed.
                record.edgeSegment[slot].SetEndPoints(C2DCoordinate(0.0, 0.0),
                                                      C2DCoordinate(0.0, 0.0));
                continue;
            }
            if (edge[0] == edge[2] && edge[1] == edge[3]) {
                throw py::value_error("edges[" + std::to_string(k) + "][" + std::to_string(slot) +
                                      "]: start and end coincide (give NaN for an edge not seen)");
            }
            record.edgeSegment[slot].SetEndPoints(C2DCoordinate(edge[0], edge[1]),
                                                  C2DCoordinate(edge[2], edge[3]));
            ++seen;
        }
        if (seen == 0) {
            continue;  // a camera that saw neither edge tells nothing
        }
        edgeCount += seen;
        bothEdges += seen == 2 ? 1 : 0;
        Resize(records, records.GetSize() + 1);
        records[records.GetSize() - 1] = record;
    }
    if (records.GetSize() < 2) {
        throw ReconstructionFailure(kFewerThanTwoObservations);
    }
    if (tangentPlanes && edgeCount < 3) {
        throw ReconstructionFailure(
            "fewer than three silhouette edges; the tangent-plane method needs three");
    }
    if (!tangentPlanes && bothEdges < 2) {
        throw ReconstructionFailure(
            "fewer than two cameras with both edges; the centre-line method needs two");
    }
    C3DCylinder cylinder;
    if (!cylinder.CreateFromImageCylinder(records, tangentPlanes)) {
        throw ReconstructionFailure(
            tangentPlanes ? "tangent planes do not fix an axis: the cameras see the cylinder from "
                            "too similar directions, or the edges belong to no one cylinder"
                          : "centre lines do not fix an axis (viewing planes too close to one "
                            "orientation), or no edge gives a radius");
    }
    C3DCoordinate ends[2];
    if (!cylinder.GetEndPoint3D(ends[0], ends[1])) {
        throw ReconstructionFailure(
            "the reconstructed axis passes through the world origin, or the radius is 0");
    }
    double values[7];
    ends[0].GetVector(values);
    ends[1].GetVector(values + 3);
    values[6] = cylinder.GetRadius();
    if (!AllFinite(values, 7)) {
        throw ReconstructionFailure("the edges give no finite cylinder");
    }
    // Tangent planes and centre lines do not tell front from back either.
    const C3DLineSegment axis(cylinder.GetAxis(), cylinder.GetRange());
    for (int i = 0; i < records.GetSize(); ++i) {
        C2DLineSegment image;
        if (!axis.Reproject(records[i].cameraParam, image, nullptr, nullptr)) {
            throw ReconstructionFailure(
                "the cylinder lies behind a camera that saw it: the edges are not of one cylinder");
        }
    }
    return cylinder;
}

C3DPlane FitPlane(py::handle pointsValue) {
    const DoubleArray points = ReadArray(pointsValue, "points", {Any("n"), Fixed(3)});
    RequireFinite(points, "points");
    const auto count = static_cast<int>(points.shape(0));
    // The fit alone would give a plane through collinear points (any of those through the line)
    // and one turned by the noise through nearly collinear points.
    const core::PlaneConditioning conditioning =
        core::JudgePlanePoints(points.data(), static_cast<std::size_t>(count));
    if (!conditioning.ok) {
        throw ReconstructionFailure(conditioning.reason);
    }
    C1DArray<C3DCoordinate> coordinates;
    Resize(coordinates, count);
    for (int i = 0; i < count; ++i) {
        coordinates[i].SetVector(points.data() + 3 * i);
    }
    C3DPlane plane;
    if (!plane.SetApproximationPlane(coordinates)) {
        throw ReconstructionFailure("the points do not fix a plane");
    }
    double params[4];
    plane.GetPlaneParam(params);
    if (!AllFinite(params, 4)) {
        throw ReconstructionFailure("the points do not fix a plane");
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
    const auto pointCount = static_cast<int>(points.shape(0));
    C1DArray<C2DCoordinate> picks;
    Resize(picks, pointCount);
    for (int i = 0; i < pointCount; ++i) {
        picks[i].SetVector(points.data()[2 * i], points.data()[2 * i + 1]);
    }
    C1DArray<C2DCoordinate> samples;
    Resize(samples, static_cast<int>(count));
    switch (C2DBSpline::GetSamplePoint(picks, interval, samples, passThrough)) {
        case NoError:
            break;
        case CurveParamError:
            throw ReconstructionFailure(
                "fewer than two distinct points (a point within 2 px of the one before it, in "
                "x and in y, is dropped)");
        case KnotVectorError:
            throw ReconstructionFailure(
                "the interval gives exactly 3 control points; choose another interval");
        case IntervalError:
            throw py::value_error("interval: must be greater than 0");
        case ControlPointError:
            throw ReconstructionFailure(
                "the interval gives fewer than 4 control points, or more than there are points; "
                "choose an interval that fits the curve's length");
    }
    py::array_t<double> result({count, static_cast<py::ssize_t>(2)});
    double* out = result.mutable_data();
    for (int i = 0; i < samples.GetSize(); ++i) {
        samples[i].GetVector(out + 2 * i);
    }
    if (!AllFinite(out, 2 * count)) {
        throw ReconstructionFailure("the fit gives no finite samples");
    }
    return result;
}

}  // namespace

void BindReconstruction(py::module_& module) {
    module.def("triangulate_point",
               &TriangulatePoint,
               py::arg("cameras"),
               py::arg("image_points"),
               "triangulate_point(cameras, image_points) -> Point3D\n\n"
               "The point nearest (least squares) to the viewing rays of its images: "
               "image_points (n, 2) holds the point's pixel position in each of the n cameras, "
               "a row with NaN where a camera did not see it. ReconstructionError with fewer "
               "than two observations, (nearly) parallel rays, or rays that meet behind a camera "
               "that saw the point (depth <= 0).");
    module.def("triangulate_points",
               &TriangulatePoints,
               py::arg("cameras"),
               py::arg("image_points"),
               "triangulate_points(cameras, image_points) -> ndarray\n\n"
               "Many points at once: image_points (m, n, 2) holds point i as seen by camera k at "
               "[i, k], NaN where not seen. Returns (m, 3); a row is NaN where triangulate_point "
               "would raise ReconstructionError, else exactly its result. Runs in C++ without "
               "the GIL.");
    module.def("reconstruct_line",
               &ReconstructLine,
               py::arg("cameras"),
               py::arg("segments"),
               "reconstruct_line(cameras, segments) -> Line3D\n\n"
               "The line in which the planes through each camera centre and its image segment "
               "meet (least squares). segments (n, 4): (x0, y0, x1, y1) of a segment on the "
               "line's image in each camera, a row with NaN where not seen. ReconstructionError "
               "with fewer than two observations or viewing planes too close to one "
               "orientation.");
    module.def("reconstruct_segment",
               &ReconstructSegment,
               py::arg("cameras"),
               py::arg("segments"),
               "reconstruct_segment(cameras, segments) -> Segment3D\n\n"
               "The line as reconstruct_line, bounded by the farthest pair of the observed end "
               "points carried onto it; segments (n, 4) run from end to end as seen. "
               "ReconstructionError as reconstruct_line, when no end point can be carried "
               "onto the line, or when the segment lies wholly behind a camera that saw it.");
    module.def("reconstruct_cylinder",
               &ReconstructCylinder,
               py::arg("cameras"),
               py::arg("edges"),
               py::arg("method") = "tangent-planes",
               "reconstruct_cylinder(cameras, edges, method='tangent-planes') -> Cylinder\n\n"
               "Axis, radius and extent from the silhouette edges: edges (n, 2, 4) holds the two "
               "edges (x0, y0, x1, y1) seen by each camera, in either order, an edge of NaN "
               "where not seen. An edge seen alone must run with the cylinder on its left as "
               "seen on the screen (y down). method 'tangent-planes' needs three edges in two "
               "cameras; 'centre-lines' needs both edges in two cameras and gives an estimate. "
               "ReconstructionError when the edges do not fix the cylinder, or fix one whose "
               "axis lies wholly behind a camera that saw it.");
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
