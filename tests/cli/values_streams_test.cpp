// Values checked before they reach the controller, inputs read from files and pipes alike,
// empty option values, and output that is checked to the end.

#include "tests/cli/cli_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32 // FIFOs, fork, /dev/full and symbolic links: those cases are POSIX only
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <thread>

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace {

#ifndef _WIN32
// Writes text into a FIFO once a reader has opened it, as a shell's "<(command)" does; gives up
// after a few seconds so a reader that never comes cannot hang the test.
class FifoWriter {
public:
    FifoWriter(const std::string& path, std::string text) {
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
        thread_ = std::thread([path, text = std::move(text)] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            int fd = -1;
            while ((fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK)) < 0 &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            if (fd < 0) {
                return;
            }
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            for (std::size_t at = 0; at < text.size();) {
                const ssize_t written = ::write(fd, text.data() + at, text.size() - at);
                if (written <= 0) {
                    break;
                }
                at += static_cast<std::size_t>(written);
            }
            ::close(fd);
        });
    }
    ~FifoWriter() { thread_.join(); }
    FifoWriter(const FifoWriter&) = delete;
    FifoWriter& operator=(const FifoWriter&) = delete;

private:
    std::thread thread_;
};
#endif

// Replaces the text of the first element named key.
std::string withValue(std::string document, const std::string& key, const std::string& text) {
    const std::string open = "<" + key + ">";
    const std::size_t at = document.find(open) + open.size();
    return document.replace(at, document.find('<', at) - at, text);
}

struct ShellResult {
    int status = -1;
    std::string err;
};

} // namespace

class CliValuesAndStreams : public CliExtras {
protected:
#ifndef _WIN32
    // lpfp_cli with its standard output on /dev/full (through a shell, which sets up the
    // redirection), standard error into a file.
    ShellResult runIntoFullDevice(const std::vector<std::string>& arguments,
                                  const std::string& extra = "") const {
        std::string command = "exec env -u VARKO5_PORTS VARKO5_SIMULATOR='" + scenario(extra) +
                              "' XDG_DATA_HOME='" + dataHome.string() + "' '" + std::string(LPFP_CLI_PATH) +
                              "'";
        for (const std::string& argument : arguments) {
            command += " '" + argument + "'";
        }
        const std::string errPath = dir.file("stderr.txt");
        command += " >/dev/full 2>'" + errPath + "'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFileBytes(errPath)};
    }

    // lpfp_cli writing into a pipe whose reader is already gone, as with "| head -1" once head
    // has its line. -1 as status when it was killed by a signal.
    ShellResult runIntoClosedPipe(const std::vector<std::string>& arguments) const {
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        close(ends[0]);
        const std::string errPath = dir.file("stderr.txt");
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(ends[1], STDOUT_FILENO);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(err, STDERR_FILENO);
            setenv("VARKO5_SIMULATOR", scenario("").c_str(), 1);
            unsetenv("VARKO5_PORTS");
            setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
            std::vector<std::string> words{"lpfp_cli"};
            words.insert(words.end(), arguments.begin(), arguments.end());
            std::vector<char*> argv;
            for (std::string& word : words)
                argv.push_back(word.data());
            argv.push_back(nullptr);
            execv(LPFP_CLI_PATH, argv.data());
            _exit(127);
        }
        close(ends[1]);
        int status = 0;
        waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFileBytes(errPath)};
    }
#endif
};

