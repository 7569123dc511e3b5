#include "polyview/refine/pick_refiner.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// Bounds on the options: a window beyond 64 px or a search beyond 64 px is not a refinement of a
// hand pick, and would only cost time.
constexpr int kMaxHalfWindow = 64;
constexpr int kMaxIterations = 1000;
constexpr double kMaxSearchHalfWidth = 64.0;
constexpr double kMinStep = 0.25;
// The Gaussian weight of the corner window has this sigma per pixel of half window (2.5 px for the
// default 5): the corner's own neighbourhood counts most, the window's rim little.
constexpr double kCornerSigmaPerHalfWindow = 0.5;
constexpr double kWindowSlack = 1.0;
// Edge profiles: samples every kProfileStep px along the normal. The step is found by the largest
// difference of samples kPeakSpan px apart; its position by the moment of the profile over
// kMomentHalfSpan px either side of it (the position of the ideal step with the same area), taken
// kMomentRounds times, the span re-centred on the last position.
constexpr double kProfileStep = 0.125;
constexpr double kPeakSpan = 1.0;
constexpr double kMomentHalfSpan = 2.0;
constexpr int kMomentRounds = 3;
// The corner's arms: the two edge directions are the two strongest peaks, at least
// kMinArmAngle apart, of the window's gradient orientations (weighted histogram of kOrientationBins
// bins over 180 degrees). Along each direction both rays from the corner are searched for the edge
// (kArmSearch px either side, stations kArmStationStep px apart); a ray on which at least kArmShare
// of the stations find it is an arm. Rays start where the profiles keep kArmClearance px off the
// other edge. The lines fitted to the arms, intersected, give the corner when it lies within
// kArmAgreement px of the gradient estimate. The rounds search kArmLengths px of ray, the later
// ones along the lines the earlier fitted: near a sharp tip the gradients mix, and the histogram's
// directions may be several degrees off, too far to follow over the full length.
constexpr int kOrientationBins = 180;
constexpr int kOrientationSpread = 8;
constexpr double kMinArmAngle = 30.0 * 3.14159265358979323846 / 180.0;
constexpr double kArmSearch = 1.5;
constexpr double kArmStationStep = 0.5;
constexpr double kArmShare = 0.5;
constexpr double kArmClearance = 1.5;
constexpr double kArmAgreement = 1.0;
constexpr double kArmLengths[] = {6.0, 16.0, 16.0};
// A refined edge needs this many used points, and at least this share of its stations.
constexpr int kMinEdgePoints = 5;  // also per corner arm line
constexpr double kMinEdgeShare = 0.3;
// FitEdgeLine tries at most twice this many lines through pairs of points for its start.
constexpr int kMaxStartPairs = 32;

std::string Format(const char* pattern, double a, double b) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

bool Finite(const C2DVector& v) {
    return std::isfinite(v.GetData(0)) && std::isfinite(v.GetData(1));
}

double Distance(const C2DVector& a, const C2DVector& b) {
    return (a - b).GetNorm();
}

// The foot of point on the line a x + b y + c = 0 with a unit normal (a, b).
C2DCoordinate Foot(const C2DLine& line, const C2DCoordinate& point) {
    double abc[3];
    line.GetLineParams(abc);
    const double offset = abc[0] * point.GetData(0) + abc[1] * point.GetData(1) + abc[2];
    C2DCoordinate foot(point);
    foot = point - C2DVector(abc[0], abc[1]) * offset;
    return foot;
}

// Signed distance of point from the line with a unit normal.
double Offset(const C2DLine& line, const C2DCoordinate& point) {
    double abc[3];
    line.GetLineParams(abc);
    return abc[0] * point.GetData(0) + abc[1] * point.GetData(1) + abc[2];
}

bool ValidEdgeOptions(const CPickRefiner::SEdgeOptions& options) {
    return std::isfinite(options.step) && options.step >= kMinStep &&
           std::isfinite(options.searchHalfWidth) && options.searchHalfWidth >= 1.0 &&
           options.searchHalfWidth <= kMaxSearchHalfWidth && std::isfinite(options.maxMovement) &&
           options.maxMovement > 0.0 && std::isfinite(options.minContrast) &&
           options.minContrast >= 0.0 && std::isfinite(options.outlierDistance) &&
           options.outlierDistance > 0.0;
}

