// The workbench page: loads the session, wires the photo view, the picking modes, the shape
// list, the toolbar and the keyboard together, and keeps the report in step with the document.

import {Api, ApiError, BusyTracker} from "./api.js";
import {drawOverlay, drawThumbOverlay, reportByName} from "./overlay.js";
import {angleBetween, ShapeList} from "./list.js";
import {Picker} from "./picking.js";
import {edits, KINDS, picksIn, ShapeDocument} from "./shapes.js";
import {applyEdit, snapAll, stillValid, summary, targetOf, targetsOf} from "./snap.js";
import {PhotoView, placeholder} from "./view.js";

const $ = (selector) => document.querySelector(selector);

// Wait after the last change before measuring (ms); quicker edits are measured together.
const MEASURE_DELAY = 150;
// How near (screen pixels) a press must be to a pick to grab it.
const HIT_RADIUS = 8;
// Height of the strip's thumbnails (CSS pixels).
const THUMB_HEIGHT = 72;

const KIND_KEYS = {p: "point", s: "segment", l: "line", c: "cylinder", f: "plane", u: "curve"};
// Where the "snap new picks" choice is kept between visits.
const SNAP_NEW_KEY = "polyview-workbench.snap-new";

// The status line: one message at a time, errors marked. A held message (a snap's outcome) is
// not replaced by the measurement's follow-up notes, only by the next action's message.
class Status {
    constructor(element) {
        this.element = element;
        this.held = false;
    }

    // Shows text; kind is "info", "warn" or "error"; hold keeps it over later follow-up notes.
    show(text, kind = "info", hold = false) {
        this.held = hold;
        this.element.textContent = text;
        this.element.classList.toggle("error", kind === "error");
        this.element.classList.toggle("warn", kind === "warn");
    }

    // Shows a follow-up note unless a held message is showing.
    note(text, kind = "info") {
        if (!this.held) {
            this.show(text, kind);
        }
    }

    // Shows a {text, error} message from the picker (nothing for null).
    message(message) {
        if (message) {
            this.show(message.text, message.error ? "error" : "info");
        }
    }

    error(text) {
        this.show(text, "error");
    }
}

class Workbench {
    constructor(api, busy, status, session) {
        this.api = api;
        this.busy = busy;
        this.status = status;
        this.file = session.file;
        this.version = session.version;
        this.cameras = session.cameras || [];
        this.report = session.report;
        this.units = (session.document && session.document.units) || "m";
        this.doc = new ShapeDocument(session.document || {});
        this.picker = new Picker(this.doc, () => this.renderAll());
        this.current = 0;            // index of the camera shown
        this.selected = [];          // selected shape names, in the order chosen
        this.selectedPick = null;    // {name, camera, path}
        this.lastEdited = null;      // the shape whose measurement outcome is reported
        this.epipolar = new Map();   // "camera|x|y" -> lines, or null while asked
        this.measureSeq = 0;
        this.measureTimer = null;
        this.measurePending = false;
        this.drag = null;            // {kind: "pan"|"pick", ...}
        this.spaceHeld = false;
        this.snapNew = readSnapNew();  // snap each new pick as it is placed

        this.view = new PhotoView($("#photo-view"), () => this.renderOverlay());
        this.list = new ShapeList($("#shapes"), {
            select: (name, additive) => this.selectFromList(name, additive),
            rename: (from, to) => this.rename(from, to),
            resume: (name) => this.status.message(this.picker.resume(name)),
            toggleMember: (plane, point, ticked) => this.toggleMember(plane, point, ticked),
        });
        this.doc.onChange((reason) => this.documentChanged(reason));

        $("#file-name").textContent = this.file;
        this.buildStrip();
        this.wireToolbar();
        this.wireView();
        this.wireKeys();
        if (this.cameras.length === 0) {
            this.status.error("this scene has no cameras: there is no photo to pick in");
        } else {
            this.showCamera(0);
        }
        this.renderAll();
        const summary = this.report && this.report.summary;
        if (summary) {
            this.status.show(`${this.file}: ${summary.measured} of ${summary.shapes} shapes ` +
                             `measured. Press ? for the shortcuts.`);
        }
    }

