#include "polyview/geometry2d/bspline2d.h"

#include <cmath>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector2d.h"
#include "polyview/geometry2d/bspline2d_band.h"

namespace {

using bspline_band::AllFinite;
using bspline_band::XOf;
using bspline_band::YOf;

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
    const bool spanwise = bspline_band::SpanwiseKnots(plainKnots, controlCount + kCubicOrder);
    int s = -1;  // the span of the last sample; the parameters only grow
    for (int j = 0; j <= sampleCount - 2; ++j) {
        const double t = static_cast<double>(j) / static_cast<double>(sampleCount - 1);
        double x = 0.0;
        double y = 0.0;
        if (spanwise) {
            if (s < 0) {
                s = bspline_band::FindSpan(plainKnots, controlCount + kCubicOrder, t);
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
            bspline_band::CubicWeights(plainKnots, s, t, weights);
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
    const bspline_band::EBandSolve banded =
        bspline_band::OnPassPtSpanwise(order, points, params, knots, control);
    if (banded != bspline_band::EBandSolve::kNotBanded) {
        return banded == bspline_band::EBandSolve::kSolved;
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
    const bspline_band::EBandSolve banded =
        bspline_band::NearPassPtSpanwise(order, points, params, knots, control);
    if (banded != bspline_band::EBandSolve::kNotBanded) {
        return banded == bspline_band::EBandSolve::kSolved;
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