// The edge along unit normal n through point within +-search: true and position set to the
// sub-pixel point of the strongest step of at least minContrast.
bool FindEdgePoint(const CGrayImage& image,
                   const C2DCoordinate& point,
                   const C2DVector& n,
                   double search,
                   double minContrast,
                   C2DCoordinate& position) {
    const double x0 = point.GetData(0);
    const double y0 = point.GetData(1);
    const double nx = n.GetData(0);
    const double ny = n.GetData(1);
    // The profile covers the search, the peak span and the moment span beyond it.
    const double reach = search + kMomentHalfSpan + kPeakSpan;
    const int half = static_cast<int>(std::ceil(reach / kProfileStep));
    std::vector<double> profile(static_cast<size_t>(2 * half + 1));
    for (int k = -half; k <= half; ++k) {
        const double t = k * kProfileStep;
        if (!image.Interpolate(x0 + t * nx, y0 + t * ny, profile[static_cast<size_t>(k + half)])) {
            return false;
        }
    }
    const auto sampleAt = [&](double t, double& value) {
        // Linear between profile samples; t within the profile.
        const double u = t / kProfileStep + half;
        const double lowIndex = std::floor(u);
        if (!(lowIndex >= 0.0 && lowIndex <= 2.0 * half)) {
            return false;
        }
        const size_t low = static_cast<size_t>(lowIndex);
        const size_t high = std::min(low + 1, profile.size() - 1);
        value = profile[low] + (u - lowIndex) * (profile[high] - profile[low]);
        return true;
    };
    // The strongest step within the search: the largest |I(t + span / 2) - I(t - span / 2)|.
    const int peakOffset = static_cast<int>(std::lround(0.5 * kPeakSpan / kProfileStep));
    const int searchSteps = static_cast<int>(std::floor(search / kProfileStep));
    int best = 0;
    double bestStep = -1.0;
    for (int k = -searchSteps; k <= searchSteps; ++k) {
        const size_t at = static_cast<size_t>(k + half);
        const double step = std::fabs(profile[at + peakOffset] - profile[at - peakOffset]);
        if (step > bestStep) {
            bestStep = step;
            best = k;
        }
    }
    double edge = best * kProfileStep;
    for (int round = 0; round < kMomentRounds; ++round) {
        // The ideal step from I(a) to I(b) at e with the profile's area over [a, b]:
        // area = I(a) (e - a) + I(b) (b - e).
        const double a = edge - kMomentHalfSpan;
        const double b = edge + kMomentHalfSpan;
        const int pieces = static_cast<int>(std::lround(2.0 * kMomentHalfSpan / kProfileStep));
        double area = 0.0;
        double previous = 0.0;
        double ia = 0.0;
        for (int k = 0; k <= pieces; ++k) {
            double value = 0.0;
            if (!sampleAt(a + k * kProfileStep, value)) {
                return false;
            }
            if (k == 0) {
                ia = value;
            } else {
                area += 0.5 * (previous + value) * kProfileStep;
            }
            previous = value;
        }
        const double ib = previous;
        const double contrast = ib - ia;
        if (!(std::fabs(contrast) >= minContrast) || contrast == 0.0) {
            return false;
        }
        const double next = (area - ib * b + ia * a) / (ia - ib);
        if (!std::isfinite(next) || std::fabs(next - edge) > kMomentHalfSpan) {
            return false;  // the profile is no single step
        }
        edge = next;
    }
    if (std::fabs(edge) > search) {
        return false;
    }
    position = point;
    position.SetVector(x0 + edge * nx, y0 + edge * ny);
    return true;
}

