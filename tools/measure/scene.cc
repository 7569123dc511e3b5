#include "measure/scene.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <tuple>

#include "measure/camera_fields.h"
#include "measure/colmap_model.h"
#include "measure/input_error.h"
#include "measure/json_node.h"
#include "measure/opencv_camera.h"
#include "measure/rotation.h"

namespace measure {

const char* KindName(ShapeKind kind) {
    switch (kind) {
        case ShapeKind::kPoint:
            return "point";
        case ShapeKind::kLine:
            return "line";
        case ShapeKind::kSegment:
            return "segment";
        case ShapeKind::kCylinder:
            return "cylinder";
        case ShapeKind::kPlane:
            return "plane";
        case ShapeKind::kCurve:
            return "curve";
    }
    return "unknown";
}

namespace {

std::string Quote(const std::string& text) {
    return Json(text).dump();
}

// A segment's or cylinder's "extent": "union" (the default) or "median".
void ParseExtent(const JsonNode& node, ShapeInput& shape) {
    if (node.Has("extent")) {
        const JsonNode extent = node.Member("extent");
        const std::string value = extent.String();
        if (value != "union" && value != "median") {
            extent.Fail("unknown extent " + Quote(value) + " (expected \"union\" or \"median\")");
        }
        shape.extent = value == "median" ? Extent::kMedian : Extent::kUnion;
    }
}

// A point's, line's, segment's or cylinder's "outliers": "keep" (the default) or "drop".
void ParseOutliers(const JsonNode& node, ShapeInput& shape) {
    if (node.Has("outliers")) {
        const JsonNode outliers = node.Member("outliers");
        const std::string value = outliers.String();
        if (value != "keep" && value != "drop") {
            outliers.Fail("unknown outliers " + Quote(value) + " (expected \"keep\" or \"drop\")");
        }
        shape.outliers = value == "drop" ? Outliers::kDrop : Outliers::kKeep;
    }
}

// A shape's "refine": "none" (the default), "corner" for a point, "edge" for a line, segment or
// cylinder.
void ParseRefine(const JsonNode& node, ShapeInput& shape) {
    if (!node.Has("refine")) {
        return;
    }
    const JsonNode refine = node.Member("refine");
    const std::string value = refine.String();
    const bool point = shape.kind == ShapeKind::kPoint;
    const bool edges = shape.kind == ShapeKind::kLine || shape.kind == ShapeKind::kSegment ||
                       shape.kind == ShapeKind::kCylinder;
    if (value != "none" && value != "corner" && value != "edge") {
        refine.Fail("unknown refine " + Quote(value) +
                    " (expected \"corner\" for a point, \"edge\" for a line, segment or "
                    "cylinder, or \"none\")");
    }
    if (value == "none") {
        shape.refine = Refine::kNone;
    } else if (!point && !edges) {
        refine.Fail(std::string("a ") + KindName(shape.kind) +
                    " has no picks to refine (only points, lines, segments and cylinders do)");
    } else if ((value == "corner") != point) {
        refine.Fail(std::string("a ") + KindName(shape.kind) + " refines to " +
                    (point ? "\"corner\"" : "\"edge\"") + ", not " + Quote(value));
    } else {
        shape.refine = point ? Refine::kCorner : Refine::kEdge;
    }
}

// An object's free-text "comment", kept for the document (null when none).
Json Comment(const JsonNode& node) {
    return node.IsObject() && node.Has("comment") ? node.Value().at("comment") : Json();
}

// The photo named at field, resolved: a regular file that starts as a JPEG or PNG file does.
std::string Photo(const FileResolver& resolver,
                  const std::string& named,
                  const JsonNode& field,
                  Scene& scene) {
    const std::string path = resolver.Resolve(named, field);
    const std::string quoted = Quote(named);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) {
        field.Fail("the photo " + quoted + " does not exist");
    }
    if (!std::filesystem::is_regular_file(status)) {
        field.Fail("the photo " + quoted + " is not a regular file");
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        field.Fail("the photo " + quoted + " cannot be opened");
    }
    unsigned char head[8] = {};
    stream.read(reinterpret_cast<char*>(head), sizeof head);
    const unsigned char jpeg[3] = {0xFF, 0xD8, 0xFF};
    const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const std::size_t got = static_cast<std::size_t>(stream.gcount());
    if (!(got >= 3 && std::equal(jpeg, jpeg + 3, head)) &&
        !(got == 8 && std::equal(png, png + 8, head))) {
        field.Fail("the photo " + quoted + " is not a JPEG or PNG image");
    }
    scene.inputs.push_back(path);
    return path;
}

// The lens of a camera of "cameras" that names a model, from its parameters.
CLensModel ParseLens(const JsonNode& node, LensInput& given) {
    const JsonNode modelNode = node.Member("model");
    given.model = modelNode.String();
    CLensModel lens;
    std::string reason;
    const auto numbers = [](const JsonNode& list) {
        std::vector<double> values;
        for (std::size_t i = 0; i < list.Size(); ++i) {
            values.push_back(list.Element(i).Number());
        }
        return values;
    };
    if (given.model == "opencv" || given.model == "opencv_fisheye") {
        node.CheckMembers({"id",
                           "model",
                           "camera_matrix",
                           "distortion",
                           "width",
                           "height",
                           "rotation",
                           "translation",
                           "image"});
        const JsonNode matrix = node.Member("camera_matrix");
        if (matrix.Size() != 3) {
            matrix.Fail("expected 3 rows [[fx, s, cx], [0, fy, cy], [0, 0, 1]]");
        }
        for (std::size_t row = 0; row < 3; ++row) {
            const Vec3 values = matrix.Element(row).Vector3();
            std::copy(values.begin(), values.end(), given.cameraMatrix.begin() + 3 * row);
        }
        const std::string refusal = CameraMatrixRefusal(given.cameraMatrix);
        if (!refusal.empty()) {
            matrix.Fail(refusal);
        }
        const JsonNode distortion = node.Member("distortion");
        given.distortion = numbers(distortion);
        if (!OpenCvLens(given.cameraMatrix,
                        given.distortion,
                        given.model == "opencv_fisheye",
                        lens,
                        reason)) {
            distortion.Fail(reason);
        }
        return lens;
    }
    std::string refusal = ColmapModelRefusal(given.model);
    if (!refusal.empty()) {
        if (refusal.back() == ')') {  // an unknown name: the scene knows OpenCV's models too
            refusal.insert(refusal.size() - 1, ", opencv, opencv_fisheye");
        }
        modelNode.Fail(refusal);
    }
    node.CheckMembers(
        {"id", "model", "params", "width", "height", "rotation", "translation", "image"});
    const JsonNode params = node.Member("params");
    given.params = numbers(params);
    if (!CLensModel::CreateColmap(given.model, given.params, lens, reason)) {
        params.Fail(reason);
    }
    return lens;
}

Camera ParseInlineCamera(const JsonNode& node, const FileResolver& resolver, Scene& scene) {
    Camera camera;
    camera.id = node.Member("id").String();
    camera.origin = node.Path();
    camera.comment = Comment(node);
    CLensModel lens;
    double focalLength = 0.0;
    std::array<double, 2> principal{};
    if (node.Has("model")) {
        lens = ParseLens(node, camera.lens);
    } else {
        node.CheckMembers({"id",
                           "focal_length",
                           "principal_point",
                           "width",
                           "height",
                           "rotation",
                           "translation",
                           "image"});
        focalLength = node.Member("focal_length").PositiveNumber();
        principal = node.Member("principal_point").Point2();
    }
    const int width = node.Member("width").PositiveInteger();
    const int height = node.Member("height").PositiveInteger();
    const Vec3 translation = node.Member("translation").Vector3();

    const JsonNode rotation = node.Member("rotation");
    std::array<double, 9> matrix{};
    if (rotation.IsArray() && rotation.Size() == 3 && rotation.Value()[0].is_array()) {
        for (std::size_t row = 0; row < 3; ++row) {
            const auto values = rotation.Element(row).Vector3();
            for (std::size_t col = 0; col < 3; ++col) {
                matrix[3 * row + col] = values[col];
            }
        }
        RequireRotationMatrix(rotation, matrix);
    } else if (rotation.IsArray() && rotation.Size() == 3) {
        camera.rotationVector = rotation.Vector3();
        matrix = RotationFromVector(*camera.rotationVector);
    } else {
        rotation.Fail(
            "expected a rotation vector [rx, ry, rz] in radians or a 3 x 3 matrix "
            "[[r00, r01, r02], [r10, r11, r12], [r20, r21, r22]], got " +
            JsonNode::Describe(rotation.Value()));
    }
    camera.calibration =
        camera.lens.model.empty()
            ? PinholeCamera(
                  focalLength, principal[0], principal[1], width, height, matrix, translation)
            : LensCamera(lens, width, height, matrix, translation);
    RequireUsablePose(camera, node.File(), rotation.Path(), node.Member("translation").Path());
    if (node.Has("image")) {
        const JsonNode image = node.Member("image");
        camera.imageName = image.String();
        camera.image = Photo(resolver, camera.imageName, image, scene);
    }
    return camera;
}

// The file name without directory and extension.
std::string FileStem(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    return name.substr(0, name.find_last_of('.'));
}

void ParseCameraSource(const JsonNode& node, const FileResolver& resolver, Scene& scene) {
    std::vector<Camera>& cameras = scene.cameras;
    CameraSource source;
    const JsonNode formatNode = node.Member("format");
    source.format = formatNode.String();
    const JsonNode pathNode = node.Member("path");
    source.path = pathNode.String();
    source.comment = Comment(node);
    const std::string& relative = source.path;
    const std::string path = resolver.Resolve(relative, pathNode);
    const std::size_t index = scene.cameraSources.size();
    const std::size_t before = cameras.size();
    if (source.format == "colmap") {
        if (node.Has("id")) {
            node.Member("id").Fail("a COLMAP model names its cameras after its images; no id here");
        }
        node.CheckMembers({"format", "path", "image_folder"});
        // Each file of the model is checked on its own: either may be a link.
        const ColmapFiles files = FindColmapModel(path);
        for (const std::string& name : {files.cameras, files.images}) {
            resolver.Resolve(relative + name.substr(path.size()), pathNode);
            scene.inputs.push_back(name);
        }
        for (Camera& camera : ReadColmapModel(files)) {
            cameras.push_back(std::move(camera));
        }
        if (node.Has("image_folder")) {
            const JsonNode folder = node.Member("image_folder");
            source.imageFolder = folder.String();
            for (std::size_t i = before; i < cameras.size(); ++i) {
                cameras[i].image =
                    Photo(resolver, source.imageFolder + "/" + cameras[i].id, folder, scene);
            }
        }
    } else if (source.format == "opencv") {
        node.CheckMembers({"format", "path", "id", "model", "images"});
        if (node.Has("id")) {
            source.id = node.Member("id").String();
        }
        bool fisheye = false;
        if (node.Has("model")) {
            const JsonNode model = node.Member("model");
            source.model = model.String();
            if (source.model != "opencv" && source.model != "opencv_fisheye") {
                model.Fail("unknown model " + Quote(source.model) +
                           " (expected \"opencv\" or \"opencv_fisheye\")");
            }
            fisheye = source.model == "opencv_fisheye";
        }
        scene.inputs.push_back(path);
        for (Camera& camera :
             ReadOpenCvCameras(path, source.id.empty() ? FileStem(relative) : source.id, fisheye)) {
            cameras.push_back(std::move(camera));
        }
        if (node.Has("images")) {
            const JsonNode images = node.Member("images");
            if (images.Size() != cameras.size() - before) {
                images.Fail("expected one photo per camera of the file (" +
                            std::to_string(cameras.size() - before) + "), got " +
                            std::to_string(images.Size()));
            }
            for (std::size_t i = 0; i < images.Size(); ++i) {
                const JsonNode image = images.Element(i);
                source.images.push_back(image.String());
                cameras[before + i].image = Photo(resolver, source.images.back(), image, scene);
            }
        }
    } else {
        formatNode.Fail("unknown camera format " + Quote(source.format) +
                        " (expected \"colmap\" or \"opencv\")");
    }
    for (std::size_t i = before; i < cameras.size(); ++i) {
        cameras[i].source = index;
    }
    scene.cameraSources.push_back(source);
}

class SceneParser {
  public:
    SceneParser(Scene& scene, const JsonNode& root) : m_scene(scene), m_root(root) {}

