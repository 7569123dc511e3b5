#include "polyview/geometry2d/bspline2d_band.h"

#include <cmath>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector2d.h"
#include "polyview/geometry2d/bspline2d.h"

namespace bspline_band {

namespace {

constexpr int kCubicOrder = 4;  // the band forms are for cubic splines only

// Knots that the span-wise evaluation below may use: finite, within [0, 1], non-decreasing, and
// every non-zero gap at least kSmallestGap. Then every quotient of the recursion is finite (at
// most 1 / kSmallestGap), and a basis function whose support does not hold t comes out of the
// recursion as an exact zero, whose products leave every sum as it is.
constexpr double kSmallestGap = 1e-300;

// Level kOrder of the Cox-de Boor recursion of SplineBaseFunction in span s: upper[r] = N(s - 3 +
// r, kOrder) from lower[r] = N(s - 3 + r, kOrder - 1), for the functions whose support holds the
// span (r >= 4 - kOrder); the others, and the vanishing children, are taken as 0.0 instead of being
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

}  // namespace

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

// GetControlPointOnPassPt along the band: each row of A has at most four entries that are not
// exact zeros, so R^T R is formed from those, the inverse comes from GetInverted as before (its
// elimination follows the band), and (A^T A)^-1 A^T B is summed over the non-zero entries of A
// only. Every sum keeps its order and every product left out is an exact zero, so the control
// points are the same bits.
EBandSolve OnPassPtSpanwise(int order,
                            const C1DArray<C2DCoordinate>& points,
                            const C1DArray<double>& params,
                            const C1DArray<double>& knots,
                            C1DArray<C2DCoordinate>& control) {
    const int pointCount = points.GetSize();
    const int controlCount = control.GetSize();
    const int rowCount = pointCount + 2;
    if (order != kCubicOrder || knots.GetSize() != controlCount + kCubicOrder ||
        !SpanwiseKnots(&knots[0], knots.GetSize())) {
        return EBandSolve::kNotBanded;
    }
    C1DArray<SSparseRow> rows;
    rows.SetSize(rowCount);
    if (rows.GetSize() != rowCount) {
        return EBandSolve::kNotBanded;
    }
    // The end rows: zero second derivative at both ends.
    rows[0].start = 0;
    rows[0].count = 3;
    rows[rowCount - 1].start = controlCount - 3;
    rows[rowCount - 1].count = 3;
    for (int c = 0; c < 3; ++c) {
        rows[0].values[c] = C2DBSpline::SplineBlend2ndDif(c, order, knots, params[0]);
        rows[rowCount - 1].values[c] = C2DBSpline::SplineBlend2ndDif(
            controlCount - 3 + c, order, knots, params[pointCount - 1]);
        if (!std::isfinite(rows[0].values[c]) || !std::isfinite(rows[rowCount - 1].values[c])) {
            return EBandSolve::kNotBanded;
        }
    }
    for (int r = 1; r <= pointCount; ++r) {
        if (!CubicRow(&knots[0], controlCount, params[r - 1], 0, controlCount - 1, rows[r])) {
            return EBandSolve::kNotBanded;
        }
    }
    CMNMatrix normal(controlCount, controlCount, 0.0);
    for (int r = 0; r < rowCount; ++r) {
        AddOuterProduct(rows[r], 0, normal);
    }
    const CMNMatrix normalInverse = normal.GetInverted();
    if (normalInverse.Rows() != controlCount || !AllFinite(normalInverse)) {
        return EBandSolve::kFailed;  // singular: the dense product would not be finite either;
                                     // control untouched
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
        return EBandSolve::kFailed;
    }
    for (int c = 0; c < controlCount; ++c) {
        control[c].SetVector(solution(c, 0), solution(c, 1));
    }
    return EBandSolve::kSolved;
}

// GetControlPointNearPassPt along the band, as OnPassPtSpanwise.
EBandSolve NearPassPtSpanwise(int order,
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
        return EBandSolve::kNotBanded;
    }
    const double* u = &knots[0];
    const C2DCoordinate& first = points[0];
    const C2DCoordinate& last = points[pointCount - 1];
    CMNMatrix normal(inner, inner, 0.0);
    CMNMatrix rightHandSide(inner, 2, 0.0);
    for (int r = 1; r <= rows; ++r) {
        SSparseRow row;  // the inner columns 1 .. controlCount - 2
        if (!CubicRow(u, controlCount, params[r], 1, controlCount - 2, row)) {
            return EBandSolve::kNotBanded;
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
            return EBandSolve::kNotBanded;
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
        return EBandSolve::kFailed;  // a singular normal matrix; control untouched
    }
    control[0] = first;
    control[controlCount - 1] = last;
    for (int c = 1; c <= inner; ++c) {
        control[c].SetVector(solution(c - 1, 0), solution(c - 1, 1));
    }
    return EBandSolve::kSolved;
}

}  // namespace bspline_band
