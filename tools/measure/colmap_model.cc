#include "measure/colmap_model.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>

#include "measure/camera_fields.h"
#include "measure/input_error.h"
#include "measure/json_node.h"
#include "measure/output_file.h"
#include "measure/rotation.h"

namespace measure {

namespace {

std::string Quote(const std::string& text) {
    return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

// A camera of cameras.txt or cameras.bin.
struct ColmapIntrinsics {
    CLensModel lens;
    int width;
    int height;
};

// The number of parameters of each COLMAP model, by model id (kColmapModels).
constexpr std::size_t kParameterCounts[11] = {3, 4, 4, 5, 8, 8, 12, 5, 4, 5, 12};

// The camera of one image: the lens of its COLMAP camera and the pose (w, x, y, z, tx, ty, tz).
Camera ImageCamera(const std::string& name,
                   const double pose[7],
                   const ColmapIntrinsics& intrinsics,
                   const std::string& file,
                   const std::string& where) {
    if (pose[0] == 0.0 && pose[1] == 0.0 && pose[2] == 0.0 && pose[3] == 0.0) {
        throw InputError(file, where, "the quaternion is zero");
    }
    if (name.empty()) {
        throw InputError(file, where, "the image name is empty");
    }
    try {
        (void)Json(name).dump();  // throws on text that is not UTF-8
    } catch (const Json::type_error&) {
        throw InputError(file, where, "the image name is not valid UTF-8");
    }
    Camera camera;
    camera.id = name;
    camera.origin = file + " " + where;
    camera.calibration = LensCamera(intrinsics.lens,
                                    intrinsics.width,
                                    intrinsics.height,
                                    RotationFromQuaternion(pose[0], pose[1], pose[2], pose[3]),
                                    {pose[4], pose[5], pose[6]});
    RequireUsablePose(camera, file, where, where);
    return camera;
}

// The lens of a COLMAP camera; InputError at file and where when it is unusable.
CLensModel ColmapCameraLens(const std::string& model,
                            const std::vector<double>& params,
                            const std::string& file,
                            const std::string& where) {
    const std::string refusal = ColmapModelRefusal(model);
    if (!refusal.empty()) {
        throw InputError(file, where, refusal);
    }
    CLensModel lens;
    std::string reason;
    if (!CLensModel::CreateColmap(model, params, lens, reason)) {
        throw InputError(file, where, "camera model " + model + ": " + reason);
    }
    return lens;
}

std::map<long, ColmapIntrinsics> ReadTextCameras(const std::string& content,
                                                 const std::string& file) {
    std::istringstream text(content);
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
        std::vector<double> values;
        for (std::size_t i = 2; i < tokens.size(); ++i) {
            double value = 0.0;
            if (!ParseDouble(tokens[i], value) || !std::isfinite(value)) {
                throw InputError(file, where, "expected a finite number, got " + Quote(tokens[i]));
            }
            values.push_back(value);
        }
        if (!(values[0] > 0.0 && values[0] <= 1e9 && values[1] > 0.0 && values[1] <= 1e9) ||
            values[0] != std::floor(values[0]) || values[1] != std::floor(values[1])) {
            throw InputError(file, where, "image width and height must be whole numbers > 0");
        }
        const ColmapIntrinsics camera{
            ColmapCameraLens(tokens[1], {values.begin() + 2, values.end()}, file, where),
            static_cast<int>(values[0]),
            static_cast<int>(values[1])};
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

std::vector<Camera> ReadTextImages(const std::string& content,
                                   const std::string& imagesFile,
                                   const std::string& camerasFile,
                                   const std::map<long, ColmapIntrinsics>& intrinsics) {
    std::istringstream text(content);
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
        double pose[7];
        for (int i = 0; i < 7; ++i) {
            if (!ParseDouble(tokens[1 + i], pose[i]) || !std::isfinite(pose[i])) {
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
        std::string name = tokens[9];
        for (std::size_t i = 10; i < tokens.size(); ++i) {
            name += " " + tokens[i];
        }
        cameras.push_back(ImageCamera(name, pose, found->second, imagesFile, where));
        afterHeader = true;
    }
    return cameras;
}

// Reads little-endian values from the bytes of a binary file, naming the byte offset of every
// fault; never reads past the end.
class BinaryCursor {
  public:
    BinaryCursor(const std::string& bytes, const std::string& file)
        : m_bytes(bytes), m_file(file) {}

    std::size_t Offset() const { return m_offset; }
    std::size_t Remaining() const { return m_bytes.size() - m_offset; }
    std::string Where() const { return "byte " + std::to_string(m_offset); }
    [[noreturn]] void Fail(const std::string& message) const {
        throw InputError(m_file, Where(), message);
    }

    std::uint64_t Unsigned(std::size_t size, const char* what) {
        if (Remaining() < size) {
            Fail(std::string("the file ends inside ") + what);
        }
        std::uint64_t value = 0;
        for (std::size_t i = size; i > 0; --i) {
            value = (value << 8) | static_cast<unsigned char>(m_bytes[m_offset + i - 1]);
        }
        m_offset += size;
        return value;
    }
    double Double(const char* what) {
        const std::uint64_t bits = Unsigned(8, what);
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // A count of records of at least recordSize bytes each, refused when they cannot fit in what
    // is left of the file (so that no count is trusted beyond the file's size).
    std::uint64_t Count(std::size_t recordSize, const char* what) {
        const std::string where = Where();
        const std::uint64_t count = Unsigned(8, what);
        if (count > Remaining() / recordSize) {
            throw InputError(m_file,
                             where,
                             std::to_string(count) + " " + what + " of at least " +
                                 std::to_string(recordSize) + " bytes cannot fit in the " +
                                 std::to_string(Remaining()) + " bytes left");
        }
        return count;
    }
    std::string Name() {
        const std::size_t end = m_bytes.find('\0', m_offset);
        if (end == std::string::npos) {
            Fail("the file ends inside an image name (no terminating NUL)");
        }
        std::string name = m_bytes.substr(m_offset, end - m_offset);
        m_offset = end + 1;
        return name;
    }
    void Skip(std::size_t size) { m_offset += size; }
    void RequireEnd(const char* after) const {
        if (Remaining() != 0) {
            Fail(std::to_string(Remaining()) + " bytes left over after the last " + after);
        }
    }

  private:
    const std::string& m_bytes;
    const std::string& m_file;
    std::size_t m_offset = 0;
};

std::map<long, ColmapIntrinsics> ReadBinaryCameras(const std::string& bytes,
                                                   const std::string& file) {
    BinaryCursor cursor(bytes, file);
    std::map<long, ColmapIntrinsics> cameras;
    const std::uint64_t count = cursor.Count(24, "cameras");
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::string where = cursor.Where();
        const long id = static_cast<long>(cursor.Unsigned(4, "a camera id"));
        const std::uint64_t modelId = cursor.Unsigned(4, "a model id");
        if (modelId > 10) {  // as an int32, negative ids are above 10 too
            throw InputError(
                file,
                where,
                "unknown camera model id " + std::to_string(static_cast<std::int32_t>(modelId)));
        }
        const std::uint64_t width = cursor.Unsigned(8, "an image width");
        const std::uint64_t height = cursor.Unsigned(8, "an image height");
        if (width == 0 || height == 0 || width > 1000000000 || height > 1000000000) {
            throw InputError(file, where, "image width and height must be whole numbers > 0");
        }
        std::vector<double> params;
        for (std::size_t k = 0; k < kParameterCounts[modelId]; ++k) {
            params.push_back(cursor.Double("the camera parameters"));
        }
        const ColmapIntrinsics camera{ColmapCameraLens(kColmapModels[modelId], params, file, where),
                                      static_cast<int>(width),
                                      static_cast<int>(height)};
        if (!cameras.emplace(id, camera).second) {
            throw InputError(file, where, "duplicate camera id " + std::to_string(id));
        }
    }
    cursor.RequireEnd("camera");
    return cameras;
}

std::vector<Camera> ReadBinaryImages(const std::string& bytes,
                                     const std::string& imagesFile,
                                     const std::string& camerasFile,
                                     const std::map<long, ColmapIntrinsics>& intrinsics) {
    BinaryCursor cursor(bytes, imagesFile);
    std::vector<Camera> cameras;
    // id, pose, camera id, at least a NUL and the point count: 4 + 56 + 4 + 1 + 8 bytes.
    const std::uint64_t count = cursor.Count(73, "images");
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::string where = cursor.Where();
        cursor.Unsigned(4, "an image id");
        double pose[7];
        for (double& value : pose) {
            value = cursor.Double("an image's pose");
            if (!std::isfinite(value)) {
                throw InputError(imagesFile, where, "the image's pose is not finite");
            }
        }
        const long cameraId = static_cast<long>(cursor.Unsigned(4, "a camera id"));
        const auto found = intrinsics.find(cameraId);
        if (found == intrinsics.end()) {
            throw InputError(imagesFile,
                             where,
                             "camera id " + std::to_string(cameraId) + " is not in " + camerasFile);
        }
        const std::string name = cursor.Name();
        // Each 2D point: x, y (doubles) and a point id (64 bits), skipped.
        cursor.Skip(24 * cursor.Count(24, "2D points"));
        cameras.push_back(ImageCamera(name, pose, found->second, imagesFile, where));
    }
    cursor.RequireEnd("image");
    return cameras;
}

std::map<long, ColmapIntrinsics> ParseColmapCameras(const std::string& content,
                                                    const ColmapFiles& files) {
    return files.binary ? ReadBinaryCameras(content, files.cameras)
                        : ReadTextCameras(content, files.cameras);
}

std::vector<Camera> ParseColmapImages(const std::string& content,
                                      const ColmapFiles& files,
                                      const std::map<long, ColmapIntrinsics>& intrinsics) {
    std::vector<Camera> cameras =
        files.binary ? ReadBinaryImages(content, files.images, files.cameras, intrinsics)
                     : ReadTextImages(content, files.images, files.cameras, intrinsics);
    if (cameras.empty()) {
        throw InputError(files.images, "", "lists no image");
    }
    return cameras;
}

}  // namespace

ColmapFiles FindColmapModel(const std::string& directory) {
    std::error_code error;
    const bool binary = std::filesystem::exists(directory + "/cameras.bin", error) &&
                        std::filesystem::exists(directory + "/images.bin", error);
    const std::string extension = binary ? ".bin" : ".txt";
    return {directory + "/cameras" + extension, directory + "/images" + extension, binary};
}

std::vector<Camera> ReadColmapModel(const ColmapFiles& files) {
    // The cameras file is read and checked before the images file is opened.
    const std::map<long, ColmapIntrinsics> intrinsics =
        ParseColmapCameras(ReadTextFile(files.cameras, kCameraFileLimit), files);
    return ParseColmapImages(ReadTextFile(files.images, kColmapImagesFileLimit), files, intrinsics);
}

std::vector<Camera> ParseColmapModel(const std::string& camerasContent,
                                     const std::string& imagesContent,
                                     const ColmapFiles& files) {
    return ParseColmapImages(imagesContent, files, ParseColmapCameras(camerasContent, files));
}

std::vector<Camera> ReadColmapModel(const std::string& directory) {
    return ReadColmapModel(FindColmapModel(directory));
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
        std::string model = "SIMPLE_PINHOLE";
        std::vector<double> params = {pinhole.GetFocalLengthParam(),
                                      pinhole.GetPrincipalPointParam().GetData(0),
                                      pinhole.GetPrincipalPointParam().GetData(1)};
        const CLensModel& lens = calibration.GetLensModel();
        if (!lens.IsNone() && !lens.GetColmap(model, params)) {
            throw std::runtime_error("camera " + Quote(camera.id) +
                                     " has a lens that no COLMAP camera model describes (skew, "
                                     "tilt or thin prism terms)");
        }
        camerasText << i + 1 << " " << model << " " << calibration.GetWidth() << " "
                    << calibration.GetHeight();
        for (const double value : params) {
            std::snprintf(line, sizeof line, " %.17g", value);
            camerasText << line;
        }
        camerasText << "\n";
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

}  // namespace measure
