// lpfp_cli as a production script sees it: a child process against the simulated controller,
// judged by its exit status, its standard output and error, and the files it writes.

#include "tests/support/cli_process.h"

#include "cli/options.h"
#include "cli/text_wrap.h"
#include "core/config/config_codec.h"
#include "core/config/config_compare.h"
#include "core/config/config_xml.h"
#include "core/device/device_list.h"
#include "simulator/simulator.h"
#include "tests/support/sim_backend.h"
#include "tests/support/temp_dir.h"
#include "varko5_version.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;

namespace {

using Lines = std::vector<std::string>;

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string fileXml(const APPConfiguration& record) {
    return std::string(XML_DECLARATION) + "\n" + appConfigToXml(record);
}
std::string fileXml(const MCConfiguration& record) {
    return std::string(XML_DECLARATION) + "\n" + mcConfigToXml(record);
}

APPConfiguration factoryApp() {
    return onTheWire(simulatorDefaultAppConfig());
}
MCConfiguration factoryMc() {
    return onTheWire(simulatorDefaultMcConfig());
}

// Byte-for-byte equality of two texts, reporting the first line that differs rather than
// both whole documents.
::testing::AssertionResult sameText(const std::string& actual, const std::string& expected) {
    if (actual == expected)
        return ::testing::AssertionSuccess();
    std::istringstream a(actual);
    std::istringstream e(expected);
    std::string lineA;
    std::string lineE;
    for (int number = 1;; ++number) {
        const bool moreA = static_cast<bool>(std::getline(a, lineA));
        const bool moreE = static_cast<bool>(std::getline(e, lineE));
        if (!moreA && !moreE)
            return ::testing::AssertionFailure() << "texts differ in their final line feed";
        if (!moreA || !moreE || lineA != lineE)
            return ::testing::AssertionFailure() << "line " << number << " is \"" << (moreA ? lineA : "<end>")
                                                 << "\", expected \"" << (moreE ? lineE : "<end>") << "\"";
    }
}

// Line-by-line equality, where an expected line ending in "*" only fixes the line's start
// (for the numbers a damaged packet happens to carry).
::testing::AssertionResult sameLines(const std::vector<std::string>& actual,
                                     const std::vector<std::string>& expected) {
    bool same = actual.size() == expected.size();
    for (std::size_t i = 0; same && i < actual.size(); ++i) {
        const std::string& e = expected[i];
        same = !e.empty() && e.back() == '*' ? actual[i].rfind(e.substr(0, e.size() - 1), 0) == 0
                                             : actual[i] == e;
    }
    if (same)
        return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "lines were:";
    for (const std::string& line : actual)
        failure << "\n  " << line;
    failure << "\nexpected:";
    for (const std::string& line : expected)
        failure << "\n  " << line;
    return failure;
}

// The lines of a text as the normalised output shows them.
Lines linesOf(const std::string& text) {
    return normalisedLines(text);
}

Lines withoutWarnings(const Lines& lines, std::size_t& warnings) {
    Lines kept;
    warnings = 0;
    for (const std::string& line : lines) {
        if (line.rfind("[warning] Unable to find ", 0) == 0)
            ++warnings;
        else
            kept.push_back(line);
    }
    return kept;
}

// Each test gets its own folder, its own controller state file and so its own scenario.
class CliEndToEnd : public ::testing::Test {
protected:
    TempDir dir;
    const std::string statePath = dir.file("controller.state");

    std::string scenario(const std::string& extra = "") const {
        return "state=" + statePath + (extra.empty() ? "" : ";" + extra);
    }

    CliResult run(const std::vector<std::string>& arguments, const std::string& extra = "") const {
        return runCli(arguments,
                      {{"VARKO5_SIMULATOR", scenario(extra)}, {"XDG_DATA_HOME", dir.file("data")}});
    }

