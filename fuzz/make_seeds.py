#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/<target>/: a few well-formed inputs per target, encoded
the way fuzz_input.h decodes them (every double as selector 16 and its 8 bytes, big-endian), so
that the fuzzer starts from cameras that see the shape and mutates from there."""
import json
import math
import os
import re
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def d(value):
    return bytes([16]) + struct.pack(">d", value)


def b(value):
    return bytes([value])


def ds(*values):
    return b"".join(d(v) for v in values)


def look_at(centre, target):
    """Rotation vector and translation of a camera at centre looking at target (z towards it)."""
    z = [t - c for t, c in zip(target, centre)]
    n = math.sqrt(sum(v * v for v in z))
    z = [v / n for v in z]
    up = [0.0, 0.0, 1.0] if abs(z[2]) < 0.9 else [0.0, 1.0, 0.0]
    x = [z[1] * up[2] - z[2] * up[1], z[2] * up[0] - z[0] * up[2], z[0] * up[1] - z[1] * up[0]]
    n = math.sqrt(sum(v * v for v in x))
    x = [v / n for v in x]
    y = [z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]]
    r = [x, y, z]
    t = [-sum(r[i][j] * centre[j] for j in range(3)) for i in range(3)]
    cos = max(-1.0, min(1.0, (r[0][0] + r[1][1] + r[2][2] - 1.0) / 2.0))
    angle = math.acos(cos)
    if angle < 1e-12:
        return [0.0, 0.0, 0.0], t
    s = 2.0 * math.sin(angle)
    axis = [(r[2][1] - r[1][2]) / s, (r[0][2] - r[2][0]) / s, (r[1][0] - r[0][1]) / s]
    return [a * angle for a in axis], t


def camera(centre, target=(0.0, 0.0, 0.0), f=800.0):
    rotation, translation = look_at(centre, target)
    return ds(f, 320.0, 240.0) + b(0) + ds(*rotation) + ds(*translation)


CENTRES = [(6.0, -4.0, 3.0), (-5.0, -5.0, 2.0), (0.5, 7.0, 4.0)]
ZERO_NUDGE = ds(0.0, 0.0)


def seeds():
    out = {}
    # point3d: the previous point, from-one-point flag, the point, count, per camera: camera
    # (the image is its projection) and a nudge.
    out["point3d"] = {
        "three_views": ds(1, 2, 3) + b(1) + ds(0.3, -0.2, 0.5) + b(3)
        + b"".join(camera(c) + ZERO_NUDGE for c in CENTRES),
        "two_views": ds(0, 0, 0) + b(1) + ds(0.0, 0.0, 0.0) + b(2)
        + b"".join(camera(c) + ZERO_NUDGE for c in CENTRES[:2]),
    }
    # line3d: the previous axis (U, V, d), from-one-segment flag, the two ends, count, per
    # camera: camera and a nudge per end.
    out["line3d"] = {
        "three_views": ds(0, 1, 0, 1, 0, 0, 1) + b(1) + ds(-1, 0.5, 0.2, 1, -0.3, 0.4) + b(3)
        + b"".join(camera(c) + ZERO_NUDGE * 2 for c in CENTRES),
    }
    # line_segment3d: mode (0 range, 1 reproject), axis U, V, d, range.
    axis = ds(0, 0.6, 0.8, 1, 0, 0, 0.5) + ds(-1, 1)
    out["line_segment3d"] = {
        "range_three_views": b(0) + axis + b(1) + b(3)
        + b"".join(camera(c) + d(-1.0) + ZERO_NUDGE + d(1.5) + ZERO_NUDGE for c in CENTRES),
        "reproject_with_residual": b(1) + axis + camera(CENTRES[0]) + ds(0, 0, 10, 10)
        + ds(300, 200, 350, 260) + d(-1) + b(3),
        "reproject_half_behind": b(1) + ds(0, 0, 1, 0, 0, 1, 0) + ds(-5, 5)
        + ds(800, 320, 240) + b(0) + ds(0, 0, 0) + ds(0, 0, 0) + ds(0, 0, 1, 1) + ds(0, 0, 1, 1)
        + d(0) + b(3),
    }
    # cylinder3d: mode (0 centre lines, 1 tangent planes, 2 reproject), axis, range, radius,
    # then for a reconstruction: from-cylinder flag, base, direction, radius, start, end, count,
    # per camera: camera, the missing-edge byte and a nudge per edge end.
    initial = ds(0, 0, 1, 1, 0, 0, 0.2) + ds(0, 2) + d(0.1)
    known = b(1) + ds(0, 0, 0.2) + ds(1, 0, 0) + ds(0.1, -1, 1)
    per_camera = lambda c: camera(c) + b(0) + ZERO_NUDGE * 4
    out["cylinder3d"] = {
        "centre_lines": b(0) + initial + known + b(3) + b"".join(per_camera(c) for c in CENTRES),
        "tangent_planes": b(1) + initial + known + b(3) + b"".join(per_camera(c) for c in CENTRES),
        "one_edge_missing": b(1) + initial + known + b(3)
        + b"".join(camera(c) + b(5) + ZERO_NUDGE * 4 for c in CENTRES),
        "reproject": b(2) + initial + camera(CENTRES[0]) + ds(0, 0, 1, 1) + ds(0, 0, 1, 1, 2, 2, 3, 3)
        + ds(300, 200, 350, 260, 310, 220, 360, 280) + b(7),
    }
    # plane3d: previous normal and point, previous vertex count, near-plane flag, normal, a vector
    # across, origin, count, per point s, t and an offset.
    out["plane3d"] = {
        "five_points": ds(0, 0, 1, 0, 0, 0) + b(0) + b(1) + ds(0.2, -0.3, 0.9) + ds(1, 0, 0)
        + ds(1, 2, 3) + b(5) + ds(0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 3, 0, -1, 4, 0),
        "collinear": ds(0, 0, 1, 0, 0, 0) + b(0) + b(0) + ds(0, 0, 0, 0, 0, 0, 0, 0, 0) + b(3)
        + ds(0, 0, 0, 1, 1, 1, 2, 2, 2),
    }
    # line2d: mode (0 fit, 1 intersection, 2 clip), the line.
    out["line2d"] = {
        "fit": b(0) + ds(1, 0, 0) + b(1) + ds(1, 2) + ds(3, 1) + b(6)
        + ds(0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0),
        "intersection": b(1) + ds(1, -1, 0) + ds(1, 1, -2) + ds(0, 0),
        "clip": b(2) + ds(-1, 2, -10) + ds(0, 0, 10, 10),
    }
    # line_segment2d: mode (1 epipolar, 0 unify).
    out["line_segment2d"] = {
        "unify": b(0) + ds(0, 0, 1, 0) + ds(2, 0, 5, 0) + b(0) + ds(9, 9, 8, 8) + d(0.5) + b(0),
        "unify_continued": b(0) + ds(0, 0, 10, 1) + ds(0, 0, 0, 0) + b(1) + ds(1.5, 3, 0.001, 0)
        + ds(9, 9, 8, 8) + d(0.1) + b(1),
        "epipolar": b(1) + ds(0, 0, 0, 1) + camera(CENTRES[0]) + camera(CENTRES[1])
        + ds(330, 250) + b(0) + b(64) + b(80),
    }
    # bspline2d: pass-through flag, along-path flag, count, steps, interval, sample count.
    steps = ds(*[v for i in range(8) for v in (10.0, 4.0 * math.sin(i))])
    out["bspline2d"] = {
        "through": b(1) + b(1) + b(8) + steps + d(0) + b(20) + b(0),
        "near": b(0) + b(1) + b(8) + steps + d(5) + b(20) + b(0),
    }
    return out


def scene_seeds():
    text = open(os.path.join(HERE, "..", "docs", "scene-format.md")).read()
    example = re.search(r"```json\n(.*?)```", text, re.S).group(1)
    minimal = {
        "cameras": [{"id": "a", "focal_length": 500, "principal_point": [320, 240],
                     "width": 640, "height": 480, "rotation": [0, 0, 0],
                     "translation": [0, 0, 5]},
                    {"id": "b", "focal_length": 500, "principal_point": [320, 240],
                     "width": 640, "height": 480,
                     "rotation": [[1, 0, 0], [0, 1, 0], [0, 0, 1]], "translation": [-1, 0, 5]}],
        "shapes": [{"name": "p", "kind": "point", "picks": {"a": [320, 240], "b": [220, 240]}},
                   {"name": "c", "kind": "curve", "mode": "approximate", "interval": 5,
                    "samples": 10, "picks": {"a": [[10, 10], [50, 40], [90, 60], [130, 70]]}}],
    }
    sources = {"camera_sources": [{"format": "opencv", "path": "camera.yml", "id": "x"}],
               "shapes": [{"name": "p", "kind": "point", "picks": {"x": [1, 1]}}]}
    lenses = {
        "cameras": [{"id": "a", "model": "OPENCV",
                     "params": [500, 505, 320, 240, -0.2, 0.05, 0.001, -0.002],
                     "width": 640, "height": 480, "rotation": [0, 0, 0], "translation": [0, 0, 5]},
                    {"id": "b", "model": "opencv_fisheye",
                     "camera_matrix": [[300, 0.5, 319.5], [0, 302, 239.5], [0, 0, 1]],
                     "distortion": [0.05, -0.01, 0.002, -0.0005], "width": 640, "height": 480,
                     "rotation": [0, 0, 0], "translation": [-1, 0, 5]}],
        "shapes": [{"name": "s", "kind": "segment", "extent": "median",
                    "picks": {"a": [[300, 240], [340, 250]], "b": [[200, 240], [260, 250]]}}]}
    return {"documented_example": example.encode(),
            "minimal": json.dumps(minimal).encode(),
            "camera_source": json.dumps(sources).encode(),
            "lenses": json.dumps(lenses).encode()}


def camera_file_seeds():
    """The camera files of the tool's tests as they are; a COLMAP model as one input: the length
    of the cameras file (two bytes, little-endian), the cameras file, then the images file."""
    data = os.path.join(HERE, "..", "tests", "tools", "data")
    read = lambda *parts: open(os.path.join(data, *parts), "rb").read()
    model = lambda cameras, images: struct.pack("<H", len(cameras)) + cameras + images
    opencv = {name: read(name + ".yml") for name in
              ("chessboard_calibration", "opencv_single", "opencv_stereo", "opencv_fisheye")}
    opencv["json_views"] = json.dumps({
        "image_size": [640, 480], "K": [[500, 0, 319.5], [0, 505, 239.5], [0, 0, 1]],
        "D": [-0.1, 0.01, 0, 0], "extrinsic_parameters": [[0, 0.1, 0, 0, 0, 2],
                                                          [0.1, 0, 0, 0.5, 0, 2]]}).encode()
    return {
        "opencv_camera": opencv,
        "colmap_binary": {"ten_models": model(read("colmap_bin", "cameras.bin"),
                                              read("colmap_bin", "images.bin"))},
        "colmap_text": {"ten_models": model(read("colmap_txt", "cameras.txt"),
                                            read("colmap_txt", "images.txt"))},
    }


def main():
    all_seeds = seeds()
    all_seeds["scene"] = scene_seeds()
    all_seeds.update(camera_file_seeds())
    for target, files in all_seeds.items():
        directory = os.path.join(HERE, "corpus", target)
        os.makedirs(directory, exist_ok=True)
        for name, content in files.items():
            with open(os.path.join(directory, name), "wb") as out:
                out.write(content)


if __name__ == "__main__":
    main()
