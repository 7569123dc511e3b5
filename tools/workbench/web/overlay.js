// Drawing into a photo's overlay SVG (coordinates in photo pixels): the picks, the report's
// reprojected shapes with their residuals, and epipolar guides. Strokes keep their screen width
// (vector-effect: non-scaling-stroke); marker and text sizes are divided by the zoom.

import {picksIn} from "./shapes.js";

const SVG_NS = "http://www.w3.org/2000/svg";

// Screen sizes (CSS pixels) of what is drawn.
const PICK_RADIUS = 5;
const POINT_RADIUS = 3.5;
const LABEL_SIZE = 11;

// The class a residual of so many pixels is drawn with: good (< 1 px), fair (< 3 px), bad.
export function residualClass(pixels) {
    if (pixels === null || pixels === undefined || !Number.isFinite(pixels)) {
        return "res-none";
    }
    return pixels < 1 ? "res-good" : pixels < 3 ? "res-fair" : "res-bad";
}

function element(name, attributes, parent) {
    const node = document.createElementNS(SVG_NS, name);
    for (const [key, value] of Object.entries(attributes)) {
        node.setAttribute(key, value);
    }
    if (parent) {
        parent.append(node);
    }
    return node;
}

const pointsText = (points) => points.map((p) => `${p[0]},${p[1]}`).join(" ");

// The report's entry of each shape, by name.
export function reportByName(report) {
    const byName = new Map();
    for (const entry of (report && report.shapes) || []) {
        byName.set(entry.name, entry);
    }
    return byName;
}

// Redraws the overlay of camera. view: {scale}; state: {shapes, report, selected (Set of
// names), active (name or null), selectedPick ({name, camera, path} or null), epipolar
// ([{from, polylines}] for this camera), size ({width, height} of the photo)}.
export function drawOverlay(svg, camera, scale, state) {
    svg.replaceChildren();
    const unit = 1 / scale;  // one screen pixel in photo pixels
    // Bottom to top: epipolar guides, the pale bands joining picks, the measured shapes (a good
    // measurement is a thin line inside its band), the pick markers, the labels.
    const guides = element("g", {class: "guides"}, svg);
    const bands = element("g", {class: "pick-links"}, svg);
    const shown = element("g", {class: "reprojections"}, svg);
    const picked = element("g", {class: "picks"}, svg);
    // Text has no non-scaling stroke: its halo is sized in photo pixels like its font.
    const labels = element("g", {class: "labels", "font-size": LABEL_SIZE * unit,
                                 "stroke-width": 3 * unit}, svg);

    // The part of the photo on screen, where guide labels may go.
    const box = svg.viewBox.baseVal;
    const region = {
        x0: Math.max(0, box.x), y0: Math.max(0, box.y),
        x1: Math.min(state.size.width, box.x + box.width),
        y1: Math.min(state.size.height, box.y + box.height),
    };
    for (const guide of state.epipolar) {
        drawEpipolar(guides, labels, guide, unit, region);
    }

    const drawings = overlayOf(state.report, camera);
    for (const drawing of drawings) {
        if (drawing.role !== "pick") {
            drawReprojection(shown, drawing, unit, state.selected.has(drawing.shape));
        }
    }

    const byName = reportByName(state.report);
    for (const shape of state.shapes) {
        const picks = picksIn(shape, camera);
        if (picks.length === 0) {
            continue;
        }
        const entry = byName.get(shape.name);
        const residual = entry && (entry.residuals || []).find((r) => r.camera === camera);
        const emphasis = state.selected.has(shape.name) || state.active === shape.name;
        drawPicks(bands, picked, shape, camera, picks, unit, {
            emphasis,
            leftOut: Boolean(residual && residual.left_out),
            selectedPick: state.selectedPick,
        });
        const anchor = picks[0];
        if (residual) {
            drawResidual(labels, shape.name, residual, anchor, unit, emphasis);
        }
        if (emphasis) {
            const name = element("text", {
                class: "shape-label",
                x: anchor.x + 8 * unit,
                y: anchor.y - 8 * unit,
            }, labels);
            name.textContent = shape.name;
        }
    }
}

// The drawings of the report for one camera.
function overlayOf(report, camera) {
    const entry = ((report && report.overlays) || []).find((o) => o.camera === camera);
    return entry ? entry.drawings : [];
}

function drawEpipolar(guides, labels, guide, unit, region) {
    for (const polyline of guide.polylines) {
        if (polyline.length < 2) {
            continue;
        }
        element("polyline", {
            class: "epipolar",
            "data-from": guide.from,
            points: pointsText(polyline),
        }, guides);
        const at = labelSpot(polyline, region, unit);
        const label = element("text", {
            class: "epipolar-label",
            "data-from": guide.from,
            x: at[0] + 4 * unit,
            y: at[1] - 4 * unit,
        }, labels);
        label.textContent = `from ${guide.from}`;
    }
}

