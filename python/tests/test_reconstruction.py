import numpy as np
import pytest

import polyview as pv
from construction import ring

RIG = ring()


PIPE = pv.Cylinder([-0.9, 0.3, 0.6], [1.1, -0.2, 0.8], 0.15)


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


def test_outliers_drop_leaves_out_the_view_that_disagrees():
    point = np.array([0.3, -0.2, 0.7])
    picks = np.array([camera.project(point) for camera in RIG])
    picks[2] += [3.0, 4.0]  # 5 px off
    kept = pv.triangulate_point(RIG, picks)
    assert kept.left_out == () and np.linalg.norm(kept.xyz - point) > 1e-3
    dropped = pv.triangulate_point(RIG, picks, outliers="drop")
    others = picks.copy()
    others[2] = np.nan
    assert dropped.left_out == (2,)
    np.testing.assert_allclose(dropped.xyz, pv.triangulate_point(RIG, others).xyz, rtol=0,
                               atol=1e-12)
    with pytest.raises(ValueError, match="outliers"):
        pv.triangulate_point(RIG, picks, outliers="Drop")
    with pytest.raises(ValueError, match="extent"):
        pv.reconstruct_segment(RIG, np.hstack([picks, picks + 9.0]), extent="mean")
