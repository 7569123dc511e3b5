#include "workbench/workbench.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

#include "measure/file_resolver.h"
#include "measure/format.h"
#include "measure/input_error.h"
#include "measure/json_node.h"
#include "measure/measurement.h"
#include "measure/output_file.h"
#include "measure/report.h"
#include "measure/scene_writer.h"
#include "measure/snapping.h"
#include "workbench/epipolar.h"
#include "workbench/report_csv.h"

namespace workbench {

namespace {

namespace fs = std::filesystem;
using measure::InputError;
using measure::Json;

// Photos larger than this are not served.
constexpr std::size_t kPhotoLimit = std::size_t{512} << 20;

// Decoded photos kept for snapping (a 24-megapixel photo takes 24 MB).
constexpr std::size_t kCachedPhotos = 4;

// A failed request: its status and message, answered as {"error": message}.
struct RequestError {
    int status;
    std::string message;
};

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Dump(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

HttpResponse JsonResponse(int status, const Json& value) {
    HttpResponse response;
    response.status = status;
    response.contentType = "application/json";
    response.body = Dump(value) + "\n";
    return response;
}

HttpResponse ErrorResponse(int status, const std::string& message) {
    return JsonResponse(status, Json{{"error", measure::Printable(message)}});
}

// The message of a bad document or field, without the program's name.
std::string Message(const InputError& error) {
    return error.what();
}

// The request body as a JSON object; RequestError 400 when it is malformed or no object.
Json ParseBody(const std::string& body) {
    Json value;
    try {
        value = measure::ParseJsonText(body, "request body");
    } catch (const InputError& error) {
        throw RequestError{400, Message(error)};
    }
    if (!value.is_object()) {
        throw RequestError{400, "request body: expected a JSON object"};
    }
    return value;
}

// A member of the request body; RequestError 400 naming it when missing or of the wrong type.
const Json& Field(const Json& body, const char* name, Json::value_t type, const char* what) {
    const auto found = body.find(name);
    if (found == body.end()) {
        throw RequestError{400, std::string("request body: missing field \"") + name + "\""};
    }
    const bool numberWanted = type == Json::value_t::number_float;
    if (numberWanted ? !found->is_number() : found->type() != type) {
        throw RequestError{400,
                           std::string("request body: field \"") + name + "\": expected " + what};
    }
    return *found;
}

// The scene's bytes on disk; "" when it cannot be read (then its version is that of "").
std::string ReadSceneBytes(const std::string& file) {
    try {
        return measure::ReadTextFile(file, measure::kSceneFileLimit);
    } catch (const InputError&) {
        return "";
    }
}

// Whether a path segment is a safe file name: letters, digits, '.', '-', '_', not starting with
// a dot.
bool SafeName(const std::string& segment) {
    if (segment.empty() || segment[0] == '.') {
        return false;
    }
    return std::all_of(segment.begin(), segment.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    });
}

// The refusal of a request path: a ".." segment, a backslash, a NUL or a control character, or a
// percent-encoded dot, slash, backslash or NUL; "" when it may be routed.
std::string PathProblem(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return "not an absolute path";
    }
    for (const char c : path) {
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return "a backslash or control character";
        }
    }
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size()) {
            const std::string code = Lower(path.substr(i + 1, 2));
            if (code == "2e" || code == "2f" || code == "5c" || code == "00") {
                return "a percent-encoded dot, slash, backslash or NUL";
            }
        }
    }
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string segment = path.substr(start, end - start);
        if (segment == ".." || segment == ".") {
            return "a \".\" or \"..\" segment";
        }
        start = end + 1;
    }
    return "";
}

std::string FileStem(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    std::string stem = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
    for (char& c : stem) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') {
            c = '_';
        }
    }
    return stem;
}

}  // namespace

std::string HttpRequest::HeaderValue(const std::string& name) const {
    const std::string wanted = Lower(name);
    for (const Header& header : headers) {
        if (Lower(header.first) == wanted) {
            return header.second;
        }
    }
    return "";
}

bool HttpRequest::HasHeader(const std::string& name) const {
    const std::string wanted = Lower(name);
    return std::any_of(headers.begin(), headers.end(), [&](const Header& header) {
        return Lower(header.first) == wanted;
    });
}

