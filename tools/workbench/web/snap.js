// Snapping picks to the photo: a point pick to the sub-pixel corner under it, a pair of picks
// along an edge (a segment's or line's ends, a cylinder edge's two points) to the image edge they
// were placed on. The server refines in the photo's own pixels and answers with how far each pick
// moved and how well the image supported it, or why it refused; a refused pick stays as clicked.

import {edits} from "./shapes.js";

// What snapping the pick at path of shape in camera asks of the server:
// {camera, kind: "corner"|"edge", paths: [path, ...], points: [[x, y], ...]}, or {refusal: text}.
export function targetOf(shape, camera, path) {
    const picks = shape.picks && shape.picks[camera];
    if (!picks) {
        return {refusal: `${shape.name} has no pick in ${camera}`};
    }
    switch (shape.kind) {
        case "point":
            return {camera, kind: "corner", paths: [[]], points: [picks]};
        case "segment":
        case "line":
            if (picks.length < 2) {
                return {refusal: `${shape.name} needs both ends in ${camera} to snap to an edge`};
            }
            return {camera, kind: "edge", paths: [[0], [1]], points: [picks[0], picks[1]]};
        case "cylinder": {
            const edge = picks[path[0]];
            if (!edge || edge.length < 2) {
                return {refusal: `edge ${path[0] + 1} of ${shape.name} needs both points in ${
                    camera} to snap`};
            }
            const e = path[0];
            return {camera, kind: "edge", paths: [[e, 0], [e, 1]], points: [edge[0], edge[1]]};
        }
        default:
            return {refusal: `the picks of a ${shape.kind} are not snapped: only points, ` +
                             "segment and line ends and cylinder edges are"};
    }
}

// Every target of a shape: each photo's point pick, end pair or complete cylinder edge.
export function targetsOf(shape) {
    if (shape.kind === "plane") {
        return [{refusal: `${shape.name} has no picks of its own: snap its points`}];
    }
    const targets = [];
    for (const [camera, picks] of Object.entries(shape.picks || {})) {
        if (shape.kind === "cylinder") {
            picks.forEach((edge, e) => edge && targets.push(targetOf(shape, camera, [e, 0])));
        } else {
            targets.push(targetOf(shape, camera, [0]));
        }
    }
    return targets;
}

// Asks the server to snap each target; resolves with one outcome per target:
// {target, points, movement: [px, ...], support} or {target, reason}. hasPhoto(camera) tells
// whether a camera has a photo to snap in.
export function snapAll(api, targets, hasPhoto) {
    return Promise.all(targets.map(async (target) => {
        if (target.refusal) {
            return {target, reason: target.refusal};
        }
        if (!hasPhoto(target.camera)) {
            return {target, reason: `${target.camera} has no photo to snap in`};
        }
        try {
            const answer = target.kind === "corner"
                               ? await api.snap({camera: target.camera, kind: "corner",
                                                 point: target.points[0]})
                               : await api.snap({camera: target.camera, kind: "edge",
                                                 segment: target.points});
            return outcomeOf(target, answer);
        } catch (error) {
            return {target, reason: error.message};
        }
    }));
}

const isPoint = (p) => Array.isArray(p) && p.length === 2 && p.every(Number.isFinite);

function outcomeOf(target, answer) {
    if (!answer || answer.ok !== true) {
        const reason = answer && typeof answer.reason === "string" ? answer.reason : "";
        return {target, reason: reason || "the server refused without a reason"};
    }
    const points = target.kind === "corner" ? [answer.point] : answer.segment;
    const movement = [].concat(answer.movement);
    if (!Array.isArray(points) || points.length !== target.paths.length ||
        !points.every(isPoint) || movement.length !== points.length ||
        !movement.every(Number.isFinite) || !Number.isFinite(answer.support)) {
        return {target, reason: "the server's answer has no usable position"};
    }
    return {target, points, movement, support: answer.support};
}

const same = (a, b) => a[0] === b[0] && a[1] === b[1];

// Whether the picks of a target are still where they were when it was sent.
function unchanged(shape, target) {
    const now = shape && targetOf(shape, target.camera, target.paths[0]);
    return Boolean(now && !now.refusal && now.points.every((p, i) => same(p, target.points[i])));
}

// Marks the successful outcomes whose picks were moved or removed since they were asked for as
// refused (nothing is then changed behind the person's back); returns those still to apply.
export function stillValid(shape, outcomes) {
    for (const outcome of outcomes) {
        if (outcome.points && !unchanged(shape, outcome.target)) {
            delete outcome.points;
            outcome.reason = "the pick was changed meanwhile";
        }
    }
    return outcomes.filter((o) => o.points);
}

// The edit (for ShapeDocument.change) that moves the picks of successful outcomes of shape name.
export function applyEdit(name, outcomes) {
    return (shapes) => {
        for (const {target, points} of outcomes) {
            target.paths.forEach((path, i) =>
                edits.movePick(shapes, name, target.camera, path, points[i][0], points[i][1]));
        }
    };
}

const px = (value) => value.toFixed(2);

// How one outcome moved its picks: "1.84 px" or "1.20 and 0.85 px".
function moved(outcome) {
    return `${outcome.movement.map(px).join(" and ")} px`;
}

// The status message of snapping shape name: {text, kind} with kind "info", "warn" (some
// refused) or "error" (all refused).
export function summary(name, outcomes) {
    const done = outcomes.filter((o) => o.points);
    const refused = outcomes.filter((o) => !o.points);
    const where = (o) => o.target.camera || "";
    if (outcomes.length === 1) {
        const o = outcomes[0];
        if (o.points) {
            return {text: `${name}: snapped ${moved(o)} (support ${px(o.support)}) in ${where(o)}`,
                    kind: "info"};
        }
        const place = where(o) ? ` in ${where(o)}` : "";
        return {text: `${name}${place} not snapped: ${o.reason}; the pick stays as clicked`,
                kind: "error"};
    }
    if (outcomes.length === 0) {
        return {text: `${name} has no picks to snap`, kind: "error"};
    }
    let text = `${name}: snapped ${done.length} of ${outcomes.length}`;
    if (done.length > 0) {
        const largest = Math.max(...done.flatMap((o) => o.movement));
        const weakest = Math.min(...done.map((o) => o.support));
        text += `, moved up to ${px(largest)} px, support ${px(weakest)} or more`;
    }
    if (refused.length > 0) {
        text += `; not snapped (as clicked): ${
            refused.map((o) => (where(o) ? `${where(o)}: ${o.reason}` : o.reason)).join("; ")}`;
    }
    return {text, kind: done.length === 0 ? "error" : refused.length > 0 ? "warn" : "info"};
}