// The normal angle (radians, modulo pi) of the strongest gradient orientation and of the strongest
// one at least kMinArmAngle from it, from a weighted histogram of the gradient orientations. False
// when the second has no weight.
bool DominantOrientations(const std::vector<double>& angles,
                          const std::vector<double>& weights,
                          double& first,
                          double& second) {
    const double pi = 3.14159265358979323846;
    std::vector<double> bins(kOrientationBins, 0.0);
    for (size_t i = 0; i < angles.size(); ++i) {
        int bin =
            static_cast<int>(std::floor(angles[i] / pi * kOrientationBins)) % kOrientationBins;
        bins[static_cast<size_t>(bin < 0 ? bin + kOrientationBins : bin)] += weights[i];
    }
    // Smoothed circularly by a triangle kOrientationSpread bins wide either side: near the
    // corner, and on the pixel grid, an edge's gradients scatter over several degrees.
    std::vector<double> smooth(kOrientationBins, 0.0);
    for (int b = 0; b < kOrientationBins; ++b) {
        for (int k = -kOrientationSpread; k <= kOrientationSpread; ++k) {
            smooth[static_cast<size_t>(b)] +=
                (kOrientationSpread + 1 - std::abs(k)) *
                bins[static_cast<size_t>((b + k + kOrientationBins) % kOrientationBins)];
        }
    }
    const auto binDistance = [](int a, int b) {
        const int d = std::abs(a - b);
        return std::min(d, kOrientationBins - d);
    };
    const int minBins = static_cast<int>(std::ceil(kMinArmAngle / pi * kOrientationBins));
    int best = 0;
    for (int b = 1; b < kOrientationBins; ++b) {
        if (smooth[static_cast<size_t>(b)] > smooth[static_cast<size_t>(best)]) {
            best = b;
        }
    }
    int next = -1;
    for (int b = 0; b < kOrientationBins; ++b) {
        const double here = smooth[static_cast<size_t>(b)];
        const bool peak =
            here >= smooth[static_cast<size_t>((b + 1) % kOrientationBins)] &&
            here >= smooth[static_cast<size_t>((b + kOrientationBins - 1) % kOrientationBins)];
        // A peak of its own, not the first one's flank.
        if (peak && binDistance(b, best) >= minBins &&
            (next < 0 || here > smooth[static_cast<size_t>(next)])) {
            next = b;
        }
    }
    if (next < 0 || !(smooth[static_cast<size_t>(next)] > 0.0)) {
        return false;
    }
    // Each peak: the weighted mean of the doubled angles within a few bins of it.
    const auto mean = [&](int peak) {
        double c = 0.0;
        double s = 0.0;
        for (size_t i = 0; i < angles.size(); ++i) {
            int bin =
                static_cast<int>(std::floor(angles[i] / pi * kOrientationBins)) % kOrientationBins;
            bin = bin < 0 ? bin + kOrientationBins : bin;
            if (binDistance(bin, peak) <= kOrientationSpread) {
                c += weights[i] * std::cos(2.0 * angles[i]);
                s += weights[i] * std::sin(2.0 * angles[i]);
            }
        }
        return 0.5 * std::atan2(s, c);
    };
    first = mean(best);
    second = mean(next);
    return true;
}

// The corner as the intersection of the straight edges (arms) leaving corner along the normal
// angles first and second (radians), searched over length px. True with corner, arms (2 to 4) and
// the two fitted lines' normal angles set when both edges are found.
bool IntersectArms(const CGrayImage& image,
                   double minContrast,
                   double length,
                   C2DCoordinate& corner,
                   int& arms,
                   double& first,
                   double& second) {
    const C2DVector n[2] = {C2DVector(std::cos(first), std::sin(first)),
                            C2DVector(std::cos(second), std::sin(second))};
    const double cosine =
        std::fabs(n[0].GetData(0) * n[1].GetData(0) + n[0].GetData(1) * n[1].GetData(1));
    const double sine = std::sqrt(std::max(0.0, 1.0 - cosine * cosine));
    if (!(sine >= std::sin(kMinArmAngle))) {
        return false;
    }
    // A profile reaches kArmSearch + kMomentHalfSpan + half the peak span from its station.
    const double reach = kArmSearch + kMomentHalfSpan + 0.5 * kPeakSpan;
    const double start = std::max(kArmClearance, (kArmClearance + reach * cosine) / sine);
    const int perRay = static_cast<int>(std::lround(length / kArmStationStep)) + 1;
    C2DLine lines[2];
    int found = 0;
    for (int k = 0; k < 2; ++k) {
        const C2DVector d(-n[k].GetData(1), n[k].GetData(0));
        C1DArray<C2DCoordinate> points;
        for (const double sign : {1.0, -1.0}) {
            std::vector<C2DCoordinate> ray;
            for (int i = 0; i < perRay; ++i) {
                const C2DVector at = corner + d * (sign * (start + i * kArmStationStep));
                C2DCoordinate station(corner);
                station = at;
                C2DCoordinate position(station);
                if (FindEdgePoint(image, station, n[k], kArmSearch, minContrast, position)) {
                    ray.push_back(position);
                }
            }
            if (static_cast<double>(ray.size()) < kArmShare * perRay) {
                continue;
            }
            const int base = points.GetSize();
            points.SetSize(base + static_cast<int>(ray.size()));
            if (points.GetSize() != base + static_cast<int>(ray.size())) {
                return false;
            }
            for (size_t i = 0; i < ray.size(); ++i) {
                points[base + static_cast<int>(i)] = ray[i];
            }
            ++found;
        }
        C1DArray<C2DCoordinate> used;
        if (points.GetSize() < kMinEdgePoints ||
            !CPickRefiner::FitEdgeLine(points, 0.5, lines[k], used) ||
            used.GetSize() < kMinEdgePoints) {
            return false;
        }
    }
    C2DCoordinate crossing(corner);
    if (!lines[0].GetIntersection(lines[1], crossing) || !Finite(crossing)) {
        return false;
    }
    double abc[2][3];
    lines[0].GetLineParams(abc[0]);
    lines[1].GetLineParams(abc[1]);
    corner = crossing;
    arms = found;
    first = std::atan2(abc[0][1], abc[0][0]);
    second = std::atan2(abc[1][1], abc[1][0]);
    return true;
}

