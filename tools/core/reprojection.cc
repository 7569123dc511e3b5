#include "core/reprojection.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

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

// Whether the camera maps pixels one to one (no lens): its images of straight edges are straight,
// and what it computes takes the formulas of the ideal pinhole.
bool Straight(const CCamera& camera) {
    return camera.GetLensModel().IsNone();
}

using Direction = std::array<double, 3>;

// Viewing directions in the camera frame along a great circle, cos(phi) a + sin(phi) b for phi
// from first to last (a and b orthonormal): the directions of the points of a straight edge.
struct Arc {
    Direction a{};
    Direction b{};
    double first = 0.0;
    double last = 0.0;
};

Direction Scaled(const Direction& d, double s) {
    return {d[0] * s, d[1] * s, d[2] * s};
}

double Length(const Direction& d) {
    return std::hypot(std::hypot(d[0], d[1]), d[2]);
}

// The unit viewing direction of an ideal pixel (z > 0).
Direction DirectionOf(const CCamera& camera, const C2DCoordinate& ideal) {
    const CIntrinsicParam& pinhole = camera.GetCameraParam().GetIntrinsicParam();
    const double f = pinhole.GetFocalLengthParam();
    const C2DCoordinate principal = pinhole.GetPrincipalPointParam();
    const Direction d{(ideal.GetData(0) - principal.GetData(0)) / f,
                      (ideal.GetData(1) - principal.GetData(1)) / f,
                      1.0};
    return Scaled(d, 1.0 / Length(d));
}

// The arc of the directions between the ends of an ideal segment; false when an end has none.
bool SegmentArc(const CCamera& camera, const C2DLineSegment& ideal, Arc& arc) {
    C2DCoordinate start;
    C2DCoordinate end;
    ideal.GetEndPoints(start, end);
    const Direction p = DirectionOf(camera, start);
    const Direction q = DirectionOf(camera, end);
    const double cosine = p[0] * q[0] + p[1] * q[1] + p[2] * q[2];
    const Direction across{q[0] - cosine * p[0], q[1] - cosine * p[1], q[2] - cosine * p[2]};
    const double sine = Length(across);
    if (!std::isfinite(cosine) || !std::isfinite(sine)) {
        return false;
    }
    arc.a = p;
    arc.b = sine > 0.0 ? Scaled(across, 1.0 / sine) : p;  // one direction: b is never used
    arc.first = 0.0;
    arc.last = std::atan2(sine, cosine);
    return true;
}

// The arc of all directions in front of the camera (z > 0) that see the ideal image line; false
// when the line has no such direction (its coefficients are not finite, or it is the line at
// infinity).
bool LineArc(const CCamera& camera, const C2DLine& ideal, Arc& arc) {
    const CIntrinsicParam& pinhole = camera.GetCameraParam().GetIntrinsicParam();
    const double f = pinhole.GetFocalLengthParam();
    const C2DCoordinate principal = pinhole.GetPrincipalPointParam();
    double line[3];
    ideal.GetLineParams(line);
    // a x + b y + c = 0 at x = f dx / dz + cx, y = f dy / dz + cy: the normal of the plane of
    // directions.
    Direction normal{line[0] * f,
                     line[1] * f,
                     line[0] * principal.GetData(0) + line[1] * principal.GetData(1) + line[2]};
    const double size = Length(normal);
    const double across = std::hypot(normal[0], normal[1]);
    if (!std::isfinite(size) || !(across > 0.0)) {
        return false;
    }
    normal = Scaled(normal, 1.0 / size);
    const Direction level{normal[1] / (across / size), -normal[0] / (across / size), 0.0};
    Direction rising{normal[1] * level[2] - normal[2] * level[1],
                     normal[2] * level[0] - normal[0] * level[2],
                     normal[0] * level[1] - normal[1] * level[0]};
    if (rising[2] < 0.0) {
        rising = Scaled(rising, -1.0);
    }
    // The ends themselves lie at depth 0; a microradian inside them is beyond any photo.
    constexpr double kPi = 3.14159265358979323846;
    arc = {level, rising, 1e-6, kPi - 1e-6};
    return true;
}

// A point of the observed image of an arc.
struct Sample {
    double phi = 0.0;
    bool ok = false;  // whether the direction has an observed pixel
    Pixel pixel;
};

// The observed image of an arc, sampled: the arc is cut into steps of at most kInitialStep, and a
// step is halved (at most kMaxDepth times) while the image of its middle lies farther than
// kChordTolerance from its chord, the chord is longer than kLongestChord, or the map has a pixel
// at one of its ends or its middle but not at all three (so that where the image stops is found
// closely). Steps whose image lies wholly outside the photo widened by its size on every side are
// not halved: they are never drawn nor near a pick.
class CurveSampler {
  public:
    static constexpr double kInitialStep = 3.14159265358979323846 / 64.0;
    static constexpr double kChordTolerance = 0.1;  // pixels
    static constexpr double kLongestChord = 16.0;   // pixels
    static constexpr int kMaxDepth = 24;

