#include "cli/options.h"

#include "core/device/serial_port.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include <string_view>

namespace {

using Options = CommandLineOptions;

std::string checkBaud(const std::string& value) {
    const std::optional<std::uint32_t> rate = parseBaudText(value);
    if (rate && isSupportedBaud(*rate))
        return {};
    return value + " is not a line speed a serial port can be set to";
}

} // namespace

const std::vector<OptionRow>& optionTable() {
    static const std::vector<OptionRow> rows{
        {"-?,-h,--help", "", 0, ValueKind::None, "Display usage information.", &Options::showHelp},
        {"-d,--debug", "", 0, ValueKind::None, "Enables debug logging.", &Options::debug},
        {"--app_config", "input_file", 1, ValueKind::File, "Path to the App Configuration XML document",
         &Options::appConfigPath},
        {"--mc_config", "input_file", 1, ValueKind::File, "Path to the MC Configuration XML document",
         &Options::mcConfigPath},
        {"-o,--output", "output_filename", 1, ValueKind::File, "The basename for the output file.",
         &Options::outputBasename},
        {"--getDefaults", "", 0, ValueKind::None, "Gets the default configuration XML files.",
         &Options::getDefaults},
        {"--getConfig", "", 0, ValueKind::None, "Print the configuration of the ARM board",
         &Options::getConfig},
        {"--test", "", 0, ValueKind::None, "Test the connections", &Options::test},
        {"--lpfp_config", "input_file", 1, ValueKind::File, "Path to an LPFP file to apply to the controller",
         &Options::lpfpConfigPath},
        {"--saveLpfp", "output_file", 1, ValueKind::File,
         "Save the current configuration as an LPFP file (the defaults with --getDefaults)",
         &Options::saveLpfpPath},
        {"--lpfp_to_xml", "input_file", 1, ValueKind::File,
         "Convert an LPFP file into two XML documents named by --output or after the file (no device needed)",
         &Options::lpfpToXmlPath},
        {"--xml_to_lpfp", "output_file", 1, ValueKind::File,
         "Convert the --app_config and --mc_config documents into an LPFP file (no device needed)",
         &Options::xmlToLpfpPath},
        {"--diff", "source", 2, ValueKind::File,
         "Print the fields that differ between two sources: app.xml,mc.xml | one.xml | file.lpfp | "
         "device:current | device:default (status 0 same, 1 different, 2 trouble)",
         &Options::diffSources},
        {"--changed", "", 0, ValueKind::None,
         "Print the fields of the current configuration that differ from the defaults", &Options::changed},
        {"--serial", "serial_number", 1, ValueKind::Other,
         "Serial number of the device to use when several are connected; a comma-separated list, or all, "
         "runs the flow on every one of them at once",
         &Options::serial},
        {"--backup_dir", "folder", 1, ValueKind::Folder,
         "Folder for the backup saved before every write (default: $XDG_DATA_HOME/varko5/backups)",
         &Options::backupDir},
        {"--no_backup", "", 0, ValueKind::None, "Write to the controller without saving a backup first",
         &Options::noBackup},
        {"--json", "output_file", 1, ValueKind::File,
         "Also write the result as a JSON document (- for standard output; the report then goes to standard "
         "error)",
         &Options::jsonPath},
        {"--version", "", 0, ValueKind::None, "Display the version.", &Options::showVersion},
        {"--baud", "rate", 1, ValueKind::Other,
         "Line speed of the serial port in baud, 8N1 (default: $VARKO5_BAUD, or 9600)", &Options::baud,
         checkBaud},
        {"--record", "dest", 1, ValueKind::File,
         "Record every write and read in a production record: an SQLite file, or a postgresql:// URI "
         "(default: $VARKO5_RECORD)",
         &Options::recordDestination},
        {"--history", "serial|all", 1, ValueKind::Other,
         "Print the recorded entries of one controller, or of all (as JSON with --json)",
         &Options::historySerial},
        {"--since", "date", 1, ValueKind::Other,
         "With --history: only entries since YYYY-MM-DD[THH:MM[:SS]], UTC", &Options::since},
        {"--history-export", "id", 1, ValueKind::Other,
         "Write the configuration of one recorded entry as the LPFP file named by -o",
         &Options::historyExportId},
    };
    return rows;
}