// After the gradient estimate (qx, qy) converged: the intersection of the arms when they are found
// and agree with it, then the movement check.
CPickRefiner::SCornerRefinement FinishCorner(const CGrayImage& image,
                                             const C2DCoordinate& pick,
                                             const CPickRefiner::SCornerOptions& options,
                                             const std::vector<double>& angles,
                                             const std::vector<double>& weights,
                                             double qx,
                                             double qy,
                                             CPickRefiner::SCornerRefinement& result) {
    C2DCoordinate corner(pick);
    corner.SetVector(qx, qy);
    double first = 0.0;
    double second = 0.0;
    if (DominantOrientations(angles, weights, first, second)) {
        C2DCoordinate crossing(corner);
        int arms = 0;
        bool found = true;
        for (const double length : kArmLengths) {
            found = found && IntersectArms(
                                 image, options.minContrast, length, crossing, arms, first, second);
        }
        if (found && Distance(crossing, corner) <= kArmAgreement) {
            corner = crossing;
            result.arms = arms;
        }
    }
    result.movement = Distance(corner, pick);
    if (result.movement > options.maxMovement) {
        result.reason = Format("corner %.3g px from the pick, more than the limit %.3g px",
                               result.movement,
                               options.maxMovement);
        return result;
    }
    result.ok = true;
    result.corner = corner;
    return result;
}

}  // namespace

