#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/polyview_export.h"

// The result of C2DBSpline::GetSamplePoint.
enum EErrorType {
    NoError = 0,            // the samples were written
    CurveParamError = 1,    // fewer than 2 points after thinning, or no finite non-zero length
    KnotVectorError = 2,    // the knot vector cannot be formed (exactly 3 control points)
    IntervalError = 3,      // approximation with an interval that is not > 0
    ControlPointError = 4,  // fewer than 4 control points, more than the points, or no finite fit
};

// B-spline curves: the basis functions of order k (degree k - 1) by the Cox-de Boor recursion and
// their derivatives, curve evaluation, and a cubic spline through or near picked image points,
// resampled at equal parameter steps. No data; every function is static. Basis functions are
// indexed from 0 and N(i, k) uses the knots U[i] .. U[i + k]; spans are half-open [U[j], U[j+1]).
class POLYVIEW_EXPORT C2DBSpline {
  public:
    C2DBSpline();
    C2DBSpline(const C2DBSpline& other);
    C2DBSpline& operator=(const C2DBSpline& other);
    virtual ~C2DBSpline();

    // N(index, order) at param. 0.0 for an order below 1, a negative index, or (array form) an
    // index whose knots U[index .. index + order] lie outside the array.
    static double SplineBaseFunction(int index,
                                     int order,
                                     const C1DArray<double>& knots,
                                     double param);
    // N(index, order) at param; knots must hold U[index .. index + order]. 0.0 for an order
    // below 1, a negative index or null knots.
    static double SplineBaseFunction(int index, int order, const double* knots, double param);
    // First derivative N'(index, order) at param; 0.0 for the arguments the basis form refuses.
    static double SplineBaseFunction1stDif(int index,
                                           int order,
                                           const C1DArray<double>& knots,
                                           double param);
    // First derivative N'(index, order) at param; same preconditions as the plain basis form.
    static double SplineBaseFunction1stDif(int index, int order, const double* knots, double param);
    // Second derivative N''(index, order) at param; 0.0 for the arguments the basis form refuses.
    static double SplineBlend2ndDif(int index,
                                    int order,
                                    const C1DArray<double>& knots,
                                    double param);
    // Second derivative N''(index, order) at param; same preconditions as the plain basis form.
    static double SplineBlend2ndDif(int index, int order, const double* knots, double param);

    // The curve point at param of control points 0 .. lastIndex (knots U[0 .. lastIndex +
    // order]). dimension 1 uses X, 2 X and Y, 3 X, Y and Z. All three outputs are first set to
    // 0.0 and stay 0.0 for other dimensions or a negative lastIndex. All pointers must be valid.
    static void SplinePoint(const double* knots,
                            int lastIndex,
                            int order,
                            double param,
                            const double* ctrlX,
                            const double* ctrlY,
                            const double* ctrlZ,
                            double* outX,
                            double* outY,
                            double* outZ,
                            int dimension);
    // pointCount curve points at parameters 0, step, 2 step, ... (step = (lastIndex - order + 2)
    // / (pointCount - 1), the range of a unit-spaced clamped knot vector); the last point is the
    // last control point. Every array must hold pointCount values (X, Y and Z whatever the
    // dimension). Nothing is written when pointCount < 1; with a negative lastIndex the last
    // point gets 0.0 in place of a control point.
    static void SplineCurve(const double* ctrlX,
                            const double* ctrlY,
                            const double* ctrlZ,
                            int lastIndex,
                            const double* knots,
                            int order,
                            double* outX,
                            double* outY,
                            double* outZ,
                            int dimension,
                            int pointCount);

    // Fits a cubic spline through (passThrough) or near the points, after dropping each point
    // within 2.0 in both x and y of its predecessor, and writes samples.GetSize() points at equal
    // parameter steps; the last sample is the last input point. In the approximation mode the
    // number of control points is (length / interval) * 0.5, truncated. On any error other than
    // NoError, samples is untouched; samples is never resized, and a size of 0 writes nothing.
    static EErrorType GetSamplePoint(const C1DArray<C2DCoordinate>& points,
                                     double interval,
                                     C1DArray<C2DCoordinate>& samples,
                                     bool passThrough);

  private:
    friend class C2DBSplineTestAccess;  // the unit tests reach the private steps through it

    // Removes every point within 2.0 (strict, in x and in y) of its predecessor on entry.
    static void RemoveSamePoint(C1DArray<C2DCoordinate>& points);
    // Chord-length parameters in [0, 1) into params (already sized to the point count), the last
    // 0.999999999. False, params untouched, with fewer than 2 points or a polyline length that is
    // 0 or not finite.
    static bool GetCurveParam(const C1DArray<C2DCoordinate>& points, C1DArray<double>& params);
    // Euclidean distance between a and b.
    static double CalcDistance(const C2DCoordinate& a, const C2DCoordinate& b);
    // Uniform clamped knot vector of count + order values. False (knots untouched) when
    // count - order + 1 is 0, count < 0, order < 1 or storage cannot be had.
    static bool GetKnotVector(int count, int order, C1DArray<double>& knots);
    // Interpolation knot vector: the interior parameters become the interior knots. False as
    // the uniform form, or when params is too short.
    static bool GetKnotVector(int count,
                              int order,
                              C1DArray<double>& params,
                              C1DArray<double>& knots);
    // Approximation knot vector: interior knots between neighbouring parameters. False as the
    // uniform form, or when a knot would need a parameter outside params[0 .. pointCount - 1].
    static bool GetKnotVector(
        int pointCount, int count, int order, C1DArray<double>& params, C1DArray<double>& knots);
    // Control points (control already sized to M = point count + 2) of the spline through every
    // point with zero second derivative at both ends. False, control untouched, when the sizes
    // do not fit or the solve gives a value that is not finite.
    static bool GetControlPointOnPassPt(int order,
                                        const C1DArray<C2DCoordinate>& points,
                                        const C1DArray<double>& params,
                                        const C1DArray<double>& knots,
                                        C1DArray<C2DCoordinate>& control);
    // Control points (control already sized to M) of the least-squares spline whose end control
    // points are the end points. False, control untouched, when the sizes do not fit or the solve
    // gives a value that is not finite.
    static bool GetControlPointNearPassPt(int order,
                                          const C1DArray<C2DCoordinate>& points,
                                          const C1DArray<double>& params,
                                          const C1DArray<double>& knots,
                                          C1DArray<C2DCoordinate>& control);
};
