import numpy as np
import pytest

import polyview as pv

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
    # (1, 0, 0) turns to (0, 1, 0), lies at (0, 1, 5) in the camera: image (0, 800 / 5).
    np.testing.assert_allclose(by_matrix.project([1.0, 0.0, 0.0]), [0.0, 160.0], atol=1e-12)
    # the (3, 1) rvec and tvec that OpenCV returns, and rows (1, 3)
    for shape in ((3, 1), (1, 3)):
        rvec, tvec = np.reshape([0.0, 0.0, np.pi / 2], shape), np.reshape([0, 0, 5], shape)
        assert pv.Camera(800.0, [0.0, 0.0], rvec, tvec) == by_vector
    nearly = QUARTER_TURN_Z + 1e-7  # six-decimal calibration files: within the tolerance of 1e-5
    np.testing.assert_array_equal(pv.Camera(800, [0, 0], nearly, [0, 0, 5]).rotation, nearly)


# OpenCV's calibration of its chessboard photos (left_intrinsics.yml): the camera matrix, k1 k2 p1
# p2 k3 (strong barrel distortion) and the board's pose (rvec, tvec) in three of its views; the
# board's 9 x 6 corners lie 25 mm apart in its plane z = 0.
K = np.array([[535.91573396163199, 0.0, 342.28315473308373],
              [0.0, 535.91573396163199, 235.57082909788173], [0.0, 0.0, 1.0]])
D = [-0.26637260909660682, -0.038588898922304653, 0.0017831947042852964,
     -0.00028122100441115472, 0.23839153080878486]
VIEWS = [([0.16866673097722978, 0.27567195383689680, 0.013463666677617407],
          [-0.075217911266918208, -0.10895943925991841, 0.39970206949907272]),
         ([0.41331287656496363, 0.64989015618432178, -1.3371537960145106],
          [-0.058571677080547203, 0.082925805670236566, 0.35381014833230601]),
         ([-0.27703695013795054, 0.18693309320100124, 0.35485225341087834],
          [-0.039846501015652937, -0.10041611109510440, 0.31815947023777164])]
CORNERS = 0.025 * np.array([[col, row, 0.0] for row in range(6) for col in range(9)])
BOARD = [pv.Camera(model="opencv", camera_matrix=K, distortion=D, rotation=r, translation=t,
                   width=640, height=480) for r, t in VIEWS]

COLMAP = dict(model="OPENCV", params=[500, 500, 320, 240, -0.2, 0.05, 0, 0], rotation=[0, 0, 0],
              translation=[0, 0, 1])
OPENCV = dict(model="opencv", camera_matrix=K, distortion=D, rotation=[0, 0, 0],
              translation=[0, 0, 1])


def pinhole(camera):
    """The camera's ideal pinhole, without the lens."""
    return pv.Camera(camera.focal_length, camera.principal_point, camera.rotation,
                     camera.translation, camera.width, camera.height)


def test_lens_projects_as_opencv_in_the_scene_pixels_and_undistorts_to_the_ideal_pinhole():
    camera = BOARD[0]
    images = camera.project(CORNERS)
    # cv2.projectPoints put corners 0 and 53 at (244.46547409076590, 94.002545526655380) and
    # (510.39673533819024, 266.22060110900924): half a pixel less in OpenCV's pixels
    np.testing.assert_allclose(images[[0, 53]], [[244.9654740907659, 94.50254552665538],
                                                 [510.89673533819024, 266.72060110900924]],
                               rtol=0, atol=1e-9)
    assert camera.focal_length == K[0, 0]
    np.testing.assert_array_equal(camera.principal_point, K[:2, 2] + 0.5)
    ideal = pinhole(camera).project(CORNERS)
    np.testing.assert_allclose(camera.undistort(images), ideal, rtol=0, atol=1e-9)
    np.testing.assert_allclose(camera.distort(ideal), images, rtol=0, atol=1e-9)
    # the same lens as COLMAP's FULL_OPENCV, whose principal point is in the scene's pixels
    params = [K[0, 0], K[1, 1], *(K[:2, 2] + 0.5), *D, 0.0, 0.0, 0.0]
    colmap = pv.Camera(model="FULL_OPENCV", params=params, rotation=VIEWS[0][0],
                       translation=VIEWS[0][1])
    np.testing.assert_allclose(colmap.project(CORNERS), images, rtol=0, atol=1e-9)


def test_points_triangulate_from_lens_distorted_picks():
    picks = np.array([[camera.project(corner) for camera in BOARD] for corner in CORNERS])
    picks[::2, 1] = np.nan  # not seen by the second camera: the other two fix the point
    np.testing.assert_allclose(pv.triangulate_points(BOARD, picks), CORNERS, rtol=0, atol=1e-12)
    # the same picks taken as ideal pixels miss by up to 7.6 mm
    missed = pv.triangulate_points([pinhole(camera) for camera in BOARD], picks) - CORNERS
    assert np.abs(missed).max() > 5e-3


