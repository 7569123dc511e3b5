#include "measure/measurement.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/soundness.h"

namespace measure {

namespace {

constexpr double kPi = 3.14159265358979323846;

Vec3 Sub(const Vec3& a, const Vec3& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
double Dot(const Vec3& a, const Vec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
double Norm(const Vec3& a) {
    return std::sqrt(Dot(a, a));
}
double Distance(const Vec3& a, const Vec3& b) {
    return Norm(Sub(a, b));
}

Vec3 FromVector(const C3DVector& v) {
    return {v.GetData(0), v.GetData(1), v.GetData(2)};
}
C3DCoordinate ToCoordinate(const Vec3& v) {
    return C3DCoordinate(v[0], v[1], v[2]);
}
C2DCoordinate ToCoordinate(const Vec2& p) {
    return C2DCoordinate(p.x, p.y);
}
Vec2 FromCoordinate(const C2DVector& p) {
    return {p.GetData(0), p.GetData(1)};
}

C2DLineSegment ToSegment(const Segment2& segment) {
    return C2DLineSegment(ToCoordinate(segment.start), ToCoordinate(segment.end));
}

Segment2 FromSegment(const C2DLineSegment& segment) {
    C2DCoordinate start;
    C2DCoordinate end;
    segment.GetEndPoints(start, end);
    return {FromCoordinate(start), FromCoordinate(end)};
}

bool IsFinite(const Vec3& v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// The angle between two directions, either way round, in degrees; from the sine and the cosine
// together, so that small angles keep their precision.
double AxisAngleDegrees(const Vec3& a, const Vec3& b) {
    const Vec3 cross{
        a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    return std::atan2(Norm(cross), std::fabs(Dot(a, b))) * 180.0 / kPi;
}

// Errors of the two end points against the truth's, pairing them the way that fits better.
void AddEndPointErrors(const Vec3& start,
                       const Vec3& end,
                       const Truth& truth,
                       const std::string& units,
                       std::vector<TruthError>& errors) {
    double startError = Distance(start, *truth.start);
    double endError = Distance(end, *truth.end);
    const double swappedStart = Distance(start, *truth.end);
    const double swappedEnd = Distance(end, *truth.start);
    if (swappedStart + swappedEnd < startError + endError) {
        startError = swappedEnd;  // the error at the truth's start
        endError = swappedStart;
    }
    errors.push_back({"start", startError, units});
    errors.push_back({"end", endError, units});
    errors.push_back({"length", Distance(start, end) - Distance(*truth.start, *truth.end), units});
}

// Whether the reprojected axis (its midpoint) lies on the left of an edge seen alone, as seen on
// the screen (y down) walking from the edge's first point to its second: the side on which the
// edge's direction puts the cylinder. An axis on the edge's line counts as agreeing.
bool LoneEdgeAgrees(const Segment2& edge, const Segment2& axis) {
    const double dx = edge.end.x - edge.start.x;
    const double dy = edge.end.y - edge.start.y;
    const double mx = 0.5 * (axis.start.x + axis.end.x) - edge.start.x;
    const double my = 0.5 * (axis.start.y + axis.end.y) - edge.start.y;
    return !(mx * dy - my * dx < 0.0);  // left of (dx, dy) with y down is along (dy, -dx)
}

void FailShape(ShapeResult& result, const std::string& reason) {
    result.ok = false;
    result.reason = reason;
}

class Measurer {
  public:
    explicit Measurer(const Scene& scene) : m_scene(scene) {
        m_drawings.resize(scene.cameras.size());
        for (const Camera& camera : scene.cameras) {
            m_cameraParams.push_back(camera.calibration.GetCameraParam());
        }
    }

    Measurement Run();

  private:
    void MeasurePoint(const ShapeSpec& shape, ShapeResult& result);
    void MeasureLine(const ShapeSpec& shape, ShapeResult& result);
    void MeasureCylinder(const ShapeSpec& shape, ShapeResult& result);
    void MeasurePlane(const ShapeSpec& shape, ShapeResult& result, const Measurement& measured);
    void MeasureCurve(const ShapeSpec& shape, ShapeResult& result);

    void DrawPoint(std::size_t camera, DrawRole role, const std::string& label, const Vec2& point);
    void DrawSegment(std::size_t camera,
                     DrawRole role,
                     const std::string& label,
                     const C2DLineSegment& segment);
    void DrawPicks(const ShapeSpec& shape);

    const Scene& m_scene;
    std::vector<CCameraParam> m_cameraParams;
    std::vector<std::vector<Drawing>> m_drawings;
};

void Measurer::DrawPoint(std::size_t camera,
                         DrawRole role,
                         const std::string& label,
                         const Vec2& point) {
    if (std::isfinite(point.x) && std::isfinite(point.y) &&
        m_scene.cameras[camera].calibration.Contains(ToCoordinate(point))) {
        m_drawings[camera].push_back({role, label, {point}, false, false});
    }
}

void Measurer::DrawSegment(std::size_t camera,
                           DrawRole role,
                           const std::string& label,
                           const C2DLineSegment& segment) {
    Segment2 clipped;
    if (ClipToImage(FromSegment(segment), m_scene.cameras[camera].calibration, clipped)) {
        m_drawings[camera].push_back({role, label, {clipped.start, clipped.end}, false, false});
    }
}

void Measurer::DrawPicks(const ShapeSpec& shape) {
    for (const PointPick& pick : shape.pointPicks) {
        DrawPoint(pick.camera, DrawRole::kPick, shape.name, pick.point);
    }
    for (const SegmentPick& pick : shape.segmentPicks) {
        DrawSegment(pick.camera, DrawRole::kPick, shape.name, ToSegment(pick.segment));
    }
    for (const CylinderPick& pick : shape.cylinderPicks) {
        for (const auto& edge : pick.edges) {
            if (edge) {
                DrawSegment(pick.camera, DrawRole::kPick, shape.name, ToSegment(*edge));
            }
        }
    }
    if (!shape.curvePicks.empty()) {
        m_drawings[shape.curveCamera].push_back(
            {DrawRole::kPick, shape.name, shape.curvePicks, false, true});
    }
}

void Measurer::MeasurePoint(const ShapeSpec& shape, ShapeResult& result) {
    const int count = static_cast<int>(shape.pointPicks.size());
    if (count < 2) {
        FailShape(result, "picked in one camera only; a point needs two or more");
        return;
    }
    C1DArray<SImagePoint> observations;
    observations.SetSize(count);
    for (int i = 0; i < count; ++i) {
        observations[i].cameraParam = m_cameraParams[shape.pointPicks[i].camera];
        observations[i].imagePoint = ToCoordinate(shape.pointPicks[i].point);
    }
    C3DPoint point;
    if (!point.CreateFromImagePoints(observations)) {
        FailShape(result,
                  "the viewing rays are (nearly) parallel: the cameras see the point from too "
                  "similar directions");
        return;
    }
    result.ok = true;
    result.point = FromVector(point.GetPoint());
    for (const PointPick& pick : shape.pointPicks) {
        Residual residual;
        residual.camera = pick.camera;
        C2DCoordinate image;
        const C2DCoordinate observed = ToCoordinate(pick.point);
        residual.ok =
            point.Reproject(m_cameraParams[pick.camera], image, &observed, &residual.pixels);
        if (!residual.ok) {
            residual.note = "the point lies behind the camera";
        }
        result.residuals.push_back(residual);
    }
    for (std::size_t camera = 0; camera < m_cameraParams.size(); ++camera) {
        C2DCoordinate image;
        if (point.Reproject(m_cameraParams[camera], image, nullptr, nullptr)) {
            DrawPoint(camera, DrawRole::kPoint, shape.name, FromCoordinate(image));
        }
    }
    if (shape.truth) {
        result.truthErrors.push_back(
            {"point", Distance(result.point, *shape.truth->point), m_scene.units});
    }
}

// Lines and segments: the line from the picked segments' lines, a segment's extent from their
// end points.
void Measurer::MeasureLine(const ShapeSpec& shape, ShapeResult& result) {
    const int count = static_cast<int>(shape.segmentPicks.size());
    if (count < 2) {
        FailShape(result,
                  std::string("picked in one camera only; a ") + KindName(shape.kind) +
                      " needs two or more");
        return;
    }
    C1DArray<SImageLine> observations;
    observations.SetSize(count);
    for (int i = 0; i < count; ++i) {
        observations[i].cameraParam = m_cameraParams[shape.segmentPicks[i].camera];
        observations[i].lineSegment = ToSegment(shape.segmentPicks[i].segment);
    }
    C3DLine line;
    if (!line.CreateFromImageLines(observations)) {
        FailShape(result,
                  "the viewing planes through the picked segments are (nearly) parallel: the "
                  "cameras see the line from too similar directions");
        return;
    }
    const C3DAxis& axis = line.Get3DAxis();
    result.direction = FromVector(axis.GetVVector());
    result.distance = axis.GetDistance();
    result.point = FromVector(axis.GetUVector() * axis.GetDistance());
    if (!IsFinite(result.direction) || !IsFinite(result.point)) {
        FailShape(result, "the picked segments give no finite line");
        return;
    }
    result.ok = true;

    if (shape.kind == ShapeKind::kLine) {
        for (const SegmentPick& pick : shape.segmentPicks) {
            Residual residual;
            residual.camera = pick.camera;
            C2DLine image;
            line.Reproject(m_cameraParams[pick.camera], image);
            const double d0 = image.GetDistance(ToCoordinate(pick.segment.start));
            const double d1 = image.GetDistance(ToCoordinate(pick.segment.end));
            residual.ok = d0 >= 0.0 && d1 >= 0.0;
            residual.pixels = std::max(d0, d1);
            if (!residual.ok) {
                residual.note = "the line passes through the camera centre";
            }
            result.residuals.push_back(residual);
        }
        for (std::size_t camera = 0; camera < m_cameraParams.size(); ++camera) {
            C2DLine image;
            line.Reproject(m_cameraParams[camera], image);
            const CCamera& frame = m_scene.cameras[camera].calibration;
            const C2DLineSegment chord =
                image.GetLineSegment(0.0, 0.0, frame.GetWidth(), frame.GetHeight());
            DrawSegment(camera, DrawRole::kLine, shape.name, chord);
        }
        if (shape.truth) {
            // Direction and offset: how far the true point lies from the measured line.
            const C3DLineSegment measured(axis, CRange());
            C3DCoordinate foot;
            double offset = 0.0;
            measured.GetDistancePoint2Line(ToCoordinate(*shape.truth->point), foot, offset);
            result.truthErrors.push_back(
                {"direction", AxisAngleDegrees(result.direction, *shape.truth->direction), "deg"});
            result.truthErrors.push_back({"offset", offset, m_scene.units});
        }
        return;
    }

    C3DLineSegment segment;
    segment.Set3DLineSegment(axis, CRange(), true, false);
    segment.CalcRange(observations);
    C3DCoordinate ends[2];
    segment.GetEndPoint3D(ends);
    result.start = FromVector(ends[0]);
    result.end = FromVector(ends[1]);
    result.length = segment.GetRange().GetLength();
    if (result.length == 0.0) {
        result.notes.push_back("no picked end point could be carried onto the line: length 0");
    }
    for (const SegmentPick& pick : shape.segmentPicks) {
        Residual residual;
        residual.camera = pick.camera;
        C2DLineSegment image;
        const C2DCoordinate observed[2] = {ToCoordinate(pick.segment.start),
                                           ToCoordinate(pick.segment.end)};
        residual.ok =
            segment.Reproject(m_cameraParams[pick.camera], image, observed, &residual.pixels);
        if (!residual.ok) {
            residual.note = "the segment lies behind the camera";
        }
        result.residuals.push_back(residual);
    }
    for (std::size_t camera = 0; camera < m_cameraParams.size(); ++camera) {
        C2DLineSegment image;
        if (segment.Reproject(m_cameraParams[camera], image, nullptr, nullptr)) {
            DrawSegment(camera, DrawRole::kSegment, shape.name, image);
        }
    }
    if (shape.truth) {
        AddEndPointErrors(
            result.start, result.end, *shape.truth, m_scene.units, result.truthErrors);
    }
}

void Measurer::MeasureCylinder(const ShapeSpec& shape, ShapeResult& result) {
    const int count = static_cast<int>(shape.cylinderPicks.size());
    int edgeCount = 0;
    int bothEdges = 0;
    C1DArray<SImageCylinder> observations;
    observations.SetSize(count);
    for (int i = 0; i < count; ++i) {
        const CylinderPick& pick = shape.cylinderPicks[i];
        observations[i].cameraParam = m_cameraParams[pick.camera];
        for (int slot = 0; slot < 2; ++slot) {
            if (pick.edges[slot]) {
                observations[i].edgeSegment[slot] = ToSegment(*pick.edges[slot]);
                ++edgeCount;
            } else {
                // An edge of length 0 counts as not seen.
                observations[i].edgeSegment[slot].SetEndPoints(C2DCoordinate(0.0, 0.0),
                                                               C2DCoordinate(0.0, 0.0));
            }
        }
        bothEdges += (pick.edges[0] && pick.edges[1]) ? 1 : 0;
    }
    if (count < 2) {
        FailShape(result, "picked in one camera only; a cylinder needs two or more");
        return;
    }
    if (shape.tangentPlanes && edgeCount < 3) {
        FailShape(result,
                  "fewer than three silhouette edges picked; the tangent-plane method needs three");
        return;
    }
    if (!shape.tangentPlanes && bothEdges < 2) {
        FailShape(result, "the centre-line method needs both edges in at least two cameras");
        return;
    }
    C3DCylinder cylinder;
    if (!cylinder.CreateFromImageCylinder(observations, shape.tangentPlanes)) {
        FailShape(result,
                  shape.tangentPlanes
                      ? "the tangent planes of the edges do not fix an axis: the cameras see the "
                        "cylinder from too similar directions, or the edges do not belong to one "
                        "cylinder"
                      : "the centre lines do not fix an axis (viewing planes nearly parallel), or "
                        "no edge gives a radius");
        return;
    }
    C3DCoordinate start;
    C3DCoordinate end;
    if (!cylinder.GetEndPoint3D(start, end)) {
        FailShape(result, "the reconstruction gave an axis through the origin or a radius of 0");
        return;
    }
    result.start = FromVector(start);
    result.end = FromVector(end);
    result.radius = cylinder.GetRadius();
    result.length = cylinder.GetRange().GetLength();
    result.direction = FromVector(cylinder.GetAxis().GetVVector());
    if (!IsFinite(result.start) || !IsFinite(result.end) || !std::isfinite(result.radius)) {
        FailShape(result, "the picked edges give no finite cylinder");
        return;
    }
    result.ok = true;

    for (int i = 0; i < count; ++i) {
        const CylinderPick& pick = shape.cylinderPicks[i];
        Residual residual;
        residual.camera = pick.camera;
        C2DLineSegment centre;
        C2DLineSegment edges[2];
        if (pick.edges[0] && pick.edges[1]) {
            const C2DCoordinate observed[4] = {ToCoordinate(pick.edges[0]->start),
                                               ToCoordinate(pick.edges[0]->end),
                                               ToCoordinate(pick.edges[1]->start),
                                               ToCoordinate(pick.edges[1]->end)};
            double distances[4];
            residual.ok = cylinder.Reproject(
                m_cameraParams[pick.camera], centre, edges, observed, distances, &residual.pixels);
        } else if (cylinder.Reproject(
                       m_cameraParams[pick.camera], centre, edges, nullptr, nullptr, nullptr)) {
            // One edge seen: its distance from the nearer of the two silhouettes.
            const Segment2& seen = pick.edges[0] ? *pick.edges[0] : *pick.edges[1];
            if (!LoneEdgeAgrees(seen, FromSegment(centre))) {
                result.notes.push_back(
                    "warning: the edge seen alone in " + m_scene.cameras[pick.camera].id +
                    " runs against the documented direction (the measured cylinder lies on its "
                    "right, not its left): the other images disagree with it and the axis may be "
                    "off; reverse the edge, or pick both edges there");
            }
            double best = std::numeric_limits<double>::infinity();
            for (const C2DLineSegment& edge : edges) {
                const C2DLine silhouette(edge);
                const double d0 = silhouette.GetDistance(ToCoordinate(seen.start));
                const double d1 = silhouette.GetDistance(ToCoordinate(seen.end));
                if (d0 >= 0.0 && d1 >= 0.0) {
                    best = std::min(best, std::max(d0, d1));
                }
            }
            residual.ok = std::isfinite(best);
            residual.pixels = best;
        }
        if (!residual.ok) {
            residual.note =
                "no silhouette in this camera (camera inside the cylinder or on its axis)";
        }
        result.residuals.push_back(residual);
    }
    for (std::size_t camera = 0; camera < m_cameraParams.size(); ++camera) {
        C2DLineSegment centre;
        C2DLineSegment edges[2];
        if (cylinder.Reproject(m_cameraParams[camera], centre, edges, nullptr, nullptr, nullptr)) {
            DrawSegment(camera, DrawRole::kSilhouette, shape.name, edges[0]);
            DrawSegment(camera, DrawRole::kSilhouette, shape.name, edges[1]);
            DrawSegment(camera, DrawRole::kCentreLine, shape.name, centre);
        }
    }
    if (shape.truth) {
        AddEndPointErrors(
            result.start, result.end, *shape.truth, m_scene.units, result.truthErrors);
        result.truthErrors.push_back(
            {"radius", result.radius - *shape.truth->radius, m_scene.units});
        result.truthErrors.push_back(
            {"axis direction",
             AxisAngleDegrees(result.direction, Sub(*shape.truth->end, *shape.truth->start)),
             "deg"});
    }
}

void Measurer::MeasurePlane(const ShapeSpec& shape,
                            ShapeResult& result,
                            const Measurement& measured) {
    std::vector<Vec3> points;
    for (const PlaneSource& source : shape.planePoints) {
        if (source.pointName.empty()) {
            points.push_back(source.point);
            continue;
        }
        for (const ShapeResult& other : measured.shapes) {
            if (other.name != source.pointName) {
                continue;
            }
            if (other.ok) {
                points.push_back(other.point);
            } else {
                result.notes.push_back("point " + other.name + " left out: " + other.reason);
            }
        }
    }
    if (points.size() < 3) {
        FailShape(result,
                  "fewer than three points (" + std::to_string(points.size()) +
                      " usable); a plane needs three");
        return;
    }
    // The fit of nearly collinear points is exact along their line and arbitrary about it: its
    // rms distance is 0 however far the normal turns, so their spread decides.
    std::vector<double> xyz;
    for (const Vec3& point : points) {
        xyz.insert(xyz.end(), point.begin(), point.end());
    }
    const core::PlaneConditioning conditioning = core::JudgePlanePoints(xyz.data(), points.size());
    if (!conditioning.ok) {
        FailShape(result, conditioning.reason);
        return;
    }
    C1DArray<C3DCoordinate> coordinates;
    coordinates.SetSize(static_cast<int>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        coordinates[static_cast<int>(i)] = ToCoordinate(points[i]);
    }
    C3DPlane plane;
    if (!plane.SetApproximationPlane(coordinates)) {
        FailShape(result, "the points do not fix a plane");
        return;
    }
    plane.GetPlaneParam(result.plane.data());
    if (!std::isfinite(result.plane[0]) || !std::isfinite(result.plane[1]) ||
        !std::isfinite(result.plane[2]) || !std::isfinite(result.plane[3])) {
        FailShape(result, "the points do not fix a plane (they lie on a line)");
        return;
    }
    result.ok = true;
    result.planePointCount = static_cast<int>(points.size());
    double sum = 0.0;
    for (const Vec3& point : points) {
        C3DCoordinate foot;
        const double distance = plane.GetDistance(ToCoordinate(point), foot);
        sum += distance * distance;
        result.planeMaxDistance = std::max(result.planeMaxDistance, distance);
    }
    result.planeRms = std::sqrt(sum / static_cast<double>(points.size()));
    // The outline through the points, in the order given, where all of them are in front.
    for (std::size_t camera = 0; camera < m_cameraParams.size(); ++camera) {
        Drawing outline{DrawRole::kPlane, shape.name, {}, true, false};
        for (const Vec3& point : points) {
            C2DCoordinate image;
            if (!C3DPoint(ToCoordinate(point))
                     .Reproject(m_cameraParams[camera], image, nullptr, nullptr)) {
                outline.points.clear();
                break;
            }
            outline.points.push_back(FromCoordinate(image));
        }
        if (!outline.points.empty()) {
            m_drawings[camera].push_back(outline);
        }
    }
    if (shape.truth) {
        const Vec3 normal{result.plane[0], result.plane[1], result.plane[2]};
        C3DCoordinate foot;
        result.truthErrors.push_back(
            {"normal", AxisAngleDegrees(normal, *shape.truth->normal), "deg"});
        result.truthErrors.push_back(
            {"offset", plane.GetDistance(ToCoordinate(*shape.truth->point), foot), m_scene.units});
    }
}

void Measurer::MeasureCurve(const ShapeSpec& shape, ShapeResult& result) {
    result.curveCamera = shape.curveCamera;
    C1DArray<C2DCoordinate> picks;
    picks.SetSize(static_cast<int>(shape.curvePicks.size()));
    for (std::size_t i = 0; i < shape.curvePicks.size(); ++i) {
        picks[static_cast<int>(i)] = ToCoordinate(shape.curvePicks[i]);
    }
    C1DArray<C2DCoordinate> samples;
    samples.SetSize(shape.sampleCount);
    const EErrorType error =
        C2DBSpline::GetSamplePoint(picks, shape.interval, samples, shape.interpolate);
    switch (error) {
        case NoError:
            break;
        case CurveParamError:
            FailShape(result,
                      "fewer than two distinct picks (a pick within 2 px of the one before it is "
                      "dropped)");
            return;
        case KnotVectorError:
            FailShape(result,
                      "the interval gives exactly 3 control points; choose another interval");
            return;
        case IntervalError:
            FailShape(result, "the interval must be greater than 0");
            return;
        case ControlPointError:
            FailShape(
                result,
                "the interval gives fewer than 4 control points or more than there are picks; "
                "choose an interval that fits the curve's length");
            return;
    }
    for (int i = 0; i < samples.GetSize(); ++i) {
        result.samples.push_back(FromCoordinate(samples[i]));
        if (!std::isfinite(result.samples.back().x) || !std::isfinite(result.samples.back().y)) {
            result.samples.clear();
            FailShape(result, "the fit gave no finite samples");
            return;
        }
    }
    result.ok = true;
    Residual residual;
    residual.camera = shape.curveCamera;
    residual.ok = true;
    residual.pixels = MaxDistanceToPolyline(shape.curvePicks, result.samples);
    result.residuals.push_back(residual);
    m_drawings[shape.curveCamera].push_back(
        {DrawRole::kCurve, shape.name, result.samples, false, true});
    if (shape.truth) {
        result.truthErrors.push_back(
            {"samples", MaxDistanceToPolyline(result.samples, shape.truth->imagePoints), "px"});
    }
}

Measurement Measurer::Run() {
    Measurement measured;
    measured.shapes.resize(m_scene.shapes.size());
    // Planes last: they may be made of measured points.
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < m_scene.shapes.size(); ++i) {
            const ShapeSpec& shape = m_scene.shapes[i];
            if ((shape.kind == ShapeKind::kPlane) != (pass == 1)) {
                continue;
            }
            ShapeResult& result = measured.shapes[i];
            result.name = shape.name;
            result.kind = shape.kind;
            DrawPicks(shape);
            switch (shape.kind) {
                case ShapeKind::kPoint:
                    MeasurePoint(shape, result);
                    break;
                case ShapeKind::kLine:
                case ShapeKind::kSegment:
                    MeasureLine(shape, result);
                    break;
                case ShapeKind::kCylinder:
                    MeasureCylinder(shape, result);
                    break;
                case ShapeKind::kPlane:
                    MeasurePlane(shape, result, measured);
                    break;
                case ShapeKind::kCurve:
                    MeasureCurve(shape, result);
                    break;
            }
        }
    }
    measured.drawings = std::move(m_drawings);
    return measured;
}

}  // namespace

bool ClipToImage(const Segment2& segment, const CCamera& camera, Segment2& clipped) {
    const double values[4] = {segment.start.x, segment.start.y, segment.end.x, segment.end.y};
    for (const double value : values) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    if (camera.Contains(ToCoordinate(segment.start)) &&
        camera.Contains(ToCoordinate(segment.end))) {
        clipped = segment;
        return true;
    }
    const double dx = segment.end.x - segment.start.x;
    const double dy = segment.end.y - segment.start.y;
    const double lengthSquared = dx * dx + dy * dy;
    if (lengthSquared == 0.0) {
        return false;
    }
    // Where the segment's line crosses the image, then the overlap of the two stretches.
    const C2DLineSegment chord =
        C2DLine(ToSegment(segment)).GetLineSegment(0.0, 0.0, camera.GetWidth(), camera.GetHeight());
    const Segment2 crossing = FromSegment(chord);
    if (crossing.start.x == 0.0 && crossing.start.y == 0.0 && crossing.end.x == 0.0 &&
        crossing.end.y == 1.0) {
        return false;  // the line misses the image (the library's "no clip" segment)
    }
    const double t0 =
        ((crossing.start.x - segment.start.x) * dx + (crossing.start.y - segment.start.y) * dy) /
        lengthSquared;
    const double t1 =
        ((crossing.end.x - segment.start.x) * dx + (crossing.end.y - segment.start.y) * dy) /
        lengthSquared;
    const double low = std::max(0.0, std::min(t0, t1));
    const double high = std::min(1.0, std::max(t0, t1));
    if (!(low < high)) {
        return false;
    }
    clipped = {{segment.start.x + low * dx, segment.start.y + low * dy},
               {segment.start.x + high * dx, segment.start.y + high * dy}};
    return true;
}

double MaxDistanceToPolyline(const std::vector<Vec2>& points, const std::vector<Vec2>& polyline) {
    double worst = 0.0;
    for (const Vec2& point : points) {
        double best = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i + 1 < polyline.size(); ++i) {
            const Vec2& a = polyline[i];
            const Vec2& b = polyline[i + 1];
            const double dx = b.x - a.x;
            const double dy = b.y - a.y;
            const double lengthSquared = dx * dx + dy * dy;
            double t = lengthSquared > 0.0
                           ? ((point.x - a.x) * dx + (point.y - a.y) * dy) / lengthSquared
                           : 0.0;
            t = std::clamp(t, 0.0, 1.0);
            best = std::min(best, std::hypot(point.x - (a.x + t * dx), point.y - (a.y + t * dy)));
        }
        worst = std::max(worst, best);
    }
    return worst;
}

Measurement Measure(const Scene& scene) {
    return Measurer(scene).Run();
}

}  // namespace measure
