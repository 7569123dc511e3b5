"""The demo scene measured through the module against the measurement tool's report: both front
ends measure with the same core (the tool's own test holds the results to the scene's truth)."""

import json
import os
import pathlib
import subprocess
import sys

import numpy as np
import pytest

import polyview as pv

ROOT = pathlib.Path(os.environ.get("POLYVIEW_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
SCENE_PATH = ROOT / "examples" / "scenes" / "pipe_rack.json"
SCENE = json.loads(SCENE_PATH.read_text())

# The scene's cameras with lenses, half of them OpenCV's (its principal point half a pixel less)
# and half COLMAP's, as the scene files write them.
def with_lens(camera, k):
    f, (cx, cy) = camera.pop("focal_length"), camera.pop("principal_point")
    return {**camera, **({"model": "RADIAL", "params": [f, cx, cy, -0.08, 0.01]} if k % 2 else {
        "model": "opencv", "distortion": [-0.1, 0.02, 0.001, -0.0005],
        "camera_matrix": [[f, 0, cx - 0.5], [0, f, cy - 0.5], [0, 0, 1]]})}


LENS_CAMERAS = [with_lens(dict(camera), k) for k, camera in enumerate(SCENE["cameras"])]
PICKS = {s["name"]: s.get("picks") for s in SCENE["shapes"]}
# Shapes that cannot be measured, one per kind of refusal, each with the tool's reason.
FAILING = [
    {"name": "lonely", "kind": "point", "picks": {"se": PICKS["bolt_left"]["se"]}},
    {"name": "beam_once", "kind": "segment", "picks": {"ne": PICKS["beam_edge"]["ne"]}},
    {"name": "pipe_two_edges", "kind": "cylinder",
     "picks": {"sw_low": [PICKS["pipe"]["sw_low"][0], None], "se": [None, PICKS["pipe"]["se"][1]]}},
    {"name": "pipe_centre", "kind": "cylinder", "method": "centre-lines",
     "picks": {"sw_low": PICKS["pipe"]["sw_low"], "se": [None, PICKS["pipe"]["se"][1]]}},
    {"name": "on_a_line", "kind": "plane", "points": [[0, 0, 0], [1, 0, 0], [2, 0, 0]]},
    {"name": "two_usable", "kind": "plane", "points": ["floor_a", "lonely", "floor_b"]},
    {"name": "cable_coarse", "kind": "curve", "mode": "approximate", "interval": 1e6,
     "picks": PICKS["cable"]},
]


def flat(value):
    return np.full(4, np.nan) if value is None else np.ravel(value).astype(float)


def measure(shape, measured, scene_cameras):
    """The shape's result through the module, named as in the tool's JSON report, and the
    residuals of its picks; measured holds the results of the shapes before it."""
    kind, picks = shape["kind"], shape.get("picks", {})
    cameras = [scene_cameras[camera_id] for camera_id in picks]
    if kind == "plane":  # the points that could not be measured are left out, as the tool does
        points = [measured[p][0]["point"] if isinstance(p, str) else p for p in shape["points"]
                  if not isinstance(p, str) or "point" in measured[p][0]]
        return {"coefficients": pv.fit_plane(points).coefficients}, []
    if kind == "curve":
        (curve_picks,) = picks.values()
        interpolate = shape.get("mode", "interpolate") == "interpolate"
        return {"samples": pv.sample_curve(curve_picks, shape.get("samples", 50), interpolate,
                                           shape.get("interval"))}, []
    if kind == "point":
        seen = np.array(list(picks.values()), dtype=float)
        point = pv.triangulate_point(cameras, seen)
        return {"point": point.xyz}, pv.reproject_point(point, cameras, seen).residuals
    if kind == "cylinder":
        seen = np.array([[flat(edge) for edge in pair] for pair in picks.values()])
        pipe = pv.reconstruct_cylinder(cameras, seen, shape.get("method", "tangent-planes"))
        return ({"start": pipe.axis_start, "end": pipe.axis_end, "radius": pipe.radius,
                 "length": pipe.length}, pv.reproject_cylinder(pipe, cameras, seen).residuals)
    seen = np.array([flat(s) for s in picks.values()])
    if kind == "line":
        line = pv.reconstruct_line(cameras, seen)
        return ({"direction": line.direction, "point_nearest_origin": line.point,
                 "distance_from_origin": line.distance},
                pv.reproject_line(line, cameras, seen).residuals)
    assert kind == "segment", kind
    segment = pv.reconstruct_segment(cameras, seen)
    return ({"start": segment.start, "end": segment.end, "length": segment.length},
            pv.reproject_segment(segment, cameras, seen).residuals)


def measure_scene(shapes, cameras):
    """{name: (result, residuals)} of every shape, the planes last (they take measured points);
    a shape that cannot be measured gives ({"reason": ...}, [])."""
    # A scene's camera spells the module's arguments, less its id, photo and comment.
    cameras = {c["id"]: pv.Camera(**{k: v for k, v in c.items()
                                     if k not in ("id", "image", "comment")}) for c in cameras}
    measured = {}
    for shape in sorted(shapes, key=lambda s: s["kind"] == "plane"):
        try:
            measured[shape["name"]] = measure(shape, measured, cameras)
        except pv.ReconstructionError as error:
            measured[shape["name"]] = {"reason": error.reason}, []
    return measured


@pytest.mark.skipif("POLYVIEW_MEASURE_EXE" not in os.environ,
                    reason="polyview-measure is not built (it needs nlohmann-json3-dev)")
@pytest.mark.parametrize("cameras, failing", [(SCENE["cameras"], []), (SCENE["cameras"], FAILING),
                                              (LENS_CAMERAS, [])],
                         ids=["demo", "with failing shapes", "through lenses"])
def test_results_and_reasons_match_the_measurement_tool(tmp_path, cameras, failing):
    scene_path = tmp_path / "scene.json"
    scene_path.write_text(json.dumps({**SCENE, "cameras": cameras,
                                      "shapes": SCENE["shapes"] + failing}))
    report_path = tmp_path / "report.json"
    subprocess.run([os.environ["POLYVIEW_MEASURE_EXE"], "--json", str(report_path),
                    str(scene_path)], check=True, stdout=subprocess.DEVNULL)
    report = {s["name"]: s for s in json.loads(report_path.read_text())["shapes"]}
    measured = measure_scene(SCENE["shapes"] + failing, cameras)
    assert set(report) == set(measured)
    assert sum(s["status"] == "failed" for s in report.values()) == len(failing)
    for name, (result, residuals) in measured.items():
        # Both front ends measure with the same core: the same reason word for word, and the
        # same library calls on the same numbers, equal up to the last bits.
        assert report[name].get("reason") == result.get("reason"), name
        for key, value in result.items():
            if key != "reason":
                np.testing.assert_allclose(value, report[name]["result"][key], rtol=1e-12,
                                           atol=1e-12, err_msg=f"{name}.{key}")
        if len(residuals):
            np.testing.assert_allclose(residuals, [r["pixels"] for r in report[name]["residuals"]],
                                       rtol=1e-9, atol=1e-12, err_msg=name)


def test_example_measures_the_pipe():
    output = subprocess.run([sys.executable, str(ROOT / "examples" / "python" / "measure_pipe.py")],
                            check=True, capture_output=True, text=True).stdout
    assert "pipe: cylinder from 5 photos (tangent-planes)" in output
    radius = float(output.split("radius")[1].split()[0])
    assert radius == pytest.approx(0.1095, abs=1e-3)