    camera() {
        return this.cameras[this.current] || null;
    }

    // ---- photos -------------------------------------------------------------------------

    buildStrip() {
        const strip = $("#strip");
        strip.replaceChildren();
        this.cameras.forEach((camera, index) => {
            const thumb = document.createElement("button");
            thumb.type = "button";
            thumb.className = "thumb";
            thumb.dataset.camera = camera.id;
            thumb.title = `${camera.id} (${camera.width} x ${camera.height})`;
            const frame = document.createElement("div");
            frame.className = "thumb-frame";
            frame.style.width = `${(THUMB_HEIGHT * camera.width) / camera.height}px`;
            frame.style.height = `${THUMB_HEIGHT}px`;
            if (camera.photo) {
                const img = document.createElement("img");
                img.className = "thumb-photo";
                img.loading = "lazy";
                img.alt = camera.id;
                img.src = camera.photo;
                frame.append(img);
            } else {
                frame.append(placeholder(camera, "thumb-photo"));
            }
            const overlay = document.createElementNS("http://www.w3.org/2000/svg", "svg");
            overlay.classList.add("thumb-overlay");
            overlay.setAttribute("viewBox", `0 0 ${camera.width} ${camera.height}`);
            overlay.setAttribute("preserveAspectRatio", "none");
            frame.append(overlay);
            const caption = document.createElement("span");
            caption.className = "thumb-caption";
            caption.textContent = camera.id;
            thumb.append(frame, caption);
            thumb.addEventListener("click", () => {
                thumb.blur();
                this.showCamera(index);
            });
            strip.append(thumb);
        });
    }

    // Shows camera index in the large view.
    showCamera(index) {
        if (this.cameras.length === 0) {
            return;
        }
        this.current = (index + this.cameras.length) % this.cameras.length;
        const camera = this.camera();
        $("#camera-name").textContent =
            `${camera.id}  ${camera.width} x ${camera.height}${camera.lens ? "  lens" : ""}`;
        this.view.show(camera, (c) =>
            this.status.error(`the photo of ${c.id} could not be loaded`));
        for (const thumb of document.querySelectorAll(".thumb")) {
            const isCurrent = thumb.dataset.camera === camera.id;
            thumb.classList.toggle("current", isCurrent);
            if (isCurrent) {
                thumb.scrollIntoView({block: "nearest", inline: "nearest"});
            }
        }
        this.renderOverlay();
    }

    // ---- rendering ----------------------------------------------------------------------

    renderAll() {
        this.renderToolbar();
        this.renderList();
        this.renderOverlay();
        this.renderThumbs();
    }

    renderToolbar() {
        const active = this.picker.activeShape();
        for (const kind of KINDS) {
            $(`#new-${kind}`).classList.toggle("active", Boolean(active && active.kind === kind));
        }
        $("#finish").disabled = !active;
        $("#next-edge").hidden = !(active && active.kind === "cylinder");
        $("#undo").disabled = this.doc.undoStack.length === 0;
        $("#redo").disabled = this.doc.redoStack.length === 0;
        const camera = this.camera();
        let mode = "no shape being picked";
        if (active) {
            mode = `picking ${active.name} (${active.kind})`;
            if (active.kind === "cylinder" && camera) {
                mode += `, edge ${this.picker.currentEdge(camera.id) + 1}`;
            }
        }
        $("#mode-readout").textContent = mode;
        document.title = `${this.doc.isDirty() ? "* " : ""}${this.file} - Polyview workbench`;
    }

    renderList() {
        const active = this.picker.activeShape();
        this.list.render({
            shapes: this.doc.shapes,
            byName: reportByName(this.report),
            units: this.units,
            selected: new Set(this.selected),
            active: active ? active.name : null,
            planeEditing: active && active.kind === "plane" ? active.name : null,
        });
        // Keep the shape being picked (or the one just selected) in sight.
        const focus = active ? active.name : this.selected[this.selected.length - 1];
        const item = focus && $(`li.shape[data-name="${CSS.escape(focus)}"]`);
        if (item) {
            item.scrollIntoView({block: "nearest"});
        }
        this.renderAngle();
    }