    void ParseShapes(const JsonNode& shapes);

  private:
    std::size_t CameraIndex(const JsonNode& where, const std::string& id) const;
    Vec2 ImagePoint(const JsonNode& node, std::size_t camera) const;
    Segment2 ImageSegment(const JsonNode& node, std::size_t camera) const;
    void ParsePicks(const JsonNode& node, ShapeInput& shape) const;
    void ParseCylinderPicks(const JsonNode& picks, ShapeInput& shape) const;
    void ParseCurve(const JsonNode& node, ShapeInput& shape) const;
    void ParsePlane(const JsonNode& node, ShapeInput& shape) const;
    void ParseTruth(const JsonNode& node, ShapeInput& shape) const;
    void ResolvePlanePoints() const;

    Scene& m_scene;
    const JsonNode& m_root;
};

std::size_t SceneParser::CameraIndex(const JsonNode& where, const std::string& id) const {
    for (std::size_t i = 0; i < m_scene.cameras.size(); ++i) {
        if (m_scene.cameras[i].id == id) {
            return i;
        }
    }
    std::string known;
    for (const Camera& camera : m_scene.cameras) {
        known += (known.empty() ? "" : ", ") + camera.id;
    }
    where.Fail("unknown camera id " + Quote(id) + " (cameras: " + known + ")");
}

Vec2 SceneParser::ImagePoint(const JsonNode& node, std::size_t camera) const {
    const auto xy = node.Point2();
    const Vec2 point{xy[0], xy[1]};
    const Camera& image = m_scene.cameras[camera];
    if (!image.calibration.Contains(C2DCoordinate(point.x, point.y))) {
        node.Fail("lies outside the image of camera " + Quote(image.id) + " (" +
                  std::to_string(image.calibration.GetWidth()) + " x " +
                  std::to_string(image.calibration.GetHeight()) + ")");
    }
    return point;
}

Segment2 SceneParser::ImageSegment(const JsonNode& node, std::size_t camera) const {
    if (!node.IsArray() || node.Size() != 2) {
        node.Fail("expected an image segment [[x, y], [x, y]], got " +
                  (node.IsArray() ? "an array of " + std::to_string(node.Size()) + " elements"
                                  : JsonNode::Describe(node.Value())));
    }
    const Segment2 segment{ImagePoint(node.Element(0), camera),
                           ImagePoint(node.Element(1), camera)};
    if (segment.start.x == segment.end.x && segment.start.y == segment.end.y) {
        node.Fail("has zero length (both end points are equal)");
    }
    return segment;
}

void SceneParser::ParsePicks(const JsonNode& node, ShapeInput& shape) const {
    const JsonNode picks = node.Member("picks");
    if (!picks.IsObject()) {
        picks.Fail("expected an object of picks per camera id, got " +
                   JsonNode::Describe(picks.Value()));
    }
    if (picks.Value().empty()) {
        picks.Fail("empty pick list: give the picks per camera id");
    }
    for (auto it = picks.Value().begin(); it != picks.Value().end(); ++it) {
        const JsonNode pick = picks.Member(it.key());
        const std::size_t camera = CameraIndex(pick, it.key());
        switch (shape.kind) {
            case ShapeKind::kPoint:
                shape.pointPicks.push_back({camera, ImagePoint(pick, camera)});
                break;
            case ShapeKind::kLine:
            case ShapeKind::kSegment:
                shape.segmentPicks.push_back({camera, ImageSegment(pick, camera)});
                break;
            case ShapeKind::kCylinder: {
                if (!pick.IsArray() || pick.Size() != 2) {
                    pick.Fail(
                        "expected the two silhouette edges [edge, edge], each [[x, y], [x, y]] "
                        "or null when not seen, got " +
                        (pick.IsArray() ? "an array of " + std::to_string(pick.Size()) + " elements"
                                        : JsonNode::Describe(pick.Value())));
                }
                CylinderPick edges{camera, {}};
                for (std::size_t slot = 0; slot < 2; ++slot) {
                    const JsonNode edge = pick.Element(slot);
                    if (!edge.IsNull()) {
                        edges.edges[slot] = ImageSegment(edge, camera);
                    }
                }
                if (!edges.edges[0] && !edges.edges[1]) {
                    pick.Fail("both edges are null: leave the camera out instead");
                }
                shape.cylinderPicks.push_back(edges);
                break;
            }
            case ShapeKind::kCurve: {
                if (picks.Value().size() != 1) {
                    picks.Fail("a curve is picked in exactly one image, got " +
                               std::to_string(picks.Value().size()) + " cameras");
                }
                shape.curveCamera = camera;
                const std::size_t count = pick.SizeAtLeast(2, "image points");
                for (std::size_t i = 0; i < count; ++i) {
                    shape.curvePicks.push_back(ImagePoint(pick.Element(i), camera));
                }
                break;
            }
            case ShapeKind::kPlane:
                break;
        }
    }
}

void SceneParser::ParsePlane(const JsonNode& node, ShapeInput& shape) const {
    const JsonNode points = node.Member("points");
    const std::size_t count = points.SizeAtLeast(3, "points (3D points or names of point shapes)");
    for (std::size_t i = 0; i < count; ++i) {
        const JsonNode entry = points.Element(i);
        PlaneSource source;
        source.path = entry.Path();
        if (entry.IsString()) {
            source.pointName = entry.String();
        } else if (entry.IsArray()) {
            source.point = entry.Vector3();
        } else {
            entry.Fail("expected a point [x, y, z] or the name of a point shape, got " +
                       JsonNode::Describe(entry.Value()));
        }
        shape.planePoints.push_back(source);
    }
}

void SceneParser::ParseCurve(const JsonNode& node, ShapeInput& shape) const {
    ParsePicks(node, shape);
    if (node.Has("mode")) {
        const JsonNode mode = node.Member("mode");
        const std::string value = mode.String();
        if (value == "interpolate") {
            shape.interpolate = true;
        } else if (value == "approximate") {
            shape.interpolate = false;
        } else {
            mode.Fail("unknown mode " + Quote(value) +
                      " (expected \"interpolate\" or \"approximate\")");
        }
    }
    if (!shape.interpolate || node.Has("interval")) {
        shape.interval = node.Member("interval").PositiveNumber();
    }
    if (node.Has("samples")) {
        const JsonNode samples = node.Member("samples");
        shape.sampleCount = samples.PositiveInteger();
        if (shape.sampleCount < 2) {
            samples.Fail("expected at least 2 samples");
        }
        // A billion samples would take gigabytes: far beyond any use, and a server must not.
        if (shape.sampleCount > 100000) {
            samples.Fail("expected at most 100000 samples, got " +
                         std::to_string(shape.sampleCount));
        }
    }
}

void SceneParser::ParseTruth(const JsonNode& node, ShapeInput& shape) const {
    Truth truth;
    truth.comment = Comment(node);
    switch (shape.kind) {
        case ShapeKind::kPoint:
            node.CheckMembers({"point"});
            truth.point = node.Member("point").Vector3();
            break;
        case ShapeKind::kLine:
            node.CheckMembers({"point", "direction"});
            truth.point = node.Member("point").Vector3();
            truth.direction = node.Member("direction").Vector3();
            if (std::hypot((*truth.direction)[0], (*truth.direction)[1], (*truth.direction)[2]) ==
                0.0) {
                node.Member("direction").Fail("must not be the zero vector");
            }
            break;
        case ShapeKind::kSegment:
            node.CheckMembers({"start", "end"});
            truth.start = node.Member("start").Vector3();
            truth.end = node.Member("end").Vector3();
            break;
        case ShapeKind::kCylinder:
            node.CheckMembers({"start", "end", "radius"});
            truth.start = node.Member("start").Vector3();
            truth.end = node.Member("end").Vector3();
            truth.radius = node.Member("radius").PositiveNumber();
            break;
        case ShapeKind::kPlane:
            node.CheckMembers({"point", "normal"});
            truth.point = node.Member("point").Vector3();
            truth.normal = node.Member("normal").Vector3();
            if (std::hypot((*truth.normal)[0], (*truth.normal)[1], (*truth.normal)[2]) == 0.0) {
                node.Member("normal").Fail("must not be the zero vector");
            }
            break;
        case ShapeKind::kCurve: {
            node.CheckMembers({"image_points"});
            const JsonNode points = node.Member("image_points");
            const std::size_t count = points.SizeAtLeast(2, "image points");
            for (std::size_t i = 0; i < count; ++i) {
                const auto xy = points.Element(i).Point2();
                truth.imagePoints.push_back({xy[0], xy[1]});
            }
            break;
        }
    }
    shape.truth = truth;
}

void SceneParser::ParseShapes(const JsonNode& shapes) {
    // A scene may hold no shape yet (a workbench starts with none); "shapes" is still required.
    const std::size_t count = shapes.Size();
    std::set<std::string> names;
    for (std::size_t i = 0; i < count; ++i) {
        const JsonNode node = shapes.Element(i);
        ShapeInput shape;
        shape.path = node.Path();
        shape.comment = Comment(node);
        shape.name = node.Member("name").String();
        if (!names.insert(shape.name).second) {
            node.Member("name").Fail("duplicate shape name " + Quote(shape.name));
        }
        const JsonNode kindNode = node.Member("kind");
        const std::string kind = kindNode.String();
        const std::map<std::string, ShapeKind> kinds = {{"point", ShapeKind::kPoint},
                                                        {"line", ShapeKind::kLine},
                                                        {"segment", ShapeKind::kSegment},
                                                        {"cylinder", ShapeKind::kCylinder},
                                                        {"plane", ShapeKind::kPlane},
                                                        {"curve", ShapeKind::kCurve}};
        const auto found = kinds.find(kind);
        if (found == kinds.end()) {
            kindNode.Fail("unknown kind " + Quote(kind) +
                          " (expected point, line, segment, cylinder, plane or curve)");
        }
        shape.kind = found->second;
        switch (shape.kind) {
            case ShapeKind::kPoint:
            case ShapeKind::kLine:
                node.CheckMembers({"name", "kind", "outliers", "refine", "picks", "truth"});
                ParsePicks(node, shape);
                ParseOutliers(node, shape);
                break;
            case ShapeKind::kSegment:
                node.CheckMembers(
                    {"name", "kind", "extent", "outliers", "refine", "picks", "truth"});
                ParsePicks(node, shape);
                ParseExtent(node, shape);
                ParseOutliers(node, shape);
                break;
            case ShapeKind::kCylinder:
                node.CheckMembers(
                    {"name", "kind", "picks", "method", "extent", "outliers", "refine", "truth"});
                ParsePicks(node, shape);
                ParseExtent(node, shape);
                ParseOutliers(node, shape);
                if (node.Has("method")) {
                    const JsonNode method = node.Member("method");
                    const std::string value = method.String();
                    if (value == "tangent-planes") {
                        shape.tangentPlanes = true;
                    } else if (value == "centre-lines" || value == "center-lines") {
                        shape.tangentPlanes = false;
                    } else {
                        method.Fail("unknown method " + Quote(value) +
                                    " (expected \"tangent-planes\" or \"centre-lines\")");
                    }
                }
                break;
            case ShapeKind::kPlane:
                node.CheckMembers({"name", "kind", "points", "refine", "truth"});
                ParsePlane(node, shape);
                break;
            case ShapeKind::kCurve:
                node.CheckMembers(
                    {"name", "kind", "picks", "mode", "interval", "samples", "refine", "truth"});
                ParseCurve(node, shape);
                break;
        }
        ParseRefine(node, shape);
        if (node.Has("truth")) {
            ParseTruth(node.Member("truth"), shape);
        }
        m_scene.shapes.push_back(std::move(shape));
    }
    ResolvePlanePoints();
}

void SceneParser::ResolvePlanePoints() const {
    for (const ShapeInput& shape : m_scene.shapes) {
        for (const PlaneSource& source : shape.planePoints) {
            if (source.pointName.empty()) {
                continue;
            }
            bool found = false;
            for (const ShapeInput& other : m_scene.shapes) {
                if (other.name == source.pointName) {
                    if (other.kind != ShapeKind::kPoint) {
                        throw InputError(m_scene.file,
                                         source.path,
                                         Quote(source.pointName) + " is a " + KindName(other.kind) +
                                             ", not a point shape");
                    }
                    found = true;
                }
            }
            if (!found) {
                throw InputError(
                    m_scene.file, source.path, "no point shape named " + Quote(source.pointName));
            }
        }
    }
}

}  // namespace