// Where a guide's label goes: the first spot at least 40 screen pixels along the line that lies
// well inside both the photo and the visible part of the view (else the line's start).
function labelSpot(polyline, region, unit) {
    const margin = 24 * unit;
    const inside = (x, y) => x > region.x0 + margin && x < region.x1 - 5 * margin &&
                             y > region.y0 + margin && y < region.y1 - margin;
    const step = 20 * unit;
    let along = 0;
    for (let i = 1; i < polyline.length; i += 1) {
        const [a, b] = [polyline[i - 1], polyline[i]];
        const length = Math.hypot(b[0] - a[0], b[1] - a[1]);
        for (let t = 0; t < length; t += step) {
            const x = a[0] + ((b[0] - a[0]) * t) / length;
            const y = a[1] + ((b[1] - a[1]) * t) / length;
            if (along + t >= 40 * unit && inside(x, y)) {
                return [x, y];
            }
        }
        along += length;
    }
    return polyline[0];
}

function drawReprojection(group, drawing, unit, emphasis) {
    const common = {
        class: `reprojection role-${drawing.role}${emphasis ? " emphasis" : ""}`,
        "data-shape": drawing.shape,
        "data-role": drawing.role,
    };
    const points = drawing.points || [];
    if (points.length === 1) {
        element("circle", {...common, cx: points[0][0], cy: points[0][1],
                           r: POINT_RADIUS * unit}, group);
    } else if (points.length > 1) {
        element(drawing.closed ? "polygon" : "polyline",
                {...common, points: pointsText(points)}, group);
    }
}

function drawPicks(bands, group, shape, camera, picks, unit, options) {
    const base = `pick${options.emphasis ? " emphasis" : ""}${options.leftOut ? " left-out" : ""}`;
    // The links between picks that belong together (a segment's ends, an edge, a curve).
    const runs = new Map();
    for (const pick of picks) {
        const key = shape.kind === "cylinder" ? pick.path[0] : 0;
        runs.set(key, [...(runs.get(key) || []), [pick.x, pick.y]]);
    }
    if (shape.kind !== "point") {
        for (const run of runs.values()) {
            if (run.length > 1) {
                element("polyline", {
                    class: `pick-link${options.leftOut ? " left-out" : ""}`,
                    "data-shape": shape.name,
                    points: pointsText(run),
                }, bands);
            }
        }
    }
    const chosen = options.selectedPick;
    for (const pick of picks) {
        const isChosen = chosen && chosen.name === shape.name && chosen.camera === camera &&
                         chosen.path.join() === pick.path.join();
        const size = PICK_RADIUS * unit;
        element("path", {
            class: "pick-cross",
            d: `M${pick.x - size} ${pick.y}H${pick.x + size}M${pick.x} ${pick.y - size}V${
                pick.y + size}`,
        }, group);
        element("circle", {
            class: `${base}${isChosen ? " chosen" : ""}`,
            "data-shape": shape.name,
            "data-camera": camera,
            "data-path": pick.path.join(","),
            "data-x": pick.x,
            "data-y": pick.y,
            cx: pick.x,
            cy: pick.y,
            r: size,
        }, group);
    }
}

function drawResidual(labels, name, residual, anchor, unit, emphasis) {
    const pixels = residual.pixels;
    const text = element("text", {
        class: `residual ${residualClass(pixels)}${emphasis ? " emphasis" : ""}`,
        "data-shape": name,
        "data-pixels": pixels === null ? "null" : pixels,
        x: anchor.x + 6 * unit,
        y: anchor.y + 14 * unit,
    }, labels);
    // Short labels keep a dense photo readable; the shapes in focus get the unit too.
    const suffix = emphasis ? ` px${residual.left_out ? " (left out)" : ""}` : "";
    text.textContent = pixels === null ? "n/a" : `${pixels.toFixed(2)}${suffix}`;
}

// Draws a thumbnail's overlay (viewBox = the photo): the picks of the shapes of interest and
// the epipolar guides for this camera, at the thumbnail's scale.
export function drawThumbOverlay(svg, camera, scale, shapes, guides) {
    svg.replaceChildren();
    const unit = 1 / scale;
    for (const guide of guides) {
        for (const polyline of guide.polylines) {
            element("polyline", {class: "epipolar", "data-from": guide.from,
                                 points: pointsText(polyline)}, svg);
        }
    }
    for (const shape of shapes) {
        for (const pick of picksIn(shape, camera)) {
            element("circle", {class: "thumb-pick", cx: pick.x, cy: pick.y, r: 2.5 * unit}, svg);
        }
    }
}
