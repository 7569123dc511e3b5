import numpy as np
import pytest

import polyview as pv
from construction import Mirrored, look_at, ring, segment_images, silhouette_edges

RIG = ring()
NAN = float("nan")


def test_reconstruction_error_carries_its_reason():
    with pytest.raises(pv.ReconstructionError) as caught:
        pv.triangulate_point(RIG[:1], [[100.0, 200.0]])
    assert isinstance(caught.value, RuntimeError) and not isinstance(caught.value, ValueError)
    assert caught.value.reason == str(caught.value) == "fewer than two observations"


# Two cameras on the x axis looking along +y: the rays of a point far away are parallel, and
# every line along x lies in the one plane through both centres with it.
LEFT = look_at([-1.0, 0.0, 0.0], [-1.0, 1.0, 0.0])
RIGHT = look_at([1.0, 0.0, 0.0], [1.0, 1.0, 0.0])
IN_LINE = [look_at([x, 0.0, 0.0], [x + 0.3, 1.0, 0.0]) for x in (-1.0, 1.0)]
AWAY = [look_at(c.centre, 2.0 * c.centre) for c in RIG[:3]]  # the pipe is behind them


def pipe(cameras):
    return np.array([silhouette_edges(c, [-0.5, 0.1, 0.4], [0.5, 0.1, 0.6], 0.1) for c in cameras])


@pytest.mark.parametrize(
    "call, reason",
    [
        (lambda: pv.triangulate_point(RIG[:2], [[10.0, 20.0], [NAN, NAN]]), "fewer than two"),
        (lambda: pv.triangulate_point([], np.empty((0, 2))), "fewer than two"),
        (lambda: pv.triangulate_point([LEFT, RIGHT], [[960.0, 540.0]] * 2), "parallel"),
        # rays that part: their nearest point (0, -10, 0) lies behind both cameras
        (lambda: pv.triangulate_point([LEFT, RIGHT], [[810.0, 540.0], [1110.0, 540.0]]), "behind"),
        (lambda: pv.reconstruct_line(RIG[:1], [[1.0, 2.0, 3.0, 4.0]]), "fewer than two"),
        (lambda: pv.reconstruct_line(
            IN_LINE, segment_images(IN_LINE, [-3.0, 4.0, 0.0], [3.0, 4.0, 0.0])),
         "viewing planes too close to one orientation"),
        (lambda: pv.reconstruct_segment(
            IN_LINE, segment_images(IN_LINE, [-3.0, 4.0, 0.0], [3.0, 4.0, 0.0])),
         "viewing planes too close"),
        (lambda: pv.reconstruct_segment(AWAY, segment_images(map(Mirrored, AWAY), [0, 0, 0], [1, 1, 1])),
         "behind"),
        (lambda: pv.reconstruct_cylinder(AWAY, pipe(map(Mirrored, AWAY))), "behind"),
        (lambda: pv.reconstruct_cylinder(RIG[:1], pipe(RIG[:1])), "fewer than two"),
        (lambda: pv.reconstruct_cylinder(RIG[:2], np.where([[[0], [1]]] * 2, NAN, pipe(RIG[:2]))),
         "fewer than three silhouette edges"),
        (lambda: pv.reconstruct_cylinder(
            RIG[:3], np.where([[[0], [0]], [[0], [1]], [[1], [0]]], NAN, pipe(RIG[:3])),
            method="centre-lines"),
         "centre-line method needs two"),
        (lambda: pv.fit_plane([[0.0, 0.0, 0.0], [1.0, 0.0, 0.0]]), "fewer than three points"),
        (lambda: pv.fit_plane([[0, 0, 0], [1, 0, 0], [2, 0, 0]]), "on or near a line"),
        # within 0.5 mm of a 1.5 m line: the fitted normal would turn with the noise
        (lambda: pv.fit_plane([[0, 0, 0], [0.5, 5e-4, 0], [1.0, 0, 5e-4], [1.5, 5e-4, 5e-4]]),
         "on or near a line"),
        (lambda: pv.fit_plane([[1, 0, 0], [-1, 0, 0], [0, 0.0099, 0], [0, -0.0099, 0]]),
         "below 0.01"),  # spread ratio 0.0099
        (lambda: pv.fit_plane([[1, 2, 3]] * 4), "the points coincide"),
        (lambda: pv.fit_line_2d([[3.0, 4.0]]), "fewer than two points"),
        (lambda: pv.fit_line_2d([[3.0, 4.0]] * 3), "the points coincide"),
        (lambda: pv.sample_curve([[0.0, 0.0], [1.5, 0.0], [3.0, 0.0]], 10), "distinct points"),
        # a polyline of length 100: interval 10 gives 5 control points, 20 gives 2, 16 gives 3
        (lambda: pv.sample_curve([[0, 0], [25, 0], [50, 0], [75, 0], [100, 0]], 10, False, 20.0),
         "fewer than 4 control points"),
        (lambda: pv.sample_curve([[0, 0], [25, 0], [50, 0], [75, 0], [100, 0]], 10, False, 16.0),
         "exactly 3 control points"),
        (lambda: pv.sample_curve([[0, 0], [50, 0], [100, 0]], 10, False, 10.0),
         "more than there are points"),
    ],
)
def test_failed_reconstruction_raises_with_reason(call, reason):
    with pytest.raises(pv.ReconstructionError, match=reason):
        call()