    renderAngle() {
        const angle = $("#angle");
        if (this.selected.length !== 2) {
            angle.hidden = true;
            angle.textContent = "";
            delete angle.dataset.value;
            return;
        }
        const byName = reportByName(this.report);
        const [a, b] = this.selected;
        const degrees = angleBetween(byName.get(a), byName.get(b));
        angle.hidden = false;
        angle.dataset.shapes = `${a},${b}`;
        if (degrees === null) {
            delete angle.dataset.value;
            angle.textContent = `no angle between ${a} and ${b}: each must be a measured line, ` +
                                "segment, cylinder or plane";
        } else {
            angle.dataset.value = String(degrees);
            angle.textContent = `angle between ${a} and ${b}: ${degrees.toFixed(3)}°`;
        }
    }

    renderOverlay() {
        const camera = this.camera();
        if (!camera || !this.view.camera) {
            return;
        }
        const active = this.picker.activeShape();
        drawOverlay(this.view.overlay, camera.id, this.view.scale, {
            shapes: this.doc.shapes,
            report: this.report,
            selected: new Set(this.selected),
            active: active ? active.name : null,
            selectedPick: this.selectedPick,
            epipolar: this.guidesFor(camera.id),
            size: {width: camera.width, height: camera.height},
        });
        $("#zoom-readout").textContent = `zoom ${Math.round(this.view.scale * 100)}%`;
    }

    renderThumbs() {
        const shapes = this.guideShapes();
        const active = this.picker.activeShape();
        if (active && !shapes.includes(active)) {
            shapes.push(active);
        }
        for (const camera of this.cameras) {
            const thumb = document.querySelector(`.thumb[data-camera="${CSS.escape(camera.id)}"]`);
            if (thumb) {
                drawThumbOverlay(thumb.querySelector(".thumb-overlay"), camera.id,
                                 THUMB_HEIGHT / camera.height, shapes, this.guidesFor(camera.id));
            }
        }
    }

    // ---- epipolar guides ----------------------------------------------------------------

    // The point shapes whose picks get epipolar guides: the one being picked, else the selected.
    guideShapes() {
        const active = this.picker.activeShape();
        if (active) {
            return active.kind === "point" ? [active] : [];
        }
        return this.selected.map((name) => this.doc.shape(name))
            .filter((shape) => shape && shape.kind === "point")
            .slice(0, 1);
    }

    // The guides drawn in camera: [{from, polylines}] from the cache.
    guidesFor(cameraId) {
        const guides = [];
        for (const shape of this.guideShapes()) {
            for (const from of Object.keys(shape.picks || {})) {
                if (from === cameraId) {
                    continue;
                }
                const [x, y] = shape.picks[from];
                const lines = this.epipolar.get(`${from}|${x}|${y}`);
                const line = lines && lines.find((l) => l.camera === cameraId);
                if (line) {
                    guides.push({from, polylines: line.polylines});
                }
            }
        }
        return guides;
    }

    // Asks the server for the guides not cached yet (never during a drag).
    requestGuides() {
        if (this.drag) {
            return;
        }
        for (const shape of this.guideShapes()) {
            for (const [from, point] of Object.entries(shape.picks || {})) {
                const key = `${from}|${point[0]}|${point[1]}`;
                if (this.epipolar.has(key)) {
                    continue;
                }
                this.epipolar.set(key, null);
                this.api.epipolar(from, point).then(
                    (lines) => {
                        this.epipolar.set(key, lines || []);
                        this.renderOverlay();
                        this.renderThumbs();
                    },
                    (error) => {
                        this.epipolar.delete(key);
                        this.status.error(`epipolar lines: ${error.message}`);
                    });
            }
        }
    }

    // ---- measuring ----------------------------------------------------------------------

