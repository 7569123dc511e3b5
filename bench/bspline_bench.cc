// Resampling picked image points through a cubic B-spline: 100 points on a wavy stroke, 1000
// samples, in the interpolating and the approximating mode.
#include <cmath>

#include <benchmark/benchmark.h>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/geometry2d/bspline2d.h"

namespace {

constexpr int kPointCount = 100;
constexpr int kSampleCount = 1000;

// A sine stroke about 660 pixels long, points 6 pixels apart along x, so none is thinned away.
C1DArray<C2DCoordinate> Stroke() {
    C1DArray<C2DCoordinate> points;
    points.SetSize(kPointCount);
    for (int j = 0; j < kPointCount; ++j) {
        const double x = 6.0 * j;
        points[j].SetVector(x, 40.0 * std::sin(x / 60.0));
    }
    return points;
}

void RunSampling(benchmark::State& state, bool passThrough, double interval) {
    const C1DArray<C2DCoordinate> points = Stroke();
    C1DArray<C2DCoordinate> samples;
    samples.SetSize(kSampleCount);
    for (auto _ : state) {
        const EErrorType result =
            C2DBSpline::GetSamplePoint(points, interval, samples, passThrough);
        if (result != NoError) {
            state.SkipWithError("sampling failed");
            break;
        }
        benchmark::DoNotOptimize(samples[kSampleCount / 2]);
    }
    state.SetItemsProcessed(state.iterations() * kSampleCount);
}

void BM_GetSamplePointInterpolation(benchmark::State& state) {
    RunSampling(state, true, 0.0);
}
BENCHMARK(BM_GetSamplePointInterpolation)->Unit(benchmark::kMillisecond);

// Interval 10 on a stroke about 660 pixels long: 32 control points for 100 points.
void BM_GetSamplePointApproximation(benchmark::State& state) {
    RunSampling(state, false, 10.0);
}
BENCHMARK(BM_GetSamplePointApproximation)->Unit(benchmark::kMillisecond);

// One cubic basis function on a clamped knot vector, the kernel of every sample.
void BM_SplineBaseFunctionCubic(benchmark::State& state) {
    const double knots[12] = {0, 0, 0, 0, 0.2, 0.4, 0.6, 0.8, 1, 1, 1, 1};
    double param = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(C2DBSpline::SplineBaseFunction(3, 4, knots, param));
        param = param < 0.99 ? param + 0.01 : 0.0;
    }
}
BENCHMARK(BM_SplineBaseFunctionCubic);

}  // namespace