TEST_F(CliValuesAndStreams, ValuesTheControllerCannotTakeAreRefusedBeforeAnyDeviceIsListed) {
    std::string app = appXml(defaults());
    app = withValue(app, "timeout_brake_current", "nan");
    app = withValue(app, "controller_id", "abc");
    app = withValue(app, "app_ppm_conf.hyst", "12,5");
    app = withValue(app, "can_mode", "0x10");
    app = withValue(app, "pairing_done", "true");
    const std::string appPath = write("odd.app.xml", app);
    std::string mc = mcXml(defaults());
    mc = withValue(mc, "motor_type", "270");
    mc = withValue(mc, "m_encoder_counts", "-5");
    mc = withValue(mc, "foc_sl_openloop_hyst", "400");
    mc = withValue(mc, "l_current_max", "1e999");
    mc = withValue(mc, "lo_current_max", "2");
    const std::string mcPath = write("odd.mc.xml", mc);

    const CliResult result = run({"--app_config", appPath, "--mc_config", mcPath}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 1);
    const std::string float32 = "a decimal number from -3.4028235e+38 to 3.4028235e+38";
    EXPECT_THAT(
        result.lines,
        ElementsAreArray(Lines{
            "[error] Nothing was sent: " + appPath + " holds values the controller cannot take",
            "[error] controller_id: \"abc\" (allowed: a whole number from 0 to 255)",
            "[error] timeout_brake_current: \"nan\" (allowed: " + float32 + ")",
            "[error] pairing_done: \"true\" (allowed: 0 or 1)",
            "[error] can_mode: \"0x10\" (allowed: a whole number from 0 to 255)",
            "[error] app_ppm_conf.hyst: \"12,5\" (allowed: " + float32 + ")",
            "[error] Nothing was sent: " + mcPath + " holds values the controller cannot take",
            "[error] l_current_max: \"1e999\" (allowed: " + float32 + ")",
            "[error] lo_current_max: \"2\" (allowed: 0 or no element, since the controller does not keep "
            "this value)",
            "[error] motor_type: \"270\" (allowed: a whole number from 0 to 255)",
            "[error] foc_sl_openloop_hyst: \"400\" (allowed: a decimal number from -327.68 to 327.67)",
            "[error] m_encoder_counts: \"-5\" (allowed: a whole number from 0 to 4294967295)"}))
        << result.out;

    // The same values inside an LPFP file.
    LpfpConfiguration pair{defaults().app, defaults().mc};
    const std::string plain = withValue(withValue(buildLpfpText(pair), "si_battery_cells", "256"),
                                        "app_nrf_conf.send_crc_ack", "2");
    const std::string lpfp = write("odd.lpfp", encodeLpfp(plain));
    const CliResult fromLpfp = run({"--lpfp_config", lpfp}, UNTOUCHABLE);
    EXPECT_EQ(fromLpfp.status, 1);
    EXPECT_THAT(fromLpfp.errLines,
                ElementsAreArray(
                    Lines{"[error] Nothing was sent: " + lpfp + " holds values the controller cannot take",
                          "[error] app_nrf_conf.send_crc_ack: \"2\" (allowed: 0 or 1)",
                          "[error] si_battery_cells: \"256\" (allowed: a whole number from 0 to 255)"}));

    // What the programs save themselves goes through.
    const std::string saved =
        write("saved.mc.xml", std::string(XML_DECLARATION) + "\n" + mcXml(modifiedRecords()));
    const CliResult applied = run({"--mc_config", saved, "--no_backup"});
    EXPECT_EQ(applied.status, 0) << applied.out;
    EXPECT_EQ(stored().mc.si_motor_poles, 20);
}