    documentChanged(reason) {
        const names = new Set(this.doc.shapes.map((s) => s.name));
        this.selected = this.selected.filter((name) => names.has(name));
        if (this.selectedPick && !this.pickExists(this.selectedPick)) {
            this.selectedPick = null;
        }
        this.scheduleMeasure();
        if (reason === "live") {
            this.renderOverlay();
            return;
        }
        this.picker.activeShape();  // drops a mode whose shape was undone away
        this.renderAll();
        this.requestGuides();
    }

    pickExists(pick) {
        const shape = this.doc.shape(pick.name);
        return Boolean(shape) &&
               picksIn(shape, pick.camera).some((p) => p.path.join() === pick.path.join());
    }

    // Measures the document after a short quiet spell; the latest request wins.
    scheduleMeasure() {
        if (!this.measurePending) {
            this.measurePending = true;
            this.busy.begin();
        }
        clearTimeout(this.measureTimer);
        this.measureTimer = setTimeout(() => {
            this.measureTimer = null;
            this.measure();
        }, MEASURE_DELAY);
    }

    async measure() {
        const seq = ++this.measureSeq;
        try {
            const report = await this.api.measure(this.doc.toSceneDocument());
            if (seq === this.measureSeq) {
                this.report = report;
                this.renderList();
                this.renderOverlay();
                this.reportOutcome();
            }
        } catch (error) {
            if (seq === this.measureSeq) {
                this.status.error(error.message);
            }
        } finally {
            if (seq === this.measureSeq && this.measureTimer === null && this.measurePending) {
                this.measurePending = false;
                this.busy.end();
            }
        }
    }

    // After a measurement: says why the shape just edited could not be measured.
    reportOutcome() {
        const name = this.lastEdited;
        const entry = name && reportByName(this.report).get(name);
        if (entry && entry.status !== "measured" && entry.reason) {
            this.status.note(`${name}: ${entry.reason}`, "error");
        } else if (this.status.element.classList.contains("error") && !this.drag) {
            const counts = this.report.summary || {};
            this.status.note(`${counts.measured} of ${counts.shapes} shapes measured`);
        }
    }

    // ---- editing ------------------------------------------------------------------------

    // Runs a document change, showing a refused change's reason instead of throwing.
    tryChange(edit) {
        try {
            this.doc.change(edit);
            return true;
        } catch (error) {
            this.status.error(error.message);
            return false;
        }
    }

    rename(from, to) {
        if (this.tryChange((shapes) => edits.rename(shapes, from, to))) {
            this.selected = this.selected.map((name) => (name === from ? to : name));
            if (this.picker.active && this.picker.active.name === from) {
                this.picker.active.name = to;
            }
            if (this.lastEdited === from) {
                this.lastEdited = to;
            }
            this.status.show(`renamed ${from} to ${to}`);
            this.renderAll();
        } else {
            this.renderList();
        }
    }

    toggleMember(plane, point, ticked) {
        this.lastEdited = plane;
        this.picker.togglePlaneMember(plane, point, ticked);
        this.status.show(`${plane}: ${ticked ? "uses" : "no longer uses"} ${point}`);
    }

    selectFromList(name, additive) {
        const active = this.picker.activeShape();
        const shape = this.doc.shape(name);
        if (active && active.kind === "plane" && shape && shape.kind === "point" && !additive) {
            const ticked = !(active.points || []).includes(name);
            this.toggleMember(active.name, name, ticked);
            return;
        }
        if (additive) {
            this.selected = this.selected.includes(name)
                                ? this.selected.filter((n) => n !== name)
                                : [...this.selected, name].slice(-2);
        } else {
            this.selected = [name];
        }
        this.selectedPick = null;
        this.showShapeCamera(name);
        this.list.updateSelection(new Set(this.selected), active ? active.name : null);
        this.renderAngle();
        this.renderOverlay();
        this.renderThumbs();
        this.requestGuides();
    }

