#include "measure/opencv_camera.h"

#include <algorithm>
#include <initializer_list>
#include <optional>

#include "measure/camera_fields.h"
#include "measure/json_node.h"
#include "measure/rotation.h"
#include "measure/yaml_reader.h"

namespace measure {

namespace {

// The member present among the names (none when absent); fails when two of them are given, since
// one would be ignored.
std::optional<JsonNode> FindMember(const JsonNode& root, std::initializer_list<const char*> names) {
    std::optional<JsonNode> found;
    for (const char* name : names) {
        if (root.Has(name)) {
            if (found) {
                root.Member(name).Fail("given twice, also as " + found->Path());
            }
            found = root.Member(name);
        }
    }
    return found;
}

// The member present among the names; fails naming all of them when none is.
JsonNode RequireMember(const JsonNode& root,
                       std::initializer_list<const char*> names,
                       const char* what) {
    const std::optional<JsonNode> found = FindMember(root, names);
    if (!found) {
        std::string list;
        for (const char* name : names) {
            list += (list.empty() ? "" : ", ") + std::string(name);
        }
        root.Fail(std::string("missing ") + what + " (looked for: " + list + ")");
    }
    return *found;
}

// The values of a matrix of cols columns and any number of rows (rows, when not 0, must match):
// an !!opencv-matrix block of one channel, nested rows, or a flat list. A vector (cols 1) may be
// given as a row or a column.
std::vector<double> ReadMatrix(const JsonNode& node, std::size_t rows, std::size_t cols) {
    const std::string shape = (rows ? std::to_string(rows) : "N") + " x " + std::to_string(cols);
    std::vector<double> values;
    const auto take = [&values](const JsonNode& list) {
        for (std::size_t i = 0; i < list.Size(); ++i) {
            values.push_back(list.Element(i).Number());
        }
    };
    if (node.IsObject()) {
        const std::size_t r = static_cast<std::size_t>(node.Member("rows").PositiveInteger());
        const std::size_t c = static_cast<std::size_t>(node.Member("cols").PositiveInteger());
        const bool vector = cols == 1 && (r == 1 || c == 1);
        if (!(c == cols && (rows == 0 || r == rows)) && !(vector && (rows == 0 || r * c == rows))) {
            node.Fail("expected a " + shape + " matrix, got " + std::to_string(r) + " x " +
                      std::to_string(c));
        }
        if (node.Has("dt")) {
            const JsonNode type = node.Member("dt");
            const std::string dt = type.IsString() ? type.String() : "";
            if (dt.empty() || (dt.size() > 1 && dt != "1d" && dt != "1f")) {
                type.Fail("expected a matrix of one channel (dt d or f), got " +
                          type.Value().dump());
            }
        }
        const JsonNode data = node.Member("data");
        if (data.Size() != r * c) {
            data.Fail("expected " + std::to_string(r * c) + " values, got " +
                      std::to_string(data.Size()));
        }
        take(data);
    } else if (cols == 1 && node.IsArray() && node.Size() == 1 && node.Value()[0].is_array()) {
        take(node.Element(0));  // a vector as one row [[...]]
        if (rows != 0 && values.size() != rows) {
            node.Fail("expected " + std::to_string(rows) + " values, got " +
                      std::to_string(values.size()));
        }
    } else if (node.IsArray() && node.Size() > 0 && node.Value()[0].is_array()) {
        if (rows != 0 && node.Size() != rows) {
            node.Fail("expected a " + shape + " matrix, got " + std::to_string(node.Size()) +
                      " rows");
        }
        for (std::size_t row = 0; row < node.Size(); ++row) {
            const JsonNode line = node.Element(row);
            if (line.Size() != cols) {
                line.Fail("expected " + std::to_string(cols) + " values, got " +
                          std::to_string(line.Size()));
            }
            take(line);
        }
    } else if (node.IsArray() && node.Size() > 0 && node.Size() % cols == 0 &&
               (rows == 0 || node.Size() == rows * cols)) {
        take(node);
    } else {
        node.Fail("expected a " + shape + " matrix (an opencv-matrix, nested rows or a list of " +
                  (rows ? std::to_string(rows * cols) + " numbers" : "numbers") + "), got " +
                  JsonNode::Describe(node.Value()));
    }
    return values;
}

// A camera matrix and its distortion as a lens; fails at the field at fault.
CLensModel ReadLens(const JsonNode& kNode, const std::optional<JsonNode>& dNode, bool fisheye) {
    std::array<double, 9> k{};
    const std::vector<double> values = ReadMatrix(kNode, 3, 3);
    std::copy(values.begin(), values.end(), k.begin());
    const std::string refusal = CameraMatrixRefusal(k);
    if (!refusal.empty()) {
        kNode.Fail(refusal);
    }
    const std::vector<double> distortion = dNode ? ReadMatrix(*dNode, 0, 1) : std::vector<double>();
    CLensModel lens;
    std::string reason;
    if (!OpenCvLens(k, distortion, fisheye, lens, reason)) {
        (dNode ? *dNode : kNode).Fail(reason);
    }
    return lens;
}

std::array<double, 9> ReadRotationMatrix(const JsonNode& node) {
    std::array<double, 9> rotation{};
    const std::vector<double> r = ReadMatrix(node, 3, 3);
    std::copy(r.begin(), r.end(), rotation.begin());
    RequireRotationMatrix(node, rotation);
    return rotation;
}

}  // namespace

std::vector<Camera> ReadOpenCvCameras(const std::string& file,
                                      const std::string& id,
                                      bool fisheye) {
    return ParseOpenCvCameras(ReadTextFile(file, kCameraFileLimit), file, id, fisheye);
}

std::vector<Camera> ParseOpenCvCameras(const std::string& text,
                                       const std::string& file,
                                       const std::string& id,
                                       bool fisheye) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const bool json = first != std::string::npos && text[first] == '{';
    const Json document = json ? ParseJsonText(text, file) : ParseOpenCvYaml(text, file);
    const JsonNode root(document, file, "");
    if (!root.IsObject()) {
        root.Fail("expected a mapping of the camera matrix, the poses and the image size");
    }

