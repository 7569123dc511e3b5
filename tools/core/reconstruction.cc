#include "core/reconstruction.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/soundness.h"

#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/range.h"
#include "polyview/geometry2d/bspline2d.h"

namespace core {

const char* const kOutOfMemory = "out of memory";

namespace {

const char* const kPickNotIdeal =
    "a pick is not finite or lies outside the camera's lens model; it has no viewing ray";

C2DCoordinate Coordinate(const Pixel& pixel) {
    return C2DCoordinate(pixel.x, pixel.y);
}

bool IsFinite(const C3DVector& v) {
    return std::isfinite(v.GetData(0)) && std::isfinite(v.GetData(1)) &&
           std::isfinite(v.GetData(2));
}

// Why too few cameras saw the shape, or empty when two or more did.
std::string TooFewCameras(std::size_t count, const char* kind) {
    if (count >= 2) {
        return std::string();
    }
    return std::string(count == 0 ? "picked in no camera" : "picked in one camera only") + "; a " +
           kind + " needs two or more";
}

// Empty when every pick names one of the cameras, else the reason.
template <typename Pick>
std::string CheckCameraIndices(const std::vector<CCamera>& cameras,
                               const std::vector<Pick>& picks) {
    for (const Pick& pick : picks) {
        if (pick.camera >= cameras.size()) {
            return "a pick names camera " + std::to_string(pick.camera) + ", but there are " +
                   std::to_string(cameras.size()) + " cameras";
        }
    }
    return std::string();
}

// Whether the point lies in front of the camera (depth > 0).
bool InFront(const CCamera& camera, const C3DCoordinate& point) {
    return camera.GetCameraParam().GetExtrinsicParam().Apply(point).GetData(2) > 0.0;
}

// The pick as the library's observation in its camera; false when it has no ideal pixel.
bool ToObservation(const CCamera& camera, const PixelSegment& pick, SImageLine& observation) {
    C2DCoordinate start;
    C2DCoordinate end;
    if (!ToIdeal(camera, pick.start, start) || !ToIdeal(camera, pick.end, end)) {
        return false;
    }
    observation.cameraParam = camera.GetCameraParam();
    observation.lineSegment = C2DLineSegment(start, end);
    return true;
}

bool Coincide(const PixelSegment& segment) {
    return segment.start.x == segment.end.x && segment.start.y == segment.end.y;
}

// Sizes the array; false when the memory cannot be had.
template <typename T>
bool Resize(C1DArray<T>& array, std::size_t count) {
    const int size = static_cast<int>(count);
    array.SetSize(size);
    return array.GetSize() == size;
}

void AddPoint(const std::vector<CCamera>& cameras,
              std::size_t camera,
              Role role,
              const Pixel& point,
              std::vector<Overlay>& overlays) {
    if (std::isfinite(point.x) && std::isfinite(point.y) &&
        cameras[camera].Contains(Coordinate(point))) {
        overlays.push_back({camera, role, {point}, false, false});
    }
}

void AddPieces(std::size_t camera,
               Role role,
               std::vector<Polyline> pieces,
               std::vector<Overlay>& overlays) {
    for (Polyline& piece : pieces) {
        overlays.push_back({camera, role, std::move(piece), false, false});
    }
}

// A picked segment, clipped to its photo.
void AddPickedSegment(const std::vector<CCamera>& cameras,
                      std::size_t camera,
                      const PixelSegment& pick,
                      std::vector<Overlay>& overlays) {
    AddPieces(camera, Role::kPick, ClipPolyline({pick.start, pick.end}, cameras[camera]), overlays);
}

void Fail(Outcome& outcome, std::string reason) {
    outcome.ok = false;
    outcome.reason = std::move(reason);
}

// The line of the picked segments, as MeasureLine and MeasureSegment share it: true with the line
// and the library's observations, else false with the reason.
bool LineFromPicks(const std::vector<CCamera>& cameras,
                   const std::vector<SegmentPick>& picks,
                   const char* kind,
                   C1DArray<SImageLine>& observations,
                   C3DLine& line,
                   std::string& reason) {
    reason = CheckCameraIndices(cameras, picks);
    if (reason.empty()) {
        reason = TooFewCameras(picks.size(), kind);
    }
    if (!reason.empty()) {
        return false;
    }
    if (!Resize(observations, picks.size())) {
        reason = kOutOfMemory;
        return false;
    }
    for (std::size_t i = 0; i < picks.size(); ++i) {
        if (Coincide(picks[i].segment)) {
            reason = "a picked segment's ends coincide, so it shows no line";
            return false;
        }
        if (!ToObservation(
                cameras[picks[i].camera], picks[i].segment, observations[static_cast<int>(i)])) {
            reason = kPickNotIdeal;
            return false;
        }
    }
    C3DLine made;
    if (!made.CreateFromImageLines(observations)) {
        reason =
            "the viewing planes through the picked segments are (nearly) parallel: the cameras "
            "see the line from too similar directions";
        return false;
    }
    const C3DAxis& axis = made.Get3DAxis();
    if (!IsFinite(axis.GetVVector()) || !IsFinite(axis.GetUVector() * axis.GetDistance()) ||
        !std::isfinite(axis.GetDistance())) {
        reason = "the picked segments give no finite line";
        return false;
    }
    line = made;
    return true;
}

// A plane's outline through a lens: each side (the last back to the first) the observed curve of
// the straight edge between its points, the points the observed pixels there are, joined in
// order; empty when a point is not in front of the camera.
Polyline CurvedOutline(const CCamera& camera, const std::vector<Point3>& points) {
    std::vector<C2DCoordinate> ideal;
    for (const Point3& point : points) {
        C2DCoordinate image;
        if (!C3DPoint(C3DCoordinate(point[0], point[1], point[2]))
                 .Reproject(camera.GetCameraParam(), image, nullptr, nullptr)) {
            return {};
        }
        ideal.push_back(image);
    }
    Polyline outline;
    for (std::size_t i = 0; i < ideal.size(); ++i) {
        const C2DLineSegment side(ideal[i], ideal[(i + 1) % ideal.size()]);
        for (const Polyline& run : ObservedCurve(camera, side)) {
            outline.insert(outline.end(), run.begin(), run.end() - 1);  // the next side's start
        }
    }
    return outline;
}

// Whether the pick saw an edge; a pick with neither counts as not made.
bool SawEdge(const EdgePick& pick) {
    return pick.edges[0] || pick.edges[1];
}

// One view's picked ends carried onto the axis: positions along it, low <= high.
struct ViewEnds {
    std::size_t camera = 0;
    double low = 0.0;
    double high = 0.0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    if (values.size() % 2 == 1) {
        return values[middle];
    }
    return 0.5 * values[middle - 1] + 0.5 * values[middle];  // halves first: no overflow
}

// The range with each end the median of the views' positions of it, in the range's own order.
// views is not empty.
CRange MedianRange(const std::vector<ViewEnds>& views, const CRange& range) {
    std::vector<double> lows;
    std::vector<double> highs;
    for (const ViewEnds& view : views) {
        lows.push_back(view.low);
        highs.push_back(view.high);
    }
    const double low = Median(lows);
    const double high = Median(highs);
    return range.GetStartPosition() <= range.GetEndPosition() ? CRange(low, high)
                                                              : CRange(high, low);
}

// The spread of each end over the views and the view that reaches farthest at it (the union's
// end; the first of equals), at the range's start and end.
std::array<EndSpread, 2> Spreads(const std::vector<ViewEnds>& views, const CRange& range) {
    if (views.empty()) {
        return {};
    }
    EndSpread low{0.0, views[0].camera};
    EndSpread high{0.0, views[0].camera};
    double lowest = views[0].low;
    double highest = views[0].high;
    double lowMax = views[0].low;
    double highMin = views[0].high;
    for (const ViewEnds& view : views) {
        if (view.low < lowest) {
            lowest = view.low;
            low.unionCamera = view.camera;
        }
        if (view.high > highest) {
            highest = view.high;
            high.unionCamera = view.camera;
        }
        lowMax = std::max(lowMax, view.low);
        highMin = std::min(highMin, view.high);
    }
    low.spread = lowMax - lowest;
    high.spread = highest - highMin;
    if (range.GetStartPosition() <= range.GetEndPosition()) {
        return {low, high};
    }
    return {high, low};
}

// Adds the view's range to views when the library found one; a segment's range of (0, 0) is its
// sign that no end of the view could be carried onto the axis.
void AddView(std::size_t camera, const CRange& range, std::vector<ViewEnds>& views) {
    const double start = range.GetStartPosition();
    const double end = range.GetEndPosition();
    if (start == 0.0 && end == 0.0) {
        return;
    }
    views.push_back({camera, std::min(start, end), std::max(start, end)});
}

// The segment of the picks with the ends of each view; as ReconstructSegment otherwise.
bool SegmentFromPicks(const std::vector<CCamera>& cameras,
                      const std::vector<SegmentPick>& picks,
                      Extent extent,
                      C3DLineSegment& segment,
                      std::vector<ViewEnds>& views,
                      std::string& reason) {
    C1DArray<SImageLine> observations;
    C3DLine line;
    if (!LineFromPicks(cameras, picks, "segment", observations, line, reason)) {
        return false;
    }
    C3DLineSegment made;
    made.Set3DLineSegment(line.Get3DAxis(), CRange(), true, false);
    made.CalcRange(observations);
    // Each view alone, as the library carries its ends in the union above.
    std::vector<ViewEnds> found;
    C1DArray<SImageLine> one;
    if (!Resize(one, 1)) {
        reason = kOutOfMemory;
        return false;
    }
    for (std::size_t i = 0; i < picks.size(); ++i) {
        one[0] = observations[static_cast<int>(i)];
        C3DLineSegment view(made);
        view.CalcRange(one);
        AddView(picks[i].camera, view.GetRange(), found);
    }
    if (extent == Extent::kMedian && !found.empty()) {
        made.Set3DLineSegment(made.GetAxis(), MedianRange(found, made.GetRange()), false, true);
    }
    C3DCoordinate ends[2];
    made.GetEndPoint3D(ends);
    if (!IsFinite(ends[0]) || !IsFinite(ends[1])) {
        reason = "the picked segments give no finite end points";
        return false;
    }
    if (!(made.GetRange().GetLength() > 0.0)) {
        reason = "no picked end point could be carried onto the line: length 0";
        return false;
    }
    // Viewing planes do not tell front from back: picks can fix a segment wholly behind the
    // cameras, which none of them can have seen.
    for (const SegmentPick& pick : picks) {
        C2DLineSegment image;
        if (!made.Reproject(cameras[pick.camera].GetCameraParam(), image, nullptr, nullptr)) {
            reason =
                "the segment lies behind a camera that saw it: the picked segments are not of one "
                "segment";
            return false;
        }
    }
    segment = made;
    views = std::move(found);
    return true;
}

// The cylinder of the picks with the ends of each view; as ReconstructCylinder otherwise.
bool CylinderFromPicks(const std::vector<CCamera>& cameras,
                       const std::vector<EdgePick>& picks,
                       CylinderMethod method,
                       Extent extent,
                       C3DCylinder& cylinder,
                       std::vector<ViewEnds>& views,
                       std::string& reason) {
    reason = CheckCameraIndices(cameras, picks);
    if (!reason.empty()) {
        return false;
    }
    std::vector<const EdgePick*> seen;
    for (const EdgePick& pick : picks) {
        if (SawEdge(pick)) {
            seen.push_back(&pick);
        }
    }
    C1DArray<SImageCylinder> observations;
    if (!Resize(observations, seen.size())) {
        reason = kOutOfMemory;
        return false;
    }
    int edgeCount = 0;
    int bothEdges = 0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        SImageCylinder& observation = observations[static_cast<int>(i)];
        const CCamera& camera = cameras[seen[i]->camera];
        observation.cameraParam = camera.GetCameraParam();
        for (int slot = 0; slot < 2; ++slot) {
            const std::optional<PixelSegment>& edge = seen[i]->edges[slot];
            if (!edge) {
                // An edge of length 0 counts as not seen.
                observation.edgeSegment[slot].SetEndPoints(C2DCoordinate(0.0, 0.0),
                                                           C2DCoordinate(0.0, 0.0));
                continue;
            }
            C2DCoordinate start;
            C2DCoordinate end;
            if (Coincide(*edge)) {
                reason = "a picked edge's ends coincide, so it shows no silhouette";
                return false;
            }
            if (!ToIdeal(camera, edge->start, start) || !ToIdeal(camera, edge->end, end)) {
                reason = kPickNotIdeal;
                return false;
            }
            observation.edgeSegment[slot] = C2DLineSegment(start, end);
            ++edgeCount;
        }
        bothEdges += (seen[i]->edges[0] && seen[i]->edges[1]) ? 1 : 0;
    }
    const bool tangentPlanes = method == CylinderMethod::kTangentPlanes;
    reason = TooFewCameras(seen.size(), "cylinder");
    if (!reason.empty()) {
        return false;
    }
    if (tangentPlanes && edgeCount < 3) {
        reason = "fewer than three silhouette edges picked; the tangent-plane method needs three";
        return false;
    }
    if (!tangentPlanes && bothEdges < 2) {
        reason = "the centre-line method needs both edges in at least two cameras";
        return false;
    }
    C3DCylinder made;
    if (!made.CreateFromImageCylinder(observations, tangentPlanes)) {
        reason = tangentPlanes
                     ? "the tangent planes of the edges do not fix an axis: the cameras see the "
                       "cylinder from too similar directions, or the edges do not belong to one "
                       "cylinder"
                     : "the centre lines do not fix an axis (viewing planes nearly parallel), or "
                       "no edge gives a radius";
        return false;
    }
    // Each view alone, as the library carries its edges' ends in the union above.
    std::vector<ViewEnds> found;
    C1DArray<SImageCylinder> one;
    if (!Resize(one, 1)) {
        reason = kOutOfMemory;
        return false;
    }
    for (std::size_t i = 0; i < seen.size(); ++i) {
        one[0] = observations[static_cast<int>(i)];
        C3DCylinder view(made);
        if (view.CalcRange(one)) {
            AddView(seen[i]->camera, view.GetRange(), found);
        }
    }
    if (extent == Extent::kMedian && !found.empty()) {
        made.Set3DCylinder(made.GetAxis(),
                           MedianRange(found, made.GetRange()),
                           made.GetRadius(),
                           false,
                           true,
                           false);
    }
    C3DCoordinate ends[2];
    if (!made.GetEndPoint3D(ends[0], ends[1])) {
        reason = "the reconstruction gave an axis through the origin or a radius of 0";
        return false;
    }
    if (!IsFinite(ends[0]) || !IsFinite(ends[1]) || !std::isfinite(made.GetRadius())) {
        reason = "the picked edges give no finite cylinder";
        return false;
    }
    // Tangent planes and centre lines do not tell front from back either.
    const C3DLineSegment axis(made.GetAxis(), made.GetRange());
    for (const EdgePick* pick : seen) {
        C2DLineSegment image;
        if (!axis.Reproject(cameras[pick->camera].GetCameraParam(), image, nullptr, nullptr)) {
            reason =
                "the cylinder lies behind a camera that saw it: the picked edges are not of one "
                "cylinder";
            return false;
        }
    }
    cylinder = made;
    views = std::move(found);
    return true;
}

// The camera of the largest residual when it qualifies as an outlier (Outliers), else none.
std::optional<std::size_t> OutlierCamera(const std::vector<Residual>& residuals) {
    std::vector<double> pixels;
    const Residual* largest = nullptr;
    for (const Residual& residual : residuals) {
        if (!residual.ok) {
            continue;
        }
        pixels.push_back(residual.pixels);
        if (largest == nullptr || residual.pixels > largest->pixels) {
            largest = &residual;
        }
    }
    if (largest == nullptr || !(largest->pixels > kOutlierPixels) ||
        !(largest->pixels > kOutlierRatio * Median(pixels))) {
        return std::nullopt;
    }
    return largest->camera;
}

// Leaves out outlier views one at a time (Outliers): residualsOf(kept) gives the residuals of the
// shape measured last against the kept picks, remeasure(rest) measures from the rest and returns
// false, changing nothing, when they are refused. The cameras left out, in order.
template <typename Pick, typename ResidualsOf, typename Remeasure>
std::vector<std::size_t> DropOutliers(std::vector<Pick> kept,
                                      ResidualsOf residualsOf,
                                      Remeasure remeasure) {
    std::vector<std::size_t> leftOut;
    for (;;) {
        const std::optional<std::size_t> camera = OutlierCamera(residualsOf(kept));
        if (!camera) {
            break;
        }
        std::vector<Pick> rest;
        for (const Pick& pick : kept) {
            if (pick.camera != *camera) {
                rest.push_back(pick);
            }
        }
        if (!remeasure(rest)) {
            break;
        }
        kept = std::move(rest);
        leftOut.push_back(*camera);
    }
    return leftOut;
}

}  // namespace

