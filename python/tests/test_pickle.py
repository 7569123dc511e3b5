"""Cameras and results pickle to equal objects, every value bit for bit, so that a batch can be
split over processes."""

import multiprocessing
import pickle

import numpy as np
import pytest

import polyview as pv
from construction import look_at, ring, segment_images, silhouette_edges

RIG = ring()
K = np.array([[530.0, 0.0, 319.5], [0.0, 528.0, 241.25], [0.0, 0.0, 1.0]])


def shown(obj):
    """Every public value of obj as raw 64-bit patterns (NaN, -0.0 and last bits count)."""
    values = {}
    for name in dir(obj):
        value = getattr(obj, name) if not name.startswith("_") else None
        if isinstance(value, (float, np.ndarray)):
            values[name] = np.asarray(value, dtype=np.float64).view(np.uint64).tolist()
        elif isinstance(value, (int, tuple, dict)) or value is None and not name.startswith("_"):
            values[name] = repr(value)
    return values


def round_trip(obj):
    copy = pickle.loads(pickle.dumps(obj, protocol=pickle.HIGHEST_PROTOCOL))
    assert type(copy) is type(obj) and copy == obj
    assert shown(copy) == shown(obj)
    return copy


def test_cameras_round_trip_with_and_without_lens_and_photo_size():
    cameras = [
        pv.Camera(800.0, [320.0, 240.0], [0.1, -0.2, 0.3], [1.0, 2.0, 3.0]),
        pv.Camera(800.0, [320.0, 240.0], [0.1, -0.2, 0.3], [1.0, 2.0, 3.0], 640, 480),
        pv.Camera(model="OPENCV", params=[500, 502, 320, 240, -0.2, 0.05, 1e-3, -2e-3],
                  rotation=[0.3, 0.2, -0.1], translation=[0.1, 0.2, 4.0], width=640, height=480),
        pv.Camera(model="opencv", camera_matrix=K, distortion=[[-0.1, 0.02, 0, 0, 0.003]],
                  rotation=np.eye(3), translation=[0, 0, 2]),
        pv.Camera(model="opencv_fisheye", camera_matrix=K, distortion=[0.1, -0.02, 0.003, 0],
                  rotation=[0, 0.5, 0], translation=[0, 0, 2]),
        *RIG,
    ]
    for camera in cameras:
        copy = round_trip(camera)
        pixels = [[10.5, 20.25], [600.0, 470.0]]
        np.testing.assert_array_equal(copy.undistort(pixels), camera.undistort(pixels))


def test_measured_shapes_round_trip_with_left_out():
    rng = np.random.default_rng(5)
    shapes = []
    for _ in range(40):  # unit vectors whose norm is not exactly 1 are the hard case
        start, end = rng.uniform(-1, 1, 3), rng.uniform(-1, 1, 3)
        images = segment_images(RIG, start, end) + rng.normal(0, 0.3, (len(RIG), 4))
        shapes += [pv.reconstruct_line(RIG, images), pv.reconstruct_segment(RIG, images)]
        shapes.append(pv.fit_plane(rng.normal(0, 1, (5, 3))))
        shapes.append(pv.fit_line_2d(rng.normal(0, 1, (4, 2))))
        shapes.append(pv.triangulate_point(RIG, [c.project(start) for c in RIG]))
    point = np.array([0.2, -0.1, 0.4])
    picks = np.array([c.project(point) for c in RIG])
    picks[2] += [3.0, 4.0]  # one view 5 px off
    dropped = pv.triangulate_point(RIG, picks, outliers="drop")
    assert dropped.left_out == (2,)
    start, end = np.array([-0.9, 0.3, 0.6]), np.array([1.1, -0.2, 0.8])
    edges = np.array([silhouette_edges(c, start, end, 0.15) for c in RIG])
    cylinder = pv.reconstruct_cylinder(RIG, edges)
    shapes += [dropped, cylinder, pv.Cylinder(start, end, 0.15), pv.Point3D([1, 2, 3]),
               pv.Line3D([1, 2, 3], [0, 1e-3, 1]), pv.Segment3D([1, 2, 3], [-4, 0, 1e-9]),
               pv.Plane([1, 1e-12, 0], -2.0), pv.Line2D([3, 4], -1.5)]
    for shape in shapes:
        assert round_trip(shape).__class__ is shape.__class__
    assert round_trip(dropped).left_out == (2,)
    for projection in (pv.reproject_point(dropped, RIG, picks),
                       pv.reproject_segment(shapes[1], RIG),
                       pv.reproject_line(shapes[0], RIG),
                       pv.reproject_cylinder(cylinder, RIG, edges)):
        copy = round_trip(projection)
        for name, array in shown(copy).items():
            assert not getattr(copy, name).flags.writeable, name


