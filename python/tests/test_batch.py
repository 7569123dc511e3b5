import numpy as np
import pytest

import polyview as pv
from construction import ring

RIG = ring()


def observations(seed, count):
    """(count, n, 2) noisy images of random points: some not seen by some cameras, at random and
    in runs, one seen by one camera only, one not seen at all."""
    rng = np.random.default_rng(seed)
    images = np.array([[c.project(p) for c in RIG] for p in rng.uniform(-1.0, 1.0, (count, 3))])
    images += rng.normal(0.0, 0.5, images.shape)
    images[: count // 2][rng.uniform(size=(count // 2, len(RIG))) < 0.4] = np.nan
    images[count // 2 : 3 * count // 4, 3] = np.nan  # a run of rows seen by the same cameras
    images[0, 1:] = np.nan  # one camera only
    images[1] = np.nan  # not seen at all
    return images


def test_batch_gives_exactly_the_single_results():
    images = observations(11, 200)
    batch = pv.triangulate_points(RIG, images)
    assert batch.shape == (200, 3)
    failures = 0
    for row, result in zip(images, batch):
        try:
            np.testing.assert_array_equal(result, pv.triangulate_point(RIG, row).xyz)
        except pv.ReconstructionError:
            assert np.all(np.isnan(result))
            failures += 1
    assert 2 <= failures < 100  # both kinds of row were exercised


def test_batch_takes_other_real_dtypes_layouts_and_empty_input():
    images = np.nan_to_num(observations(13, 10), nan=-1.0).round()
    as_float = pv.triangulate_points(RIG, images)
    for other in (images.astype(np.int32), images.astype(np.float32), np.asfortranarray(images)):
        np.testing.assert_array_equal(pv.triangulate_points(RIG, other), as_float)
    assert pv.triangulate_points(RIG, np.empty((0, 5, 2))).shape == (0, 3)
    assert np.all(np.isnan(pv.triangulate_points([], np.empty((3, 0, 2)))))


def lens_rig():
    """The ring with a barrel lens on every other camera: r (1 - 0.3 r^2) has no inverse beyond
    0.7027 (normalised), where an undistortion fails."""
    cameras = []
    for k, camera in enumerate(RIG):
        params = [camera.focal_length, *camera.principal_point, -0.3]
        cameras.append(pv.Camera(model="SIMPLE_RADIAL", params=params, rotation=camera.rotation,
                                 translation=camera.translation) if k % 2 else camera)
    return cameras


def test_batch_equals_the_single_results_through_lenses_on_any_thread_count():
    cameras = lens_rig()
    rng = np.random.default_rng(17)
    images = np.array([[c.project(p) for c in cameras] for p in rng.uniform(-1, 1, (300, 3))])
    images += rng.normal(0.0, 0.5, images.shape)
    images[rng.uniform(size=images.shape[:2]) < 0.3] = np.nan
    images[5, 1] = [1e5, 0.0]  # far beyond the lens's fold: no ideal pixel, a NaN row
    batch = pv.triangulate_points(cameras, images)
    assert np.all(np.isnan(batch[5]))
    for row, result in zip(images, batch):
        try:
            expected = pv.triangulate_point(cameras, row).xyz
        except pv.ReconstructionError:
            expected = np.full(3, np.nan)
        assert result.tobytes() == expected.tobytes()
    for threads in (1, 2, 3, 4, 1000):
        assert pv.triangulate_points(cameras, images, threads=threads).tobytes() == batch.tobytes()
    for threads, error in ((0, ValueError), (-2, ValueError), (2**70, ValueError),
                           (2.0, TypeError), (True, TypeError), ("2", TypeError)):
        with pytest.raises(error, match="threads"):
            pv.triangulate_points(cameras, images, threads=threads)