Scene ParseScene(const std::string& text, const std::string& file, const FileResolver& resolver) {
    const Json document = ParseJsonText(text, file);
    const JsonNode root(document, file, "");
    root.CheckMembers({"title", "units", "cameras", "camera_sources", "shapes"});

    Scene scene;
    scene.file = file;
    scene.comment = Comment(root);
    if (root.Has("title")) {
        scene.title = root.Member("title").String();
    }
    if (root.Has("units")) {
        scene.units = root.Member("units").String();
    }
    if (!root.Has("cameras") && !root.Has("camera_sources")) {
        root.Fail("missing required field \"cameras\" (or \"camera_sources\")");
    }
    if (root.Has("cameras")) {
        const JsonNode cameras = root.Member("cameras");
        const std::size_t count = cameras.SizeAtLeast(1, "cameras");
        for (std::size_t i = 0; i < count; ++i) {
            scene.cameras.push_back(ParseInlineCamera(cameras.Element(i), resolver, scene));
        }
    }
    if (root.Has("camera_sources")) {
        const JsonNode sources = root.Member("camera_sources");
        const std::size_t count = sources.SizeAtLeast(1, "camera sources");
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t before = scene.cameras.size();
            ParseCameraSource(sources.Element(i), resolver, scene);
            if (scene.cameras.size() == before) {
                sources.Element(i).Fail("defines no camera");
            }
        }
    }
    // Camera ids name the images in picks: they must be unique.
    for (std::size_t i = 0; i < scene.cameras.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (scene.cameras[i].id == scene.cameras[j].id) {
                throw InputError(file,
                                 "cameras",
                                 "duplicate camera id " + Quote(scene.cameras[i].id) + " (from " +
                                     scene.cameras[j].origin + " and " + scene.cameras[i].origin +
                                     ")");
            }
        }
    }
    SceneParser parser(scene, root);
    parser.ParseShapes(root.Member("shapes"));
    return scene;
}