    // When the shown photo has no pick of the shape, shows the first photo that has one.
    showShapeCamera(name) {
        const shape = this.doc.shape(name);
        const camera = this.camera();
        if (!shape || !shape.picks || !camera || shape.picks[camera.id]) {
            return;
        }
        const first = Object.keys(shape.picks)[0];
        const index = this.cameras.findIndex((c) => c.id === first);
        if (index >= 0) {
            this.showCamera(index);
        }
    }

    deleteSelection() {
        const pick = this.selectedPick;
        if (pick) {
            this.selectedPick = null;
            this.lastEdited = pick.name;
            this.doc.change((shapes) => edits.removePick(shapes, pick.name, pick.camera, pick.path));
            this.status.show(`removed a pick of ${pick.name} in ${pick.camera}`);
            return;
        }
        if (this.selected.length === 0) {
            this.status.error("nothing selected to delete: click a pick or a shape first");
            return;
        }
        const names = this.selected;
        this.selected = [];
        this.doc.change((shapes) => edits.removeShapes(shapes, names));
        this.status.show(`deleted ${names.join(", ")} (Ctrl+Z brings ${
            names.length > 1 ? "them" : "it"} back)`);
    }

    undo() {
        this.status.show(this.doc.undo() ? "undone" : "nothing to undo");
    }

    redo() {
        this.status.show(this.doc.redo() ? "redone" : "nothing to redo");
    }

    // ---- snapping ---------------------------------------------------------------------------

    // N or Snap: snaps the selected pick (with its partner end, for an edge), else every pick of
    // the selected shape (or the one being picked) in every photo; one undo step.
    snap() {
        const pick = this.selectedPick;
        const active = this.picker.activeShape();
        const name = pick ? pick.name
                          : this.selected.length === 1 ? this.selected[0] : active && active.name;
        const shape = name && this.doc.shape(name);
        if (!shape) {
            this.status.error(this.selected.length > 1
                                  ? "select one shape to snap, or a pick of it"
                                  : "nothing to snap: click a pick, or select a shape");
            return;
        }
        const targets = pick ? [targetOf(shape, pick.camera, pick.path)] : targetsOf(shape);
        this.lastEdited = name;
        this.status.show(`snapping ${name}...`);
        this.snapTargets(name, targets);
    }

    // After a click placed a new pick: snaps it (a point) or its completed pair (an edge) when
    // "snap new picks" is on (a refusal is said like the button's). Half-done pairs and curve
    // picks stay as clicked, silently.
    snapPlaced(name, camera, path) {
        const shape = this.doc.shape(name);
        const target = this.snapNew && shape && targetOf(shape, camera, path);
        if (target && !target.refusal) {
            this.snapTargets(name, [target]);
        }
    }

    // Snaps targets of shape name on the server and applies what succeeded as one undo step.
    async snapTargets(name, targets) {
        const outcomes = await snapAll(this.api, targets, (id) => {
            const camera = this.cameras.find((c) => c.id === id);
            return Boolean(camera && camera.photo);
        });
        if (this.drag && this.drag.kind === "pick") {
            for (const outcome of outcomes) {
                delete outcome.points;
                outcome.reason = outcome.reason || "a pick was being dragged meanwhile";
            }
        }
        const valid = stillValid(this.doc.shape(name), outcomes);
        if (valid.length > 0) {
            this.doc.change(applyEdit(name, valid));
        }
        const message = summary(name, outcomes);
        this.status.show(message.text, message.kind, true);
    }

    setSnapNew(on) {
        this.snapNew = on;
        try {
            window.localStorage.setItem(SNAP_NEW_KEY, on ? "1" : "0");
        } catch (_) {
            // storage refused (private mode): the choice lasts for this page only
        }
        this.status.show(on ? "new picks snap to the photo's corners and edges"
                            : "new picks stay where they are clicked");
    }

    startShape(kind) {
        this.selected = [];
        this.selectedPick = null;
        const message = this.picker.start(kind);
        this.lastEdited = this.picker.active.name;
        this.status.message(message);
    }

    // ---- saving and exporting -------------------------------------------------------------

