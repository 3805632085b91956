// The conventions a console user expects of the programs themselves, beyond their flows: help
// and version of lpfp_sim, and command-line errors that name the program and point to --help.

#include "tests/support/cli_process.h"

#include "simulator/scenario.h"
#include "varko5_version.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using ::testing::HasSubstr;

#ifdef LPFP_SIM_PATH
namespace {

CliResult runSim(const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& env = {}) {
    CliChild child = startCli(arguments, env, LPFP_SIM_PATH);
    return finishCli(child);
}

} // namespace

TEST(SimCommandLine, HelpListsEveryScenarioKeyAndFaultAndEndsWithZero) {
    for (const char* option : {"--help", "-h", "-?"}) {
        SCOPED_TRACE(option);
        // Help wins over a scenario, before anything is served.
        const CliResult r = runSim({"devices=1", option});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("Usage: lpfp_sim [SCENARIO]\n", 0), 0u) << r.out;
        for (const SimScenarioHelp& key : simScenarioKeys())
            EXPECT_THAT(r.out, HasSubstr("\n  " + std::string(key.name) + "=" + key.value + " ")) << key.name;
        for (const SimScenarioHelp& fault : simFaultNames())
            EXPECT_THAT(r.out, HasSubstr("\n  " + std::string(fault.name) + " ")) << fault.name;
        std::size_t start = 0;
        while (start < r.out.size()) {
            const std::size_t end = r.out.find('\n', start);
            ASSERT_NE(end, std::string::npos) << "the help ends with a line feed";
            EXPECT_LE(end - start, 80u) << r.out.substr(start, end - start);
            start = end + 1;
        }
    }
}

TEST(SimCommandLine, VersionIsOneLineAndEndsWithZero) {
    const CliResult r = runSim({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("lpfp_sim ") + VARKO5_VERSION + "\n");
    EXPECT_EQ(r.err, "");
}

TEST(SimCommandLine, UnknownOptionsExtraArgumentsAndBadScenariosEndWithTwo) {
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--bogus"}, "lpfp_sim: unknown option '--bogus'; try 'lpfp_sim --help'\n"},
        {{"fw=5.2", "-x"}, "lpfp_sim: unknown option '-x'; try 'lpfp_sim --help'\n"},
        {{"fw=5.2", "latency=3"}, "lpfp_sim: one scenario argument expected, got 2; try 'lpfp_sim --help'\n"},
        {{"colour=red"}, "lpfp_sim: Unknown scenario key 'colour'; try 'lpfp_sim --help'\n"},
        {{"fault=melted"}, "lpfp_sim: Unknown simulator fault 'melted'; try 'lpfp_sim --help'\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        const CliResult r = runSim(c.arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "") << "no terminal is served";
        EXPECT_EQ(r.err, c.message);
    }
    // The scenario from the environment is checked the same way.
    const CliResult r = runSim({}, {{"VARKO5_SIMULATOR", "colour=red"}});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "lpfp_sim: Unknown scenario key 'colour'; try 'lpfp_sim --help'\n");
}
#endif
