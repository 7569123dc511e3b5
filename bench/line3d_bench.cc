#include <cmath>

#include "bench_cameras.h"
#include <benchmark/benchmark.h>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/range.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"

namespace {

// The segment from (-1, 0.2, 0.1) to (1, 0.2, 0.1), seen exactly by count cameras of focal
// length 1000 spread over half a turn around it at 5 m, each looking at the origin.
C1DArray<SImageLine> SegmentObservations(int count) {
    const C3DVector ends[2] = {C3DVector(-1.0, 0.2, 0.1), C3DVector(1.0, 0.2, 0.1)};
    C1DArray<SImageLine> observations;
    observations.SetSize(count);
    for (int k = 0; k < count; ++k) {
        const double angle = 0.3 + 3.14159 * k / count;
        const C3DVector centre(
            0.5 * std::sin(5.0 * k), 5.0 * std::cos(angle), 5.0 * std::sin(angle));
        observations[k].cameraParam = BenchCamera(centre,
                                                  C3DVector(0.0, 0.0, 0.0),
                                                  C3DVector(-1.0, 0.0, 0.0),
                                                  1000.0,
                                                  C2DCoordinate(640.0, 480.0));
        observations[k].lineSegment.SetEndPoints(
            BenchProject(observations[k].cameraParam, ends[0]),
            BenchProject(observations[k].cameraParam, ends[1]));
    }
    return observations;
}

void BM_CreateFromImageLines(benchmark::State& state) {
    const C1DArray<SImageLine> observations = SegmentObservations(static_cast<int>(state.range(0)));
    C3DLine line;
    for (auto _ : state) {
        benchmark::DoNotOptimize(line.CreateFromImageLines(observations));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CreateFromImageLines)->Arg(2)->Arg(3)->Arg(10)->Arg(100);

void BM_CalcRange(benchmark::State& state) {
    const C1DArray<SImageLine> observations = SegmentObservations(static_cast<int>(state.range(0)));
    const C3DAxis axis(C3DVector(0.0, 0.2, 0.1), C3DVector(1.0, 0.0, 0.0), std::sqrt(0.05));
    C3DLineSegment segment(axis, CRange());
    for (auto _ : state) {
        benchmark::DoNotOptimize(segment.CalcRange(observations));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CalcRange)->Arg(3)->Arg(100);

}  // namespace
