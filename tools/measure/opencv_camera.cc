#include "measure/opencv_camera.h"

#include <algorithm>
#include <initializer_list>

#include "measure/camera_fields.h"
#include "measure/json_node.h"
#include "measure/rotation.h"
#include "measure/yaml_reader.h"

namespace measure {

namespace {

// The first member present among the names; fails naming all of them.
JsonNode FindMember(const JsonNode& root,
                    std::initializer_list<const char*> names,
                    const char* what) {
    for (const char* name : names) {
        if (root.Has(name)) {
            return root.Member(name);
        }
    }
    std::string list;
    for (const char* name : names) {
        list += (list.empty() ? "" : ", ") + std::string(name);
    }
    root.Fail(std::string("missing ") + what + " (looked for: " + list + ")");
}

bool HasAny(const JsonNode& root, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (root.Has(name)) {
            return true;
        }
    }
    return false;
}

// A matrix of rows x cols as an !!opencv-matrix block, nested arrays, or a flat array; a vector
// (rows or cols equal to 1) may be given either way round.
std::vector<double> ReadMatrix(const JsonNode& node, std::size_t rows, std::size_t cols) {
    std::vector<double> values;
    const std::string shape = std::to_string(rows) + " x " + std::to_string(cols);
    if (node.IsObject()) {
        const std::size_t r = static_cast<std::size_t>(node.Member("rows").PositiveInteger());
        const std::size_t c = static_cast<std::size_t>(node.Member("cols").PositiveInteger());
        const bool vector = rows == 1 || cols == 1;
        if (!(r == rows && c == cols) && !(vector && r * c == rows * cols && (r == 1 || c == 1))) {
            node.Fail("expected a " + shape + " matrix, got " + std::to_string(r) + " x " +
                      std::to_string(c));
        }
        const JsonNode data = node.Member("data");
        if (data.Size() != r * c) {
            data.Fail("expected " + std::to_string(r * c) + " values, got " +
                      std::to_string(data.Size()));
        }
        for (std::size_t i = 0; i < data.Size(); ++i) {
            values.push_back(data.Element(i).Number());
        }
        return values;
    }
    if (node.IsArray() && node.Size() == rows && rows > 1 && node.Value()[0].is_array()) {
        for (std::size_t row = 0; row < rows; ++row) {
            const JsonNode line = node.Element(row);
            if (line.Size() != cols) {
                line.Fail("expected " + std::to_string(cols) + " values, got " +
                          std::to_string(line.Size()));
            }
            for (std::size_t col = 0; col < cols; ++col) {
                values.push_back(line.Element(col).Number());
            }
        }
        return values;
    }
    if (node.IsArray() && node.Size() == rows * cols) {
        for (std::size_t i = 0; i < node.Size(); ++i) {
            values.push_back(node.Element(i).Number());
        }
        return values;
    }
    node.Fail("expected a " + shape + " matrix (an opencv-matrix, nested rows or " +
              std::to_string(rows * cols) + " numbers), got " + JsonNode::Describe(node.Value()));
}

}  // namespace

Camera ReadOpenCvCamera(const std::string& file,
                        const std::string& id,
                        std::vector<std::string>& warnings) {
    const std::string text = ReadTextFile(file, kCameraFileLimit);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const bool json = first != std::string::npos && text[first] == '{';
    const Json document = json ? ParseJsonText(text, file) : ParseOpenCvYaml(text, file);
    const JsonNode root(document, file, "");
    if (!root.IsObject()) {
        root.Fail("expected a mapping of K, R, t and the image size");
    }

    Camera camera;
    camera.id = id;
    camera.origin = file;
    const JsonNode kNode =
        FindMember(root, {"K", "camera_matrix", "cameraMatrix"}, "the camera matrix");
    const std::vector<double> k = ReadMatrix(kNode, 3, 3);
    const double fx = k[0];
    const double fy = k[4];
    if (!(fx > 0.0) || !(fy > 0.0)) {
        kNode.Fail("the focal lengths K[0][0] and K[1][1] must be greater than 0");
    }
    if (k[3] != 0.0 || k[6] != 0.0 || k[7] != 0.0 || k[8] != 1.0) {
        kNode.Fail("expected a camera matrix [[fx, s, cx], [0, fy, cy], [0, 0, 1]]");
    }
    const double focalLength = 0.5 * (fx + fy);
    if (fx != fy) {
        warnings.push_back(file + ": " + FocalLengthsApart(fx, fy));
    }
    if (k[1] != 0.0) {
        warnings.push_back(file + ": the skew K[0][1] = " + std::to_string(k[1]) + " is ignored");
    }

    const bool matrix = HasAny(root, {"R", "rotation_matrix"});
    const JsonNode rNode = matrix ? FindMember(root, {"R", "rotation_matrix"}, "the rotation")
                                  : FindMember(root,
                                               {"R", "rotation_matrix", "rvec", "rotation_vector"},
                                               "the rotation (R or rvec)");
    std::array<double, 9> rotation{};
    if (matrix) {
        const std::vector<double> r = ReadMatrix(rNode, 3, 3);
        std::copy(r.begin(), r.end(), rotation.begin());
        RequireRotationMatrix(rNode, rotation);
    } else {
        const std::vector<double> r = ReadMatrix(rNode, 3, 1);
        rotation = RotationFromVector({r[0], r[1], r[2]});
    }
    const JsonNode tNode = FindMember(root, {"t", "T", "tvec", "translation"}, "the translation");
    const std::vector<double> t = ReadMatrix(tNode, 3, 1);
    camera.calibration = PinholeCamera(focalLength, k[2], k[5], 0, 0, rotation, {t[0], t[1], t[2]});
    RequireUsablePose(camera, file, rNode.Path(), tNode.Path());

    if (root.Has("image_size")) {
        const JsonNode size = root.Member("image_size");
        if (size.Size() != 2) {
            size.Fail("expected [width, height]");
        }
        const int width = size.Element(0).PositiveInteger();
        camera.calibration.SetImageSize(width, size.Element(1).PositiveInteger());
    } else {
        const int width =
            FindMember(root, {"image_width", "width"}, "the image width").PositiveInteger();
        camera.calibration.SetImageSize(
            width,
            FindMember(root, {"image_height", "height"}, "the image height").PositiveInteger());
    }

    if (HasAny(root, {"D", "dist_coeffs", "distCoeffs", "distortion_coefficients"})) {
        const JsonNode dNode = FindMember(
            root, {"D", "dist_coeffs", "distCoeffs", "distortion_coefficients"}, "distortion");
        const JsonNode data = dNode.IsObject() ? dNode.Member("data") : dNode;
        bool distorted = false;
        for (std::size_t i = 0; i < data.Size(); ++i) {
            distorted = distorted || data.Element(i).Number() != 0.0;
        }
        if (distorted) {
            warnings.push_back(file +
                               ": lens distortion coefficients are ignored; picks must come "
                               "from undistorted images");
        }
    }
    return camera;
}

}  // namespace measure
