import numpy as np
import pytest

import polyview as pv
from construction import look_at

QUARTER_TURN_Z = np.array([[0.0, -1.0, 0.0], [1.0, 0.0, 0.0], [0.0, 0.0, 1.0]])


def test_projects_with_the_pinhole_model():
    camera = pv.Camera(1000.0, [320.0, 240.0], np.eye(3), [0.0, 0.0, 0.0])
    # (f x / z + cx, f y / z + cy) = (1000 * 0.1 / 2 + 320, 1000 * -0.2 / 2 + 240)
    np.testing.assert_allclose(camera.project([0.1, -0.2, 2.0]), [370.0, 140.0], rtol=0, atol=1e-12)


def test_rotation_vector_and_matrix_describe_one_camera():
    by_vector = pv.Camera(800.0, [0.0, 0.0], [0.0, 0.0, np.pi / 2], [0.0, 0.0, 5.0])
    by_matrix = pv.Camera(800, [0, 0], QUARTER_TURN_Z, [0, 0, 5])  # integers are taken as well
    np.testing.assert_allclose(by_vector.rotation, QUARTER_TURN_Z, atol=1e-15)
    np.testing.assert_allclose(by_matrix.rotation_vector, [0.0, 0.0, np.pi / 2], atol=1e-15)
    points = np.array([[1.0, 0.0, 0.0], [0.0, 2.0, 1.0], [0.5, 0.5, -1.0]])
    # (1, 0, 0) turns to (0, 1, 0), lies at (0, 1, 5) in the camera: image (0, 800 / 5).
    np.testing.assert_allclose(by_matrix.project(points)[0], [0.0, 160.0], atol=1e-12)
    np.testing.assert_allclose(by_vector.project(points), by_matrix.project(points), atol=1e-9)
    # the (3, 1) rvec and tvec that OpenCV returns, and rows (1, 3)
    for rvec, tvec in (([[0.0], [0.0], [np.pi / 2]], [[0], [0], [5]]), ([[0, 0, np.pi / 2]], [[0, 0, 5]])):
        camera = pv.Camera(800.0, [0.0, 0.0], np.array(rvec), np.array(tvec))
        np.testing.assert_array_equal(camera.rotation, by_vector.rotation)
        np.testing.assert_array_equal(camera.translation, by_vector.translation)


def test_centre_is_where_the_camera_was_placed():
    camera = look_at([4.0, -3.0, 2.0], [0.0, 0.0, 0.5])
    np.testing.assert_allclose(camera.centre, [4.0, -3.0, 2.0], atol=1e-12)
    # the target images at the principal point
    np.testing.assert_allclose(camera.project([0.0, 0.0, 0.5]), camera.principal_point, atol=1e-9)


def test_points_not_in_front_give_nan_rows():
    camera = pv.Camera(1000.0, [0.0, 0.0], np.eye(3), [0.0, 0.0, 0.0])
    points = [[0, 0, 1e-9], [1, 1, 0], [1, 1, -2], [np.nan, 0, 1], [0, 0, np.inf]]
    images = camera.project(points)
    assert images.shape == (5, 2)
    assert np.all(np.isfinite(images[0]))  # any positive depth is imaged
    assert np.all(np.isnan(images[1:]))
    assert camera.project(np.empty((0, 3))).shape == (0, 2)


def test_camera_is_immutable():
    camera = pv.Camera(1000.0, [320.0, 240.0], np.eye(3), [1.0, 2.0, 3.0])
    with pytest.raises(AttributeError):
        camera.focal_length = 2.0
    with pytest.raises(ValueError):
        camera.translation[0] = 5.0  # a read-only array
    np.testing.assert_array_equal(camera.translation, [1.0, 2.0, 3.0])


GOOD = dict(focal_length=1000.0, principal_point=[320.0, 240.0], rotation=[0.0, 0.0, np.pi / 4],
            translation=[0.0, 0.0, 0.0])


@pytest.mark.parametrize(
    "name, value",
    [
        ("focal_length", 0.0),
        ("focal_length", -1000.0),
        ("focal_length", float("nan")),
        ("focal_length", float("inf")),
        ("principal_point", [1.0, 2.0, 3.0]),
        ("principal_point", [[1.0, 2.0]]),
        ("principal_point", [1.0, np.nan]),
        ("principal_point", ["a", "b"]),
        ("principal_point", [1 + 2j, 3.0]),
        ("rotation", np.eye(2)),
        ("rotation", 2.0 * np.eye(3)),  # not orthonormal
        ("rotation", np.diag([1.0, 1.0, -1.0])),  # a reflection
        ("rotation", np.eye(3) + 1e-4),
        ("rotation", [0.0, 0.0, 0.0, 1.0]),
        ("rotation", [0.0, np.inf, 0.0]),
        ("rotation", [1e200, 0.0, 0.0]),  # finite, but its matrix is not (the centre was NaN)
        ("translation", [1.5e308, 1.5e308, 0.0]),  # turned by 45 degrees, the centre overflows
        ("rotation", [[1, 0, 0], [0, 1], [0, 0, 1]]),  # ragged
        ("translation", [0.0, 0.0]),
        ("translation", [[0.0, 0.0, 0.0]] * 3),
        ("translation", [0.0, 0.0, -np.inf]),
        ("translation", np.array([True, False, True])),
        ("translation", np.array([0, 0, None], dtype=object)),
    ],
)
def test_bad_argument_raises_value_error_naming_it(name, value):
    with pytest.raises(ValueError, match="^" + name):
        pv.Camera(**{**GOOD, name: value})


def test_rotation_within_tolerance_is_taken():
    nearly = QUARTER_TURN_Z + 1e-7  # six-decimal calibration files
    camera = pv.Camera(800.0, [0.0, 0.0], nearly, [0.0, 0.0, 5.0])
    np.testing.assert_array_equal(camera.rotation, nearly)  # stored as given