    int width = 0;
    int height = 0;
    if (const std::optional<JsonNode> size = FindMember(root, {"image_size"})) {
        if (FindMember(root, {"image_width", "width", "image_height", "height"})) {
            size->Fail("the image size is given twice");
        }
        if (size->Size() != 2) {
            size->Fail("expected [width, height]");
        }
        width = size->Element(0).PositiveInteger();
        height = size->Element(1).PositiveInteger();
    } else {
        width = RequireMember(root, {"image_width", "width"}, "the image width").PositiveInteger();
        height =
            RequireMember(root, {"image_height", "height"}, "the image height").PositiveInteger();
    }

    struct View {
        std::string id;
        CLensModel lens;
        std::array<double, 9> rotation;
        Vec3 translation;
        std::string rotationWhere;
        std::string translationWhere;
        std::string origin;  // the field that defines the camera
    };
    std::vector<View> views;
    const std::optional<JsonNode> stereo = FindMember(root, {"M1"});
    const std::optional<JsonNode> kNode = FindMember(root, {"K", "camera_matrix", "cameraMatrix"});
    if (stereo && kNode) {
        kNode->Fail("a file holds either one camera matrix or the stereo pair M1 and M2, not both");
    }
    if (stereo) {
        const CLensModel first = ReadLens(*stereo, FindMember(root, {"D1"}), fisheye);
        views.push_back(
            {id + "_1", first, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}, "M1", "M1", "M1"});
        const std::optional<JsonNode> second = FindMember(root, {"M2"});
        const std::optional<JsonNode> r = FindMember(root, {"R"});
        const std::optional<JsonNode> t = FindMember(root, {"T"});
        if (second || r || t) {
            const JsonNode m2 = RequireMember(root, {"M2"}, "M2 for R and T");
            const JsonNode rNode = RequireMember(root, {"R"}, "the rotation R from camera 1 to 2");
            const JsonNode tNode =
                RequireMember(root, {"T"}, "the translation T from camera 1 to 2");
            const std::vector<double> translation = ReadMatrix(tNode, 3, 1);
            views.push_back({id + "_2",
                             ReadLens(m2, FindMember(root, {"D2"}), fisheye),
                             ReadRotationMatrix(rNode),
                             {translation[0], translation[1], translation[2]},
                             rNode.Path(),
                             tNode.Path(),
                             "M2"});
        }
    } else {
        const JsonNode k =
            RequireMember(root, {"K", "camera_matrix", "cameraMatrix"}, "the camera matrix");
        const CLensModel lens = ReadLens(
            k,
            FindMember(root, {"D", "dist_coeffs", "distCoeffs", "distortion_coefficients"}),
            fisheye);
        const std::optional<JsonNode> extrinsics = FindMember(root, {"extrinsic_parameters"});
        const std::optional<JsonNode> rMatrix = FindMember(root, {"R", "rotation_matrix"});
        const std::optional<JsonNode> rVector = FindMember(root, {"rvec", "rotation_vector"});
        if (extrinsics) {
            if (rMatrix || rVector || FindMember(root, {"t", "T", "tvec", "translation"})) {
                extrinsics->Fail(
                    "gives the poses of the views; a single pose beside it would be ignored");
            }
            const std::vector<double> rows = ReadMatrix(*extrinsics, 0, 6);
            for (std::size_t view = 0; view < rows.size() / 6; ++view) {
                const double* row = &rows[6 * view];
                const std::string where = extrinsics->Path() + " row " + std::to_string(view + 1);
                views.push_back({id + "_" + std::to_string(view + 1),
                                 lens,
                                 RotationFromVector({row[0], row[1], row[2]}),
                                 {row[3], row[4], row[5]},
                                 where,
                                 where,
                                 where});
            }
        } else {
            if (rMatrix && rVector) {
                rVector->Fail("given twice, also as " + rMatrix->Path());
            }
            const JsonNode rNode =
                rMatrix ? *rMatrix
                        : RequireMember(root,
                                        {"R", "rotation_matrix", "rvec", "rotation_vector"},
                                        "the rotation (R or rvec)");
            std::array<double, 9> rotation{};
            if (rMatrix) {
                rotation = ReadRotationMatrix(rNode);
            } else {
                const std::vector<double> r = ReadMatrix(rNode, 3, 1);
                rotation = RotationFromVector({r[0], r[1], r[2]});
            }
            const JsonNode tNode =
                RequireMember(root, {"t", "T", "tvec", "translation"}, "the translation");
            const std::vector<double> t = ReadMatrix(tNode, 3, 1);
            views.push_back(
                {id, lens, rotation, {t[0], t[1], t[2]}, rNode.Path(), tNode.Path(), ""});
        }
    }

    std::vector<Camera> cameras;
    for (const View& view : views) {
        Camera camera;
        camera.id = view.id;
        camera.origin = view.origin.empty() ? file : file + " " + view.origin;
        camera.calibration = LensCamera(view.lens, width, height, view.rotation, view.translation);
        RequireUsablePose(camera, file, view.rotationWhere, view.translationWhere);
        cameras.push_back(camera);
    }
    return cameras;
}

}  // namespace measure
