import numpy as np
import pytest

import polyview as pv
from construction import (angle_between, distance_to_line, look_at, ring, segment_images,
                          silhouette_edges)

RIG = ring()


def test_triangulate_point_rebuilds_projected_points():
    rng = np.random.default_rng(7)
    for point in rng.uniform(-1.0, 1.0, size=(20, 3)):
        images = np.array([camera.project(point) for camera in RIG])
        np.testing.assert_allclose(pv.triangulate_point(RIG, images).xyz, point, atol=1e-9)


def test_nan_row_leaves_the_camera_out():
    point = np.array([0.3, -0.4, 0.8])
    images = np.array([camera.project(point) for camera in RIG]) + [[0.7, -0.3]]  # off the rays
    images[2] = np.nan
    without = pv.triangulate_point(RIG[:2] + RIG[3:], np.delete(images, 2, axis=0))
    np.testing.assert_array_equal(pv.triangulate_point(RIG, images).xyz, without.xyz)


def test_rays_that_miss_meet_at_the_middle_of_their_common_perpendicular():
    # Ray 1: the z axis. Ray 2: from (1, 0.2, 0) along (-0.5, 0, 1), passing (0, 0.2, 2).
    first = pv.Camera(1.0, [0.0, 0.0], np.eye(3), [0.0, 0.0, 0.0])
    second = pv.Camera(1.0, [0.0, 0.0], np.eye(3), [-1.0, -0.2, 0.0])
    point = pv.triangulate_point([first, second], [[0.0, 0.0], [-0.5, 0.0]])
    np.testing.assert_allclose(point.xyz, [0.0, 0.1, 2.0], atol=1e-12)


def test_reconstruct_line_from_segments_anywhere_on_its_image():
    start, end = np.array([-0.8, 0.2, 0.1]), np.array([0.6, -0.3, 1.2])
    # each camera sees another stretch of the line
    stretches = [(0.0, 0.4), (0.3, 1.0), (0.1, 0.9), (-0.2, 0.5), (0.5, 1.2)]
    segments = np.array([
        np.concatenate([c.project(start + a * (end - start)), c.project(start + b * (end - start))])
        for c, (a, b) in zip(RIG, stretches)
    ])
    line = pv.reconstruct_line(RIG, segments)
    assert angle_between(line.direction, end - start) < 1e-9
    assert distance_to_line(line.point, start, end) < 1e-9
    assert abs(np.dot(line.point, line.direction)) < 1e-9  # the point nearest the origin
    assert line.direction[np.argmax(np.abs(line.direction))] > 0.0
    assert line.distance == pytest.approx(np.linalg.norm(line.point), abs=1e-12)


def test_reconstruct_segment_unites_the_stretches_seen():
    start, end = np.array([-0.8, 0.2, 0.1]), np.array([0.6, -0.3, 1.2])
    middle = (start + end) / 2.0
    segments = np.concatenate([segment_images(RIG[:2], start, middle),
                               segment_images(RIG[2:4], middle, end),
                               [[np.nan] * 4]])
    segment = pv.reconstruct_segment(RIG, segments)
    np.testing.assert_allclose(segment.start, start, atol=1e-8)  # the first observation's order
    np.testing.assert_allclose(segment.end, end, atol=1e-8)
    assert segment.length == pytest.approx(np.linalg.norm(end - start), abs=1e-8)


PIPE_START, PIPE_END, PIPE_RADIUS = np.array([-0.9, 0.3, 0.6]), np.array([1.1, -0.2, 0.8]), 0.15


def pipe_edges(cameras):
    return np.array([silhouette_edges(c, PIPE_START, PIPE_END, PIPE_RADIUS) for c in cameras])


def check_pipe(cylinder, radius_tolerance, axis_tolerance):
    assert cylinder.radius == pytest.approx(PIPE_RADIUS, abs=radius_tolerance)
    assert angle_between(cylinder.direction, PIPE_END - PIPE_START) < axis_tolerance
    for point in (cylinder.axis_start, cylinder.axis_end):
        assert distance_to_line(point, PIPE_START, PIPE_END) < axis_tolerance
    # The extent comes from the edges' ends, which lie up to a radius beside the axis ends.
    ends = sorted([cylinder.axis_start, cylinder.axis_end], key=lambda p: np.dot(p, PIPE_END))
    assert np.linalg.norm(ends[0] - PIPE_START) < PIPE_RADIUS
    assert np.linalg.norm(ends[1] - PIPE_END) < PIPE_RADIUS


