// The scene document being edited: its shapes (including ones not picked yet), the rules for
// where each kind of shape keeps its picks, and the one undo stack every change goes through.
//
// Shapes are kept as the scene file spells them, except that picks may be incomplete while a
// person is picking: a segment or line with one end in a photo, a cylinder edge with one point,
// a curve with one pick. toSceneDocument() leaves those out, so the server only sees valid input.

export const KINDS = ["point", "segment", "line", "cylinder", "plane", "curve"];

const UNDO_LIMIT = 300;

const copy = (value) => JSON.parse(JSON.stringify(value));

// Every pick of a shape in one camera as {path, x, y}; path addresses it for movePick/removePick:
// [] for a point, [i] for a segment/line end or curve pick, [edge, i] for a cylinder edge point.
export function picksIn(shape, camera) {
    const picks = shape.picks && shape.picks[camera];
    if (!picks) {
        return [];
    }
    switch (shape.kind) {
        case "point":
            return [{path: [], x: picks[0], y: picks[1]}];
        case "cylinder":
            return picks.flatMap((edge, e) =>
                (edge || []).map((p, i) => ({path: [e, i], x: p[0], y: p[1]})));
        case "segment":
        case "line":
        case "curve":
            return picks.map((p, i) => ({path: [i], x: p[0], y: p[1]}));
        default:
            return [];
    }
}

// The cameras in which a shape has picks, in the order of its picks object.
export function camerasOf(shape) {
    return Object.keys(shape.picks || {});
}

// Sets the pick at path (as picksIn gives it) to (x, y).
function setPick(shape, camera, path, x, y) {
    if (shape.kind === "point") {
        shape.picks[camera] = [x, y];
    } else if (shape.kind === "cylinder") {
        shape.picks[camera][path[0]][path[1]] = [x, y];
    } else {
        shape.picks[camera][path[0]] = [x, y];
    }
}

// Removes the pick at path; a camera left with nothing is removed from the picks.
function deletePick(shape, camera, path) {
    const picks = shape.picks[camera];
    if (shape.kind === "point") {
        delete shape.picks[camera];
        return;
    }
    if (shape.kind === "cylinder") {
        const edge = picks[path[0]];
        edge.splice(path[1], 1);
        if (edge.length === 0) {
            picks[path[0]] = null;
        }
        if (!picks[0] && !picks[1]) {
            delete shape.picks[camera];
        }
        return;
    }
    picks.splice(path[0], 1);
    if (picks.length === 0) {
        delete shape.picks[camera];
    }
}

// The shape as the scene file may hold it, or null when nothing of it is complete yet
// (the scene reader refuses empty pick lists). names: the point shapes that will be sent.
function completeShape(shape, names) {
    const out = copy(shape);
    if (shape.kind === "plane") {
        out.points = (shape.points || []).filter((p) => typeof p !== "string" || names.has(p));
        return out.points.length >= 3 ? out : null;
    }
    const picks = {};
    for (const [camera, value] of Object.entries(shape.picks || {})) {
        if (shape.kind === "point") {
            picks[camera] = value;
        } else if (shape.kind === "cylinder") {
            const edges = value.map((edge) => (edge && edge.length === 2 ? edge : null));
            if (edges[0] || edges[1]) {
                picks[camera] = edges;
            }
        } else if (value.length >= 2) {
            // A segment or line needs both ends; a curve two picks or more.
            picks[camera] = shape.kind === "curve" ? value : value.slice(0, 2);
        }
    }
    if (Object.keys(picks).length === 0) {
        return null;
    }
    out.picks = picks;
    return out;
}

// Why a shape is left out of the document sent to the server, or "" when it is sent.
export function incompleteReason(shape) {
    if (shape.kind === "plane") {
        const count = (shape.points || []).length;
        return count === 0 ? "not picked yet: tick its points in the list"
                           : `${count} point${count === 1 ? "" : "s"} ticked; a plane needs three`;
    }
    return "not picked yet";
}

// The edited scene with its undo history. listeners receive (reason) after every change.
export class ShapeDocument {
    // scene: the session's document (cameras and everything else are kept as given).
    constructor(scene) {
        this.base = copy(scene);
        this.shapes = copy(scene.shapes || []);
        delete this.base.shapes;
        this.undoStack = [];
        this.redoStack = [];
        this.listeners = [];
        this.liveStart = null;  // snapshot taken when a drag began
        this.savedState = JSON.stringify(this.shapes);
    }

    // Registers fn(reason) to run after every change, undo and redo.
    onChange(fn) {
        this.listeners.push(fn);
    }

    notify(reason) {
        for (const fn of this.listeners) {
            fn(reason);
        }
    }

