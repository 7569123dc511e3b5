#include "polyview/geometry2d/bspline2d.h"

#include <array>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "support/expect_geometry.h"

// Reaches the private steps of the sampler.
class C2DBSplineTestAccess : public C2DBSpline {
  public:
    using C2DBSpline::GetControlPointNearPassPt;
    using C2DBSpline::GetControlPointOnPassPt;
    using C2DBSpline::GetCurveParam;
    using C2DBSpline::GetKnotVector;
    using C2DBSpline::RemoveSamePoint;
};

namespace {

using Access = C2DBSplineTestAccess;
const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

C1DArray<C2DCoordinate> Points(const std::vector<C2DCoordinate>& points) {
    return ToArray(points);
}

// count copies of (-7, -7), to see what was written.
C1DArray<C2DCoordinate> Sentinels(int count) {
    return Points(std::vector<C2DCoordinate>(static_cast<size_t>(count), C2DCoordinate(-7, -7)));
}

void ExpectAllSentinels(const C1DArray<C2DCoordinate>& samples) {
    for (int i = 0; i < samples.GetSize(); ++i) {
        ExpectVectorNear(samples[i], C2DVector(-7.0, -7.0), 0.0);
    }
}

// N, N' and N'' of basis function index at t.
std::array<double, 3> Basis(int index, int order, const C1DArray<double>& knots, double t) {
    return {C2DBSpline::SplineBaseFunction(index, order, knots, t),
            C2DBSpline::SplineBaseFunction1stDif(index, order, knots, t),
            C2DBSpline::SplineBlend2ndDif(index, order, knots, t)};
}

// ---- basis functions

TEST(C2DBSplineBasis, QuadraticValuesWorkedByHand) {
    // Knots 0 0 0 1 2 2 2: on [0, 1) N0 = (1 - t)^2, N1 = 2t - 1.5t^2, N2 = t^2 / 2, N3 = 0;
    // on [1, 2) N1 = (2 - t)^2 / 2, N3 = (t - 1)^2 and N2 = 1 - N1 - N3.
    const C1DArray<double> knots = ToArray<double>({0, 0, 0, 1, 2, 2, 2});
    const struct {
        double t;
        double n[3][4];  // the functions 0 to 3, their first and second derivatives
    } cases[] = {{0.5, {{0.25, 0.625, 0.125, 0}, {-1, 0.5, 0.5, 0}, {2, -3, 1, 0}}},
                 {1.0, {{0, 0.5, 0.5, 0}, {0, -1, 1, 0}, {0, 1, -3, 2}}},
                 {0.0, {{1, 0, 0, 0}, {-2, 2, 0, 0}, {2, -3, 1, 0}}},
                 {2.0, {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}}};
    for (const auto& c : cases) {
        for (int i = 0; i < 4; ++i) {
            for (int d = 0; d < 3; ++d) {
                SCOPED_TRACE(testing::Message()
                             << "t " << c.t << " i " << i << " derivative " << d);
                EXPECT_NEAR(Basis(i, 3, knots, c.t)[d], c.n[d][i], 1e-15);
            }
        }
    }
}

TEST(C2DBSplineBasis, DerivativesMatchFiniteDifferencesAndTheFunctionsSumToOne) {
    // Uneven knots with a double interior knot; t stays clear of the knots by more than h.
    const C1DArray<double> knots = ToArray<double>({0, 0, 0, 0, 0.7, 0.7, 1.9, 3.1, 4, 4, 4, 4});
    const double h = 1e-6;  // central differences: error ~h^2 * N''' + 1e-16 / h, below 1e-8
    for (int order = 2; order <= 4; ++order) {
        for (double t : {0.2, 0.65, 1.0, 2.5, 3.5, 3.95}) {
            std::array<double, 3> sum = {0.0, 0.0, 0.0};  // of the values and their derivatives
            for (int i = 0; i + order < knots.GetSize(); ++i) {
                SCOPED_TRACE(testing::Message() << "order " << order << " t " << t << " i " << i);
                const auto above = Basis(i, order, knots, t + h);
                const auto below = Basis(i, order, knots, t - h);
                const auto at = Basis(i, order, knots, t);
                EXPECT_NEAR(at[1], (above[0] - below[0]) / (2 * h), 1e-7);
                EXPECT_NEAR(at[2], (above[1] - below[1]) / (2 * h), 1e-6);
                sum = {sum[0] + at[0], sum[1] + at[1], sum[2] + at[2]};
            }
            EXPECT_NEAR(sum[0], 1.0, 1e-15) << order << " " << t;
            EXPECT_NEAR(sum[1], 0.0, 1e-13) << order << " " << t;
            EXPECT_NEAR(sum[2], 0.0, 1e-12) << order << " " << t;
        }
    }
    const C1DArray<double> uniform = ToArray<double>({0, 0, 0, 0, 1, 2, 3, 3, 3, 3});
    EXPECT_NEAR(C2DBSpline::SplineBaseFunction(1, 4, uniform, 0.5), 19.0 / 32.0, 1e-15);
}

TEST(C2DBSplineBasis, UnusableArgumentsGiveZero) {
    const C1DArray<double> knots = ToArray<double>({0, 0, 0, 1, 2, 2, 2});
    // Orders 0 and -2, index -1, and knots beyond the array (index 4 or order 7).
    const std::pair<int, int> indexAndOrder[] = {{0, 0}, {0, -2}, {-1, 3}, {4, 3}, {0, 7}};
    for (const auto& [index, order] : indexAndOrder) {
        for (double value : Basis(index, order, knots, 0.5)) {
            EXPECT_EQ(value, 0.0) << index << " " << order;
        }
    }
    const double* none = nullptr;
    EXPECT_EQ(C2DBSpline::SplineBaseFunction(0, 3, none, 0.5), 0.0);
    EXPECT_EQ(C2DBSpline::SplineBaseFunction(0, 0, &knots[0], 0.5), 0.0);  // no endless recursion
    EXPECT_TRUE(std::isnan(C2DBSpline::SplineBaseFunction(1, 3, knots, kNan)));
}

// ---- curve evaluation

TEST(C2DBSplineCurve, SamplesEqualStepsInTheSelectedCoordinatesAndEndsOnTheLastControlPoint) {
    // Quadratic on 0 0 0 1 2 2 2 with abscissae at the knot averages: x(t) = t, y(t) = 3 - t.
    const C1DArray<double> knots = ToArray<double>({0, 0, 0, 1, 2, 2, 2});
    const double ctrlX[4] = {0, 0.5, 1.5, 2};
    const double ctrlY[4] = {3, 2.5, 1.5, 1};
    const double ctrlZ[4] = {4, 4, 4, 4};
    for (int dimension : {0, 1, 2, 3, 4}) {
        SCOPED_TRACE(dimension);
        double x[5] = {99, 99, 99, 99, 99}, y[5] = {99, 99, 99, 99, 99},
               z[5] = {99, 99, 99, 99, 99};
        C2DBSpline::SplineCurve(ctrlX, ctrlY, ctrlZ, 3, &knots[0], 3, x, y, z, dimension, 5);
        const bool used = dimension >= 1 && dimension <= 3;
        for (int m = 0; m < 4; ++m) {  // t = 0, 0.5, 1, 1.5 by SplinePoint: unused ones are 0
            EXPECT_NEAR(x[m], used ? 0.5 * m : 0.0, 1e-15) << m;
            EXPECT_NEAR(y[m], used && dimension >= 2 ? 3 - 0.5 * m : 0.0, 1e-15) << m;
            EXPECT_NEAR(z[m], dimension == 3 ? 4.0 : 0.0, 1e-15) << m;
        }
        EXPECT_EQ(x[4], used ? 2.0 : 99.0);
        EXPECT_EQ(y[4], used ? 1.0 : 99.0);  // copied with dimension 1 as well
        EXPECT_EQ(z[4], dimension == 3 ? 4.0 : 99.0);
    }
    // No control points give zeros; no samples write nothing, in particular not before the array.
    double x[3] = {99, 99, 99}, y[3] = {99, 99, 99}, z[3] = {99, 99, 99};
    C2DBSpline::SplineCurve(ctrlX, ctrlY, ctrlZ, -1, &knots[0], 3, x, y, z, 3, 2);
    ExpectVectorNear(C3DVector(x[0], y[0], z[0]), C3DVector(0.0, 0.0, 0.0), 0.0);
    ExpectVectorNear(C3DVector(x[1], y[1], z[1]), C3DVector(0.0, 0.0, 0.0), 0.0);
    C2DBSpline::SplineCurve(ctrlX, ctrlY, ctrlZ, 3, &knots[0], 3, x + 2, y + 2, z + 2, 3, 0);
    EXPECT_EQ(x[1], 0.0);
    EXPECT_EQ(x[2], 99.0);
}

// ---- sampler steps

TEST(C2DBSplineSampler, ThinningComparesWithThePredecessorOnEntry) {
    using List = std::vector<C2DCoordinate>;
    const std::pair<List, List> cases[] = {
        {{{0, 0}, {1, 1}, {10, 0}}, {{0, 0}, {10, 0}}},
        {{{0, 0}, {1.5, 0}, {3, 0}, {4.5, 0}}, {{0, 0}}},        // the run collapses to its first
        {{{0, 0}, {2, 0}}, {{0, 0}, {2, 0}}},                    // 2.0 is not below 2.0
        {{{0, 0}, {1, 5}, {-1, 3}}, {{0, 0}, {1, 5}, {-1, 3}}},  // close in x, far in y
        {{{0, 0}, {-1.9, 1.9}, {8, 8}, {9.99, 6.01}}, {{0, 0}, {8, 8}}},
        {{{3, 3}}, {{3, 3}}},
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(testing::Message()
                     << input.size() << " points from " << input[1 % input.size()].GetData(0));
        C1DArray<C2DCoordinate> points = Points(input);
        Access::RemoveSamePoint(points);
        ASSERT_EQ(points.GetSize(), static_cast<int>(expected.size()));
        for (int i = 0; i < points.GetSize(); ++i) {
            ExpectVectorNear(points[i], expected[i], 0.0);
        }
    }
}

void ExpectValues(const C1DArray<double>& actual, std::initializer_list<double> expected) {
    ASSERT_EQ(actual.GetSize(), static_cast<int>(expected.size()));
    int j = 0;
    for (double value : expected) {
        EXPECT_NEAR(actual[j], value, 1e-15) << j;  // the last place of O(1) knots
        ++j;
    }
}

TEST(C2DBSplineSampler, ChordLengthParametersEndJustBelowOne) {
    C1DArray<double> params = ToArray<double>({-1, -1, -1});
    ASSERT_TRUE(Access::GetCurveParam(Points({{0, 0}, {3, 0}, {3, 4}}), params));
    ExpectValues(params, {0.0, 3.0 / 7.0, 0.999999999});  // 3 of a polyline 7 long
    const std::vector<C2DCoordinate> failing[] = {
        {{1, 1}}, {{1, 1}, {1, 1}}, {{0, 0}, {kNan, 5}}, {{0, 0}, {kInf, 0}}, {{0, 0}, {1e200, 0}}};
    for (const auto& input : failing) {
        SCOPED_TRACE(input.back().GetData(0));
        C1DArray<double> untouched = ToArray<double>({-1, -1});
        EXPECT_FALSE(Access::GetCurveParam(Points(input), untouched));
        ExpectValues(untouched, {-1, -1});
    }
}

TEST(C2DBSplineSampler, KnotVectorsOfTheThreeForms) {
    C1DArray<double> knots;
    ASSERT_TRUE(Access::GetKnotVector(6, 4, knots));
    ExpectValues(knots, {0, 0, 0, 0, 1.0 / 3, 2.0 / 3, 1, 1, 1, 1});
    // Interpolation: interior parameters become interior knots; two points give a Bezier.
    C1DArray<double> params = ToArray<double>({0, 3.0 / 7, 0.999999999});
    ASSERT_TRUE(Access::GetKnotVector(5, 4, params, knots));
    ExpectValues(knots, {0, 0, 0, 0, 3.0 / 7, 1, 1, 1, 1});
    params = ToArray<double>({0, 0.999999999});
    ASSERT_TRUE(Access::GetKnotVector(4, 4, params, knots));
    ExpectValues(knots, {0, 0, 0, 0, 1, 1, 1, 1});
    // Approximation, 10 parameters j/9 and 6 control points: positions 10/3 and 20/3 fall a
    // third into (params[2], params[3]) and two thirds into (params[5], params[6]).
    params.SetSize(10);
    for (int j = 0; j < 10; ++j) {
        params[j] = j < 9 ? j / 9.0 : 0.999999999;
    }
    ASSERT_TRUE(Access::GetKnotVector(10, 6, 4, params, knots));
    ExpectValues(knots, {0, 0, 0, 0, 7.0 / 27, 17.0 / 27, 1, 1, 1, 1});
    C1DArray<double> untouched = ToArray<double>({-1});
    EXPECT_FALSE(Access::GetKnotVector(3, 4, untouched));               // no span
    EXPECT_FALSE(Access::GetKnotVector(10, 3, 4, params, untouched));   // no span
    EXPECT_FALSE(Access::GetKnotVector(10, 14, 4, params, untouched));  // a knot before params[0]
    ExpectValues(untouched, {-1});
}

TEST(C2DBSplineSampler, SolversRejectFitsThatAreNotFinite) {
    // One inner point at 0.1 cannot hold the inner basis functions: the one on [0.6, 1) is zero
    // there, so the normal matrix has a zero row.
    C1DArray<C2DCoordinate> control = Sentinels(6);
    C1DArray<double> params = ToArray<double>({0, 0.1, 0.999999999});
    C1DArray<double> knots = ToArray<double>({0, 0, 0, 0, 0.3, 0.6, 1, 1, 1, 1});
    const auto points = Points({{0, 0}, {5, 5}, {10, 0}});
    EXPECT_FALSE(Access::GetControlPointNearPassPt(4, points, params, knots, control));
    ExpectAllSentinels(control);
    // A point that is not finite spoils the interpolating solve.
    control = Sentinels(4);
    params = ToArray<double>({0, 0.999999999});
    knots = ToArray<double>({0, 0, 0, 0, 1, 1, 1, 1});
    const auto notFinite = Points({{0, 0}, {kInf, 5}});
    EXPECT_FALSE(Access::GetControlPointOnPassPt(4, notFinite, params, knots, control));
    ExpectAllSentinels(control);
}

// ---- sampling

// A polyline of 11 points 10 apart on y = 0: length 100.
C1DArray<C2DCoordinate> TenSteps() {
    std::vector<C2DCoordinate> xy;
    for (int j = 0; j <= 10; ++j) {
        xy.emplace_back(10.0 * j, 0.0);
    }
    return Points(xy);
}

TEST(C2DBSplineSampling, ErrorsComeInTheOrderOfTheChecks) {
    const C1DArray<C2DCoordinate> crowded = Points({{0, 0}, {1.5, 0}, {3, 0}, {4.5, 0}});
    const C1DArray<C2DCoordinate> line = TenSteps();                  // P = 11, L = 100
    const C1DArray<C2DCoordinate> pair = Points({{0, 0}, {100, 0}});  // P = 2, L = 100
    struct Case {
        const C1DArray<C2DCoordinate>* points;
        double interval;
        bool passThrough;
        EErrorType expected;
    };
    const C1DArray<C2DCoordinate> empty;
    const C1DArray<C2DCoordinate> single = Points({{4, 4}});
    const C1DArray<C2DCoordinate> notFinite = Points({{0, 0}, {kNan, 10}, {20, 0}});
    const Case cases[] = {
        {&empty, 10, true, CurveParamError},
        {&single, 10, false, CurveParamError},
        {&crowded, 0, false, CurveParamError},  // before the interval
        {&notFinite, 10, true, CurveParamError},
        {&line, 0, false, IntervalError},
        {&line, -1, false, IntervalError},
        {&line, kNan, false, IntervalError},
        {&line, 15, false, KnotVectorError},      // M = 3
        {&pair, 15, false, KnotVectorError},      // M = 3 > P, but the knots are checked first
        {&line, 20, false, ControlPointError},    // M = 2
        {&line, kInf, false, ControlPointError},  // M = 0
        {&line, 4, false, ControlPointError},     // M = 12 > P: a singular fit
        {&line, 100.0 / 31, false, ControlPointError},  // M = 15 = P + 4: no knot vector
        {&line, 1e-300, false, ControlPointError},      // M beyond any int
        {&line, 100.0 / 22.5, false, NoError},          // M = 11 = P
        {&line, 10, false, NoError},                    // M = 5
        {&line, 0, true, NoError},                      // the interval is not used
        {&pair, kNan, true, NoError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.points->GetSize() << " points, interval " << c.interval
                                        << (c.passThrough ? " through" : " near"));
        C1DArray<C2DCoordinate> samples = Sentinels(6);
        EXPECT_EQ(C2DBSpline::GetSamplePoint(*c.points, c.interval, samples, c.passThrough),
                  c.expected);
        ASSERT_EQ(samples.GetSize(), 6);
        if (c.expected != NoError) {
            ExpectAllSentinels(samples);
        }
        C1DArray<C2DCoordinate> none;  // size 0: the same result, nothing written or read
        EXPECT_EQ(C2DBSpline::GetSamplePoint(*c.points, c.interval, none, c.passThrough),
                  c.expected);
        EXPECT_EQ(none.GetSize(), 0);
    }
}

TEST(C2DBSplineSampling, InterpolationPassesThroughEveryPoint) {
    // Segments 10, 20, 10, 40 long (3-4-5 triangles): parameters 0, 1/8, 3/8, 1/2, ~1.
    const C1DArray<C2DCoordinate> points = Points({{0, 0}, {6, 8}, {-6, 24}, {2, 18}, {26, 50}});
    const double size = 80.0;                        // the polyline length
    C1DArray<C2DCoordinate> samples = Sentinels(9);  // t = j / 8
    ASSERT_EQ(C2DBSpline::GetSamplePoint(points, 0.0, samples, true), NoError);
    const std::pair<int, int> sampleOfPoint[] = {{0, 0}, {1, 1}, {3, 2}, {4, 3}};
    for (const auto& [j, p] : sampleOfPoint) {
        SCOPED_TRACE(j);
        ExpectVectorNear(samples[j], points[p], 1e-9 * size);
    }
    ExpectVectorNear(samples[8], points[4], 0.0);  // the caller's last point itself
    // The fit itself meets the last point at 0.999999999 and has no curvature at either end.
    C1DArray<double> params = ToArray<double>({0, 0.125, 0.375, 0.5, 0.999999999});
    C1DArray<double> knots;
    C1DArray<C2DCoordinate> control = Sentinels(7);
    ASSERT_TRUE(Access::GetKnotVector(7, 4, params, knots));
    ASSERT_TRUE(Access::GetControlPointOnPassPt(4, points, params, knots, control));
    for (int p = 0; p < 5; ++p) {
        SCOPED_TRACE(p);
        C2DVector point(0.0, 0.0), curvature(0.0, 0.0);
        for (int i = 0; i < 7; ++i) {
            point += control[i] * Basis(i, 4, knots, params[p])[0];
            curvature += control[i] * Basis(i, 4, knots, params[p])[2];
        }
        ExpectVectorNear(point, points[p], 1e-9 * size);
        if (p == 0 || p == 4) {
            ExpectVectorNear(curvature, C2DVector(0.0, 0.0), 1e-6 * size);
        }
    }
}

TEST(C2DBSplineSampling, ApproximationKeepsCollinearPointsOnTheirLine) {
    // Unevenly spaced points on y = 2x + 1, the fit shares the line; its ends are exact.
    std::vector<C2DCoordinate> xy;
    double x = 0.0;
    for (int j = 0; j < 20; ++j) {
        xy.emplace_back(x, 2 * x + 1);
        x += 3.0 + (j % 3);
    }
    const C1DArray<C2DCoordinate> points = Points(xy);
    C1DArray<C2DCoordinate> samples = Sentinels(50);
    ASSERT_EQ(C2DBSpline::GetSamplePoint(points, 10.0, samples, false), NoError);  // M = 8
    ExpectVectorNear(samples[0], points[0], 0.0);  // control point 0 is the first point, exactly
    ExpectVectorNear(samples[49], points[19], 0.0);
    for (int j = 0; j < 50; ++j) {
        SCOPED_TRACE(j);
        EXPECT_NEAR(samples[j].GetData(1), 2 * samples[j].GetData(0) + 1, 1e-9 * 150);
        EXPECT_GE(samples[j].GetData(0), -1e-9);
        EXPECT_LE(samples[j].GetData(0), xy.back().GetData(0) + 1e-9);
    }
}

TEST(C2DBSplineSampling, LastSampleIsTheCallersLastPoint) {
    // (101, 0.5) crowds (100, 0) and leaves the fit, yet it closes the samples.
    const C1DArray<C2DCoordinate> points = Points({{0, 0}, {50, 0}, {100, 0}, {101, 0.5}});
    C1DArray<C2DCoordinate> samples = Sentinels(11);
    ASSERT_EQ(C2DBSpline::GetSamplePoint(points, 0.0, samples, true), NoError);
    for (int j = 0; j < 10; ++j) {
        SCOPED_TRACE(j);
        ExpectVectorNear(samples[j], C2DVector(10.0 * j, 0.0), 1e-6);  // t ends at 1 - 1e-9
    }
    ExpectVectorNear(samples[10], points[3], 0.0);
    C1DArray<C2DCoordinate> one = Sentinels(1);
    ASSERT_EQ(C2DBSpline::GetSamplePoint(points, 0.0, one, true), NoError);
    ExpectVectorNear(one[0], points[3], 0.0);
}

}  // namespace
