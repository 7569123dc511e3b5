// The workbench's request handler (workbench::Workbench::Handle) on any request: the input is
// "METHOD TARGET", header lines "Name: value", an empty line and the body. Whatever comes, the
// handler answers with a status the API uses and, for an error, a JSON {"error": ...}; saves go to
// a small scene in a folder of its own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "measure/json_node.h"
#include "workbench/workbench.h"

namespace {

const char kScene[] = R"({
  "cameras": [
    {"id": "a", "focal_length": 800.0, "principal_point": [320.0, 240.0], "width": 640,
     "height": 480, "rotation": [0, 0, 0], "translation": [0, 0, 5]},
    {"id": "b", "model": "OPENCV", "params": [800, 800, 320, 240, -0.1, 0.01, 0, 0],
     "width": 640, "height": 480, "rotation": [0, 0.2, 0], "translation": [0, 0, 5]}
  ],
  "shapes": [{"name": "p", "kind": "point", "picks": {"a": [323.2, 246.4], "b": [323.1, 246.4]}}]
})";

workbench::Workbench& Bench() {
    static std::unique_ptr<workbench::Workbench> bench;
    if (!bench) {
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() / "polyview_workbench_fuzz";
        std::filesystem::create_directories(folder);
        const std::string file = (folder / "scene.json").string();
        std::ofstream(file, std::ios::binary) << kScene;
        bench = std::make_unique<workbench::Workbench>(
            file, std::vector<std::string>{"127.0.0.1:8350", "localhost:8350"});
    }
    return *bench;
}

// The next line of text from pos (without its line break); pos moves past it.
std::string Line(const std::string& text, std::size_t& pos) {
    const std::size_t end = std::min(text.find('\n', pos), text.size());
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    workbench::HttpRequest request;
    std::size_t pos = 0;
    const std::string first = Line(text, pos);
    const std::size_t space = first.find(' ');
    request.method = first.substr(0, space);
    request.target = space == std::string::npos ? "" : first.substr(space + 1);
    while (pos < text.size()) {
        const std::string header = Line(text, pos);
        if (header.empty()) {
            break;
        }
        const std::size_t colon = header.find(':');
        const std::size_t value = header.find_first_not_of(' ', colon + 1);
        request.headers.emplace_back(
            header.substr(0, colon),
            colon == std::string::npos || value == std::string::npos ? "" : header.substr(value));
    }
    request.body = pos < text.size() ? text.substr(pos) : "";

    const workbench::HttpResponse response = Bench().Handle(request);
    const int status = response.status;
    POLYVIEW_FUZZ_CHECK(status == 200 || status == 400 || status == 403 || status == 404 ||
                        status == 405 || status == 413 || status == 415);
    if (status >= 400 && request.method != "HEAD") {  // HEAD: headers only
        const measure::Json body = measure::Json::parse(response.body);
        POLYVIEW_FUZZ_CHECK(body.at("error").is_string());
    }
    return 0;
}