std::string AssetContentType(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : Lower(name.substr(dot + 1));
    if (extension == "html" || extension == "htm") {
        return "text/html; charset=utf-8";
    }
    if (extension == "js" || extension == "mjs") {
        return "text/javascript; charset=utf-8";
    }
    if (extension == "css") {
        return "text/css; charset=utf-8";
    }
    if (extension == "json") {
        return "application/json";
    }
    if (extension == "svg") {
        return "image/svg+xml";
    }
    if (extension == "png") {
        return "image/png";
    }
    if (extension == "jpg" || extension == "jpeg") {
        return "image/jpeg";
    }
    if (extension == "ico") {
        return "image/x-icon";
    }
    if (extension == "txt" || extension == "md") {
        return "text/plain; charset=utf-8";
    }
    return "application/octet-stream";
}

std::string ContentVersion(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

Workbench::Workbench(const std::string& sceneFile,
                     std::vector<std::string> allowedHosts,
                     std::string assetDirectory)
    : m_sceneFile(sceneFile),
      m_assetDirectory(std::move(assetDirectory)),
      m_allowedHosts(std::move(allowedHosts)) {
    const std::size_t slash = sceneFile.find_last_of('/');
    m_folder = slash == std::string::npos ? "" : sceneFile.substr(0, slash);
    m_fileName = slash == std::string::npos ? sceneFile : sceneFile.substr(slash + 1);
    const std::string text = measure::ReadTextFile(sceneFile, measure::kSceneFileLimit);
    m_scene = measure::ParseScene(text, m_fileName, m_folder);
}

void Workbench::SetAllowedHosts(std::vector<std::string> allowedHosts) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_allowedHosts = std::move(allowedHosts);
}

measure::Scene Workbench::CurrentScene() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_scene;
}

HttpResponse Workbench::Handle(const HttpRequest& request) {
    HttpResponse response;
    try {
        int status = 0;
        const std::string problem = CheckSafety(request, status);
        response = problem.empty() ? Route(request) : ErrorResponse(status, problem);
    } catch (const RequestError& error) {
        response = ErrorResponse(error.status, error.message);
    } catch (const InputError& error) {
        response = ErrorResponse(400, Message(error));
    } catch (const std::exception& error) {
        response = ErrorResponse(500, error.what());
    }
    response.headers.emplace_back("X-Content-Type-Options", "nosniff");
    response.headers.emplace_back("Cache-Control", "no-store");
    response.headers.emplace_back("Content-Security-Policy", "frame-ancestors 'none'");
    if (request.method == "HEAD") {
        response.body.clear();
    }
    return response;
}

std::string Workbench::CheckSafety(const HttpRequest& request, int& status) const {
    std::vector<std::string> hosts;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        hosts = m_allowedHosts;
    }
    status = 403;
    const std::string host = Lower(request.HeaderValue("Host"));
    if (std::find(hosts.begin(), hosts.end(), host) == hosts.end()) {
        return "Host \"" + host +
               "\" refused: the workbench answers only requests addressed to it (Host " +
               (hosts.empty() ? std::string("none") : hosts.front()) + "), not another name";
    }
    if (request.HasHeader("Origin")) {
        const std::string origin = Lower(request.HeaderValue("Origin"));
        const bool allowed = origin.compare(0, 7, "http://") == 0 &&
                             std::find(hosts.begin(), hosts.end(), origin.substr(7)) != hosts.end();
        if (!allowed) {
            return "Origin \"" + origin + "\" refused: only the workbench's own page may call it";
        }
    }
    const std::string& method = request.method;
    if (method != "GET" && method != "HEAD" && method != "POST") {
        status = 405;
        return "method " + method + " not allowed (GET, HEAD or POST)";
    }
    const std::string path = request.target.substr(0, request.target.find('?'));
    const std::string pathProblem = PathProblem(path);
    if (!pathProblem.empty()) {
        status = 400;
        return "path \"" + path + "\" refused: " + pathProblem;
    }
    if (method == "POST") {
        if (request.body.size() > kBodyLimit) {
            status = 413;
            return "request body of " + std::to_string(request.body.size()) +
                   " bytes refused: the limit is 16 MiB";
        }
        const std::string type = Lower(request.HeaderValue("Content-Type"));
        const std::string media = type.substr(0, type.find(';'));
        if (media.find_first_not_of(" \t") == std::string::npos ||
            media.substr(0, media.find_last_not_of(" \t") + 1) != "application/json") {
            status = 415;
            return "Content-Type \"" + type + "\" refused: POST bodies are application/json";
        }
    }
    status = 0;
    return "";
}