    // The line that names the backup a set took before writing; the test's only backup.
    std::string backupLine() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(dir.path() / "data" / "varko5" / "backups"))
            files.push_back(entry.path());
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? "" : "Backup saved to: " + files[0].string();
    }

    // The device block and chip line the flows print for device 0 of the scenario, taken
    // from the device list the way the tool sees it.
    Lines deviceBlock(const std::string& extra = "") const {
        const std::string text = scenario(extra);
        const std::vector<DeviceInfoNode> devices = [&] {
            const SimBackend sim(text);
            return enumerateDevices(*sim);
        }();
        const DeviceInfoNode& node = devices.at(0);
        const SimDeviceSettings settings = simDeviceSettings(parseSimScenario(text), 0);
        std::ostringstream handle;
        handle << static_cast<const void*>(node.handle);
        return {"Device Number : 0",
                "       Serial Number: " + settings.serial,
                "       Description  : " + settings.description,
                "       Handle       : " + handle.str(),
                "       Loc ID       : " + std::to_string(node.locId),
                "       ID           : " + std::to_string(node.id),
                "       Flags        : " + std::to_string(node.flags),
                "       Type         : " + std::to_string(node.type),
                "       Chip ID      : " + std::to_string(settings.chipId)};
    }

    static Lines version(int major, int minor) {
        return {"Major: " + std::to_string(major), "Minor: " + std::to_string(minor)};
    }

    // Current records different from the factory defaults in every record, so a test can
    // tell which of the two a flow used.
    SimRecords modifiedRecords() const {
        SimRecords records{factoryApp(), factoryMc()};
        records.app.controller_id = 42;
        records.app.app_ppm_conf.hyst = 0.75f;
        records.mc.l_current_max = 33.5f;
        records.mc.si_motor_poles = 20;
        return {onTheWire(records.app), onTheWire(records.mc)};
    }

    SimRecords storedRecords() const {
        SimRecords records;
        EXPECT_TRUE(loadSimState(statePath, records)) << "no controller state in " << statePath;
        return records;
    }

    std::string write(const std::string& name, const std::string& text) const {
        const std::string path = dir.file(name);
        writeFileBytes(path, text);
        return path;
    }
};

// ---- entry: help, parse errors, doing nothing ---------------------------------------------

// Any flow that ran would fail on this list error with a critical line.
constexpr const char* UNTOUCHABLE = "list_error=7";

TEST_F(CliEndToEnd, HelpPrintsTheUsageTextAndWinsOverEveryOtherOption) {
    // Not on a terminal, the usage text is wrapped to 80 columns.
    const std::string usage = wrapText(usageText("lpfp_cli"), 80) + "\n";
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--help"},
                                                      {"-?", "--test"},
                                                      {"--getConfig", "-h", "--app_config=x.xml"}}) {
        const CliResult result = run(arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 0) << arguments[0];
        EXPECT_EQ(result.out, usage) << arguments[0];
        EXPECT_EQ(result.err, "") << arguments[0];
    }
}

TEST_F(CliEndToEnd, VersionPrintsTheProjectVersionAndTouchesNoDevice) {
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--version"},
                                                      {"--version", "--test"},
                                                      {"-d", "--getConfig", "--version"}}) {
        const CliResult result = run(arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 0) << arguments[0];
        EXPECT_EQ(result.out, std::string("lpfp_cli ") + VARKO5_VERSION + "\n") << arguments[0];
        EXPECT_EQ(result.err, "") << arguments[0];
    }
    // Help still wins.
    EXPECT_EQ(run({"--version", "--help"}, UNTOUCHABLE).out, wrapText(usageText("lpfp_cli"), 80) + "\n");
    EXPECT_EQ(run({"--version=1"}, UNTOUCHABLE).status, 1);
}

TEST_F(CliEndToEnd, CommandLineThatDoesNotParseIsRefusedOnStandardErrorWithStatus1) {
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--test", "--app_config"}, "--app_config: 1 required TEXT missing"},
        {{"--frobnicate"}, "The following argument was not expected: --frobnicate"},
        {{"--getDefaults", "settings.app.xml"}, "The following argument was not expected: settings.app.xml"},
        {{"--help", "--bogus"}, "The following argument was not expected: --bogus"},
    };
    for (const auto& c : cases) {
        const CliResult result = run(c.arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 1) << c.message;
        EXPECT_EQ(result.err, "Error in command line: " + c.message + "\n" + TRY_HELP);
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(CliEndToEnd, WithoutAnActionOptionNothingIsDone) {
    const std::string base = dir.file("out");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"-d"}, {"-o", base}, {"--output=" + base, "--debug"}}) {
        const CliResult result = run(arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
    }
    EXPECT_FALSE(fs::exists(base + ".app.xml"));
    EXPECT_FALSE(fs::exists(statePath));
}

