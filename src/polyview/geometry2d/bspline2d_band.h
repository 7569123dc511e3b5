#pragma once

// Private to the library (not installed): the cubic B-spline fits of C2DBSpline solved along the
// band of their systems, and the span-wise evaluation they and the sampler share.

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/matrix_mn.h"

// The outcome of a band solve.
// The band solvers are internal to the B-spline fit: their names stay in this namespace.
namespace bspline_band {

enum class EBandSolve {
    kNotBanded,  // the knots or a basis value do not allow it: the dense solve must run
    kSolved,     // control written
    kFailed,     // singular, or a value that is not finite; control untouched
};

// True when the span-wise evaluation may use the knots u[0 .. count - 1]: finite, within [0, 1],
// non-decreasing, and every non-zero gap at least 1e-300. Then every quotient of the recursion is
// finite, and a basis function whose support does not hold t comes out as an exact zero.
// The x and y of a point, and whether every entry of a matrix is finite: shared by both fits.
double XOf(const C2DVector& point);
double YOf(const C2DVector& point);
bool AllFinite(const CMNMatrix& matrix);

bool SpanwiseKnots(const double* u, int count);
// The knot span of t: the s with u[s] <= t < u[s + 1] (unique for non-decreasing knots), or -1
// when t lies outside [u[0], u[count - 1]).
int FindSpan(const double* u, int count, double t);
// The cubic basis functions N(s - 3 .. s, 4) at t in span s (s >= 3, u[s + 4] present) into
// weights[0..3], the same values as C2DBSpline::SplineBaseFunction. Needs SpanwiseKnots.
void CubicWeights(const double* u, int s, double t, double* weights);

// C2DBSpline::GetControlPointOnPassPt along the band (order 4 and knots of control.GetSize() + 4
// values that pass SpanwiseKnots, else kNotBanded): the same control points bit for bit.
EBandSolve OnPassPtSpanwise(int order,
                            const C1DArray<C2DCoordinate>& points,
                            const C1DArray<double>& params,
                            const C1DArray<double>& knots,
                            C1DArray<C2DCoordinate>& control);
// C2DBSpline::GetControlPointNearPassPt along the band, under the same conditions.
EBandSolve NearPassPtSpanwise(int order,
                              const C1DArray<C2DCoordinate>& points,
                              const C1DArray<double>& params,
                              const C1DArray<double>& knots,
                              C1DArray<C2DCoordinate>& control);

}  // namespace bspline_band