PointTriangulator::PointTriangulator(const std::vector<CCamera>& cameras) : m_cameras(cameras) {}

bool PointTriangulator::Triangulate(const std::vector<PointPick>& picks,
                                    C3DPoint& point,
                                    std::string& reason) {
    const std::string tooFew = TooFewCameras(picks.size(), "point");
    if (!tooFew.empty()) {
        reason = tooFew;
        return false;
    }
    bool same = m_held.size() == picks.size();
    for (std::size_t i = 0; i < picks.size(); ++i) {
        if (picks[i].camera >= m_cameras.size()) {
            reason = CheckCameraIndices(m_cameras, picks);
            return false;
        }
        same = same && m_held[i] == picks[i].camera;
    }
    if (!same) {
        m_held.clear();
        if (!Resize(m_observations, picks.size())) {
            reason = kOutOfMemory;
            return false;
        }
        for (std::size_t i = 0; i < picks.size(); ++i) {
            m_observations[static_cast<int>(i)].cameraParam =
                m_cameras[picks[i].camera].GetCameraParam();
            m_held.push_back(picks[i].camera);
        }
    }
    for (std::size_t i = 0; i < picks.size(); ++i) {
        if (!ToIdeal(m_cameras[picks[i].camera],
                     picks[i].pixel,
                     m_observations[static_cast<int>(i)].imagePoint)) {
            reason = kPickNotIdeal;
            return false;
        }
    }
    C3DPoint made;
    if (!made.CreateFromImagePoints(m_observations)) {
        reason =
            "the viewing rays are (nearly) parallel: the cameras see the point from too similar "
            "directions";
        return false;
    }
    if (!IsFinite(made.GetPoint())) {
        reason = "the picks give no finite point";
        return false;
    }
    // Rays that part meet nearest behind the cameras: no camera can have seen that point.
    for (const PointPick& pick : picks) {
        if (!InFront(m_cameras[pick.camera], made.GetPoint())) {
            reason =
                "the viewing rays meet behind a camera that saw the point: the picks are not of "
                "one point";
            return false;
        }
    }
    point = made;
    return true;
}

