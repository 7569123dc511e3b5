// Talking to the workbench server: JSON requests, the busy flag on <body>, and errors turned
// into messages a person can act on.

// An error the page shows in #status: the server's own message, or what went wrong on the way.
export class ApiError extends Error {
    constructor(message, status) {
        super(message);
        this.status = status;  // HTTP status, 0 when the server could not be reached
    }
}

// Counts the requests (and scheduled requests) in flight and mirrors "any pending" as
// body[data-busy], which the page's tests wait on.
export class BusyTracker {
    constructor(element = document.body) {
        this.element = element;
        this.count = 0;
    }

    // Marks one more piece of work pending.
    begin() {
        this.count += 1;
        this.element.dataset.busy = "true";
    }

    // Marks one piece of work done; clears the flag when nothing is left.
    end() {
        this.count = Math.max(0, this.count - 1);
        if (this.count === 0) {
            delete this.element.dataset.busy;
        }
    }
}

// Reads the error message of a failed response: {"error": "..."} or the plain text.
async function errorOf(response) {
    const text = await response.text().catch(() => "");
    try {
        const body = JSON.parse(text);
        if (body && typeof body.error === "string") {
            return new ApiError(body.error, response.status);
        }
    } catch (_) {
        // not JSON: fall through to the text
    }
    const detail = text.trim().slice(0, 200) || response.statusText;
    return new ApiError(`the server answered ${response.status}: ${detail}`, response.status);
}

// The server's API. Every method rejects with an ApiError (never anything else).
export class Api {
    constructor(busy) {
        this.busy = busy;
    }

    // Sends one request; resolves with the Response when it succeeded (2xx).
    async request(method, path, body) {
        const init = {method, headers: {}};
        if (body !== undefined) {
            init.headers["Content-Type"] = "application/json";
            init.body = JSON.stringify(body);
        }
        this.busy.begin();
        try {
            let response;
            try {
                response = await fetch(path, init);
            } catch (_) {
                throw new ApiError(
                    "the server does not answer: is polyview-measure serve still running?", 0);
            }
            if (!response.ok) {
                throw await errorOf(response);
            }
            return response;
        } finally {
            this.busy.end();
        }
    }

    // GET or POST returning the parsed JSON answer.
    async json(method, path, body) {
        const response = await this.request(method, path, body);
        try {
            return await response.json();
        } catch (_) {
            throw new ApiError(`the server's answer to ${path} is not JSON`, response.status);
        }
    }

    // The scene, its cameras and its first report.
    session() {
        return this.json("GET", "/api/session");
    }

    // Measures a scene document; resolves with the report.
    async measure(document) {
        return (await this.json("POST", "/api/measure", document)).report;
    }

    // Epipolar lines of one pick in every other camera.
    async epipolar(camera, point) {
        return (await this.json("POST", "/api/epipolar", {camera, point})).lines;
    }

    // Snaps picks to the photo: body {camera, kind: "corner", point} or {camera, kind: "edge",
    // segment}; resolves with {ok: true, point|segment, movement, support} or {ok: false, reason}.
    snap(body) {
        return this.json("POST", "/api/snap", body);
    }

    // Saves the document over the scene file; resolves with {version, message, replaced_other}.
    save(document, version) {
        return this.json("POST", "/api/save", {document, version});
    }

    // The report as a file: resolves with {blob, filename}.
    async exportReport(document, format) {
        const response = await this.request("POST", "/api/export", {document, format});
        const disposition = response.headers.get("Content-Disposition") || "";
        const match = /filename="?([^";]+)"?/.exec(disposition);
        const blob = await response.blob();
        return {blob, filename: match ? match[1] : `report.${format}`};
    }
}