    // Shapes left out of what is sent, for the save and export messages.
    leftOutNote(document) {
        const sent = new Set(document.shapes.map((s) => s.name));
        const left = this.doc.shapes.filter((s) => !sent.has(s.name)).map((s) => s.name);
        return left.length === 0 ? "" : ` (not picked yet, so not included: ${left.join(", ")})`;
    }

    async save() {
        const document = this.doc.toSceneDocument();
        try {
            const answer = await this.api.save(document, this.version);
            this.version = answer.version;
            this.doc.markSaved();
            this.renderToolbar();
            const text = answer.message || `saved ${answer.file || this.file}`;
            this.status.show(text + this.leftOutNote(document),
                             answer.replaced_other ? "warn" : "info");
        } catch (error) {
            this.status.error(`not saved: ${error.message}`);
        }
    }

    async exportReport(format) {
        const document = this.doc.toSceneDocument();
        try {
            const {blob, filename} = await this.api.exportReport(document, format);
            const url = URL.createObjectURL(blob);
            const link = window.document.createElement("a");
            link.href = url;
            link.download = filename;
            window.document.body.append(link);
            link.click();
            link.remove();
            setTimeout(() => URL.revokeObjectURL(url), 10000);
            this.status.show(`exported ${filename}` + this.leftOutNote(document));
        } catch (error) {
            this.status.error(`export failed: ${error.message}`);
        }
    }

    toggleHelp(show) {
        const panel = $("#help-panel");
        panel.hidden = show === undefined ? !panel.hidden : !show;
        $("#help").classList.toggle("active", !panel.hidden);
    }

    // ---- wiring -------------------------------------------------------------------------

    wireToolbar() {
        const on = (selector, action) =>
            $(selector).addEventListener("click", (event) => {
                event.currentTarget.blur();  // keys go to the page, not the button
                action();
            });
        for (const kind of KINDS) {
            on(`#new-${kind}`, () => this.startShape(kind));
        }
        on("#next-edge", () => this.status.message(this.picker.nextEdge(this.camera().id)));
        on("#finish", () => this.status.message(this.picker.finish()));
        on("#undo", () => this.undo());
        on("#redo", () => this.redo());
        on("#save", () => this.save());
        on("#export-json", () => this.exportReport("json"));
        on("#export-csv", () => this.exportReport("csv"));
        on("#fit", () => this.view.camera && this.view.fit());
        on("#snap", () => this.snap());
        const snapNew = $("#snap-new");
        snapNew.checked = this.snapNew;
        snapNew.addEventListener("change", () => {
            snapNew.blur();
            this.setSnapNew(snapNew.checked);
        });
        on("#help", () => this.toggleHelp());
        on("#help-close", () => this.toggleHelp(false));
    }

    // The pick of the shown photo nearest to a screen point, within the hit radius. While a
    // shape is being picked only its own picks can be grabbed (a click near another shape's pick
    // places a new pick); otherwise the selected shapes' picks come first.
    pickAt(clientX, clientY) {
        const camera = this.camera();
        const active = this.picker.activeShape();
        const rank = (shape) => (this.selected.includes(shape.name) ? 0 : 1);
        let best = null;
        for (const shape of active ? [active] : this.doc.shapes) {
            for (const pick of picksIn(shape, camera.id)) {
                const screen = this.view.toScreen(pick.x, pick.y);
                const distance = Math.hypot(screen.x - clientX, screen.y - clientY);
                if (distance > HIT_RADIUS) {
                    continue;
                }
                const score = [rank(shape), distance];
                if (!best || score[0] < best.score[0] ||
                    (score[0] === best.score[0] && score[1] < best.score[1])) {
                    best = {score, name: shape.name, camera: camera.id, path: pick.path};
                }
            }
        }
        return best && {name: best.name, camera: best.camera, path: best.path};
    }