PointMeasurement MeasurePoint(const std::vector<CCamera>& cameras,
                              const std::vector<PointPick>& picks,
                              Outliers outliers) {
    PointMeasurement result;
    if (std::string reason = CheckCameraIndices(cameras, picks); !reason.empty()) {
        Fail(result, reason);
        return result;
    }
    for (const PointPick& pick : picks) {
        AddPoint(cameras, pick.camera, Role::kPick, pick.pixel, result.overlays);
    }
    PointTriangulator triangulator(cameras);
    if (!triangulator.Triangulate(picks, result.point, result.reason)) {
        return result;
    }
    if (outliers == Outliers::kDrop) {
        const auto residualsOf = [&](const std::vector<PointPick>& kept) {
            std::vector<Residual> residuals;
            for (const PointPick& pick : kept) {
                residuals.push_back(PointResidual(cameras, pick.camera, result.point, pick.pixel));
            }
            return residuals;
        };
        const auto remeasure = [&](const std::vector<PointPick>& rest) {
            PointTriangulator again(cameras);
            std::string reason;
            return again.Triangulate(rest, result.point, reason);
        };
        result.leftOut = DropOutliers(picks, residualsOf, remeasure);
    }
    result.ok = true;
    for (const PointPick& pick : picks) {
        result.residuals.push_back(PointResidual(cameras, pick.camera, result.point, pick.pixel));
    }
    for (std::size_t camera = 0; camera < cameras.size(); ++camera) {
        Pixel image;
        if (ProjectPoint(cameras[camera], result.point, image)) {
            AddPoint(cameras, camera, Role::kPoint, image, result.overlays);
        }
    }
    return result;
}

