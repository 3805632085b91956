#pragma once
// The command line of lpfp_cli: the option table, its parser and the usage text.

#include <optional>
#include <string>
#include <vector>

// What the command line asked for. Options that are absent keep these start values.
struct CommandLineOptions {
    bool showHelp = false;
    bool debug = false;
    std::string appConfigPath;
    std::string mcConfigPath;
    std::string outputBasename;
    bool getDefaults = false;
    bool getConfig = false;
    bool test = false;
};

// Parse the arguments that follow the program name. On failure the result holds the parser's
// message (without the "Error in command line: " prefix) and options hold whatever was set.
std::optional<std::string> parseCommandLine(const std::vector<std::string>& arguments,
                                            CommandLineOptions& options);

// The usage text for the given program name, without a final line feed.
std::string usageText(const std::string& executable);

// Which flow a parsed command line runs; help is decided before this.
enum class FlowChoice { None, Test, GetDefaults, GetConfig, SetConfig };
FlowChoice chooseFlow(const CommandLineOptions& options);