    wireView() {
        const element = $("#photo-view");
        element.addEventListener("contextmenu", (event) => event.preventDefault());
        element.addEventListener("wheel", (event) => {
            event.preventDefault();
            const step = event.deltaMode === 1 ? 0.05 : event.deltaMode === 2 ? 1 : 0.0015;
            this.view.zoomAt(Math.exp(-event.deltaY * step), event.clientX, event.clientY);
        }, {passive: false});

        element.addEventListener("pointerdown", (event) => {
            if (!this.camera() || !this.view.camera) {
                this.status.error("this photo has no camera");
                return;
            }
            const pan = event.button === 1 || event.button === 2 ||
                        (event.button === 0 && this.spaceHeld);
            if (pan) {
                event.preventDefault();
                element.setPointerCapture(event.pointerId);
                this.drag = {kind: "pan", x: event.clientX, y: event.clientY};
                element.classList.add("panning");
                return;
            }
            if (event.button !== 0) {
                return;
            }
            this.pressLeft(event);
        });

        element.addEventListener("pointermove", (event) => {
            this.updateReadout(event);
            const drag = this.drag;
            if (!drag || drag.pointerId !== undefined && drag.pointerId !== event.pointerId) {
                return;
            }
            if (drag.kind === "pan") {
                this.view.panBy(event.clientX - drag.x, event.clientY - drag.y);
                drag.x = event.clientX;
                drag.y = event.clientY;
            } else if (drag.kind === "pick") {
                const camera = this.camera();
                const p = this.view.toPhoto(event.clientX, event.clientY);
                // A dragged pick stays inside its photo.
                const x = Math.min(camera.width, Math.max(0, p.x));
                const y = Math.min(camera.height, Math.max(0, p.y));
                this.doc.liveMove(drag.pick.name, drag.pick.camera, drag.pick.path, x, y);
            }
        });

        const release = () => {
            const drag = this.drag;
            if (!drag) {
                return;
            }
            this.drag = null;
            element.classList.remove("panning", "dragging");
            if (drag.kind === "pick" && this.doc.endLive()) {
                this.status.show(`moved a pick of ${drag.pick.name} in ${drag.pick.camera}`);
            }
        };
        element.addEventListener("pointerup", release);
        element.addEventListener("pointercancel", release);
        element.addEventListener("pointerleave", () => {
            $("#cursor-readout").textContent = "";
        });
    }

    // A left press in the photo: grab a pick under the cursor, else pick in the current mode.
    pressLeft(event) {
        const element = $("#photo-view");
        const camera = this.camera();
        const hit = this.pickAt(event.clientX, event.clientY);
        if (hit) {
            event.preventDefault();
            element.setPointerCapture(event.pointerId);
            this.selectedPick = hit;
            this.lastEdited = hit.name;
            if (!this.selected.includes(hit.name) || this.selected.length !== 1) {
                this.selected = [hit.name];
            }
            this.drag = {kind: "pick", pick: hit, pointerId: event.pointerId};
            element.classList.add("dragging");
            this.doc.beginLive();
            this.renderAll();
            this.status.show(`${hit.name}: pick in ${hit.camera} selected (drag to move, ` +
                             "Delete removes it)");
            return;
        }
        const p = this.view.toPhoto(event.clientX, event.clientY);
        const active = this.picker.activeShape();
        if (!p.inside) {
            this.status.error(`click inside the photo (${camera.id} is ${camera.width} x ${
                camera.height} px)`);
            return;
        }
        if (!active) {
            const hadSelection = this.selected.length > 0 || this.selectedPick;
            this.selected = [];
            this.selectedPick = null;
            if (hadSelection) {
                this.renderAll();
            }
            this.status.show("to pick, start a shape: P point, S segment, L line, C cylinder, " +
                             "F plane, U curve (or pick an existing one from the list)");
            return;
        }
        this.selectedPick = null;
        this.lastEdited = active.name;
        const message = this.picker.click(camera.id, p.x, p.y);
        this.status.message(message);
        if (message && message.placed) {
            this.snapPlaced(active.name, camera.id, message.placed);
        }
    }

