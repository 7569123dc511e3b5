import numpy as np
import pytest

import polyview as pv
from construction import Mirrored, look_at, ring, segment_images, silhouette_edges

RIG = ring()
NAN = float("nan")


# Two cameras on the x axis looking along +y: the rays of a point far away are parallel, and
# every line along x lies in the one plane through both centres with it.
LEFT = look_at([-1.0, 0.0, 0.0], [-1.0, 1.0, 0.0])
RIGHT = look_at([1.0, 0.0, 0.0], [1.0, 1.0, 0.0])
IN_LINE = [look_at([x, 0.0, 0.0], [x + 0.3, 1.0, 0.0]) for x in (-1.0, 1.0)]
ALONG_X = segment_images(IN_LINE, [-3.0, 4.0, 0.0], [3.0, 4.0, 0.0])
AWAY = [look_at(c.centre, 2.0 * c.centre) for c in RIG[:3]]  # the origin is behind them
POLYLINE = [[0, 0], [25, 0], [50, 0], [75, 0], [100, 0]]  # length 100


def pipe(cameras):
    return np.array([silhouette_edges(c, [-0.5, 0.1, 0.4], [0.5, 0.1, 0.6], 0.1) for c in cameras])


def unseen(edges, mask):
    """The edges with those where mask (camera, edge) is 1 not seen."""
    return np.where(np.array(mask)[:, :, None] == 1, NAN, edges)


@pytest.mark.parametrize("call, reason", [
    (lambda: pv.triangulate_point(RIG[:2], [[1, 2], [NAN, NAN]]), "^picked in one camera only; a point needs two or more$"),
    (lambda: pv.triangulate_point([], np.empty((0, 2))), "picked in no camera"),
    (lambda: pv.triangulate_point([LEFT, RIGHT], [[960.0, 540.0]] * 2), "parallel"),
    # rays that part: their nearest point (0, -10, 0) lies behind both cameras
    (lambda: pv.triangulate_point([LEFT, RIGHT], [[810.0, 540.0], [1110.0, 540.0]]), "behind"),
    (lambda: pv.reconstruct_line(RIG[:1], [[1.0, 2.0, 3.0, 4.0]]), "one camera only; a line"),
    (lambda: pv.reconstruct_line(IN_LINE, ALONG_X), r"viewing planes .* are \(nearly\) parallel"),
    (lambda: pv.reconstruct_segment(IN_LINE, ALONG_X), "viewing planes"),
    # the viewing planes and rays of shapes behind the cameras fix them all the same
    (lambda: pv.reconstruct_segment(AWAY, segment_images(map(Mirrored, AWAY), [0] * 3, [1] * 3)),
     "behind"),
    (lambda: pv.reconstruct_cylinder(AWAY, pipe(map(Mirrored, AWAY))), "behind"),
    (lambda: pv.reconstruct_cylinder(RIG[:1], pipe(RIG[:1])), "one camera only"),
    (lambda: pv.reconstruct_cylinder(RIG[:2], unseen(pipe(RIG[:2]), [[0, 1], [0, 1]])),
     "fewer than three silhouette edges"),
    (lambda: pv.reconstruct_cylinder(RIG[:3], unseen(pipe(RIG[:3]), [[0, 0], [0, 1], [1, 0]]),
                                     method="centre-lines"), "needs both edges in at least two cameras"),
    (lambda: pv.fit_plane([[0.0, 0.0, 0.0], [1.0, 0.0, 0.0]]), "fewer than three points"),
    (lambda: pv.fit_plane([[0, 0, 0], [1, 0, 0], [2, 0, 0]]), "on or near a line"),
    # within 0.5 mm of a 1.5 m line: the fitted normal would turn with the noise
    (lambda: pv.fit_plane([[0, 0, 0], [0.5, 5e-4, 0], [1.0, 0, 5e-4], [1.5, 5e-4, 5e-4]]),
     "on or near a line"),
    # spread across the line 0.0099 of the spread along it (0.0101 is taken)
    (lambda: pv.fit_plane([[1, 0, 0], [-1, 0, 0], [0, 0.0099, 0], [0, -0.0099, 0]]), "below 0.01"),
    (lambda: pv.fit_plane([[1, 2, 3]] * 4), "the points coincide"),
    (lambda: pv.fit_line_2d([[3.0, 4.0]]), "fewer than two points"),
    (lambda: pv.fit_line_2d([[3.0, 4.0]] * 3), "the points coincide"),
    (lambda: pv.sample_curve([[0.0, 0.0], [1.5, 0.0], [3.0, 0.0]], 10), "distinct picks"),
    # interval 10 gives (100 / 10) / 2 = 5 control points, 20 gives 2, 16 gives 3
    (lambda: pv.sample_curve(POLYLINE, 10, False, 20.0), "fewer than 4 control points"),
    (lambda: pv.sample_curve(POLYLINE, 10, False, 16.0), "exactly 3 control points"),
    (lambda: pv.sample_curve(POLYLINE[::2], 10, False, 10.0), "more than there are picks"),
])
def test_failed_reconstruction_raises_with_reason(call, reason):
    with pytest.raises(pv.ReconstructionError, match=reason) as caught:
        call()
    assert caught.value.reason == str(caught.value)  # a RuntimeError, not a ValueError
    assert isinstance(caught.value, RuntimeError) and not isinstance(caught.value, ValueError)


def test_sample_curve_limits_hold_on_both_sides():
    assert pv.sample_curve(POLYLINE, 10, False, 10.0).shape == (10, 2)  # 5 control points
    assert pv.sample_curve(POLYLINE, 1).tolist() == [[100.0, 0.0]]  # the only sample: the last


