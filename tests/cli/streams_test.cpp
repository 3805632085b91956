// Which stream carries what. The flows added beyond the original ones keep standard output for
// their data, so that a script reading it gets nothing else; their report and log lines go to
// standard error. NO_COLOR, command-line errors and the width of the usage text.

#include "tests/cli/cli_fixture.h"

#include "cli/text_wrap.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <regex>

// A pseudo-terminal to run the program on is POSIX-only: the terminal cases are Linux-only.
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;
#endif

using ::testing::Each;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const char* const DIFFERENCE_LINE = "(APPConfiguration|MCConfiguration) [a-z0-9_.]+: .* -> .*";

// A whole line matching an ECMAScript regular expression. GoogleTest's MatchesRegex uses its
// own simple regex on Windows, which has no alternation or bracket expressions.
MATCHER_P(MatchesRegex, pattern, std::string("matches ") + pattern) {
    return std::regex_match(std::string(arg), std::regex(pattern));
}

// lpfp_cli with its standard output and error on a pseudo-terminal of the given width, as an
// interactive user runs it. Returns everything the terminal showed and the exit status.
#ifndef _WIN32
struct TerminalRun {
    int status = -1;
    std::string shown;
};

TerminalRun runOnTerminal(const std::vector<std::string>& arguments, const std::vector<std::string>& env,
                          unsigned short columns = 120) {
    TerminalRun run;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return run;
    const std::string slavePath = ::ptsname(master);
    winsize size{};
    size.ws_row = 40;
    size.ws_col = columns;
    ::ioctl(master, TIOCSWINSZ, &size);
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    termios settings{};
    ::tcgetattr(slave, &settings);
    settings.c_oflag &= ~static_cast<tcflag_t>(ONLCR); // the program's own line feeds, unchanged
    ::tcsetattr(slave, TCSANOW, &settings);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, slave, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, slave, STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, master);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("NO_COLOR=", 0) != 0 && text.rfind("VARKO5_", 0) != 0 && text.rfind("TERM=", 0) != 0)
            environment.push_back(text);
    }
    environment.push_back("TERM=xterm");
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& text : environment)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    const std::string program = LPFP_CLI_PATH;
    std::string name = "lpfp_cli";
    std::vector<std::string> argumentCopies = arguments;
    std::vector<char*> argv{name.data()};
    for (std::string& argument : argumentCopies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(slave);
    if (spawned != 0) {
        ::close(master);
        return run;
    }
    // Read until the child has gone and the terminal has nothing more (EIO once no slave is open).
    char buffer[4096];
    while (true) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            run.shown.append(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

#endif

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

std::size_t longestLine(const std::string& text) {
    std::size_t longest = 0;
    for (const std::string& line : splitLines(text))
        longest = std::max(longest, line.size());
    return longest;
}

} // namespace

TEST_F(CliExtras, DiffWritesOnlyTheDifferencesToStandardOutput) {
    SimRecords other = defaults();
    other.app.controller_id = 9;
    other.mc.si_motor_poles = 4;
    const std::string a = writeLpfp("a.lpfp", defaults());
    const std::string b = writeLpfp("b.lpfp", other);
    const CliResult r = run({"--diff", a, b}, UNTOUCHABLE);
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.lines.size(), 2u) << r.out;
    EXPECT_THAT(r.lines, Each(MatchesRegex(DIFFERENCE_LINE)));
    EXPECT_THAT(r.errLines, ElementsAreArray(Lines{"[info] 2 fields differ"}));

    // A narrowed value is a warning, on standard error too.
    const std::string odd =
        write("odd.app.xml", "<APPConfiguration><controller_id>300</controller_id></APPConfiguration>");
    const CliResult narrowed = run({"--diff", odd, a}, UNTOUCHABLE);
    EXPECT_THAT(narrowed.lines, Each(MatchesRegex(DIFFERENCE_LINE)));
    EXPECT_THAT(narrowed.err, HasSubstr("[warning] " + odd + ": controller_id"));
}

TEST_F(CliExtras, DiffAmongSeveralDevicesPrefixesEachDataLineWithItsDevice) {
    SimRecords changed = defaults();
    changed.app.controller_id = 5;
    const std::string file = writeLpfp("changed.lpfp", changed);
    const CliResult r = run({"--diff", file, "device:current", "--serial", "all"}, "devices=2");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(r.lines, ::testing::UnorderedElementsAre(
                             MatchesRegex("VK5SIM0001: APPConfiguration controller_id: 5 -> .*"),
                             MatchesRegex("VK5SIM0002: APPConfiguration controller_id: 5 -> .*")));
    EXPECT_THAT(r.err, HasSubstr("Summary:"));
}

