import numpy as np
import pytest

import polyview as pv
from construction import look_at

QUARTER_TURN_Z = np.array([[0.0, -1.0, 0.0], [1.0, 0.0, 0.0], [0.0, 0.0, 1.0]])


def test_projects_with_the_pinhole_model_what_lies_in_front():
    camera = pv.Camera(1000.0, [320.0, 240.0], np.eye(3), [0.0, 0.0, 0.0])
    # (f x / z + cx, f y / z + cy) = (1000 * 0.1 / 2 + 320, 1000 * -0.2 / 2 + 240)
    np.testing.assert_allclose(camera.project([0.1, -0.2, 2.0]), [370.0, 140.0], rtol=0, atol=1e-12)
    images = camera.project([[0, 0, 1e-9], [1, 1, 0], [1, 1, -2], [np.nan, 0, 1], [0, 0, np.inf]])
    assert images.shape == (5, 2) and np.all(np.isfinite(images[0]))  # any positive depth
    assert np.all(np.isnan(images[1:])) and camera.project(np.empty((0, 3))).shape == (0, 2)


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
    for shape in ((3, 1), (1, 3)):
        rvec, tvec = np.reshape([0.0, 0.0, np.pi / 2], shape), np.reshape([0, 0, 5], shape)
        assert pv.Camera(800.0, [0.0, 0.0], rvec, tvec) == by_vector
    nearly = QUARTER_TURN_Z + 1e-7  # six-decimal calibration files: within the tolerance of 1e-5
    np.testing.assert_array_equal(pv.Camera(800, [0, 0], nearly, [0, 0, 5]).rotation, nearly)


def test_centre_is_where_the_camera_was_placed():
    camera = look_at([4.0, -3.0, 2.0], [0.0, 0.0, 0.5])
    np.testing.assert_allclose(camera.centre, [4.0, -3.0, 2.0], atol=1e-12)
    # the target images at the principal point
    np.testing.assert_allclose(camera.project([0.0, 0.0, 0.5]), camera.principal_point, atol=1e-9)


GOOD = dict(focal_length=1000.0, principal_point=[320.0, 240.0], rotation=[0.0, 0.0, np.pi / 4],
            translation=[0.0, 0.0, 0.0])
BAD = {
    "focal_length": [0.0, -1000.0, float("nan"), float("inf")],
    "principal_point": [[1.0, 2.0, 3.0], [[1.0, 2.0]], [1.0, np.nan], ["a", "b"], [1 + 2j, 3.0]],
    # not orthonormal, a reflection, beyond the tolerance of 1e-5; a rotation vector that is
    # finite but whose matrix is not (the camera's centre was NaN); ragged
    "rotation": [np.eye(2), 2.0 * np.eye(3), np.diag([1.0, 1.0, -1.0]), np.eye(3) + 1e-4,
                 [0.0, 0.0, 0.0, 1.0], [0.0, np.inf, 0.0], [1e200, 0.0, 0.0],
                 [[1, 0, 0], [0, 1], [0, 0, 1]]],
    # the last: turned by 45 degrees, the centre overflows
    "translation": [[0.0, 0.0], [[0.0, 0.0, 0.0]] * 3, [0.0, 0.0, -np.inf],
                    np.array([True, False, True]), np.array([0, 0, None], dtype=object),
                    [1.5e308, 1.5e308, 0.0]],
    "width": [0, 2**31, 2**70],  # the photo's size: 1 to INT_MAX pixels
}


@pytest.mark.parametrize("name, value", [(name, v) for name, values in BAD.items() for v in values])
def test_bad_argument_raises_value_error_naming_it(name, value):
    with pytest.raises(ValueError, match="^" + name):
        pv.Camera(**{**GOOD, name: value})


def test_photo_size_is_optional_kept_and_compared():
    camera = pv.Camera(**GOOD, width=np.int64(640), height=480)
    assert (camera.width, camera.height) == (640, 480) and pv.Camera(**GOOD).height is None
    assert camera != pv.Camera(**GOOD) and repr(camera).endswith("width=640, height=480)")
    with pytest.raises(ValueError, match="give both"):
        pv.Camera(**GOOD, width=640)
    with pytest.raises(TypeError, match="^height"):
        pv.Camera(**GOOD, width=640, height=480.0)
