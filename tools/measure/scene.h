#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "measure/file_resolver.h"
#include "measure/json_node.h"

#include "polyview/polyview.h"

namespace measure {

using Vec3 = std::array<double, 3>;

struct Vec2 {
    double x;
    double y;
};

struct Segment2 {
    Vec2 start;
    Vec2 end;
};

// A lens as a camera of "cameras" gives it, kept to write the document back.
struct LensInput {
    // "" (no lens: focal_length and principal_point), a COLMAP model name (SIMPLE_PINHOLE ...
    // THIN_PRISM_FISHEYE), "opencv" or "opencv_fisheye".
    std::string model;
    std::vector<double> params;            // COLMAP models: in COLMAP's order
    std::array<double, 9> cameraMatrix{};  // opencv, opencv_fisheye: row-major, OpenCV's pixels
    std::vector<double> distortion;        // opencv, opencv_fisheye
};

// A calibrated camera of the scene: the library's camera (pinhole, lens, pose, image size) with
// the id that picks name it by and where it was defined.
struct Camera {
    std::string id;
    std::string origin;  // where it was defined, for the report ("cameras[0]", a model file...)
    CCamera calibration;
    // The entry of Scene::cameraSources that defines it; none when written in "cameras".
    std::optional<std::size_t> source;
    // Written in "cameras": the rotation vector given instead of a matrix, kept for the document.
    std::optional<Vec3> rotationVector;
    LensInput lens;  // written in "cameras": the lens as given (model "" when none)
    // The photo, as a path to open (resolved against the scene's folder); empty when none.
    std::string image;
    std::string imageName;  // written in "cameras": the photo's path as given
    Json comment;           // the document's "comment" (null when none), as for the records below
};

// A file of cameras named in "camera_sources", kept as the reference the document makes.
struct CameraSource {
    std::string format;               // "colmap" or "opencv"
    std::string path;                 // as written: relative to the scene's folder
    std::string id;                   // opencv: the camera's id; empty when named after the file
    std::string model;                // opencv: "opencv" or "opencv_fisheye"; empty when not given
    std::vector<std::string> images;  // opencv: the photos of its cameras in order, as written
    std::string imageFolder;          // colmap: the folder of its images' photos, as written
    Json comment;
};

enum class ShapeKind { kPoint, kLine, kSegment, kCylinder, kPlane, kCurve };

// Where a segment's or a cylinder's ends are taken from: the farthest ends seen in any view (the
// union, "union") or each end's median over the views ("median").
enum class Extent { kUnion, kMedian };

// Whether a point, line, segment or cylinder leaves out views whose picks disagree with the
// others: "keep" (every view) or "drop" (core::Outliers::kDrop).
enum class Outliers { kKeep, kDrop };

// Whether a shape's picks are refined on their photos before the measurement: "none" (as
// clicked), "corner" (a point's picks move to the sub-pixel corner) or "edge" (a line's,
// segment's or cylinder's picked segments move onto the image edge they were drawn along).
enum class Refine { kNone, kCorner, kEdge };

// "point", "line", ... as written in a scene file.
const char* KindName(ShapeKind kind);

struct PointPick {
    std::size_t camera;  // index into Scene::cameras
    Vec2 point;
};

struct SegmentPick {
    std::size_t camera;
    Segment2 segment;
};

// The two silhouette edges seen in one image; either may be missing (not both).
struct CylinderPick {
    std::size_t camera;
    std::array<std::optional<Segment2>, 2> edges;
};

// One point of a plane: a 3D point given in the file, or the name of a point shape.
struct PlaneSource {
    std::string pointName;  // empty when the point is given
    Vec3 point{0, 0, 0};
    std::string path;  // JSON path, for messages
};

// Known values for demos and checks; which members are set depends on the kind.
struct Truth {
    std::optional<Vec3> point;      // point; line: a point on it; plane: a point on it
    std::optional<Vec3> direction;  // line
    std::optional<Vec3> start;      // segment, cylinder axis
    std::optional<Vec3> end;
    std::optional<Vec3> normal;  // plane
    std::optional<double> radius;
    std::vector<Vec2> imagePoints;  // curve: the true curve in its image, densely sampled
    Json comment;
};

struct ShapeInput {
    std::string name;
    ShapeKind kind = ShapeKind::kPoint;
    std::string path;  // JSON path of the shape, e.g. shapes[3]

    std::vector<PointPick> pointPicks;      // point
    std::vector<SegmentPick> segmentPicks;  // line, segment
    std::vector<CylinderPick> cylinderPicks;
    bool tangentPlanes = true;            // cylinder: "tangent-planes" (true) or "centre-lines"
    Extent extent = Extent::kUnion;       // segment, cylinder: "extent"
    Outliers outliers = Outliers::kKeep;  // point, line, segment, cylinder: "outliers"
    Refine refine = Refine::kNone;        // point: corner; line, segment, cylinder: edge
    std::vector<PlaneSource> planePoints;

    std::size_t curveCamera = 0;  // curve: its one image
    std::vector<Vec2> curvePicks;
    bool interpolate = true;  // curve: through the picks (true) or near them
    double interval = 0.0;    // curve: sets the number of control points when approximating; 0
                              // when not given (interpolation ignores it)
    int sampleCount = 50;

    std::optional<Truth> truth;
    Json comment;
};

struct Scene {
    std::string file;
    std::string title;  // empty when none
    std::string units = "m";
    Json comment;
    std::vector<Camera> cameras;  // those of "cameras" first, then those of each camera source
    std::vector<CameraSource> cameraSources;
    std::vector<ShapeInput> shapes;
    std::vector<std::string> warnings;  // e.g. imported cameras with fx != fy
    std::vector<std::string> inputs;    // the files read: the scene file and camera files
};

// Reads and checks a scene file (a regular file of at most kSceneFileLimit bytes). Throws
// InputError (file, JSON path, message) on malformed JSON, missing or mistyped fields, unknown
// camera ids or point names, non-finite numbers, focal lengths or image sizes that are not
// positive, unknown lens models or wrong parameter counts, cameras that are no usable pose,
// photos that are missing or no JPEG or PNG, empty pick lists and picks outside the image. Camera
// files and photos are resolved in the scene file's folder, confined to it unless
// allowOutsidePaths.
Scene LoadScene(const std::string& file, bool allowOutsidePaths = false);

// The same for a document already in memory, its camera files opened through resolver.
Scene ParseScene(const std::string& text, const std::string& file, const FileResolver& resolver);

// ParseScene with a resolver confined to baseDirectory.
Scene ParseScene(const std::string& text,
                 const std::string& file,
                 const std::string& baseDirectory);

// Equal in every field, cameras by the exact values of their pinhole, pose and image size.
bool operator==(const Vec2& a, const Vec2& b);
bool operator==(const Segment2& a, const Segment2& b);
bool operator==(const Camera& a, const Camera& b);
bool operator==(const CameraSource& a, const CameraSource& b);
bool operator==(const PointPick& a, const PointPick& b);
bool operator==(const SegmentPick& a, const SegmentPick& b);
bool operator==(const CylinderPick& a, const CylinderPick& b);
bool operator==(const PlaneSource& a, const PlaneSource& b);
bool operator==(const Truth& a, const Truth& b);
bool operator==(const ShapeInput& a, const ShapeInput& b);
bool operator==(const Scene& a, const Scene& b);

}  // namespace measure