    CurveSampler(const CCamera& camera, const Arc& arc) : m_camera(camera), m_arc(arc) {
        const CIntrinsicParam& pinhole = camera.GetCameraParam().GetIntrinsicParam();
        m_f = pinhole.GetFocalLengthParam();
        m_principal = pinhole.GetPrincipalPointParam();
        const double margin = std::max(camera.GetWidth(), camera.GetHeight());
        m_low = {-margin, -margin};
        m_high = {camera.GetWidth() + margin, camera.GetHeight() + margin};
    }

    Sample At(double phi) const {
        Sample sample;
        sample.phi = phi;
        const double c = std::cos(phi);
        const double s = std::sin(phi);
        const Direction d{c * m_arc.a[0] + s * m_arc.b[0],
                          c * m_arc.a[1] + s * m_arc.b[1],
                          c * m_arc.a[2] + s * m_arc.b[2]};
        if (!(d[2] > 0.0)) {
            return sample;
        }
        const C2DCoordinate ideal(m_f * (d[0] / d[2]) + m_principal.GetData(0),
                                  m_f * (d[1] / d[2]) + m_principal.GetData(1));
        sample.ok = ToObserved(m_camera, ideal, sample.pixel);
        return sample;
    }

    // The samples in order of phi, from the arc's first direction to its last.
    std::vector<Sample> Samples() const {
        const double span = m_arc.last - m_arc.first;
        const int steps = std::max(1, static_cast<int>(std::ceil(span / kInitialStep)));
        std::vector<Sample> samples{At(m_arc.first)};
        for (int i = 1; i <= steps; ++i) {
            const double phi = i == steps ? m_arc.last : m_arc.first + span * i / steps;
            const Sample from = samples.back();
            Refine(from, At(phi), 0, samples);
        }
        return samples;
    }

  private:
    // Whether the three pixels' bounding box meets the widened photo.
    bool NearPhoto(const Pixel& a, const Pixel& b, const Pixel& c) const {
        return std::max({a.x, b.x, c.x}) >= m_low.x && std::min({a.x, b.x, c.x}) <= m_high.x &&
               std::max({a.y, b.y, c.y}) >= m_low.y && std::min({a.y, b.y, c.y}) <= m_high.y;
    }

    // Appends the samples after from up to and including to.
    void Refine(const Sample& from, const Sample& to, int depth, std::vector<Sample>& out) const {
        if (depth < kMaxDepth) {
            const Sample middle = At(0.5 * (from.phi + to.phi));
            bool halve = false;
            if (from.ok && to.ok) {
                halve = !middle.ok ||
                        (NearPhoto(from.pixel, to.pixel, middle.pixel) &&
                         (std::hypot(to.pixel.x - from.pixel.x, to.pixel.y - from.pixel.y) >
                              kLongestChord ||
                          MaxDistanceToPolyline({middle.pixel}, {from.pixel, to.pixel}) >
                              kChordTolerance));
            } else if (from.ok || to.ok || middle.ok) {
                const Pixel& seen = from.ok ? from.pixel : (to.ok ? to.pixel : middle.pixel);
                halve = NearPhoto(seen, seen, seen);
            }
            if (halve) {
                Refine(from, middle, depth + 1, out);
                Refine(middle, to, depth + 1, out);
                return;
            }
        }
        out.push_back(to);
    }

    const CCamera& m_camera;
    Arc m_arc;
    double m_f = 1.0;
    C2DCoordinate m_principal;
    Pixel m_low;
    Pixel m_high;
};

// The runs of samples that have pixels, as polylines (a run of one sample is one point).
std::vector<Polyline> Runs(const std::vector<Sample>& samples) {
    std::vector<Polyline> runs;
    bool open = false;
    for (const Sample& sample : samples) {
        if (!sample.ok) {
            open = false;
            continue;
        }
        if (!open) {
            runs.emplace_back();
            open = true;
        }
        runs.back().push_back(sample.pixel);
    }
    return runs;
}

// The distance of a pixel from the observed image of an arc: the chord of the samples' polyline
// nearest to it, then the arc's direction nearest to it (golden-section search over the
// neighbouring samples' stretch). Negative when the image has no pixel.
class CurveDistance {
  public:
    CurveDistance(const CCamera& camera, const Arc& arc)
        : m_sampler(camera, arc), m_samples(m_sampler.Samples()) {}

