#pragma once

#include <string>
#include <vector>

#include "measure/photo_decoder.h"
#include "measure/scene.h"

#include "polyview/polyview.h"

// Picks refined on their photos ("refine" in a scene, the workbench's snap): a corner pick moved
// to the sub-pixel corner, a segment pick's ends moved onto the image edge it was drawn along,
// both in the photo's own pixels with the library's CPickRefiner and its default options.
namespace measure {

// One pick refined, or refused with the reason (then it is used as clicked).
struct Snap {
    bool ok = false;
    std::string reason;        // why it was refused; empty when ok
    std::vector<Vec2> points;  // the corner, or the edge's start and end; the picks when refused
    std::vector<double> movements;  // px each point moved; 0 when refused
    // Corner: the library's corner support (0..0.5, the smaller eigenvalue of the normalised
    // gradient structure tensor); edge: the share of stations whose edge point the fit used
    // (0..1). 0 when refused.
    double support = 0.0;
};

// The sub-pixel corner near pick on photo. Refused for a window outside the photo, a flat
// window, an edge without a corner, a corner farther than 3 px, no convergence.
Snap SnapCorner(const GrayPhoto& photo, const Vec2& pick);

// The picked segment's ends moved onto the straight image edge it was drawn along. Through a
// lens the edge is the curved image of a straight one: it is searched along the lens's image of
// the picked segment, its points undistorted and fitted by one line in ideal pixels, and the feet
// of the picked ends on that line mapped back into the photo. Refused for too few edge points
// (fewer than max(5, 30 %) of the stations), an end moving more than 3 px, or ends that the lens
// does not map.
Snap SnapEdge(const CCamera& camera, const GrayPhoto& photo, const Segment2& segment);

// A refusal for reason, the picks kept as clicked.
Snap RefusedSnap(std::vector<Vec2> picks, std::string reason);

}  // namespace measure