POINTS2, SEGMENTS, EDGES = np.zeros((5, 2)), np.ones((5, 4)), np.zeros((5, 2, 4)) + [0, 0, 1, 1]
BAD = [  # (call with the value, the argument its ValueError names, bad values)
    (lambda v: pv.triangulate_point(RIG, v), "image_points",
     [np.zeros((4, 2)), np.zeros((5, 3)), np.zeros(10), np.zeros((5, 2), dtype=complex),
      np.full((5, 2), "1"), np.zeros((5, 2), dtype=bool), [[1, 2]] * 4 + [[1]],  # ragged
      POINTS2 + [np.inf, 0]]),
    (lambda v: pv.triangulate_points(RIG, v), "image_points", [np.zeros((3, 4, 2)), POINTS2]),
    (lambda v: pv.reconstruct_line(RIG, v), "segments", [np.zeros((5, 3))]),
    (lambda v: pv.reconstruct_line(RIG, v), r"segments\[0\]: start and end", [SEGMENTS]),
    (lambda v: pv.reconstruct_segment(RIG, v), "segments", [SEGMENTS[:, :, None]]),
    (lambda v: pv.reconstruct_cylinder(RIG, v), "edges", [EDGES[:, 0], EDGES[:3]]),
    (lambda v: pv.reconstruct_cylinder(RIG, v), r"edges\[0\]\[0\]: start and end", [EDGES * 0]),
    (lambda v: pv.reconstruct_cylinder(RIG, EDGES, method=v), "method", ["centerline"]),
    (pv.fit_plane, "points", [np.zeros((4, 2)), [[0, 0, 0], [1, 0, 0], [0, np.nan, 1]]]),
    (pv.fit_line_2d, "points", [[[0, 0], [1, np.inf]]]),
    (lambda v: pv.sample_curve(v, 10), "points", [np.zeros((4, 3))]),
    (lambda v: pv.sample_curve([[0, 0], [9, 9]], v), "count", [0]),
    (lambda v: pv.sample_curve([[0, 0], [9, 9]], 10, False, v), "interval", [None, -1.0, NAN]),
    (RIG[0].project, "points", [np.zeros((3, 2))]),
    (RIG[0].undistort, "pixels", [np.zeros((3, 3))]),
    (RIG[0].distort, "ideal_pixels", [np.zeros(3)]),
    (lambda v: pv.reproject_point(pv.Point3D([0, 0, 1]), RIG, v), "observed", [POINTS2[:2]]),
    (lambda v: pv.reproject_line(pv.Line3D([0, 0, 1], [1, 0, 0]), RIG, v), "observed", [POINTS2]),
    (lambda v: pv.reproject_segment(pv.Segment3D([0, 0, 1], [1, 0, 1]), RIG, v), "observed",
     [POINTS2]),
    (lambda v: pv.reproject_cylinder(pv.Cylinder([1, 0, 0], [1, 1, 0], 0.1), RIG, v), "observed",
     [SEGMENTS]),
    (pv.Point3D, "xyz", [[0, 0]]),
    (lambda v: pv.Line3D([0, 0, 1], v), "direction", [[0, 0, 0]]),
    (lambda v: pv.Segment3D(v, v), "start, end", [[1, 2, 3]]),
    (lambda v: pv.Cylinder([0, 0, 0], [0, 0, v], 0.5), "axis_start, axis_end: the axis line", [1]),
    (lambda v: pv.Cylinder([1, 0, 0], [1, 0, 1], v), "radius", [0.0]),
    (lambda v: pv.Plane([0, 0, 1], v), "offset", [np.inf]),
    (lambda v: pv.Line2D(v, 1.0), "normal", [[0, 0]]),
    # finite arguments whose shape would hold NaN or inf (the sums and squares overflow)
    (lambda v: pv.Line3D(v, [1, 0, 0]), "point, direction: too large", [[1e200, 1e200, 1e200]]),
    (lambda v: pv.Segment3D(v, np.negative(v)), "start, end: too", [[1e308, 0, 0], [1e300] * 3]),
    (lambda v: pv.Cylinder(v, [-1e308, 1, 0], 1.0), "axis_start, axis_end: too", [[1e308, 1, 0]]),
]


WRONG_TYPE = [  # (call with the value, the argument its TypeError names, values)
    (lambda v: pv.triangulate_point(v, POINTS2[:1]), "cameras", [RIG[0], "cameras"]),  # not a list
    (lambda v: pv.triangulate_point(v, POINTS2[:2]), r"cameras\[1\]", [[RIG[0], "camera"]]),
    (lambda v: pv.reproject_point(v, RIG), "reproject_point", [[0.0, 0.0, 1.0]]),  # not a shape
    (lambda v: pv.sample_curve([[0, 0], [9, 9]], 10, False, v), "interval", ["wide"]),
]


@pytest.mark.parametrize("error, call, argument, value", [
    (error, c, a, v) for error, table in ((ValueError, BAD), (TypeError, WRONG_TYPE))
    for c, a, vs in table for v in vs])
def test_bad_argument_raises_naming_it(error, call, argument, value):
    with pytest.raises(error, match="^" + argument):
        call(value)


@pytest.mark.parametrize("call", [call for call, _, _ in BAD + WRONG_TYPE])
def test_garbage_never_crashes_the_interpreter(call):
    # Every call either answers or raises one of the documented errors.
    for value in [None, 3.0, [], [[]], np.empty((0,)), np.empty((0, 0)), np.full((5, 2), NAN),
                  np.full((5, 4), np.inf), np.zeros((5, 2, 2, 2)), {"a": 1}, "points",
                  np.array([[1, 2], [3]], dtype=object), np.full((5, 2, 4), NAN)]:
        try:
            call(value)
        except (ValueError, TypeError, pv.ReconstructionError):
            pass