def test_unit_vectors_that_are_no_fixed_point_of_the_normalisation_come_back_exactly():
    # About a third of fitted normals and directions normalise to other last bits; the rebuilt
    # shape must still hold the very same bits.
    rng = np.random.default_rng(21)
    for _ in range(3000):
        points = rng.normal(0.0, 1.0, (4, 3)) * rng.lognormal(0.0, 3.0)
        plane = pv.fit_plane(points)
        line = pv.Segment3D(points[0], points[1])
        for shape, names in ((plane, ("normal", "offset")), (line, ("start", "direction"))):
            copy = pickle.loads(pickle.dumps(shape))
            for name in names:
                assert np.asarray(getattr(copy, name)).tobytes() == \
                    np.asarray(getattr(shape, name)).tobytes(), (shape, name)


def test_damaged_states_are_refused():
    point, camera = pv.Point3D([1, 2, 3]), RIG[0]
    for obj, state in ((point, ((1.0, 2.0), ())), (point, ((1.0, 2.0, "3"), ())),
                       (point, (1.0, 2.0, 3.0)), (pv.Plane([0, 0, 1], 1.0), (1.0,) * 5),
                       (camera, camera.__getstate__()[:3]),
                       (pv.reproject_point(point, RIG), (np.zeros((5, 2)), np.zeros(4)))):
        copy = type(obj).__new__(type(obj))
        with pytest.raises((ValueError, TypeError)):
            copy.__setstate__(state)


def observations(seed, count):
    rng = np.random.default_rng(seed)
    images = np.array([[c.project(p) for c in RIG] for p in rng.uniform(-1, 1, (count, 3))])
    images += rng.normal(0.0, 0.5, images.shape)
    images[rng.uniform(size=images.shape[:2]) < 0.3] = np.nan
    return images


def triangulate_part(job):
    cameras, images = job
    return pv.triangulate_points(cameras, images), [
        pv.reproject_point(pv.Point3D([0.1, 0.2, 0.3]), cameras, images[0])]


def parts(images, count=4):
    return [(RIG, chunk) for chunk in np.array_split(images, count)]


def expected(images):
    return pv.triangulate_points(RIG, images)


@pytest.mark.parametrize("method", ["spawn", "fork"])
def test_a_batch_split_over_a_process_pool_gives_the_same_bits(method):
    if method not in multiprocessing.get_all_start_methods():
        pytest.skip(f"no {method} start method here")
    images = observations(7, 400)
    with multiprocessing.get_context(method).Pool(2) as pool:
        results = pool.map(triangulate_part, parts(images))
    points = np.concatenate([points for points, _ in results])
    assert np.isnan(points).any() and not np.isnan(points).all()
    assert points.view(np.uint64).tolist() == expected(images).view(np.uint64).tolist()
    assert results[1][1] == triangulate_part(parts(images)[1])[1]


def test_a_batch_split_over_dask_processes_gives_the_same_bits():
    dask = pytest.importorskip("dask")
    import dask.bag

    images = observations(8, 300)
    split = dask.bag.from_sequence(parts(images, 3), npartitions=3).map(triangulate_part)
    bagged = split.compute(scheduler="processes", num_workers=2)
    delayed = dask.compute(*[dask.delayed(triangulate_part)(job) for job in parts(images, 3)],
                           scheduler="processes", num_workers=2)
    for results in (bagged, delayed):
        points = np.concatenate([points for points, _ in results])
        assert points.view(np.uint64).tolist() == expected(images).view(np.uint64).tolist()
