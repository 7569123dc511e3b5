import numpy as np
import pytest

import polyview as pv
from construction import angle_between, distance_to_line, ring, segment_images, silhouette_edges

RIG = ring()


def test_triangulate_point_rebuilds_projected_points_and_leaves_nan_rows_out():
    for point in np.random.default_rng(7).uniform(-1.0, 1.0, size=(20, 3)):
        images = np.array([camera.project(point) for camera in RIG])
        np.testing.assert_allclose(pv.triangulate_point(RIG, images).xyz, point, atol=1e-9)
    images += [[0.7, -0.3]]  # off the rays
    images[2] = np.nan
    without = pv.triangulate_point(RIG[:2] + RIG[3:], np.delete(images, 2, axis=0))
    np.testing.assert_array_equal(pv.triangulate_point(RIG, images).xyz, without.xyz)


def test_line_and_segment_from_the_stretches_seen():
    start, end = np.array([-0.8, 0.2, 0.1]), np.array([0.6, -0.3, 1.2])
    # the line: each camera sees another stretch of it
    stretches = [(0.0, 0.4), (0.3, 1.0), (0.1, 0.9), (-0.2, 0.5), (0.5, 1.2)]
    line = pv.reconstruct_line(RIG, np.array([segment_images(
        [c], start + a * (end - start), start + b * (end - start))[0]
        for c, (a, b) in zip(RIG, stretches)]))
    assert angle_between(line.direction, end - start) < 1e-9
    assert distance_to_line(line.point, start, end) < 1e-9
    assert abs(np.dot(line.point, line.direction)) < 1e-9  # the point nearest the origin
    assert line.direction[np.argmax(np.abs(line.direction))] > 0.0
    # the segment: two cameras saw one half, two the other, one none
    middle = (start + end) / 2.0
    segment = pv.reconstruct_segment(RIG, np.concatenate([
        segment_images(RIG[:2], start, middle), segment_images(RIG[2:4], middle, end),
        [[np.nan] * 4]]))
    np.testing.assert_allclose(segment.start, start, atol=1e-8)  # the first observation's order
    np.testing.assert_allclose(segment.end, end, atol=1e-8)
    assert segment.length == pytest.approx(np.linalg.norm(end - start), abs=1e-8)


PIPE_START, PIPE_END, PIPE_RADIUS = np.array([-0.9, 0.3, 0.6]), np.array([1.1, -0.2, 0.8]), 0.15
PIPE = pv.Cylinder(PIPE_START, PIPE_END, PIPE_RADIUS)


@pytest.mark.parametrize("cameras, edit, method, radius_tolerance, axis_tolerance", [
    (RIG, lambda edges: edges, "tangent-planes", 1e-9, 1e-9),
    (RIG, lambda edges: edges[:, ::-1], "tangent-planes", 1e-9, 1e-9),  # the other edge first
    # the second camera saw one edge: three edges in all
    (RIG[:2], lambda edges: np.where([[[0], [0]], [[0], [1]]], np.nan, edges), "tangent-planes",
     1e-9, 1e-9),
    # the centre line between two silhouettes is not the exact image of the axis: an estimate
    (RIG, lambda edges: edges, "centre-lines", 1e-4, 1e-3),
])
def test_reconstruct_cylinder_rebuilds_the_pipe(cameras, edit, method, radius_tolerance,
                                                axis_tolerance):
    edges = [silhouette_edges(c, PIPE_START, PIPE_END, PIPE_RADIUS) for c in cameras]
    cylinder = pv.reconstruct_cylinder(cameras, edit(np.array(edges)), method)
    assert cylinder.radius == pytest.approx(PIPE_RADIUS, abs=radius_tolerance)
    assert angle_between(cylinder.direction, PIPE_END - PIPE_START) < axis_tolerance
    for point in (cylinder.axis_start, cylinder.axis_end):
        assert distance_to_line(point, PIPE_START, PIPE_END) < axis_tolerance
    # The extent comes from the edges' ends, which lie up to a radius beside the axis ends.
    ends = sorted([cylinder.axis_start, cylinder.axis_end], key=lambda p: np.dot(p, PIPE_END))
    assert np.linalg.norm(ends[0] - PIPE_START) < PIPE_RADIUS
    assert np.linalg.norm(ends[1] - PIPE_END) < PIPE_RADIUS


