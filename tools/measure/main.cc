// polyview-measure: measures the shapes of a scene file (cameras and picks) with the library and
// reports them as text, JSON and pictures; "format" writes the scene back normalised; "serve" runs
// the workbench, where the picks are made in the browser.

#include <string>
#include <vector>

#include "measure/commands.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const std::string command = arguments.empty() ? "" : arguments.front();
    const std::vector<std::string> rest(arguments.begin() + (arguments.empty() ? 0 : 1),
                                        arguments.end());
    if (command == "measure") {
        return measure::MeasureCommand(rest);
    }
    if (command == "format") {
        return measure::FormatCommand(rest);
    }
    if (command == "serve") {
        return measure::ServeCommand(rest);
    }
    if (command == "help") {
        return measure::HelpCommand(rest);
    }
    // A bare scene file and options, as before the subcommands.
    return measure::MeasureCommand(arguments);
}