HttpResponse Workbench::Route(const HttpRequest& request) {
    const std::string path = request.target.substr(0, request.target.find('?'));
    const bool get = request.method != "POST";
    const auto methodError = [&](const char* wanted) {
        HttpResponse response = ErrorResponse(
            405, "method " + request.method + " not allowed on " + path + " (" + wanted + ")");
        response.headers.emplace_back("Allow", wanted);
        return response;
    };
    if (path == "/" || path == "/index.html") {
        return get ? Asset("index.html") : methodError("GET, HEAD");
    }
    if (path.compare(0, 5, "/app/") == 0) {
        return get ? Asset(path.substr(5)) : methodError("GET, HEAD");
    }
    if (path.compare(0, 7, "/photo/") == 0) {
        return get ? Photo(path.substr(7)) : methodError("GET, HEAD");
    }
    if (path == "/api/session") {
        return get ? Session() : methodError("GET, HEAD");
    }
    const struct {
        const char* path;
        HttpResponse (Workbench::*handler)(const std::string&);
    } posts[] = {{"/api/measure", &Workbench::MeasureDocument},
                 {"/api/epipolar", &Workbench::Epipolar},
                 {"/api/snap", &Workbench::Snap},
                 {"/api/save", &Workbench::Save},
                 {"/api/export", &Workbench::Export}};
    for (const auto& route : posts) {
        if (path == route.path) {
            return get ? methodError("POST") : (this->*route.handler)(request.body);
        }
    }
    return ErrorResponse(404, "not found: " + path);
}

HttpResponse Workbench::Asset(const std::string& name) const {
    // Names of one or more safe segments (no dot files, nothing to climb out with).
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        if (!SafeName(name.substr(start, end - start))) {
            return ErrorResponse(404, "no page file " + name);
        }
        if (end == name.size()) {
            break;
        }
        start = end + 1;
    }
    HttpResponse response;
    response.contentType = AssetContentType(name);
    if (!m_assetDirectory.empty()) {
        try {
            const measure::FileResolver resolver(m_assetDirectory, true);
            const Json field;
            const std::string file =
                resolver.Resolve(name, measure::JsonNode(field, m_assetDirectory, name));
            response.body = measure::ReadTextFile(file, kPhotoLimit);
        } catch (const InputError&) {
            return ErrorResponse(404, "no page file " + name);
        }
        return response;
    }
    for (const EmbeddedAsset& asset : EmbeddedAssets()) {
        if (name == asset.name) {
            response.body.assign(reinterpret_cast<const char*>(asset.data), asset.size);
            return response;
        }
    }
    return ErrorResponse(404, "no page file " + name);
}

HttpResponse Workbench::Photo(const std::string& index) {
    std::string image;
    if (!index.empty() && index.size() <= 6 &&
        std::all_of(index.begin(), index.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const std::size_t camera = std::stoul(index);
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (camera < m_scene.cameras.size()) {
            image = m_scene.cameras[camera].image;
            if (image.empty()) {
                return ErrorResponse(404, "camera " + m_scene.cameras[camera].id + " has no photo");
            }
        }
    }
    if (image.empty()) {
        return ErrorResponse(404, "no camera " + index);
    }
    HttpResponse response;
    try {
        response.body = measure::ReadTextFile(image, kPhotoLimit);
    } catch (const InputError& error) {
        return ErrorResponse(404, Message(error));
    }
    const bool png = response.body.compare(0, 4, "\x89PNG") == 0;
    response.contentType = png ? "image/png" : "image/jpeg";
    return response;
}

HttpResponse Workbench::Session() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    // The file as it is now: another program may have changed it since it was loaded.
    const std::string bytes = ReadSceneBytes(m_sceneFile);
    try {
        m_scene = measure::ParseScene(bytes, m_fileName, m_folder);
    } catch (const InputError& error) {
        throw RequestError{500, "the scene file no longer reads: " + Message(error)};
    }
    const measure::Scene& scene = m_scene;
    Json cameras = Json::array();
    for (std::size_t i = 0; i < scene.cameras.size(); ++i) {
        const measure::Camera& camera = scene.cameras[i];
        cameras.push_back(
            {{"id", camera.id},
             {"width", camera.calibration.GetWidth()},
             {"height", camera.calibration.GetHeight()},
             {"photo", camera.image.empty() ? Json() : Json("/photo/" + std::to_string(i))},
             {"lens", !camera.calibration.GetLensModel().IsNone()}});
    }
    return JsonResponse(200,
                        Json{{"file", m_fileName},
                             {"version", ContentVersion(bytes)},
                             {"document", measure::SceneDocument(scene)},
                             {"cameras", cameras},
                             {"report", measure::ReportJson(scene, measure::Measure(scene))}});
}

