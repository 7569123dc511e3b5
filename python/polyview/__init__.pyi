from typing import Dict, Literal, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

ArrayLike = npt.ArrayLike
FloatArray = npt.NDArray[np.float64]

class ReconstructionError(RuntimeError):
    """The observations do not determine the shape; str(error) and reason say why."""

    reason: str

LensModel = Literal[
    "SIMPLE_PINHOLE",
    "PINHOLE",
    "SIMPLE_RADIAL",
    "RADIAL",
    "OPENCV",
    "OPENCV_FISHEYE",
    "FULL_OPENCV",
    "SIMPLE_RADIAL_FISHEYE",
    "RADIAL_FISHEYE",
    "THIN_PRISM_FISHEYE",
    "opencv",
    "opencv_fisheye",
]

class Camera:
    """A calibrated camera: X has camera coordinates (x, y, z) = R X + T; the ideal pinhole images
    them at (f x / z + cx, f y / z + cy), the lens model (when given) maps (x / z, y / z) to the
    photo's observed pixels. Pixels: x right, y down, origin at the photo's top-left corner (the
    first pixel's centre at (0.5, 0.5)), as in the tool's scene files."""

    def __init__(
        self,
        focal_length: Optional[float] = None,
        principal_point: Optional[ArrayLike] = None,
        rotation: ArrayLike = ...,
        translation: ArrayLike = ...,
        width: Optional[int] = None,
        height: Optional[int] = None,
        *,
        model: Optional[LensModel] = None,
        params: Optional[ArrayLike] = None,
        camera_matrix: Optional[ArrayLike] = None,
        distortion: Optional[ArrayLike] = None,
    ) -> None:
        """Without a lens: focal_length and principal_point. With a lens: a COLMAP model with
        params in COLMAP's order and pixels, or "opencv" (distortion of 4, 5, 8, 12 or 14) or
        "opencv_fisheye" (4) with OpenCV's camera_matrix (3, 3), whose principal point is in
        OpenCV's pixels (the first pixel's centre at (0, 0)) and moves by +0.5; the distortion
        also as cv2.calibrateCamera returns it, (1, n). The ideal pinhole is f = fx with the lens's
        principal point. rotation and translation are required.

        rotation: a 3 x 3 rotation matrix (within 1e-5) or a rotation vector (3,), also as
        OpenCV's rvec (3, 1) or a row (1, 3); translation: (3,), (3, 1) as OpenCV's tvec, or (1, 3);
        width, height: the photo's size in pixels, both or neither.

        TypeError naming an argument missing, or not taken with (or without) model. ValueError
        naming the argument for a bad lens (the library's reason: an unknown model, a wrong count,
        a value that is not finite) and for a pose that is none (a rotation vector whose matrix is
        not finite, a matrix that is not a rotation, a centre -R^T T that overflows)."""
    @staticmethod
    def look_at(
        centre: ArrayLike,
        target: ArrayLike,
        focal_length: float,
        principal_point: ArrayLike,
        up: ArrayLike = ...,
        width: Optional[int] = None,
        height: Optional[int] = None,
    ) -> "Camera":
        """A camera without a lens at centre looking at target, up pointing up in the photo (x
        right, y down). ValueError when centre equals target or a value is not finite."""
    @property
    def focal_length(self) -> float:
        """f of the ideal pinhole (a lens's fx)."""
    @property
    def principal_point(self) -> FloatArray:
        """(cx, cy) of the ideal pinhole (a lens's)."""
    @property
    def lens(self) -> Optional[Dict[str, Union[str, FloatArray]]]:
        """The keyword arguments that give the lens, as given: {"model", "params"} or {"model",
        "camera_matrix", "distortion"}; None for a camera without a lens model."""
    @property
    def rotation(self) -> FloatArray:
        """R, (3, 3)."""
    @property
    def rotation_vector(self) -> FloatArray: ...
    @property
    def translation(self) -> FloatArray: ...
    @property
    def centre(self) -> FloatArray:
        """-R^T T, the camera centre in world coordinates."""
    @property
    def width(self) -> Optional[int]: ...
    @property
    def height(self) -> Optional[int]: ...
    def project(self, points: ArrayLike) -> FloatArray:
        """(n, 3) -> (n, 2) observed pixels through the lens, NaN rows for points not in front or
        beyond the lens's fold radius; (3,) -> (2,)."""
    def undistort(self, pixels: ArrayLike) -> FloatArray:
        """Observed pixels (n, 2) -> ideal pinhole pixels (n, 2), where the ideal pinhole
        (focal_length, principal_point) images the same rays; NaN rows where the lens has no
        inverse (folded, not converging) or a value is not finite; (2,) -> (2,)."""
    def distort(self, ideal_pixels: ArrayLike) -> FloatArray:
        """Ideal pinhole pixels (n, 2) -> observed pixels (n, 2), the inverse of undistort; NaN
        rows beyond the lens's fold radius; (2,) -> (2,)."""

