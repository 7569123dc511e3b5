#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "polyview/foundations/coordinate2d.h"
#include "polyview/lens/lens_model.h"

namespace {

// One lens per kind, as the test's reference values have them: Arg 0 pinhole with skew, 1 the
// chessboard calibration (OpenCV, 5 coefficients), 2 rational with thin prism and tilt (OpenCV,
// 14), 3 OpenCV's fisheye, 4 COLMAP's THIN_PRISM_FISHEYE.
CLensModel Lens(int which) {
    const double chessboard[5] = {-0.26637, -0.038589, 0.0017832, -0.00028122, 0.23839};
    const double tilted[14] = {1.31,
                               0.42,
                               0.00085,
                               -0.0011,
                               0.0094,
                               1.62,
                               0.71,
                               0.046,
                               0.0021,
                               -0.00035,
                               -0.0013,
                               0.00021,
                               0.012,
                               -0.021};
    const double fisheye[4] = {0.041, -0.0082, 0.0019, -0.00031};
    CLensModel lens;
    std::string reason;
    switch (which) {
        case 0:
            CLensModel::CreatePinhole(1200.5, 1195.8, 0.4, 960.5, 540.5, lens);
            break;
        case 1:
            CLensModel::CreateOpenCV(535.9, 535.9, 0, 342.3, 235.6, chessboard, 5, lens);
            break;
        case 2:
            CLensModel::CreateOpenCV(1002.7, 1001.3, 0, 958.6, 541.2, tilted, 14, lens);
            break;
        case 3:
            CLensModel::CreateOpenCVFisheye(410.2, 409.8, 0, 639.6, 479.3, fisheye, lens);
            break;
        default:
            CLensModel::CreateColmap("THIN_PRISM_FISHEYE",
                                     {618.2,
                                      617.6,
                                      960.5,
                                      540.5,
                                      0.037,
                                      -0.0068,
                                      0.00052,
                                      -0.00037,
                                      0.0014,
                                      -0.00022,
                                      0.00041,
                                      -0.00029},
                                     lens,
                                     reason);
    }
    return lens;
}

void BM_Distort(benchmark::State& state) {
    const CLensModel lens = Lens(static_cast<int>(state.range(0)));
    const C2DCoordinate normalised(0.31, -0.22);
    C2DCoordinate observed;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lens.Distort(normalised, observed));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Distort)->DenseRange(0, 4);

void BM_Undistort(benchmark::State& state) {
    const CLensModel lens = Lens(static_cast<int>(state.range(0)));
    C2DCoordinate observed;
    lens.Distort(C2DCoordinate(0.31, -0.22), observed);
    C2DCoordinate normalised;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lens.Undistort(observed, normalised));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Undistort)->DenseRange(0, 4);

// Creation scans the radial map for its fold.
void BM_Create(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(Lens(static_cast<int>(state.range(0))));
    }
}
BENCHMARK(BM_Create)->DenseRange(0, 4);

}  // namespace
