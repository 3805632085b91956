#include "cli/flow_table.h"
#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CommandLineOptions parsed(const std::vector<std::string>& arguments) {
    CommandLineOptions options;
    const auto error = parseCommandLine(arguments, options);
    EXPECT_FALSE(error.has_value()) << *error;
    return options;
}

std::string parseError(const std::vector<std::string>& arguments) {
    CommandLineOptions options;
    const auto error = parseCommandLine(arguments, options);
    EXPECT_TRUE(error.has_value());
    return error.value_or("");
}

TEST(CommandLineOptions, NothingGivenKeepsEveryStartValue) {
    const CommandLineOptions options = parsed({});
    EXPECT_FALSE(options.showHelp);
    EXPECT_FALSE(options.debug);
    EXPECT_EQ(options.appConfigPath, "");
    EXPECT_EQ(options.mcConfigPath, "");
    EXPECT_EQ(options.outputBasename, "");
    EXPECT_FALSE(options.getDefaults);
    EXPECT_FALSE(options.getConfig);
    EXPECT_FALSE(options.test);
    EXPECT_STREQ(chosenFlow(options).name, "none");
}

TEST(CommandLineOptions, EveryNameSetsItsField) {
    for (const char* help : {"-?", "-h", "--help"})
        EXPECT_TRUE(parsed({help}).showHelp) << help;
    for (const char* debug : {"-d", "--debug"})
        EXPECT_TRUE(parsed({debug}).debug) << debug;
    EXPECT_TRUE(parsed({"--getDefaults"}).getDefaults);
    EXPECT_TRUE(parsed({"--getConfig"}).getConfig);
    EXPECT_TRUE(parsed({"--test"}).test);
    EXPECT_TRUE(parsed({"--version"}).showVersion);
    EXPECT_EQ(parsed({"--mc_config", "m.xml"}).mcConfigPath, "m.xml");
    EXPECT_EQ(parsed({"-o", "base"}).outputBasename, "base");
    EXPECT_EQ(parsed({"--output", "base"}).outputBasename, "base");
}

TEST(CommandLineOptions, ValueFollowsAsNextArgumentOrAfterEquals) {
    EXPECT_EQ(parsed({"--app_config", "dir/a b.xml"}).appConfigPath, "dir/a b.xml");
    EXPECT_EQ(parsed({"--app_config=dir/a b.xml"}).appConfigPath, "dir/a b.xml");
    EXPECT_EQ(parsed({"--output=x=y"}).outputBasename, "x=y");
    EXPECT_EQ(parsed({"-o=base"}).outputBasename, "base");
    EXPECT_EQ(parsed({"-obase"}).outputBasename, "base");
}

TEST(CommandLineOptions, MalformedCommandLinesAreRefusedWithTheParsersMessage) {
    EXPECT_EQ(parseError({"--app_config"}), "--app_config: 1 required TEXT missing");
    EXPECT_EQ(parseError({"--test", "-o"}), "--output: 1 required TEXT missing");
    EXPECT_EQ(parseError({"--bogus"}), "The following argument was not expected: --bogus");
    EXPECT_EQ(parseError({"-x"}), "The following argument was not expected: -x");
    // No positional arguments: a bare file name is an error, not an input.
    EXPECT_EQ(parseError({"config.app.xml"}), "The following argument was not expected: config.app.xml");
    // Flags take no value; "--test=0" must not quietly mean "do not test".
    EXPECT_EQ(parseError({"--test=0"}), "test was given a disallowed flag override");
    EXPECT_EQ(parseError({"-d=1"}), "The following argument was not expected: 1");
    EXPECT_EQ(parseError({"--app_config", "a", "--app_config", "b"}),
              "--app_config: At Most 1 required but received 2");
    // Names are case sensitive.
    EXPECT_EQ(parseError({"--getdefaults"}), "The following argument was not expected: --getdefaults");
}

