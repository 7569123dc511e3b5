#include <exception>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "measure/colmap_model.h"
#include "measure/commands.h"
#include "measure/format.h"
#include "measure/input_error.h"
#include "measure/measurement.h"
#include "measure/output_file.h"
#include "measure/report.h"
#include "measure/scene.h"
#include "measure/svg.h"

namespace measure {

int MeasureCommand(const std::vector<std::string>& arguments) {
    std::string sceneFile;
    std::string jsonFile;
    std::string svgDirectory;
    std::string colmapDirectory;
    bool quiet = false;
    bool allowOutsidePaths = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&](std::string& target) {
            if (i + 1 >= arguments.size()) {
                return false;
            }
            target = arguments[++i];
            return !target.empty();
        };
        if (argument == "-h" || argument == "--help") {
            return HelpCommand({});
        } else if (argument == "--json") {
            if (!value(jsonFile)) {
                return UsageError("--json needs a file name");
            }
        } else if (argument == "--svg") {
            if (!value(svgDirectory)) {
                return UsageError("--svg needs a directory");
            }
        } else if (argument == "--export-colmap") {
            if (!value(colmapDirectory)) {
                return UsageError("--export-colmap needs a directory");
            }
        } else if (argument == "--quiet") {
            quiet = true;
        } else if (const int status = TakeSceneArgument(argument, sceneFile, allowOutsidePaths)) {
            return status;
        }
    }
    Scene scene;
    if (const int status = LoadCommandScene(sceneFile, allowOutsidePaths, scene)) {
        return status;
    }

    // Every file to be written, with its option, is checked against every file read before
    // anything is written.
    std::vector<std::pair<std::string, std::string>> outputs;
    if (!jsonFile.empty() && jsonFile != "-") {
        outputs.emplace_back("--json", jsonFile);
    }
    if (!svgDirectory.empty()) {
        for (const std::string& path : SvgPicturePaths(svgDirectory, scene)) {
            outputs.emplace_back("--svg", path);
        }
    }
    if (!colmapDirectory.empty()) {
        for (const std::string& path : ColmapModelPaths(colmapDirectory)) {
            outputs.emplace_back("--export-colmap", path);
        }
    }
    for (const auto& [option, output] : outputs) {
        for (const std::string& input : scene.inputs) {
            if (SameFile(output, input)) {
                std::cerr << "polyview-measure: "
                          << Printable(option + " " + output + ": is an input (" + input +
                                       "); refusing to overwrite it")
                          << "\n";
                return kExitBadInput;
            }
        }
    }

    const Measurement measurement = Measure(scene);
    // With the JSON on standard output, the text report would spoil it.
    const bool textReport = !quiet && jsonFile != "-";
    if (textReport) {
        WriteTextReport(std::cout, scene, measurement);
    }
    try {
        if (!jsonFile.empty()) {
            const std::string text =
                ReportJson(scene, measurement)
                    .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
                "\n";
            if (jsonFile == "-") {
                std::cout << text;
            } else {
                WriteFileAtomically(jsonFile, text);
            }
        }
        if (!svgDirectory.empty()) {
            const auto written = WriteSvgPictures(svgDirectory, scene, measurement);
            if (textReport) {
                std::cout << "\nPictures (one per camera):\n";
                for (const std::string& path : written) {
                    std::cout << "  " << Printable(path) << "\n";
                }
            }
        }
        if (!colmapDirectory.empty()) {
            WriteColmapModel(colmapDirectory, scene.cameras);
        }
    } catch (const std::exception& error) {
        std::cerr << "polyview-measure: " << Printable(error.what()) << "\n";
        return kExitOutputError;
    }
    return kExitDone;
}

}  // namespace measure