bool ReconstructLine(const std::vector<CCamera>& cameras,
                     const std::vector<SegmentPick>& picks,
                     C3DLine& line,
                     std::string& reason) {
    C1DArray<SImageLine> observations;
    return LineFromPicks(cameras, picks, "line", observations, line, reason);
}

LineMeasurement MeasureLine(const std::vector<CCamera>& cameras,
                            const std::vector<SegmentPick>& picks,
                            Outliers outliers) {
    LineMeasurement result;
    if (std::string reason = CheckCameraIndices(cameras, picks); !reason.empty()) {
        Fail(result, reason);
        return result;
    }
    for (const SegmentPick& pick : picks) {
        AddPickedSegment(cameras, pick.camera, pick.segment, result.overlays);
    }
    if (!ReconstructLine(cameras, picks, result.line, result.reason)) {
        return result;
    }
    if (outliers == Outliers::kDrop) {
        const auto residualsOf = [&](const std::vector<SegmentPick>& kept) {
            std::vector<Residual> residuals;
            for (const SegmentPick& pick : kept) {
                residuals.push_back(LineResidual(cameras, pick.camera, result.line, pick.segment));
            }
            return residuals;
        };
        const auto remeasure = [&](const std::vector<SegmentPick>& rest) {
            std::string reason;
            return ReconstructLine(cameras, rest, result.line, reason);
        };
        result.leftOut = DropOutliers(picks, residualsOf, remeasure);
    }
    result.ok = true;
    for (const SegmentPick& pick : picks) {
        result.residuals.push_back(LineResidual(cameras, pick.camera, result.line, pick.segment));
    }
    // The image line across the photo (through a lens, a curve).
    for (std::size_t camera = 0; camera < cameras.size(); ++camera) {
        C2DLine image;
        if (ImageLine(cameras[camera], result.line, image)) {
            AddPieces(camera,
                      Role::kLine,
                      ObservedLinePolylines(cameras[camera], image),
                      result.overlays);
        }
    }
    return result;
}