def test_fit_plane_through_points_of_a_known_plane():
    normal = np.array([1.0, 2.0, 2.0]) / 3.0
    u = np.array([2.0, -1.0, 0.0]) / np.sqrt(5.0)
    rng = np.random.default_rng(3)
    points = (4.0 * normal + rng.uniform(-2, 2, (12, 1)) * u
              + rng.uniform(-2, 2, (12, 1)) * np.cross(normal, u))
    for oriented in (points, points[::-1]):  # the sign follows the largest component, not order
        plane = pv.fit_plane(oriented)
        np.testing.assert_allclose(plane.coefficients, [*normal, -4.0], atol=1e-12)
    np.testing.assert_allclose(plane.distance([normal * 7.0, normal * 1.5]), [3.0, 2.5], atol=1e-12)
    assert plane.distance(normal * 4.0 + u) == pytest.approx(0.0, abs=1e-12)
    # spread across the line 0.0101 of the spread along it: just above the limit of 0.01
    thin = pv.fit_plane([[1, 0, 0], [-1, 0, 0], [0, 0.0101, 0], [0, -0.0101, 0]])
    np.testing.assert_allclose(thin.normal, [0.0, 0.0, 1.0], atol=1e-12)


def test_fit_line_2d_through_points_of_a_known_line():
    x = np.array([0.0, 10.0, 25.0, 40.0])
    line = pv.fit_line_2d(np.column_stack([x, 2.0 * x + 1.0]))  # y = 2 x + 1: 2 x - y = -1
    sign = np.sign(line.normal[0])
    np.testing.assert_allclose(line.coefficients, sign * np.array([2, -1, 1]) / 5**0.5, atol=1e-12)
    np.testing.assert_allclose(abs(line.direction @ [1.0, 2.0]), np.sqrt(5.0), atol=1e-12)
    # (0, 1) lies on the line
    np.testing.assert_allclose(line.distance([[0, 0], [0, 1]]), [1.0 / np.sqrt(5.0), 0], atol=1e-12)
    assert line.distance([0.0, 0.0]) == pytest.approx(1.0 / np.sqrt(5.0), abs=1e-12)


ARC = np.column_stack([500.0 + 200.0 * np.cos(np.linspace(0, 1.5, 9)),
                       400.0 + 200.0 * np.sin(np.linspace(0, 1.5, 9))])


@pytest.mark.parametrize("count, options, start_tolerance, radius_tolerance", [
    (60, {}, 1e-6, 0.5),  # a spline through the picks hugs the arc
    # length about 300 px; interval 30 gives (300 / 30) / 2 = 5 control points; the ends are kept
    (40, dict(pass_through=False, interval=30.0), 0.0, 1.0),
])
def test_sample_curve_along_an_arc(count, options, start_tolerance, radius_tolerance):
    samples = pv.sample_curve(ARC, count, **options)
    assert samples.shape == (count, 2)
    np.testing.assert_allclose(samples[0], ARC[0], rtol=0, atol=start_tolerance)
    np.testing.assert_array_equal(samples[-1], ARC[-1])
    radii = np.linalg.norm(samples - [500.0, 400.0], axis=1)
    np.testing.assert_allclose(radii, 200.0, atol=radius_tolerance)