#ifndef _WIN32
TEST_F(CliValuesAndStreams, InputsArePipesOrFilesAndNothingElse) {
    // An XML document and an LPFP file through FIFOs, as "<(command)" hands them over.
    SimRecords wanted = defaults();
    wanted.mc.si_motor_poles = 22;
    {
        FifoWriter writer(dir.file("mc.fifo"), mcXml(wanted));
        const CliResult result = run({"--mc_config", dir.file("mc.fifo"), "--no_backup"});
        EXPECT_EQ(result.status, 0) << result.out;
        EXPECT_TRUE(contains(result.lines, "[info] MC Configuration Validated")) << result.out;
    }
    EXPECT_EQ(stored().mc.si_motor_poles, 22);
    wanted.app.controller_id = 31;
    {
        FifoWriter writer(dir.file("both.fifo"), encodeLpfp(buildLpfpText({wanted.app, wanted.mc})));
        const CliResult result = run({"--lpfp_config", dir.file("both.fifo"), "--no_backup"});
        EXPECT_EQ(result.status, 0) << result.out;
    }
    EXPECT_EQ(stored().app.controller_id, 31);
    {
        FifoWriter writer(dir.file("convert.fifo"), encodeLpfp(buildLpfpText({wanted.app, wanted.mc})));
        const CliResult result =
            run({"--lpfp_to_xml", dir.file("convert.fifo"), "-o", dir.file("conv")}, UNTOUCHABLE);
        EXPECT_EQ(result.status, 0) << result.out;
        EXPECT_EQ(readFileBytes(dir.file("conv.mc.xml")),
                  std::string(XML_DECLARATION) + "\n" + mcXml(wanted));
    }
    {
        FifoWriter app(dir.file("a.fifo"), appXml(wanted));
        FifoWriter mc(dir.file("m.fifo"), mcXml(wanted));
        const CliResult result = run({"--app_config", dir.file("a.fifo"), "--mc_config", dir.file("m.fifo"),
                                      "--xml_to_lpfp", dir.file("joined.lpfp")},
                                     UNTOUCHABLE);
        EXPECT_EQ(result.status, 0) << result.out;
        LpfpConfiguration joined;
        std::uint64_t keys = 0;
        EXPECT_TRUE(readLpfpFile(joined, dir.file("joined.lpfp"), keys));
        EXPECT_EQ(joined.app.controller_id, 31);
    }
    {
        FifoWriter writer(dir.file("diff.fifo"), appXml(wanted));
        const CliResult result =
            run({"--diff", dir.file("diff.fifo"), write("d.app.xml", appXml(wanted))}, UNTOUCHABLE);
        EXPECT_EQ(result.status, 0) << result.out;
    }

    // Devices and folders are refused by what they are, before any device is listed.
    const std::string folder = dir.path().string();
    const struct {
        std::vector<std::string> arguments;
        std::string line;
    } refused[] = {
        {{"--app_config", "/dev/null"}, "[error] Cannot read file /dev/null: it is a device, not a file"},
        {{"--mc_config", folder}, "[error] Cannot read file " + folder + ": it is a folder"},
        {{"--lpfp_config", "/dev/zero"}, "[error] Cannot read file /dev/zero: it is a device, not a file"},
        {{"--lpfp_to_xml", folder}, "[error] Cannot read file " + folder + ": it is a folder"},
        {{"--app_config", "/dev/null", "--mc_config", "/dev/null", "--xml_to_lpfp", dir.file("x.lpfp")},
         "[error] Cannot read file /dev/null: it is a device, not a file"},
    };
    for (const auto& c : refused) {
        const CliResult result = run(c.arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 1) << c.line;
        EXPECT_THAT(allLines(result), ElementsAreArray(Lines{c.line}));
    }
    const CliResult diff = run({"--diff", "/dev/null", folder}, UNTOUCHABLE);
    EXPECT_EQ(diff.status, 2);
    EXPECT_THAT(diff.errLines,
                ElementsAreArray(Lines{"[error] Cannot read file /dev/null: it is a device, not a file"}));
}
#endif

#ifndef _WIN32
TEST_F(CliValuesAndStreams, AnInputThatNeverDeliversIsGivenUp) {
    const std::string fifo = dir.file("silent.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string line = "[error] Cannot read file " + fifo + ": nothing arrived within 0.2 s";
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--mc_config", fifo}, {"--lpfp_config", fifo}, {"--lpfp_to_xml", fifo}}) {
        const CliResult result = runCli(arguments, {{"VARKO5_SIMULATOR", UNTOUCHABLE},
                                                    {"XDG_DATA_HOME", dataHome.string()},
                                                    {"VARKO5_INPUT_TIMEOUT_MS", "200"}});
        EXPECT_EQ(result.status, 1) << arguments.at(0);
        EXPECT_THAT(allLines(result), ElementsAreArray(Lines{line})) << arguments.at(0);
    }
}
#endif

