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
    """The shape's result through the module, as the tool's JSON report names its values."""
    kind = shape["kind"]
    picks = shape.get("picks", {})
    cameras = [CAMERAS[camera_id] for camera_id in picks]
    if kind == "point":
        image_points = np.array(list(picks.values()), dtype=float)
        point = pv.triangulate_point(cameras, image_points)
        residuals = pv.reproject_point(point, cameras, image_points).residuals
        return {"point": point.xyz}, residuals
    if kind in ("line", "segment"):
        segments = np.array([flat(s) for s in picks.values()])
        if kind == "line":
            line = pv.reconstruct_line(cameras, segments)
            residuals = pv.reproject_line(line, cameras, segments).residuals
            return {"direction": line.direction, "point_nearest_origin": line.point,
                    "distance_from_origin": line.distance}, residuals
        segment = pv.reconstruct_segment(cameras, segments)
        residuals = pv.reproject_segment(segment, cameras, segments).residuals
        return {"start": segment.start, "end": segment.end, "length": segment.length}, residuals
    if kind == "cylinder":
        edges = np.array([[flat(edge) for edge in pair] for pair in picks.values()])
        cylinder = pv.reconstruct_cylinder(cameras, edges, shape.get("method", "tangent-planes"))
        residuals = pv.reproject_cylinder(cylinder, cameras, edges).residuals
        return {"start": cylinder.axis_start, "end": cylinder.axis_end,
                "radius": cylinder.radius, "length": cylinder.length}, residuals
    if kind == "plane":
        points = [measured[p]["point"] if isinstance(p, str) else p for p in shape["points"]]
        return {"coefficients": pv.fit_plane(points).coefficients}, np.array([])
    if kind == "curve":
        (camera_id, curve_picks), = picks.items()
        samples = pv.sample_curve(curve_picks, shape.get("samples", 50),
                                  shape.get("mode", "interpolate") == "interpolate",
                                  shape.get("interval"))
        return {"samples": samples}, np.array([])
    raise AssertionError(f"unknown kind {kind}")


def measure_scene():
    measured = {}
    for shape in sorted(SCENE["shapes"], key=lambda s: s["kind"] == "plane"):  # planes last
        measured[shape["name"]], _ = measure(shape, measured)
    return measured


@pytest.mark.skipif("POLYVIEW_MEASURE_EXE" not in os.environ,
                    reason="polyview-measure is not built (it needs nlohmann-json3-dev)")
def test_results_match_the_measurement_tool(tmp_path):
    report_path = tmp_path / "report.json"
    subprocess.run([os.environ["POLYVIEW_MEASURE_EXE"], "--json", str(report_path),
                    str(SCENE_PATH)], check=True, stdout=subprocess.DEVNULL)
    report = {s["name"]: s for s in json.loads(report_path.read_text())["shapes"]}
    assert set(report) == {s["name"] for s in SCENE["shapes"]}
    measured = {}
    for shape in sorted(SCENE["shapes"], key=lambda s: s["kind"] == "plane"):
        result, residuals = measure(shape, measured)
        measured[shape["name"]] = result
        tool = report[shape["name"]]
        assert tool["status"] == "measured"
        for key, value in result.items():
            # The same library calls on the same numbers: equal up to the last bits.
            np.testing.assert_allclose(value, tool["result"][key], rtol=1e-12, atol=1e-12,
                                       err_msg=f"{shape['name']}.{key}")
        if len(residuals):
            np.testing.assert_allclose(residuals, [r["pixels"] for r in tool["residuals"]],
                                       rtol=1e-9, atol=1e-12, err_msg=shape["name"])


def test_results_are_near_the_truth():
    # The picks are the true projections plus 0.5 px of noise; at these distances and focal
    # lengths that is about a millimetre.
    measured = measure_scene()
    truths = {s["name"]: (s["kind"], s.get("truth")) for s in SCENE["shapes"]}
    for name, (kind, truth) in truths.items():
        result = measured[name]
        if kind == "point":
            np.testing.assert_allclose(result["point"], truth["point"], atol=3e-3, err_msg=name)
        elif kind == "segment":
            np.testing.assert_allclose(result["start"], truth["start"], atol=3e-3, err_msg=name)
            np.testing.assert_allclose(result["end"], truth["end"], atol=3e-3, err_msg=name)
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