    double To(const Pixel& pixel) const {
        if (!std::isfinite(pixel.x) || !std::isfinite(pixel.y)) {
            return -1.0;
        }
        // The nearest chord between two samples with pixels, or the nearest lone sample.
        std::size_t nearest = m_samples.size();
        double nearestDistance = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < m_samples.size(); ++i) {
            if (!m_samples[i].ok) {
                continue;
            }
            const bool chord = i + 1 < m_samples.size() && m_samples[i + 1].ok;
            const double distance =
                chord ? MaxDistanceToPolyline({pixel}, {m_samples[i].pixel, m_samples[i + 1].pixel})
                      : MaxDistanceToPolyline({pixel}, {m_samples[i].pixel});
            if (distance < nearestDistance) {
                nearest = i;
                nearestDistance = distance;
            }
        }
        if (nearest == m_samples.size()) {
            return -1.0;
        }
        // The stretch from the sample before the chord to the one after it, within the run.
        std::size_t low = nearest;
        std::size_t high = nearest;
        if (low > 0 && m_samples[low - 1].ok) {
            --low;
        }
        for (int k = 0; k < 2 && high + 1 < m_samples.size() && m_samples[high + 1].ok; ++k) {
            ++high;
        }
        double best = std::numeric_limits<double>::infinity();
        for (std::size_t i = low; i <= high; ++i) {
            best = std::min(best, Squared(m_samples[i], pixel));
        }
        // Golden-section search: the squared distance has one minimum along so short a stretch.
        const double ratio = 0.5 * (std::sqrt(5.0) - 1.0);
        double a = m_samples[low].phi;
        double b = m_samples[high].phi;
        double x1 = b - ratio * (b - a);
        double x2 = a + ratio * (b - a);
        double f1 = Squared(m_sampler.At(x1), pixel);
        double f2 = Squared(m_sampler.At(x2), pixel);
        for (int i = 0; i < 100 && a < x1 && x1 < x2 && x2 < b; ++i) {
            if (f1 <= f2) {
                b = x2;
                x2 = x1;
                f2 = f1;
                x1 = b - ratio * (b - a);
                f1 = Squared(m_sampler.At(x1), pixel);
            } else {
                a = x1;
                x1 = x2;
                f1 = f2;
                x2 = a + ratio * (b - a);
                f2 = Squared(m_sampler.At(x2), pixel);
            }
        }
        best = std::min({best, f1, f2});
        return std::sqrt(best);
    }

  private:
    static double Squared(const Sample& sample, const Pixel& pixel) {
        if (!sample.ok) {
            return std::numeric_limits<double>::infinity();
        }
        const double dx = sample.pixel.x - pixel.x;
        const double dy = sample.pixel.y - pixel.y;
        return dx * dx + dy * dy;
    }

    CurveSampler m_sampler;
    std::vector<Sample> m_samples;
};