TEST_F(CliValuesAndStreams, AnEmptyValueAfterEqualsIsAnError) {
    const std::string cwdFile = "--getDefaults";
    ASSERT_FALSE(fs::exists(cwdFile));
    const struct {
        std::vector<std::string> arguments;
        std::string name;
    } cases[] = {
        {{"--output=", "--getConfig"}, "--output"},
        {{"-o=", "--getConfig"}, "-o"},
        {{"--saveLpfp=", "--getDefaults"}, "--saveLpfp"},
        {{"--serial=", "--test"}, "--serial"},
        {{"--app_config=", "--mc_config=x"}, "--app_config"},
        {{"--backup_dir=", "--changed"}, "--backup_dir"},
    };
    for (const auto& c : cases) {
        const CliResult result = run(c.arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 1) << c.name;
        EXPECT_EQ(result.out, "") << c.name;
        EXPECT_EQ(result.err,
                  "Error in command line: The value of " + c.name + " is empty after \"=\"\n" + TRY_HELP);
    }
    EXPECT_FALSE(fs::exists(cwdFile));

    CommandLineOptions options;
    EXPECT_TRUE(parseCommandLine({"--output=", "--getConfig"}, options).has_value());
    EXPECT_EQ(options.outputBasename, "");
    // A value after "=" stays a value, "=" inside it included; a flag is no value option.
    options = CommandLineOptions{};
    EXPECT_FALSE(parseCommandLine({"--output=a=", "--getConfig"}, options).has_value());
    EXPECT_EQ(options.outputBasename, "a=");
    options = CommandLineOptions{};
    EXPECT_FALSE(parseCommandLine({"--serial=VK5SIM0001", "--test"}, options).has_value());
    EXPECT_EQ(options.serial, "VK5SIM0001");
}

#ifndef _WIN32
TEST_F(CliValuesAndStreams, AReaderThatWentAwayIsAFailureNotASignal) {
    const ShellResult result = runIntoClosedPipe({"--getConfig"});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr("Error: writing to standard output failed"));
}
#endif

#ifndef _WIN32
TEST_F(CliValuesAndStreams, AFailedWriteToStandardOutputIsAFailure) {
    const std::string message = "Error: writing to standard output failed";
    ShellResult result = runIntoFullDevice({"--getConfig"});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr(message));
    result = runIntoFullDevice({"--help"});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr(message));

    // --diff keeps 0 and 1 for its answer; lost differences are trouble, 2. Two equal
    // configurations write nothing to standard output, so nothing is lost.
    const std::string a = writeLpfp("a.lpfp", defaults());
    result = runIntoFullDevice({"--diff", a, a}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 0);
    SimRecords other = defaults();
    other.app.controller_id = 3;
    result = runIntoFullDevice({"--diff", a, writeLpfp("b.lpfp", other)}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, HasSubstr(message));
    result = runIntoFullDevice({"--saveLpfp", "-"});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr(message));

    // The same commands with a working output still end well.
    EXPECT_EQ(run({"--getConfig"}).status, 0);
    EXPECT_EQ(run({"--diff", a, a}, UNTOUCHABLE).status, 0);
}
#endif

#ifndef _WIN32
TEST_F(CliValuesAndStreams, SavedFilesReplaceLinkTargetsAndGoStraightToDevices) {
    fs::create_directory(dir.path() / "real");
    const std::string target = dir.file("real/saved.lpfp");
    writeFileBytes(target, "old");
    fs::create_symlink(target, dir.path() / "link.lpfp");
    const CliResult linked = run({"--saveLpfp", dir.file("link.lpfp")});
    EXPECT_EQ(linked.status, 0) << linked.out;
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.lpfp"));
    LpfpConfiguration pair;
    std::uint64_t keys = 0;
    EXPECT_TRUE(readLpfpFile(pair, target, keys));

    // Standard output as the file: the LPFP text lands in the output, nothing is replaced.
    const CliResult out = run({"--saveLpfp=/dev/stdout", "--getDefaults"});
    EXPECT_EQ(out.status, 0) << out.out;
    const std::string encoded = encodeLpfp(buildLpfpText({defaults().app, defaults().mc}));
    // Standard output holds the file alone; the report goes to standard error.
    EXPECT_EQ(out.out, encoded);
    EXPECT_THAT(out.err, HasSubstr("Default LPFP Configuration saved to: /dev/stdout\n"));
}
#endif

