// The list of shapes (#shapes): each shape's numbers from the report, its residual per photo,
// why it was not measured, renaming, selection and the angle between two selected shapes.

import {residualClass} from "./overlay.js";
import {incompleteReason} from "./shapes.js";

// Decimals shown for coordinates in the scene's units (data-value keeps full precision).
const DECIMALS = {m: 4, dm: 3, cm: 2, mm: 1, in: 3, ft: 4};

// The numbers shown for each kind: [key, where in the report's result, what it is].
const VALUES = {
    point: [["point", "point", "length"]],
    line: [["point", "point_nearest_origin", "length"], ["direction", "direction", "unit"]],
    segment: [["start", "start", "length"], ["end", "end", "length"],
              ["length", "length", "length"], ["direction", "direction", "unit"]],
    cylinder: [["start", "start", "length"], ["end", "end", "length"],
               ["radius", "radius", "length"], ["length", "length", "length"],
               ["direction", "direction", "unit"]],
    plane: [["plane", "coefficients", "plane"], ["rms", "rms_distance", "length"]],
    curve: [["samples", "sample_count", "count"]],
};

// The direction of a measured shape (a unit vector) or null: a line's, segment's or cylinder's
// axis direction, or a plane's normal. isNormal tells which.
export function directionOf(entry) {
    const result = entry && entry.status === "measured" ? entry.result : null;
    if (!result) {
        return null;
    }
    const v = entry.kind === "plane" ? (result.coefficients || []).slice(0, 3) : result.direction;
    if (!Array.isArray(v) || v.length !== 3) {
        return null;
    }
    const norm = Math.hypot(...v);
    return norm > 0 ? {v: v.map((c) => c / norm), isNormal: entry.kind === "plane"} : null;
}

// The angle in degrees (0..90) between two shapes' directions: between two axes, the acute
// angle; between two planes, that of their normals; between an axis and a plane, the axis's
// angle to the plane (90 minus its angle to the normal). null when either has no direction.
export function angleBetween(a, b) {
    const da = directionOf(a);
    const db = directionOf(b);
    if (!da || !db) {
        return null;
    }
    const dot = Math.min(1, Math.abs(da.v[0] * db.v[0] + da.v[1] * db.v[1] + da.v[2] * db.v[2]));
    const degrees = (Math.acos(dot) * 180) / Math.PI;
    return da.isNormal !== db.isNormal ? 90 - degrees : degrees;
}

// The root mean square of the residuals in use (not left out), or null.
function rmsResidual(entry) {
    const pixels = (entry.residuals || [])
                       .filter((r) => !r.left_out && Number.isFinite(r.pixels))
                       .map((r) => r.pixels);
    if (pixels.length === 0) {
        return null;
    }
    return Math.sqrt(pixels.reduce((sum, p) => sum + p * p, 0) / pixels.length);
}

export class ShapeList {
    // ul: #shapes; handlers: {select(name, additive), rename(from, to), resume(name),
    // toggleMember(plane, point, ticked)}.
    constructor(ul, handlers) {
        this.ul = ul;
        this.handlers = handlers;
        this.renaming = null;  // the name being edited; the list is not redrawn meanwhile
        this.pending = null;   // the last render asked for while renaming
    }

    // Redraws the list. state: {shapes, report byName (Map), units, selected (Set), active,
    // planeEditing (the plane whose point checkboxes are shown, or null)}.
    render(state) {
        if (this.renaming) {
            this.pending = state;
            return;
        }
        const digits = DECIMALS[state.units] ?? 4;
        const plane = state.planeEditing && state.shapes.find((s) => s.name === state.planeEditing);
        const members = new Set(plane ? plane.points || [] : []);
        const items = state.shapes.map((shape) =>
            this.item(shape, state.byName.get(shape.name), state, digits,
                      plane && shape.kind === "point" ? members.has(shape.name) : null));
        if (items.length === 0) {
            const empty = document.createElement("li");
            empty.className = "empty";
            empty.textContent = "No shapes yet: start one with the buttons above (P, S, L, C, F, U).";
            items.push(empty);
        }
        this.ul.replaceChildren(...items);
    }

    // Marks the selected and the active shape without redrawing the list (a redraw between the
    // two clicks of a double-click would swallow it).
    updateSelection(selected, active) {
        for (const li of this.ul.querySelectorAll("li.shape")) {
            li.classList.toggle("selected", selected.has(li.dataset.name));
            li.classList.toggle("active", active === li.dataset.name);
        }
    }