TEST_F(CliExtras, LpfpTextGoesToStandardOutputForADash) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const std::string expected = encodeLpfp(buildLpfpText({modifiedRecords().app, modifiedRecords().mc}));
    CliResult r = run({"--saveLpfp", "-"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected) << "the file's bytes alone, without a line feed";
    EXPECT_TRUE(contains(r.errLines, "LPFP Configuration written to standard output"));
    EXPECT_FALSE(fs::exists("-"));

    r = run({"--getDefaults", "--saveLpfp=-"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, encodeLpfp(buildLpfpText({defaults().app, defaults().mc})));
    EXPECT_TRUE(contains(r.errLines, "Default LPFP Configuration written to standard output"));

    // The converter: the same bytes as the file it writes.
    const std::string app = write("u.app.xml", appXml(modifiedRecords()));
    const std::string mc = write("u.mc.xml", mcXml(modifiedRecords()));
    const std::string file = dir.file("u.lpfp");
    ASSERT_EQ(run({"--app_config", app, "--mc_config", mc, "--xml_to_lpfp", file}, UNTOUCHABLE).status, 0);
    r = run({"--app_config", app, "--mc_config", mc, "--xml_to_lpfp", "-"}, UNTOUCHABLE);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, readFileBytes(file));
    EXPECT_THAT(r.errLines, ElementsAreArray(Lines{"LPFP Configuration written to standard output"}));

    // Refused input: nothing at all on standard output.
    const std::string broken = write("broken.app.xml", "<APPConfiguration a=\"1\"></APPConfiguration>");
    r = run({"--app_config", broken, "--mc_config", mc, "--xml_to_lpfp", "-"}, UNTOUCHABLE);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
}

TEST_F(CliExtras, FlowsWithoutDataLeaveStandardOutputEmpty) {
    const std::string lpfp = writeLpfp("unit.lpfp", modifiedRecords());
    const struct {
        std::vector<std::string> arguments;
        std::string extra;
    } cases[] = {
        {{"--lpfp_config", lpfp, "--backup_dir", dir.file("backups")}, ""},
        {{"--saveLpfp", dir.file("saved.lpfp")}, ""},
        {{"--lpfp_to_xml", lpfp, "-o", dir.file("x")}, UNTOUCHABLE},
        {{"--lpfp_to_xml", dir.file("missing.lpfp")}, UNTOUCHABLE},
        {{"--lpfp_config", lpfp}, "devices=0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        const CliResult r = run(c.arguments, c.extra);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(r.err.empty());
    }
}

// The history's table is its data; the export writes a file and says so on standard error.
TEST_F(CliExtras, TheHistoryTableAloneIsOnStandardOutput) {
    const std::string database = dir.file("line.db");
    ASSERT_EQ(run({"--saveLpfp", dir.file("saved.lpfp"), "--record", database}).status, 0);

    const CliResult table = run({"--history", "all", "--record", database});
    EXPECT_EQ(table.status, 0) << table.err;
    ASSERT_GE(table.lines.size(), 3u) << table.out;
    EXPECT_THAT(table.lines.front(), ::testing::StartsWith("ID  Started (UTC)"));
    EXPECT_THAT(table.lines[1], ::testing::StartsWith("1   "));
    EXPECT_EQ(table.lines.back(), "1 entry");
    EXPECT_EQ(table.err, "");

    const CliResult exported = run({"--history-export", "1", "-o", dir.file("e.lpfp"), "--record", database});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, "");
    EXPECT_FALSE(starting(exported.errLines, "Entry 1 (VK5SIM0001, ").empty()) << exported.err;
    // "-o -": the same file's bytes alone on standard output.
    const CliResult piped = run({"--history-export", "1", "-o", "-", "--record", database});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, readFileBytes(dir.file("e.lpfp")));
    EXPECT_FALSE(fs::exists("-"));
    EXPECT_FALSE(starting(piped.errLines, "Entry 1 (VK5SIM0001, ").empty()) << piped.err;

    for (const std::vector<std::string>& failing :
         {std::vector<std::string>{"--history", "all", "--record", dir.file("none.db")},
          std::vector<std::string>{"--history-export", "7", "-o", dir.file("f.lpfp"), "--record",
                                   database}}) {
        SCOPED_TRACE(failing.front());
        const CliResult r = run(failing);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(starting(r.errLines, "[error] ").empty()) << r.err;
    }
}

TEST_F(CliExtras, WithJsonOnStandardOutputItHoldsTheDocumentAlone) {
    SimRecords other = defaults();
    other.app.controller_id = 9;
    const std::string a = writeLpfp("a.lpfp", defaults());
    const std::string b = writeLpfp("b.lpfp", other);
    const std::vector<std::vector<std::string>> commands = {
        {"--diff", a, b, "--json", "-"},
        {"--changed", "--json", "-"},
        {"--test", "--json", "-"},
        {"--getConfig", "--json", "-"},
        {"--saveLpfp", dir.file("s.lpfp"), "--json", "-"},
        {"--lpfp_to_xml", a, "-o", dir.file("conv"), "--json", "-"},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(command.front());
        const CliResult r = run(command);
        const auto document = nlohmann::json::parse(r.out, nullptr, false);
        ASSERT_FALSE(document.is_discarded()) << r.out;
        EXPECT_EQ(document["tool"], "lpfp_cli");
        EXPECT_FALSE(r.err.empty());
    }
    // The differences then join the report on standard error.
    const CliResult r = run({"--diff", a, b, "--json", "-"});
    EXPECT_TRUE(contains(r.errLines, "APPConfiguration controller_id: " +
                                         std::to_string(defaults().app.controller_id) + " -> 9"));
}

