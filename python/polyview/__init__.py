"""Polyview: 3D measurement from calibrated camera images, over numpy arrays.

Hand it what was picked in several images of one object, each with the calibrated camera of
its image, and it reconstructs the 3D point, line, segment or cylinder in closed form; it fits
planes and image lines, samples curves through picked image points, and reprojects shapes into
any camera with residuals against the picks.

Conventions: arrays are float64 (integers are converted); image positions are the photo's own
(observed) pixels, x right, y down, origin at the photo's top-left corner (the first pixel's centre
at (0.5, 0.5), as in COLMAP and the tool's scene files; add 0.5 to pixels found by OpenCV); a camera
with a lens model (COLMAP's, or OpenCV's camera matrix and distortion) undistorts every pick before
measuring; a row of NaN marks an observation that was not made. A reconstruction that the
observations do not determine raises ReconstructionError with the reason; a bad array shape or dtype
raises ValueError naming the argument. Cameras, shapes and projections are immutable (their arrays
are read-only for good) and compare and hash by value: equal when every value they show is equal,
NaN counting as equal to NaN in the same place.
"""

from ._core import (
    Camera,
    Cylinder,
    CylinderProjection,
    Line2D,
    Line3D,
    LineProjection,
    Plane,
    Point3D,
    PointProjection,
    ReconstructionError,
    Segment3D,
    SegmentProjection,
    __version__,
    fit_line_2d,
    fit_plane,
    reconstruct_cylinder,
    reconstruct_line,
    reconstruct_segment,
    reproject_cylinder,
    reproject_line,
    reproject_point,
    reproject_segment,
    sample_curve,
    triangulate_point,
    triangulate_points,
)

__all__ = [
    "Camera",
    "Cylinder",
    "CylinderProjection",
    "Line2D",
    "Line3D",
    "LineProjection",
    "Plane",
    "Point3D",
    "PointProjection",
    "ReconstructionError",
    "Segment3D",
    "SegmentProjection",
    "fit_line_2d",
    "fit_plane",
    "reconstruct_cylinder",
    "reconstruct_line",
    "reconstruct_segment",
    "reproject_cylinder",
    "reproject_line",
    "reproject_point",
    "reproject_segment",
    "sample_curve",
    "triangulate_point",
    "triangulate_points",
]