TEST_F(CliEndToEnd, DeviceLayerErrorsReachTheGuardAndEndWithStatus1) {
    const CliResult listing = run({"--getConfig"}, "list_error=7");
    EXPECT_EQ(listing.status, 1);
    EXPECT_THAT(listing.lines,
                ElementsAreArray(Lines{"[critical] ERROR: Error: FT_CreateDeviceInfoList(...):  Status: 7"}));

    const CliResult opening = run({"--test"}, "open_error=1");
    EXPECT_EQ(opening.status, 1);
    Lines block = deviceBlock();
    block.pop_back(); // no chip line: the device never opened
    // Why it did not open comes first: through the D2XX library its failing call, from a
    // backend that says no more than the status, the status.
    const char* standIn = std::getenv("VARKO5_TEST_THROUGH_D2XX");
    const Lines why = standIn == nullptr ? Lines{"[error] Device VK5SIM0001 could not be opened (status 3)"}
                                         : Lines{"[error] D2XX library *"};
    EXPECT_TRUE(sameLines(opening.lines,
                          Lines{"[info] Devices found: 1", "Device Description: Varko 5 Bridge (simulated)"} +
                              block + why + Lines{"[critical] ERROR: Failed to open device"}));
    EXPECT_EQ(opening.err, "");
}

// ---- flow priority ------------------------------------------------------------------------

TEST_F(CliEndToEnd, TestRunsAloneWhenGivenWithOtherActions) {
    const std::string base = dir.file("out");
    const CliResult result =
        run({"--getDefaults", "--test", "-o", base, "--app_config", dir.file("none.xml")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.lines.at(0), "[info] Devices found: 1");
    EXPECT_FALSE(fs::exists(base + ".app.xml"));
}

TEST_F(CliEndToEnd, DefaultsWinOverCurrentAndOverApplyingAndTheDocumentIsNotEvenChecked) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const std::string base = dir.file("out");
    const CliResult result =
        run({"--app_config=" + dir.file("missing.xml"), "--getConfig", "--getDefaults", "--output", base});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.lines, ElementsAreArray(deviceBlock() + version(5, 2)));
    EXPECT_TRUE(sameText(readFileBytes(base + ".app.xml"), fileXml(factoryApp())));
    EXPECT_TRUE(sameText(readFileBytes(base + ".mc.xml"), fileXml(factoryMc())));
}

TEST_F(CliEndToEnd, CurrentConfigurationWinsOverApplying) {
    const SimRecords current = modifiedRecords();
    ASSERT_TRUE(saveSimState(statePath, current));
    const std::string base = dir.file("out");
    const CliResult result = run({"--mc_config", dir.file("missing.xml"), "--getConfig", "-o", base});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(sameText(readFileBytes(base + ".app.xml"), fileXml(current.app)));
    EXPECT_TRUE(sameText(readFileBytes(base + ".mc.xml"), fileXml(current.mc)));
}

// ---- testDevice -----------------------------------------------------------------------------

TEST_F(CliEndToEnd, TestShowsTheDeviceTheBridgeStatusAndTheFirmwareVersion) {
    const std::string extra = "serial=VK5LINE01;description=Varko 5 line A;chipid=0x1234ABCD;fw=5.2";
    const CliResult result = run({"--test"}, extra);
    EXPECT_EQ(result.status, 0);
    SimDeviceSettings settings = simDeviceSettings(parseSimScenario(scenario(extra)), 0);
    const std::string status = simulatorStatusText(settings);
    EXPECT_NE(result.out.find("Status: " + status + "\n"), std::string::npos);
    EXPECT_THAT(result.lines,
                ElementsAreArray(Lines{"[info] Devices found: 1", "Device Description: Varko 5 line A"} +
                                 deviceBlock(extra) + linesOf("Status: " + status + "\n") + version(5, 2)));
    EXPECT_EQ(result.err, "");
}

