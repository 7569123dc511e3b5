#pragma once

#include <string>
#include <vector>

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

// help: the usage on standard output.
int HelpCommand(const std::vector<std::string>& arguments);

// The usage on standard error after "polyview-measure: problem"; returns kExitBadInput.
int UsageError(const std::string& problem);

}  // namespace measure
