// serve: the workbench's HTTP server. Every request goes to workbench::Workbench::Handle, which
// checks and answers it; this file only moves requests and responses between cpp-httplib and it.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "measure/commands.h"
#include "measure/format.h"
#include "measure/input_error.h"
#include "measure/json_node.h"
#include "measure/output_file.h"
#include "measure/scene.h"
#include "measure/scene_writer.h"
#include "workbench/workbench.h"

#ifdef POLYVIEW_HAVE_HTTPLIB
#include <thread>

#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#endif

namespace measure {

namespace {

namespace fs = std::filesystem;

// path relative to the folder of sceneFile, when it lies inside it (by canonical paths); throws
// InputError otherwise.
std::string InsideSceneFolder(const std::string& sceneFile,
                              const std::string& path,
                              const char* option) {
    std::error_code error;
    const fs::path folder =
        fs::weakly_canonical(fs::absolute(sceneFile, error).parent_path(), error);
    const fs::path target = fs::weakly_canonical(fs::absolute(path, error), error);
    const fs::path relative = target.lexically_relative(folder);
    if (error || relative.empty() || *relative.begin() == ".." || relative.is_absolute()) {
        throw InputError(path,
                         option,
                         "must lie inside the new scene's folder (" + folder.string() +
                             "): a scene names only files inside its own folder");
    }
    return relative.generic_string();
}

// The photos of a folder (.jpg, .jpeg, .png in any case), by name.
std::vector<std::string> PhotosIn(const std::string& folder) {
    std::vector<std::string> photos;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
            return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        });
        if (entry.is_regular_file(error) &&
            (extension == ".jpg" || extension == ".jpeg" || extension == ".png")) {
            photos.push_back(entry.path().filename().string());
        }
    }
    if (error) {
        throw InputError(folder, "--photos", "cannot be listed (" + error.message() + ")");
    }
    std::sort(photos.begin(), photos.end());
    return photos;
}

// Writes a scene without shapes whose cameras come from cameraFile (a COLMAP model folder or an
// OpenCV file), with the photos of photoFolder ("" for none): a COLMAP model's images by name, an
// OpenCV file's cameras in the order of the photos' names. Throws InputError.
void WriteNewScene(const std::string& sceneFile,
                   const std::string& cameraFile,
                   const std::string& photoFolder) {
    std::error_code error;
    if (fs::exists(sceneFile, error) || fs::is_symlink(sceneFile, error)) {
        throw InputError(sceneFile, "--new", "exists already; --new never overwrites a file");
    }
    const bool colmap = fs::is_directory(cameraFile, error);
    Json source = {{"format", colmap ? "colmap" : "opencv"},
                   {"path", InsideSceneFolder(sceneFile, cameraFile, "--cameras")}};
    const std::string photos =
        photoFolder.empty() ? "" : InsideSceneFolder(sceneFile, photoFolder, "--photos");
    if (colmap && !photos.empty()) {
        source["image_folder"] = photos;
    }
    const std::size_t slash = sceneFile.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : sceneFile.substr(0, slash);
    Json document = {{"title", fs::path(sceneFile).stem().string()},
                     {"camera_sources", Json::array({source})},
                     {"shapes", Json::array()}};
    Scene scene = ParseScene(document.dump(), sceneFile, folder);
    if (!colmap && !photos.empty()) {
        const std::vector<std::string> names = PhotosIn(photoFolder);
        if (names.size() != scene.cameras.size()) {
            throw InputError(photoFolder,
                             "--photos",
                             "holds " + std::to_string(names.size()) + " photos for " +
                                 std::to_string(scene.cameras.size()) +
                                 " cameras; an OpenCV file's cameras take its photos in the "
                                 "order of their names, one each");
        }
        Json images = Json::array();
        for (const std::string& name : names) {
            images.push_back(photos == "." ? name : photos + "/" + name);
        }
        document["camera_sources"][0]["images"] = images;
        scene = ParseScene(document.dump(), sceneFile, folder);
    }
    WriteFileAtomically(sceneFile, SceneText(scene));
}

#ifdef POLYVIEW_HAVE_HTTPLIB