TEST_F(CliValuesAndStreams, DiffNotesTheValuesItHadToNarrow) {
    const std::string odd = write("odd.app.xml", withValue(appXml(defaults()), "controller_id", "300"));
    const std::string plain = write("plain.app.xml", appXml(defaults()));
    const CliResult result = run({"--diff", odd, plain}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_THAT(result.lines, ElementsAreArray(Lines{"APPConfiguration controller_id: 44 -> " +
                                                     std::to_string(defaults().app.controller_id)}));
    EXPECT_THAT(result.errLines,
                ElementsAreArray(
                    Lines{"[warning] " + odd +
                              ": controller_id: \"300\" (allowed: a whole number from 0 to 255), read as 44",
                          "[info] 1 fields differ"}));
}

TEST_F(CliValuesAndStreams, ConvertersRefuseOutputThatWouldNotReadBack) {
    const std::string good = std::string(XML_DECLARATION) + "\n" + appXml(defaults());
    std::string cut = good;
    cut.insert(cut.find("<controller_id>"), "<!-- keep </APPConfiguration> here -->");
    const std::string app = write("cut.app.xml", cut);
    const std::string mc = write("m.xml", std::string(XML_DECLARATION) + "\n" + mcXml(defaults()));
    const std::string out = write("out.lpfp", "the old file");
    const CliResult result = run({"--app_config", app, "--mc_config", mc, "--xml_to_lpfp", out}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.errLines,
                ElementsAreArray(
                    Lines{"[error] " + out +
                          " not written: the text from the first <APPConfiguration> to the first "
                          "</APPConfiguration> in " +
                          app + " is not a whole XML element (is one of these tags inside a comment?)"}));
    EXPECT_EQ(readFileBytes(out), "the old file");
}

TEST_F(CliValuesAndStreams, ANearMissOfTheChecksumNamesItsLikelyCause) {
    const std::string good = readFileBytes(writeLpfp("good.lpfp", defaults()));
    const std::string trailing = write("trailing.lpfp", good + "\r\n");
    const CliResult result = run({"--lpfp_config", trailing}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.errLines,
                ElementsAreArray(Lines{"[error] " + trailing + ": Checksum Fail",
                                       "[error] Likely cause: a CR LF line break after the checksum "
                                       "(the file must end with its four checksum digits)"}));
    std::string lower = good;
    for (std::size_t i = lower.size() - 4; i < lower.size(); ++i) {
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
    }
    if (lower != good) {
        const std::string path = write("lower.lpfp", lower);
        const CliResult lowerResult = run({"--lpfp_to_xml", path}, UNTOUCHABLE);
        EXPECT_EQ(lowerResult.status, 1);
        EXPECT_THAT(
            lowerResult.errLines,
            ElementsAreArray(Lines{"[error] " + path + ": Checksum Fail",
                                   "[error] Likely cause: lower-case hex digits in the checksum (they must "
                                   "be upper-case)"}));
    }
}

#ifndef _WIN32
TEST_F(CliValuesAndStreams, SeveralDevicesShareOneReadingOfAPipe) {
    const std::string states = "devices=2;state=" + dir.file("s1") + "," + dir.file("s2");
    SimRecords wanted = defaults();
    wanted.mc.si_motor_poles = 26;
    FifoWriter writer(dir.file("line.fifo"), mcXml(wanted));
    const CliResult result = runCli({"--serial", "all", "--mc_config", dir.file("line.fifo"), "--no_backup"},
                                    {{"VARKO5_SIMULATOR", states}, {"XDG_DATA_HOME", dataHome.string()}});
    EXPECT_EQ(result.status, 0) << result.out;
    for (const char* state : {"s1", "s2"}) {
        EXPECT_EQ(stored(dir.file(state)).mc.si_motor_poles, 26) << state;
    }

    // A refusal for values is the same for every device, and nothing reaches any of them.
    const std::string odd = write("odd.mc.xml", withValue(mcXml(defaults()), "si_battery_cells", "999"));
    const CliResult refused = runCli({"--serial", "all", "--mc_config", odd, "--no_backup"},
                                     {{"VARKO5_SIMULATOR", states}, {"XDG_DATA_HOME", dataHome.string()}});
    EXPECT_EQ(refused.status, 1);
    for (const char* serial : {"VK5SIM0001: ", "VK5SIM0002: "}) {
        EXPECT_THAT(refused.out, HasSubstr(std::string(serial)));
    }
    EXPECT_THAT(refused.out,
                HasSubstr("[error] si_battery_cells: \"999\" (allowed: a whole number from 0 to 255)"));
    for (const char* state : {"s1", "s2"}) {
        EXPECT_EQ(stored(dir.file(state)).mc.si_motor_poles, 26) << state;
    }
}
#endif