def test_tangent_planes_rebuild_the_cylinder_exactly():
    edges = pipe_edges(RIG)
    check_pipe(pv.reconstruct_cylinder(RIG, edges), 1e-9, 1e-9)
    # the two edges of each camera in the other order
    check_pipe(pv.reconstruct_cylinder(RIG, edges[:, ::-1]), 1e-9, 1e-9)


def test_tangent_planes_use_a_lone_edge():
    edges = pipe_edges(RIG[:2])
    edges[1, 1] = np.nan  # the second camera saw one edge: three edges in all
    check_pipe(pv.reconstruct_cylinder(RIG[:2], edges, method="tangent-planes"), 1e-9, 1e-9)


def test_centre_lines_estimate_the_cylinder():
    cylinder = pv.reconstruct_cylinder(RIG, pipe_edges(RIG), method="centre-lines")
    # the centre line between two silhouettes is not the exact image of the axis
    check_pipe(cylinder, 1e-4, 1e-3)


def test_fit_plane_through_points_of_a_known_plane():
    normal = np.array([1.0, 2.0, 2.0]) / 3.0
    u = np.array([2.0, -1.0, 0.0]) / np.sqrt(5.0)
    v = np.cross(normal, u)
    rng = np.random.default_rng(3)
    points = 4.0 * normal + rng.uniform(-2, 2, (12, 1)) * u + rng.uniform(-2, 2, (12, 1)) * v
    for oriented in (points, points[::-1]):  # the sign follows the largest component, not order
        plane = pv.fit_plane(oriented)
        np.testing.assert_allclose(plane.normal, normal, atol=1e-12)
        assert plane.offset == pytest.approx(4.0, abs=1e-12)
        np.testing.assert_allclose(plane.coefficients, [*normal, -4.0], atol=1e-12)
    np.testing.assert_allclose(plane.distance([normal * 7.0, normal * 1.5]), [3.0, 2.5], atol=1e-12)
    assert plane.distance(normal * 4.0 + u) == pytest.approx(0.0, abs=1e-12)
    # spread across the line 0.0101 of the spread along it: just above the limit of 0.01
    thin = pv.fit_plane([[1, 0, 0], [-1, 0, 0], [0, 0.0101, 0], [0, -0.0101, 0]])
    np.testing.assert_allclose(thin.normal, [0.0, 0.0, 1.0], atol=1e-12)


def test_fit_line_2d_through_points_of_a_known_line():
    x = np.array([0.0, 10.0, 25.0, 40.0])
    line = pv.fit_line_2d(np.column_stack([x, 2.0 * x + 1.0]))  # y = 2 x + 1: 2 x - y = -1
    normal = np.array([2.0, -1.0]) / np.sqrt(5.0)
    sign = np.sign(np.dot(line.normal, normal))
    np.testing.assert_allclose(line.normal, sign * normal, atol=1e-12)
    assert line.offset == pytest.approx(-sign / np.sqrt(5.0), abs=1e-12)
    np.testing.assert_allclose(abs(line.direction @ [1.0, 2.0]), np.sqrt(5.0), atol=1e-12)
    assert line.distance([0.0, 0.0]) == pytest.approx(1.0 / np.sqrt(5.0), abs=1e-12)


ARC = np.column_stack([500.0 + 200.0 * np.cos(np.linspace(0, 1.5, 9)),
                       400.0 + 200.0 * np.sin(np.linspace(0, 1.5, 9))])


def test_sample_curve_through_points_of_an_arc():
    samples = pv.sample_curve(ARC, 60)
    assert samples.shape == (60, 2)
    np.testing.assert_allclose(samples[0], ARC[0], atol=1e-6)
    np.testing.assert_array_equal(samples[-1], ARC[-1])
    radii = np.linalg.norm(samples - [500.0, 400.0], axis=1)
    np.testing.assert_allclose(radii, 200.0, atol=0.5)  # a spline through the picks hugs the arc