namespace {

std::vector<std::string> namesOf(const OptionRow& row) {
    std::vector<std::string> names;
    std::string_view rest = row.names;
    while (!rest.empty()) {
        const std::size_t comma = std::min(rest.find(','), rest.size());
        names.emplace_back(rest.substr(0, comma));
        rest.remove_prefix(std::min(comma + 1, rest.size()));
    }
    return names;
}

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

// " <hint>" once per value: " <source> <source>".
std::string valueHints(const OptionRow& row) {
    std::string text;
    for (int i = 0; i < row.valueCount; ++i)
        text += std::string(" <") + row.hint + ">";
    return text;
}

// The row's binding in the parser: its field, its value count and its check.
void bind(CLI::App& app, const OptionRow& row, CommandLineOptions& options) {
    CLI::Option* option = nullptr;
    if (auto flag = std::get_if<bool Options::*>(&row.field)) {
        // A flag takes no value: "--test=0" must not quietly mean "do not test".
        option = app.add_flag(row.names, options.**flag, row.description)->disable_flag_override();
    } else if (auto text = std::get_if<std::string Options::*>(&row.field)) {
        option = app.add_option(row.names, options.**text, row.description);
    } else if (auto list = std::get_if<std::vector<std::string> Options::*>(&row.field)) {
        option = app.add_option(row.names, options.**list, row.description)->expected(row.valueCount);
    } else {
        auto rate = std::get<std::optional<std::uint32_t> Options::*>(row.field);
        option = app.add_option_function<std::string>(
            row.names, [&options, rate](const std::string& value) { options.*rate = parseBaudText(value); },
            row.description);
    }
    if (row.check != nullptr)
        option->check(
            CLI::Validator([check = row.check](std::string& value) { return check(value); }, row.hint));
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

// How many values the option of that name takes (0 for a flag or a name not in the table).
int valuesTaken(const std::string& name) {
    for (const OptionRow& row : optionTable()) {
        const std::vector<std::string> names = namesOf(row);
        if (std::find(names.begin(), names.end(), name) != names.end())
            return row.valueCount;
    }
    return 0;
}

// An empty value is never a value: an empty file name, serial number or folder would otherwise
// pass for an option not given ("--serial ''" choosing the only device) or fall back silently.
// "--output=" (or "-o=") with nothing after the "=" is refused too: CLI11 would take the next
// argument as the value, so "--saveLpfp= --getDefaults" would save into a file named
// "--getDefaults".
std::optional<std::string> emptyValue(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() >= 3 && argument[0] == '-' && argument.back() == '=' &&
            argument.find('=') == argument.size() - 1) {
            const std::string name = argument.substr(0, argument.size() - 1);
            if (valuesTaken(name) > 0)
                return "The value of " + name + " is empty after \"=\"";
            continue;
        }
        if (argument.size() < 2 || argument[0] != '-')
            continue;
        const auto taken = static_cast<std::size_t>(valuesTaken(argument));
        for (std::size_t k = 1; k <= taken && i + k < arguments.size(); ++k) {
            if (arguments[i + k].empty())
                return "The value of " + argument + " is empty";
        }
        i += taken;
    }
    return std::nullopt;
}

// The completion words of the options whose values name files or folders.
std::string namesWith(ValueKind kind) {
    std::vector<std::string> all;
    for (const OptionRow& row : optionTable())
        if (row.kind == kind)
            for (const std::string& name : namesOf(row))
                all.push_back(name);
    return joined(all, "|");
}

// A hyphen in a manual page is written "\-", so that it is not set as a typographic dash.
std::string roffEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '-' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

} // namespace