measure::Scene Workbench::ParseDocument(const std::string& text) const {
    measure::Scene scene = measure::ParseScene(text, m_fileName, m_folder);
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!(scene.cameras == m_scene.cameras) || !(scene.cameraSources == m_scene.cameraSources)) {
        throw RequestError{400,
                           m_fileName +
                               ": the document's cameras are not the scene's (the workbench "
                               "edits shapes only; reload the page to get the scene's cameras)"};
    }
    return scene;
}

HttpResponse Workbench::MeasureDocument(const std::string& body) {
    const Json request = ParseBody(body);
    const measure::Scene scene = ParseDocument(Dump(request));
    return JsonResponse(200, Json{{"report", measure::ReportJson(scene, measure::Measure(scene))}});
}

HttpResponse Workbench::Epipolar(const std::string& body) {
    const Json request = ParseBody(body);
    const std::string id =
        Field(request, "camera", Json::value_t::string, "a camera id").get<std::string>();
    const Json& point = Field(request, "point", Json::value_t::array, "[x, y]");
    if (point.size() != 2 || !point[0].is_number() || !point[1].is_number() ||
        !std::isfinite(point[0].get<double>()) || !std::isfinite(point[1].get<double>())) {
        throw RequestError{400,
                           "request body: field \"point\": expected [x, y], two finite numbers"};
    }
    const core::Pixel pick{point[0].get<double>(), point[1].get<double>()};
    std::vector<measure::Camera> cameras;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        cameras = m_scene.cameras;
    }
    const auto from = std::find_if(
        cameras.begin(), cameras.end(), [&](const measure::Camera& c) { return c.id == id; });
    if (from == cameras.end()) {
        throw RequestError{400,
                           "request body: field \"camera\": unknown camera id " + Json(id).dump()};
    }
    Json lines = Json::array();
    for (const measure::Camera& to : cameras) {
        if (&to == &*from) {
            continue;
        }
        Json polylines = Json::array();
        for (const core::Polyline& polyline :
             EpipolarPolylines(from->calibration, pick, to.calibration)) {
            Json points = Json::array();
            for (const core::Pixel& pixel : polyline) {
                points.push_back({pixel.x, pixel.y});
            }
            polylines.push_back(points);
        }
        lines.push_back({{"camera", to.id}, {"polylines", polylines}});
    }
    return JsonResponse(200, Json{{"lines", lines}});
}

namespace {

// [x, y] of two finite numbers in a request body; RequestError 400 naming field otherwise.
measure::Vec2 BodyPoint(const Json& value, const std::string& field) {
    if (!value.is_array() || value.size() != 2 || !value[0].is_number() || !value[1].is_number() ||
        !std::isfinite(value[0].get<double>()) || !std::isfinite(value[1].get<double>())) {
        throw RequestError{
            400, "request body: field \"" + field + "\": expected [x, y], two finite numbers"};
    }
    return {value[0].get<double>(), value[1].get<double>()};
}

Json PointJson(const measure::Vec2& point) {
    return Json::array({point.x, point.y});
}

}  // namespace

std::shared_ptr<const measure::GrayPhoto> Workbench::DecodedPhoto(const std::string& path,
                                                                  int width,
                                                                  int height) {
    std::error_code error;
    const fs::file_time_type time = fs::last_write_time(path, error);
    const std::uintmax_t size = error ? 0 : fs::file_size(path, error);
    const std::lock_guard<std::mutex> lock(m_photoMutex);
    for (auto it = m_photos.begin(); it != m_photos.end(); ++it) {
        if (it->path == path) {
            if (!error && it->time == time && it->size == size) {
                CachedPhoto found = *it;
                m_photos.erase(it);
                m_photos.push_back(found);
                return found.photo;
            }
            m_photos.erase(it);
            break;
        }
    }
    auto photo =
        std::make_shared<const measure::GrayPhoto>(measure::LoadGrayPhoto(path, width, height));
    if (!error) {
        if (m_photos.size() >= kCachedPhotos) {
            m_photos.erase(m_photos.begin());
        }
        m_photos.push_back({path, time, size, photo});
    }
    return photo;
}