class Point3D:
    def __init__(self, xyz: ArrayLike) -> None: ...
    @property
    def xyz(self) -> FloatArray: ...
    @property
    def left_out(self) -> Tuple[int, ...]:
        """The cameras left out as outliers in measuring it (outliers="drop"), in the order left
        out; () for a shape made directly or measured from every view. Not compared."""

class Line3D:
    def __init__(self, point: ArrayLike, direction: ArrayLike) -> None: ...
    @property
    def point(self) -> FloatArray:
        """The point of the line nearest the origin."""
    @property
    def direction(self) -> FloatArray: ...
    @property
    def distance(self) -> float: ...
    @property
    def left_out(self) -> Tuple[int, ...]:
        """The cameras left out as outliers in measuring it (outliers="drop"), in the order left
        out; () for a shape made directly or measured from every view. Not compared."""

class Segment3D:
    def __init__(self, start: ArrayLike, end: ArrayLike) -> None: ...
    @property
    def start(self) -> FloatArray: ...
    @property
    def end(self) -> FloatArray: ...
    @property
    def length(self) -> float: ...
    @property
    def direction(self) -> FloatArray: ...
    @property
    def left_out(self) -> Tuple[int, ...]:
        """The cameras left out as outliers in measuring it (outliers="drop"), in the order left
        out; () for a shape made directly or measured from every view. Not compared."""

class Cylinder:
    def __init__(self, axis_start: ArrayLike, axis_end: ArrayLike, radius: float) -> None: ...
    @property
    def axis_start(self) -> FloatArray: ...
    @property
    def axis_end(self) -> FloatArray: ...
    @property
    def radius(self) -> float: ...
    @property
    def length(self) -> float: ...
    @property
    def direction(self) -> FloatArray: ...
    @property
    def left_out(self) -> Tuple[int, ...]:
        """The cameras left out as outliers in measuring it (outliers="drop"), in the order left
        out; () for a shape made directly or measured from every view. Not compared."""

class Plane:
    """normal . x = offset."""

    def __init__(self, normal: ArrayLike, offset: float) -> None: ...
    @property
    def normal(self) -> FloatArray: ...
    @property
    def offset(self) -> float: ...
    @property
    def coefficients(self) -> FloatArray:
        """(a, b, c, d) of a x + b y + c z + d = 0, (a, b, c) the unit normal."""
    def distance(self, points: ArrayLike) -> Union[FloatArray, float]: ...

class Line2D:
    """normal . p = offset in the image."""

    def __init__(self, normal: ArrayLike, offset: float) -> None: ...
    @property
    def coefficients(self) -> FloatArray:
        """(a, b, c) of a x + b y + c = 0, (a, b) a unit normal."""
    @property
    def normal(self) -> FloatArray: ...
    @property
    def offset(self) -> float: ...
    @property
    def direction(self) -> FloatArray: ...
    def distance(self, points: ArrayLike) -> Union[FloatArray, float]: ...