TEST_F(CliEndToEnd, TestReportsTheFirstOfSeveralDevicesAndAnyFirmware) {
    const std::string extra = "devices=3;serial=FIRST001,SECOND02;fw=5.1";
    const CliResult result = run({"--test"}, extra);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.lines.at(0), "[info] Devices found: 3");
    EXPECT_EQ(result.lines.at(3), "       Serial Number: FIRST001");
    EXPECT_THAT(Lines(result.lines.end() - 2, result.lines.end()), ElementsAreArray(version(5, 1)));
}

TEST_F(CliEndToEnd, TestWithoutDevicesOnlyCountsThem) {
    const CliResult result = run({"--test"}, "devices=0");
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.lines, ElementsAreArray(Lines{"[info] Devices found: 0"}));
}

TEST_F(CliEndToEnd, TestGoesOnWhenTheVersionReplyIsUnusable) {
    const CliResult result = run({"--test"}, "fault=short_version");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.lines.back(), "[error] Failed at getting ARM Version.");
}

TEST_F(CliEndToEnd, DebugAddsTheByteLevelLinesWithoutChangingTheFlow) {
    const CliResult result = run({"-d", "--test"}, "pending=7");
    EXPECT_EQ(result.status, 0);
    const auto has = [&](const std::string& line) {
        return std::find(result.lines.begin(), result.lines.end(), line) != result.lines.end();
    };
    EXPECT_TRUE(has("[debug] Flushing buffer. 7 Bytes left in queue"));
    EXPECT_TRUE(has("[trace] BEGIN ARM_getVersion()"));
    EXPECT_TRUE(has("[debug] COMM_FW_VERSION received"));
    EXPECT_THAT(Lines(result.lines.end() - 3, result.lines.end()),
                ElementsAreArray(Lines{"[trace] END ARM_getVersion()"} + version(5, 2)));
}

// ---- getConfiguration -----------------------------------------------------------------------

TEST_F(CliEndToEnd, ConfigurationGoesToTwoFilesNamedAfterTheBasename) {
    const SimRecords current = modifiedRecords();
    ASSERT_TRUE(saveSimState(statePath, current));
    fs::create_directory(dir.path() / "sub dir");
    const std::string base = dir.file("sub dir/unit.7");
    const CliResult result = run({"--getConfig", "--output=" + base});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.lines, ElementsAreArray(deviceBlock() + version(5, 2)));
    EXPECT_TRUE(sameText(readFileBytes(base + ".app.xml"), fileXml(current.app)));
    EXPECT_TRUE(sameText(readFileBytes(base + ".mc.xml"), fileXml(current.mc)));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "sub dir"), fs::directory_iterator()), 2);
}

TEST_F(CliEndToEnd, ConfigurationWithoutBasenameGoesToStandardOutputWithoutDeclarations) {
    const std::string extra = "fw=5.3";
    const CliResult result = run({"--getDefaults"}, extra);
    EXPECT_EQ(result.status, 0);
    std::string expected;
    for (const std::string& line : deviceBlock(extra) + version(5, 3))
        expected += line + "\n";
    expected += appConfigToXml(factoryApp()) + "\n" + mcConfigToXml(factoryMc()) + "\n";
    EXPECT_TRUE(sameText(result.out, expected));
    EXPECT_EQ(result.err, "");
}

TEST_F(CliEndToEnd, ConfigurationNeedsExactlyOneDevice) {
    const std::string base = dir.file("out");
    const CliResult several = run({"--getDefaults", "-o", base}, "devices=2");
    EXPECT_EQ(several.status, 1);
    EXPECT_THAT(
        several.lines,
        ElementsAreArray(Lines{"[error] Multiple FTDI devices detected. Please connect only one device at a "
                               "time when configuring"}));
    const CliResult none = run({"--getConfig", "-o", base}, "devices=0");
    EXPECT_EQ(none.status, 1);
    EXPECT_THAT(none.lines, ElementsAreArray(Lines{"[error] No VARKO 5 devices found"}));
    EXPECT_FALSE(fs::exists(base + ".app.xml"));
    EXPECT_FALSE(fs::exists(base + ".mc.xml"));
}

