#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "core/reconstruction.h"
#include "core/reprojection.h"
#include "measure/scene.h"
#include "measure/snapping.h"

namespace measure {

// What a drawn element shows (the core's roles); each role has its own colour in the pictures.
using DrawRole = core::Role;

// One element to draw into a camera's picture: the core's overlay, in the photo's pixels, with
// the name of its shape. Lines and segments are clipped to the image.
struct Drawing {
    DrawRole role = DrawRole::kPick;
    std::string label;         // the shape's name
    std::vector<Vec2> points;  // one point: a marker; two: a segment; more: a polyline
    bool closed = false;       // a polygon (plane outline)
    bool markers = false;      // a dot at every point (curve picks and samples)
    bool leftOut = false;      // a pick of a view left out as an outlier
};

// The reprojection residual of a shape in one camera in which it was picked, in pixels.
using Residual = core::Residual;

// One difference from the ground truth; unit is the scene's length unit, "deg" or "px".
struct TruthError {
    std::string quantity;
    double value = 0.0;
    std::string unit;
};

// A pick refined on its photo before the measurement (the shape's "refine").
struct PickSnap {
    std::size_t camera = 0;  // index into the scene's cameras
    int edge = -1;           // a cylinder's edge (0 or 1); -1 for other shapes
    Snap snap;
};

struct ShapeResult {
    std::string name;
    ShapeKind kind = ShapeKind::kPoint;
    bool ok = false;
    std::string reason;              // why the reconstruction failed
    std::vector<std::string> notes;  // remarks that do not stop it
    // "refine": every pick refined or refused, in the order of the picks (a camera without a
    // photo has none: a note says so).
    std::vector<PickSnap> snaps;

    Vec3 point{};           // point; line: the point of the line closest to the origin
    Vec3 direction{};       // line, segment, cylinder: unit direction
    double distance = 0.0;  // line: distance from the origin
    Vec3 start{};           // segment, cylinder axis
    Vec3 end{};
    double length = 0.0;
    // Segment, cylinder: how the views agree on the ends, at start and at end (in scene units;
    // the union's end names its camera by index into the scene's cameras).
    std::array<core::EndSpread, 2> ends{};
    double radius = 0.0;
    std::array<double, 4> plane{};  // a x + b y + c z + d = 0, (a, b, c) a unit normal
    int planePointCount = 0;
    double planeRms = 0.0;  // of the points' distances from the plane
    double planeMaxDistance = 0.0;
    std::size_t curveCamera = 0;
    std::vector<Vec2> samples;  // curve samples in its image

    std::vector<Residual> residuals;  // a view left out included, against the shape measured
    // "outliers": "drop": the cameras left out, by index into the scene's cameras, in order.
    std::vector<std::size_t> leftOut;
    std::vector<TruthError> truthErrors;
};

struct Measurement {
    std::vector<ShapeResult> shapes;             // in the order of the scene
    std::vector<std::vector<Drawing>> drawings;  // per camera, in the order of the scene
};

// Measures every shape of the scene with the measurement core (tools/core), which reconstructs,
// reprojects into every camera and words the failures; adds the comparison with the ground truth.
// A shape that cannot be reconstructed is a result with ok = false and a reason; the others are
// measured all the same. The picks of a shape that asks ("refine") are refined on their photos
// first, each photo decoded once; a refusal (a photo that cannot be decoded or is of another size
// included) leaves that pick as clicked.
Measurement Measure(const Scene& scene);

}  // namespace measure
