"""The demo scene measured through the module: against the measurement tool's report (the same
library called from C++) and against the scene's known truth."""

import json
import os
import pathlib
import subprocess
import sys

import numpy as np
import pytest

import polyview as pv
from construction import angle_between, distance_to_line

ROOT = pathlib.Path(os.environ.get("POLYVIEW_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
SCENE_PATH = ROOT / "examples" / "scenes" / "pipe_rack.json"
SCENE = json.loads(SCENE_PATH.read_text())
CAMERAS = {c["id"]: pv.Camera(c["focal_length"], c["principal_point"], c["rotation"],
                              c["translation"]) for c in SCENE["cameras"]}


def flat(value):
    return np.full(4, np.nan) if value is None else np.ravel(value).astype(float)


def measure(shape, measured):
    """The shape's result through the module, named as in the tool's JSON report, and the
    residuals of its picks; measured holds the results of the shapes before it."""
    kind, picks = shape["kind"], shape.get("picks", {})
    cameras = [CAMERAS[camera_id] for camera_id in picks]
    if kind == "plane":
        points = [measured[p][0]["point"] if isinstance(p, str) else p for p in shape["points"]]
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


def measure_scene():
    """{name: (result, residuals)} of every shape, the planes last (they take measured points)."""
    measured = {}
    for shape in sorted(SCENE["shapes"], key=lambda s: s["kind"] == "plane"):
        measured[shape["name"]] = measure(shape, measured)
    return measured


@pytest.mark.skipif("POLYVIEW_MEASURE_EXE" not in os.environ,
                    reason="polyview-measure is not built (it needs nlohmann-json3-dev)")
def test_results_match_the_measurement_tool(tmp_path):
    report_path = tmp_path / "report.json"
    subprocess.run([os.environ["POLYVIEW_MEASURE_EXE"], "--json", str(report_path),
                    str(SCENE_PATH)], check=True, stdout=subprocess.DEVNULL)
    report = {s["name"]: s for s in json.loads(report_path.read_text())["shapes"]}
    measured = measure_scene()
    assert set(report) == set(measured)
    for name, (result, residuals) in measured.items():
        assert report[name]["status"] == "measured"
        for key, value in result.items():
            # The same library calls on the same numbers: equal up to the last bits.
            np.testing.assert_allclose(value, report[name]["result"][key], rtol=1e-12, atol=1e-12,
                                       err_msg=f"{name}.{key}")
        if len(residuals):
            np.testing.assert_allclose(residuals, [r["pixels"] for r in report[name]["residuals"]],
                                       rtol=1e-9, atol=1e-12, err_msg=name)


def test_results_are_near_the_truth():
    # The picks are the true projections plus 0.5 px of noise; at these distances and focal
    # lengths that is about a millimetre.
    measured = measure_scene()
    for name, kind, truth in ((s["name"], s["kind"], s["truth"]) for s in SCENE["shapes"]):
        result = measured[name][0]
        if kind == "point":
            np.testing.assert_allclose(result["point"], truth["point"], atol=3e-3, err_msg=name)
        elif kind == "segment":
            np.testing.assert_allclose([result["start"], result["end"]],
                                       [truth["start"], truth["end"]], atol=3e-3, err_msg=name)
        elif kind == "line":
            assert np.degrees(angle_between(result["direction"], truth["direction"])) < 0.2
            end = np.add(truth["point"], truth["direction"])
            assert distance_to_line(result["point_nearest_origin"], truth["point"], end) < 3e-3
        elif kind == "cylinder":
            assert result["radius"] == pytest.approx(truth["radius"], abs=1e-3)
            for key in ("start", "end"):  # the extent is known to a fraction of the radius
                assert distance_to_line(result[key], truth["start"], truth["end"]) < 3e-3
                assert np.linalg.norm(result[key] - truth[key]) < truth["radius"] / 2
        elif kind == "plane":
            a, b, c, d = result["coefficients"]
            assert np.degrees(angle_between([a, b, c], truth["normal"])) < 0.05
            assert abs(np.dot([a, b, c], truth["point"]) + d) < 1e-3
        elif kind == "curve":
            # every sample lies near the densely sampled true curve
            gaps = np.linalg.norm(result["samples"][:, None] - np.array(truth["image_points"]),
                                  axis=2).min(axis=1)
            assert gaps.max() < 3.0, name


def test_example_measures_the_pipe():
    output = subprocess.run([sys.executable, str(ROOT / "examples" / "python" / "measure_pipe.py")],
                            check=True, capture_output=True, text=True).stdout
    assert "pipe: cylinder from 5 photos (tangent-planes)" in output
    radius = float(output.split("radius")[1].split()[0])
    assert radius == pytest.approx(0.1095, abs=1e-3)
