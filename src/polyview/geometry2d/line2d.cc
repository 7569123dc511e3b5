#include "polyview/geometry2d/line2d.h"

#include <cmath>

#include "polyview/numeric/line_fit2d.h"

namespace {

// Below this magnitude a coefficient is not chosen as the elimination pivot when the other one
// is larger; it only chooses, it never decides parallelism.
const double kPivotTolerance = 1e-06;

bool AllFinite(double a, double b, double c) {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c);
}

// sqrt(b^2 + a^2) with the squares formed as powers; where a square overflows or underflows, the
// same length from the coefficients scaled by the larger magnitude (NaN for a non-finite one).
double NormalLength(double a, double b) {
    const double plain = std::sqrt(std::pow(b, 2.0) + std::pow(a, 2.0));
    if ((plain > 0.0 && std::isfinite(plain)) || (a == 0.0 && b == 0.0) || std::isnan(plain)) {
        return plain;
    }
    const double scale = std::fmax(std::fabs(a), std::fabs(b));
    const double as = a / scale;
    const double bs = b / scale;
    return scale * std::sqrt(bs * bs + as * as);
}

// Two crossings closer than this fraction of the rectangle's larger side are one point.
const double kSamePointFraction = 1e-9;

}  // namespace

C2DLine::C2DLine() : m_a(1.0), m_b(0.0), m_c(0.0) {}

C2DLine::C2DLine(const C2DLine& other) : m_a(other.m_a), m_b(other.m_b), m_c(other.m_c) {}

C2DLine::C2DLine(const C2DLineSegment& segment) {
    double params[3];  // a, b, c
    segment.GetLineParams(params);
    m_a = params[0];
    m_b = params[1];
    m_c = params[2];
}

C2DLine& C2DLine::operator=(const C2DLine& other) {
    m_a = other.m_a;
    m_b = other.m_b;
    m_c = other.m_c;
    return *this;
}

C2DLine::~C2DLine() = default;

void C2DLine::GetLineParams(double* const params) const {
    params[0] = m_a;
    params[1] = m_b;
    params[2] = m_c;
}

void C2DLine::SetLineParams(const double* const params) {
    m_a = params[0];
    m_b = params[1];
    m_c = params[2];
}

C2DVector C2DLine::GetVector() const {
    return C2DVector(-m_b, m_a);
}

bool C2DLine::GetDistance(const C2DCoordinate& point, double& distance, bool signedDistance) const {
    const double n = GetVector().GetNorm();
    if (n == 0.0 || !std::isfinite(n)) {
        return false;
    }
    double v = (m_b * point.GetData(1) + m_a * point.GetData(0)) + m_c;  // order fixed
    if (!signedDistance) {
        v = std::fabs(v);
    }
    const double result = v / n;
    if (!std::isfinite(result)) {
        return false;  // a point or constant term that is not finite
    }
    distance = result;
    return true;
}

double C2DLine::GetDistance(const C2DCoordinate& point) const {
    double distance = 0.0;
    if (!GetDistance(point, distance, false)) {
        return -1.0;
    }
    return distance;
}

// Gaussian elimination of one unknown; the pivot is a1 unless it is small and b1 is not, and
// parallel (or coincident) lines show as an exactly vanishing denominator.
bool C2DLine::GetIntersection(const C2DLine& line, C2DCoordinate& point) const {
    const double a1 = m_a, b1 = m_b, c1 = m_c;
    const double a2 = line.m_a, b2 = line.m_b, c2 = line.m_c;
    bool pivotOnA;
    if (std::fabs(a1) > kPivotTolerance) {
        pivotOnA = true;
    } else if (std::fabs(b1) > kPivotTolerance) {
        pivotOnA = false;
    } else {
        if (a1 == 0.0 && b1 == 0.0) {
            return false;
        }
        pivotOnA = std::fabs(a1) > std::fabs(b1);
    }
    double x;
    double y;
    if (pivotOnA) {
        const double r = a2 / a1;
        const double den = b2 - r * b1;
        if (den == 0.0 || std::isnan(den)) {
            return false;
        }
        y = (r * c1 - c2) / den;
        x = ((y * b1 + c1) * (-1.0)) / a1;  // order fixed
    } else {
        const double r = b2 / b1;
        const double den = a2 - r * a1;
        if (den == 0.0 || std::isnan(den)) {
            return false;
        }
        x = (r * c1 - c2) / den;
        y = ((x * a1 + c1) * (-1.0)) / b1;  // order fixed
    }
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return false;
    }
    point.SetVector(x, y);
    return true;
}

