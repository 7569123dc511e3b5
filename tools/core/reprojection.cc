#include "core/reprojection.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace core {

namespace {

C2DCoordinate Coordinate(const Pixel& pixel) {
    return C2DCoordinate(pixel.x, pixel.y);
}

C2DLineSegment Segment(const PixelSegment& segment) {
    return C2DLineSegment(Coordinate(segment.start), Coordinate(segment.end));
}

bool IsFinite(const Pixel& pixel) {
    return std::isfinite(pixel.x) && std::isfinite(pixel.y);
}

// The observed segment of an ideal one, end by end; false when an end has none.
bool ToObserved(const CCamera& camera, const C2DLineSegment& ideal, PixelSegment& observed) {
    C2DCoordinate start;
    C2DCoordinate end;
    ideal.GetEndPoints(start, end);
    PixelSegment mapped;
    if (!ToObserved(camera, start, mapped.start) || !ToObserved(camera, end, mapped.end)) {
        return false;
    }
    observed = mapped;
    return true;
}

// The larger distance of the two points from the line; negative when the line is degenerate or a
// distance is not finite.
double LargerDistance(const C2DLine& line, const PixelSegment& points) {
    const double first = line.GetDistance(Coordinate(points.start));
    const double second = line.GetDistance(Coordinate(points.end));
    if (!(first >= 0.0) || !(second >= 0.0)) {
        return -1.0;
    }
    return std::max(first, second);
}

// Whether the image of the axis (its midpoint) lies on the left of an edge seen alone, as seen on
// the screen (y down) walking from the edge's first point to its second: the side on which the
// edge's direction puts the cylinder. An axis on the edge's line counts as agreeing.
bool LoneEdgeAgrees(const PixelSegment& edge, const PixelSegment& axis) {
    const double dx = edge.end.x - edge.start.x;
    const double dy = edge.end.y - edge.start.y;
    const double mx = 0.5 * (axis.start.x + axis.end.x) - edge.start.x;
    const double my = 0.5 * (axis.start.y + axis.end.y) - edge.start.y;
    return !(mx * dy - my * dx < 0.0);  // left of (dx, dy) with y down is along (dy, -dx)
}

Residual Unavailable(std::size_t camera, const char* note) {
    Residual residual;
    residual.camera = camera;
    residual.note = note;
    return residual;
}

Residual Available(std::size_t camera, double pixels) {
    Residual residual;
    residual.camera = camera;
    residual.ok = true;
    residual.pixels = pixels;
    return residual;
}

}  // namespace

const char* RoleName(Role role) {
    switch (role) {
        case Role::kPick:
            return "pick";
        case Role::kPoint:
            return "point";
        case Role::kLine:
            return "line";
        case Role::kSegment:
            return "segment";
        case Role::kSilhouette:
            return "silhouette";
        case Role::kCentreLine:
            return "centre_line";
        case Role::kCurve:
            return "curve";
        case Role::kPlane:
            return "plane";
    }
    return "pick";
}

bool ToIdeal(const CCamera& camera, const Pixel& observed, C2DCoordinate& ideal) {
    return camera.ToIdealPixel(Coordinate(observed), ideal);
}

bool ToObserved(const CCamera& camera, const C2DCoordinate& ideal, Pixel& observed) {
    C2DCoordinate mapped;
    if (!camera.FromIdealPixel(ideal, mapped)) {
        return false;
    }
    observed = {mapped.GetData(0), mapped.GetData(1)};
    return true;
}

bool ProjectPoint(const CCamera& camera, const C3DPoint& point, Pixel& image) {
    C2DCoordinate ideal;
    if (!point.Reproject(camera.GetCameraParam(), ideal, nullptr, nullptr)) {
        return false;
    }
    return ToObserved(camera, ideal, image);
}

bool ImageLine(const CCamera& camera, const C3DLine& line, C2DLine& image) {
    C2DLine ideal;
    line.Reproject(camera.GetCameraParam(), ideal);
    double params[3];
    ideal.GetLineParams(params);
    if (!std::isfinite(params[0]) || !std::isfinite(params[1]) || !std::isfinite(params[2]) ||
        (params[0] == 0.0 && params[1] == 0.0)) {
        return false;  // the line runs through the camera centre
    }
    image = ideal;
    return true;
}

bool ImageSegment(const CCamera& camera, const C3DLineSegment& segment, PixelSegment& image) {
    C2DLineSegment ideal;
    if (!segment.Reproject(camera.GetCameraParam(), ideal, nullptr, nullptr)) {
        return false;
    }
    return ToObserved(camera, ideal, image);
}

