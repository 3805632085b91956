// The usage text and the command-line errors of the options added for benches and lines.

#include "tests/cli/cli_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST_F(CliExtras, UsageTextKeepsTheOriginalOptionsFirstAndAddsTheNewOnesAfter) {
    const std::string original = "Usage:\n  lpfp_cli [-?|-h|--help] [-d|--debug] [--app_config <input_file>] "
                                 "[--mc_config <input_file>] [-o|--output <output_filename>] [--getDefaults] "
                                 "[--getConfig] [--test] ";
    const std::string originalOptions = "Options, arguments:\n"
                                        "  -?, -h, --help\n        Display usage information.\n"
                                        "  -d, --debug\n        Enables debug logging.\n"
                                        "  --app_config <input_file>\n"
                                        "        Path to the App Configuration XML document\n"
                                        "  --mc_config <input_file>\n"
                                        "        Path to the MC Configuration XML document\n"
                                        "  -o, --output <output_filename>\n"
                                        "        The basename for the output file.\n"
                                        "  --getDefaults\n        Gets the default configuration XML files.\n"
                                        "  --getConfig\n        Print the configuration of the ARM board\n"
                                        "  --test\n        Test the connections\n";
    const CliResult result = run({"--help"}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 0);
    // The synopsis is wrapped to 80 columns between its option groups; as one line it is unchanged.
    const std::regex blanks(" *\n +");
    ASSERT_EQ(result.out.rfind("Usage:\n", 0), 0u) << result.out;
    EXPECT_EQ(std::regex_replace(result.out.substr(7), blanks, " ").rfind(original.substr(7), 0), 0u)
        << result.out;
    const auto options = result.out.find(originalOptions);
    ASSERT_NE(options, std::string::npos) << result.out;
    const std::string added = result.out.substr(options + originalOptions.size());
    for (const char* name :
         {"--lpfp_config <input_file>", "--saveLpfp <output_file>", "--lpfp_to_xml <input_file>",
          "--xml_to_lpfp <output_file>", "--diff <source> <source>", "--changed", "--serial <serial_number>",
          "--backup_dir <folder>", "--no_backup", "--version"}) {
        EXPECT_THAT(added, HasSubstr("  " + std::string(name) + "\n")) << name;
    }
}

TEST_F(CliExtras, ValueOptionsWithoutTheirValuesAreCommandLineErrors) {
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--lpfp_config"},
                                                      {"--diff", "a.lpfp"},
                                                      {"--serial"},
                                                      {"--backup_dir"},
                                                      {"--no_backup=1"}}) {
        const CliResult result = run(arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 1) << arguments[0];
        EXPECT_EQ(result.err.rfind("Error in command line: ", 0), 0u) << result.err;
        EXPECT_EQ(result.out, "") << arguments[0];
    }
}
