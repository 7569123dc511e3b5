#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "measure/photo_decoder.h"
#include "measure/scene.h"

// The workbench's request handler: the HTTP API of docs/workbench.md on plain request and response
// records, independent of any HTTP library, so that the server, the tests and the fuzzer drive the
// same code. Every safety rule (Host, Origin, method, content type, body size, path) is checked
// here, for every request.
namespace workbench {

// Request bodies above this size are refused with 413 (the server stops reading them there).
constexpr std::size_t kBodyLimit = std::size_t{16} << 20;

using Header = std::pair<std::string, std::string>;

struct HttpRequest {
    std::string method;           // "GET", "POST", ...
    std::string target;           // as sent: path and query, nothing decoded
    std::vector<Header> headers;  // names in any case
    std::string body;

    // The value of the first header named name (compared without case); "" when there is none.
    std::string HeaderValue(const std::string& name) const;
    // Whether a header named name (compared without case) was sent.
    bool HasHeader(const std::string& name) const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType;
    std::vector<Header> headers;  // besides Content-Type
    std::string body;
};

// A page file built into the program (tools/workbench/web/, embedded by CMake).
struct EmbeddedAsset {
    const char* name;  // relative to web/, e.g. "app.js"
    const unsigned char* data;
    std::size_t size;
};

// The page files built into the program, in name order; none when web/ was empty.
const std::vector<EmbeddedAsset>& EmbeddedAssets();

// The Content-Type of a page file by its extension (text/javascript for .js, ...);
// application/octet-stream for an unknown one.
std::string AssetContentType(const std::string& name);

// FNV-1a 64 of bytes as 16 lower-case hex digits: the version of a scene file's content.
std::string ContentVersion(const std::string& bytes);

class Workbench {
  public:
    // Loads the scene file with a resolver confined to its folder (as LoadScene does); throws
    // measure::InputError when it cannot be read or is no valid scene. allowedHosts: the Host
    // values accepted ("127.0.0.1:8350", ...); assetDirectory: page files are served from there
    // (confined to it) instead of the embedded ones, unless "".
    Workbench(const std::string& sceneFile,
              std::vector<std::string> allowedHosts,
              std::string assetDirectory = "");

    // Replaces the accepted Host values (the server knows its port only once it listens).
    void SetAllowedHosts(std::vector<std::string> allowedHosts);

    // Answers one request; never throws (an unexpected failure is a 500 with its message).
    // Safe to call from several threads at once: scene state and file writes are serialised.
    HttpResponse Handle(const HttpRequest& request);

    // The scene as loaded (or as last saved or reloaded).
    measure::Scene CurrentScene() const;

  private:
    HttpResponse Route(const HttpRequest& request);
    HttpResponse Asset(const std::string& name) const;
    HttpResponse Photo(const std::string& index);
    HttpResponse Session();
    HttpResponse MeasureDocument(const std::string& body);
    HttpResponse Epipolar(const std::string& body);
    HttpResponse Snap(const std::string& body);
    // The decoded photo of a file, from the cache while the file is unchanged; throws
    // measure::PhotoError when it cannot be decoded or is not width x height.
    std::shared_ptr<const measure::GrayPhoto> DecodedPhoto(const std::string& path,
                                                           int width,
                                                           int height);
    HttpResponse Save(const std::string& body);
    HttpResponse Export(const std::string& body);
    // The scene of a document sent by the page, checked against the session's cameras.
    measure::Scene ParseDocument(const std::string& text) const;
    std::string CheckSafety(const HttpRequest& request, int& status) const;

    std::string m_sceneFile;  // as given
    std::string m_folder;     // the scene's folder ("" for the working directory)
    std::string m_fileName;   // the scene's file name without folder
    std::string m_assetDirectory;
    mutable std::mutex m_mutex;  // guards everything below and every file write
    std::vector<std::string> m_allowedHosts;
    measure::Scene m_scene;

    // The photos snapped on last, newest last, while their files are unchanged.
    struct CachedPhoto {
        std::string path;
        std::filesystem::file_time_type time;
        std::uintmax_t size = 0;
        std::shared_ptr<const measure::GrayPhoto> photo;
    };
    std::mutex m_photoMutex;  // guards m_photos and serialises decoding
    std::vector<CachedPhoto> m_photos;
};

}  // namespace workbench