// Output files are checked before any device is touched, and the two documents are one
// configuration: when one of them cannot be written, neither is.
TEST_F(CliEndToEnd, AnOutputFileThatCannotBeWrittenIsAnErrorNamingIt) {
    const std::string missingFolder = dir.file("no such folder/unit");
    const CliResult neither = run({"--getDefaults", "-o", missingFolder});
    EXPECT_EQ(neither.status, 1);
    EXPECT_EQ(neither.lines, Lines{"[error] --output: Cannot write file " + missingFolder +
                                   ".app.xml: No such file or directory"});

    const std::string base = dir.file("unit");
    fs::create_directory(base + ".mc.xml");
    const CliResult one = run({"--getDefaults", "-o", base});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(one.lines, Lines{"[error] --output: Cannot write file " + base + ".mc.xml: Is a directory"});
    EXPECT_FALSE(fs::exists(base + ".app.xml"));
}

// ---- setConfiguration -----------------------------------------------------------------------

TEST_F(CliEndToEnd, ApplyingLaysTheDocumentsOverTheDefaultsAndVerifiesThem) {
    // The controller's current records differ from its defaults: keys the document leaves out
    // must take the default values, not the current ones.
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const std::string appPath = write("few.app.xml", "<?xml version=\"1.0\"?>\n<APPConfiguration>\n"
                                                     "  <controller_id>7</controller_id>\n"
                                                     "  <timeout_msec>2500</timeout_msec>\n"
                                                     "  <app_ppm_conf.hyst>0.5</app_ppm_conf.hyst>\n"
                                                     "</APPConfiguration>\n");
    MCConfiguration mc = factoryMc();
    mc.l_current_max = 45.5f;
    mc.foc_f_sw = 30000.0f;
    mc.hall_table[3] = 4;
    mc = onTheWire(mc);
    const std::string mcPath = write("all.mc.xml", fileXml(mc));

    const CliResult result = run({"--mc_config", mcPath, "--app_config=" + appPath});
    EXPECT_EQ(result.status, 0) << result.out;
    std::size_t warnings = 0;
    const Lines lines = withoutWarnings(result.lines, warnings);
    EXPECT_EQ(warnings, 149u - 3u);
    EXPECT_THAT(
        lines,
        ElementsAreArray(deviceBlock() + version(5, 2) +
                         Lines{
                             backupLine(),
                             "[info] Getting Default APP Configuration",
                             "[info] Configuration updated from XML file " + appPath + ". 3 parameters set",
                             "[info] PAYLOAD SIZE: 425",
                             "[info] Configuration sent to device",
                             "[info] Getting APP Configuration",
                             "[info] Validating Updated APP",
                             "[info] APP Configuration Validated",
                             "[info] Getting Default MC Configuration",
                             "[info] Configuration updated from XML file " + mcPath + ". 157 parameters set",
                             "[info] Configuration sent to device",
                             "[info] Getting MC Configuration",
                             "[info] MC Configuration Validated",
                         }));

    APPConfiguration app = factoryApp();
    app.controller_id = 7;
    app.timeout_msec = 2500;
    app.app_ppm_conf.hyst = 0.5f;
    app = onTheWire(app);
    const SimRecords stored = storedRecords();
    EXPECT_TRUE(sameText(appConfigToXml(stored.app), appConfigToXml(app)));
    EXPECT_TRUE(sameText(mcConfigToXml(stored.mc), mcConfigToXml(mc)));
}

TEST_F(CliEndToEnd, ApplyingOnlyTheMotorDocumentSkipsTheApplicationSteps) {
    MCConfiguration mc = factoryMc();
    mc.si_battery_cells = 14;
    const std::string mcPath = write("unit.mc.xml", fileXml(mc));
    const CliResult result = run({"--mc_config", mcPath});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(Lines(result.lines.begin() + 11, result.lines.end()),
                ElementsAreArray(
                    Lines{backupLine(), "[info] Getting Default MC Configuration",
                          "[info] Configuration updated from XML file " + mcPath + ". 157 parameters set",
                          "[info] Configuration sent to device", "[info] Getting MC Configuration",
                          "[info] MC Configuration Validated"}));
    EXPECT_EQ(storedRecords().mc.si_battery_cells, 14);
}