CPickRefiner::SCornerRefinement CPickRefiner::RefineCorner(const CGrayImage& image,
                                                           const C2DCoordinate& pick,
                                                           const SCornerOptions& options) {
    SCornerRefinement result;
    result.corner = pick;
    if (!image.IsValid()) {
        result.reason = "invalid image";
        return result;
    }
    if (options.halfWindow < 2 || options.halfWindow > kMaxHalfWindow ||
        !(options.maxMovement > 0.0) || !std::isfinite(options.maxMovement) ||
        options.maxIterations < 1 || options.maxIterations > kMaxIterations ||
        !(options.tolerance > 0.0) || !std::isfinite(options.tolerance) ||
        !(options.minContrast >= 0.0) || !std::isfinite(options.minContrast) ||
        !(options.minSupport >= 0.0 && options.minSupport <= 0.5)) {
        result.reason = "invalid options";
        return result;
    }
    if (!Finite(pick)) {
        result.reason = "pick is not finite";
        return result;
    }
    const int h = options.halfWindow;
    const int side = 2 * h + 3;  // the window and a ring of pixels for the gradients
    const double sigma = kCornerSigmaPerHalfWindow * h;
    std::vector<double> samples(static_cast<size_t>(side) * static_cast<size_t>(side));
    std::vector<double> angles;   // the last window's gradient directions
    std::vector<double> weights;  // and their weights w |g|^2
    double qx = pick.GetData(0);
    double qy = pick.GetData(1);
    double cx = std::floor(qx);
    double cy = std::floor(qy);
    for (int iteration = 1; iteration <= options.maxIterations; ++iteration) {
        result.iterations = iteration;
        // The window: the pixels within h of its centre pixel (cx, cy), which moves to the pixel
        // holding q once q is more than kWindowSlack px from its centre: a window that jumped at
        // every pixel border could make q hop to and fro across one.
        if (std::fabs(qx - (cx + 0.5)) > kWindowSlack ||
            std::fabs(qy - (cy + 0.5)) > kWindowSlack) {
            cx = std::floor(qx);
            cy = std::floor(qy);
        }
        if (!(cx - h - 1 >= 0.0 && cy - h - 1 >= 0.0 && cx + h + 1 <= image.GetWidth() - 1.0 &&
              cy + h + 1 <= image.GetHeight() - 1.0)) {
            result.reason = "window partly outside the image";
            return result;
        }
        const int left = static_cast<int>(cx) - h - 1;
        const int top = static_cast<int>(cy) - h - 1;
        double lowest = image.GetSample(left, top);
        double highest = lowest;
        for (int r = 0; r < side; ++r) {
            for (int c = 0; c < side; ++c) {
                const double s = image.GetSample(left + c, top + r);
                if (!std::isfinite(s)) {
                    result.reason = "window holds a sample that is not finite";
                    return result;
                }
                samples[static_cast<size_t>(r * side + c)] = s;
                lowest = std::min(lowest, s);
                highest = std::max(highest, s);
            }
        }
        if (!(highest - lowest >= options.minContrast) || highest == lowest) {
            result.reason =
                Format("flat window (contrast %.3g < %.3g)", highest - lowest, options.minContrast);
            return result;
        }
        angles.clear();
        weights.clear();
        // Normal equations of sum w (g . (p - q))^2: (sum w g g^T) q = sum w g g^T p.
        double gxx = 0.0;
        double gxy = 0.0;
        double gyy = 0.0;
        double bx = 0.0;
        double by = 0.0;
        for (int r = 1; r < side - 1; ++r) {
            for (int c = 1; c < side - 1; ++c) {
                const double* s = &samples[static_cast<size_t>(r * side + c)];
                const double* up = s - side;
                const double* down = s + side;
                // Scharr's 3 x 3 derivative (weights 3 10 3): nearly the same response in every
                // direction, so an edge's gradients point across it whatever its angle.
                const double gx =
                    (3.0 * (up[1] - up[-1]) + 10.0 * (s[1] - s[-1]) + 3.0 * (down[1] - down[-1])) /
                    32.0;
                const double gy = (3.0 * (down[-1] - up[-1]) + 10.0 * (down[0] - up[0]) +
                                   3.0 * (down[1] - up[1])) /
                                  32.0;
                const double px = left + c + 0.5;
                const double py = top + r + 0.5;
                const double dx = px - qx;
                const double dy = py - qy;
                const double w = std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma));
                const double wxx = w * gx * gx;
                const double wxy = w * gx * gy;
                const double wyy = w * gy * gy;
                angles.push_back(std::atan2(gy, gx));
                weights.push_back(wxx + wyy);
                gxx += wxx;
                gxy += wxy;
                gyy += wyy;
                bx += wxx * px + wxy * py;
                by += wxy * px + wyy * py;
            }
        }
        const double trace = gxx + gyy;
        const double det = gxx * gyy - gxy * gxy;
        const double gap = std::sqrt(0.25 * (gxx - gyy) * (gxx - gyy) + gxy * gxy);
        const double smaller = 0.5 * trace - gap;
        result.support = trace > 0.0 ? std::max(0.0, smaller / trace) : 0.0;
        if (!(trace > 0.0) || !std::isfinite(trace)) {
            result.reason = "flat window (no gradient)";
            return result;
        }
        if (result.support < options.minSupport) {
            result.reason = Format("no corner in the window (support %.3g < %.3g)",
                                   result.support,
                                   options.minSupport);
            return result;
        }
        const double nextX = (gyy * bx - gxy * by) / det;
        const double nextY = (gxx * by - gxy * bx) / det;
        if (!std::isfinite(nextX) || !std::isfinite(nextY)) {
            result.reason = "no corner in the window (singular system)";
            return result;
        }
        const double stepLength = std::hypot(nextX - qx, nextY - qy);
        qx = nextX;
        qy = nextY;
        result.movement = std::hypot(qx - pick.GetData(0), qy - pick.GetData(1));
        if (result.movement > options.maxMovement) {
            result.reason = Format("corner %.3g px from the pick, more than the limit %.3g px",
                                   result.movement,
                                   options.maxMovement);
            return result;
        }
        if (stepLength <= options.tolerance) {
            return FinishCorner(image, pick, options, angles, weights, qx, qy, result);
        }
    }
    result.reason = "no convergence";
    return result;
}

