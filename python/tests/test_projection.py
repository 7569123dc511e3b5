import numpy as np
import pytest

import polyview as pv
from construction import look_at, ring, segment_images, silhouette_edges

RIG = ring()
IDENTITY = pv.Camera(1000.0, [0.0, 0.0], np.eye(3), [0.0, 0.0, 0.0])
START, END, RADIUS = np.array([-0.9, 0.3, 0.6]), np.array([1.1, -0.2, 0.8]), 0.15
PIPE = pv.Cylinder(START, END, RADIUS)


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


def test_line_images_are_unit_normal_lines_through_the_images_of_its_points():
    projection = pv.reproject_line(pv.Line3D(START, END - START), RIG)
    for camera, (a, b, c) in zip(RIG, projection.lines):
        assert np.hypot(a, b) == pytest.approx(1.0, abs=1e-12)
        for point in (START, END, 3.0 * END - 2.0 * START):
            assert abs(np.dot([a, b], camera.project(point)) + c) < 1e-8


def test_segment_image_and_residual():
    exact = segment_images(RIG, START, END)
    observed = exact.copy()
    observed[0, 2:] += 1.5 * unit_normal(exact[0, :2], exact[0, 2:])
    observed[3] = np.nan
    projection = pv.reproject_segment(pv.Segment3D(START, END), RIG, observed)
    np.testing.assert_allclose(projection.segments, exact, atol=1e-8)
    np.testing.assert_allclose(projection.residuals, [1.5, 0, 0, np.nan, 0], atol=1e-8)


def test_cylinder_silhouettes_and_residuals():
    edges = np.array([silhouette_edges(c, START, END, RADIUS) for c in RIG])
    moved = edges.copy()
    moved[0, 0, :2] += 2.0 * unit_normal(moved[0, 0, :2], moved[0, 0, 2:])  # 2 px off
    moved[1] = moved[1, ::-1]  # the other order
    moved[2, 1] = np.nan  # one edge seen
    moved[4] = np.nan  # not seen
    projection = pv.reproject_cylinder(PIPE, RIG, moved)
    np.testing.assert_allclose(projection.residuals, [2, 0, 0, 0, np.nan], atol=1e-7)
    for camera, images, expected, centre in zip(RIG, projection.edges, edges,
                                                projection.centre_lines):
        for edge in images:  # each edge lies on one of the constructed outline lines, end to end
            gaps = [max(abs(np.dot(unit_normal(e[:2], e[2:]), edge[:2] - e[:2])),
                        abs(np.dot(unit_normal(e[:2], e[2:]), edge[2:] - e[:2]))) for e in expected]
            assert min(gaps) < 1e-7
        np.testing.assert_allclose(np.sort(centre.reshape(2, 2), axis=0),
                                   np.sort([camera.project(START), camera.project(END)], axis=0),
                                   atol=1e-7)


INSIDE = look_at((START + END) / 2.0 + [0.0, 0.0, 0.05], END)


@pytest.mark.parametrize("project, field", [  # NaN images, and residuals, where none are had
    (lambda: pv.reproject_point(pv.Point3D([0, 0, -1]), [IDENTITY], [[0, 0]]), "image_points"),
    (lambda: pv.reproject_line(pv.Line3D([0, 0, 5], [0, 0, 1]), [IDENTITY]), "lines"),  # centre
    (lambda: pv.reproject_segment(pv.Segment3D([0, 1, -1], [0, 1, -2]), [IDENTITY]), "segments"),
    (lambda: pv.reproject_cylinder(PIPE, [INSIDE], np.zeros((1, 2, 4)) + [0, 0, 1, 1]), "edges"),
])
def test_shape_behind_or_around_the_camera_has_no_image(project, field):
    projection = project()
    assert np.all(np.isnan(getattr(projection, field))) and np.isnan(projection.residuals[0])


def test_results_are_immutable():
    projection = pv.reproject_point(pv.Point3D([0.0, 0.0, 2.0]), [IDENTITY])
    for result, name in ((projection, "residuals"), (IDENTITY, "translation"), (PIPE, "radius")):
        with pytest.raises(AttributeError):
            setattr(result, name, None)
    for array in (IDENTITY.translation, projection.image_points, projection.residuals):
        with pytest.raises(ValueError):
            array[0] = 5.0  # read-only
        with pytest.raises(ValueError):  # for good: it cannot be made writeable again
            array.flags.writeable = True