TEST_F(CliEndToEnd, DocumentsWithoutTheExpectedRootAreRefusedBeforeAnyDeviceIsListed) {
    const std::string appPath = write("unit.app.xml", fileXml(factoryApp()));
    const std::string mcPath = write("unit.mc.xml", fileXml(factoryMc()));
    const std::string lowerCase =
        write("lower.xml", "<appconfiguration><controller_id>1</controller_id></appconfiguration>");
    const std::string notXml = write("garbage.xml", "controller_id=1\n");
    const struct {
        std::vector<std::string> arguments;
        std::string line;
    } cases[] = {
        {{"--app_config", dir.file("missing.xml")}, "[error] Not a valid APPConfiguration XML file"},
        {{"--app_config", mcPath, "--mc_config", mcPath}, "[error] Not a valid APPConfiguration XML file"},
        {{"--app_config", lowerCase}, "[error] Not a valid APPConfiguration XML file"},
        {{"--app_config", appPath, "--mc_config", appPath}, "[error] Not a valid MCConfiguration XML file"},
        {{"--mc_config", notXml}, "[error] Not a valid MCConfiguration XML file"},
    };
    for (const auto& c : cases) {
        const CliResult result = run(c.arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 1) << c.arguments.at(1);
        EXPECT_THAT(result.lines, ElementsAreArray(Lines{c.line})) << c.arguments.at(1);
    }
}

TEST_F(CliEndToEnd, ApplyingNeedsExactlyOneDevice) {
    const std::string mcPath = write("unit.mc.xml", fileXml(factoryMc()));
    const CliResult several = run({"--mc_config", mcPath}, "devices=2");
    EXPECT_EQ(several.status, 1);
    EXPECT_THAT(
        several.lines,
        ElementsAreArray(Lines{"[error] Multiple FTDI devices detected. Please connect only one device at a "
                               "time when configuring"}));
    const CliResult none = run({"--mc_config", mcPath}, "devices=0");
    EXPECT_EQ(none.status, 1);
    EXPECT_THAT(none.lines, ElementsAreArray(Lines{"[error] No VARKO 5 devices found"}));
}

TEST_F(CliEndToEnd, FirmwareOtherThan52IsRefusedWithStatus1AndNothingIsWritten) {
    const std::string appPath = write("unit.app.xml", fileXml(factoryApp()));
    const CliResult result = run({"--app_config", appPath}, "fw=5.3");
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.lines,
                ElementsAreArray(
                    deviceBlock("fw=5.3") + version(5, 3) +
                    Lines{"[error] This application only works with FW version 5.2. Curent Version: 5.3"}));
    EXPECT_FALSE(fs::exists(statePath));
}

} // namespace

