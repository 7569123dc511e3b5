#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "measure/commands.h"
#include "measure/format.h"
#include "measure/input_error.h"
#include "measure/output_file.h"
#include "measure/scene.h"
#include "measure/scene_writer.h"

namespace measure {

int FormatCommand(const std::vector<std::string>& arguments) {
    std::string sceneFile;
    std::string outputFile;
    bool allowOutsidePaths = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            return HelpCommand({});
        } else if (argument == "-o") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                return UsageError("-o needs a file name");
            }
            outputFile = arguments[++i];
        } else if (const int status = TakeSceneArgument(argument, sceneFile, allowOutsidePaths)) {
            return status;
        }
    }
    Scene scene;
    if (const int status = LoadCommandScene(sceneFile, allowOutsidePaths, scene)) {
        return status;
    }
    const std::string text = SceneText(scene);
    if (outputFile.empty()) {
        std::cout << text;
        return kExitDone;
    }
    // The scene may be rewritten in place (it has been read whole); a camera file never.
    for (std::size_t i = 1; i < scene.inputs.size(); ++i) {
        if (SameFile(outputFile, scene.inputs[i])) {
            std::cerr << "polyview-measure: "
                      << Printable("-o " + outputFile + ": is an input (" + scene.inputs[i] +
                                   "); refusing to overwrite it")
                      << "\n";
            return kExitBadInput;
        }
    }
    try {
        WriteFileAtomically(outputFile, text);
    } catch (const std::exception& error) {
        std::cerr << "polyview-measure: " << Printable(error.what()) << "\n";
        return kExitOutputError;
    }
    return kExitDone;
}

}  // namespace measure
