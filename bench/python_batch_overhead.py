#!/usr/bin/env python3
"""Per-point cost of the Python batch triangulation against the C++ call it wraps.

    ./scripts/bench-run --benchmark_filter=CreateFromImagePoints   # builds build/ (Release)
    /usr/bin/python3 bench/python_batch_overhead.py [--build-dir build]

Runs build/bench/point_bench for C3DPoint::CreateFromImagePoints with 3 and 10 cameras, then
times polyview.triangulate_points on the same observations (the benchmark's ring of cameras
around one point), many points per call, and polyview.triangulate_point one call per point. The
difference per point is what the module adds: reading the arrays, the NaN checks and the check
that the point lies in front of the cameras that saw it. Last, a large batch (--large points at
random, seen by 3 cameras) in microseconds per point, on one thread and on the automatic count.
"""

import argparse
import json
import pathlib
import subprocess
import sys
import timeit

import numpy as np

ROOT = pathlib.Path(__file__).resolve().parents[1]


def ring_cameras(polyview, count):
    """The cameras of the C++ benchmark: a ring of radius 5 at height 1 looking at the origin."""
    cameras = []
    for k in range(count):
        angle = 2.0 * np.pi * k / count
        centre = np.array([5.0 * np.cos(angle), 5.0 * np.sin(angle), 1.0])
        z_axis = -centre / np.linalg.norm(centre)
        x_axis = np.cross(z_axis, [0.0, 0.0, -1.0])
        x_axis /= np.linalg.norm(x_axis)
        rotation = np.array([x_axis, np.cross(z_axis, x_axis), z_axis])
        cameras.append(polyview.Camera(800.0, [320.0, 240.0], rotation, -rotation @ centre))
    return cameras


def cpp_nanoseconds(build_dir, count):
    """Real time per CreateFromImagePoints call with count cameras, from Google Benchmark."""
    program = build_dir / "bench" / "point_bench"
    output = subprocess.run(
        [str(program), f"--benchmark_filter=BM_CreateFromImagePoints/{count}$",
         "--benchmark_format=json", "--benchmark_repetitions=5",
         "--benchmark_report_aggregates_only=true"],
        check=True, capture_output=True, text=True).stdout
    for run in json.loads(output)["benchmarks"]:
        if run.get("aggregate_name") == "median":
            scale = {"ns": 1.0, "us": 1e3, "ms": 1e6}[run["time_unit"]]
            return run["real_time"] * scale
    raise RuntimeError(f"{program} reported no median")


def best_seconds(call, repeat=7):
    number = max(1, int(0.2 / timeit.timeit(call, number=1)))
    return min(timeit.repeat(call, number=number, repeat=repeat)) / number


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", default=ROOT / "build", type=pathlib.Path)
    parser.add_argument("--points", default=20000, type=int, help="points per batch call")
    parser.add_argument("--large", default=100000, type=int, help="points of the large batch")
    args = parser.parse_args()
    sys.path.insert(0, str(args.build_dir / "python"))
    import polyview

    print(f"{'cameras':>7} {'C++ call':>10} {'batch/pt':>10} {'overhead':>10} {'single call':>12}")
    for count in (3, 10):
        cameras = ring_cameras(polyview, count)
        images = np.array([c.project([0.1, -0.2, 0.3]) for c in cameras])
        batch = np.repeat(images[None], args.points, axis=0)
        result = polyview.triangulate_points(cameras, batch)
        assert np.allclose(result, [0.1, -0.2, 0.3], atol=1e-9)

        cpp = cpp_nanoseconds(args.build_dir, count)
        per_point = best_seconds(lambda: polyview.triangulate_points(cameras, batch)) \
            / args.points * 1e9
        single = best_seconds(lambda: polyview.triangulate_point(cameras, images)) * 1e9
        print(f"{count:>7} {cpp:>8.0f}ns {per_point:>8.0f}ns {per_point - cpp:>8.0f}ns "
              f"{single:>10.0f}ns")

    cameras = ring_cameras(polyview, 3)
    points = np.random.default_rng(1).uniform(-0.5, 0.5, (args.large, 3))
    images = np.stack([camera.project(points) for camera in cameras], axis=1)
    assert np.allclose(polyview.triangulate_points(cameras, images), points, atol=1e-9)
    for threads in (1, None):
        seconds = best_seconds(lambda: polyview.triangulate_points(cameras, images,
                                                                   threads=threads), repeat=5)
        print(f"{args.large} points x 3 views, threads={threads}: "
              f"{seconds / args.large * 1e6:.3f} us per point")


if __name__ == "__main__":
    main()
