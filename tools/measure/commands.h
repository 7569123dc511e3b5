#pragma once

#include <string>
#include <vector>

#include "measure/scene.h"

// The subcommands of polyview-measure, each given the arguments after its name. Each returns the
// exit status: kExitDone, kExitOutputError or kExitBadInput.
namespace measure {

constexpr int kExitDone = 0;
constexpr int kExitOutputError = 1;  // an output could not be written
constexpr int kExitBadInput = 2;     // bad input or usage

// measure [options] SCENE: reconstructs the scene's shapes and writes the report, JSON, pictures
// and COLMAP model asked for.
int MeasureCommand(const std::vector<std::string>& arguments);

// format SCENE [-o OUT] [--allow-outside-paths]: reads the scene and writes it back normalised.
int FormatCommand(const std::vector<std::string>& arguments);

// serve [--host ADDR] [--port N] [--assets DIR] SCENE, or serve ... --new SCENE --cameras FILE
// [--photos DIR]: the workbench's HTTP server (tools/workbench) until SIGINT or SIGTERM.
int ServeCommand(const std::vector<std::string>& arguments);

// help: the usage on standard output.
int HelpCommand(const std::vector<std::string>& arguments);

// The usage on standard error after "polyview-measure: problem"; returns kExitBadInput.
int UsageError(const std::string& problem);

// The arguments every command that reads a scene shares: --allow-outside-paths, the one scene
// file, and an unknown option. kExitDone when the argument was taken, else the usage error's
// status (after printing it).
int TakeSceneArgument(const std::string& argument, std::string& sceneFile, bool& allowOutside);

// The scene file among a command's arguments: an unknown option or a second scene file is the
// usage error's status (after printing it), else kExitDone with sceneFile set.
int TakeSceneFile(const std::string& argument, std::string& sceneFile);

// Loads the scene named on the command line and prints its warnings; kExitDone, or
// kExitBadInput after printing the usage problem or the input error.
int LoadCommandScene(const std::string& sceneFile, bool allowOutside, Scene& scene);

}  // namespace measure
