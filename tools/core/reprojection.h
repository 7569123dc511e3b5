#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "polyview/camera/camera.h"
#include "polyview/cylinder/cylinder3d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "polyview/shapes3d/point3d.h"

// Shapes seen in photos: where a 3D shape appears in a camera's photo, how far it lies from what
// was picked there, and what to draw over the photo. Everything here is in the photo's own
// (observed) pixels: the library works in ideal pinhole pixels, and every image it computes goes
// back through CCamera::FromIdealPixel before it is compared or drawn.
namespace core {

// A position in a photo, in observed pixels (x to the right, y down, origin at the top-left
// corner).
struct Pixel {
    double x = 0.0;
    double y = 0.0;
};

struct PixelSegment {
    Pixel start;
    Pixel end;
};

// Points in a photo joined in order. A straight 3D edge is a curve in a photo taken through a
// lens, sampled finely (ObservedCurve); without a lens it is two points.
using Polyline = std::vector<Pixel>;

// The reprojection residual of a shape in one camera where it was picked, in observed pixels.
struct Residual {
    std::size_t camera = 0;  // index into the cameras
    bool ok = false;
    double pixels = 0.0;
    std::string note;  // why there is no value, when !ok
};

// What an overlay shows; the pictures give each role its own colour.
enum class Role { kPick, kPoint, kLine, kSegment, kSilhouette, kCentreLine, kCurve, kPlane };

// "pick", "point", "line", "segment", "silhouette", "centre_line", "curve", "plane".
const char* RoleName(Role role);

// One element to draw over a camera's photo, in observed pixels: one point is a marker, more a
// polyline (a polygon when closed). Points are shown where they lie in the photo, straight edges
// (picked or reprojected) are clipped to it; curves and plane outlines are drawn whole.
struct Overlay {
    std::size_t camera = 0;
    Role role = Role::kPick;
    Polyline points;
    bool closed = false;   // a polygon (plane outline)
    bool markers = false;  // a dot at every point (curve picks and samples)
};

// The observed pixel of an ideal one and back; false, output untouched, where the camera's map
// has none (not finite, or outside the lens model).
bool ToIdeal(const CCamera& camera, const Pixel& observed, C2DCoordinate& ideal);
bool ToObserved(const CCamera& camera, const C2DCoordinate& ideal, Pixel& observed);

// The image of a 3D point; false, image untouched, when the point is not in front of the camera
// (depth <= 0) or has no finite image.
bool ProjectPoint(const CCamera& camera, const C3DPoint& point, Pixel& image);

// The image of a 3D line: the ideal image line, a x + b y + c = 0 with (a, b) not normalised,
// which is the observed one when the camera has no lens (through a lens, ObservedLinePolylines
// draws it). False, image untouched, when the line passes through the camera centre (no image
// line) or a coefficient is not finite. There is no test that the line lies in front of the
// camera.
bool ImageLine(const CCamera& camera, const C3DLine& line, C2DLine& image);

// The ends of the image of a 3D segment, the part behind the camera cut off (through a lens the
// image between them is a curve); false, image untouched, when all of it lies behind the camera
// or an end has no observed pixel.
bool ImageSegment(const CCamera& camera, const C3DLineSegment& segment, PixelSegment& image);

// The silhouette edges of a cylinder between its end circles, and the image of its axis segment.
struct CylinderImage {
    std::array<PixelSegment, 2> edges;
    PixelSegment centre;
};
// False, image untouched, when the camera is inside the cylinder or on its axis line, the axis
// lies behind the camera, or an end has no finite image.
bool ImageCylinder(const CCamera& camera, const C3DCylinder& cylinder, CylinderImage& image);

// Residuals of a shape against what was picked in cameras[camera] (an index the caller checked),
// in observed pixels. Through a lens an image line is a curve, and a distance from it the distance
// from the nearest point of that curve (found by a search along the line's viewing directions, to
// far below a pixel's thousandth), not from a polyline of it. A point: the distance of its image
// from the pick.
Residual PointResidual(const std::vector<CCamera>& cameras,
                       std::size_t camera,
                       const C3DPoint& point,
                       const Pixel& pick);
// A line: the larger distance of the picked segment's two ends from the image line (all of it
// before the camera).
Residual LineResidual(const std::vector<CCamera>& cameras,
                      std::size_t camera,
                      const C3DLine& line,
                      const PixelSegment& pick);
// A segment: the larger distance of the picked segment's two ends from the image of the
// segment's line; not ok when the whole segment lies behind the camera.
Residual SegmentResidual(const std::vector<CCamera>& cameras,
                         std::size_t camera,
                         const C3DLineSegment& segment,
                         const PixelSegment& pick);
// A cylinder: with both edges picked, the largest distance of their four ends from the images of
// the two silhouette lines, the edges paired with the silhouettes the way that fits better (a tie
// goes to the swapped pairing); with one edge, the larger distance of its ends from the nearer
// silhouette. Neither edge picked: not ok. When one edge was picked and the image of the axis lies
// on its right (walking from its first point to its second, y down), *loneEdgeReversed is set (when
// given): the edge runs against the documented direction.
Residual CylinderResidual(const std::vector<CCamera>& cameras,
                          std::size_t camera,
                          const C3DCylinder& cylinder,
                          const std::array<std::optional<PixelSegment>, 2>& edges,
                          bool* loneEdgeReversed = nullptr);

// The observed image of a straight ideal segment, whole: without a lens its two ends; through a
// lens the images of its viewing directions, sampled adaptively so that the chords between
// neighbours lie within 0.1 px of the curve and are at most 16 px long (where the image lies
// within the photo widened by its size on every side), split into pieces where the lens has no
// observed pixel (beyond its fold radius). None when no end has one.
std::vector<Polyline> ObservedCurve(const CCamera& camera, const C2DLineSegment& ideal);

// ObservedCurve clipped to the photo (none when it misses the photo).
std::vector<Polyline> ObservedPolylines(const CCamera& camera, const C2DLineSegment& ideal);

// The observed image of an ideal image line across the photo: without a lens the line between
// the photo's edges, through a lens the image of every viewing direction in front of the camera,
// sampled as ObservedCurve samples, clipped to the photo. None when it misses the photo or has no
// viewing direction.
std::vector<Polyline> ObservedLinePolylines(const CCamera& camera, const C2DLine& ideal);

// The part of segment inside the photo, 0 <= x <= width and 0 <= y <= height; false, clipped
// untouched, when none of it is (or it is not finite).
bool ClipToImage(const PixelSegment& segment, const CCamera& camera, PixelSegment& clipped);

// The pieces of polyline inside the photo, each with two or more points, in order.
std::vector<Polyline> ClipPolyline(const Polyline& polyline, const CCamera& camera);

// The largest distance of the points from the polyline (of one point: from that point), in
// pixels; 0 when there are no points, infinity when the polyline is empty.
double MaxDistanceToPolyline(const std::vector<Pixel>& points, const Polyline& polyline);

}  // namespace core