def test_sample_curve_limits_hold_on_both_sides():
    line = [[0, 0], [25, 0], [50, 0], [75, 0], [100, 0]]
    assert pv.sample_curve(line, 10, False, 10.0).shape == (10, 2)  # 5 control points
    assert pv.sample_curve(line, 1).tolist() == [[100.0, 0.0]]  # the only sample: the last point


POINTS2 = np.zeros((5, 2))
SEGMENTS = np.zeros((5, 4)) + [0, 0, 1, 1]
EDGES = np.zeros((5, 2, 4)) + [0, 0, 1, 1]


@pytest.mark.parametrize(
    "call, argument",
    [
        (lambda: pv.triangulate_point(RIG, np.zeros((4, 2))), "image_points"),  # 4 rows, 5 cameras
        (lambda: pv.triangulate_point(RIG, np.zeros((5, 3))), "image_points"),
        (lambda: pv.triangulate_point(RIG, np.zeros(10)), "image_points"),
        (lambda: pv.triangulate_point(RIG, np.zeros((5, 2), dtype=complex)), "image_points"),
        (lambda: pv.triangulate_point(RIG, np.full((5, 2), "1")), "image_points"),
        (lambda: pv.triangulate_point(RIG, np.zeros((5, 2), dtype=bool)), "image_points"),
        (lambda: pv.triangulate_point(RIG, [[1, 2]] * 4 + [[1]]), "image_points"),  # ragged
        (lambda: pv.triangulate_point(RIG, POINTS2 + [np.inf, 0]), "image_points"),
        (lambda: pv.triangulate_points(RIG, np.zeros((3, 4, 2))), "image_points"),
        (lambda: pv.triangulate_points(RIG, POINTS2), "image_points"),
        (lambda: pv.reconstruct_line(RIG, np.zeros((5, 3))), "segments"),
        (lambda: pv.reconstruct_line(RIG, np.zeros((5, 4))), r"segments\[0\]: start and end"),
        (lambda: pv.reconstruct_segment(RIG, SEGMENTS[:, :, None]), "segments"),
        (lambda: pv.reconstruct_cylinder(RIG, EDGES[:, 0]), "edges"),
        (lambda: pv.reconstruct_cylinder(RIG, EDGES[:3]), "edges"),
        (lambda: pv.reconstruct_cylinder(RIG, EDGES * 0), r"edges\[0\]\[0\]: start and end"),
        (lambda: pv.reconstruct_cylinder(RIG, EDGES, method="centerline"), "method"),
        (lambda: pv.fit_plane(np.zeros((4, 2))), "points"),
        (lambda: pv.fit_plane([[0, 0, 0], [1, 0, 0], [0, np.nan, 1]]), "points"),
        (lambda: pv.fit_line_2d([[0, 0], [1, np.inf]]), "points"),
        (lambda: pv.sample_curve(np.zeros((4, 3)), 10), "points"),
        (lambda: pv.sample_curve([[0, 0], [9, 9]], 0), "count"),
        (lambda: pv.sample_curve([[0, 0], [9, 9]], 10, pass_through=False), "interval"),
        (lambda: pv.sample_curve([[0, 0], [9, 9]], 10, False, -1.0), "interval"),
        (lambda: pv.sample_curve([[0, 0], [9, 9]], 10, False, NAN), "interval"),
        (lambda: pv.reproject_point(pv.Point3D([0, 0, 1]), RIG, POINTS2[:2]), "observed"),
        (lambda: pv.reproject_segment(pv.Segment3D([0, 0, 1], [1, 0, 1]), RIG, POINTS2), "observed"),
        (lambda: pv.reproject_cylinder(pv.Cylinder([1, 0, 0], [1, 1, 0], 0.1), RIG, SEGMENTS),
         "observed"),
        (lambda: pv.Point3D([0, 0]), "xyz"),
        (lambda: pv.Line3D([0, 0, 1], [0, 0, 0]), "direction"),
        (lambda: pv.Segment3D([1, 2, 3], [1, 2, 3]), "start, end"),
        (lambda: pv.Cylinder([0, 0, 0], [0, 0, 1], 0.5), "axis_start, axis_end: the axis line"),
        (lambda: pv.Cylinder([1, 0, 0], [1, 0, 1], 0.0), "radius"),
        (lambda: pv.Plane([0, 0, 1], np.inf), "offset"),
        (lambda: pv.Line2D([0, 0], 1.0), "normal"),
        # finite arguments whose shape would hold NaN or inf (the sums and squares overflow)
        (lambda: pv.Line3D([1e200, 1e200, 1e200], [1, 0, 0]), "point, direction: "),
        (lambda: pv.Segment3D([1e308, 0, 0], [-1e308, 0, 0]), "start, end: "),
        (lambda: pv.Segment3D([1e300, 1e300, 1], [1e300, -1e300, 1]), "start, end: "),
        (lambda: pv.Cylinder([1e308, 1, 0], [-1e308, 1, 0], 1.0), "axis_start, axis_end: "),
    ],
)
def test_bad_argument_raises_value_error_naming_it(call, argument):
    with pytest.raises(ValueError, match="^" + argument):
        call()


