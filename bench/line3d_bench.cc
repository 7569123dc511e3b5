#include <cmath>
#include <vector>

#include "bench_cameras.h"
#include <benchmark/benchmark.h>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/range.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/numeric/pose_access.h"
#include "polyview/numeric/rotation.h"
#include "polyview/numeric/svd.h"
#include "polyview/numeric/vector_kernels.h"
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

// The floor of the line from n views: what the fit cannot leave out once the stacked planes are
// formed, the two decompositions (w and V) and the result frame's round trip through its rotation
// vector (the line's U and V are rows of the rebuilt frame). The planes are formed outside the
// loop, as the fit forms them.
void BM_LineFloor(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const C1DArray<SImageLine> observations = SegmentObservations(n);
    std::vector<double> stacked;  // per observation: the world normal, then the offset
    for (int i = 0; i < n; ++i) {
        const CCameraParam& camera = observations[i].cameraParam;
        const double f = camera.GetIntrinsicParam().GetFocalLengthParam();
        const C2DCoordinate principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
        double line[3];
        observations[i].lineSegment.GetLineParams(line);
        double normalInCam[3] = {
            line[0] * f,
            line[1] * f,
            line[0] * principal.GetData(0) + line[1] * principal.GetData(1) + line[2]};
        dnormalize(3, normalInCam);
        double normal[3];
        dmatprod(normalInCam,
                 SPoseSolverAccess::LineRotation(camera.GetExtrinsicParam()),
                 1,
                 3,
                 3,
                 normal);
        double translation[3];
        camera.GetExtrinsicParam().GetTranslateVector().GetVector(translation);
        stacked.insert(stacked.end(), normal, normal + 3);
        stacked.push_back(ddot(3, normalInCam, translation));
    }
    const double frame[9] = {0.36, 0.48, -0.8, -0.8, 0.6, 0.0, 0.48, 0.64, 0.6};
    for (auto _ : state) {
        double data[33][5];  // 1-based rows and columns
        double* rows[33];
        for (int i = 0; i <= n; ++i) {
            rows[i] = data[i];
        }
        double w[5];
        double vData[5][5];
        double* v[5] = {vData[0], vData[1], vData[2], vData[3], vData[4]};
        for (int c = 3; c <= 4; ++c) {
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < c; ++j) {
                    data[i + 1][j + 1] = stacked[4 * static_cast<size_t>(i) + j];
                }
            }
            dsvd_right_small(rows, n, c, w, v);
        }
        double r[3];
        drotmat2vec_exact(frame, r);
        const CRotateMatrix rebuilt = CRotateVector(C3DVector(r)).GetRotateMatrix();
        benchmark::DoNotOptimize(w[4] + v[1][4] + rebuilt.GetData(0, 0));
    }
}
BENCHMARK(BM_LineFloor)->Arg(2)->Arg(3)->Arg(10);

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