    item(shape, entry, state, digits, member) {
        const li = document.createElement("li");
        li.className = "shape";
        li.dataset.name = shape.name;
        li.dataset.kind = shape.kind;
        li.dataset.ok = String(Boolean(entry && entry.status === "measured"));
        li.classList.toggle("selected", state.selected.has(shape.name));
        li.classList.toggle("active", state.active === shape.name);

        const head = document.createElement("div");
        head.className = "shape-head";
        if (member !== null) {
            const box = document.createElement("input");
            box.type = "checkbox";
            box.className = "plane-member";
            box.dataset.name = shape.name;
            box.checked = member;
            box.title = `use ${shape.name} in ${state.planeEditing}`;
            box.addEventListener("click", (event) => event.stopPropagation());
            box.addEventListener("change", () =>
                this.handlers.toggleMember(state.planeEditing, shape.name, box.checked));
            head.append(box);
        }
        const name = document.createElement("span");
        name.className = "name";
        name.textContent = shape.name;
        name.title = "double-click to rename";
        name.addEventListener("dblclick", (event) => {
            event.stopPropagation();
            this.startRename(name, shape.name);
        });
        const kind = document.createElement("span");
        kind.className = "kind";
        kind.textContent = shape.kind;
        const more = document.createElement("button");
        more.className = "pick-more";
        more.type = "button";
        more.textContent = shape.kind === "plane" ? "points" : "pick";
        more.title = shape.kind === "plane" ? "choose this plane's points" : "pick this shape further";
        more.addEventListener("click", (event) => {
            event.stopPropagation();
            this.handlers.resume(shape.name);
        });
        head.append(name, kind, more);
        li.append(head);

        if (!entry) {
            li.append(textDiv("reason", incompleteReason(shape)));
        } else if (entry.status !== "measured") {
            li.append(textDiv("reason", entry.reason || "not measured"));
        } else {
            li.append(this.values(shape.kind, entry, digits, state.units));
        }
        if (entry) {
            const residuals = this.residuals(entry);
            if (residuals) {
                li.append(residuals);
            }
            for (const note of entry.notes || []) {
                li.append(textDiv("note", note));
            }
        }
        li.addEventListener("click", (event) =>
            this.handlers.select(shape.name, event.ctrlKey || event.metaKey));
        return li;
    }

    values(kind, entry, digits, units) {
        const box = document.createElement("div");
        box.className = "values";
        const result = entry.result || {};
        const shown = [...(VALUES[kind] || [])];
        const rms = rmsResidual(entry);
        if (kind !== "plane" && rms !== null) {
            shown.push(["rms", null, "pixels"]);
        }
        for (const [key, field, what] of shown) {
            const value = field === null ? rms : result[field];
            if (value === undefined || value === null) {
                continue;
            }
            const span = document.createElement("span");
            span.className = "value";
            span.dataset.key = key;
            span.dataset.value = JSON.stringify(value);
            span.textContent = `${key} ${format(value, what, digits, units)}`;
            box.append(span);
        }
        return box;
    }

    residuals(entry) {
        if (!entry.residuals || entry.residuals.length === 0) {
            return null;
        }
        const box = document.createElement("div");
        box.className = "residuals";
        for (const r of entry.residuals) {
            const span = document.createElement("span");
            span.className = `res ${residualClass(r.pixels)}${r.left_out ? " left-out" : ""}`;
            span.dataset.camera = r.camera;
            span.dataset.pixels = r.pixels === null ? "null" : r.pixels;
            span.textContent = `${r.camera} ${r.pixels === null ? "n/a" : r.pixels.toFixed(2)}`;
            span.title = r.left_out ? "left out as an outlier" : r.note || "residual in pixels";
            box.append(span);
        }
        return box;
    }

    // Replaces a name by an input; Enter or leaving the field renames, Escape keeps the name.
    startRename(span, from) {
        this.renaming = from;
        const input = document.createElement("input");
        input.className = "rename";
        input.value = from;
        input.setAttribute("aria-label", `new name for ${from}`);
        let done = false;
        const finish = (commit) => {
            if (done) {
                return;
            }
            done = true;
            this.renaming = null;
            const to = input.value.trim();
            if (commit && to !== from) {
                this.handlers.rename(from, to);
            }
            if (this.pending) {
                const state = this.pending;
                this.pending = null;
                this.render(state);
            }
        };
        input.addEventListener("keydown", (event) => {
            event.stopPropagation();
            if (event.key === "Enter") {
                finish(true);
            } else if (event.key === "Escape") {
                finish(false);
            }
        });
        input.addEventListener("blur", () => finish(true));
        input.addEventListener("click", (event) => event.stopPropagation());
        span.replaceWith(input);
        input.focus();
        input.select();
    }
}

function textDiv(className, text) {
    const div = document.createElement("div");
    div.className = className;
    div.textContent = text;
    return div;
}

// A number or vector as shown: lengths with the unit's decimals, directions with 4.
function format(value, what, digits, units) {
    const number = (x, d) => (Number.isFinite(x) ? x.toFixed(d) : String(x));
    switch (what) {
        case "length":
            return Array.isArray(value) ? `(${value.map((x) => number(x, digits)).join(", ")}) ${units}`
                                        : `${number(value, digits)} ${units}`;
        case "unit":
            return `(${value.map((x) => number(x, 4)).join(", ")})`;
        case "plane":
            return `${value.slice(0, 3).map((x) => number(x, 4)).join(" ")} ${number(value[3], digits)}`;
        case "pixels":
            return `${number(value, 2)} px`;
        default:
            return String(value);
    }
}