bool ReconstructSegment(const std::vector<CCamera>& cameras,
                        const std::vector<SegmentPick>& picks,
                        C3DLineSegment& segment,
                        std::string& reason,
                        Extent extent) {
    std::vector<ViewEnds> views;
    return SegmentFromPicks(cameras, picks, extent, segment, views, reason);
}

SegmentMeasurement MeasureSegment(const std::vector<CCamera>& cameras,
                                  const std::vector<SegmentPick>& picks,
                                  Extent extent,
                                  Outliers outliers) {
    SegmentMeasurement result;
    if (std::string reason = CheckCameraIndices(cameras, picks); !reason.empty()) {
        Fail(result, reason);
        return result;
    }
    for (const SegmentPick& pick : picks) {
        AddPickedSegment(cameras, pick.camera, pick.segment, result.overlays);
    }
    std::vector<ViewEnds> views;
    if (!SegmentFromPicks(cameras, picks, extent, result.segment, views, result.reason)) {
        return result;
    }
    if (outliers == Outliers::kDrop) {
        const auto residualsOf = [&](const std::vector<SegmentPick>& kept) {
            std::vector<Residual> residuals;
            for (const SegmentPick& pick : kept) {
                residuals.push_back(
                    SegmentResidual(cameras, pick.camera, result.segment, pick.segment));
            }
            return residuals;
        };
        const auto remeasure = [&](const std::vector<SegmentPick>& rest) {
            std::string reason;
            return SegmentFromPicks(cameras, rest, extent, result.segment, views, reason);
        };
        result.leftOut = DropOutliers(picks, residualsOf, remeasure);
    }
    result.ok = true;
    result.ends = Spreads(views, result.segment.GetRange());
    for (const SegmentPick& pick : picks) {
        result.residuals.push_back(
            SegmentResidual(cameras, pick.camera, result.segment, pick.segment));
    }
    for (std::size_t camera = 0; camera < cameras.size(); ++camera) {
        C2DLineSegment image;
        if (result.segment.Reproject(cameras[camera].GetCameraParam(), image, nullptr, nullptr)) {
            AddPieces(
                camera, Role::kSegment, ObservedPolylines(cameras[camera], image), result.overlays);
        }
    }
    return result;
}

