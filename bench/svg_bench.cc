// polyview-measure's SVG pictures for many picked points: the time of one picture against the
// number of picks (1k, 10k, 100k), which grows linearly (each label looks for room among the
// labels of a few grid cells only; the shapes' status is looked up by name once).

#include <cstddef>
#include <random>
#include <string>

#include "measure/camera_fields.h"
#include "measure/measurement.h"
#include "measure/svg.h"
#include <benchmark/benchmark.h>

namespace {

// Two cameras 1 m apart looking along +z (f 3000 px, 4000 x 3000 px) and picks / 2 points 4 to 6 m
// in front of them, each picked in both images at its exact projection.
measure::Scene ManyPoints(std::size_t picks) {
    measure::Scene scene;
    scene.file = "many_points.json";
    for (int i = 0; i < 2; ++i) {
        measure::Camera camera;
        camera.id = i == 0 ? "left" : "right";
        camera.calibration = measure::PinholeCamera(
            3000.0, 2000.0, 1500.0, 4000, 3000, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {-1.0 * i, 0.0, 0.0});
        scene.cameras.push_back(camera);
    }
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> across(-1.0, 1.0);
    std::uniform_real_distribution<double> depth(4.0, 6.0);
    for (std::size_t n = 0; n < picks / 2; ++n) {
        const double x = 0.25 + 1.25 * across(random);
        const double y = across(random);
        const double z = depth(random);
        measure::ShapeInput point;
        point.name = "p" + std::to_string(n);
        point.kind = measure::ShapeKind::kPoint;
        for (std::size_t c = 0; c < 2; ++c) {
            const double u = 3000.0 * (x - static_cast<double>(c)) / z + 2000.0;
            point.pointPicks.push_back({c, {u, 3000.0 * y / z + 1500.0}});
        }
        scene.shapes.push_back(point);
    }
    return scene;
}

void BM_SvgPicture(benchmark::State& state) {
    const measure::Scene scene = ManyPoints(static_cast<std::size_t>(state.range(0)));
    const measure::Measurement measured = measure::Measure(scene);
    for (auto _ : state) {
        benchmark::DoNotOptimize(measure::SvgPicture(scene, measured, 0));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SvgPicture)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
