#include "cli/options.h"

#include "core/device/serial_port.h"

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string_view>

namespace {

// One row of the option table. The parser and the usage text are both built from it, in
// this order, so the two cannot drift apart.
struct OptionRow {
    const char* names;      // as CLI11 takes them: comma separated
    const char* shownNames; // as the usage text lists them
    const char* synopsis;   // the bracketed form on the "Usage:" line
    const char* description;
};

constexpr OptionRow OPTION_TABLE[] = {
    {"-?,-h,--help", "-?, -h, --help", "[-?|-h|--help]", "Display usage information."},
    {"-d,--debug", "-d, --debug", "[-d|--debug]", "Enables debug logging."},
    {"--app_config", "--app_config <input_file>", "[--app_config <input_file>]",
     "Path to the App Configuration XML document"},
    {"--mc_config", "--mc_config <input_file>", "[--mc_config <input_file>]",
     "Path to the MC Configuration XML document"},
    {"-o,--output", "-o, --output <output_filename>", "[-o|--output <output_filename>]",
     "The basename for the output file."},
    {"--getDefaults", "--getDefaults", "[--getDefaults]", "Gets the default configuration XML files."},
    {"--getConfig", "--getConfig", "[--getConfig]", "Print the configuration of the ARM board"},
    {"--test", "--test", "[--test]", "Test the connections"},
    {"--lpfp_config", "--lpfp_config <input_file>", "[--lpfp_config <input_file>]",
     "Path to an LPFP file to apply to the controller"},
    {"--saveLpfp", "--saveLpfp <output_file>", "[--saveLpfp <output_file>]",
     "Save the current configuration as an LPFP file (the defaults with --getDefaults)"},
    {"--lpfp_to_xml", "--lpfp_to_xml <input_file>", "[--lpfp_to_xml <input_file>]",
     "Convert an LPFP file into two XML documents named by --output or after the file (no device needed)"},
    {"--xml_to_lpfp", "--xml_to_lpfp <output_file>", "[--xml_to_lpfp <output_file>]",
     "Convert the --app_config and --mc_config documents into an LPFP file (no device needed)"},
    {"--diff", "--diff <source> <source>", "[--diff <source> <source>]",
     "Print the fields that differ between two sources: app.xml,mc.xml | one.xml | file.lpfp | "
     "device:current | device:default (status 0 same, 1 different, 2 trouble)"},
    {"--changed", "--changed", "[--changed]",
     "Print the fields of the current configuration that differ from the defaults"},
    {"--serial", "--serial <serial_number>", "[--serial <serial_number>]",
     "Serial number of the device to use when several are connected; a comma-separated list, or all, "
     "runs the flow on every one of them at once"},
    {"--backup_dir", "--backup_dir <folder>", "[--backup_dir <folder>]",
     "Folder for the backup saved before every write (default: $XDG_DATA_HOME/varko5/backups)"},
    {"--no_backup", "--no_backup", "[--no_backup]", "Write to the controller without saving a backup first"},
    {"--json", "--json <output_file>", "[--json <output_file>]",
     "Also write the result as a JSON document (- for standard output; the report then goes to standard "
     "error)"},
    {"--version", "--version", "[--version]", "Display the version."},
    {"--baud", "--baud <rate>", "[--baud <rate>]",
     "Line speed of the serial port in baud, 8N1 (default: $VARKO5_BAUD, or 9600)"},
};

enum OptionIndex : std::size_t {
    HELP,
    DEBUG,
    APP_CONFIG,
    MC_CONFIG,
    OUTPUT,
    GET_DEFAULTS,
    GET_CONFIG,
    TEST,
    LPFP_CONFIG,
    SAVE_LPFP,
    LPFP_TO_XML,
    XML_TO_LPFP,
    DIFF,
    CHANGED,
    SERIAL,
    BACKUP_DIR,
    NO_BACKUP,
    JSON,
    SHOW_VERSION,
    BAUD
};

void addFlag(CLI::App& app, OptionIndex index, bool& field) {
    app.add_flag(OPTION_TABLE[index].names, field, OPTION_TABLE[index].description)->disable_flag_override();
}

void addValue(CLI::App& app, OptionIndex index, std::string& field) {
    app.add_option(OPTION_TABLE[index].names, field, OPTION_TABLE[index].description);
}

// A value may follow "=" after a short option too ("-o=name"); CLI11 reads that as the value
// "=name", so such a token is split into the option and its value first.
std::vector<std::string> splitShortAssignments(const std::vector<std::string>& arguments) {
    std::vector<std::string> tokens;
    tokens.reserve(arguments.size());
    for (const std::string& argument : arguments) {
        if (argument.size() >= 3 && argument[0] == '-' && argument[1] != '-' && argument[2] == '=') {
            tokens.push_back(argument.substr(0, 2));
            tokens.push_back(argument.substr(3));
        } else {
            tokens.push_back(argument);
        }
    }
    return tokens;
}

// "--output=" (or "-o=") with nothing after the "=": CLI11 would take the next argument as the
// value, so "--saveLpfp= --getDefaults" would save into a file named "--getDefaults". An empty
// value given this way is refused instead. The option table decides which names take values.
std::optional<std::string> emptyAssignment(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (argument.size() < 3 || argument[0] != '-' || argument.back() != '=' ||
            argument.find('=') != argument.size() - 1) {
            continue;
        }
        const std::string name = argument.substr(0, argument.size() - 1);
        for (const OptionRow& row : OPTION_TABLE) {
            const std::string names = std::string(",") + row.names + ",";
            const bool takesValue = std::string_view(row.shownNames).find('<') != std::string_view::npos;
            if (takesValue && names.find("," + name + ",") != std::string::npos) {
                return "The value of " + name + " is empty after \"=\"";
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> parseCommandLine(const std::vector<std::string>& arguments,
                                            CommandLineOptions& options) {
    CLI::App app;
    app.set_help_flag(); // "-?", "-h" and "--help" are an ordinary flag of the table
    addFlag(app, HELP, options.showHelp);
    addFlag(app, DEBUG, options.debug);
    addValue(app, APP_CONFIG, options.appConfigPath);
    addValue(app, MC_CONFIG, options.mcConfigPath);
    addValue(app, OUTPUT, options.outputBasename);
    addFlag(app, GET_DEFAULTS, options.getDefaults);
    addFlag(app, GET_CONFIG, options.getConfig);
    addFlag(app, TEST, options.test);
    addValue(app, LPFP_CONFIG, options.lpfpConfigPath);
    addValue(app, SAVE_LPFP, options.saveLpfpPath);
    addValue(app, LPFP_TO_XML, options.lpfpToXmlPath);
    addValue(app, XML_TO_LPFP, options.xmlToLpfpPath);
    app.add_option(OPTION_TABLE[DIFF].names, options.diffSources, OPTION_TABLE[DIFF].description)
        ->expected(2);
    addFlag(app, CHANGED, options.changed);
    addValue(app, SERIAL, options.serial);
    addValue(app, BACKUP_DIR, options.backupDir);
    addFlag(app, NO_BACKUP, options.noBackup);
    addValue(app, JSON, options.jsonPath);
    addFlag(app, SHOW_VERSION, options.showVersion);
    std::string baud;
    addValue(app, BAUD, baud);

    if (auto error = emptyAssignment(arguments))
        return error;
    // CLI11 consumes its argument list from the back.
    std::vector<std::string> tokens = splitShortAssignments(arguments);
    std::vector<std::string> reversed(tokens.rbegin(), tokens.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        return std::string(error.what());
    }
    if (!baud.empty()) {
        const bool digits = baud.size() <= 9 && baud.find_first_not_of("0123456789") == std::string::npos;
        const auto rate = digits ? static_cast<std::uint32_t>(std::stoul(baud)) : 0u;
        if (!isSupportedBaud(rate))
            return "--baud: " + baud + " is not a line speed a serial port can be set to";
        options.baud = rate;
    }
    return std::nullopt;
}

std::string usageText(const std::string& executable) {
    std::string text = "Usage:\n  " + executable;
    for (const OptionRow& row : OPTION_TABLE) {
        text += ' ';
        text += row.synopsis;
    }
    text += "\n\nOptions, arguments:";
    for (const OptionRow& row : OPTION_TABLE) {
        text += "\n  ";
        text += row.shownNames;
        text += "\n        ";
        text += row.description;
    }
    return text;
}

FlowChoice chooseFlow(const CommandLineOptions& options) {
    if (!options.diffSources.empty())
        return FlowChoice::Diff;
    if (options.changed)
        return FlowChoice::Changed;
    if (!options.lpfpToXmlPath.empty())
        return FlowChoice::LpfpToXml;
    if (!options.xmlToLpfpPath.empty())
        return FlowChoice::XmlToLpfp;
    if (!options.lpfpConfigPath.empty())
        return FlowChoice::ApplyLpfp;
    if (!options.saveLpfpPath.empty())
        return FlowChoice::SaveLpfp;
    if (options.test)
        return FlowChoice::Test;
    if (options.getDefaults)
        return FlowChoice::GetDefaults;
    if (options.getConfig)
        return FlowChoice::GetConfig;
    if (!options.appConfigPath.empty() || !options.mcConfigPath.empty())
        return FlowChoice::SetConfig;
    return FlowChoice::None;
}
