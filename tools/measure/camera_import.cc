#include "measure/camera_import.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>

#include "core/soundness.h"
#include "measure/format.h"
#include "measure/input_error.h"
#include "measure/output_file.h"

namespace measure {

std::array<double, 9> RotationFromVector(const Vec3& rotationVector) {
    const CRotateMatrix matrix =
        CRotateVector(C3DVector(rotationVector[0], rotationVector[1], rotationVector[2]))
            .GetRotateMatrix();
    std::array<double, 9> rotation{};
    matrix.GetMatrix(rotation.data());
    return rotation;
}

CCamera PinholeCamera(double focalLength,
                      double principalX,
                      double principalY,
                      int width,
                      int height,
                      const std::array<double, 9>& rotation,
                      const Vec3& translation) {
    const std::array<double, 9>& r = rotation;
    const CRotateMatrix camFromWorld(
        C33Matrix(r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]));
    return CCamera(
        CCameraParam(CIntrinsicParam(focalLength, C2DCoordinate(principalX, principalY)),
                     CExtrinsicParam(camFromWorld,
                                     C3DVector(translation[0], translation[1], translation[2]))),
        width,
        height);
}

void RequireRotationMatrix(const JsonNode& node, const std::array<double, 9>& matrix) {
    const double deviation = CCamera::GetRotationDeviation(matrix.data());
    if (!(deviation <= CCamera::kRotationTolerance)) {
        node.Fail(
            "is not a rotation matrix (largest deviation of R R^T from I, or of det R from 1: " +
            std::to_string(deviation) + ")");
    }
}

void RequireUsablePose(const Camera& camera,
                       const std::string& file,
                       const std::string& rotationWhere,
                       const std::string& translationWhere) {
    const std::string problem = core::CheckCameraPose(camera.calibration.GetCameraParam());
    if (!problem.empty()) {
        const bool translation = problem.find("translation") != std::string::npos ||
                                 problem.find("centre") != std::string::npos;
        throw InputError(file,
                         translation ? translationWhere : rotationWhere,
                         "camera " + Json(camera.id).dump() + " has no usable pose: " + problem);
    }
}

std::array<double, 9> RotationFromQuaternion(double w, double x, double y, double z) {
    const double norm = std::sqrt(w * w + x * x + y * y + z * z);
    w /= norm;
    x /= norm;
    y /= norm;
    z /= norm;
    // clang-format off
    return {1 - 2 * (y * y + z * z),     2 * (x * y - z * w),     2 * (x * z + y * w),
                2 * (x * y + z * w), 1 - 2 * (x * x + z * z),     2 * (y * z - x * w),
                2 * (x * z - y * w),     2 * (y * z + x * w), 1 - 2 * (x * x + y * y)};
    // clang-format on
}

std::array<double, 4> QuaternionFromRotation(const std::array<double, 9>& r) {
    const double trace = r[0] + r[4] + r[8];
    std::array<double, 4> q{};
    if (trace >= r[0] && trace >= r[4] && trace >= r[8]) {
        const double s = 2.0 * std::sqrt(1.0 + trace);
        q = {0.25 * s, (r[7] - r[5]) / s, (r[2] - r[6]) / s, (r[3] - r[1]) / s};
    } else if (r[0] >= r[4] && r[0] >= r[8]) {
        const double s = 2.0 * std::sqrt(1.0 + r[0] - r[4] - r[8]);
        q = {(r[7] - r[5]) / s, 0.25 * s, (r[1] + r[3]) / s, (r[2] + r[6]) / s};
    } else if (r[4] >= r[8]) {
        const double s = 2.0 * std::sqrt(1.0 + r[4] - r[0] - r[8]);
        q = {(r[2] - r[6]) / s, (r[1] + r[3]) / s, 0.25 * s, (r[5] + r[7]) / s};
    } else {
        const double s = 2.0 * std::sqrt(1.0 + r[8] - r[0] - r[4]);
        q = {(r[3] - r[1]) / s, (r[2] + r[6]) / s, (r[5] + r[7]) / s, 0.25 * s};
    }
    if (q[0] < 0.0) {
        for (double& value : q) {
            value = -value;
        }
    }
    return q;
}

