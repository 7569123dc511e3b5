#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/reprojection.h"

#include "polyview/camera/camera.h"
#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/array1d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "polyview/shapes3d/plane3d.h"
#include "polyview/shapes3d/point3d.h"

// Measurement of one shape from what was picked in photos: the shape, or why it cannot be had
// (worded for the person who picked), its residual in each camera where it was picked, and what
// to draw over each photo. The measurement tool and the Python module both measure with these;
// neither reconstructs by itself.
//
// Picks are in observed pixels and name their camera by its index into the cameras; a camera
// that did not see the shape has no pick. Every pick goes through CCamera::ToIdealPixel before the
// library reconstructs. A shape is refused, never returned half made: when ok is false the shape
// member is the default one, and there are no residuals and no reprojections.
namespace core {

// The reason given when the library's or the core's working memory cannot be had.
extern const char* const kOutOfMemory;

struct PointPick {
    std::size_t camera = 0;
    Pixel pixel;
};

// A segment on the image of a line, from end to end as seen.
struct SegmentPick {
    std::size_t camera = 0;
    PixelSegment segment;
};

// The silhouette edges of a cylinder seen in one photo, in either order; an edge not seen is
// empty. An edge seen alone runs with the cylinder on its left as seen on the screen (y down).
struct EdgePick {
    std::size_t camera = 0;
    std::array<std::optional<PixelSegment>, 2> edges;
};

using Point3 = std::array<double, 3>;

// What every measurement gives besides its shape.
struct Outcome {
    bool ok = false;
    std::string reason;  // why the shape cannot be had, when !ok
    // When ok: one per pick, in the order of the picks, against the shape measured (a view left
    // out included).
    std::vector<Residual> residuals;
    // When ok: the cameras left out as outliers (Outliers::kDrop), in the order left out.
    std::vector<std::size_t> leftOut;
    // The picks (always, in their order), then when ok the shape reprojected into every camera
    // (in the order of the cameras).
    std::vector<Overlay> overlays;
};

struct PointMeasurement : Outcome {
    C3DPoint point;
};

struct LineMeasurement : Outcome {
    C3DLine line;
};

// Where the ends of a segment or a cylinder along its axis come from. Each view's picked ends are
// carried onto the axis as the library carries them (the foot on the image of the axis, lifted
// back along its viewing ray); a view none of whose ends can be carried takes no part.
enum class Extent {
    kUnion,   // the farthest pair over all views: right for an edge hidden in some views, but one
              // bad end pick sets it
    kMedian,  // each end the median of the views' positions of it (of an even count, the mean of
              // the middle two): robust against one bad end pick among three or more views
};

// How the views agree on one end of a measured segment or cylinder.
struct EndSpread {
    double spread = 0.0;          // max - min of the views' positions of this end along the axis
    std::size_t unionCamera = 0;  // the camera whose position of this end is the union's end
};

struct SegmentMeasurement : Outcome {
    C3DLineSegment segment;  // its extent from the picked ends carried onto the line
    // When ok: at the segment's start and at its end, whichever extent was asked for.
    std::array<EndSpread, 2> ends;
};

struct CylinderMeasurement : Outcome {
    C3DCylinder cylinder;
    std::array<EndSpread, 2> ends;  // when ok: as SegmentMeasurement's, along the axis
    // Cameras whose lone edge runs against the documented direction (the measured axis lies on
    // its right), in the order of the picks: the other photos disagree with it and the axis may
    // be off. The shape is measured all the same; ReversedLoneEdgeNote words the warning.
    std::vector<std::size_t> reversedLoneEdges;
};

struct PlaneMeasurement : Outcome {
    C3DPlane plane;
    std::array<double, 4> coefficients{};  // a x + b y + c z + d = 0, (a, b, c) a unit normal
    int pointCount = 0;
    double rmsDistance = 0.0;  // of the points from the plane
    double maxDistance = 0.0;
};

struct CurveMeasurement : Outcome {
    std::vector<Pixel> samples;  // in the curve's photo
};

enum class CylinderMethod { kTangentPlanes, kCentreLines };

// Whether views whose picks disagree with the others are left out of a point, line, segment or
// cylinder. kDrop: after the least-squares measurement, the view with the largest residual is
// left out and the shape measured again from the rest when that residual exceeds both
// kOutlierPixels and kOutlierRatio times the median residual of the views in use (of an even
// count, the mean of the middle two), and the rest still give the shape (two views or more; a
// cylinder also the edges its method needs); this repeats until no view qualifies. When the rest
// are refused, the view stays and the dropping ends. Residuals that cannot be computed take no
// part. kKeep measures from every view.
enum class Outliers { kKeep, kDrop };

// A view's residual must exceed this (pixels, strictly) to be left out.
constexpr double kOutlierPixels = 1.0;
// ... and exceed this many times the median residual of the views in use (strictly).
constexpr double kOutlierRatio = 3.0;

// How a curve is fitted to its picks.
struct CurveOptions {
    bool interpolate = true;  // through the picks, or near them (a least-squares fit)
    double interval = 0.0;    // near: (picked length / interval) / 2 control points, rounded down
    int sampleCount = 50;     // samples at equal parameter steps, the last at the last pick
};

// The point nearest (least squares) to the viewing rays of its picks. Refused: fewer than two
// picks, (nearly) parallel rays, no finite point, or a point behind a camera that saw it (rays
// that part meet behind the cameras). Residuals: the distance of the point's image from each
// pick. Overlays: the picks and the point's image in every camera where it lies in the photo.
// With Outliers::kDrop the views left out as that rule says (see Outcome::leftOut); the same holds
// for the line, segment and cylinder below.
PointMeasurement MeasurePoint(const std::vector<CCamera>& cameras,
                              const std::vector<PointPick>& picks,
                              Outliers outliers = Outliers::kKeep);

// The line in which the planes through each camera centre and its picked segment meet (least
// squares). Refused: fewer than two picks, a pick whose ends coincide, (nearly) parallel viewing
// planes, no finite line. Residuals: the larger distance of each pick's ends from the image line.
// Overlays: the picks, the image line across every photo.
LineMeasurement MeasureLine(const std::vector<CCamera>& cameras,
                            const std::vector<SegmentPick>& picks,
                            Outliers outliers = Outliers::kKeep);

// The line as MeasureLine, bounded by the picked ends carried onto it as extent says. Refused
// besides: no finite end points, no picked end carried onto the line (length 0), or a segment
// wholly behind a camera that saw it (viewing planes do not tell front from back). Residuals:
// against the image of the segment's line. Overlays: the picks, the image segment.
SegmentMeasurement MeasureSegment(const std::vector<CCamera>& cameras,
                                  const std::vector<SegmentPick>& picks,
                                  Extent extent = Extent::kUnion,
                                  Outliers outliers = Outliers::kKeep);

// Axis, radius and extent (from the edges' ends, as extent says) from silhouette edges. Tangent
// planes need three edges in two photos; centre lines need both edges in two photos and give an
// estimate. A pick with neither edge counts as not made. Refused besides: edges that fix no axis,
// an axis through the world origin, a radius of 0, no finite cylinder, or an axis wholly behind a
// camera that saw it. Overlays: the picked edges, then per camera the two silhouettes and the
// centre line.
CylinderMeasurement MeasureCylinder(const std::vector<CCamera>& cameras,
                                    const std::vector<EdgePick>& picks,
                                    CylinderMethod method,
                                    Extent extent = Extent::kUnion,
                                    Outliers outliers = Outliers::kKeep);

// The orthogonal least-squares plane through the points, judged first by JudgePlanePoints.
// Refused: fewer than three points, points that do not spread across a line, a fit that fails.
// No residuals (the points are measured on their own); overlays: the outline through the points,
// in their order, in every camera in front of which all of them lie.
PlaneMeasurement MeasurePlane(const std::vector<CCamera>& cameras,
                              const std::vector<Point3>& points);

// A cubic B-spline through or near picks in one photo, sampled; it is fitted in observed pixels,
// the photo's own. Refused as FitCurve refuses, and when camera is not one of the cameras.
// Residual: the largest distance of the picks from the samples' polyline. Overlays: the picks and
// the samples, each with a dot at every point.
CurveMeasurement MeasureCurve(const std::vector<CCamera>& cameras,
                              std::size_t camera,
                              const std::vector<Pixel>& picks,
                              const CurveOptions& options);

// The curve's samples; empty with the samples cleared, or the reason. A pick within 2 px (in x and
// in y) of the one before it is dropped.
std::string FitCurve(const std::vector<Pixel>& picks,
                     const CurveOptions& options,
                     std::vector<Pixel>& samples);

// The reconstructions alone, for callers that reproject by themselves: true with the shape, or
// false with the reason (shape untouched), refusing as the measurements above refuse.
bool ReconstructLine(const std::vector<CCamera>& cameras,
                     const std::vector<SegmentPick>& picks,
                     C3DLine& line,
                     std::string& reason);
bool ReconstructSegment(const std::vector<CCamera>& cameras,
                        const std::vector<SegmentPick>& picks,
                        C3DLineSegment& segment,
                        std::string& reason,
                        Extent extent = Extent::kUnion);
bool ReconstructCylinder(const std::vector<CCamera>& cameras,
                         const std::vector<EdgePick>& picks,
                         CylinderMethod method,
                         C3DCylinder& cylinder,
                         std::string& reason,
                         Extent extent = Extent::kUnion);
bool FitPlane(const std::vector<Point3>& points, C3DPlane& plane, std::string& reason);

// The warning for a lone edge in the named camera that runs against the documented direction.
std::string ReversedLoneEdgeNote(const std::string& cameraName);

// Triangulates points as MeasurePoint does (same refusals and reasons), keeping the library's
// observation records from one call to the next while the same cameras see the points: the
// reconstruction alone, and the batch path. Holds a reference to cameras.
class PointTriangulator {
  public:
    explicit PointTriangulator(const std::vector<CCamera>& cameras);

    // True with the point; false with the reason, point untouched.
    bool Triangulate(const std::vector<PointPick>& picks, C3DPoint& point, std::string& reason);

  private:
    const std::vector<CCamera>& m_cameras;
    C1DArray<SImagePoint> m_observations;
    std::vector<std::size_t> m_held;  // the cameras whose records m_observations holds, in order
};

}  // namespace core