namespace {

// ---- every fault of the simulated controller ------------------------------------------------

struct FaultCase {
    std::string fault; // the scenario's fault settings
    std::vector<std::string> arguments;
    Lines tail;               // what follows the device block
    bool nothingSent = false; // the controller's records must be untouched
};

// All cases run at once, each in its own scenario and state file, so the two that wait out
// the controller's time-out share one wait.
TEST_F(CliEndToEnd, EveryControllerFaultEndsWithItsMessageAndStatus1) {
    APPConfiguration app = factoryApp();
    app.controller_id = 5;
    MCConfiguration mc = factoryMc();
    mc.l_current_max = 50.0f;
    const std::string appPath = write("unit.app.xml", fileXml(onTheWire(app)));
    const std::string mcPath = write("unit.mc.xml", fileXml(onTheWire(mc)));
    const std::string base = dir.file("out");
    const std::vector<std::string> apply{"--app_config", appPath, "--mc_config", mcPath};
    const std::vector<std::string> save{"--getConfig", "-o", base};
    const Lines ok = version(5, 2);
    // A set saves a backup of the current records once the firmware has been checked.
    const Lines okBackedUp = ok + Lines{"Backup saved to: *"};
    const Lines appApplied{"[info] Getting Default APP Configuration",
                           "[info] Configuration updated from XML file " + appPath + ". 149 parameters set",
                           "[info] PAYLOAD SIZE: 425",
                           "[info] Configuration sent to device",
                           "[info] Getting APP Configuration",
                           "[info] Validating Updated APP",
                           "[info] APP Configuration Validated"};
    const Lines mcSent{"[info] Getting Default MC Configuration",
                       "[info] Configuration updated from XML file " + mcPath + ". 157 parameters set"};
    const Lines mcApplied =
        mcSent + Lines{"[info] Configuration sent to device", "[info] Getting MC Configuration",
                       "[info] MC Configuration Validated"};
    const std::string timedOut = "[error] ARM timed out. It may not be powered.";

    const FaultCase cases[] = {
        {"fault=silent_bridge", save, {timedOut}},
        {"fault=silent_controller;fault_on=13", apply, okBackedUp + appApplied + mcSent + Lines{timedOut}},
        {"fault=ack_failed;fault_on=16", apply,
         okBackedUp +
             Lines{"[info] Getting Default APP Configuration",
                   "[info] Configuration updated from XML file " + appPath + ". 149 parameters set",
                   "[info] PAYLOAD SIZE: 425",
                   "[error] App Configuration was not acknowledged by the bridge (ResponseType::FAILED)"} +
             mcApplied},
        {"fault=set_refused;fault_on=13", apply,
         okBackedUp + appApplied + mcSent +
             Lines{"[error] MC Configuration was not accepted by the controller"}},
        {"fault=change_on_write;fault_on=16", apply,
         okBackedUp + Lines{"[info] Getting Default APP Configuration",
                            "[info] Configuration updated from XML file " + appPath + ". 149 parameters set",
                            "[info] PAYLOAD SIZE: 425", "[info] Configuration sent to device",
                            "[info] Getting APP Configuration", "[info] Validating Updated APP",
                            "[error] App Configuration validation FAILED"}},
        {"fault=change_on_write;fault_on=13", apply,
         okBackedUp + appApplied + mcSent +
             Lines{"[info] Configuration sent to device", "[info] Getting MC Configuration",
                   "[error] Not same l_current_max", "[error] MC Configuration validation FAILED"}},
        {"fault=ack_bad_checksum;fault_on=0",
         save,
         {"[error] Acknowledge: ResponseType::BAD_CHECKSUM  0x3C 0xBB 0x44",
          "[error] Failed at getting ARM Version."}},
        {"fault=short_version", save, {"[error] Failed at getting ARM Version."}},
        // Stray bytes before the first acknowledges after opening are read through (they look
        // like what a killed run leaves behind); on a settled line they fail the command.
        {"fault=stray_bytes;fault_on=14", save,
         ok + Lines{"[error] Acknowledge: not recognised  0x55 0xAA 0x00",
                    "[error] Request for the motor configuration got no readable acknowledge from the bridge "
                    "(0x55 0xAA 0x00)"}},
        {"fault=ack_garbled;fault_on=14", save,
         ok + Lines{"[error] Acknowledge: not recognised  0x3C 0x07 0x07",
                    "[error] Request for the motor configuration got no readable acknowledge from the bridge "
                    "(0x3C 0x07 0x07)"}},
        {"fault=bad_crc;fault_on=18", apply,
         okBackedUp + Lines{"[info] Getting Default APP Configuration", "[error] Invalid CRC: *",
                            "[error] Reply from controller failed its CRC check"},
         true},
        {"fault=truncated_reply;fault_on=17", save, ok + Lines{timedOut}},
        {"fault=short_reply;fault_on=14", save,
         ok +
             Lines{
                 "[error] Reply from controller is too short for the motor configuration: 229 of 458 bytes"}},
        {"fault=wrong_signature;fault_on=17", save,
         ok + Lines{"[error] Reply from controller does not carry the application configuration signature"}},
        {"fault=huge_length;fault_on=14", save,
         ok +
             Lines{
                 "[error] Reply of 65535 payload bytes does not fit the 1024 byte receive buffer; discarded",
                 "[error] Reply from controller is too long to be received"}},
        {"fault=odd_start;fault_on=14", save,
         ok + Lines{"[error] Invalid CRC: *", "[error] Reply from controller is not a valid packet"}},
    };

    // Each saving case writes under a name of its own: the children run at once, and one that
    // finds another's file in the way refuses to write over it.
    const auto outputOf = [&base](std::size_t i) { return base + std::to_string(i); };
    std::vector<CliChild> children;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string text = "state=" + dir.file("state" + std::to_string(i)) + ";" + cases[i].fault;
        std::vector<std::string> arguments = cases[i].arguments;
        for (std::string& argument : arguments) {
            if (argument == base) {
                argument = outputOf(i);
            }
        }
        children.push_back(startCli(arguments, {{"VARKO5_SIMULATOR", text}}));
    }
    const std::size_t blockLines = deviceBlock().size();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const CliResult result = finishCli(children[i]);
        EXPECT_EQ(result.status, 1) << cases[i].fault;
        ASSERT_GE(result.lines.size(), blockLines) << cases[i].fault << "\n" << result.out;
        EXPECT_TRUE(sameLines(Lines(result.lines.begin() + static_cast<long>(blockLines), result.lines.end()),
                              cases[i].tail))
            << cases[i].fault;
        EXPECT_EQ(result.err, "") << cases[i].fault;
        if (cases[i].nothingSent) {
            EXPECT_FALSE(fs::exists(dir.file("state" + std::to_string(i)))) << cases[i].fault;
        }
    }
    // A configuration that could not be read leaves no files behind.
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_FALSE(fs::exists(outputOf(i) + ".app.xml")) << cases[i].fault;
        EXPECT_FALSE(fs::exists(outputOf(i) + ".mc.xml")) << cases[i].fault;
    }
}