TEST(CommandLineOptions, FlowPriorityIsTestDefaultsConfigThenSet) {
    EXPECT_STREQ(chosenFlow(parsed({"--app_config=a", "--getConfig", "--getDefaults", "--test"})).name,
                 "test");
    EXPECT_STREQ(chosenFlow(parsed({"--app_config=a", "--getConfig", "--getDefaults"})).name, "getDefaults");
    EXPECT_STREQ(chosenFlow(parsed({"--mc_config=m", "--getConfig"})).name, "getConfig");
    EXPECT_STREQ(chosenFlow(parsed({"--mc_config=m"})).name, "setConfig");
    EXPECT_STREQ(chosenFlow(parsed({"--app_config=a"})).name, "setConfig");
    EXPECT_STREQ(chosenFlow(parsed({"-o", "base", "-d"})).name, "none");
}

TEST(CommandLineOptions, UsageTextListsEveryOptionInTableOrder) {
    EXPECT_EQ(
        usageText("lpfp_cli"),
        "Usage:\n"
        "  lpfp_cli [-?|-h|--help] [-d|--debug] [--app_config <input_file>] [--mc_config <input_file>] "
        "[-o|--output <output_filename>] [--getDefaults] [--getConfig] [--test] "
        "[--lpfp_config <input_file>] [--saveLpfp <output_file>] [--lpfp_to_xml <input_file>] "
        "[--xml_to_lpfp <output_file>] [--diff <source> <source>] [--changed] [--serial <serial_number>] "
        "[--backup_dir <folder>] [--no_backup] [--json <output_file>] [--version] [--baud <rate>] "
        "[--record <dest>] [--history <serial|all>] [--since <date>] [--history-export <id>]\n"
        "\n"
        "Options, arguments:\n"
        "  -?, -h, --help\n"
        "        Display usage information.\n"
        "  -d, --debug\n"
        "        Enables debug logging.\n"
        "  --app_config <input_file>\n"
        "        Path to the App Configuration XML document\n"
        "  --mc_config <input_file>\n"
        "        Path to the MC Configuration XML document\n"
        "  -o, --output <output_filename>\n"
        "        The basename for the output file.\n"
        "  --getDefaults\n"
        "        Gets the default configuration XML files.\n"
        "  --getConfig\n"
        "        Print the configuration of the ARM board\n"
        "  --test\n"
        "        Test the connections\n"
        // The options added for LPFP files, differences, device choice and backups
        // come after the original ones.
        "  --lpfp_config <input_file>\n"
        "        Path to an LPFP file to apply to the controller\n"
        "  --saveLpfp <output_file>\n"
        "        Save the current configuration as an LPFP file (the defaults with --getDefaults)\n"
        "  --lpfp_to_xml <input_file>\n"
        "        Convert an LPFP file into two XML documents named by --output or after the file (no "
        "device needed)\n"
        "  --xml_to_lpfp <output_file>\n"
        "        Convert the --app_config and --mc_config documents into an LPFP file (no device needed)\n"
        "  --diff <source> <source>\n"
        "        Print the fields that differ between two sources: app.xml,mc.xml | one.xml | file.lpfp | "
        "device:current | device:default (status 0 same, 1 different, 2 trouble)\n"
        "  --changed\n"
        "        Print the fields of the current configuration that differ from the defaults\n"
        "  --serial <serial_number>\n"
        "        Serial number of the device to use when several are connected; a comma-separated list, or "
        "all, runs the flow on every one of them at once\n"
        "  --backup_dir <folder>\n"
        "        Folder for the backup saved before every write (default: $XDG_DATA_HOME/varko5/backups)\n"
        "  --no_backup\n"
        "        Write to the controller without saving a backup first\n"
        "  --json <output_file>\n"
        "        Also write the result as a JSON document (- for standard output; the report then goes to "
        "standard error)\n"
        "  --version\n"
        "        Display the version.\n"

        "  --baud <rate>\n"
        "        Line speed of the serial port in baud, 8N1 (default: $VARKO5_BAUD, or 9600)\n"
        "  --record <dest>\n"
        "        Record every write and read in a production record: an SQLite file, or a postgresql:// URI "
        "(default: $VARKO5_RECORD)\n"
        "  --history <serial|all>\n"
        "        Print the recorded entries of one controller, or of all (as JSON with --json)\n"
        "  --since <date>\n"
        "        With --history: only entries since YYYY-MM-DD[THH:MM[:SS]], UTC\n"
        "  --history-export <id>\n"
        "        Write the configuration of one recorded entry as the LPFP file named by -o");
}

} // namespace
