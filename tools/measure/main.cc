// polyview-measure: measures the shapes of a scene file (cameras and picks) with the library and
// reports them as text, JSON and pictures.

#include <exception>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "measure/colmap_model.h"
#include "measure/format.h"
#include "measure/input_error.h"
#include "measure/measurement.h"
#include "measure/output_file.h"
#include "measure/report.h"
#include "measure/scene.h"
#include "measure/svg.h"

namespace {

constexpr int kExitOutputError = 1;
constexpr int kExitBadInput = 2;

const char kUsage[] =
    "usage: polyview-measure [options] SCENE.json\n"
    "\n"
    "Reconstructs the points, lines, segments, cylinders, planes and curves picked in the scene's\n"
    "calibrated images and prints a report (format: docs/scene-format.md).\n"
    "\n"
    "options:\n"
    "  --json FILE           also write the report as JSON (FILE '-': standard output, which\n"
    "                        then carries the JSON alone)\n"
    "  --svg DIR             one SVG picture per camera into DIR: picks and reprojected shapes\n"
    "  --export-colmap DIR   write the scene's cameras as a COLMAP text model into DIR\n"
    "                        (outputs never overwrite an input; each is written whole or not\n"
    "                        at all; directories are created)\n"
    "  --quiet               no text report\n"
    "  -h, --help            this text\n"
    "\n"
    "exit status: 0 measured (shapes that cannot be reconstructed are reported as such),\n"
    "1 an output could not be written, 2 bad input or usage.\n";

int Usage(const std::string& problem) {
    std::cerr << "polyview-measure: " << problem << "\n\n" << kUsage;
    return kExitBadInput;
}

}  // namespace

int main(int argc, char** argv) {
    std::string sceneFile;
    std::string jsonFile;
    std::string svgDirectory;
    std::string colmapDirectory;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&](std::string& target) {
            if (i + 1 >= argc) {
                return false;
            }
            target = argv[++i];
            return !target.empty();
        };
        if (argument == "-h" || argument == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (argument == "--json") {
            if (!value(jsonFile)) {
                return Usage("--json needs a file name");
            }
        } else if (argument == "--svg") {
            if (!value(svgDirectory)) {
                return Usage("--svg needs a directory");
            }
        } else if (argument == "--export-colmap") {
            if (!value(colmapDirectory)) {
                return Usage("--export-colmap needs a directory");
            }
        } else if (argument == "--quiet") {
            quiet = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return Usage("unknown option " + argument);
        } else if (sceneFile.empty()) {
            sceneFile = argument;
        } else {
            return Usage("one scene file at a time (got " + sceneFile + " and " + argument + ")");
        }
    }
    if (sceneFile.empty()) {
        return Usage("no scene file given");
    }

    measure::Scene scene;
    try {
        scene = measure::LoadScene(sceneFile);
    } catch (const measure::InputError& error) {
        std::cerr << "polyview-measure: " << measure::Printable(error.what()) << "\n";
        return kExitBadInput;
    }
    for (const std::string& warning : scene.warnings) {
        std::cerr << "polyview-measure: warning: " << measure::Printable(warning) << "\n";
    }

    // Every file to be written, with its option, is checked against every file read before
    // anything is written.
    std::vector<std::pair<std::string, std::string>> outputs;
    if (!jsonFile.empty() && jsonFile != "-") {
        outputs.emplace_back("--json", jsonFile);
    }
    if (!svgDirectory.empty()) {
        for (const std::string& path : measure::SvgPicturePaths(svgDirectory, scene)) {
            outputs.emplace_back("--svg", path);
        }
    }
    if (!colmapDirectory.empty()) {
        for (const std::string& path : measure::ColmapModelPaths(colmapDirectory)) {
            outputs.emplace_back("--export-colmap", path);
        }
    }
    for (const auto& [option, output] : outputs) {
        for (const std::string& input : scene.inputs) {
            if (measure::SameFile(output, input)) {
                std::cerr << "polyview-measure: "
                          << measure::Printable(option + " " + output + ": is an input (" + input +
                                                "); refusing to overwrite it")
                          << "\n";
                return kExitBadInput;
            }
        }
    }

    const measure::Measurement measurement = measure::Measure(scene);
    // With the JSON on standard output, the text report would spoil it.
    const bool textReport = !quiet && jsonFile != "-";
    if (textReport) {
        measure::WriteTextReport(std::cout, scene, measurement);
    }
    try {
        if (!jsonFile.empty()) {
            const std::string text =
                measure::ReportJson(scene, measurement)
                    .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
                "\n";
            if (jsonFile == "-") {
                std::cout << text;
            } else {
                measure::WriteFileAtomically(jsonFile, text);
            }
        }
        if (!svgDirectory.empty()) {
            const auto written = measure::WriteSvgPictures(svgDirectory, scene, measurement);
            if (textReport) {
                std::cout << "\nPictures (one per camera):\n";
                for (const std::string& path : written) {
                    std::cout << "  " << measure::Printable(path) << "\n";
                }
            }
        }
        if (!colmapDirectory.empty()) {
            measure::WriteColmapModel(colmapDirectory, scene.cameras);
        }
    } catch (const std::exception& error) {
        std::cerr << "polyview-measure: " << measure::Printable(error.what()) << "\n";
        return kExitOutputError;
    }
    return 0;
}
