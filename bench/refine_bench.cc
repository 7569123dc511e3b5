#include <cstdint>
#include <vector>

#include "refine/render_gray.h"
#include <benchmark/benchmark.h>

#include "polyview/refine/pick_refiner.h"

namespace {

using refine_test::EShape;
using refine_test::HalfPlaneThrough;

// A chessboard-like crossing at (64.3, 63.8) in a 128 x 128 photo, noise 2 gray levels.
void BM_RefineCorner(benchmark::State& state) {
    const auto a = HalfPlaneThrough(64.3, 63.8, 12.0);
    const auto b = HalfPlaneThrough(64.3, 63.8, 97.0);
    const std::vector<std::uint8_t> pixels =
        refine_test::Render(128, 128, EShape::kCross, a, b, 2.0);
    const CGrayImage image(pixels.data(), 128, 128, 128);
    const C2DCoordinate pick(65.5, 62.4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(CPickRefiner::RefineCorner(image, pick));
    }
}
BENCHMARK(BM_RefineCorner);

// A 100 px segment picked 2 px off an edge at 20 degrees: 101 stations.
void BM_RefineEdge(benchmark::State& state) {
    const auto edge = HalfPlaneThrough(64.3, 63.8, 110.0);
    const std::vector<std::uint8_t> pixels =
        refine_test::Render(128, 128, EShape::kEdge, edge, edge, 2.0);
    const CGrayImage image(pixels.data(), 128, 128, 128);
    const C2DVector along(-edge.ny, edge.nx);
    const C2DVector normal(edge.nx, edge.ny);
    const C2DVector centre(64.3, 63.8);
    const C2DCoordinate start(centre - along * 50.0 + normal * 2.0, WorldCoordinateSystem);
    const C2DCoordinate end(centre + along * 50.0 + normal * 2.0, WorldCoordinateSystem);
    for (auto _ : state) {
        benchmark::DoNotOptimize(CPickRefiner::RefineEdge(image, start, end));
    }
}
BENCHMARK(BM_RefineEdge);

}  // namespace
