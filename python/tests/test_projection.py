import numpy as np
import pytest

import polyview as pv
from construction import look_at, ring, segment_images, silhouette_edges

RIG = ring()
IDENTITY = pv.Camera(1000.0, [320.0, 240.0], np.eye(3), [0.0, 0.0, 0.0])


def unit_normal(a, b):
    """The unit normal of the image line through a and b."""
    d = np.asarray(b) - np.asarray(a)
    return np.array([-d[1], d[0]]) / np.hypot(*d)


def test_point_images_and_residuals():
    point = pv.Point3D([0.1, -0.2, 2.0])
    images = np.array([c.project(point.xyz) for c in RIG])
    observed = images + [3.0, 4.0]
    observed[1] = np.nan
    projection = pv.reproject_point(point, RIG, observed)
    np.testing.assert_allclose(projection.image_points, images, atol=1e-9)
    np.testing.assert_allclose(projection.residuals, [5, np.nan, 5, 5, 5], atol=1e-9)
    assert np.all(np.isnan(pv.reproject_point(point, RIG).residuals))  # nothing observed


def test_point_behind_the_camera_has_no_image():
    projection = pv.reproject_point(pv.Point3D([0.0, 0.0, -1.0]), [IDENTITY], [[320.0, 240.0]])
    assert np.all(np.isnan(projection.image_points)) and np.isnan(projection.residuals[0])


def test_line_image_runs_through_the_images_of_its_points():
    start, end = np.array([-0.5, 0.2, 0.3]), np.array([0.7, -0.1, 1.0])
    projection = pv.reproject_line(pv.Line3D(start, end - start), RIG)
    for camera, (a, b, c) in zip(RIG, projection.lines):
        assert np.hypot(a, b) == pytest.approx(1.0, abs=1e-12)
        for point in (start, end, 3.0 * end - 2.0 * start):
            assert abs(np.dot([a, b], camera.project(point)) + c) < 1e-8


def test_line_residual_is_the_larger_end_point_distance():
    start, end = np.array([-0.5, 0.2, 0.3]), np.array([0.7, -0.1, 1.0])
    observed = segment_images(RIG, start, end)
    for k in range(len(RIG)):  # move one end 2 px off the line, the other 0.5 px
        normal = unit_normal(observed[k, :2], observed[k, 2:])
        observed[k, :2] += 0.5 * normal
        observed[k, 2:] -= 2.0 * normal
    projection = pv.reproject_line(pv.Line3D(start, end - start), RIG, observed)
    np.testing.assert_allclose(projection.residuals, 2.0, atol=1e-8)


def test_line_through_the_camera_centre_has_no_image():
    projection = pv.reproject_line(pv.Line3D([0.0, 0.0, 5.0], [0.0, 0.0, 1.0]), [IDENTITY])
    assert np.all(np.isnan(projection.lines))


def test_segment_image_and_residual():
    start, end = np.array([-0.5, 0.2, 0.3]), np.array([0.7, -0.1, 1.0])
    exact = segment_images(RIG, start, end)
    observed = exact.copy()
    normal = unit_normal(exact[0, :2], exact[0, 2:])
    observed[0, 2:] += 1.5 * normal
    observed[3] = np.nan
    projection = pv.reproject_segment(pv.Segment3D(start, end), RIG, observed)
    np.testing.assert_allclose(projection.segments, exact, atol=1e-8)
    np.testing.assert_allclose(projection.residuals, [1.5, 0, 0, np.nan, 0], atol=1e-8)


def test_segment_behind_the_camera_is_cut_at_the_camera_plane():
    camera = pv.Camera(1000.0, [0.0, 0.0], np.eye(3), [0.0, 0.0, 0.0])
    crossing = pv.reproject_segment(pv.Segment3D([0.0, 1.0, 2.0], [0.0, 1.0, -2.0]), [camera])
    x0, y0, x1, y1 = crossing.segments[0]
    np.testing.assert_allclose([x0, y0], [0.0, 500.0], atol=1e-6)  # (0, 1, 2): (0, 1000 / 2)
    assert 1e10 < y1 < np.inf  # the end cut at depth 1e-8 lies far out
    behind = pv.reproject_segment(pv.Segment3D([0.0, 1.0, -1.0], [0.0, 1.0, -2.0]), [camera])
    assert np.all(np.isnan(behind.segments))


START, END, RADIUS = np.array([-0.9, 0.3, 0.6]), np.array([1.1, -0.2, 0.8]), 0.15
PIPE = pv.Cylinder(START, END, RADIUS)


def test_cylinder_silhouettes_match_the_outline_construction():
    projection = pv.reproject_cylinder(PIPE, RIG)
    for camera, edges, centre in zip(RIG, projection.edges, projection.centre_lines):
        expected = silhouette_edges(camera, START, END, RADIUS)
        for edge in edges:
            # each edge lies on one of the constructed outline lines, end to end
            gaps = [max(abs(np.dot(unit_normal(e[:2], e[2:]), edge[:2] - e[:2])),
                        abs(np.dot(unit_normal(e[:2], e[2:]), edge[2:] - e[:2]))) for e in expected]
            assert min(gaps) < 1e-7
        np.testing.assert_allclose(
            np.sort(centre.reshape(2, 2), axis=0),
            np.sort([camera.project(START), camera.project(END)], axis=0), atol=1e-7)


def test_cylinder_residuals_pair_edges_either_way():
    edges = np.array([silhouette_edges(c, START, END, RADIUS) for c in RIG])
    moved = edges.copy()
    normal = unit_normal(moved[0, 0, :2], moved[0, 0, 2:])
    moved[0, 0, :2] += 2.0 * normal  # 2 px off its silhouette
    moved[1] = moved[1, ::-1]  # the other order
    moved[2, 1] = np.nan  # one edge seen
    moved[4] = np.nan  # not seen
    projection = pv.reproject_cylinder(PIPE, RIG, moved)
    np.testing.assert_allclose(projection.residuals, [2, 0, 0, 0, np.nan], atol=1e-7)


def test_camera_inside_the_cylinder_sees_no_silhouette():
    inside = look_at((START + END) / 2.0 + [0.0, 0.0, 0.05], END)
    projection = pv.reproject_cylinder(PIPE, [inside], np.zeros((1, 2, 4)) + [0, 0, 1, 1])
    assert np.all(np.isnan(projection.edges)) and np.isnan(projection.residuals[0])


def test_projections_are_immutable():
    projection = pv.reproject_point(pv.Point3D([0.0, 0.0, 2.0]), [IDENTITY])
    with pytest.raises(AttributeError):
        projection.residuals = None
    with pytest.raises(ValueError):
        projection.image_points[0, 0] = 1.0
    with pytest.raises(ValueError):  # nor can the array be made writeable again
        projection.residuals.flags.writeable = True