bool ReconstructCylinder(const std::vector<CCamera>& cameras,
                         const std::vector<EdgePick>& picks,
                         CylinderMethod method,
                         C3DCylinder& cylinder,
                         std::string& reason,
                         Extent extent) {
    std::vector<ViewEnds> views;
    return CylinderFromPicks(cameras, picks, method, extent, cylinder, views, reason);
}

CylinderMeasurement MeasureCylinder(const std::vector<CCamera>& cameras,
                                    const std::vector<EdgePick>& picks,
                                    CylinderMethod method,
                                    Extent extent,
                                    Outliers outliers) {
    CylinderMeasurement result;
    if (std::string reason = CheckCameraIndices(cameras, picks); !reason.empty()) {
        Fail(result, reason);
        return result;
    }
    for (const EdgePick& pick : picks) {
        for (const auto& edge : pick.edges) {
            if (edge) {
                AddPickedSegment(cameras, pick.camera, *edge, result.overlays);
            }
        }
    }
    std::vector<ViewEnds> views;
    if (!CylinderFromPicks(cameras, picks, method, extent, result.cylinder, views, result.reason)) {
        return result;
    }
    if (outliers == Outliers::kDrop) {
        const auto residualsOf = [&](const std::vector<EdgePick>& kept) {
            std::vector<Residual> residuals;
            for (const EdgePick& pick : kept) {
                if (SawEdge(pick)) {
                    residuals.push_back(
                        CylinderResidual(cameras, pick.camera, result.cylinder, pick.edges));
                }
            }
            return residuals;
        };
        const auto remeasure = [&](const std::vector<EdgePick>& rest) {
            std::string reason;
            return CylinderFromPicks(cameras, rest, method, extent, result.cylinder, views, reason);
        };
        result.leftOut = DropOutliers(picks, residualsOf, remeasure);
    }
    result.ok = true;
    result.ends = Spreads(views, result.cylinder.GetRange());
    for (const EdgePick& pick : picks) {
        if (!SawEdge(pick)) {
            continue;
        }
        bool reversed = false;
        result.residuals.push_back(
            CylinderResidual(cameras, pick.camera, result.cylinder, pick.edges, &reversed));
        if (reversed) {
            result.reversedLoneEdges.push_back(pick.camera);
        }
    }
    for (std::size_t camera = 0; camera < cameras.size(); ++camera) {
        C2DLineSegment centre;
        C2DLineSegment edges[2];
        if (result.cylinder.Reproject(
                cameras[camera].GetCameraParam(), centre, edges, nullptr, nullptr, nullptr)) {
            for (const C2DLineSegment& edge : edges) {
                AddPieces(camera,
                          Role::kSilhouette,
                          ObservedPolylines(cameras[camera], edge),
                          result.overlays);
            }
            AddPieces(camera,
                      Role::kCentreLine,
                      ObservedPolylines(cameras[camera], centre),
                      result.overlays);
        }
    }
    return result;
}