bool ImageCylinder(const CCamera& camera, const C3DCylinder& cylinder, CylinderImage& image) {
    C2DLineSegment centre;
    C2DLineSegment edges[2];
    if (!cylinder.Reproject(camera.GetCameraParam(), centre, edges, nullptr, nullptr, nullptr)) {
        return false;
    }
    CylinderImage mapped;
    if (!ToObserved(camera, edges[0], mapped.edges[0]) ||
        !ToObserved(camera, edges[1], mapped.edges[1]) ||
        !ToObserved(camera, centre, mapped.centre)) {
        return false;
    }
    image = mapped;
    return true;
}

Residual PointResidual(const std::vector<CCamera>& cameras,
                       std::size_t camera,
                       const C3DPoint& point,
                       const Pixel& pick) {
    Pixel image;
    if (!ProjectPoint(cameras[camera], point, image)) {
        return Unavailable(camera, "the point lies behind the camera");
    }
    const double pixels = (Coordinate(image) - Coordinate(pick)).GetNorm();
    if (!(pixels >= 0.0)) {
        return Unavailable(camera, "the point lies behind the camera");
    }
    return Available(camera, pixels);
}

// The image line is the ideal one: the map of today's cameras is the identity, so the distance is
// the same in observed pixels. A lens model makes the image a curve, and this the distance from it.
Residual LineResidual(const std::vector<CCamera>& cameras,
                      std::size_t camera,
                      const C3DLine& line,
                      const PixelSegment& pick) {
    C2DLine image;
    const double pixels =
        ImageLine(cameras[camera], line, image) ? LargerDistance(image, pick) : -1.0;
    if (!(pixels >= 0.0)) {
        return Unavailable(camera, "the line passes through the camera centre");
    }
    return Available(camera, pixels);
}

Residual SegmentResidual(const std::vector<CCamera>& cameras,
                         std::size_t camera,
                         const C3DLineSegment& segment,
                         const PixelSegment& pick) {
    PixelSegment image;
    const double pixels = ImageSegment(cameras[camera], segment, image)
                              ? LargerDistance(C2DLine(Segment(image)), pick)
                              : -1.0;
    if (!(pixels >= 0.0)) {
        return Unavailable(camera, "the segment lies behind the camera");
    }
    return Available(camera, pixels);
}

Residual CylinderResidual(const std::vector<CCamera>& cameras,
                          std::size_t camera,
                          const C3DCylinder& cylinder,
                          const std::array<std::optional<PixelSegment>, 2>& edges,
                          bool* loneEdgeReversed) {
    const char* const kNoSilhouette =
        "no silhouette in this camera (camera inside the cylinder or on its axis)";
    CylinderImage image;
    if ((!edges[0] && !edges[1]) || !ImageCylinder(cameras[camera], cylinder, image)) {
        return Unavailable(camera, kNoSilhouette);
    }
    const C2DLine line0(Segment(image.edges[0]));
    const C2DLine line1(Segment(image.edges[1]));
    double pixels = -1.0;
    if (edges[0] && edges[1]) {
        // Two ends on one edge and two on the other, in an unknown pairing: the pairing with the
        // smaller sum of distances counts, a tie going to the swapped one.
        const C2DCoordinate seen[4] = {Coordinate(edges[0]->start),
                                       Coordinate(edges[0]->end),
                                       Coordinate(edges[1]->start),
                                       Coordinate(edges[1]->end)};
        const double direct = (line0.GetDistance(seen[0]) + line0.GetDistance(seen[1])) +
                              (line1.GetDistance(seen[2]) + line1.GetDistance(seen[3]));
        const double swapped = (line0.GetDistance(seen[2]) + line0.GetDistance(seen[3])) +
                               (line1.GetDistance(seen[0]) + line1.GetDistance(seen[1]));
        const int first = (swapped <= direct) ? 2 : 0;  // the picked ends on silhouette 0
        const int second = 2 - first;
        const double distances[4] = {line0.GetDistance(seen[first]),
                                     line0.GetDistance(seen[first + 1]),
                                     line1.GetDistance(seen[second]),
                                     line1.GetDistance(seen[second + 1])};
        pixels = distances[0];
        for (int i = 1; i < 4; ++i) {
            if (distances[i] > pixels) {
                pixels = distances[i];
            }
        }
        if (!(std::min({distances[0], distances[1], distances[2], distances[3]}) >= 0.0)) {
            pixels = -1.0;  // a degenerate silhouette line
        }
    } else {
        // One edge: its distance from the nearer of the two silhouettes.
        const PixelSegment& seen = edges[0] ? *edges[0] : *edges[1];
        if (loneEdgeReversed != nullptr) {
            *loneEdgeReversed = !LoneEdgeAgrees(seen, image.centre);
        }
        double best = std::numeric_limits<double>::infinity();
        for (const C2DLine* silhouette : {&line0, &line1}) {
            const double distance = LargerDistance(*silhouette, seen);
            if (distance >= 0.0) {
                best = std::min(best, distance);
            }
        }
        pixels = std::isfinite(best) ? best : -1.0;
    }
    if (!(pixels >= 0.0)) {
        return Unavailable(camera, kNoSilhouette);
    }
    return Available(camera, pixels);
}