    updateReadout(event) {
        if (!this.view.camera) {
            return;
        }
        const p = this.view.toPhoto(event.clientX, event.clientY);
        const readout = $("#cursor-readout");
        readout.textContent = `x ${p.x.toFixed(2)}  y ${p.y.toFixed(2)}`;
        readout.classList.toggle("outside", !p.inside);
    }

    wireKeys() {
        window.addEventListener("keyup", (event) => {
            if (event.key === " ") {
                this.spaceHeld = false;
                $("#photo-view").classList.remove("space-pan");
            }
        });
        window.addEventListener("keydown", (event) => {
            const target = event.target;
            if (target instanceof HTMLInputElement && target.type !== "checkbox" ||
                target instanceof HTMLTextAreaElement) {
                return;  // typing a name
            }
            if (this.handleKey(event)) {
                event.preventDefault();
            }
        });
    }

    // Runs the shortcut of a key press; returns whether it was one.
    handleKey(event) {
        const key = event.key;
        const camera = this.camera();
        if (event.ctrlKey || event.metaKey) {
            const lower = key.toLowerCase();
            if (lower === "z" && !event.shiftKey) {
                this.undo();
            } else if (lower === "y" || (lower === "z" && event.shiftKey)) {
                this.redo();
            } else if (lower === "s") {
                this.save();
            } else {
                return false;
            }
            return true;
        }
        if (event.altKey) {
            return false;
        }
        const lower = key.length === 1 ? key.toLowerCase() : key;
        if (KIND_KEYS[lower] && !event.shiftKey) {
            this.startShape(KIND_KEYS[lower]);
            return true;
        }
        const panStep = event.shiftKey ? 200 : 60;
        switch (lower) {
            case " ":
                this.spaceHeld = true;
                $("#photo-view").classList.add("space-pan");
                return true;
            case "Enter":
                this.status.message(this.picker.finish());
                return true;
            case "Escape":
                if (!$("#help-panel").hidden) {
                    this.toggleHelp(false);
                } else if (this.picker.activeShape()) {
                    this.status.message(this.picker.cancel(camera && camera.id));
                } else {
                    this.selected = [];
                    this.selectedPick = null;
                    this.renderAll();
                }
                return true;
            case "e":
                if (camera) {
                    this.status.message(this.picker.nextEdge(camera.id));
                }
                return true;
            case "n":
                this.snap();
                return true;
            case "Delete":
            case "Backspace":
                this.deleteSelection();
                return true;
            case "[":
            case "PageUp":
                this.showCamera(this.current - 1);
                return true;
            case "]":
            case "PageDown":
                this.showCamera(this.current + 1);
                return true;
            case "ArrowLeft":
                this.view.panBy(panStep, 0);
                return true;
            case "ArrowRight":
                this.view.panBy(-panStep, 0);
                return true;
            case "ArrowUp":
                this.view.panBy(0, panStep);
                return true;
            case "ArrowDown":
                this.view.panBy(0, -panStep);
                return true;
            case "+":
            case "=":
                this.view.zoomCentre(1.5);
                return true;
            case "-":
                this.view.zoomCentre(1 / 1.5);
                return true;
            case "0":
            case "Home":
                this.view.fit();
                return true;
            case "?":
                this.toggleHelp();
                return true;
            default:
                return false;
        }
    }
}

// The stored "snap new picks" choice (off when never made or storage is refused).
function readSnapNew() {
    try {
        return window.localStorage.getItem(SNAP_NEW_KEY) === "1";
    } catch (_) {
        return false;
    }
}

async function main() {
    const busy = new BusyTracker(document.body);
    const status = new Status($("#status"));
    const api = new Api(busy);
    busy.begin();  // the page is busy until the session is shown
    try {
        const session = await api.session();
        window.workbench = new Workbench(api, busy, status, session);
    } catch (error) {
        status.error(error instanceof ApiError ? `could not load the scene: ${error.message}`
                                               : `the page failed to start: ${error.message}`);
        if (!(error instanceof ApiError)) {
            console.error(error);
        }
    } finally {
        busy.end();
    }
}

main();