bool FitPlane(const std::vector<Point3>& points, C3DPlane& plane, std::string& reason) {
    if (points.size() < 3) {
        reason = "fewer than three points (" + std::to_string(points.size()) +
                 " usable); a plane needs three";
        return false;
    }
    // The fit of nearly collinear points is exact along their line and arbitrary about it: its
    // rms distance is 0 however far the normal turns, so their spread decides.
    std::vector<double> xyz;
    for (const Point3& point : points) {
        xyz.insert(xyz.end(), point.begin(), point.end());
    }
    const PlaneConditioning conditioning = JudgePlanePoints(xyz.data(), points.size());
    if (!conditioning.ok) {
        reason = conditioning.reason;
        return false;
    }
    C1DArray<C3DCoordinate> coordinates;
    if (!Resize(coordinates, points.size())) {
        reason = kOutOfMemory;
        return false;
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        coordinates[static_cast<int>(i)] = C3DCoordinate(points[i][0], points[i][1], points[i][2]);
    }
    C3DPlane made;
    if (!made.SetApproximationPlane(coordinates)) {
        reason = "the points do not fix a plane";
        return false;
    }
    double coefficients[4];
    made.GetPlaneParam(coefficients);
    for (const double value : coefficients) {
        if (!std::isfinite(value)) {
            reason = "the points do not fix a plane (they lie on a line)";
            return false;
        }
    }
    plane = made;
    return true;
}

