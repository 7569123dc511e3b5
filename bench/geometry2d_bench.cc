// Image-plane lines: the orthogonal line fit and clipping a line to an image rectangle.

#include <cmath>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"

namespace {

// n points scattered by up to a pixel about the line through (320, 240) at 30 degrees.
C1DArray<C2DCoordinate> NoisyLinePoints(int n) {
    std::mt19937_64 generator(7);
    std::uniform_real_distribution<double> along(-300.0, 300.0);
    std::uniform_real_distribution<double> across(-1.0, 1.0);
    const double dx = std::cos(0.5235987755982988), dy = std::sin(0.5235987755982988);
    C1DArray<C2DCoordinate> points;
    points.SetSize(n);
    for (int i = 0; i < n; ++i) {
        const double t = along(generator), s = across(generator);
        points[i].SetVector(320.0 + t * dx - s * dy, 240.0 + t * dy + s * dx);
    }
    return points;
}

void BM_GetApproximationLine(benchmark::State& state) {
    const C1DArray<C2DCoordinate> points = NoisyLinePoints(static_cast<int>(state.range(0)));
    C2DLine line;
    for (auto _ : state) {
        benchmark::DoNotOptimize(line.GetApproximationLine(points));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GetApproximationLine)->Arg(10)->Arg(100)->Arg(1000);

// Lines through random points of a 640 x 480 image at random angles, cycled through.
void BM_GetLineSegment(benchmark::State& state) {
    std::mt19937_64 generator(11);
    std::uniform_real_distribution<double> x(0.0, 640.0), y(0.0, 480.0), angle(0.0, 3.14159);
    std::vector<C2DLine> lines(256);
    for (C2DLine& line : lines) {
        const double theta = angle(generator), px = x(generator), py = y(generator);
        const double params[3] = {
            std::cos(theta), std::sin(theta), -(std::cos(theta) * px + std::sin(theta) * py)};
        line.SetLineParams(params);
    }
    size_t next = 0;
    for (auto _ : state) {
        C2DLineSegment segment = lines[next].GetLineSegment(0.0, 0.0, 640.0, 480.0);
        benchmark::DoNotOptimize(segment);
        next = (next + 1) & 255;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetLineSegment);

}  // namespace