int Serve(const std::string& sceneFile,
          const std::string& host,
          int port,
          const std::string& assets) {
    // SIGINT and SIGTERM are taken by one thread that stops the server; every other thread
    // (the server's pool inherits the mask) has them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A shell starts a background job with SIGINT ignored, and an ignored signal never reaches
    // sigwait; blocked as they are now, the default action cannot end the process early.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);

    std::unique_ptr<workbench::Workbench> bench;
    try {
        bench =
            std::make_unique<workbench::Workbench>(sceneFile, std::vector<std::string>{}, assets);
    } catch (const InputError& error) {
        std::cerr << "polyview-measure: " << Printable(error.what()) << "\n";
        return kExitBadInput;
    }
    for (const std::string& warning : bench->CurrentScene().warnings) {
        std::cerr << "polyview-measure: warning: " << Printable(warning) << "\n";
    }

    httplib::Server server;
    server.set_payload_max_length(workbench::kBodyLimit);
    const auto forward = [&bench](const httplib::Request& in, httplib::Response& out) {
        workbench::HttpRequest request;
        request.method = in.method;
        request.target = in.target;
        for (const auto& header : in.headers) {
            request.headers.emplace_back(header.first, header.second);
        }
        request.body = in.body;
        const workbench::HttpResponse response = bench->Handle(request);
        out.status = response.status;
        for (const workbench::Header& header : response.headers) {
            out.set_header(header.first, header.second);
        }
        out.set_content(response.body, response.contentType.c_str());
    };
    // Every path, whatever it holds (newlines included): the handler decides.
    const char* const anything = "[\\s\\S]*";
    server.Get(anything, forward);
    server.Post(anything, forward);
    server.Put(anything, forward);
    server.Delete(anything, forward);
    server.Options(anything, forward);
    server.Patch(anything, forward);
    // What the server refuses by itself (a body above the limit, a malformed request) is
    // answered in the API's form too.
    server.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&,
                                                                     httplib::Response& out) {
        if (out.body.empty()) {
            const std::string message =
                out.status == 413 ? "request body refused: the limit is 16 MiB"
                                  : "request refused (status " + std::to_string(out.status) + ")";
            out.set_content(Json{{"error", message}}.dump() + "\n", "application/json");
        }
        return httplib::Server::HandlerResponse::Handled;
    }));

    const int bound = port == 0 ? server.bind_to_any_port(host) : port;
    if (bound < 0 || (port != 0 && !server.bind_to_port(host, port))) {
        std::cerr << "polyview-measure: serve: cannot listen on " << Printable(host) << " port "
                  << port << " (" << std::strerror(errno) << ")\n";
        return kExitOutputError;
    }
    const bool ipv6 = host.find(':') != std::string::npos;
    const std::string hostName = ipv6 ? "[" + host + "]" : host;
    const std::string suffix = ":" + std::to_string(bound);
    std::vector<std::string> hosts = {"127.0.0.1" + suffix, "localhost" + suffix, "[::1]" + suffix};
    std::string lowerHost = hostName;
    std::transform(lowerHost.begin(), lowerHost.end(), lowerHost.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    if (std::find(hosts.begin(), hosts.end(), lowerHost + suffix) == hosts.end()) {
        hosts.push_back(lowerHost + suffix);
    }
    bench->SetAllowedHosts(hosts);
    const bool wildcard = host == "0.0.0.0" || host == "::";
    std::cout << "Polyview workbench for " << Printable(sceneFile) << ": http://"
              << (wildcard ? std::string("127.0.0.1") : hostName) << suffix << "/" << std::endl;

    std::thread stopper([&server, &stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    const bool listened = server.listen_after_bind();
    // Wake the stopper when the server ended by itself.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return listened ? kExitDone : kExitOutputError;
}

#else

int Serve(const std::string&, const std::string&, int, const std::string&) {
    std::cerr << "polyview-measure: serve: this build has no server (cpp-httplib was not found "
                 "when it was built)\n";
    return kExitBadInput;
}

#endif

}  // namespace

int ServeCommand(const std::vector<std::string>& arguments) {
    std::string sceneFile;
    std::string newScene;
    std::string cameraFile;
    std::string photoFolder;
    std::string host = "127.0.0.1";
    std::string assets;
    int port = 8350;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string value;
        const bool takesValue = argument == "--host" || argument == "--port" ||
                                argument == "--assets" || argument == "--new" ||
                                argument == "--cameras" || argument == "--photos";
        if (takesValue) {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                return UsageError(argument + " needs a value");
            }
            value = arguments[++i];
        }
        if (argument == "-h" || argument == "--help") {
            return HelpCommand({});
        } else if (argument == "--host") {
            host = value;
        } else if (argument == "--port") {
            if (value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(value) > 65535) {
                return UsageError("--port takes a number from 0 to 65535, not " + value);
            }
            port = std::stoi(value);
        } else if (argument == "--assets") {
            assets = value;
        } else if (argument == "--new") {
            newScene = value;
        } else if (argument == "--cameras") {
            cameraFile = value;
        } else if (argument == "--photos") {
            photoFolder = value;
        } else if (const int status = TakeSceneFile(argument, sceneFile); status != kExitDone) {
            return status;
        }
    }
    if (!newScene.empty()) {
        if (!sceneFile.empty()) {
            return UsageError("--new names the scene to create; give no other scene file");
        }
        if (cameraFile.empty()) {
            return UsageError("--new needs --cameras FILE (an OpenCV file or a COLMAP model)");
        }
        try {
            WriteNewScene(newScene, cameraFile, photoFolder);
        } catch (const std::exception& error) {
            std::cerr << "polyview-measure: " << Printable(error.what()) << "\n";
            return kExitBadInput;
        }
        sceneFile = newScene;
    } else if (!cameraFile.empty() || !photoFolder.empty()) {
        return UsageError("--cameras and --photos go with --new");
    }
    if (sceneFile.empty()) {
        return UsageError("no scene file given");
    }
    return Serve(sceneFile, host, port, assets);
}

}  // namespace measure