std::vector<Polyline> ObservedPolylines(const CCamera& camera, const C2DLineSegment& ideal) {
    PixelSegment ends;
    if (!ToObserved(camera, ideal, ends)) {
        return {};
    }
    return ClipPolyline({ends.start, ends.end}, camera);
}

bool ClipToImage(const PixelSegment& segment, const CCamera& camera, PixelSegment& clipped) {
    if (!IsFinite(segment.start) || !IsFinite(segment.end)) {
        return false;
    }
    if (camera.Contains(Coordinate(segment.start)) && camera.Contains(Coordinate(segment.end))) {
        clipped = segment;
        return true;
    }
    const double dx = segment.end.x - segment.start.x;
    const double dy = segment.end.y - segment.start.y;
    const double lengthSquared = dx * dx + dy * dy;
    if (lengthSquared == 0.0) {
        return false;
    }
    // Where the segment's line crosses the photo, then the overlap of the two stretches.
    const C2DLineSegment chord =
        C2DLine(Segment(segment)).GetLineSegment(0.0, 0.0, camera.GetWidth(), camera.GetHeight());
    C2DCoordinate crossingStart;
    C2DCoordinate crossingEnd;
    chord.GetEndPoints(crossingStart, crossingEnd);
    const Pixel in = {crossingStart.GetData(0), crossingStart.GetData(1)};
    const Pixel out = {crossingEnd.GetData(0), crossingEnd.GetData(1)};
    if (in.x == 0.0 && in.y == 0.0 && out.x == 0.0 && out.y == 1.0) {
        return false;  // the line misses the photo (the library's "no clip" segment)
    }
    const double t0 =
        ((in.x - segment.start.x) * dx + (in.y - segment.start.y) * dy) / lengthSquared;
    const double t1 =
        ((out.x - segment.start.x) * dx + (out.y - segment.start.y) * dy) / lengthSquared;
    const double low = std::max(0.0, std::min(t0, t1));
    const double high = std::min(1.0, std::max(t0, t1));
    if (!(low < high)) {
        return false;
    }
    clipped = {{segment.start.x + low * dx, segment.start.y + low * dy},
               {segment.start.x + high * dx, segment.start.y + high * dy}};
    return true;
}

std::vector<Polyline> ClipPolyline(const Polyline& polyline, const CCamera& camera) {
    std::vector<Polyline> pieces;
    bool joined = false;  // whether the last piece ends where the next one may continue
    for (std::size_t i = 0; i + 1 < polyline.size(); ++i) {
        PixelSegment clipped;
        if (!ClipToImage({polyline[i], polyline[i + 1]}, camera, clipped)) {
            joined = false;
            continue;
        }
        const bool continues = joined && clipped.start.x == pieces.back().back().x &&
                               clipped.start.y == pieces.back().back().y;
        if (continues) {
            pieces.back().push_back(clipped.end);
        } else {
            pieces.push_back({clipped.start, clipped.end});
        }
        // A piece that ends inside the photo at the polyline's own point goes on with the next.
        joined = clipped.end.x == polyline[i + 1].x && clipped.end.y == polyline[i + 1].y;
    }
    return pieces;
}

double MaxDistanceToPolyline(const std::vector<Pixel>& points, const Polyline& polyline) {
    double worst = 0.0;
    for (const Pixel& point : points) {
        double best = std::numeric_limits<double>::infinity();
        if (polyline.size() == 1) {
            best = std::hypot(point.x - polyline[0].x, point.y - polyline[0].y);
        }
        for (std::size_t i = 0; i + 1 < polyline.size(); ++i) {
            const Pixel& a = polyline[i];
            const Pixel& b = polyline[i + 1];
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

}  // namespace core
