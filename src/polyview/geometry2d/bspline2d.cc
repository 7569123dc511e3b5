#include "polyview/geometry2d/bspline2d.h"

#include <cmath>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector2d.h"

namespace {

constexpr int kCubicOrder = 4;              // the sampler always fits cubic splines
constexpr double kSamePointDistance = 2.0;  // pixels, per coordinate, strict
constexpr double kLastParam = 0.999999999;  // inside the last half-open knot span

// Cox-de Boor recursion, N(i, k) at t. Unchecked: the knots U[i .. i + k] exist and k >= 1.
// A term whose knot difference is zero is left out (0 / 0 = 0); each quotient is formed before
// it multiplies the lower-order value.
double Basis(int i, int k, const double* u, double t) {
    if (k == 1) {
        return (u[i] <= t && t < u[i + 1]) ? 1.0 : 0.0;  // half-open span
    }
    const bool leftFlat = u[i + k - 1] == u[i];
    const bool rightFlat = u[i + k] == u[i + 1];
    if (leftFlat && rightFlat) {
        return 0.0;
    }
    double right = 0.0;
    if (!rightFlat) {
        right =
            Basis(i + 1, k - 1, u, t) * ((u[i + k] - t) / (u[i + k] - u[i + 1]));  // order fixed
    }
    if (leftFlat) {
        return right;
    }
    const double left =
        Basis(i, k - 1, u, t) * ((t - u[i]) / (u[i + k - 1] - u[i]));  // order fixed
    if (rightFlat) {
        return left;
    }
    return right + left;
}

// N'(i, k) at t, the recursion differentiated term by term. Same preconditions as Basis.
double BasisFirst(int i, int k, const double* u, double t) {
    if (k == 1) {
        return 0.0;
    }
    const bool leftFlat = u[i + k - 1] == u[i];
    const bool rightFlat = u[i + k] == u[i + 1];
    if (leftFlat && rightFlat) {
        return 0.0;
    }
    double right = 0.0;
    if (!rightFlat) {
        right = (BasisFirst(i + 1, k - 1, u, t) * (u[i + k] - t) - Basis(i + 1, k - 1, u, t)) /
                (u[i + k] - u[i + 1]);
    }
    if (leftFlat) {
        return right;
    }
    const double left =
        (Basis(i, k - 1, u, t) + BasisFirst(i, k - 1, u, t) * (t - u[i])) / (u[i + k - 1] - u[i]);
    if (rightFlat) {
        return left;
    }
    return right + left;
}

// N''(i, k) at t, differentiating the first-derivative recursion once more. Same preconditions.
double BasisSecond(int i, int k, const double* u, double t) {
    if (k <= 2) {
        return 0.0;
    }
    const bool leftFlat = u[i + k - 1] == u[i];
    const bool rightFlat = u[i + k] == u[i + 1];
    if (leftFlat && rightFlat) {
        return 0.0;
    }
    double right = 0.0;
    if (!rightFlat) {
        const double firstRight = BasisFirst(i + 1, k - 1, u, t);
        right = (BasisSecond(i + 1, k - 1, u, t) * (u[i + k] - t) - (firstRight + firstRight)) /
                (u[i + k] - u[i + 1]);
    }
    if (leftFlat) {
        return right;
    }
    const double firstLeft = BasisFirst(i, k - 1, u, t);
    const double left = ((firstLeft + firstLeft) + BasisSecond(i, k - 1, u, t) * (t - u[i])) /
                        (u[i + k - 1] - u[i]);
    if (rightFlat) {
        return left;
    }
    return left + right;
}

// True when N(index, order) can be evaluated on the array: order >= 1 and U[index .. index +
// order] inside it.
bool BasisArgumentsFit(int index, int order, const C1DArray<double>& knots) {
    return order >= 1 && index >= 0 &&
           static_cast<long long>(index) + order < static_cast<long long>(knots.GetSize());
}

bool BasisArgumentsFit(int index, int order, const double* knots) {
    return order >= 1 && index >= 0 && knots != nullptr;
}

double XOf(const C2DVector& point) {
    return point.GetData(0);
}
double YOf(const C2DVector& point) {
    return point.GetData(1);
}

bool AllFinite(const CMNMatrix& matrix) {
    for (int row = 0; row < matrix.Rows(); ++row) {
        for (int col = 0; col < matrix.Cols(); ++col) {
            if (!std::isfinite(matrix(row, col))) {
                return false;
            }
        }
    }
    return true;
}

// Knots that the span-wise evaluation below may use: finite, within [0, 1], non-decreasing, and
// every non-zero gap at least kSmallestGap. Then every quotient of the recursion is finite (at
// most 1 / kSmallestGap), and a basis function whose support does not hold t comes out of the
// recursion as an exact zero, whose products leave every sum as it is.
constexpr double kSmallestGap = 1e-300;

bool SpanwiseKnots(const double* u, int count) {
    for (int j = 0; j < count; ++j) {
        if (!(u[j] >= 0.0 && u[j] <= 1.0)) {
            return false;  // NaN included
        }
        if (j > 0) {
            const double gap = u[j] - u[j - 1];
            if (gap < 0.0 || (gap != 0.0 && gap < kSmallestGap)) {
                return false;
            }
        }
    }
    return true;
}

// The knot span of t: the s with u[s] <= t < u[s + 1] (unique for non-decreasing knots), or -1
// when t lies outside [u[0], u[count - 1]). Binary search.
int FindSpan(const double* u, int count, double t) {
    if (!(u[0] <= t && t < u[count - 1])) {
        return -1;
    }
    int low = 0;           // u[low] <= t
    int high = count - 1;  // t < u[high]
    while (high - low > 1) {
        const int middle = (low + high) / 2;
        if (u[middle] <= t) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return low;
}

// Level kOrder of the Cox-de Boor recursion of Basis in span s: upper[r] = N(s - 3 + r, kOrder)
// from lower[r] = N(s - 3 + r, kOrder - 1), for the functions whose support holds the span
// (r >= 4 - kOrder); the others, and the vanishing children, are taken as 0.0 instead of being
// formed. They would be exact zeros, so every non-zero value is the same.
template <int kOrder>
void CubicLevel(const double* u, int s, double t, const double* lower, double* upper) {
    for (int r = 4 - kOrder; r <= 3; ++r) {
        const int i = s - 3 + r;
        const bool leftFlat = u[i + kOrder - 1] == u[i];
        const bool rightFlat = u[i + kOrder] == u[i + 1];
        double value = 0.0;
        if (!(leftFlat && rightFlat)) {
            double right = 0.0;
            if (!rightFlat && r < 3) {  // N(i + 1, k - 1) vanishes for i = s
                right = lower[r + 1] *
                        ((u[i + kOrder] - t) / (u[i + kOrder] - u[i + 1]));  // order fixed
            }
            if (leftFlat) {
                value = right;
            } else {
                double left = 0.0;
                if (r > 4 - kOrder) {  // N(i, k - 1) vanishes for i = s - k + 1
                    left = lower[r] * ((t - u[i]) / (u[i + kOrder - 1] - u[i]));  // order fixed
                }
                value = rightFlat ? left : right + left;
            }
        }
        upper[r] = value;
    }
}

// The cubic basis functions N(s - 3 .. s, 4) at t in span s (s >= 3, u[s + 4] present), as
// weights[0..3], each function formed once. Needs SpanwiseKnots.
void CubicWeights(const double* u, int s, double t, double* weights) {
    const double order1[4] = {0.0, 0.0, 0.0, 1.0};  // N(s - 3 + r, 1) is 1 only at r = 3
    double order2[4] = {0.0, 0.0, 0.0, 0.0};
    double order3[4] = {0.0, 0.0, 0.0, 0.0};
    for (int r = 0; r < 4; ++r) {
        weights[r] = 0.0;
    }
    CubicLevel<2>(u, s, t, order1, order2);
    CubicLevel<3>(u, s, t, order2, order3);
    CubicLevel<4>(u, s, t, order3, weights);
}

// A row of a B-spline system with its non-zero stretch: values[0..count-1] in the columns
// start .. start + count - 1; every other entry of the row is an exact zero.
struct SSparseRow {
    int start;
    int count;
    double values[4];
};

// The cubic basis row at t over controlCount functions (knots u[0 .. controlCount + 3]): the
// weights of span s, clipped to the columns first .. last. False when t has no span (a zero row
// is then written) or a weight is not finite.
bool CubicRow(const double* u, int controlCount, double t, int first, int last, SSparseRow& row) {
    row.start = first;
    row.count = 0;
    const int s = FindSpan(u, controlCount + kCubicOrder, t);
    if (s < 0) {
        return true;
    }
    double weights[4];
    CubicWeights(u, s, t, weights);
    row.start = s - 3 > first ? s - 3 : first;
    const int end = s < last ? s : last;
    for (int c = row.start; c <= end; ++c) {
        row.values[row.count] = weights[c - (s - 3)];
        if (!std::isfinite(row.values[row.count])) {
            return false;
        }
        ++row.count;
    }
    if (row.count == 0) {
        row.start = first;
    }
    return true;
}

// normal(i - offset, j - offset) += the products of the row's entries, one row after another:
// each element of R^T R receives its terms in row order, the zero products left out.
void AddOuterProduct(const SSparseRow& row, int offset, CMNMatrix& normal) {
    for (int p = 0; p < row.count; ++p) {
        for (int q = 0; q < row.count; ++q) {
            normal(row.start + p - offset, row.start + q - offset) += row.values[p] * row.values[q];
        }
    }
}

// Writes the zeros of the clamped start and the ones of the clamped end; false when knots cannot
// be sized to count + order.
bool SizeClampedKnots(int count, int order, C1DArray<double>& knots) {
    knots.SetSize(count + order);
    if (knots.GetSize() != count + order) {
        return false;
    }
    for (int j = 0; j < order; ++j) {
        knots[j] = 0.0;
    }
    for (int j = count; j < count + order; ++j) {
        knots[j] = 1.0;
    }
    return true;
}

}  // namespace

C2DBSpline::C2DBSpline() = default;
C2DBSpline::C2DBSpline(const C2DBSpline& /*other*/) = default;
C2DBSpline& C2DBSpline::operator=(const C2DBSpline& /*other*/) {
    return *this;
}
C2DBSpline::~C2DBSpline() = default;

double C2DBSpline::SplineBaseFunction(int index,
                                      int order,
                                      const C1DArray<double>& knots,
                                      double param) {
    if (!BasisArgumentsFit(index, order, knots)) {
        return 0.0;
    }
    return Basis(index, order, &knots[0], param);
}

double C2DBSpline::SplineBaseFunction(int index, int order, const double* knots, double param) {
    if (!BasisArgumentsFit(index, order, knots)) {
        return 0.0;
    }
    return Basis(index, order, knots, param);
}

double C2DBSpline::SplineBaseFunction1stDif(int index,
                                            int order,
                                            const C1DArray<double>& knots,
                                            double param) {
    if (!BasisArgumentsFit(index, order, knots)) {
        return 0.0;
    }
    return BasisFirst(index, order, &knots[0], param);
}

double C2DBSpline::SplineBaseFunction1stDif(int index,
                                            int order,
                                            const double* knots,
                                            double param) {
    if (!BasisArgumentsFit(index, order, knots)) {
        return 0.0;
    }
    return BasisFirst(index, order, knots, param);
}

double C2DBSpline::SplineBlend2ndDif(int index,
                                     int order,
                                     const C1DArray<double>& knots,
                                     double param) {
    if (!BasisArgumentsFit(index, order, knots)) {
        return 0.0;
    }
    return BasisSecond(index, order, &knots[0], param);
}

double C2DBSpline::SplineBlend2ndDif(int index, int order, const double* knots, double param) {
    if (!BasisArgumentsFit(index, order, knots)) {
        return 0.0;
    }
    return BasisSecond(index, order, knots, param);
}

// Sum of the basis functions weighting the control points, in ascending index order.
void C2DBSpline::SplinePoint(const double* knots,
                             int lastIndex,
                             int order,
                             double param,
                             const double* ctrlX,
                             const double* ctrlY,
                             const double* ctrlZ,
                             double* outX,
                             double* outY,
                             double* outZ,
                             int dimension) {
    *outX = 0.0;
    *outY = 0.0;
    *outZ = 0.0;
    if (lastIndex < 0 || dimension < 1 || dimension > 3) {
        return;
    }
    for (int j = 0; j <= lastIndex; ++j) {
        const double weight = SplineBaseFunction(j, order, knots, param);
        *outX += weight * ctrlX[j];
        if (dimension >= 2) {
            *outY += weight * ctrlY[j];
        }
        if (dimension == 3) {
            *outZ += weight * ctrlZ[j];
        }
    }
}

// Equal parameter steps over the range of a unit-spaced clamped knot vector, the parameter
// accumulated by repeated addition; the end (where the half-open basis vanishes) is the last
// control point itself.
void C2DBSpline::SplineCurve(const double* ctrlX,
                             const double* ctrlY,
                             const double* ctrlZ,
                             int lastIndex,
                             const double* knots,
                             int order,
                             double* outX,
                             double* outY,
                             double* outZ,
                             int dimension,
                             int pointCount) {
    if (pointCount < 1) {
        return;
    }
    if (pointCount > 1) {
        // The integer range lastIndex - order + 2, formed in double so that it cannot overflow.
        const double range = static_cast<double>(lastIndex) - static_cast<double>(order) + 2.0;
        const double step = range / (static_cast<double>(pointCount) - 1.0);
        double param = 0.0;
        for (int m = 0; m <= pointCount - 2; ++m) {
            SplinePoint(knots,
                        lastIndex,
                        order,
                        param,
                        ctrlX,
                        ctrlY,
                        ctrlZ,
                        &outX[m],
                        &outY[m],
                        &outZ[m],
                        dimension);
            param += step;
        }
    }
    const int m = pointCount - 1;
    if (dimension < 1 || dimension > 3) {
        return;
    }
    const bool hasControl = lastIndex >= 0;
    outX[m] = hasControl ? ctrlX[lastIndex] : 0.0;
    outY[m] = hasControl ? ctrlY[lastIndex] : 0.0;
    if (dimension == 3) {
        outZ[m] = hasControl ? ctrlZ[lastIndex] : 0.0;
    }
}

// Thin, parametrise by chord length, fit a clamped cubic spline (interpolating with natural ends,
// or least squares with fixed ends), then evaluate it at S - 1 equal steps over [0, 1).
EErrorType C2DBSpline::GetSamplePoint(const C1DArray<C2DCoordinate>& points,
                                      double interval,
                                      C1DArray<C2DCoordinate>& samples,
                                      bool passThrough) {
    const int sampleCount = samples.GetSize();
    C1DArray<C2DCoordinate> kept(points);
    RemoveSamePoint(kept);
    const int pointCount = kept.GetSize();
    C1DArray<double> params;
    params.SetSize(pointCount);
    if (!GetCurveParam(kept, params)) {
        return CurveParamError;
    }
    double length = 0.0;
    for (int j = 1; j < pointCount; ++j) {
        length += CalcDistance(kept[j], kept[j - 1]);
    }

    int controlCount = 0;
    C1DArray<double> knots;
    if (passThrough) {
        controlCount = pointCount + 2;
        if (!GetKnotVector(controlCount, kCubicOrder, params, knots)) {
            return KnotVectorError;
        }
    } else {
        if (!(interval > 0.0)) {
            return IntervalError;
        }
        const double controlReal = (length / interval) * 0.5;
        // Beyond pointCount + 3 control points a knot would need a parameter before the first
        // (and beyond pointCount the fit is singular, rejected below). Checked before the
        // truncation, which could not represent a huge count.
        if (!(controlReal < static_cast<double>(pointCount) + 4.0)) {
            return ControlPointError;
        }
        controlCount = static_cast<int>(controlReal);
        if (!GetKnotVector(pointCount, controlCount, kCubicOrder, params, knots)) {
            return KnotVectorError;
        }
    }
    if (controlCount < 4 || (!passThrough && controlCount > pointCount)) {
        return ControlPointError;
    }

    C1DArray<C2DCoordinate> control;
    control.SetSize(controlCount);
    if (control.GetSize() != controlCount) {
        return ControlPointError;
    }
    const bool solved = passThrough
                            ? GetControlPointOnPassPt(kCubicOrder, kept, params, knots, control)
                            : GetControlPointNearPassPt(kCubicOrder, kept, params, knots, control);
    if (!solved) {
        return ControlPointError;
    }

    const double* plainKnots = &knots[0];  // controlCount + 4 contiguous values
    const bool spanwise = SpanwiseKnots(plainKnots, controlCount + kCubicOrder);
    int s = -1;  // the span of the last sample; the parameters only grow
    for (int j = 0; j <= sampleCount - 2; ++j) {
        const double t = static_cast<double>(j) / static_cast<double>(sampleCount - 1);
        double x = 0.0;
        double y = 0.0;
        if (spanwise) {
            if (s < 0) {
                s = FindSpan(plainKnots, controlCount + kCubicOrder, t);
            } else {
                while (plainKnots[s + 1] <= t) {
                    ++s;
                }
            }
        }
        if (s >= 0) {
            // Only the four functions of the span are not zero; the control points are finite,
            // so the other terms would add exact zeros.
            double weights[4];
            CubicWeights(plainKnots, s, t, weights);
            for (int i = s - 3; i <= s; ++i) {
                x += weights[i - (s - 3)] * XOf(control[i]);
                y += weights[i - (s - 3)] * YOf(control[i]);
            }
        } else {
            for (int i = 0; i < controlCount; ++i) {
                const double weight = SplineBaseFunction(i, kCubicOrder, plainKnots, t);
                x += weight * XOf(control[i]);
                y += weight * YOf(control[i]);
            }
        }
        samples.SetAt(j, C2DCoordinate(x, y));
    }
    if (sampleCount >= 1) {
        samples.SetAt(sampleCount - 1, points[points.GetSize() - 1]);
    }
    return NoError;
}

// Each point is compared with its predecessor as it was on entry, so a run of crowding points
// shrinks to its first point however far the run extends.
void C2DBSpline::RemoveSamePoint(C1DArray<C2DCoordinate>& points) {
    const int count = points.GetSize();
    if (count < 2) {
        return;
    }
    C2DCoordinate previous(points[0]);
    int keptCount = 1;
    for (int j = 1; j < count; ++j) {
        const C2DCoordinate current(points[j]);
        const bool same = std::fabs(XOf(previous) - XOf(current)) < kSamePointDistance &&
                          std::fabs(YOf(previous) - YOf(current)) < kSamePointDistance;
        previous = current;
        if (!same) {
            points.SetAt(keptCount, current);
            ++keptCount;
        }
    }
    points.SetSize(keptCount);
}

// Chord-length parametrisation, the last value pulled inside the last half-open span.
bool C2DBSpline::GetCurveParam(const C1DArray<C2DCoordinate>& points, C1DArray<double>& params) {
    const int count = points.GetSize();
    if (count < 2 || params.GetSize() < count) {
        return false;
    }
    double length = 0.0;
    for (int j = 1; j < count; ++j) {
        length += CalcDistance(points[j], points[j - 1]);
    }
    if (length == 0.0 || !std::isfinite(length)) {
        return false;
    }
    params[0] = 0.0;
    for (int j = 1; j < count; ++j) {
        params[j] = CalcDistance(points[j], points[j - 1]) / length + params[j - 1];  // order fixed
    }
    params[count - 1] = kLastParam;
    return true;
}

double C2DBSpline::CalcDistance(const C2DCoordinate& a, const C2DCoordinate& b) {
    const double dx = XOf(a) - XOf(b);
    const double dy = YOf(a) - YOf(b);
    return std::sqrt(dx * dx + dy * dy);
}

bool C2DBSpline::GetKnotVector(int count, int order, C1DArray<double>& knots) {
    const int spans = count - order + 1;
    if (count < 0 || order < 1 || spans == 0 || !SizeClampedKnots(count, order, knots)) {
        return false;
    }
    for (int j = order; j < count; ++j) {
        knots[j] = static_cast<double>(j - order + 1) / static_cast<double>(spans);
    }
    return true;
}

bool C2DBSpline::GetKnotVector(int count,
                               int order,
                               C1DArray<double>& params,
                               C1DArray<double>& knots) {
    const int spans = count - order + 1;
    if (count < 0 || order < 1 || spans == 0 || (order < count && params.GetSize() < spans) ||
        !SizeClampedKnots(count, order, knots)) {
        return false;
    }
    for (int j = order; j < count; ++j) {
        knots[j] = params[j - order + 1];
    }
    return true;
}

// Interior knots interpolated linearly between neighbouring parameters at positions spaced
// pointCount / spans apart.
bool C2DBSpline::GetKnotVector(
    int pointCount, int count, int order, C1DArray<double>& params, C1DArray<double>& knots) {
    const int spans = count - order + 1;
    if (count < 0 || order < 1 || spans == 0) {
        return false;
    }
    // Knot j reads params[floor(j * pointCount / spans) - 1 ..]: inside the parameters only when
    // pointCount >= spans.
    if (spans >= 2 && (pointCount < spans || params.GetSize() < pointCount)) {
        return false;
    }
    if (!SizeClampedKnots(count, order, knots)) {
        return false;
    }
    if (spans < 2) {
        return true;
    }
    const double step = static_cast<double>(pointCount) / static_cast<double>(spans);
    for (int j = 1; j <= spans - 1; ++j) {
        const double position = static_cast<double>(j) * step;
        const int i = static_cast<int>(position);
        const double alpha = position - static_cast<double>(i);
        knots[order + j - 1] = (1.0 - alpha) * params[i - 1] + alpha * params[i];
    }
    return true;
}

// GetControlPointOnPassPt along the band: each row of A has at most four entries that are not
// exact zeros, so R^T R is formed from those, the inverse comes from GetInverted as before (its
// elimination follows the band), and (A^T A)^-1 A^T B is summed over the non-zero entries of A
// only. Every sum keeps its order and every product left out is an exact zero, so the control
// points are the same bits. -1 when the knots or a basis value do not allow it (the caller then
// forms the dense matrices); otherwise 1 with control written, or 0 with control untouched.
int C2DBSpline::OnPassPtSpanwise(int order,
                                 const C1DArray<C2DCoordinate>& points,
                                 const C1DArray<double>& params,
                                 const C1DArray<double>& knots,
                                 C1DArray<C2DCoordinate>& control) {
    const int pointCount = points.GetSize();
    const int controlCount = control.GetSize();
    const int rowCount = pointCount + 2;
    if (order != kCubicOrder || knots.GetSize() != controlCount + kCubicOrder ||
        !SpanwiseKnots(&knots[0], knots.GetSize())) {
        return -1;
    }
    C1DArray<SSparseRow> rows;
    rows.SetSize(rowCount);
    if (rows.GetSize() != rowCount) {
        return -1;
    }
    // The end rows: zero second derivative at both ends.
    rows[0].start = 0;
    rows[0].count = 3;
    rows[rowCount - 1].start = controlCount - 3;
    rows[rowCount - 1].count = 3;
    for (int c = 0; c < 3; ++c) {
        rows[0].values[c] = SplineBlend2ndDif(c, order, knots, params[0]);
        rows[rowCount - 1].values[c] =
            SplineBlend2ndDif(controlCount - 3 + c, order, knots, params[pointCount - 1]);
        if (!std::isfinite(rows[0].values[c]) || !std::isfinite(rows[rowCount - 1].values[c])) {
            return -1;
        }
    }
    for (int r = 1; r <= pointCount; ++r) {
        if (!CubicRow(&knots[0], controlCount, params[r - 1], 0, controlCount - 1, rows[r])) {
            return -1;
        }
    }
    CMNMatrix normal(controlCount, controlCount, 0.0);
    for (int r = 0; r < rowCount; ++r) {
        AddOuterProduct(rows[r], 0, normal);
    }
    const CMNMatrix normalInverse = normal.GetInverted();
    if (normalInverse.Rows() != controlCount || !AllFinite(normalInverse)) {
        return 0;  // singular: the dense product would not be finite either; control untouched
    }
    // solution(i, .) = sum over rows r of pseudoInverse(i, r) B(r, .), with pseudoInverse(i, r) =
    // sum over the row's entries of inverse(i, k) A(r, k); B's end rows are zeros.
    // Every row padded to four entries (the padding products are exact zeros, which leave the
    // sums as they are), and four control points at a time, so that their independent sums
    // overlap.
    for (int r = 0; r < rowCount; ++r) {
        SSparseRow& row = rows[r];
        if (row.count == 0) {
            row.start = 0;
        }
        while (row.count < 4) {
            if (row.start + row.count < controlCount) {
                row.values[row.count] = 0.0;  // a zero after the stretch
            } else {
                for (int q = row.count; q > 0; --q) {
                    row.values[q] = row.values[q - 1];
                }
                row.values[0] = 0.0;  // a zero before it
                --row.start;
            }
            ++row.count;
        }
    }
    // The inverse read column-wise (transposed once), eight control points at a time: the same
    // operations for each, side by side.
    const CMNMatrix inverseByColumn = normalInverse.GetTransposed();
    CMNMatrix solution(controlCount, 2, 0.0);
    constexpr int kBlock = 8;
    for (int first = 0; first < controlCount; first += kBlock) {
        const int count = controlCount - first < kBlock ? controlCount - first : kBlock;
        double x[kBlock] = {};
        double y[kBlock] = {};
        for (int r = 0; r < rowCount; ++r) {
            const SSparseRow& row = rows[r];
            const bool inner = r >= 1 && r <= pointCount;
            const double bx = inner ? XOf(points[r - 1]) : 0.0;
            const double by = inner ? YOf(points[r - 1]) : 0.0;
            double pseudo[kBlock] = {};
            for (int q = 0; q < 4; ++q) {
                const double value = row.values[q];
                for (int c = 0; c < count; ++c) {
                    pseudo[c] += inverseByColumn(row.start + q, first + c) * value;
                }
            }
            for (int c = 0; c < count; ++c) {
                x[c] += pseudo[c] * bx;
                y[c] += pseudo[c] * by;
            }
        }
        for (int c = 0; c < count; ++c) {
            solution(first + c, 0) = x[c];
            solution(first + c, 1) = y[c];
        }
    }
    if (!AllFinite(solution)) {
        return 0;
    }
    for (int c = 0; c < controlCount; ++c) {
        control[c].SetVector(solution(c, 0), solution(c, 1));
    }
    return 1;
}

// GetControlPointNearPassPt along the band, as OnPassPtSpanwise: the same -1, 0 and 1.
int C2DBSpline::NearPassPtSpanwise(int order,
                                   const C1DArray<C2DCoordinate>& points,
                                   const C1DArray<double>& params,
                                   const C1DArray<double>& knots,
                                   C1DArray<C2DCoordinate>& control) {
    const int pointCount = points.GetSize();
    const int controlCount = control.GetSize();
    const int rows = pointCount - 2;
    const int inner = controlCount - 2;
    if (order != kCubicOrder || knots.GetSize() != controlCount + kCubicOrder ||
        !SpanwiseKnots(&knots[0], knots.GetSize())) {
        return -1;
    }
    const double* u = &knots[0];
    const C2DCoordinate& first = points[0];
    const C2DCoordinate& last = points[pointCount - 1];
    CMNMatrix normal(inner, inner, 0.0);
    CMNMatrix rightHandSide(inner, 2, 0.0);
    for (int r = 1; r <= rows; ++r) {
        SSparseRow row;  // the inner columns 1 .. controlCount - 2
        if (!CubicRow(u, controlCount, params[r], 1, controlCount - 2, row)) {
            return -1;
        }
        // The end weights, exact zeros unless the span reaches the end functions.
        double firstWeight = 0.0;
        double lastWeight = 0.0;
        const int s = FindSpan(u, controlCount + kCubicOrder, params[r]);
        if (s >= 0 && (s == 3 || s == controlCount - 1)) {
            double weights[4];
            CubicWeights(u, s, params[r], weights);
            firstWeight = s == 3 ? weights[0] : 0.0;
            lastWeight = s == controlCount - 1 ? weights[3] : 0.0;
        }
        if (!std::isfinite(firstWeight) || !std::isfinite(lastWeight)) {
            return -1;
        }
        // clang-format off
        const double restX = (XOf(points[r]) - firstWeight * XOf(first)) - lastWeight * XOf(last);
        const double restY = (YOf(points[r]) - firstWeight * YOf(first)) - lastWeight * YOf(last);
        // clang-format on
        for (int q = 0; q < row.count; ++q) {
            rightHandSide(row.start + q - 1, 0) += row.values[q] * restX;
            rightHandSide(row.start + q - 1, 1) += row.values[q] * restY;
        }
        AddOuterProduct(row, 1, normal);
    }
    const CMNMatrix normalInverse = normal.GetInverted();
    const CMNMatrix solution = normalInverse * rightHandSide;
    if (solution.Rows() != inner || solution.Cols() != 2 || !AllFinite(solution)) {
        return 0;  // a singular normal matrix; control untouched
    }
    control[0] = first;
    control[controlCount - 1] = last;
    for (int c = 1; c <= inner; ++c) {
        control[c].SetVector(solution(c - 1, 0), solution(c - 1, 1));
    }
    return 1;
}

// Interpolation by the normal equations of A X = B: the rows of A put the points on the curve at
// their parameters, and its first and last rows make the second derivative vanish at both ends.
bool C2DBSpline::GetControlPointOnPassPt(int order,
                                         const C1DArray<C2DCoordinate>& points,
                                         const C1DArray<double>& params,
                                         const C1DArray<double>& knots,
                                         C1DArray<C2DCoordinate>& control) {
    const int pointCount = points.GetSize();
    const int controlCount = control.GetSize();
    if (pointCount < 1 || controlCount < 3 || params.GetSize() < pointCount) {
        return false;
    }
    const int spanwise = OnPassPtSpanwise(order, points, params, knots, control);
    if (spanwise >= 0) {
        return spanwise == 1;
    }
    CMNMatrix a(pointCount + 2, controlCount, 0.0);
    for (int c = 0; c < 3; ++c) {
        a(0, c) = SplineBlend2ndDif(c, order, knots, params[0]);
    }
    for (int r = 1; r <= pointCount; ++r) {
        for (int c = 0; c < controlCount; ++c) {
            a(r, c) = SplineBaseFunction(c, order, knots, params[r - 1]);
        }
    }
    for (int c = controlCount - 3; c < controlCount; ++c) {
        a(pointCount + 1, c) = SplineBlend2ndDif(c, order, knots, params[pointCount - 1]);
    }
    CMNMatrix b(pointCount + 2, 2, 0.0);
    for (int r = 1; r <= pointCount; ++r) {
        b(r, 0) = XOf(points[r - 1]);
        b(r, 1) = YOf(points[r - 1]);
    }
    const CMNMatrix aTransposed = a.GetTransposed();
    const CMNMatrix normal = aTransposed * a;
    const CMNMatrix normalInverse = normal.GetInverted();
    const CMNMatrix pseudoInverse = normalInverse * aTransposed;
    const CMNMatrix solution = pseudoInverse * b;
    if (solution.Rows() != controlCount || solution.Cols() != 2 || !AllFinite(solution)) {
        return false;  // a singular normal matrix; control untouched
    }
    for (int c = 0; c < controlCount; ++c) {
        control[c].SetVector(solution(c, 0), solution(c, 1));
    }
    return true;
}

// Least squares with the end control points fixed at the end points: the inner control points
// solve (N^T N) X = N^T R, R the points less the share of the fixed ends.
bool C2DBSpline::GetControlPointNearPassPt(int order,
                                           const C1DArray<C2DCoordinate>& points,
                                           const C1DArray<double>& params,
                                           const C1DArray<double>& knots,
                                           C1DArray<C2DCoordinate>& control) {
    const int pointCount = points.GetSize();
    const int controlCount = control.GetSize();
    if (pointCount < 3 || controlCount < 3 || params.GetSize() < pointCount) {
        return false;
    }
    const int spanwise = NearPassPtSpanwise(order, points, params, knots, control);
    if (spanwise >= 0) {
        return spanwise == 1;
    }
    const int rows = pointCount - 2;
    const int inner = controlCount - 2;
    const C2DCoordinate& first = points[0];
    const C2DCoordinate& last = points[pointCount - 1];
    CMNMatrix basis(rows, inner, 0.0);
    CMNMatrix rest(rows, 2, 0.0);  // each inner point less the share of the fixed end points
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= inner; ++c) {
            basis(r - 1, c - 1) = SplineBaseFunction(c, order, knots, params[r]);
        }
        const double firstWeight = SplineBaseFunction(0, order, knots, params[r]);
        const double lastWeight = SplineBaseFunction(controlCount - 1, order, knots, params[r]);
        // clang-format off
        rest(r - 1, 0) = (XOf(points[r]) - firstWeight * XOf(first)) - lastWeight * XOf(last);
        rest(r - 1, 1) = (YOf(points[r]) - firstWeight * YOf(first)) - lastWeight * YOf(last);
        // clang-format on
    }
    CMNMatrix rightHandSide(inner, 2, 0.0);
    for (int c = 1; c <= inner; ++c) {
        double x = 0.0;
        double y = 0.0;
        for (int r = 1; r <= rows; ++r) {
            x += basis(r - 1, c - 1) * rest(r - 1, 0);
            y += basis(r - 1, c - 1) * rest(r - 1, 1);
        }
        rightHandSide(c - 1, 0) = x;
        rightHandSide(c - 1, 1) = y;
    }
    const CMNMatrix basisTransposed = basis.GetTransposed();
    const CMNMatrix normal = basisTransposed * basis;
    const CMNMatrix normalInverse = normal.GetInverted();
    const CMNMatrix solution = normalInverse * rightHandSide;
    if (solution.Rows() != inner || solution.Cols() != 2 || !AllFinite(solution)) {
        return false;  // a singular normal matrix; control untouched
    }
    control[0] = first;
    control[controlCount - 1] = last;
    for (int c = 1; c <= inner; ++c) {
        control[c].SetVector(solution(c - 1, 0), solution(c - 1, 1));
    }
    return true;
}