@pytest.mark.parametrize(
    "call",
    [
        lambda: pv.triangulate_point(RIG[0], POINTS2[:1]),  # a camera, not a list of them
        lambda: pv.triangulate_point([RIG[0], "camera"], POINTS2[:2]),
        lambda: pv.reconstruct_line("cameras", SEGMENTS),
        lambda: pv.reproject_point([0.0, 0.0, 1.0], RIG),  # a shape object is needed
        lambda: pv.sample_curve([[0, 0], [9, 9]], 10, False, "wide"),
    ],
)
def test_wrong_object_raises_type_error(call):
    with pytest.raises(TypeError):
        call()


GARBAGE = [None, 3.0, [], [[]], np.empty((0,)), np.empty((0, 0)), np.full((5, 2), NAN),
           np.full((5, 4), np.inf), np.zeros((5, 2, 2, 2)), np.array([[1, 2], [3]], dtype=object),
           {"a": 1}, "points", np.full((5, 2, 4), NAN)]
FUNCTIONS = [
    lambda v: pv.triangulate_point(RIG, v),
    lambda v: pv.triangulate_points(RIG, v),
    lambda v: pv.reconstruct_line(RIG, v),
    lambda v: pv.reconstruct_segment(RIG, v),
    lambda v: pv.reconstruct_cylinder(RIG, v),
    lambda v: pv.fit_plane(v),
    lambda v: pv.fit_line_2d(v),
    lambda v: pv.sample_curve(v, 5),
    lambda v: RIG[0].project(v),
    lambda v: pv.reproject_point(pv.Point3D([0, 0, 1]), RIG, v),
    lambda v: pv.reproject_line(pv.Line3D([0, 0, 1], [1, 0, 0]), RIG, v),
    lambda v: pv.reproject_segment(pv.Segment3D([0, 0, 1], [1, 0, 1]), RIG, v),
    lambda v: pv.reproject_cylinder(pv.Cylinder([1, 0, 0], [1, 1, 0], 0.1), RIG, v),
]


def test_garbage_never_crashes_the_interpreter():
    # Every call either answers or raises one of the documented errors.
    for function in FUNCTIONS:
        for value in GARBAGE:
            try:
                function(value)
            except (ValueError, TypeError, pv.ReconstructionError):
                pass