HttpResponse Workbench::Snap(const std::string& body) {
    const Json request = ParseBody(body);
    const std::string id =
        Field(request, "camera", Json::value_t::string, "a camera id").get<std::string>();
    const std::string kind =
        Field(request, "kind", Json::value_t::string, "\"corner\" or \"edge\"").get<std::string>();
    if (kind != "corner" && kind != "edge") {
        throw RequestError{400, "request body: field \"kind\": expected \"corner\" or \"edge\""};
    }
    std::vector<measure::Vec2> picks;
    if (kind == "corner") {
        picks.push_back(
            BodyPoint(Field(request, "point", Json::value_t::array, "[x, y]"), "point"));
    } else {
        const Json& segment =
            Field(request, "segment", Json::value_t::array, "[[x0, y0], [x1, y1]]");
        if (segment.size() != 2) {
            throw RequestError{400,
                               "request body: field \"segment\": expected [[x0, y0], [x1, y1]]"};
        }
        picks = {BodyPoint(segment[0], "segment"), BodyPoint(segment[1], "segment")};
        if (picks[0] == picks[1]) {
            throw RequestError{400,
                               "request body: field \"segment\": has zero length (both end "
                               "points are equal)"};
        }
    }
    measure::Camera camera;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = std::find_if(m_scene.cameras.begin(),
                                        m_scene.cameras.end(),
                                        [&](const measure::Camera& c) { return c.id == id; });
        if (found == m_scene.cameras.end()) {
            throw RequestError{
                400, "request body: field \"camera\": unknown camera id " + Json(id).dump()};
        }
        camera = *found;
    }
    if (camera.image.empty()) {
        throw RequestError{400, "camera " + id + " has no photo to snap on"};
    }
    measure::Snap snap;
    try {
        const std::shared_ptr<const measure::GrayPhoto> photo = DecodedPhoto(
            camera.image, camera.calibration.GetWidth(), camera.calibration.GetHeight());
        snap = picks.size() == 1
                   ? measure::SnapCorner(*photo, picks[0])
                   : measure::SnapEdge(camera.calibration, *photo, {picks[0], picks[1]});
    } catch (const measure::PhotoError& error) {
        snap =
            measure::RefusedSnap(picks, std::string("the photo cannot be used: ") + error.what());
    }
    if (!snap.ok) {
        return JsonResponse(200, Json{{"ok", false}, {"reason", snap.reason}});
    }
    Json answer = {{"ok", true}};
    if (picks.size() == 1) {
        answer["point"] = PointJson(snap.points[0]);
        answer["movement"] = snap.movements[0];
    } else {
        answer["segment"] = Json::array({PointJson(snap.points[0]), PointJson(snap.points[1])});
        answer["movement"] = snap.movements;
    }
    answer["support"] = snap.support;
    return JsonResponse(200, answer);
}

HttpResponse Workbench::Save(const std::string& body) {
    const Json request = ParseBody(body);
    const Json& document = Field(request, "document", Json::value_t::object, "the scene");
    const std::string version =
        Field(request, "version", Json::value_t::string, "the version loaded").get<std::string>();
    const measure::Scene scene = ParseDocument(Dump(document));
    const std::string text = measure::SceneText(scene);

    const std::lock_guard<std::mutex> lock(m_mutex);
    const std::string before = ReadSceneBytes(m_sceneFile);
    const bool replacedOther = ContentVersion(before) != version;
    const std::string backup = m_sceneFile + ".bak";
    try {
        measure::WriteFileAtomically(backup, before);
        measure::WriteFileAtomically(m_sceneFile, text);
    } catch (const std::exception& error) {
        throw RequestError{500, error.what()};
    }
    m_scene = scene;
    const std::string backupName = m_fileName + ".bak";
    const std::string message =
        replacedOther
            ? "Saved " + m_fileName + ", replacing a version that another tab or program had " +
                  "saved meanwhile (that version is kept as " + backupName + ")"
            : "Saved " + m_fileName + " (the previous version is kept as " + backupName + ")";
    return JsonResponse(200,
                        Json{{"version", ContentVersion(text)},
                             {"file", m_fileName},
                             {"replaced_other", replacedOther},
                             {"message", message}});
}

HttpResponse Workbench::Export(const std::string& body) {
    const Json request = ParseBody(body);
    const Json& document = Field(request, "document", Json::value_t::object, "the scene");
    const std::string format =
        Field(request, "format", Json::value_t::string, "\"json\" or \"csv\"").get<std::string>();
    if (format != "json" && format != "csv") {
        throw RequestError{400, "request body: field \"format\": expected \"json\" or \"csv\""};
    }
    const measure::Scene scene = ParseDocument(Dump(document));
    const measure::Measurement measurement = measure::Measure(scene);
    HttpResponse response;
    if (format == "json") {
        response.contentType = "application/json";
        response.body = measure::ReportJson(scene, measurement)
                            .dump(2, ' ', false, Json::error_handler_t::replace) +
                        "\n";
    } else {
        response.contentType = "text/csv; charset=utf-8";
        response.body = ReportCsv(measurement);
    }
    response.headers.emplace_back(
        "Content-Disposition",
        "attachment; filename=\"" + FileStem(m_fileName) + ".report." + format + "\"");
    return response;
}

}  // namespace workbench