def test_lens_is_shown_as_given_and_compared():
    colmap = pv.Camera(**COLMAP, width=640, height=480)
    for camera, shown in ((BOARD[0], "model='opencv', camera_matrix=[[535.915733961632, 0.0, 3"),
                          (colmap, "model='OPENCV', params=[500.0, 500.0, 320.0, 240.0, -0.2, 0")):
        again = pv.Camera(**camera.lens, rotation=camera.rotation, translation=camera.translation,
                          width=640, height=480)
        assert again == camera and hash(again) == hash(camera) and camera != pinhole(camera)
        assert repr(camera).startswith("Camera(" + shown) and pinhole(camera).lens is None
    # a pinhole with square pixels measures as the camera without a lens, bit for bit
    simple = pv.Camera(model="SIMPLE_PINHOLE", params=[500, 320, 240], rotation=[0, 0, 0],
                       translation=[0, 0, 1])
    np.testing.assert_array_equal(simple.undistort([[3.0, 7.0]]), [[3.0, 7.0]])


def test_lens_without_an_answer_gives_nan():
    # r (1 - 0.3 r^2) turns at r = 1 / sqrt(0.9) = 1.0541, where it reaches 0.7027: beyond, two
    # directions would share a pixel
    camera = pv.Camera(model="SIMPLE_RADIAL", params=[500, 320, 240, -0.3], rotation=[0, 0, 0],
                       translation=[0, 0, 0])
    ideal = camera.undistort(500.0 * np.array([[0.7, 0], [0.71, 0], [np.nan, 0]]) + [320, 240])
    np.testing.assert_allclose(ideal[0], [820.0, 240.0], rtol=0, atol=1e-9)  # 0.7 is r = 1's
    assert np.all(np.isnan(ideal[1:]))
    observed = camera.distort(500.0 * np.array([[1.05, 0.0], [1.06, 0.0]]) + [320, 240])
    assert np.all(np.isfinite(observed[0])) and np.all(np.isnan(observed[1]))
    np.testing.assert_array_equal(camera.project([[1.05, 0, 1], [1.06, 0, 1]]), observed)


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
BAD_LENS = [  # (arguments, error, message): the library's reasons, naming the argument at fault
    ({**COLMAP, "model": "FOO"}, ValueError, "^model: unknown camera model FOO"),
    ({**COLMAP, "params": [500, 500, 320, 240]}, ValueError, "^params: OPENCV takes 8 parameters"),
    ({**OPENCV, "distortion": D[:3]}, ValueError, "^distortion: OpenCV takes 4, 5, 8, 12 or 14"),
    ({**OPENCV, "model": "opencv_fisheye"}, ValueError, "^distortion: OpenCV's fisheye model"),
    ({**OPENCV, "camera_matrix": K * [[1], [1], [-1]]}, ValueError, "^camera_matrix: expected"),
    ({**OPENCV, "camera_matrix": K * [[-1], [1], [1]]}, ValueError, "^camera_matrix: fx must be"),
    # arguments that the model does not take, or that it needs
    ({**COLMAP, "focal_length": 500.0}, TypeError, "^focal_length: not taken with model="),
    ({**COLMAP, "distortion": D}, TypeError, "^distortion: not taken with model='OPENCV'"),
    ({**OPENCV, "camera_matrix": None}, TypeError, "^camera_matrix: required with model='opencv'"),
    ({**GOOD, "params": [1.0]}, TypeError, "^params: not taken without model="),
    ({**GOOD, "translation": None}, TypeError, "^translation: required"),
]


@pytest.mark.parametrize("arguments, error, message", [
    ({**GOOD, name: value}, ValueError, "^" + name) for name, values in BAD.items()
    for value in values] + BAD_LENS)
def test_bad_argument_raises_naming_it(arguments, error, message):
    with pytest.raises(error, match=message):
        pv.Camera(**arguments)


def test_photo_size_is_optional_kept_and_compared():
    camera = pv.Camera(**GOOD, width=np.int64(640), height=480)
    assert (camera.width, camera.height) == (640, 480) and pv.Camera(**GOOD).height is None
    assert camera != pv.Camera(**GOOD) and repr(camera).endswith("width=640, height=480)")
    with pytest.raises(ValueError, match="give both"):
        pv.Camera(**GOOD, width=640)
    with pytest.raises(TypeError, match="^height"):
        pv.Camera(**GOOD, width=640, height=480.0)