namespace {

std::string Quote(const std::string& text) {
    return Json(text).dump();
}

std::vector<std::string> Tokens(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> tokens;
    std::string token;
    while (stream >> token) {
        tokens.push_back(token);
    }
    return tokens;
}

bool ParseDouble(const std::string& token, double& value) {
    if (token.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size();
}

bool ParseWhole(const std::string& token, long& value) {
    if (token.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtol(token.c_str(), &end, 10);
    return end == token.c_str() + token.size() && errno == 0;
}

bool IsComment(const std::string& line) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    return first != std::string::npos && line[first] == '#';
}

bool IsBlank(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

// "fx = 1000 and fy = 1010, 10 px (0.995 %) apart; one focal length is modelled, their mean 1005
// is used"
std::string FocalLengthsApart(double fx, double fy) {
    const double mean = 0.5 * (fx + fy);
    return "fx = " + FormatNumber("%.6g", fx) + " and fy = " + FormatNumber("%.6g", fy) + ", " +
           FormatNumber("%.3g", std::fabs(fx - fy)) + " px (" +
           FormatNumber("%.3g", 100.0 * std::fabs(fx - fy) / mean) +
           " %) apart; one focal length is modelled, their mean " + FormatNumber("%.6g", mean) +
           " is used";
}

struct ColmapIntrinsics {
    std::string model;
    int width;
    int height;
    double focalLength;
    double principalX;
    double principalY;
};

std::map<long, ColmapIntrinsics> ReadColmapCameras(const std::string& file,
                                                   std::vector<std::string>& warnings) {
    std::istringstream text(ReadTextFile(file, kCameraFileLimit));
    std::map<long, ColmapIntrinsics> cameras;
    std::string line;
    for (int number = 1; std::getline(text, line); ++number) {
        if (IsComment(line) || IsBlank(line)) {
            continue;
        }
        const std::string where = "line " + std::to_string(number);
        const std::vector<std::string> tokens = Tokens(line);
        long id = 0;
        if (tokens.size() < 4 || !ParseWhole(tokens[0], id)) {
            throw InputError(file, where, "expected CAMERA_ID MODEL WIDTH HEIGHT PARAMS...");
        }
        ColmapIntrinsics camera;
        camera.model = tokens[1];
        std::vector<double> values;
        for (std::size_t i = 2; i < tokens.size(); ++i) {
            double value = 0.0;
            if (!ParseDouble(tokens[i], value) || !std::isfinite(value)) {
                throw InputError(file, where, "expected a finite number, got " + Quote(tokens[i]));
            }
            values.push_back(value);
        }
        if (values[0] <= 0.0 || values[1] <= 0.0 || values[0] != std::floor(values[0]) ||
            values[1] != std::floor(values[1])) {
            throw InputError(file, where, "image width and height must be whole numbers > 0");
        }
        camera.width = static_cast<int>(values[0]);
        camera.height = static_cast<int>(values[1]);
        if (camera.model == "SIMPLE_PINHOLE") {
            if (values.size() != 5) {
                throw InputError(file, where, "SIMPLE_PINHOLE takes the parameters f, cx, cy");
            }
            camera.focalLength = values[2];
            camera.principalX = values[3];
            camera.principalY = values[4];
        } else if (camera.model == "PINHOLE") {
            if (values.size() != 6) {
                throw InputError(file, where, "PINHOLE takes the parameters fx, fy, cx, cy");
            }
            const double fx = values[2];
            const double fy = values[3];
            camera.focalLength = 0.5 * (fx + fy);
            camera.principalX = values[4];
            camera.principalY = values[5];
            if (fx != fy && fx > 0.0 && fy > 0.0) {
                warnings.push_back(file + " " + where + ": camera " + std::to_string(id) +
                                   " (PINHOLE) has " + FocalLengthsApart(fx, fy));
            }
            if (fx <= 0.0 || fy <= 0.0) {
                throw InputError(file, where, "focal lengths must be greater than 0");
            }
        } else {
            throw InputError(file,
                             where,
                             "camera model " + Quote(camera.model) +
                                 " is not supported: only SIMPLE_PINHOLE and PINHOLE (the "
                                 "measurement has no lens distortion; undistort the images first)");
        }
        if (camera.focalLength <= 0.0) {
            throw InputError(file, where, "the focal length must be greater than 0");
        }
        if (!cameras.emplace(id, camera).second) {
            throw InputError(file, where, "duplicate CAMERA_ID " + std::to_string(id));
        }
    }
    return cameras;
}

// An images.txt line that carries 2D points: numbers in groups of three (or nothing).
bool IsPointsLine(const std::vector<std::string>& tokens) {
    if (tokens.size() % 3 != 0) {
        return false;
    }
    double value = 0.0;
    for (const std::string& token : tokens) {
        if (!ParseDouble(token, value)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<Camera> ReadColmapModel(const std::string& directory,
                                    std::vector<std::string>& warnings) {
    const std::string camerasFile = directory + "/cameras.txt";
    const std::string imagesFile = directory + "/images.txt";
    const std::map<long, ColmapIntrinsics> intrinsics = ReadColmapCameras(camerasFile, warnings);

    std::istringstream text(ReadTextFile(imagesFile, kColmapImagesFileLimit));
    std::vector<Camera> cameras;
    std::string line;
    bool afterHeader = false;  // the line after an image line lists its 2D points
    for (int number = 1; std::getline(text, line); ++number) {
        if (IsComment(line)) {
            continue;
        }
        const std::vector<std::string> tokens = Tokens(line);
        if (afterHeader) {
            afterHeader = false;
            if (IsPointsLine(tokens)) {
                continue;
            }
        }
        if (tokens.empty()) {
            continue;
        }
        const std::string where = "line " + std::to_string(number);
        if (tokens.size() < 10) {
            throw InputError(imagesFile,
                             where,
                             "expected IMAGE_ID QW QX QY QZ TX TY TZ CAMERA_ID NAME, got " +
                                 std::to_string(tokens.size()) + " fields");
        }
        double values[7];
        for (int i = 0; i < 7; ++i) {
            if (!ParseDouble(tokens[1 + i], values[i]) || !std::isfinite(values[i])) {
                throw InputError(
                    imagesFile, where, "expected a finite number, got " + Quote(tokens[1 + i]));
            }
        }
        long cameraId = 0;
        if (!ParseWhole(tokens[8], cameraId)) {
            throw InputError(imagesFile, where, "expected a CAMERA_ID, got " + Quote(tokens[8]));
        }
        const auto found = intrinsics.find(cameraId);
        if (found == intrinsics.end()) {
            throw InputError(imagesFile,
                             where,
                             "CAMERA_ID " + std::to_string(cameraId) + " is not in " + camerasFile);
        }
        if (values[0] == 0.0 && values[1] == 0.0 && values[2] == 0.0 && values[3] == 0.0) {
            throw InputError(imagesFile, where, "the quaternion is zero");
        }
        Camera camera;
        camera.id = tokens[9];
        for (std::size_t i = 10; i < tokens.size(); ++i) {
            camera.id += " " + tokens[i];
        }
        camera.origin = imagesFile + " " + where;
        const ColmapIntrinsics& lens = found->second;
        camera.calibration =
            PinholeCamera(lens.focalLength,
                          lens.principalX,
                          lens.principalY,
                          lens.width,
                          lens.height,
                          RotationFromQuaternion(values[0], values[1], values[2], values[3]),
                          {values[4], values[5], values[6]});
        RequireUsablePose(camera, imagesFile, where, where);
        cameras.push_back(camera);
        afterHeader = true;
    }
    if (cameras.empty()) {
        throw InputError(imagesFile, "", "lists no image");
    }
    return cameras;
}

std::vector<std::string> ColmapModelPaths(const std::string& directory) {
    return {directory + "/cameras.txt", directory + "/images.txt", directory + "/points3D.txt"};
}

void WriteColmapModel(const std::string& directory, const std::vector<Camera>& cameras) {
    std::ostringstream camerasText;
    std::ostringstream imagesText;
    camerasText << "# Camera list with one line of data per camera:\n"
                << "#   CAMERA_ID, MODEL, WIDTH, HEIGHT, PARAMS[]\n"
                << "# Number of cameras: " << cameras.size() << "\n";
    imagesText << "# Image list with two lines of data per image:\n"
               << "#   IMAGE_ID, QW, QX, QY, QZ, TX, TY, TZ, CAMERA_ID, NAME\n"
               << "#   POINTS2D[] as (X, Y, POINT3D_ID)\n"
               << "# Number of images: " << cameras.size() << "\n";
    char line[512];  // at most 9 numbers of 24 characters
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        const Camera& camera = cameras[i];
        if (camera.id.find_first_of(" \t\r\n") != std::string::npos) {
            throw std::runtime_error("camera id " + Quote(camera.id) +
                                     " contains white space and cannot be an image name");
        }
        const CCamera& calibration = camera.calibration;
        const CIntrinsicParam& pinhole = calibration.GetCameraParam().GetIntrinsicParam();
        const CExtrinsicParam& pose = calibration.GetCameraParam().GetExtrinsicParam();
        std::snprintf(line,
                      sizeof line,
                      "%zu SIMPLE_PINHOLE %d %d %.17g %.17g %.17g\n",
                      i + 1,
                      calibration.GetWidth(),
                      calibration.GetHeight(),
                      pinhole.GetFocalLengthParam(),
                      pinhole.GetPrincipalPointParam().GetData(0),
                      pinhole.GetPrincipalPointParam().GetData(1));
        camerasText << line;
        std::array<double, 9> rotation{};
        pose.GetRotateMatrix().GetMatrix(rotation.data());
        const C3DVector& translation = pose.GetTranslateVector();
        const std::array<double, 4> q = QuaternionFromRotation(rotation);
        std::snprintf(line,
                      sizeof line,
                      "%zu %.17g %.17g %.17g %.17g %.17g %.17g %.17g %zu ",
                      i + 1,
                      q[0],
                      q[1],
                      q[2],
                      q[3],
                      translation.GetData(0),
                      translation.GetData(1),
                      translation.GetData(2),
                      i + 1);
        imagesText << line << camera.id << "\n\n";
    }
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        throw std::runtime_error(directory + ": cannot create the directory (" + error.message() +
                                 ")");
    }
    const std::vector<std::string> paths = ColmapModelPaths(directory);
    WriteFileAtomically(paths[0], camerasText.str());
    WriteFileAtomically(paths[1], imagesText.str());
    WriteFileAtomically(paths[2],
                        "# 3D point list with one line of data per point:\n"
                        "#   POINT3D_ID, X, Y, Z, R, G, B, ERROR, TRACK[] as (IMAGE_ID, "
                        "POINT2D_IDX)\n"
                        "# Number of points: 0\n");
}

namespace {

// One scalar of the YAML subset: quoted text, a number (with .nan and .inf), or plain text.
Json YamlScalar(const std::string& raw) {
    std::string text = raw;
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t\r");
    text = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        return text.substr(1, text.size() - 2);
    }
    if (text == ".nan" || text == ".NaN" || text == ".NAN") {
        return std::nan("");
    }
    if (text == ".inf" || text == ".Inf" || text == "+.inf") {
        return HUGE_VAL;
    }
    if (text == "-.inf" || text == "-.Inf") {
        return -HUGE_VAL;
    }
    double value = 0.0;
    if (ParseDouble(text, value)) {
        return value;
    }
    return text;
}

std::string StripComment(const std::string& line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        }
        if (line[i] == '#' && !quoted && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
            return line.substr(0, i);
        }
    }
    return line;
}

}  // namespace

Json ParseOpenCvYaml(const std::string& text, const std::string& file) {
    std::vector<std::pair<int, std::string>> lines;  // (line number, text) of meaningful lines
    {
        std::istringstream stream(text);
        std::string line;
        for (int number = 1; std::getline(stream, line); ++number) {
            line = StripComment(line);
            if (IsBlank(line) || line.compare(0, 1, "%") == 0 || line.compare(0, 3, "---") == 0 ||
                line.compare(0, 3, "...") == 0) {
                continue;
            }
            if (line.find('\t') != std::string::npos) {
                throw InputError(
                    file, "line " + std::to_string(number), "tabs are not allowed in YAML");
            }
            lines.emplace_back(number, line);
        }
    }
    Json document = Json::object();
    std::size_t i = 0;
    // Reads "key: value" at lines[i]; a value "[" may continue over further lines up to "]".
    const auto readEntry =
        [&](std::size_t indent, std::string& key, std::string& value, int& number) {
            number = lines[i].first;
            const std::string& line = lines[i].second;
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos || colon <= indent) {
                throw InputError(file, "line " + std::to_string(number), "expected \"key: value\"");
            }
            key = line.substr(indent, colon - indent);
            value = line.substr(colon + 1);
            ++i;
            if (value.find('[') != std::string::npos) {
                while (value.find(']') == std::string::npos) {
                    if (i == lines.size()) {
                        throw InputError(file,
                                         "line " + std::to_string(number),
                                         "the list opened here is not closed");
                    }
                    value += " " + lines[i].second;
                    ++i;
                }
            }
        };
    const auto toJson = [&](const std::string& raw, int number) -> Json {
        const std::size_t open = raw.find('[');
        if (open == std::string::npos) {
            return YamlScalar(raw);
        }
        const std::size_t close = raw.rfind(']');
        if (raw.find_first_not_of(" \t") != open ||
            raw.find_first_not_of(" \t\r", close + 1) != std::string::npos) {
            throw InputError(
                file, "line " + std::to_string(number), "unexpected text around a list");
        }
        Json list = Json::array();
        std::istringstream items(raw.substr(open + 1, close - open - 1));
        std::string item;
        while (std::getline(items, item, ',')) {
            if (!IsBlank(item)) {
                list.push_back(YamlScalar(item));
            }
        }
        return list;
    };
    while (i < lines.size()) {
        const std::size_t indent = lines[i].second.find_first_not_of(' ');
        if (indent != 0) {
            throw InputError(
                file, "line " + std::to_string(lines[i].first), "unexpected indentation");
        }
        std::string key;
        std::string value;
        int number = 0;
        readEntry(0, key, value, number);
        const std::size_t start = value.find_first_not_of(" ");
        const bool tagged = start != std::string::npos && value.compare(start, 2, "!!") == 0;
        if (start == std::string::npos || tagged) {
            // A block mapping: the following, more indented lines.
            Json block = Json::object();
            while (i < lines.size() && lines[i].second.find_first_not_of(' ') > 0) {
                const std::size_t childIndent = lines[i].second.find_first_not_of(' ');
                std::string childKey;
                std::string childValue;
                int childNumber = 0;
                readEntry(childIndent, childKey, childValue, childNumber);
                if (IsBlank(childValue)) {
                    throw InputError(file,
                                     "line " + std::to_string(childNumber),
                                     "nesting deeper than one level is not supported");
                }
                block[childKey] = toJson(childValue, childNumber);
            }
            document[key] = block;
        } else {
            document[key] = toJson(value, number);
        }
    }
    return document;
}

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
