#include <cmath>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "polyview/numeric/line_fit2d.h"
#include "polyview/numeric/svd.h"
#include "polyview/numeric/symmetric_eigen.h"
#include "polyview/numeric/workspace.h"

namespace {

// dsvd_inplace on a fixed random m x n matrix; the input is copied back before every call
// (m * n doubles, negligible beside the decomposition).
void BM_DsvdInplace(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    const int n = static_cast<int>(state.range(1));
    std::mt19937_64 generator(3);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> input(static_cast<size_t>(m * n));
    for (double& value : input) {
        value = uniform(generator);
    }
    double** a = dmatrix(1, m, 1, n);
    double** v = dmatrix(1, n, 1, n);
    double* w = dvector(1, n);
    if (a == nullptr || v == nullptr || w == nullptr) {
        state.SkipWithError("workspace");
        return;
    }
    for (auto _ : state) {
        for (int i = 1; i <= m; ++i) {
            for (int j = 1; j <= n; ++j) {
                a[i][j] = input[(i - 1) * n + (j - 1)];
            }
        }
        benchmark::DoNotOptimize(dsvd_inplace(a, m, n, w, v));
        benchmark::ClobberMemory();
    }
    dmatrix_free(a, 1, m, 1, n);
    dmatrix_free(v, 1, n, 1, n);
    dvector_free(w, 1, n);
}
BENCHMARK(BM_DsvdInplace)->Args({3, 3})->Args({2, 4})->Args({10, 4});

void BM_DsymeigSorted3(benchmark::State& state) {
    const double a[9] = {4.0, 1.0, -0.5, 1.0, 3.0, 0.25, -0.5, 0.25, 2.0};
    double values[3];
    double vectors[9];
    for (auto _ : state) {
        benchmark::DoNotOptimize(dsymeig_sorted(a, 3, values, vectors));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DsymeigSorted3);

// 100 points scattered 0.01 about the line y = 0.5 x + 2.
void BM_Dfitline2d(benchmark::State& state) {
    const int count = 100;
    std::mt19937_64 generator(5);
    std::uniform_real_distribution<double> along(-10.0, 10.0);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::vector<double> xs(count), ys(count);
    for (int i = 0; i < count; ++i) {
        xs[i] = along(generator);
        ys[i] = 0.5 * xs[i] + 2.0 + noise(generator);
    }
    double a = 0.0, b = 0.0, c = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(dfitline2d(xs.data(), ys.data(), count, &a, &b, &c));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_Dfitline2d);

}  // namespace
