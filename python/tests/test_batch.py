import numpy as np

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
