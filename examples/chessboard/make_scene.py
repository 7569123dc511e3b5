#!/usr/bin/env python3
"""Writes chessboard.json, the scene of the chessboard photos in this folder.

The picks are the corners that OpenCV's detector found in each photo (leftNN.corners.txt), moved
by half a pixel from OpenCV's pixel convention (first pixel's centre at (0, 0)) to the scene's
(image corner at (0, 0)). The cameras are OpenCV's own calibration file, unchanged. Shapes: the
54 inner corners as points, the six rows and nine columns of corners as segments (200 mm and
125 mm long), and the board as a plane through its corners; the truth is the 25 mm grid. Points
and segments leave out outlier views and segments take median ends (the scene's comment says
why). The text is the form `polyview-measure format` writes, so formatting changes nothing.

Usage: make_scene.py [output]   (default: chessboard.json beside this script)
"""

import json
import os
import sys

COLUMNS, ROWS, SQUARE = 9, 6, 0.025
COMMENT = (
    "Corners found by OpenCV's detector in real photos, measured through OpenCV's own calibration "
    "of them (strong barrel distortion). The detector put a few corners in left02.jpg (view_2) "
    "3 to 5 px off; one such pick pulls a least-squares point or line by up to half a millimetre. "
    "So points and segments leave out a view whose residual exceeds 1 px and three times the "
    "median of the others (\"outliers\": \"drop\"), and segments take each end's median over "
    "the views (\"extent\": \"median\") rather than the farthest."
)
HERE = os.path.dirname(os.path.abspath(__file__))


def read_corners(image):
    stem = os.path.splitext(image)[0]
    with open(os.path.join(HERE, stem + ".corners.txt")) as corners:
        rows = [line.split() for line in corners if line.strip()]
    if len(rows) != COLUMNS * ROWS:
        sys.exit(f"{stem}.corners.txt: {len(rows)} corners, expected {COLUMNS * ROWS}")
    return [[round(float(u) + 0.5, 4), round(float(v) + 0.5, 4)] for u, v in rows]


def document(value, indent=""):
    """The text of value as `polyview-measure format` writes it: two spaces per level, every
    array that holds no object on one line, numbers in their shortest form."""
    if isinstance(value, dict):
        inner = indent + "  "
        items = [f"{inner}{json.dumps(key)}: {document(item, inner)}"
                 for key, item in value.items()]
        return "{\n" + ",\n".join(items) + "\n" + indent + "}"
    if isinstance(value, list) and any(isinstance(item, dict) for item in value):
        inner = indent + "  "
        items = [inner + document(item, inner) for item in value]
        return "[\n" + ",\n".join(items) + "\n" + indent + "]"
    return json.dumps(value, separators=(", ", ": "))


def corner_name(row, col):
    return f"corner_r{row}_c{col}"


def truth(row, col):
    return [round(SQUARE * col, 6), round(SQUARE * row, 6), 0.0]


def main():
    with open(os.path.join(HERE, "images.txt")) as listing:
        images = [line.strip() for line in listing if line.strip()]
    # The calibration's views become the cameras view_1, view_2, ... in the order of images.txt.
    views = {f"view_{n}": read_corners(image) for n, image in enumerate(images, start=1)}

    shapes = []
    for row in range(ROWS):
        for col in range(COLUMNS):
            j = row * COLUMNS + col
            shapes.append({"name": corner_name(row, col), "kind": "point", "outliers": "drop",
                           "picks": {view: corners[j] for view, corners in views.items()},
                           "truth": {"point": truth(row, col)}})

    def segment(name, first, last):
        (r0, c0), (r1, c1) = first, last
        j0, j1 = r0 * COLUMNS + c0, r1 * COLUMNS + c1
        return {"name": name, "kind": "segment", "extent": "median", "outliers": "drop",
                "picks": {view: [corners[j0], corners[j1]] for view, corners in views.items()},
                "truth": {"start": truth(r0, c0), "end": truth(r1, c1)}}

    shapes += [segment(f"row_{row}", (row, 0), (row, COLUMNS - 1)) for row in range(ROWS)]
    shapes += [segment(f"column_{col}", (0, col), (ROWS - 1, col)) for col in range(COLUMNS)]
    shapes.append({"name": "board", "kind": "plane",
                   "points": [corner_name(r, c) for r in range(ROWS) for c in range(COLUMNS)],
                   "truth": {"point": [0.0, 0.0, 0.0], "normal": [0.0, 0.0, 1.0]}})

    scene = {
        "title": "A 9 x 6 chessboard of 25 mm squares in 13 real photos",
        "comment": COMMENT,
        "units": "m",
        "camera_sources": [{"format": "opencv", "path": "calibration.yml", "id": "view",
                            "images": images}],
        "shapes": shapes,
    }
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "chessboard.json")
    with open(output, "w") as out:
        out.write(document(scene) + "\n")


if __name__ == "__main__":
    main()
