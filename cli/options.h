#pragma once
// The command line of lpfp_cli. Every option is one row of optionTable(): its names, value hint,
// description, the field it sets and how its value is checked. The parser, the usage text, the
// manual page's option list and the bash completion are all made from those rows, so adding an
// option is its field and its row; an action adds its flow and its row in flowTable()
// (cli/flow_table.h).

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// What the command line asked for. Options that are absent keep these start values.
struct CommandLineOptions {
    // Help, logging, the XML documents and the device test and XML flows.
    bool showHelp = false;
    bool debug = false;
    std::string appConfigPath;
    std::string mcConfigPath;
    std::string outputBasename;
    bool getDefaults = false;
    bool getConfig = false;
    bool test = false;
    // LPFP files, comparisons, device choice, backups, machine-readable results.
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
    // The production record: where (without it VARKO5_RECORD), and what to read from it.
    std::string recordDestination;
    std::string historySerial; // a serial number, or "all"
    std::string since;
    std::string historyExportId;
};

// What an option's value names, for the shell's completion.
enum class ValueKind { None, File, Folder, Other };

// The field an option sets: a flag, one text, a list of texts (the row's valueCount of them),
// or a line speed.
using OptionField = std::variant<bool CommandLineOptions::*, std::string CommandLineOptions::*,
                                 std::vector<std::string> CommandLineOptions::*,
                                 std::optional<std::uint32_t> CommandLineOptions::*>;

// One option. A check returns what is wrong with a value ("" when nothing is); the parser
// reports it as "<long name>: <what is wrong>".
struct OptionRow {
    const char* names;       // comma separated, short names first: "-o,--output"
    const char* hint;        // the value's name in the usage text; "" for a flag
    int valueCount;          // 0 for a flag
    ValueKind kind;          // what the value names
    const char* description; // the usage text's line
    OptionField field;
    std::string (*check)(const std::string& value) = nullptr;
};

// The rows in the order of the usage text.
const std::vector<OptionRow>& optionTable();

// Parse the arguments that follow the program name. On failure the result holds the parser's
// message (without the "Error in command line: " prefix) and options hold whatever was set.
std::optional<std::string> parseCommandLine(const std::vector<std::string>& arguments,
                                            CommandLineOptions& options);

// The usage text for the given program name, without a final line feed.
std::string usageText(const std::string& executable);

// The option list of the manual page, as roff (.TP paragraphs), and a bash completion script
// for the program; both made from the option table.
std::string manPageOptions();
std::string bashCompletion(const std::string& program);
