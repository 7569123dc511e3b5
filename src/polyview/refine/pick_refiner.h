#pragma once

#include <string>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/vector2d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/polyview_export.h"
#include "polyview/refine/gray_image.h"

// Moves a hand pick onto the image it was made in: a corner pick to the sub-pixel corner, the two
// ends of a segment pick onto the straight intensity edge the segment was drawn along. Positions
// are photo pixels in CGrayImage's convention. Every result says how far the pick moved and how
// well the image supported it; a refinement that fails or would move a pick by more than the
// options' maxMovement is refused (ok false, reason set) and its position fields hold the pick.
class POLYVIEW_EXPORT CPickRefiner {
  public:
    struct SCornerOptions {
        int halfWindow = 5;        // the window is (2 halfWindow + 1) px square, >= 2
        double maxMovement = 3.0;  // px; a corner farther from the pick is refused
        int maxIterations = 50;    // >= 1
        double tolerance = 1e-3;   // px; a last step this short counts as converged
        // Sample units (gray levels for 8-bit); flatter is refused. JPEG noise on a plain wall
        // spans 10-20 levels in a window and looks corner-like, so this stays above it.
        double minContrast = 24.0;
        double minSupport = 0.05;  // a window with less support holds no corner
    };
    struct SCornerRefinement {
        bool ok = false;
        std::string reason;     // why the refinement was refused; empty when ok
        C2DCoordinate corner;   // the refined corner; the pick when refused
        double movement = 0.0;  // |corner - pick| in px (of the refused position when it wandered)
        // The smaller eigenvalue of the weighted gradient structure tensor divided by its trace,
        // 0..0.5: 0 for an edge alone, 0.5 when the gradients spread evenly over all directions
        // (two edges crossing at a right angle); (1 - |cos a|) / 2 for two equally strong edges
        // at an angle a.
        double support = 0.0;
        int iterations = 0;
        // Straight edges found leaving the corner (2 for an L corner, 4 for a crossing) whose
        // fitted lines' intersection is the corner; 0 when none were found (a rounded or
        // blurred corner) and the corner is the gradient estimate alone.
        int arms = 0;
    };
    struct SEdgeOptions {
        double step = 1.0;             // px between stations along the picked segment, >= 0.25
        double searchHalfWidth = 4.0;  // px searched on either side of a station, 1..64
        double maxMovement = 3.0;      // px; an end moving farther is refused
        // Least step across the edge, in sample units: gray levels for 8-bit images; for float
        // images in the image's own scale (10 / 255 for samples in 0..1).
        double minContrast = 10.0;
        double outlierDistance = 0.5;  // px from the first fit beyond which a point is dropped
    };
    // Where to look for an edge, and across which direction (need not be unit length, not zero).
    struct SEdgeStation {
        C2DCoordinate point;
        C2DVector normal;
    };
    struct SEdgeRefinement {
        bool ok = false;
        std::string reason;   // why the refinement was refused; empty when ok
        C2DLine line;         // the fitted edge line (unit normal)
        C2DCoordinate start;  // the feet of the picked ends on the line; the picks when refused
        C2DCoordinate end;
        double startMovement = 0.0;  // px each end moved
        double endMovement = 0.0;
        double rms = 0.0;                // px, the used points' distances to the line
        int stations = 0;                // stations searched along the segment
        int used = 0;                    // edge points the final fit used
        double support = 0.0;            // used / stations, 0..1
        C1DArray<C2DCoordinate> points;  // the used edge points
    };

    // The sub-pixel corner near pick: the point q where the image gradients g at the window's
    // pixels are orthogonal to the vectors p - q from it, by least squares weighted with a
    // Gaussian about q, iterated with the window following q; then, when straight edges leave q
    // in the window's two main gradient directions, the intersection of the lines fitted to them
    // (arms; within 1 px of q) replaces it (docs/refinement.md). Refused (ok false, corner = pick)
    // for an invalid image or options, a pick that is not finite, a window partly outside the
    // image or holding a sample that is not finite, a flat or saturated window, no corner (an edge
    // only: support below minSupport), a corner farther than maxMovement, or no convergence.
    static SCornerRefinement RefineCorner(const CGrayImage& image,
                                          const C2DCoordinate& pick,
                                          const SCornerOptions& options);
    // RefineCorner with the default options.
    static SCornerRefinement RefineCorner(const CGrayImage& image, const C2DCoordinate& pick);
    // For each station the sub-pixel position of the strongest intensity step along its normal
    // within searchHalfWidth, appended to points in station order (points is resized to the
    // found ones); stations with no step of minContrast, outside the image, with a zero or
    // non-finite normal or a sample that is not finite give none. Returns the count found; 0 and
    // points emptied for an invalid image or options.
    static int FindEdgePoints(const CGrayImage& image,
                              const C1DArray<SEdgeStation>& stations,
                              const SEdgeOptions& options,
                              C1DArray<C2DCoordinate>& points);
    // The edge line through points: starting from the points near the line through two of them
    // that most points lie within outlierDistance of (so a far outlier cannot tilt the start), the
    // orthogonal least-squares line, then dropping every point farther than outlierDistance from
    // it and fitting again until none is dropped; used gets the points of the last fit. False,
    // line and used untouched, for fewer than 2 points left, a point or outlierDistance that is
    // not finite, outlierDistance <= 0 or a fit that fails.
    static bool FitEdgeLine(const C1DArray<C2DCoordinate>& points,
                            double outlierDistance,
                            C2DLine& line,
                            C1DArray<C2DCoordinate>& used);
    // The straight edge the segment start-end was picked along: stations every step px along it
    // (normal: its perpendicular), FindEdgePoints, FitEdgeLine, the ends moved to their feet on
    // the line. Refused (ok false, start and end the picks) for invalid input, fewer than
    // max(5, 30 % of the stations) points used, or an end moving more than maxMovement.
    static SEdgeRefinement RefineEdge(const CGrayImage& image,
                                      const C2DCoordinate& start,
                                      const C2DCoordinate& end,
                                      const SEdgeOptions& options);
    // RefineEdge with the default options.
    static SEdgeRefinement RefineEdge(const CGrayImage& image,
                                      const C2DCoordinate& start,
                                      const C2DCoordinate& end);
};