PlaneMeasurement MeasurePlane(const std::vector<CCamera>& cameras,
                              const std::vector<Point3>& points) {
    PlaneMeasurement result;
    if (!FitPlane(points, result.plane, result.reason)) {
        return result;
    }
    result.ok = true;
    result.plane.GetPlaneParam(result.coefficients.data());
    result.pointCount = static_cast<int>(points.size());
    double sum = 0.0;
    for (const Point3& point : points) {
        C3DCoordinate foot;
        const double distance =
            result.plane.GetDistance(C3DCoordinate(point[0], point[1], point[2]), foot);
        sum += distance * distance;
        result.maxDistance = std::max(result.maxDistance, distance);
    }
    result.rmsDistance = std::sqrt(sum / static_cast<double>(points.size()));
    // The outline through the points, in the order given, where all of them are in front.
    for (std::size_t camera = 0; camera < cameras.size(); ++camera) {
        Overlay outline{camera, Role::kPlane, {}, true, false};
        if (cameras[camera].GetLensModel().IsNone()) {
            for (const Point3& point : points) {
                Pixel image;
                if (!ProjectPoint(cameras[camera],
                                  C3DPoint(C3DCoordinate(point[0], point[1], point[2])),
                                  image)) {
                    outline.points.clear();
                    break;
                }
                outline.points.push_back(image);
            }
        } else {
            outline.points = CurvedOutline(cameras[camera], points);
        }
        if (!outline.points.empty()) {
            result.overlays.push_back(std::move(outline));
        }
    }
    return result;
}

std::string FitCurve(const std::vector<Pixel>& picks,
                     const CurveOptions& options,
                     std::vector<Pixel>& samples) {
    samples.clear();
    if (options.sampleCount < 1) {
        return "the sample count must be at least 1";
    }
    C1DArray<C2DCoordinate> points;
    C1DArray<C2DCoordinate> fitted;
    if (!Resize(points, picks.size()) ||
        !Resize(fitted, static_cast<std::size_t>(options.sampleCount))) {
        return kOutOfMemory;
    }
    for (std::size_t i = 0; i < picks.size(); ++i) {
        points[static_cast<int>(i)] = Coordinate(picks[i]);
    }
    switch (C2DBSpline::GetSamplePoint(points, options.interval, fitted, options.interpolate)) {
        case NoError:
            break;
        case CurveParamError:
            return "fewer than two distinct picks (a pick within 2 px of the one before it is "
                   "dropped)";
        case KnotVectorError:
            return "the interval gives exactly 3 control points; choose another interval";
        case IntervalError:
            return "the interval must be greater than 0";
        case ControlPointError:
            return "the interval gives fewer than 4 control points or more than there are picks; "
                   "choose an interval that fits the curve's length";
    }
    std::vector<Pixel> made;
    for (int i = 0; i < fitted.GetSize(); ++i) {
        const Pixel sample{fitted[i].GetData(0), fitted[i].GetData(1)};
        if (!std::isfinite(sample.x) || !std::isfinite(sample.y)) {
            return "the fit gave no finite samples";
        }
        made.push_back(sample);
    }
    samples = std::move(made);
    return std::string();
}

CurveMeasurement MeasureCurve(const std::vector<CCamera>& cameras,
                              std::size_t camera,
                              const std::vector<Pixel>& picks,
                              const CurveOptions& options) {
    CurveMeasurement result;
    if (camera >= cameras.size()) {
        Fail(result,
             "the curve names camera " + std::to_string(camera) + ", but there are " +
                 std::to_string(cameras.size()) + " cameras");
        return result;
    }
    const bool drawable = std::all_of(picks.begin(), picks.end(), [](const Pixel& pick) {
        return std::isfinite(pick.x) && std::isfinite(pick.y);
    });
    if (!picks.empty() && drawable) {
        result.overlays.push_back({camera, Role::kPick, picks, false, true});
    }
    if (std::string reason = FitCurve(picks, options, result.samples); !reason.empty()) {
        Fail(result, reason);
        return result;
    }
    result.ok = true;
    Residual residual;
    residual.camera = camera;
    residual.ok = true;
    residual.pixels = MaxDistanceToPolyline(picks, result.samples);
    result.residuals.push_back(residual);
    result.overlays.push_back({camera, Role::kCurve, result.samples, false, true});
    return result;
}

std::string ReversedLoneEdgeNote(const std::string& cameraName) {
    return "warning: the edge seen alone in " + cameraName +
           " runs against the documented direction (the measured cylinder lies on its right, not "
           "its left): the other images disagree with it and the axis may be off; reverse the "
           "edge, or pick both edges there";
}

}  // namespace core
