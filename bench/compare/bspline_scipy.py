#!/usr/bin/python3
"""The peer of the B-spline case: scipy's splprep (interpolating cubic, s = 0) plus splev at 1000
parameters, on the 100 points that compare_scenes.h builds. Checks that every point lies within a
pixel of its nearest sample, then prints one JSON line with the median time per call."""

import json
import math
import sys
import timeit

import numpy as np
from scipy.interpolate import splev, splprep


def stroke_points():
    """The same formula as compare::StrokePoints."""
    xs = [100.0 + 9.0 * j + 3.0 * math.sin(0.37 * j) for j in range(100)]
    ys = [480.0 + 150.0 * math.sin(0.05 * j) + 20.0 * math.cos(0.23 * j) for j in range(100)]
    return np.array(xs), np.array(ys)


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    xs, ys = stroke_points()
    parameters = np.linspace(0.0, 1.0, 1000)

    def run():
        tck, _ = splprep([xs, ys], s=0, k=3)
        return splev(parameters, tck)

    sx, sy = run()
    farthest = max(float(np.min(np.hypot(sx - x, sy - y))) for x, y in zip(xs, ys))
    if not farthest < 1.0:
        print(json.dumps({"name": "B-spline 100 points to 1000 samples/scipy splprep+splev",
                          "error": "answer off the truth"}))
        return 1
    timer = timeit.Timer(run)
    count, _ = timer.autorange()
    times = sorted(t / count for t in timer.repeat(repeat=repetitions, number=count))
    median = times[len(times) // 2]
    print(json.dumps({"name": "B-spline 100 points to 1000 samples/scipy splprep+splev",
                      "ns": median * 1e9}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
