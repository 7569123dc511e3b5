#include "measure/measurement.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/reconstruction.h"
#include "measure/photo_decoder.h"

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
core::Pixel ToPixel(const Vec2& p) {
    return {p.x, p.y};
}
core::Extent ToExtent(Extent extent) {
    return extent == Extent::kMedian ? core::Extent::kMedian : core::Extent::kUnion;
}
core::Outliers ToOutliers(Outliers outliers) {
    return outliers == Outliers::kDrop ? core::Outliers::kDrop : core::Outliers::kKeep;
}
core::PixelSegment ToPixels(const Segment2& segment) {
    return {ToPixel(segment.start), ToPixel(segment.end)};
}
std::vector<core::Pixel> ToPixels(const std::vector<Vec2>& points) {
    std::vector<core::Pixel> pixels;
    for (const Vec2& point : points) {
        pixels.push_back(ToPixel(point));
    }
    return pixels;
}
std::vector<Vec2> FromPixels(const std::vector<core::Pixel>& pixels) {
    std::vector<Vec2> points;
    for (const core::Pixel& pixel : pixels) {
        points.push_back({pixel.x, pixel.y});
    }
    return points;
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

bool Contains(const std::vector<std::size_t>& cameras, std::size_t camera) {
    return std::find(cameras.begin(), cameras.end(), camera) != cameras.end();
}

// Takes over what the core gives for every kind: status, reason, residuals, the views left out,
// and the overlays as drawings labelled with the shape's name (a left-out view's picks marked).

void Adopt(const core::Outcome& outcome,
           const std::string& name,
           ShapeResult& result,
           std::vector<std::vector<Drawing>>& drawings) {
    result.ok = outcome.ok;
    result.reason = outcome.reason;
    result.residuals = outcome.residuals;
    result.leftOut = outcome.leftOut;
    for (const core::Overlay& overlay : outcome.overlays) {
        drawings[overlay.camera].push_back(
            {overlay.role,
             name,
             FromPixels(overlay.points),
             overlay.closed,
             overlay.markers,
             overlay.role == core::Role::kPick && Contains(outcome.leftOut, overlay.camera)});
    }
}

class Measurer {
  public:
    explicit Measurer(const Scene& scene) : m_scene(scene) {
        m_drawings.resize(scene.cameras.size());
        m_photos.resize(scene.cameras.size());
        for (const Camera& camera : scene.cameras) {
            m_cameras.push_back(camera.calibration);
        }
    }

    Measurement Run();

  private:
    // A camera's photo, decoded when first asked for.
    struct LoadedPhoto {
        bool tried = false;
        std::string error;  // why it cannot be used
        GrayPhoto photo;
    };

    // The shape with its picks refined on their photos; the snaps and notes go to result.
    ShapeInput Refined(const ShapeInput& shape, ShapeResult& result);
    // The camera's photo, or null with a note or a refusal recorded in result.
    const GrayPhoto* PhotoFor(std::size_t camera, ShapeResult& result);
    void MeasurePoint(const ShapeInput& shape, ShapeResult& result);
    void MeasureLine(const ShapeInput& shape, ShapeResult& result);
    void MeasureSegment(const ShapeInput& shape, ShapeResult& result);
    void MeasureCylinder(const ShapeInput& shape, ShapeResult& result);
    void MeasurePlane(const ShapeInput& shape, ShapeResult& result, const Measurement& measured);
    void MeasureCurve(const ShapeInput& shape, ShapeResult& result);

    std::vector<core::SegmentPick> SegmentPicks(const ShapeInput& shape) const;

    const Scene& m_scene;
    std::vector<CCamera> m_cameras;
    std::vector<std::vector<Drawing>> m_drawings;
    std::vector<LoadedPhoto> m_photos;  // per camera
};

const GrayPhoto* Measurer::PhotoFor(std::size_t camera, ShapeResult& result) {
    const Camera& scene = m_scene.cameras[camera];
    if (scene.image.empty()) {
        const std::string note =
            "refine: camera " + scene.id + " has no photo; its picks are used as clicked";
        if (std::find(result.notes.begin(), result.notes.end(), note) == result.notes.end()) {
            result.notes.push_back(note);
        }
        return nullptr;
    }
    LoadedPhoto& loaded = m_photos[camera];
    if (!loaded.tried) {
        loaded.tried = true;
        try {
            loaded.photo = LoadGrayPhoto(
                scene.image, scene.calibration.GetWidth(), scene.calibration.GetHeight());
        } catch (const PhotoError& error) {
            loaded.error = std::string("the photo cannot be used: ") + error.what();
        }
    }
    return loaded.error.empty() ? &loaded.photo : nullptr;
}

ShapeInput Measurer::Refined(const ShapeInput& shape, ShapeResult& result) {
    ShapeInput refined = shape;
    const auto snap = [&](std::size_t camera, int edge, std::vector<Vec2> picks) {
        const GrayPhoto* photo = PhotoFor(camera, result);
        if (photo == nullptr && m_scene.cameras[camera].image.empty()) {
            return picks;
        }
        Snap done;
        if (photo == nullptr) {
            done = RefusedSnap(picks, m_photos[camera].error);
        } else if (picks.size() == 1) {
            done = SnapCorner(*photo, picks[0]);
        } else {
            done = SnapEdge(m_cameras[camera], *photo, {picks[0], picks[1]});
        }
        result.snaps.push_back({camera, edge, done});
        return done.points;
    };
    for (PointPick& pick : refined.pointPicks) {
        pick.point = snap(pick.camera, -1, {pick.point})[0];
    }
    for (SegmentPick& pick : refined.segmentPicks) {
        const std::vector<Vec2> ends =
            snap(pick.camera, -1, {pick.segment.start, pick.segment.end});
        pick.segment = {ends[0], ends[1]};
    }
    for (CylinderPick& pick : refined.cylinderPicks) {
        for (int slot = 0; slot < 2; ++slot) {
            std::optional<Segment2>& edge = pick.edges[slot];
            if (edge) {
                const std::vector<Vec2> ends = snap(pick.camera, slot, {edge->start, edge->end});
                edge = Segment2{ends[0], ends[1]};
            }
        }
    }
    return refined;
}

void Measurer::MeasurePoint(const ShapeInput& shape, ShapeResult& result) {
    std::vector<core::PointPick> picks;
    for (const PointPick& pick : shape.pointPicks) {
        picks.push_back({pick.camera, ToPixel(pick.point)});
    }
    const core::PointMeasurement measured =
        core::MeasurePoint(m_cameras, picks, ToOutliers(shape.outliers));
    Adopt(measured, shape.name, result, m_drawings);
    if (!result.ok) {
        return;
    }
    result.point = FromVector(measured.point.GetPoint());
    if (shape.truth) {
        result.truthErrors.push_back(
            {"point", Distance(result.point, *shape.truth->point), m_scene.units});
    }
}

std::vector<core::SegmentPick> Measurer::SegmentPicks(const ShapeInput& shape) const {
    std::vector<core::SegmentPick> picks;
    for (const SegmentPick& pick : shape.segmentPicks) {
        picks.push_back({pick.camera, ToPixels(pick.segment)});
    }
    return picks;
}

void Measurer::MeasureLine(const ShapeInput& shape, ShapeResult& result) {
    const core::LineMeasurement measured =
        core::MeasureLine(m_cameras, SegmentPicks(shape), ToOutliers(shape.outliers));
    Adopt(measured, shape.name, result, m_drawings);
    if (!result.ok) {
        return;
    }
    const C3DAxis& axis = measured.line.Get3DAxis();
    result.direction = FromVector(axis.GetVVector());
    result.distance = axis.GetDistance();
    result.point = FromVector(axis.GetUVector() * axis.GetDistance());
    if (shape.truth) {
        // Direction and offset: how far the true point lies from the measured line.
        const C3DLineSegment line(axis, CRange());
        C3DCoordinate foot;
        double offset = 0.0;
        line.GetDistancePoint2Line(ToCoordinate(*shape.truth->point), foot, offset);
        result.truthErrors.push_back(
            {"direction", AxisAngleDegrees(result.direction, *shape.truth->direction), "deg"});
        result.truthErrors.push_back({"offset", offset, m_scene.units});
    }
}

void Measurer::MeasureSegment(const ShapeInput& shape, ShapeResult& result) {
    const core::SegmentMeasurement measured = core::MeasureSegment(
        m_cameras, SegmentPicks(shape), ToExtent(shape.extent), ToOutliers(shape.outliers));
    Adopt(measured, shape.name, result, m_drawings);
    if (!result.ok) {
        return;
    }
    C3DCoordinate ends[2];
    measured.segment.GetEndPoint3D(ends);
    result.direction = FromVector(measured.segment.GetAxis().GetVVector());
    result.start = FromVector(ends[0]);
    result.end = FromVector(ends[1]);
    result.length = measured.segment.GetRange().GetLength();
    result.ends = measured.ends;
    if (shape.truth) {
        AddEndPointErrors(
            result.start, result.end, *shape.truth, m_scene.units, result.truthErrors);
    }
}

void Measurer::MeasureCylinder(const ShapeInput& shape, ShapeResult& result) {
    std::vector<core::EdgePick> picks;
    for (const CylinderPick& pick : shape.cylinderPicks) {
        core::EdgePick edges;
        edges.camera = pick.camera;
        for (int slot = 0; slot < 2; ++slot) {
            if (pick.edges[slot]) {
                edges.edges[slot] = ToPixels(*pick.edges[slot]);
            }
        }
        picks.push_back(edges);
    }
    const core::CylinderMeasurement measured =
        core::MeasureCylinder(m_cameras,
                              picks,
                              shape.tangentPlanes ? core::CylinderMethod::kTangentPlanes
                                                  : core::CylinderMethod::kCentreLines,
                              ToExtent(shape.extent),
                              ToOutliers(shape.outliers));
    Adopt(measured, shape.name, result, m_drawings);
    for (const std::size_t camera : measured.reversedLoneEdges) {
        result.notes.push_back(core::ReversedLoneEdgeNote(m_scene.cameras[camera].id));
    }
    if (!result.ok) {
        return;
    }
    const C3DCylinder& cylinder = measured.cylinder;
    C3DCoordinate start;
    C3DCoordinate end;
    cylinder.GetEndPoint3D(start, end);
    result.start = FromVector(start);
    result.end = FromVector(end);
    result.radius = cylinder.GetRadius();
    result.length = cylinder.GetRange().GetLength();
    result.ends = measured.ends;
    result.direction = FromVector(cylinder.GetAxis().GetVVector());
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

void Measurer::MeasurePlane(const ShapeInput& shape,
                            ShapeResult& result,
                            const Measurement& measured) {
    std::vector<core::Point3> points;
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
    const core::PlaneMeasurement plane = core::MeasurePlane(m_cameras, points);
    Adopt(plane, shape.name, result, m_drawings);
    if (!result.ok) {
        return;
    }
    result.plane = plane.coefficients;
    result.planePointCount = plane.pointCount;
    result.planeRms = plane.rmsDistance;
    result.planeMaxDistance = plane.maxDistance;
    if (shape.truth) {
        const Vec3 normal{result.plane[0], result.plane[1], result.plane[2]};
        C3DCoordinate foot;
        result.truthErrors.push_back(
            {"normal", AxisAngleDegrees(normal, *shape.truth->normal), "deg"});
        result.truthErrors.push_back(
            {"offset",
             plane.plane.GetDistance(ToCoordinate(*shape.truth->point), foot),
             m_scene.units});
    }
}

void Measurer::MeasureCurve(const ShapeInput& shape, ShapeResult& result) {
    result.curveCamera = shape.curveCamera;
    core::CurveOptions options;
    options.interpolate = shape.interpolate;
    options.interval = shape.interval;
    options.sampleCount = shape.sampleCount;
    const core::CurveMeasurement measured =
        core::MeasureCurve(m_cameras, shape.curveCamera, ToPixels(shape.curvePicks), options);
    Adopt(measured, shape.name, result, m_drawings);
    if (!result.ok) {
        return;
    }
    result.samples = FromPixels(measured.samples);
    if (shape.truth) {
        result.truthErrors.push_back(
            {"samples",
             core::MaxDistanceToPolyline(measured.samples, ToPixels(shape.truth->imagePoints)),
             "px"});
    }
}

Measurement Measurer::Run() {
    Measurement measured;
    measured.shapes.resize(m_scene.shapes.size());
    // Planes last: they may be made of measured points.
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < m_scene.shapes.size(); ++i) {
            const ShapeInput& given = m_scene.shapes[i];
            if ((given.kind == ShapeKind::kPlane) != (pass == 1)) {
                continue;
            }
            ShapeResult& result = measured.shapes[i];
            result.name = given.name;
            result.kind = given.kind;
            const ShapeInput refined =
                given.refine == Refine::kNone ? ShapeInput() : Refined(given, result);
            const ShapeInput& shape = given.refine == Refine::kNone ? given : refined;
            switch (shape.kind) {
                case ShapeKind::kPoint:
                    MeasurePoint(shape, result);
                    break;
                case ShapeKind::kLine:
                    MeasureLine(shape, result);
                    break;
                case ShapeKind::kSegment:
                    MeasureSegment(shape, result);
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

Measurement Measure(const Scene& scene) {
    return Measurer(scene).Run();
}

}  // namespace measure
