#include "measure/commands.h"

#include <iostream>

#include "measure/format.h"
#include "measure/input_error.h"

namespace measure {

namespace {

const char kUsage[] =
    "usage: polyview-measure [measure] [options] SCENE.json\n"
    "       polyview-measure format SCENE.json [-o OUT.json] [--allow-outside-paths]\n"
    "       polyview-measure serve [--host ADDR] [--port N] [--assets DIR] SCENE.json\n"
    "       polyview-measure serve [--host ADDR] [--port N] --new SCENE.json --cameras FILE\n"
    "                              [--photos DIR]\n"
    "       polyview-measure help\n"
    "\n"
    "measure (also without the word): reconstructs the points, lines, segments, cylinders,\n"
    "planes and curves picked in the scene's calibrated images and prints a report (format:\n"
    "docs/scene-format.md).\n"
    "  --json FILE           also write the report as JSON (FILE '-': standard output, which\n"
    "                        then carries the JSON alone)\n"
    "  --svg DIR             one SVG picture per camera into DIR: picks and reprojected shapes\n"
    "  --export-colmap DIR   write the scene's cameras as a COLMAP text model into DIR\n"
    "                        (outputs never overwrite an input; each is written whole or not\n"
    "                        at all; directories are created)\n"
    "  --quiet               no text report\n"
    "  --allow-outside-paths open camera files anywhere; by default a scene names only files\n"
    "                        inside its own folder (no absolute path, no '..', no link out)\n"
    "  -h, --help            this text\n"
    "\n"
    "format: reads the scene and writes it back normalised (every option spelled out, camera\n"
    "files kept as references) to standard output, or to OUT.json with -o (which may be the\n"
    "scene itself, never a camera file). Takes --allow-outside-paths as measure does.\n"
    "\n"
    "serve: the workbench, a page in the browser to pick in the scene's photos and measure as\n"
    "you go (docs/workbench.md). Prints its address and serves until interrupted.\n"
    "  --host ADDR           the address to listen on (default 127.0.0.1)\n"
    "  --port N              the port (default 8350; 0: any free port)\n"
    "  --assets DIR          serve the page's files from DIR instead of the built-in ones\n"
    "  --new SCENE.json      create SCENE.json (which must not exist) with no shapes and the\n"
    "                        cameras of --cameras FILE (an OpenCV file or a COLMAP model folder),\n"
    "                        the photos of --photos DIR; all inside SCENE.json's folder\n"
    "\n"
    "exit status: 0 done (shapes that cannot be reconstructed are reported as such),\n"
    "1 an output could not be written, 2 bad input or usage.\n";

}  // namespace

int HelpCommand(const std::vector<std::string>& /*arguments*/) {
    std::cout << kUsage;
    return kExitDone;
}

int UsageError(const std::string& problem) {
    std::cerr << "polyview-measure: " << Printable(problem) << "\n\n" << kUsage;
    return kExitBadInput;
}

int TakeSceneArgument(const std::string& argument, std::string& sceneFile, bool& allowOutside) {
    if (argument == "--allow-outside-paths") {
        allowOutside = true;
        return kExitDone;
    }
    return TakeSceneFile(argument, sceneFile);
}

int TakeSceneFile(const std::string& argument, std::string& sceneFile) {
    if (argument.size() > 1 && argument[0] == '-') {
        return UsageError("unknown option " + argument);
    } else if (sceneFile.empty()) {
        sceneFile = argument;
    } else {
        return UsageError("one scene file at a time (got " + sceneFile + " and " + argument + ")");
    }
    return kExitDone;
}

int LoadCommandScene(const std::string& sceneFile, bool allowOutside, Scene& scene) {
    if (sceneFile.empty()) {
        return UsageError("no scene file given");
    }
    try {
        scene = LoadScene(sceneFile, allowOutside);
    } catch (const InputError& error) {
        std::cerr << "polyview-measure: " << Printable(error.what()) << "\n";
        return kExitBadInput;
    }
    for (const std::string& warning : scene.warnings) {
        std::cerr << "polyview-measure: warning: " << Printable(warning) << "\n";
    }
    return kExitDone;
}

}  // namespace measure
