#include <cmath>
#include <random>

#include "bench_cameras.h"
#include <benchmark/benchmark.h>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/shapes3d/point3d.h"

namespace {

// count cameras on a ring of radius 5 around the point (0.1, -0.2, 0.3), each looking at the
// origin with f = 800, observing the point exactly.
C1DArray<SImagePoint> RingObservations(int count) {
    const C3DVector pointInWorld(0.1, -0.2, 0.3);
    C1DArray<SImagePoint> observations;
    observations.SetSize(count);
    for (int k = 0; k < count; ++k) {
        const double angle = 6.283185307179586 * k / count;
        const C3DVector centre(5.0 * std::cos(angle), 5.0 * std::sin(angle), 1.0);
        observations[k].cameraParam = BenchCamera(centre,
                                                  C3DVector(0.0, 0.0, 0.0),
                                                  C3DVector(0.0, 0.0, -1.0),
                                                  800.0,
                                                  C2DCoordinate(320.0, 240.0));
        observations[k].imagePoint = BenchProject(observations[k].cameraParam, pointInWorld);
    }
    return observations;
}

void BM_CreateFromImagePoints(benchmark::State& state) {
    const C1DArray<SImagePoint> observations = RingObservations(static_cast<int>(state.range(0)));
    C3DPoint point;
    for (auto _ : state) {
        benchmark::DoNotOptimize(point.CreateFromImagePoints(observations));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CreateFromImagePoints)->Arg(2)->Arg(3)->Arg(10)->Arg(100);

}  // namespace