CPickRefiner::SCornerRefinement CPickRefiner::RefineCorner(const CGrayImage& image,
                                                           const C2DCoordinate& pick) {
    return RefineCorner(image, pick, SCornerOptions());
}

int CPickRefiner::FindEdgePoints(const CGrayImage& image,
                                 const C1DArray<SEdgeStation>& stations,
                                 const SEdgeOptions& options,
                                 C1DArray<C2DCoordinate>& points) {
    points.SetSize(0);
    if (!image.IsValid() || !ValidEdgeOptions(options)) {
        return 0;
    }
    std::vector<C2DCoordinate> found;
    for (int i = 0; i < stations.GetSize(); ++i) {
        const SEdgeStation& station = stations[i];
        const double length = station.normal.GetNorm();
        if (!Finite(station.point) || !(length > 0.0) || !std::isfinite(length)) {
            continue;
        }
        C2DCoordinate position(station.point);
        if (FindEdgePoint(image,
                          station.point,
                          station.normal * (1.0 / length),
                          options.searchHalfWidth,
                          options.minContrast,
                          position)) {
            found.push_back(position);
        }
    }
    const int count = static_cast<int>(found.size());
    points.SetSize(count);
    if (points.GetSize() != count) {
        return 0;  // no memory
    }
    for (int i = 0; i < count; ++i) {
        points[i] = found[static_cast<size_t>(i)];
    }
    return count;
}

bool CPickRefiner::FitEdgeLine(const C1DArray<C2DCoordinate>& points,
                               double outlierDistance,
                               C2DLine& line,
                               C1DArray<C2DCoordinate>& used) {
    const int n = points.GetSize();
    if (!(outlierDistance > 0.0) || !std::isfinite(outlierDistance) || n < 2) {
        return false;
    }
    for (int i = 0; i < n; ++i) {
        if (!Finite(points[i])) {
            return false;
        }
    }
    // The start: of the lines through pairs of points a quarter and half the array apart (at most
    // kMaxStartPairs), the one with the most points within outlierDistance; a least-squares fit
    // through all points could be tilted by a single far outlier until it dropped the inliers.
    int bestInliers = -1;
    double best[3] = {0.0, 0.0, 0.0};
    const int pairs = std::min(n, kMaxStartPairs);
    for (int k = 0; k < 2 * pairs; ++k) {
        const int i = static_cast<int>(static_cast<long long>(k / 2) * n / pairs);
        const int j = (i + (k % 2 == 0 ? n / 2 : std::max(1, n / 4))) % n;
        const double dx = points[j].GetData(0) - points[i].GetData(0);
        const double dy = points[j].GetData(1) - points[i].GetData(1);
        const double length = std::hypot(dx, dy);
        if (!(length > 0.0) || !std::isfinite(length)) {
            continue;
        }
        const double a = -dy / length;
        const double b = dx / length;
        const double c = -(a * points[i].GetData(0) + b * points[i].GetData(1));
        int inliers = 0;
        for (int m = 0; m < n; ++m) {
            inliers += std::fabs(a * points[m].GetData(0) + b * points[m].GetData(1) + c) <=
                       outlierDistance;
        }
        if (inliers > bestInliers) {
            bestInliers = inliers;
            best[0] = a;
            best[1] = b;
            best[2] = c;
        }
    }
    C2DLine fit;
    C1DArray<C2DCoordinate> kept;
    if (bestInliers >= 2) {
        fit.SetLineParams(best);
        kept.SetSize(bestInliers);
        if (kept.GetSize() != bestInliers) {
            return false;
        }
        int count = 0;
        for (int m = 0; m < n; ++m) {
            if (std::fabs(Offset(fit, points[m])) <= outlierDistance) {
                kept[count++] = points[m];
            }
        }
    } else {
        kept = points;  // every pair coincides or lies too far apart to agree: start from all
        if (kept.GetSize() != n) {
            return false;
        }
    }
    // Fit, drop what lies farther than outlierDistance, fit again; the set only shrinks.
    for (;;) {
        if (kept.GetSize() < 2 || !fit.GetApproximationLine(kept)) {
            return false;
        }
        int count = 0;
        for (int i = 0; i < kept.GetSize(); ++i) {
            if (std::fabs(Offset(fit, kept[i])) <= outlierDistance) {
                kept[count++] = kept[i];
            }
        }
        if (count == kept.GetSize()) {
            break;
        }
        kept.SetSize(count);
    }
    used = kept;
    if (used.GetSize() != kept.GetSize()) {
        return false;
    }
    line = fit;
    return true;
}

