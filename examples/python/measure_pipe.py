#!/usr/bin/env python3
"""Measures the pipe of the demo scene with the Python module.

    cmake -S . -B build && cmake --build build --target polyview_python
    PYTHONPATH=build/python /usr/bin/python3 examples/python/measure_pipe.py

Reads the scene file (docs/scene-format.md: cameras, and per shape the picks made in each photo),
reconstructs the cylinder from the silhouette edges picked in each photo, reprojects it into every
photo for the residuals, and compares it with the scene's known truth. Give another scene file
and another cylinder's name as arguments to measure that one.
"""

import argparse
import json
import pathlib
import sys

import numpy as np

import polyview

SCENE = pathlib.Path(__file__).resolve().parents[1] / "scenes" / "pipe_rack.json"


def read_cameras(scene):
    """The scene's cameras by id; a rotation is a rotation vector or a 3 x 3 matrix."""
    return {
        entry["id"]: polyview.Camera(
            entry["focal_length"], entry["principal_point"], entry["rotation"], entry["translation"]
        )
        for entry in scene["cameras"]
    }


def edge_array(picks):
    """(n, 2, 4) edges from the picks {camera id: [edge or null, edge or null]}, NaN for null."""
    edges = np.full((len(picks), 2, 4), np.nan)
    for row, pair in enumerate(picks.values()):
        for slot, edge in enumerate(pair):
            if edge is not None:
                edges[row, slot] = np.ravel(edge)
    return edges


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("scene", nargs="?", default=SCENE, type=pathlib.Path)
    parser.add_argument("--shape", default="pipe", help="the name of a cylinder in the scene")
    args = parser.parse_args()

    scene = json.loads(args.scene.read_text())
    cameras = read_cameras(scene)
    shape = next((s for s in scene["shapes"] if s["name"] == args.shape), None)
    if shape is None or shape["kind"] != "cylinder":
        sys.exit(f"{args.scene}: no cylinder named {args.shape!r}")

    seen_by = [cameras[camera_id] for camera_id in shape["picks"]]
    edges = edge_array(shape["picks"])
    method = shape.get("method", "tangent-planes")
    try:
        cylinder = polyview.reconstruct_cylinder(seen_by, edges, method=method)
    except polyview.ReconstructionError as error:
        sys.exit(f"{args.shape}: not measured: {error.reason}")

    units = scene.get("units", "m")
    print(f"{args.shape}: cylinder from {len(seen_by)} photos ({method})")
    print(f"  axis start  {np.array2string(cylinder.axis_start, precision=4)} {units}")
    print(f"  axis end    {np.array2string(cylinder.axis_end, precision=4)} {units}")
    print(f"  radius      {cylinder.radius:.4f} {units}")
    print(f"  length      {cylinder.length:.4f} {units}")

    projection = polyview.reproject_cylinder(cylinder, seen_by, edges)
    print("  residual    " + ", ".join(
        f"{camera_id} {pixels:.2f} px" for camera_id, pixels in zip(shape["picks"],
                                                                     projection.residuals)))

    truth = shape.get("truth")
    if truth:
        start, end = np.array(truth["start"]), np.array(truth["end"])
        ends = [cylinder.axis_start, cylinder.axis_end]
        if np.linalg.norm(ends[0] - end) + np.linalg.norm(ends[1] - start) < (
                np.linalg.norm(ends[0] - start) + np.linalg.norm(ends[1] - end)):
            ends.reverse()
        direction = (end - start) / np.linalg.norm(end - start)
        tilt = np.degrees(np.arctan2(np.linalg.norm(np.cross(cylinder.direction, direction)),
                                     abs(np.dot(cylinder.direction, direction))))
        print(f"  vs truth    start {np.linalg.norm(ends[0] - start):.4f} {units}, "
              f"end {np.linalg.norm(ends[1] - end):.4f} {units}, "
              f"radius {cylinder.radius - truth['radius']:+.4f} {units}, axis {tilt:.3f} deg")


if __name__ == "__main__":
    main()