def test_sample_curve_near_points_keeps_the_end_points():
    # length about 300 px; interval 30 gives (300 / 30) / 2 = 5 control points
    samples = pv.sample_curve(ARC, 40, pass_through=False, interval=30.0)
    np.testing.assert_array_equal(samples[0], ARC[0])
    np.testing.assert_array_equal(samples[-1], ARC[-1])
    radii = np.linalg.norm(samples - [500.0, 400.0], axis=1)
    np.testing.assert_allclose(radii, 200.0, atol=1.0)


def test_constructed_shapes_hold_what_they_were_given():
    segment = pv.Segment3D([1.0, 2.0, 3.0], [4.0, 6.0, 3.0])
    np.testing.assert_allclose(segment.start, [1.0, 2.0, 3.0], atol=1e-12)
    np.testing.assert_allclose(segment.end, [4.0, 6.0, 3.0], atol=1e-12)
    assert segment.length == pytest.approx(5.0, abs=1e-12)
    cylinder = pv.Cylinder([1.0, 0.0, 0.0], [1.0, 0.0, 2.0], 0.5)
    np.testing.assert_allclose(cylinder.axis_start, [1.0, 0.0, 0.0], atol=1e-12)
    np.testing.assert_allclose(cylinder.axis_end, [1.0, 0.0, 2.0], atol=1e-12)
    assert (cylinder.radius, cylinder.length) == (0.5, pytest.approx(2.0, abs=1e-12))
    line = pv.Line3D([3.0, 1.0, 7.0], [0.0, 0.0, -2.0])
    np.testing.assert_allclose(line.point, [3.0, 1.0, 0.0], atol=1e-12)
    assert line.distance == pytest.approx(np.sqrt(10.0), abs=1e-12)
    plane = pv.Plane([0.0, 0.0, -2.0], 3.0)  # -z = 3
    np.testing.assert_allclose(plane.coefficients, [0.0, 0.0, -1.0, -3.0], atol=1e-12)
    assert pv.Line2D([0.0, 2.0], 5.0).distance([[1.0, 5.0], [1.0, 8.0]]).tolist() == [0.0, 3.0]
    # normals whose squared length over- or underflows (gave NaN, or "the zero vector")
    np.testing.assert_allclose(pv.Line2D([1e200, 1e200], 1.0).normal, [0.5**0.5] * 2, atol=1e-15)
    assert pv.Line2D([0.0, 1e-200], 1.0).coefficients.tolist() == [0.0, 1.0, -1.0]


SEEN = np.array([[960.0, 540.0], [np.nan, np.nan], [900.0, 500.0]])  # NaN: a value not had
SEEN4 = np.column_stack([SEEN, SEEN + 50.0])
SEEN8 = np.stack([SEEN4, SEEN4 + 9.0], axis=1)
ROD = pv.Cylinder([-0.5, 0.1, 0.4], [0.5, 0.1, 0.6], 0.1)
CAM = dict(focal_length=1000.0, principal_point=[320.0, 240.0], translation=[1.0, 2.0, 3.0])


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
    lambda: tuple(pv.reproject_point(pv.Point3D([0.1, 0.2, 0.3]), RIG[:3], s)
                  for s in (SEEN, SEEN.copy(), SEEN + 1.0)),
    lambda: tuple(pv.reproject_line(pv.Line3D([0, 0, 0.5], [1, 0, 0]), RIG[:3], s)
                  for s in (SEEN4, SEEN4.copy(), SEEN4 + 1.0)),
    lambda: tuple(pv.reproject_segment(pv.Segment3D([0, 0, 0.5], [1, 0, 0.5]), RIG[:3], s)
                  for s in (SEEN4, SEEN4.copy(), SEEN4 + 1.0)),
    lambda: tuple(pv.reproject_cylinder(ROD, RIG[:3], s) for s in (SEEN8, SEEN8.copy(), SEEN8 + 1)),
])
def test_results_compare_and_hash_by_value(build):
    first, same, other = build()
    assert first == same and not first != same and hash(first) == hash(same)
    assert first != other and not first == other
    assert first != "a string" and len({first, same, other}) == 2