TEST_F(CliEndToEnd, WhenTheDefaultRecordCannotBeReadNothingIsSent) {
    const std::string appPath = write("unit.app.xml", fileXml(factoryApp()));
    const std::string mcPath = write("unit.mc.xml", fileXml(factoryMc()));
    const CliResult result =
        run({"--app_config", appPath, "--mc_config", mcPath, "-d"}, "fault=bad_crc;fault_on=15");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(std::count(result.lines.begin(), result.lines.end(), "[debug] BEGIN ARM_setAppConfig()"), 1);
    EXPECT_EQ(std::count(result.lines.begin(), result.lines.end(), "[debug] BEGIN ARM_setMCConfig()"), 0);
    // Only the application record reached the controller.
    const SimRecords stored = storedRecords();
    EXPECT_TRUE(sameText(mcConfigToXml(stored.mc), mcConfigToXml(factoryMc())));
}

#ifdef LPFP_SIM_PATH
// The serial-port backend against lpfp_sim on a pseudo-terminal: the same flows over a real
// file descriptor.
TEST_F(CliEndToEnd, SavingAndApplyingThroughASerialPortOnAPseudoTerminal) {
    const SimulatorOnTerminal simulator(LPFP_SIM_PATH, scenario());
    const std::string base = dir.file("defaults");
    const CliResult saved = runCli({"--getDefaults", "-o", base}, {{"VARKO5_PORTS", simulator.path()}});
    EXPECT_EQ(saved.status, 0) << saved.out;
    EXPECT_THAT(Lines(saved.lines.end() - 2, saved.lines.end()), ElementsAreArray(version(5, 2)));
    EXPECT_TRUE(sameText(readFileBytes(base + ".app.xml"), fileXml(factoryApp())));
    EXPECT_TRUE(sameText(readFileBytes(base + ".mc.xml"), fileXml(factoryMc())));

    MCConfiguration mc = factoryMc();
    mc.l_max_vin = 48.0f;
    const std::string mcPath = write("unit.mc.xml", fileXml(mc));
    const CliResult applied = runCli({"--mc_config", mcPath}, {{"VARKO5_PORTS", simulator.path()}});
    EXPECT_EQ(applied.status, 0) << applied.out;
    EXPECT_EQ(applied.lines.back(), "[info] MC Configuration Validated");
    EXPECT_TRUE(sameText(mcConfigToXml(storedRecords().mc), mcConfigToXml(mc)));
}
#endif

} // namespace
