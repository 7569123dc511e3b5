// Picking modes: which shape is being picked and what a click in a photo does to it.
//
//   point     one click per photo; a second click in the same photo moves it
//   segment,  two clicks per photo (its two ends); a third click starts the pair again
//   line
//   cylinder  two silhouette edges per photo, two clicks each; E skips to the second edge
//   plane     no clicks in photos: its points are ticked in the list
//   curve     several clicks in one photo
//
// Every change goes through the document's undo stack.

// A message for the status line: {text, error}; a click's message also says where its new pick
// went (placed: its path, as picksIn gives it).
const info = (text, placed) => (placed ? {text, error: false, placed} : {text, error: false});
const refusal = (text) => ({text, error: true});

export class Picker {
    // doc: the ShapeDocument; onChange() runs when the mode changes.
    constructor(doc, onChange) {
        this.doc = doc;
        this.onChange = onChange;
        this.active = null;  // {name, kind, edge: {camera: 0 | 1}}
    }

    // The shape being picked, or null (also when it was undone away).
    activeShape() {
        if (!this.active) {
            return null;
        }
        const shape = this.doc.shape(this.active.name);
        if (!shape || shape.kind !== this.active.kind) {
            this.active = null;
            return null;
        }
        return shape;
    }

    // Creates a new shape of kind and starts picking it.
    start(kind) {
        const name = this.doc.nextName(kind);
        const shape = kind === "plane" ? {name, kind, points: []} : {name, kind, picks: {}};
        this.doc.change((shapes) => shapes.push(shape));
        this.active = {name, kind, edge: {}};
        this.onChange();
        return info(startHint(kind, name));
    }

    // Picks an existing shape further.
    resume(name) {
        const shape = this.doc.shape(name);
        if (!shape) {
            return refusal(`no shape called "${name}"`);
        }
        this.active = {name, kind: shape.kind, edge: {}};
        this.onChange();
        return info(startHint(shape.kind, name));
    }

    // Ends picking (the shape stays as picked).
    finish() {
        const shape = this.activeShape();
        this.active = null;
        this.onChange();
        return shape ? info(`finished ${shape.name}`) : null;
    }

    // Escape: drops the half-done pick of the shown photo (a segment's first end, a cylinder
    // edge's first point, a curve's last pick); with none, leaves the mode, and a new shape that
    // got no picks at all goes away.
    cancel(camera) {
        const shape = this.activeShape();
        if (!shape) {
            return null;
        }
        const half = camera && halfPick(shape, camera);
        if (half) {
            this.doc.change((shapes) => {
                const draft = shapes.find((s) => s.name === shape.name);
                half(draft);
            });
            return info("cancelled the last pick");
        }
        this.active = null;
        const empty = shape.kind === "plane" ? (shape.points || []).length === 0
                                             : Object.keys(shape.picks || {}).length === 0;
        if (empty) {
            this.doc.change((shapes) => shapes.splice(shapes.findIndex((s) => s.name === shape.name), 1));
        }
        this.onChange();
        return info(empty ? `cancelled ${shape.name}` : `stopped picking ${shape.name}`);
    }

    // E: a cylinder's next clicks in camera go to its other edge.
    nextEdge(camera) {
        const shape = this.activeShape();
        if (!shape || shape.kind !== "cylinder") {
            return refusal("E switches edges while a cylinder is being picked");
        }
        const edge = 1 - (this.active.edge[camera] || 0);
        this.active.edge[camera] = edge;
        this.onChange();
        return info(`${shape.name}: now picking edge ${edge + 1} in ${camera}`);
    }

    // The edge (0 or 1) the next cylinder click in camera goes to.
    currentEdge(camera) {
        return (this.active && this.active.edge[camera]) || 0;
    }