// Orthogonal regression: the normal is the eigenvector of the smaller eigenvalue of the points'
// scatter matrix, and the line passes through their centroid.
bool C2DLine::GetApproximationLine(const C1DArray<C2DCoordinate>& points) {
    const int n = points.GetSize();
    if (n < 1) {
        return false;
    }
    // The fit reads the coordinates in place, in array order: no copies to allocate.
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    if (!dfitline2d_coordinates(&points[0], n, &a, &b, &c) || !AllFinite(a, b, c)) {
        return false;
    }
    m_a = a;
    m_b = b;
    m_c = c;
    return true;
}

// Angle bisectors of two lines in normalised form are the sum and the difference of their
// equations; the one whose normal lies nearer to the second line's normal is taken.
bool C2DLine::CalcCenterLine(const C2DLine& line, C2DLine& center) const {
    const double len1 = NormalLength(m_a, m_b);
    if (len1 == 0.0 || !std::isfinite(len1)) {
        return false;
    }
    const double len2 = NormalLength(line.m_a, line.m_b);
    if (len2 == 0.0 || !std::isfinite(len2)) {
        return false;
    }
    const double a1 = m_a / len1, b1 = m_b / len1, c1 = m_c / len1;
    const double a2 = line.m_a / len2, b2 = line.m_b / len2, c2 = line.m_c / len2;
    const double sum[3] = {a1 + a2, b1 + b2, c1 + c2};
    const double difference[3] = {a1 - a2, b1 - b2, c1 - c2};
    const double t1 = std::fabs(sum[0] * a2 + sum[1] * b2);
    const double t2 = std::fabs(difference[0] * a2 + difference[1] * b2);
    const double* chosen = (t2 < t1) ? sum : difference;
    if (!AllFinite(chosen[0], chosen[1], chosen[2])) {
        return false;
    }
    center.SetLineParams(chosen);
    return true;
}

// Clips against the four edges in the order left, right, bottom, top; minimum edges belong to
// the rectangle, maximum edges do not. The crossings are computed edge by edge, so a line through
// a corner may miss it or meet it twice by rounding: a crossing short of a minimum bound by less
// than a tolerance relative to the rectangle's size counts at the bound, and a crossing within
// that tolerance of one already counted is the same point and counts once.
C2DLineSegment C2DLine::GetLineSegment(double xMin, double yMin, double xMax, double yMax) const {
    C2DLineSegment segment;
    // An empty, reversed or NaN range: the edge tests alone would still accept a line parallel
    // to the other axis (and a NaN corner), so such rectangles are rejected here.
    if (!(xMin < xMax) || !(yMin < yMax)) {
        return segment;
    }
    const double size = std::fmax(xMax - xMin, yMax - yMin);
    const double same = std::isfinite(size) ? kSamePointFraction * size : 0.0;
    double xs[2] = {0.0, 0.0};
    double ys[2] = {0.0, 0.0};
    int count = 0;
    const auto add = [&](double x, double y) {
        for (int i = 0; i < count && i < 2; ++i) {
            if (std::fabs(x - xs[i]) <= same && std::fabs(y - ys[i]) <= same) {
                return;
            }
        }
        if (count < 2) {
            xs[count] = x;
            ys[count] = y;
        }
        ++count;
    };
    const auto within = [same](double& value, double low, double high) {
        if (value < low && value >= low - same) {
            value = low;
        }
        return low <= value && value < high;
    };
    if (m_b != 0.0) {
        double yLeft = (-(m_a * xMin) - m_c) / m_b;
        if (within(yLeft, yMin, yMax)) {
            add(xMin, yLeft);
        }
        double yRight = (-(m_a * xMax) - m_c) / m_b;
        if (within(yRight, yMin, yMax)) {
            add(xMax, yRight);
        }
    }
    if (m_a != 0.0) {
        double xBottom = (-(m_b * yMin) - m_c) / m_a;
        if (within(xBottom, xMin, xMax)) {
            add(xBottom, yMin);
        }
        double xTop = (-(m_b * yMax) - m_c) / m_a;
        if (within(xTop, xMin, xMax)) {
            add(xTop, yMax);
        }
    }
    if (count == 2) {
        segment.SetEndPoints(C2DCoordinate(xs[0], ys[0], WorldCoordinateSystem),
                             C2DCoordinate(xs[1], ys[1], WorldCoordinateSystem));
    }
    return segment;
}