CPickRefiner::SEdgeRefinement CPickRefiner::RefineEdge(const CGrayImage& image,
                                                       const C2DCoordinate& start,
                                                       const C2DCoordinate& end,
                                                       const SEdgeOptions& options) {
    SEdgeRefinement result;
    result.start = start;
    result.end = end;
    if (!image.IsValid()) {
        result.reason = "invalid image";
        return result;
    }
    if (!ValidEdgeOptions(options)) {
        result.reason = "invalid options";
        return result;
    }
    if (!Finite(start) || !Finite(end)) {
        result.reason = "pick is not finite";
        return result;
    }
    const double width = image.GetWidth();
    const double height = image.GetHeight();
    const auto inside = [&](const C2DCoordinate& p) {
        return p.GetData(0) >= 0.0 && p.GetData(0) <= width && p.GetData(1) >= 0.0 &&
               p.GetData(1) <= height;
    };
    if (!inside(start) || !inside(end)) {
        result.reason = "pick outside the image";
        return result;
    }
    const C2DVector along = end - start;
    const double length = along.GetNorm();
    if (!(length >= 2.0 * options.step) || length < 2.0) {
        result.reason = "segment too short";
        return result;
    }
    const int count = static_cast<int>(std::floor(length / options.step)) + 1;
    C1DArray<SEdgeStation> stations;
    stations.SetSize(count);
    if (stations.GetSize() != count) {
        result.reason = "out of memory";
        return result;
    }
    const C2DVector normal(-along.GetData(1) / length, along.GetData(0) / length);
    for (int i = 0; i < count; ++i) {
        stations[i].point = start + along * (static_cast<double>(i) / (count - 1));
        stations[i].normal = normal;
    }
    result.stations = count;
    C1DArray<C2DCoordinate> points;
    const int found = FindEdgePoints(image, stations, options, points);
    C2DLine line;
    C1DArray<C2DCoordinate> used;
    const int needed = std::max(kMinEdgePoints, static_cast<int>(std::ceil(kMinEdgeShare * count)));
    if (found < needed || !FitEdgeLine(points, options.outlierDistance, line, used) ||
        used.GetSize() < needed) {
        result.reason = Format("too few edge points (%.0f of %.0f stations)",
                               found < needed ? found : used.GetSize(),
                               count);
        result.used = found < needed ? found : used.GetSize();
        result.support = static_cast<double>(result.used) / count;
        return result;
    }
    double sum = 0.0;
    for (int i = 0; i < used.GetSize(); ++i) {
        const double d = Offset(line, used[i]);
        sum += d * d;
    }
    const C2DCoordinate startFoot = Foot(line, start);
    const C2DCoordinate endFoot = Foot(line, end);
    result.line = line;
    result.used = used.GetSize();
    result.support = static_cast<double>(result.used) / count;
    result.rms = std::sqrt(sum / used.GetSize());
    result.startMovement = Distance(startFoot, start);
    result.endMovement = Distance(endFoot, end);
    result.points = used;
    const double worst = std::max(result.startMovement, result.endMovement);
    if (worst > options.maxMovement) {
        result.reason =
            Format("an end moves %.3g px, more than the limit %.3g px", worst, options.maxMovement);
        return result;
    }
    result.ok = true;
    result.start = startFoot;
    result.end = endFoot;
    return result;
}

CPickRefiner::SEdgeRefinement CPickRefiner::RefineEdge(const CGrayImage& image,
                                                       const C2DCoordinate& start,
                                                       const C2DCoordinate& end) {
    return RefineEdge(image, start, end, SEdgeOptions());
}
