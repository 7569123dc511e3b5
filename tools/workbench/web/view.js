// The large photo view: shows one camera's photo (or a placeholder of its size), zooms with the
// wheel about the cursor, pans, and converts between screen and photo pixels.
//
// The photo element is laid out at its zoomed size (no CSS transform), so its bounding rectangle
// is exactly where its pixels are on screen. The overlay SVG covers the whole view and its viewBox
// is the visible part of the photo, so overlay elements use photo pixels as coordinates.

const SVG_NS = "http://www.w3.org/2000/svg";

// The largest zoom: screen pixels per photo pixel (and at least this many times the fit).
const MAX_PIXEL_SCALE = 64;
const MAX_FIT_FACTOR = 32;

export class PhotoView {
    // container: #photo-view; onChange() is called after every zoom, pan or new photo.
    constructor(container, onChange) {
        this.container = container;
        this.onChange = onChange;
        this.camera = null;  // {id, width, height, photo}
        this.scale = 1;      // screen pixels per photo pixel
        this.tx = 0;         // screen offset of the photo's top-left corner in the view
        this.ty = 0;
        this.photo = null;
        this.overlay = document.createElementNS(SVG_NS, "svg");
        this.overlay.classList.add("overlay");
        this.overlay.setAttribute("preserveAspectRatio", "none");
        this.container.append(this.overlay);
        this.fitted = true;  // the whole photo is shown: a resized view fits it again
        new ResizeObserver(() => (this.fitted && this.camera ? this.fit() : this.keepInView()))
            .observe(container);
    }

    // Shows a camera's photo (fitted), or a neutral placeholder when it has none.
    // onError(camera) is called when the photo cannot be loaded.
    show(camera, onError) {
        this.camera = camera;
        this.container.dataset.camera = camera.id;
        if (this.photo) {
            this.photo.remove();
        }
        this.photo = camera.photo ? photoImage(camera, onError) : placeholder(camera, "photo");
        this.container.insertBefore(this.photo, this.overlay);
        this.fit();
    }

    // The zoom that shows the whole photo.
    fitScale() {
        if (!this.camera) {
            return 1;
        }
        const {clientWidth, clientHeight} = this.container;
        return Math.min(clientWidth / this.camera.width, clientHeight / this.camera.height) || 1;
    }

    // Largest zoom allowed for the current photo.
    maxScale() {
        return Math.max(MAX_PIXEL_SCALE, MAX_FIT_FACTOR * this.fitScale());
    }

    // Zooms to show the whole photo, centred.
    fit() {
        this.fitted = true;
        this.scale = this.fitScale();
        this.tx = (this.container.clientWidth - this.camera.width * this.scale) / 2;
        this.ty = (this.container.clientHeight - this.camera.height * this.scale) / 2;
        this.apply();
    }

    // Multiplies the zoom by factor, keeping the photo point under (clientX, clientY) in place.
    zoomAt(factor, clientX, clientY) {
        if (!this.camera) {
            return;
        }
        const box = this.container.getBoundingClientRect();
        const sx = clientX - box.left;
        const sy = clientY - box.top;
        const next = Math.min(this.maxScale(), Math.max(this.fitScale(), this.scale * factor));
        this.fitted = next <= this.fitScale();
        // The photo point under the cursor stays under it.
        this.tx = sx - ((sx - this.tx) * next) / this.scale;
        this.ty = sy - ((sy - this.ty) * next) / this.scale;
        this.scale = next;
        if (this.fitted) {
            this.fit();  // all the way out: centred again
        } else {
            this.keepInView();
        }
    }

    // Zooms about the view's centre.
    zoomCentre(factor) {
        const box = this.container.getBoundingClientRect();
        this.zoomAt(factor, box.left + box.width / 2, box.top + box.height / 2);
    }

    // Moves the photo by (dx, dy) screen pixels.
    panBy(dx, dy) {
        this.fitted = false;
        this.tx += dx;
        this.ty += dy;
        this.keepInView();
    }