TEST_F(CliExtras, TheOriginalFlowsKeepTheirReportOnStandardOutput) {
    const CliResult r = run({"--getConfig"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.lines.front(), "Device Number : 0");
    EXPECT_TRUE(contains(r.lines, "Major: 5"));
    EXPECT_THAT(r.out, HasSubstr("<APPConfiguration>"));
    EXPECT_EQ(r.err, "");
}

#ifndef _WIN32
TEST_F(CliExtras, NoColorTakesTheColoursOffATerminal) {
    const std::vector<std::string> arguments = {"--test"};
    const std::string simulator = "VARKO5_SIMULATOR=" + scenario("");
    const TerminalRun coloured = runOnTerminal(arguments, {simulator});
    ASSERT_EQ(coloured.status, 0) << coloured.shown;
    EXPECT_THAT(coloured.shown, HasSubstr("\x1b[")) << "a terminal gets colours by default";
    for (const char* value : {"1", "0", "yes"}) {
        const TerminalRun plain = runOnTerminal(arguments, {simulator, std::string("NO_COLOR=") + value});
        EXPECT_EQ(plain.status, 0);
        EXPECT_THAT(plain.shown, HasSubstr("[info] Devices found: 1"));
        EXPECT_THAT(plain.shown, Not(HasSubstr("\x1b"))) << value;
    }
    // Empty means unset.
    const TerminalRun empty = runOnTerminal(arguments, {simulator, "NO_COLOR="});
    EXPECT_THAT(empty.shown, HasSubstr("\x1b["));
    // The flows that log on standard error follow it as well.
    const TerminalRun diff = runOnTerminal({"--changed"}, {simulator, "NO_COLOR=1"});
    EXPECT_THAT(diff.shown, HasSubstr("[info] The configurations are the same"));
    EXPECT_THAT(diff.shown, Not(HasSubstr("\x1b")));
}

#endif

TEST_F(CliExtras, CommandLineErrorsNameTheProgramAndPointToHelp) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--bogus"}, {"unit.xml"}, {"--app_config"}}) {
        const CliResult r = run(arguments, UNTOUCHABLE);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        const Lines lines = normalisedLines(r.err);
        ASSERT_EQ(lines.size(), 2u) << r.err;
        EXPECT_EQ(lines[0].rfind("Error in command line: ", 0), 0u);
        EXPECT_EQ(lines[1], "lpfp_cli: try 'lpfp_cli --help' for the list of options");
    }
}

TEST_F(CliExtras, UsageTextFitsEightyColumnsOrTheTerminal) {
    const CliResult piped = run({"--help"}, UNTOUCHABLE);
    EXPECT_EQ(piped.status, 0);
    EXPECT_LE(longestLine(piped.out), 80u) << piped.out;
    // Wrapping only moves blanks: the words and their order are the usage text's.
    const std::regex blanks("\\s+");
    EXPECT_EQ(std::regex_replace(piped.out, blanks, " "),
              std::regex_replace(usageText("lpfp_cli") + "\n", blanks, " "));
    // Every option group of the synopsis stays whole on one line.
    EXPECT_THAT(piped.out, HasSubstr("[--diff <source> <source>]"));
    EXPECT_THAT(piped.out, HasSubstr("[-o|--output <output_filename>]"));

#ifndef _WIN32
    const TerminalRun narrow = runOnTerminal({"--help"}, {}, 60);
    EXPECT_EQ(narrow.status, 0);
    EXPECT_LE(longestLine(narrow.shown), 60u) << narrow.shown;
    const TerminalRun wide = runOnTerminal({"--help"}, {}, 200);
    EXPECT_GT(longestLine(wide.shown), 80u) << "a wide terminal gets long lines";
    EXPECT_LE(longestLine(wide.shown), 200u);
#endif
}

TEST(TextWrap, BreaksSynopsesBetweenGroupsAndTextBetweenWords) {
    EXPECT_EQ(wrapText("short line\n  also short", 20), "short line\n  also short");
    EXPECT_EQ(wrapText("  prog [-a|--all] [--file <name>] [--x]", 26), "  prog [-a|--all]\n"
                                                                       "       [--file <name>]\n"
                                                                       "       [--x]");
    EXPECT_EQ(wrapText("        one two three four five six", 20), "        one two\n"
                                                                   "        three four\n"
                                                                   "        five six");
    // A word longer than the line stays whole and the rest still wraps.
    EXPECT_EQ(wrapText("  averyveryverylongword and more", 10), "  averyveryverylongword\n  and more");
    EXPECT_EQ(wrapText("", 10), "");
    EXPECT_EQ(wrapText("\n\n", 10), "\n\n");
}