    // A click at photo pixel (x, y) in camera; returns a status message (with the new pick's
    // path as placed).
    click(camera, x, y) {
        const shape = this.activeShape();
        if (!shape) {
            return null;
        }
        const name = shape.name;
        const onShape = (edit) =>
            this.doc.change((shapes) => edit(shapes.find((s) => s.name === name)));
        const picks = (shape.picks && shape.picks[camera]) || null;
        switch (shape.kind) {
            case "point":
                onShape((s) => (s.picks[camera] = [x, y]));
                return info(`${name} ${picks ? "moved" : "picked"} in ${camera}`, []);
            case "segment":
            case "line": {
                const restart = !picks || picks.length >= 2;
                onShape((s) => (s.picks[camera] = restart ? [[x, y]] : [...picks, [x, y]]));
                if (picks && picks.length >= 2) {
                    return info(`${name}: new first end in ${camera} (click its second end)`, [0]);
                }
                return info(restart ? `${name}: first end in ${camera}, now the second`
                                    : `${name}: both ends picked in ${camera}`,
                            [restart ? 0 : 1]);
            }
            case "cylinder":
                return this.clickCylinder(shape, camera, x, y, onShape);
            case "curve": {
                const other = Object.keys(shape.picks).find((c) => c !== camera);
                if (other) {
                    return refusal(`${name} is picked in ${other}: a curve lies in one photo`);
                }
                onShape((s) => (s.picks[camera] = [...(picks || []), [x, y]]));
                const count = (picks ? picks.length : 0) + 1;
                return info(`${name}: ${count} pick${count > 1 ? "s" : ""} (Enter ends the curve)`,
                            [count - 1]);
            }
            case "plane":
                return refusal("a plane is made of measured points: tick them in the list");
            default:
                return null;
        }
    }

    clickCylinder(shape, camera, x, y, onShape) {
        const edges = (shape.picks[camera] || [null, null]).map((e) => (e ? [...e] : null));
        let edge = this.currentEdge(camera);
        if (edges[edge] && edges[edge].length >= 2) {
            edge = 1 - edge;
        }
        if (edges[edge] && edges[edge].length >= 2) {
            return refusal(`both edges of ${shape.name} are picked in ${camera}: drag a pick ` +
                           "to move it, or select it and press Delete");
        }
        edges[edge] = [...(edges[edge] || []), [x, y]];
        onShape((s) => (s.picks[camera] = edges));
        const done = edges[edge].length === 2;
        this.active.edge[camera] = done ? 1 - edge : edge;
        const placed = [edge, edges[edge].length - 1];
        if (!done) {
            return info(`${shape.name}: edge ${edge + 1} started in ${camera}, click its other end`,
                        placed);
        }
        return info(`${shape.name}: edge ${edge + 1} picked in ${camera}` +
                    (edges[1 - edge] && edges[1 - edge].length === 2 ? ""
                                                                     : `, now edge ${2 - edge}`),
                    placed);
    }

    // Ticks or unticks a point shape as a member of the active (or given) plane.
    togglePlaneMember(planeName, pointName, member) {
        this.doc.change((shapes) => {
            const plane = shapes.find((s) => s.name === planeName);
            const points = (plane.points || []).filter((p) => p !== pointName);
            plane.points = member ? [...points, pointName] : points;
        });
    }
}

// The edit that removes the half-done pick of shape in camera, or null when there is none.
function halfPick(shape, camera) {
    const picks = shape.picks && shape.picks[camera];
    if (!picks) {
        return null;
    }
    if ((shape.kind === "segment" || shape.kind === "line") && picks.length === 1) {
        return (s) => delete s.picks[camera];
    }
    if (shape.kind === "cylinder") {
        const e = picks.findIndex((edge) => edge && edge.length === 1);
        if (e >= 0) {
            return (s) => {
                s.picks[camera][e] = null;
                if (!s.picks[camera][1 - e]) {
                    delete s.picks[camera];
                }
            };
        }
    }
    if (shape.kind === "curve") {
        return (s) => {
            s.picks[camera].pop();
            if (s.picks[camera].length === 0) {
                delete s.picks[camera];
            }
        };
    }
    return null;
}

function startHint(kind, name) {
    const hints = {
        point: "click the point in each photo ([ and ] change photo)",
        segment: "click its two ends in each photo",
        line: "click two points on the line in each photo",
        cylinder: "click two points along each silhouette edge in each photo (E: other edge)",
        plane: "tick its measured points in the list",
        curve: "click along the curve in one photo, Enter when done",
    };
    return `${name}: ${hints[kind]}; Enter finishes, Escape cancels`;
}
