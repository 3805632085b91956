#pragma once
// The command line of lpfp_cli: the option table, its parser and the usage text.

#include <cstdint>
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
    // Added after the original options; they come after them in the usage text too.
    std::string lpfpConfigPath;
    std::string saveLpfpPath;
    std::string lpfpToXmlPath;
    std::string xmlToLpfpPath;
    std::vector<std::string> diffSources; // exactly two when given
    bool changed = false;
    std::string serial;
    std::string backupDir;
    bool noBackup = false;
    std::string jsonPath; // "-": standard output
    bool showVersion = false;
    // The serial line's speed; without it VARKO5_BAUD, or 9600.
    std::optional<std::uint32_t> baud;
};

// Parse the arguments that follow the program name. On failure the result holds the parser's
// message (without the "Error in command line: " prefix) and options hold whatever was set.
std::optional<std::string> parseCommandLine(const std::vector<std::string>& arguments,
                                            CommandLineOptions& options);

// The usage text for the given program name, without a final line feed.
std::string usageText(const std::string& executable);

// Which flow a parsed command line runs; help is decided before this. The newer actions come
// first, so that the original options can refine them (--getDefaults with --saveLpfp, the XML
// paths with --xml_to_lpfp, --output with --lpfp_to_xml); a command line without them chooses
// as it always did.
enum class FlowChoice {
    None,
    Test,
    GetDefaults,
    GetConfig,
    SetConfig,
    Diff,
    Changed,
    LpfpToXml,
    XmlToLpfp,
    ApplyLpfp,
    SaveLpfp
};
FlowChoice chooseFlow(const CommandLineOptions& options);