    // Keeps part of the photo in the view: at least a quarter of the view (or the whole photo
    // when it is smaller) stays covered in each direction. Zooming about a point of the photo
    // under the cursor never needs this, so the point stays exactly under the cursor.
    keepInView() {
        if (!this.camera) {
            return;
        }
        const {clientWidth, clientHeight} = this.container;
        this.scale = Math.max(this.scale, this.fitScale());
        const clamp = (offset, shown, room) => {
            const keep = Math.min(shown, room / 4);
            return Math.min(room - keep, Math.max(keep - shown, offset));
        };
        this.tx = clamp(this.tx, this.camera.width * this.scale, clientWidth);
        this.ty = clamp(this.ty, this.camera.height * this.scale, clientHeight);
        this.apply();
    }

    // Lays out the photo and the overlay's viewBox for the current zoom and offset.
    apply() {
        const style = this.photo.style;
        style.left = `${this.tx}px`;
        style.top = `${this.ty}px`;
        style.width = `${this.camera.width * this.scale}px`;
        style.height = `${this.camera.height * this.scale}px`;
        const {clientWidth, clientHeight} = this.container;
        const box = [-this.tx / this.scale, -this.ty / this.scale, clientWidth / this.scale,
                     clientHeight / this.scale];
        this.overlay.setAttribute("viewBox", box.join(" "));
        this.onChange();
    }

    // The continuous photo pixel under a screen point, and whether it lies inside the photo.
    toPhoto(clientX, clientY) {
        const box = this.photo.getBoundingClientRect();
        const x = ((clientX - box.left) * this.camera.width) / box.width;
        const y = ((clientY - box.top) * this.camera.height) / box.height;
        const inside = x >= 0 && y >= 0 && x <= this.camera.width && y <= this.camera.height;
        return {x, y, inside};
    }

    // The screen point (client coordinates) of a photo pixel.
    toScreen(x, y) {
        const box = this.photo.getBoundingClientRect();
        return {
            x: box.left + (x * box.width) / this.camera.width,
            y: box.top + (y * box.height) / this.camera.height,
        };
    }
}

// An <img class="photo"> of the camera's photo, drawn with crisp pixels when zoomed.
function photoImage(camera, onError) {
    const img = document.createElement("img");
    img.className = "photo";
    img.alt = `photo of ${camera.id}`;
    img.draggable = false;
    img.addEventListener("error", () => onError && onError(camera));
    img.src = camera.photo;
    return img;
}

// A neutral stand-in for a camera without a photo: its image size with a grid and its id.
// The width/height attributes give the image size as an image's natural size would.
export function placeholder(camera, className) {
    const svg = document.createElementNS(SVG_NS, "svg");
    svg.classList.add(className, "placeholder");
    svg.setAttribute("width", camera.width);
    svg.setAttribute("height", camera.height);
    svg.setAttribute("viewBox", `0 0 ${camera.width} ${camera.height}`);
    svg.setAttribute("preserveAspectRatio", "none");
    const step = gridStep(Math.max(camera.width, camera.height));
    let path = "";
    for (let x = step; x < camera.width; x += step) {
        path += `M${x} 0V${camera.height}`;
    }
    for (let y = step; y < camera.height; y += step) {
        path += `M0 ${y}H${camera.width}`;
    }
    svg.innerHTML =
        `<rect class="placeholder-back" width="${camera.width}" height="${camera.height}"/>` +
        `<path class="placeholder-grid" d="${path}"/>`;
    const label = document.createElementNS(SVG_NS, "text");
    label.setAttribute("class", "placeholder-label");
    label.setAttribute("x", camera.width / 2);
    label.setAttribute("y", camera.height / 2);
    label.setAttribute("font-size", Math.max(camera.width, camera.height) / 20);
    label.textContent = `${camera.id} (no photo, ${camera.width} x ${camera.height})`;
    svg.append(label);
    return svg;
}

// A round grid spacing giving about ten cells across the longer side.
function gridStep(size) {
    const raw = size / 10;
    const power = 10 ** Math.floor(Math.log10(raw));
    return [1, 2, 5, 10].map((m) => m * power).find((s) => s >= raw) || raw;
}