    // The shape of that name, or undefined.
    shape(name) {
        return this.shapes.find((s) => s.name === name);
    }

    // Applies edit(shapes) as one undoable step. edit may throw an Error to refuse the change:
    // then nothing is changed and the error propagates.
    change(edit) {
        const before = JSON.stringify(this.shapes);
        const draft = JSON.parse(before);
        edit(draft);
        this.pushUndo(before);
        this.shapes = draft;
        this.notify("edit");
    }

    pushUndo(state) {
        this.undoStack.push(state);
        if (this.undoStack.length > UNDO_LIMIT) {
            this.undoStack.shift();
        }
        this.redoStack = [];
    }

    // Starts a continuous change (a drag): moves until endLive() form one undo step.
    beginLive() {
        this.liveStart = JSON.stringify(this.shapes);
    }

    // Moves one pick during a live change (not yet an undo step).
    liveMove(name, camera, path, x, y) {
        const shape = this.shape(name);
        if (shape) {
            setPick(shape, camera, path, x, y);
            this.notify("live");
        }
    }

    // Ends the continuous change; records it when anything moved. Returns whether it did.
    endLive() {
        const start = this.liveStart;
        this.liveStart = null;
        if (start === null || start === JSON.stringify(this.shapes)) {
            return false;
        }
        this.pushUndo(start);
        this.notify("edit");
        return true;
    }

    // Undoes the last step; returns false when there is none.
    undo() {
        return this.step(this.undoStack, this.redoStack, "undo");
    }

    // Redoes the last undone step; returns false when there is none.
    redo() {
        return this.step(this.redoStack, this.undoStack, "redo");
    }

    // One step through the history: the shapes now go onto `to` and the top of `from` becomes
    // the shapes; false when `from` is empty.
    step(from, to, event) {
        if (from.length === 0) {
            return false;
        }
        to.push(JSON.stringify(this.shapes));
        this.shapes = JSON.parse(from.pop());
        this.notify(event);
        return true;
    }

    // A name for a new shape of kind: kind_1, kind_2, ... (the first not taken).
    nextName(kind) {
        for (let n = 1; ; n += 1) {
            if (!this.shape(`${kind}_${n}`)) {
                return `${kind}_${n}`;
            }
        }
    }

    // The scene to send to the server: every complete shape, in the list's order.
    toSceneDocument() {
        const sent = [];
        const pointNames = new Set();
        // Points first decide which names planes may refer to.
        for (const shape of this.shapes) {
            if (shape.kind === "point" && completeShape(shape, pointNames)) {
                pointNames.add(shape.name);
            }
        }
        for (const shape of this.shapes) {
            const complete = completeShape(shape, pointNames);
            if (complete) {
                sent.push(complete);
            }
        }
        return {...copy(this.base), shapes: sent};
    }

    // Whether the shapes differ from the last save (or the session's start).
    isDirty() {
        return JSON.stringify(this.shapes) !== this.savedState;
    }

    // Records the current shapes as saved.
    markSaved() {
        this.savedState = JSON.stringify(this.shapes);
    }
}

// Edits usable inside ShapeDocument.change(); each takes the draft shapes array.
export const edits = {
    // Moves the pick at path of shape name in camera to (x, y).
    movePick(shapes, name, camera, path, x, y) {
        setPick(find(shapes, name), camera, path, x, y);
    },

    // Removes the pick at path.
    removePick(shapes, name, camera, path) {
        deletePick(find(shapes, name), camera, path);
    },

    // Removes shapes by name, and their names from planes' point lists.
    removeShapes(shapes, names) {
        const gone = new Set(names);
        for (let i = shapes.length - 1; i >= 0; i -= 1) {
            if (gone.has(shapes[i].name)) {
                shapes.splice(i, 1);
            }
        }
        for (const shape of shapes) {
            if (shape.kind === "plane") {
                shape.points = (shape.points || []).filter((p) => !gone.has(p));
            }
        }
    },

    // Renames a shape (and its uses in planes). Throws when the new name is empty or taken.
    rename(shapes, from, to) {
        if (to === "") {
            throw new Error("a shape needs a name");
        }
        if (to !== from && shapes.some((s) => s.name === to)) {
            throw new Error(`there is already a shape called "${to}"`);
        }
        find(shapes, from).name = to;
        for (const shape of shapes) {
            if (shape.kind === "plane") {
                shape.points = (shape.points || []).map((p) => (p === from ? to : p));
            }
        }
    },
};

function find(shapes, name) {
    const shape = shapes.find((s) => s.name === name);
    if (!shape) {
        throw new Error(`no shape called "${name}"`);
    }
    return shape;
}
