#include <random>

#include <benchmark/benchmark.h>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/shapes3d/plane3d.h"

namespace {

// count points spread over 2 m x 2 m of the plane z = 0.3 x - 0.2 y + 1 with 1 mm of noise.
C1DArray<C3DCoordinate> NoisyPlanePoints(int count) {
    std::mt19937_64 generator(7);
    std::uniform_real_distribution<double> across(-1.0, 1.0);
    std::normal_distribution<double> noise(0.0, 0.001);
    C1DArray<C3DCoordinate> points;
    points.SetSize(count);
    for (int i = 0; i < count; ++i) {
        const double x = across(generator);
        const double y = across(generator);
        points[i].SetVector(x, y, 0.3 * x - 0.2 * y + 1.0 + noise(generator));
    }
    return points;
}

void BM_SetApproximationPlane(benchmark::State& state) {
    const C1DArray<C3DCoordinate> points = NoisyPlanePoints(static_cast<int>(state.range(0)));
    C3DPlane plane;
    for (auto _ : state) {
        benchmark::DoNotOptimize(plane.SetApproximationPlane(points));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SetApproximationPlane)->Arg(10)->Arg(1000);

}  // namespace