Scene ParseScene(const std::string& text,
                 const std::string& file,
                 const std::string& baseDirectory) {
    return ParseScene(text, file, FileResolver(baseDirectory, true));
}

Scene LoadScene(const std::string& file, bool allowOutsidePaths) {
    const std::size_t slash = file.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "" : file.substr(0, slash);
    const FileResolver resolver(
        directory, !allowOutsidePaths, " (--allow-outside-paths opens any path)");
    Scene scene = ParseScene(ReadTextFile(file, kSceneFileLimit), file, resolver);
    scene.inputs.insert(scene.inputs.begin(), file);
    return scene;
}

bool operator==(const Vec2& a, const Vec2& b) {
    return a.x == b.x && a.y == b.y;
}
bool operator==(const Segment2& a, const Segment2& b) {
    return a.start == b.start && a.end == b.end;
}

bool operator==(const Camera& a, const Camera& b) {
    const auto values = [](const CCamera& camera) {
        const CCameraParam& param = camera.GetCameraParam();
        const C2DCoordinate principal = param.GetIntrinsicParam().GetPrincipalPointParam();
        const CLensModel& lens = camera.GetLensModel();
        std::array<double, 20> all{param.GetIntrinsicParam().GetFocalLengthParam(),
                                   principal.GetData(0),
                                   principal.GetData(1)};
        param.GetExtrinsicParam().GetRotateMatrix().GetMatrix(&all[3]);
        param.GetExtrinsicParam().GetTranslateVector().GetVector(&all[12]);
        lens.GetIntrinsics(all[15], all[16], all[17], all[18], all[19]);
        return std::make_tuple(
            all, lens.GetKind(), lens.GetCoefficients(), camera.GetWidth(), camera.GetHeight());
    };
    return std::tie(a.id, a.origin, a.source, a.rotationVector, a.image, a.imageName, a.comment) ==
               std::tie(
                   b.id, b.origin, b.source, b.rotationVector, b.image, b.imageName, b.comment) &&
           std::tie(a.lens.model, a.lens.params, a.lens.cameraMatrix, a.lens.distortion) ==
               std::tie(b.lens.model, b.lens.params, b.lens.cameraMatrix, b.lens.distortion) &&
           values(a.calibration) == values(b.calibration);
}