@pytest.mark.parametrize("shape, values", [
    (pv.Segment3D([1, 2, 3], [4, 6, 3]), dict(start=[1, 2, 3], end=[4, 6, 3], length=5)),
    (pv.Cylinder([1, 0, 0], [1, 0, 2], 0.5), dict(axis_start=[1, 0, 0], axis_end=[1, 0, 2],
                                                  radius=0.5, length=2)),
    (pv.Line3D([3, 1, 7], [0, 0, -2]), dict(point=[3, 1, 0], distance=np.sqrt(10.0))),
    (pv.Plane([0, 0, -2], 3.0), dict(coefficients=[0, 0, -1, -3], normal=[0, 0, -1], offset=3)),
    (pv.Line2D([0, 2], 5.0), dict(coefficients=[0, 1, -5])),
    # normals whose squared length over- or underflows (gave NaN, or "the zero vector")
    (pv.Line2D([1e200, 1e200], 1.0), dict(normal=[0.5**0.5] * 2)),
    (pv.Line2D([0, 1e-200], 1.0), dict(coefficients=[0, 1, -1])),
])
def test_constructed_shapes_hold_what_they_were_given(shape, values):
    for name, value in values.items():
        np.testing.assert_allclose(getattr(shape, name), value, rtol=0, atol=1e-12, err_msg=name)


SEEN = np.array([[960.0, 540.0], [np.nan, np.nan], [900.0, 500.0]])  # NaN: a value not had
SEEN4 = np.column_stack([SEEN, SEEN + 50.0])
CAM = dict(focal_length=1000.0, principal_point=[320.0, 240.0], translation=[1.0, 2.0, 3.0])


def projections(reproject, shape, seen):
    return tuple(reproject(shape, RIG[:3], s) for s in (seen, seen.copy(), seen + 1.0))


@pytest.mark.parametrize("build", [  # two objects with the same values, built apart; one other
    lambda: (pv.Camera(**CAM, rotation=np.eye(3)), pv.Camera(**CAM, rotation=[0.0, 0.0, 0.0]),
             pv.Camera(**CAM, rotation=[0.0, 0.0, 1e-9])),
    lambda: (pv.Point3D([0.0, 1, 2]), pv.Point3D([-0.0, 1, 2]), pv.Point3D([0, 1, 2.5])),
    lambda: (pv.Line3D([3, 1, 7], [0, 0, 2]), pv.Line3D([3, 1, 0], [0, 0, 1]),
             pv.Line3D([3, 1, 0], [0, 0, -1])),
    lambda: (pv.Segment3D([1, 2, 3], [4, 6, 3]), pv.Segment3D([1, 2, 3], [4, 6, 3]),
             pv.Segment3D([4, 6, 3], [1, 2, 3])),
    lambda: (pv.Cylinder([1, 0, 0], [1, 0, 2], 0.5), pv.Cylinder([1, 0, 0], [1, 0, 2], 0.5),
             pv.Cylinder([1, 0, 0], [1, 0, 2], 0.25)),
    lambda: (pv.Plane([0, 0, 2], 3.0), pv.Plane([0, 0, 1], 3.0), pv.Plane([0, 0, 1], -3.0)),
    lambda: (pv.Line2D([0, 2], 5.0), pv.Line2D([0, 1], 5.0), pv.Line2D([0, -1], 5.0)),
    lambda: projections(pv.reproject_point, pv.Point3D([0.1, 0.2, 0.3]), SEEN),
    lambda: projections(pv.reproject_line, pv.Line3D([0, 0, 0.5], [1, 0, 0]), SEEN4),
    lambda: projections(pv.reproject_segment, pv.Segment3D([0, 0, 0.5], [1, 0, 0.5]), SEEN4),
    lambda: projections(pv.reproject_cylinder, PIPE, np.stack([SEEN4, SEEN4 + 9.0], axis=1)),
])
def test_results_compare_and_hash_by_value(build):
    first, same, other = build()
    assert first == same and not first != same and hash(first) == hash(same)
    assert first != other and not first == other
    assert first != "a string" and len({first, same, other}) == 2
