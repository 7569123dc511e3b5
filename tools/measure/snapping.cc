#include "measure/snapping.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "measure/format.h"

namespace measure {

namespace {

CGrayImage View(const GrayPhoto& photo) {
    return CGrayImage(photo.samples.data(), photo.width, photo.height, photo.width);
}

C2DCoordinate Coordinate(const Vec2& point) {
    return C2DCoordinate(point.x, point.y);
}

Vec2 FromCoordinate(const C2DCoordinate& point) {
    return {point.GetData(0), point.GetData(1)};
}

double Distance(const Vec2& a, const Vec2& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

std::string Pixels(double value) {
    return FormatNumber("%.2f", value) + " px";
}

// Whether the camera's photo pixels are its ideal pinhole's, so that straight edges stay straight.
bool Straight(const CCamera& camera) {
    const CLensModel& lens = camera.GetLensModel();
    return lens.IsNone() || lens.IsSquarePinhole();
}

// The foot of point on line a x + b y + c = 0.
C2DCoordinate Foot(const C2DLine& line, const C2DCoordinate& point) {
    double abc[3];
    line.GetLineParams(abc);
    const double normSquared = abc[0] * abc[0] + abc[1] * abc[1];
    const double offset =
        (abc[0] * point.GetData(0) + abc[1] * point.GetData(1) + abc[2]) / normSquared;
    return C2DCoordinate(point.GetData(0) - offset * abc[0], point.GetData(1) - offset * abc[1]);
}

// The edge through a lens: stations along the lens's image of the picked segment, edge points
// undistorted and fitted in ideal pixels, the feet of the picked ends mapped back.
Snap SnapCurvedEdge(const CCamera& camera, const CGrayImage& image, const Segment2& segment) {
    const std::vector<Vec2> picks{segment.start, segment.end};
    const CPickRefiner::SEdgeOptions options;
    C2DCoordinate idealStart;
    C2DCoordinate idealEnd;
    if (!camera.ToIdealPixel(Coordinate(segment.start), idealStart) ||
        !camera.ToIdealPixel(Coordinate(segment.end), idealEnd)) {
        return RefusedSnap(picks, "the lens does not map the picked ends to ideal pixels");
    }
    const double pickedLength = Distance(segment.start, segment.end);
    const double idealLength = (idealEnd - idealStart).GetNorm();
    if (!(pickedLength > 0.0) || !(idealLength > 0.0) || !std::isfinite(idealLength)) {
        return RefusedSnap(picks, "the picked segment has no length");
    }
    // Stations about a step apart in the photo: the ideal segment sampled evenly, each sample
    // mapped through the lens, the normal across the curve from the neighbouring samples.
    const int count = std::max(2, static_cast<int>(std::floor(pickedLength / options.step)) + 1);
    std::vector<C2DCoordinate> curve;
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / (count - 1);
        C2DCoordinate observed;
        const C2DCoordinate ideal(idealStart + (idealEnd - idealStart) * t, WorldCoordinateSystem);
        if (camera.FromIdealPixel(ideal, observed)) {
            curve.push_back(observed);
        }
    }
    C1DArray<CPickRefiner::SEdgeStation> stations;
    stations.SetSize(static_cast<int>(curve.size()));
    for (std::size_t i = 0; i < curve.size() && curve.size() >= 2; ++i) {
        const C2DVector along = curve[std::min(i + 1, curve.size() - 1)] - curve[i > 0 ? i - 1 : 0];
        stations[static_cast<int>(i)].point = curve[i];
        stations[static_cast<int>(i)].normal = C2DVector(-along.GetData(1), along.GetData(0));
    }
    C1DArray<C2DCoordinate> found;
    CPickRefiner::FindEdgePoints(image, stations, options, found);
    C1DArray<C2DCoordinate> ideal;
    ideal.SetSize(found.GetSize());
    int mapped = 0;
    for (int i = 0; i < found.GetSize(); ++i) {
        C2DCoordinate point;
        if (camera.ToIdealPixel(found[i], point)) {
            ideal[mapped++] = point;
        }
    }
    ideal.SetSize(mapped);
    // The outlier distance is a photo distance: ideal pixels are scaled by the lens's local
    // magnification, taken over the picked segment.
    const double scale = idealLength / pickedLength;
    const int minimum = std::max(5, static_cast<int>(std::ceil(0.3 * count)));
    C2DLine line;
    C1DArray<C2DCoordinate> used;
    if (!CPickRefiner::FitEdgeLine(ideal, options.outlierDistance * scale, line, used) ||
        used.GetSize() < minimum) {
        return RefusedSnap(picks,
                           "no edge along the segment: " + std::to_string(used.GetSize()) + " of " +
                               std::to_string(count) + " stations found it (" +
                               std::to_string(minimum) + " needed)");
    }
    Snap snap;
    const C2DCoordinate ends[2] = {Foot(line, idealStart), Foot(line, idealEnd)};
    for (int i = 0; i < 2; ++i) {
        C2DCoordinate observed;
        if (!camera.FromIdealPixel(ends[i], observed)) {
            return RefusedSnap(picks, "the lens does not map the refined ends back into the photo");
        }
        snap.points.push_back(FromCoordinate(observed));
        snap.movements.push_back(Distance(snap.points.back(), picks[i]));
        if (!(snap.movements.back() <= options.maxMovement)) {
            return RefusedSnap(picks,
                               std::string(i == 0 ? "the start" : "the end") + " would move " +
                                   Pixels(snap.movements.back()) + ", more than " +
                                   Pixels(options.maxMovement));
        }
    }
    snap.ok = true;
    snap.support = static_cast<double>(used.GetSize()) / count;
    return snap;
}

}  // namespace

Snap RefusedSnap(std::vector<Vec2> picks, std::string reason) {
    Snap snap;
    snap.reason = std::move(reason);
    snap.movements.assign(picks.size(), 0.0);
    snap.points = std::move(picks);
    return snap;
}

Snap SnapCorner(const GrayPhoto& photo, const Vec2& pick) {
    const CPickRefiner::SCornerRefinement refined =
        CPickRefiner::RefineCorner(View(photo), Coordinate(pick));
    if (!refined.ok) {
        return RefusedSnap({pick}, refined.reason);
    }
    Snap snap;
    snap.ok = true;
    snap.points = {FromCoordinate(refined.corner)};
    snap.movements = {refined.movement};
    snap.support = refined.support;
    return snap;
}

Snap SnapEdge(const CCamera& camera, const GrayPhoto& photo, const Segment2& segment) {
    const CGrayImage image = View(photo);
    if (!Straight(camera)) {
        return SnapCurvedEdge(camera, image, segment);
    }
    const CPickRefiner::SEdgeRefinement refined =
        CPickRefiner::RefineEdge(image, Coordinate(segment.start), Coordinate(segment.end));
    if (!refined.ok) {
        return RefusedSnap({segment.start, segment.end}, refined.reason);
    }
    Snap snap;
    snap.ok = true;
    snap.points = {FromCoordinate(refined.start), FromCoordinate(refined.end)};
    snap.movements = {refined.startMovement, refined.endMovement};
    snap.support = refined.support;
    return snap;
}

}  // namespace measure