bool operator==(const CameraSource& a, const CameraSource& b) {
    return std::tie(a.format, a.path, a.id, a.model, a.images, a.imageFolder, a.comment) ==
           std::tie(b.format, b.path, b.id, b.model, b.images, b.imageFolder, b.comment);
}
bool operator==(const PointPick& a, const PointPick& b) {
    return a.camera == b.camera && a.point == b.point;
}
bool operator==(const SegmentPick& a, const SegmentPick& b) {
    return a.camera == b.camera && a.segment == b.segment;
}
bool operator==(const CylinderPick& a, const CylinderPick& b) {
    return a.camera == b.camera && a.edges == b.edges;
}
bool operator==(const PlaneSource& a, const PlaneSource& b) {
    return std::tie(a.pointName, a.point, a.path) == std::tie(b.pointName, b.point, b.path);
}

bool operator==(const Truth& a, const Truth& b) {
    return std::tie(a.point,
                    a.direction,
                    a.start,
                    a.end,
                    a.normal,
                    a.radius,
                    a.imagePoints,
                    a.comment) ==
           std::tie(
               b.point, b.direction, b.start, b.end, b.normal, b.radius, b.imagePoints, b.comment);
}

bool operator==(const ShapeInput& a, const ShapeInput& b) {
    return std::tie(a.name,
                    a.kind,
                    a.path,
                    a.pointPicks,
                    a.segmentPicks,
                    a.cylinderPicks,
                    a.tangentPlanes,
                    a.extent,
                    a.outliers,
                    a.refine,
                    a.planePoints,
                    a.curveCamera,
                    a.curvePicks,
                    a.interpolate,
                    a.interval,
                    a.sampleCount,
                    a.truth,
                    a.comment) == std::tie(b.name,
                                           b.kind,
                                           b.path,
                                           b.pointPicks,
                                           b.segmentPicks,
                                           b.cylinderPicks,
                                           b.tangentPlanes,
                                           b.extent,
                                           b.outliers,
                                           b.refine,
                                           b.planePoints,
                                           b.curveCamera,
                                           b.curvePicks,
                                           b.interpolate,
                                           b.interval,
                                           b.sampleCount,
                                           b.truth,
                                           b.comment);
}

bool operator==(const Scene& a, const Scene& b) {
    return std::tie(a.file,
                    a.title,
                    a.units,
                    a.comment,
                    a.cameras,
                    a.cameraSources,
                    a.shapes,
                    a.warnings,
                    a.inputs) == std::tie(b.file,
                                          b.title,
                                          b.units,
                                          b.comment,
                                          b.cameras,
                                          b.cameraSources,
                                          b.shapes,
                                          b.warnings,
                                          b.inputs);
}

}  // namespace measure