class PointProjection:
    @property
    def image_points(self) -> FloatArray:
        """(n, 2)."""
    @property
    def residuals(self) -> FloatArray:
        """(n,)."""

class LineProjection:
    @property
    def lines(self) -> FloatArray:
        """(n, 3) of (a, b, c), (a, b) a unit normal, in ideal pinhole pixels (a lens bends the
        observed image)."""
    @property
    def residuals(self) -> FloatArray: ...

class SegmentProjection:
    @property
    def segments(self) -> FloatArray:
        """(n, 4) of (x0, y0, x1, y1), the ends in observed pixels."""
    @property
    def residuals(self) -> FloatArray: ...

class CylinderProjection:
    @property
    def edges(self) -> FloatArray:
        """(n, 2, 4)."""
    @property
    def centre_lines(self) -> FloatArray:
        """(n, 4)."""
    @property
    def residuals(self) -> FloatArray: ...

Extent = Literal["union", "median"]
Outliers = Literal["keep", "drop"]

def triangulate_point(
    cameras: Sequence[Camera], image_points: ArrayLike, *, outliers: Outliers = "keep"
) -> Point3D:
    """image_points (n, 2), a NaN row where a camera did not see the point. outliers="drop"
    leaves out, repeatedly, the view whose residual exceeds 1 px and 3 times the median (see
    left_out); ValueError for another value."""

def triangulate_points(
    cameras: Sequence[Camera], image_points: ArrayLike, *, threads: Optional[int] = None
) -> FloatArray:
    """image_points (m, n, 2) -> (m, 3), NaN rows where a point cannot be triangulated. threads:
    an integer >= 1, or None for one per 25 000 points up to the machine's cores; the result does
    not depend on it."""

def reconstruct_line(
    cameras: Sequence[Camera], segments: ArrayLike, *, outliers: Outliers = "keep"
) -> Line3D:
    """segments (n, 4) of (x0, y0, x1, y1), NaN rows where not seen."""

def reconstruct_segment(
    cameras: Sequence[Camera],
    segments: ArrayLike,
    *,
    extent: Extent = "union",
    outliers: Outliers = "keep",
) -> Segment3D:
    """segments (n, 4) of (x0, y0, x1, y1) from end to end, NaN rows where not seen. extent
    "median": each end the median over the views in place of their farthest pair."""

def reconstruct_cylinder(
    cameras: Sequence[Camera],
    edges: ArrayLike,
    method: Literal["tangent-planes", "centre-lines"] = "tangent-planes",
    *,
    extent: Extent = "union",
    outliers: Outliers = "keep",
) -> Cylinder:
    """edges (n, 2, 4), an edge of NaN where not seen."""

def fit_plane(points: ArrayLike) -> Plane:
    """points (n, 3), n >= 3; ReconstructionError for points on or near a line (their spread
    across it below 0.01 of their spread along it)."""

def fit_line_2d(points: ArrayLike) -> Line2D:
    """points (n, 2), n >= 2."""

def sample_curve(
    points: ArrayLike,
    count: int,
    pass_through: bool = True,
    interval: Optional[float] = None,
) -> FloatArray:
    """points (n, 2) -> (count, 2) samples along a cubic B-spline."""

def reproject_point(
    point: Point3D, cameras: Sequence[Camera], observed: Optional[ArrayLike] = None
) -> PointProjection: ...
def reproject_line(
    line: Line3D, cameras: Sequence[Camera], observed: Optional[ArrayLike] = None
) -> LineProjection: ...
def reproject_segment(
    segment: Segment3D, cameras: Sequence[Camera], observed: Optional[ArrayLike] = None
) -> SegmentProjection: ...
def reproject_cylinder(
    cylinder: Cylinder, cameras: Sequence[Camera], observed: Optional[ArrayLike] = None
) -> CylinderProjection: ...
