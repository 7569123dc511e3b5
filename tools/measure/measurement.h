#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "measure/scene.h"

namespace measure {

// What a drawn element shows; each role has its own colour in the pictures.
enum class DrawRole { kPick, kPoint, kLine, kSegment, kSilhouette, kCentreLine, kCurve, kPlane };

// One element to draw into a camera's picture, already in image coordinates and, for lines and
// segments, clipped to the image.
struct Drawing {
    DrawRole role = DrawRole::kPick;
    std::string label;         // the shape's name
    std::vector<Vec2> points;  // one point: a marker; two: a segment; more: a polyline
    bool closed = false;       // a polygon (plane outline)
    bool markers = false;      // a dot at every point (curve picks and samples)
};

// The reprojection residual of a shape in one camera in which it was picked, in pixels.
struct Residual {
    std::size_t camera = 0;
    bool ok = false;
    double pixels = 0.0;
    std::string note;  // why there is no value
};

// One difference from the ground truth; unit is the scene's length unit, "deg" or "px".
struct TruthError {
    std::string quantity;
    double value = 0.0;
    std::string unit;
};

struct ShapeResult {
    std::string name;
    ShapeKind kind = ShapeKind::kPoint;
    bool ok = false;
    std::string reason;              // why the reconstruction failed
    std::vector<std::string> notes;  // remarks that do not stop it

    Vec3 point{};           // point; line: the point of the line closest to the origin
    Vec3 direction{};       // line, segment, cylinder: unit direction
    double distance = 0.0;  // line: distance from the origin
    Vec3 start{};           // segment, cylinder axis
    Vec3 end{};
    double length = 0.0;
    double radius = 0.0;
    std::array<double, 4> plane{};  // a x + b y + c z + d = 0, (a, b, c) a unit normal
    int planePointCount = 0;
    double planeRms = 0.0;  // of the points' distances from the plane
    double planeMaxDistance = 0.0;
    std::size_t curveCamera = 0;
    std::vector<Vec2> samples;  // curve samples in its image

    std::vector<Residual> residuals;
    std::vector<TruthError> truthErrors;
};

struct Measurement {
    std::vector<ShapeResult> shapes;             // in the order of the scene
    std::vector<std::vector<Drawing>> drawings;  // per camera, in the order of the scene
};

// Reconstructs every shape of the scene with the library, reprojects it into every camera and
// compares it with its picks and its ground truth. A shape that cannot be reconstructed is a
// result with ok = false and a reason; the others are measured all the same.
Measurement Measure(const Scene& scene);

// The part of segment inside the image 0 <= x <= width, 0 <= y <= height; false when none of it
// is (or it is not finite).
bool ClipToImage(const Segment2& segment, const CCamera& camera, Segment2& clipped);

// The largest distance of the points from the polyline (two or more points), in image units.
double MaxDistanceToPolyline(const std::vector<Vec2>& points, const std::vector<Vec2>& polyline);

}  // namespace measure