// The larger distance of the two points from the observed image of an ideal line; negative when
// the line has no image or a distance cannot be had.
double LargerCurveDistance(const CCamera& camera,
                           const C2DLine& ideal,
                           const PixelSegment& points) {
    Arc arc;
    if (!LineArc(camera, ideal, arc)) {
        return -1.0;
    }
    const CurveDistance curve(camera, arc);
    const double first = curve.To(points.start);
    const double second = curve.To(points.end);
    if (!(first >= 0.0) || !(second >= 0.0)) {
        return -1.0;
    }
    return std::max(first, second);
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

// Without a lens the image line is the ideal one, and the distance the same in observed pixels;
// through a lens the image is a curve, and the distance the one from that curve.
Residual LineResidual(const std::vector<CCamera>& cameras,
                      std::size_t camera,
                      const C3DLine& line,
                      const PixelSegment& pick) {
    C2DLine image;
    double pixels = -1.0;
    if (ImageLine(cameras[camera], line, image)) {
        pixels = Straight(cameras[camera]) ? LargerDistance(image, pick)
                                           : LargerCurveDistance(cameras[camera], image, pick);
    }
    if (!(pixels >= 0.0)) {
        return Unavailable(camera, "the line passes through the camera centre");
    }
    return Available(camera, pixels);
}

Residual SegmentResidual(const std::vector<CCamera>& cameras,
                         std::size_t camera,
                         const C3DLineSegment& segment,
                         const PixelSegment& pick) {
    const CCamera& seenBy = cameras[camera];
    double pixels = -1.0;
    PixelSegment image;
    if (Straight(seenBy)) {
        if (ImageSegment(seenBy, segment, image)) {
            pixels = LargerDistance(C2DLine(Segment(image)), pick);
        }
    } else {
        C2DLineSegment ideal;
        C2DLine line;
        if (segment.Reproject(seenBy.GetCameraParam(), ideal, nullptr, nullptr) &&
            ImageLine(seenBy, C3DLine(segment.GetAxis()), line)) {
            pixels = LargerCurveDistance(seenBy, line, pick);
        }
    }
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
    const CCamera& seenBy = cameras[camera];
    CylinderImage image;
    if ((!edges[0] && !edges[1]) || !ImageCylinder(seenBy, cylinder, image)) {
        return Unavailable(camera, kNoSilhouette);
    }
    // The picked ends (two or four), and their distances from silhouette 0 and silhouette 1:
    // from the lines through the silhouettes' ends without a lens, from their curves through one.
    std::vector<Pixel> seen;
    for (const auto& edge : edges) {
        if (edge) {
            seen.insert(seen.end(), {edge->start, edge->end});
        }
    }
    double distance[2][4] = {};
    if (Straight(seenBy)) {
        for (int k = 0; k < 2; ++k) {
            const C2DLine line(Segment(image.edges[k]));
            for (std::size_t j = 0; j < seen.size(); ++j) {
                distance[k][j] = line.GetDistance(Coordinate(seen[j]));
            }
        }
    } else {
        C2DLineSegment centre;
        C2DLineSegment ideal[2];
        cylinder.Reproject(seenBy.GetCameraParam(), centre, ideal, nullptr, nullptr, nullptr);
        for (int k = 0; k < 2; ++k) {
            Arc arc;
            const bool imaged = LineArc(seenBy, C2DLine(ideal[k]), arc);
            const std::optional<CurveDistance> curve =
                imaged ? std::optional<CurveDistance>(CurveDistance(seenBy, arc)) : std::nullopt;
            for (std::size_t j = 0; j < seen.size(); ++j) {
                distance[k][j] = curve ? curve->To(seen[j]) : -1.0;
            }
        }
    }
    double pixels = -1.0;
    if (edges[0] && edges[1]) {
        // Two ends on one edge and two on the other, in an unknown pairing: the pairing with the
        // smaller sum of distances counts, a tie going to the swapped one.
        const double direct = (distance[0][0] + distance[0][1]) + (distance[1][2] + distance[1][3]);
        const double swapped =
            (distance[0][2] + distance[0][3]) + (distance[1][0] + distance[1][1]);
        const int first = (swapped <= direct) ? 2 : 0;  // the picked ends on silhouette 0
        const int second = 2 - first;
        const double distances[4] = {distance[0][first],
                                     distance[0][first + 1],
                                     distance[1][second],
                                     distance[1][second + 1]};
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
        if (loneEdgeReversed != nullptr) {
            *loneEdgeReversed = !LoneEdgeAgrees({seen[0], seen[1]}, image.centre);
        }
        double best = std::numeric_limits<double>::infinity();
        for (int k = 0; k < 2; ++k) {
            if (distance[k][0] >= 0.0 && distance[k][1] >= 0.0) {
                best = std::min(best, std::max(distance[k][0], distance[k][1]));
            }
        }
        pixels = std::isfinite(best) ? best : -1.0;
    }
    if (!(pixels >= 0.0)) {
        return Unavailable(camera, kNoSilhouette);
    }
    return Available(camera, pixels);
}

std::vector<Polyline> ObservedCurve(const CCamera& camera, const C2DLineSegment& ideal) {
    if (Straight(camera)) {
        PixelSegment ends;
        if (!ToObserved(camera, ideal, ends)) {
            return {};
        }
        return {{ends.start, ends.end}};
    }
    Arc arc;
    if (!SegmentArc(camera, ideal, arc)) {
        return {};
    }
    return Runs(CurveSampler(camera, arc).Samples());
}

std::vector<Polyline> ObservedPolylines(const CCamera& camera, const C2DLineSegment& ideal) {
    std::vector<Polyline> pieces;
    for (const Polyline& run : ObservedCurve(camera, ideal)) {
        for (Polyline& piece : ClipPolyline(run, camera)) {
            pieces.push_back(std::move(piece));
        }
    }
    return pieces;
}

std::vector<Polyline> ObservedLinePolylines(const CCamera& camera, const C2DLine& ideal) {
    if (Straight(camera)) {
        // Across the ideal photo, which is the observed one.
        return ObservedPolylines(
            camera, ideal.GetLineSegment(0.0, 0.0, camera.GetWidth(), camera.GetHeight()));
    }
    Arc arc;
    if (!LineArc(camera, ideal, arc)) {
        return {};
    }
    std::vector<Polyline> pieces;
    for (const Polyline& run : Runs(CurveSampler(camera, arc).Samples())) {
        for (Polyline& piece : ClipPolyline(run, camera)) {
            pieces.push_back(std::move(piece));
        }
    }
    return pieces;
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
