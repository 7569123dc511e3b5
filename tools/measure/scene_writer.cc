#include "measure/scene_writer.h"

#include <algorithm>

#include "measure/rotation.h"

namespace measure {

namespace {

Json Point(const Vec2& point) {
    return Json::array({point.x, point.y});
}

Json Points(const std::vector<Vec2>& points) {
    Json list = Json::array();
    for (const Vec2& point : points) {
        list.push_back(Point(point));
    }
    return list;
}

Json Edge(const Segment2& segment) {
    return Json::array({Point(segment.start), Point(segment.end)});
}

Json Vector(const Vec3& v) {
    return Json::array({v[0], v[1], v[2]});
}

// Adds the comment when there is one.
void PutComment(Json& object, const Json& comment) {
    if (!comment.is_null()) {
        object["comment"] = comment;
    }
}

Json CameraEntry(const Camera& camera) {
    const CCameraParam& param = camera.calibration.GetCameraParam();
    const C2DCoordinate principal = param.GetIntrinsicParam().GetPrincipalPointParam();
    std::array<double, 9> matrix{};
    param.GetExtrinsicParam().GetRotateMatrix().GetMatrix(matrix.data());
    Vec3 translation{};
    param.GetExtrinsicParam().GetTranslateVector().GetVector(translation.data());
    const LensInput& lens = camera.lens;
    Json entry;
    entry["id"] = camera.id;
    if (lens.model.empty()) {
        entry["focal_length"] = param.GetIntrinsicParam().GetFocalLengthParam();
        entry["principal_point"] = {principal.GetData(0), principal.GetData(1)};
    } else if (lens.model == "opencv" || lens.model == "opencv_fisheye") {
        const std::array<double, 9>& k = lens.cameraMatrix;
        entry["model"] = lens.model;
        entry["camera_matrix"] = Json::array({Json::array({k[0], k[1], k[2]}),
                                              Json::array({k[3], k[4], k[5]}),
                                              Json::array({k[6], k[7], k[8]})});
        entry["distortion"] = lens.distortion;
    } else {
        entry["model"] = lens.model;
        entry["params"] = lens.params;
    }
    entry["width"] = camera.calibration.GetWidth();
    entry["height"] = camera.calibration.GetHeight();
    // The vector as given, unless the pose has been changed since.
    if (camera.rotationVector && RotationFromVector(*camera.rotationVector) == matrix) {
        entry["rotation"] = Vector(*camera.rotationVector);
    } else {
        entry["rotation"] = Json::array({Json::array({matrix[0], matrix[1], matrix[2]}),
                                         Json::array({matrix[3], matrix[4], matrix[5]}),
                                         Json::array({matrix[6], matrix[7], matrix[8]})});
    }
    entry["translation"] = Vector(translation);
    if (!camera.imageName.empty()) {
        entry["image"] = camera.imageName;
    }
    PutComment(entry, camera.comment);
    return entry;
}

Json SourceEntry(const CameraSource& source) {
    Json entry;
    entry["format"] = source.format;
    entry["path"] = source.path;
    if (!source.id.empty()) {
        entry["id"] = source.id;
    }
    if (!source.model.empty()) {
        entry["model"] = source.model;
    }
    if (!source.images.empty()) {
        entry["images"] = source.images;
    }
    if (!source.imageFolder.empty()) {
        entry["image_folder"] = source.imageFolder;
    }
    PutComment(entry, source.comment);
    return entry;
}

Json Picks(const Scene& scene, const ShapeInput& shape) {
    Json picks = Json::object();
    const auto id = [&](std::size_t camera) { return scene.cameras.at(camera).id; };
    for (const PointPick& pick : shape.pointPicks) {
        picks[id(pick.camera)] = Point(pick.point);
    }
    for (const SegmentPick& pick : shape.segmentPicks) {
        picks[id(pick.camera)] = Edge(pick.segment);
    }
    for (const CylinderPick& pick : shape.cylinderPicks) {
        Json edges = Json::array();
        for (const std::optional<Segment2>& edge : pick.edges) {
            edges.push_back(edge ? Edge(*edge) : Json());
        }
        picks[id(pick.camera)] = edges;
    }
    if (shape.kind == ShapeKind::kCurve) {
        picks[id(shape.curveCamera)] = Points(shape.curvePicks);
    }
    return picks;
}

Json TruthEntry(const Truth& truth) {
    Json entry = Json::object();
    const std::pair<const char*, const std::optional<Vec3>*> vectors[] = {
        {"point", &truth.point},
        {"direction", &truth.direction},
        {"start", &truth.start},
        {"end", &truth.end}};
    for (const auto& [name, value] : vectors) {
        if (*value) {
            entry[name] = Vector(**value);
        }
    }
    if (truth.radius) {
        entry["radius"] = *truth.radius;
    }
    if (truth.normal) {
        entry["normal"] = Vector(*truth.normal);
    }
    if (!truth.imagePoints.empty()) {
        entry["image_points"] = Points(truth.imagePoints);
    }
    PutComment(entry, truth.comment);
    return entry;
}

Json ShapeEntry(const Scene& scene, const ShapeInput& shape) {
    Json entry;
    entry["name"] = shape.name;
    entry["kind"] = KindName(shape.kind);
    if (shape.kind == ShapeKind::kCylinder) {
        entry["method"] = shape.tangentPlanes ? "tangent-planes" : "centre-lines";
    }
    if (shape.extent == Extent::kMedian) {
        entry["extent"] = "median";
    }
    if (shape.outliers == Outliers::kDrop) {
        entry["outliers"] = "drop";
    }
    if (shape.refine != Refine::kNone) {
        entry["refine"] = shape.refine == Refine::kCorner ? "corner" : "edge";
    }
    if (shape.kind == ShapeKind::kCurve) {
        entry["mode"] = shape.interpolate ? "interpolate" : "approximate";
        if (shape.interval > 0.0) {
            entry["interval"] = shape.interval;
        }
        entry["samples"] = shape.sampleCount;
    }
    if (shape.kind == ShapeKind::kPlane) {
        Json points = Json::array();
        for (const PlaneSource& source : shape.planePoints) {
            points.push_back(source.pointName.empty() ? Vector(source.point)
                                                      : Json(source.pointName));
        }
        entry["points"] = points;
    } else {
        entry["picks"] = Picks(scene, shape);
    }
    if (shape.truth) {
        entry["truth"] = TruthEntry(*shape.truth);
    }
    PutComment(entry, shape.comment);
    return entry;
}

// One value at the given indentation: objects and arrays of objects over several lines, any
// other array on one.
void Lay(const Json& value, const std::string& indent, std::string& out) {
    const bool holdsObject =
        value.is_array() && std::any_of(value.begin(), value.end(), [](const Json& element) {
            return element.is_object();
        });
    if (value.empty() || (!value.is_object() && !holdsObject)) {
        if (value.is_array()) {
            out += "[";
            for (std::size_t i = 0; i < value.size(); ++i) {
                out += i == 0 ? "" : ", ";
                Lay(value[i], indent, out);
            }
            out += "]";
        } else {
            out += value.dump(-1, ' ', false, Json::error_handler_t::replace);
        }
        return;
    }
    const std::string inner = indent + "  ";
    out += value.is_object() ? "{\n" : "[\n";
    bool first = true;
    for (auto it = value.begin(); it != value.end(); ++it) {
        out += (first ? "" : ",\n") + inner;
        first = false;
        if (value.is_object()) {
            out += Json(it.key()).dump(-1, ' ', false, Json::error_handler_t::replace) + ": ";
        }
        Lay(it.value(), inner, out);
    }
    out += "\n" + indent + (value.is_object() ? "}" : "]");
}

}  // namespace

Json SceneDocument(const Scene& scene) {
    Json document;
    if (!scene.title.empty()) {
        document["title"] = scene.title;
    }
    PutComment(document, scene.comment);
    document["units"] = scene.units;
    Json cameras = Json::array();
    for (const Camera& camera : scene.cameras) {
        if (!camera.source) {
            cameras.push_back(CameraEntry(camera));
        }
    }
    if (!cameras.empty()) {
        document["cameras"] = cameras;
    }
    if (!scene.cameraSources.empty()) {
        Json sources = Json::array();
        for (const CameraSource& source : scene.cameraSources) {
            sources.push_back(SourceEntry(source));
        }
        document["camera_sources"] = sources;
    }
    Json shapes = Json::array();
    for (const ShapeInput& shape : scene.shapes) {
        shapes.push_back(ShapeEntry(scene, shape));
    }
    document["shapes"] = shapes;
    return document;
}

std::string SceneText(const Scene& scene) {
    std::string text;
    Lay(SceneDocument(scene), "", text);
    return text + "\n";
}

}  // namespace measure
