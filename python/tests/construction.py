"""Cameras and exact observations built from known geometry, for the tests."""

import numpy as np

import polyview as pv


def look_at(centre, target, focal_length=1500.0, principal_point=(960.0, 540.0), up=(0, 0, 1)):
    """The library's look-at camera: optical axis at target, x to the right, y down."""
    return pv.Camera.look_at(centre, target, focal_length, principal_point, up)


def ring(count=5, radius=6.0, target=(0.0, 0.0, 0.5)):
    """count cameras around the z axis at alternating heights, all looking at target."""
    angles = 2.0 * np.pi * np.arange(count) / count + 0.3
    return [look_at((radius * np.cos(a), radius * np.sin(a), 1.5 + k % 2), target)
            for k, a in enumerate(angles)]


class Mirrored:
    """A camera's projection through its centre of points behind it too (as the viewing planes
    and rays see them), for images of shapes that no camera can see."""

    def __init__(self, camera):
        self.camera, self.centre = camera, camera.centre

    def project(self, point):
        x, y, z = self.camera.rotation @ point + self.camera.translation
        return self.camera.focal_length * np.array([x, y]) / z + self.camera.principal_point


def segment_images(cameras, start, end):
    """(n, 4): each camera's image of the 3D segment from start to end."""
    return np.array([np.concatenate([c.project(start), c.project(end)]) for c in cameras])


def silhouette_edges(camera, start, end, radius):
    """(2, 4): the outline of the cylinder around start-end seen by camera."""
    # The plane through the camera centre C that touches the cylinder touches it along the surface
    # line at offset o from the axis with o . w = r^2, w the perpendicular from the axis to C; so
    # o = r (cos(phi) e1 +- sin(phi) e2) with cos(phi) = r / |w|. Each edge runs from the start
    # circle to the end circle and is turned so that the cylinder lies on its left on the screen
    # (y down), as an edge seen alone must be given.
    start, end = np.asarray(start, dtype=float), np.asarray(end, dtype=float)
    axis = (end - start) / np.linalg.norm(end - start)
    across = camera.centre - start
    across -= across.dot(axis) * axis
    distance = np.linalg.norm(across)
    e1 = across / distance
    e2 = np.cross(axis, e1)
    phi = np.arccos(radius / distance)
    inside = camera.project((start + end) / 2.0)
    edges = []
    for sign in (1.0, -1.0):
        offset = radius * (np.cos(phi) * e1 + sign * np.sin(phi) * e2)
        a, b = camera.project(start + offset), camera.project(end + offset)
        direction = b - a
        # On a y-down screen the left of direction (dx, dy) is (dy, -dx).
        if np.dot(inside - a, [direction[1], -direction[0]]) < 0.0:
            a, b = b, a
        edges.append(np.concatenate([a, b]))
    return np.array(edges)