std::optional<std::string> parseCommandLine(const std::vector<std::string>& arguments,
                                            CommandLineOptions& options) {
    CLI::App app;
    app.set_help_flag(); // "-?", "-h" and "--help" are an ordinary row of the table
    for (const OptionRow& row : optionTable())
        bind(app, row, options);

    if (auto error = emptyValue(arguments))
        return error;
    const std::vector<std::string> tokens = splitShortAssignments(arguments);
    std::vector<const char*> argv{"lpfp_cli"};
    for (const std::string& token : tokens)
        argv.push_back(token.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

std::string usageText(const std::string& executable) {
    std::string synopsis;
    std::string list;
    for (const OptionRow& row : optionTable()) {
        const std::vector<std::string> names = namesOf(row);
        synopsis += " [" + joined(names, "|") + valueHints(row) + "]";
        list += "\n  " + joined(names, ", ") + valueHints(row) + "\n        " + row.description;
    }
    return "Usage:\n  " + executable + synopsis + "\n\nOptions, arguments:" + list;
}

std::string manPageOptions() {
    std::string text;
    for (const OptionRow& row : optionTable()) {
        std::string names;
        for (const std::string& name : namesOf(row))
            names += (names.empty() ? "\\fB" : ", \\fB") + roffEscaped(name) + "\\fR";
        for (int i = 0; i < row.valueCount; ++i)
            names += std::string(" \\fI") + roffEscaped(row.hint) + "\\fR";
        text += ".TP\n" + names + "\n" + roffEscaped(row.description) + "\n";
    }
    return text;
}

std::string bashCompletion(const std::string& program) {
    std::vector<std::string> every;
    for (const OptionRow& row : optionTable())
        for (const std::string& name : namesOf(row))
            if (name != "-?") // a glob character, of no use to complete
                every.push_back(name);
    const std::string function = "_" + program;
    std::string script = "# bash completion for " + program + "; made from its option table\n";
    // A --diff source is a file or the controller itself.
    const std::string sources = "COMPREPLY=($(compgen -W \"device:current device:default\" -- \"$cur\") "
                                "$(compgen -f -- \"$cur\")); return ;;\n";
    std::vector<std::string> sourceNames;
    std::vector<std::string> secondValueNames; // options whose second value is being typed
    for (const OptionRow& row : optionTable()) {
        if (std::string(row.hint) == "source")
            for (const std::string& name : namesOf(row))
                sourceNames.push_back(name);
        if (row.valueCount == 2 && row.kind == ValueKind::File)
            for (const std::string& name : namesOf(row))
                secondValueNames.push_back(name);
    }
    script += function + "() {\n"
                         "    local cur prev\n"
                         "    cur=\"${COMP_WORDS[COMP_CWORD]}\"\n"
                         "    prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n";
    if (!secondValueNames.empty()) {
        const bool bothSources =
            std::all_of(secondValueNames.begin(), secondValueNames.end(), [&](const auto& name) {
                return std::find(sourceNames.begin(), sourceNames.end(), name) != sourceNames.end();
            });
        script +=
            "    if ((COMP_CWORD > 1)); then\n"
            "        case \"${COMP_WORDS[COMP_CWORD-2]}\" in\n"
            "        " +
            joined(secondValueNames, "|") + ")\n            " +
            (bothSources ? sources : std::string("COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n")) +
            "        esac\n"
            "    fi\n";
    }
    script += "    case \"$prev\" in\n";
    if (!sourceNames.empty())
        script += "    " + joined(sourceNames, "|") + ")\n        " + sources;
    const std::string files = namesWith(ValueKind::File);
    const std::string folders = namesWith(ValueKind::Folder);
    const std::string others = namesWith(ValueKind::Other);
    if (!files.empty())
        script += "    " + files + ")\n        COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
    if (!folders.empty())
        script += "    " + folders + ")\n        COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n";
    if (!others.empty())
        script += "    " + others + ")\n        COMPREPLY=(); return ;;\n";
    script += "    esac\n"
              "    COMPREPLY=($(compgen -W \"" +
              joined(every, " ") +
              "\" -- \"$cur\"))\n"
              "}\n"
              "complete -o filenames -F " +
              function + " " + program + "\n";
    return script;
}
