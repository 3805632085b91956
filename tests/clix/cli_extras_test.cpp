// The command-line additions for benches and production lines, as a script sees them: the
// built lpfp_cli as a child process against the simulated controller, judged by its status,
// its output, the files it writes and the controller state it leaves.

#include "tests/cli/cli_process.h"

#include "cli/options.h"
#include "core/config/config_codec.h"
#include "core/config/config_xml.h"
#include "core/device/simulator.h"
#include "core/lpfp/lpfp.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace {

using Lines = std::vector<std::string>;

bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Lines that start with prefix.
Lines starting(const Lines& lines, const std::string& prefix) {
    Lines found;
    for (const auto& line : lines) {
        if (line.rfind(prefix, 0) == 0) {
            found.push_back(line);
        }
    }
    return found;
}

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class CliExtras : public ::testing::Test {
protected:
    TempDir dir;
    const std::string statePath = dir.file("controller.state");
    const fs::path dataHome = dir.path() / "data";
    const fs::path defaultBackups = dataHome / "varko5" / "backups";

    std::string scenario(const std::string& extra) const {
        return "state=" + statePath + (extra.empty() ? "" : ";" + extra);
    }

    CliResult run(const std::vector<std::string>& arguments, const std::string& extra = "") const {
        return runCli(arguments,
                      {{"VARKO5_SIMULATOR", scenario(extra)}, {"XDG_DATA_HOME", dataHome.string()}});
    }

    // Current records unlike the defaults, so a test can tell which of the two a flow used.
    static SimRecords modifiedRecords() {
        SimRecords records;
        records.app.controller_id = 42;
        records.app.app_ppm_conf.hyst = 0.75f;
        records.mc.l_current_max = 33.5f;
        records.mc.si_motor_poles = 20;
        return {onTheWire(records.app), onTheWire(records.mc)};
    }

    static SimRecords defaults() { return {onTheWire(SimRecords{}.app), onTheWire(SimRecords{}.mc)}; }

    SimRecords stored(const std::string& path) const {
        SimRecords records;
        EXPECT_TRUE(loadSimState(path, records)) << "no controller state in " << path;
        return records;
    }
    SimRecords stored() const { return stored(statePath); }

    std::string write(const std::string& name, const std::string& text) const {
        const std::string path = dir.file(name);
        writeFileBytes(path, text);
        return path;
    }

    std::string writeLpfp(const std::string& name, const SimRecords& records) const {
        const std::string path = dir.file(name);
        writeLpfpFile(LpfpConfiguration{records.app, records.mc}, path);
        return path;
    }

    // An LPFP file naming only a few keys, by the converter from two short documents.
    std::string fewKeysLpfp() const {
        const std::string app = write("few.app.xml", "<APPConfiguration>\n"
                                                     "    <controller_id>7</controller_id>\n"
                                                     "</APPConfiguration>\n");
        const std::string mc = write("few.mc.xml", "<MCConfiguration>\n"
                                                   "    <l_current_max>44</l_current_max>\n"
                                                   "</MCConfiguration>\n");
        const std::string path = dir.file("few.lpfp");
        EXPECT_TRUE(xmlFilesToLpfp(app, mc, path));
        return path;
    }

    static std::string appXml(const SimRecords& r) { return appConfigToXml(r.app); }
    static std::string mcXml(const SimRecords& r) { return mcConfigToXml(r.mc); }
};

// A flow that listed the devices would fail on this.
constexpr const char* UNTOUCHABLE = "list_error=7";

// ---- the original command line stays as it was ------------------------------------------------

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
    EXPECT_EQ(result.out.rfind(original, 0), 0u) << result.out;
    const auto options = result.out.find(originalOptions);
    ASSERT_NE(options, std::string::npos) << result.out;
    const std::string added = result.out.substr(options + originalOptions.size());
    for (const char* name :
         {"--lpfp_config <input_file>", "--saveLpfp <output_file>", "--lpfp_to_xml <input_file>",
          "--xml_to_lpfp <output_file>", "--diff <source> <source>", "--changed", "--serial <serial_number>",
          "--backup_dir <folder>", "--no_backup"}) {
        EXPECT_THAT(added, HasSubstr("  " + std::string(name) + "\n")) << name;
    }
}

TEST_F(CliExtras, NewOptionsWithoutTheirValuesAreCommandLineErrors) {
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

TEST_F(CliExtras, SettingTakesABackupFirstAndOtherwiseReportsAsBefore) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    SimRecords wanted = defaults();
    wanted.mc.si_battery_cells = 14;
    const std::string mcPath = write("unit.mc.xml", std::string(XML_DECLARATION) + "\n" + mcXml(wanted));

    const CliResult result = run({"--mc_config", mcPath});
    EXPECT_EQ(result.status, 0) << result.out;
    const auto backups = filesIn(defaultBackups);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_THAT(backups[0].filename().string(),
                ::testing::MatchesRegex("VK5SIM0001-[0-9]{8}-[0-9]{6}\\.lpfp"));
    // The backup line comes after the version lines, before anything is sent.
    const Lines expectedTail{"Backup saved to: " + backups[0].string(),
                             "[info] Getting Default MC Configuration",
                             "[info] Configuration updated from XML file " + mcPath + ". 157 parameters set",
                             "[info] Configuration sent to device",
                             "[info] Getting MC Configuration",
                             "[info] MC Configuration Validated"};
    ASSERT_GE(result.lines.size(), expectedTail.size());
    EXPECT_THAT(Lines(result.lines.end() - static_cast<long>(expectedTail.size()), result.lines.end()),
                ElementsAreArray(expectedTail));
    EXPECT_EQ(result.lines[result.lines.size() - expectedTail.size() - 1], "Minor: 2");

    LpfpConfiguration backup;
    std::uint64_t keys = 0;
    ASSERT_TRUE(readLpfpFile(backup, backups[0].string(), keys));
    EXPECT_EQ(appConfigToXml(backup.app), appXml(modifiedRecords()));
    EXPECT_EQ(mcConfigToXml(backup.mc), mcXml(modifiedRecords()));
    EXPECT_EQ(stored().mc.si_battery_cells, 14);
}

TEST_F(CliExtras, NoBackupLeavesTheOriginalOutputUntouched) {
    const std::string mcPath = write("unit.mc.xml", std::string(XML_DECLARATION) + "\n" + mcXml(defaults()));
    const CliResult result = run({"--mc_config", mcPath, "--no_backup"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(starting(result.lines, "Backup").empty());
    EXPECT_FALSE(fs::exists(dataHome));
    EXPECT_EQ(result.lines.size(), 11u + 5u); // device block, chip, version, then the five steps
}

// ---- backups --------------------------------------------------------------------------------------

TEST_F(CliExtras, UnwritableBackupFolderMeansNothingIsSent) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const std::string blocker = write("blocker", "not a folder");
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const std::string mcPath = write("unit.mc.xml", std::string(XML_DECLARATION) + "\n" + mcXml(defaults()));
    const std::vector<std::vector<std::string>> commands{
        {"--lpfp_config", lpfp, "--backup_dir", blocker + "/backups"},
        {"--mc_config", mcPath, "--backup_dir", blocker},
    };
    for (const auto& arguments : commands) {
        const CliResult result = run(arguments);
        EXPECT_EQ(result.status, 1) << arguments[0];
        EXPECT_EQ(starting(result.lines, "[error] Backup failed, nothing was sent: ").size(), 1u)
            << result.out;
        EXPECT_TRUE(starting(result.lines, "[info] Configuration sent").empty());
        EXPECT_EQ(appXml(stored()), appXml(modifiedRecords()));
        EXPECT_EQ(mcXml(stored()), mcXml(modifiedRecords()));
    }

    // Without any data directory there is no default folder either.
    const CliResult homeless = runCli(
        {"--lpfp_config", lpfp}, {{"VARKO5_SIMULATOR", scenario("")}, {"XDG_DATA_HOME", ""}, {"HOME", ""}});
    EXPECT_EQ(homeless.status, 1);
    EXPECT_EQ(starting(homeless.lines, "[error] Backup failed, nothing was sent: ").size(), 1u);
    EXPECT_EQ(mcXml(stored()), mcXml(modifiedRecords()));
}

TEST_F(CliExtras, BackupThatCannotBeReadFromTheControllerMeansNothingIsSent) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const CliResult result = run({"--lpfp_config", lpfp}, "fault=wrong_signature;fault_on=17");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.lines,
                         "[error] Backup failed, nothing was sent: Reply from controller does not "
                         "carry the application configuration signature"))
        << result.out;
    EXPECT_TRUE(filesIn(defaultBackups).empty());
    EXPECT_EQ(appXml(stored()), appXml(modifiedRecords()));
    EXPECT_EQ(mcXml(stored()), mcXml(modifiedRecords()));
}

TEST_F(CliExtras, BackupsGoToTheGivenFolderOrUnderHomeWithUniqueNames) {
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const fs::path given = dir.path() / "given" / "deeper";
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(run({"--lpfp_config", lpfp, "--backup_dir", given.string()}).status, 0);
    }
    const auto files = filesIn(given);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_NE(files[0], files[1]);
    EXPECT_FALSE(fs::exists(dataHome));

    // XDG_DATA_HOME unset: under HOME.
    const CliResult result =
        runCli({"--lpfp_config", lpfp, "--serial", "VK5SIM0001"},
               {{"VARKO5_SIMULATOR", scenario("")}, {"XDG_DATA_HOME", ""}, {"HOME", dir.path().string()}});
    EXPECT_EQ(result.status, 0);
    const auto homeFiles = filesIn(dir.path() / ".local" / "share" / "varko5" / "backups");
    ASSERT_EQ(homeFiles.size(), 1u);
    EXPECT_TRUE(contains(result.lines, "Backup saved to: " + homeFiles[0].string()));
}

// ---- applying an LPFP file --------------------------------------------------------------------------

TEST_F(CliExtras, ApplyingAnLpfpFileLaysItOverTheDefaultsAndVerifiesBothRecords) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const std::string lpfp = fewKeysLpfp();
    const CliResult result = run({"--lpfp_config", lpfp, "--no_backup"});
    EXPECT_EQ(result.status, 0) << result.out;
    Lines steps;
    for (const auto& line : result.lines) {
        if (line.rfind("[info] ", 0) == 0 || line.rfind("[error] ", 0) == 0) {
            steps.push_back(line);
        }
    }
    EXPECT_THAT(steps, ElementsAreArray(Lines{
                           "[info] Getting Default APP Configuration",
                           "[info] Configuration updated from LPFP file " + lpfp + ". 2 parameters set",
                           "[info] PAYLOAD SIZE: 425",
                           "[info] Configuration sent to device",
                           "[info] Getting APP Configuration",
                           "[info] Validating Updated APP",
                           "[info] APP Configuration Validated",
                           "[info] Configuration sent to device",
                           "[info] Getting MC Configuration",
                           "[info] Validating Updated MC",
                           "[info] MC Configuration Validated",
                           "[info] Configuration updated successfully",
                       }));
    SimRecords expected = defaults();
    expected.app.controller_id = 7;
    expected.mc.l_current_max = 44.0f;
    expected = {onTheWire(expected.app), onTheWire(expected.mc)};
    // si_motor_poles and the hysteresis went back to their defaults.
    EXPECT_EQ(appXml(stored()), appXml(expected));
    EXPECT_EQ(mcXml(stored()), mcXml(expected));
}

TEST_F(CliExtras, ARefusedApplicationRecordDoesNotStopTheMotorRecord) {
    const std::string lpfp = fewKeysLpfp();
    for (const char* fault : {"fault=set_refused;fault_on=16", "fault=change_on_write;fault_on=16"}) {
        fs::remove(statePath);
        const CliResult result = run({"--lpfp_config", lpfp, "--no_backup"}, fault);
        EXPECT_EQ(result.status, 1) << fault;
        EXPECT_TRUE(contains(result.lines, "[info] MC Configuration Validated")) << fault << result.out;
        EXPECT_TRUE(contains(result.lines, "[error] Configuration Validation Failed.")) << fault;
        EXPECT_FALSE(contains(result.lines, "[info] Configuration updated successfully")) << fault;
        EXPECT_FLOAT_EQ(stored().mc.l_current_max, 44.0f) << fault;
    }
    const CliResult refused = run({"--lpfp_config", lpfp, "--no_backup"}, "fault=set_refused;fault_on=16");
    EXPECT_TRUE(contains(refused.lines, "[error] Failed to set APPConfig"));
    const CliResult changed =
        run({"--lpfp_config", lpfp, "--no_backup"}, "fault=change_on_write;fault_on=16");
    EXPECT_TRUE(contains(changed.lines, "[error] App Configuration validation FAILED"));

    // A refused motor record fails the run after a verified application record.
    fs::remove(statePath);
    const CliResult mcRefused = run({"--lpfp_config", lpfp, "--no_backup"}, "fault=set_refused;fault_on=13");
    EXPECT_EQ(mcRefused.status, 1);
    EXPECT_TRUE(contains(mcRefused.lines, "[info] APP Configuration Validated"));
    EXPECT_TRUE(contains(mcRefused.lines, "[error] Failed to set MCConfig"));
    EXPECT_EQ(stored().app.controller_id, 7);
}

TEST_F(CliExtras, DamagedOrMissingLpfpFilesAreRefusedBeforeAnyDeviceIsListed) {
    const std::string good = readFileBytes(writeLpfp("good.lpfp", defaults()));
    std::string flipped = good;
    flipped[0] = flipped[0] == 'A' ? 'B' : 'A';
    const std::string checksum = write("checksum.lpfp", flipped);
    flipped[0] = '*';
    const std::string decoding = write("decoding.lpfp", flipped);
    const std::string empty = write("empty.lpfp", "FFFF");
    const std::string missing = dir.file("missing.lpfp");
    const std::vector<std::pair<std::string, std::string>> cases{
        {checksum, "[error] " + checksum + ": Checksum Fail"},
        {decoding, "[error] " + decoding + ": Decoding Failed."},
        {empty, "[error] " + empty + ": Invalid Configuration File"},
        {missing, "[error] Cannot read file " + missing},
    };
    for (const auto& [path, message] : cases) {
        const CliResult result = run({"--lpfp_config", path}, UNTOUCHABLE);
        EXPECT_EQ(result.status, 1) << path;
        EXPECT_THAT(result.lines, ElementsAreArray(Lines{message})) << path;
    }
    EXPECT_FALSE(fs::exists(statePath));
    EXPECT_FALSE(fs::exists(dataHome));
}

TEST_F(CliExtras, ApplyingNeedsFirmware52AndNothingIsWrittenOtherwise) {
    const std::string lpfp = writeLpfp("target.lpfp", modifiedRecords());
    const CliResult result = run({"--lpfp_config", lpfp}, "fw=5.3");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.lines,
                         "[error] This application only works with FW version 5.2. Curent Version: 5.3"));
    EXPECT_FALSE(fs::exists(statePath));
    EXPECT_FALSE(fs::exists(dataHome));
}

TEST_F(CliExtras, SilentControllerEndsTheApplyWithTheTimeoutMessage) {
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const CliResult result =
        run({"--lpfp_config", lpfp, "--no_backup"}, "fault=silent_controller;fault_on=16");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.lines, "[error] ARM timed out. It may not be powered."));
    EXPECT_FALSE(fs::exists(statePath));
}

// ---- saving and converting --------------------------------------------------------------------------

TEST_F(CliExtras, SavingTheCurrentOrDefaultConfigurationAsLpfp) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const std::string current = dir.file("current.lpfp");
    const std::string factory = dir.file("factory.lpfp");
    const CliResult saved = run({"--saveLpfp", current});
    EXPECT_EQ(saved.status, 0);
    EXPECT_EQ(saved.lines.back(), "LPFP Configuration saved to: " + current);
    const CliResult savedDefaults = run({"--getDefaults", "--saveLpfp", factory});
    EXPECT_EQ(savedDefaults.status, 0);
    EXPECT_EQ(savedDefaults.lines.back(), "Default LPFP Configuration saved to: " + factory);

    for (const auto& [path, records] :
         {std::pair{current, modifiedRecords()}, std::pair{factory, defaults()}}) {
        LpfpConfiguration pair;
        std::uint64_t keys = 0;
        ASSERT_TRUE(readLpfpFile(pair, path, keys)) << path;
        EXPECT_EQ(appConfigToXml(pair.app), appXml(records)) << path;
        EXPECT_EQ(mcConfigToXml(pair.mc), mcXml(records)) << path;
    }

    const CliResult unwritable = run({"--saveLpfp", dir.file("no/such/folder/x.lpfp")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(starting(unwritable.lines, "[error] Cannot write file ").size(), 1u) << unwritable.out;
}

TEST_F(CliExtras, ConvertingBetweenLpfpAndXmlNeedsNoDevice) {
    const SimRecords records = modifiedRecords();
    const std::string lpfp = writeLpfp("unit.lpfp", records);

    CliResult result = run({"--lpfp_to_xml", lpfp}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 0) << result.out;
    const std::string base = dir.file("unit");
    EXPECT_THAT(result.lines, ElementsAreArray(Lines{"APP Configuration saved to: " + base + ".app.xml",
                                                     "MC Configuration saved to: " + base + ".mc.xml"}));
    const std::string header = std::string(XML_DECLARATION) + "\n";
    EXPECT_EQ(readFileBytes(base + ".app.xml"), header + appXml(records));
    EXPECT_EQ(readFileBytes(base + ".mc.xml"), header + mcXml(records));

    result = run({"--lpfp_to_xml", lpfp, "-o", dir.file("other")}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(readFileBytes(dir.file("other.mc.xml")), header + mcXml(records));

    const std::string back = dir.file("back.lpfp");
    result = run({"--app_config", base + ".app.xml", "--mc_config", base + ".mc.xml", "--xml_to_lpfp", back},
                 UNTOUCHABLE);
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_THAT(result.lines, ElementsAreArray(Lines{"LPFP Configuration saved to: " + back}));
    LpfpConfiguration pair;
    std::uint64_t keys = 0;
    ASSERT_TRUE(readLpfpFile(pair, back, keys));
    EXPECT_EQ(keys, 306u);
    EXPECT_EQ(appConfigToXml(pair.app), appXml(records));
}

TEST_F(CliExtras, ConversionFailuresAreNamed) {
    const std::string app = write("a.xml", std::string(XML_DECLARATION) + "\n" + appXml(defaults()));
    const std::string mc = write("m.xml", std::string(XML_DECLARATION) + "\n" + mcXml(defaults()));
    const std::string damaged = write("damaged.lpfp", "QUJD0000");
    const std::string out = dir.file("out.lpfp");
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--lpfp_to_xml", damaged}, "[error] " + damaged + ": Checksum Fail"},
        {{"--lpfp_to_xml", dir.file("none.lpfp")}, "[error] Cannot read file " + dir.file("none.lpfp")},
        {{"--app_config", mc, "--mc_config", mc, "--xml_to_lpfp", out},
         "[error] Not a valid APPConfiguration XML file"},
        {{"--app_config", app, "--mc_config", app, "--xml_to_lpfp", out},
         "[error] Not a valid MCConfiguration XML file"},
        {{"--app_config", app, "--xml_to_lpfp", out},
         "[error] --xml_to_lpfp needs both --app_config and --mc_config"},
    };
    for (const auto& c : cases) {
        const CliResult result = run(c.arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 1) << c.message;
        EXPECT_THAT(result.lines, ElementsAreArray(Lines{c.message}));
    }
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(dir.file("damaged.app.xml")));

    const CliResult unwritable =
        run({"--lpfp_to_xml", writeLpfp("ok.lpfp", defaults()), "-o", dir.file("no/dir/x")}, UNTOUCHABLE);
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(starting(unwritable.lines, "[error] Cannot write file ").size(), 1u) << unwritable.out;
}

// ---- diff -------------------------------------------------------------------------------------------

TEST_F(CliExtras, DiffPrintsEveryDifferingFieldInDocumentOrder) {
    SimRecords left = defaults();
    SimRecords right = defaults();
    right.app.controller_id = 9;
    right.mc.l_current_max = left.mc.l_current_max + 0.005f; // within the tolerance
    right.mc.l_min_erpm = -1234.0f;
    right.mc.foc_hall_table[3] = 255;
    const std::string a = writeLpfp("a.lpfp", left);
    const std::string b = write("b.app.xml", appXml(right));
    const std::string c = write("b.mc.xml", mcXml(right));

    CliResult result = run({"--diff", a, c + "," + b}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_THAT(
        result.lines,
        ElementsAreArray(Lines{
            "APPConfiguration controller_id: " + std::to_string(left.app.controller_id) + " -> 9",
            "MCConfiguration l_min_erpm: " + fieldXmlText(*mcXmlOrder()[6], left.mc) + " -> -1234",
            "MCConfiguration foc_hall_table__3: " + std::to_string(left.mc.foc_hall_table[3]) + " -> 255",
            "[info] 3 fields differ"}));

    result = run({"--diff", a, a}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.lines, ElementsAreArray(Lines{"[info] The configurations are the same"}));

    // One document on a side: only its record is compared.
    result = run({"--diff", b, a}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(starting(result.lines, "MCConfiguration").size(), 0u);
    EXPECT_EQ(starting(result.lines, "APPConfiguration controller_id: 9 -> ").size(), 1u);
}

TEST_F(CliExtras, DiffTroubleIsStatus2) {
    const std::string a = writeLpfp("a.lpfp", defaults());
    const std::string app = write("a.xml", appXml(defaults()));
    const std::string mc = write("m.xml", mcXml(defaults()));
    const std::string damaged = write("damaged.lpfp", "QUJD0000");
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--diff", a, dir.file("gone.lpfp")}, "[error] Cannot read file " + dir.file("gone.lpfp")},
        {{"--diff", damaged, a}, "[error] " + damaged + ": Checksum Fail"},
        {{"--diff", app, mc},
         "[error] Nothing to compare: " + app + " and " + mc + " hold no record of the same kind"},
        {{"--diff", a, "device:factory"},
         "[error] Unknown device source device:factory (use device:current or device:default)"},
    };
    for (const auto& c : cases) {
        const CliResult result = run(c.arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 2) << c.message;
        EXPECT_THAT(result.lines, ElementsAreArray(Lines{c.message}));
    }
    // A device side needs a device.
    const CliResult noDevice = run({"--diff", a, "device:current"}, "devices=0");
    EXPECT_EQ(noDevice.status, 2);
    EXPECT_THAT(noDevice.lines, ElementsAreArray(Lines{"[error] No VARKO 5 devices found"}));
    const CliResult silent = run({"--diff", a, "device:current"}, "fault=silent_controller;fault_on=17");
    EXPECT_EQ(silent.status, 2);
    EXPECT_TRUE(contains(silent.lines, "[error] ARM timed out. It may not be powered."));
}

TEST_F(CliExtras, DiffAgainstTheDeviceAndTheChangedView) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const SimRecords factory = defaults();
    const Lines changes{
        "APPConfiguration controller_id: " + std::to_string(factory.app.controller_id) + " -> 42",
        "APPConfiguration app_ppm_conf.hyst: " + fieldXmlText(*appXmlOrder()[15], factory.app) + " -> 0.75",
        "MCConfiguration l_current_max: " + fieldXmlText(*mcXmlOrder()[0], factory.mc) + " -> 33.5",
        "MCConfiguration si_motor_poles: " + std::to_string(factory.mc.si_motor_poles) + " -> 20",
    };
    ASSERT_EQ(appXmlOrder()[15]->key, "app_ppm_conf.hyst");
    ASSERT_EQ(mcXmlOrder()[0]->key, "l_current_max");
    Lines expected = changes;
    expected.push_back("[info] 4 fields differ");

    CliResult result = run({"--changed"});
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_THAT(result.lines, ElementsAreArray(expected));
    result = run({"--diff", "device:default", "device:current"});
    EXPECT_THAT(result.lines, ElementsAreArray(expected));
    result = run({"--diff", writeLpfp("factory.lpfp", factory), "device:current"});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.lines, ElementsAreArray(expected));

    result = run({"--diff", "device:current", writeLpfp("now.lpfp", modifiedRecords())});
    EXPECT_EQ(result.status, 0);

    fs::remove(statePath);
    result = run({"--changed"});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.lines, ElementsAreArray(Lines{"[info] The configurations are the same"}));
}

// ---- choosing the device by serial number -------------------------------------------------------------

class CliSeveralDevices : public CliExtras {
protected:
    const std::string stateA = dir.file("a.state");
    const std::string stateB = dir.file("b.state");

    CliResult runTwo(const std::vector<std::string>& arguments) const {
        return runCli(arguments,
                      {{"VARKO5_SIMULATOR", "devices=2;serial=SNA,SNB;state=" + stateA + "," + stateB},
                       {"XDG_DATA_HOME", dataHome.string()}});
    }
};

TEST_F(CliSeveralDevices, SerialNumberChoosesTheDeviceForEveryFlow) {
    ASSERT_TRUE(saveSimState(stateB, modifiedRecords()));
    const std::string lpfp = fewKeysLpfp();

    CliResult result = runTwo({"--lpfp_config", lpfp, "--serial", "SNB"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.lines.at(0), "Device Number : 1");
    EXPECT_EQ(result.lines.at(1), "       Serial Number: SNB");
    EXPECT_EQ(stored(stateB).app.controller_id, 7);
    EXPECT_FALSE(fs::exists(stateA));
    const auto backups = filesIn(defaultBackups);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].filename().string().rfind("SNB-", 0), 0u);

    const std::string mcPath = write("unit.mc.xml", mcXml(defaults()));
    result = runTwo({"--serial", "SNA", "--mc_config", mcPath, "--no_backup"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.lines.at(0), "Device Number : 0");
    EXPECT_TRUE(fs::exists(stateA));

    result = runTwo({"--serial", "SNB", "--getConfig"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.lines.at(0), "Device Number : 1");
    EXPECT_THAT(result.out, HasSubstr("    <controller_id>7</controller_id>\n"));

    result = runTwo({"--serial", "SNB", "--test"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.lines.at(0), "[info] Devices found: 2");
    EXPECT_EQ(result.lines.at(2), "Device Number : 1");
    EXPECT_EQ(result.lines.at(3), "       Serial Number: SNB");

    result = runTwo({"--serial", "SNB", "--changed"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.lines, "APPConfiguration controller_id: " +
                                           std::to_string(defaults().app.controller_id) + " -> 7"));
}

TEST_F(CliSeveralDevices, WithoutSerialNumberTheOriginalRefusalStands) {
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const std::string multiple =
        "[error] Multiple FTDI devices detected. Please connect only one device at a time when configuring";
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--getConfig"},
                                                      {"--lpfp_config", lpfp},
                                                      {"--saveLpfp", dir.file("x.lpfp")}}) {
        const CliResult result = runTwo(arguments);
        EXPECT_EQ(result.status, 1) << arguments[0];
        EXPECT_THAT(result.lines, ElementsAreArray(Lines{multiple})) << arguments[0];
    }
    EXPECT_EQ(runTwo({"--changed"}).status, 2);
    EXPECT_FALSE(fs::exists(stateA));
    EXPECT_FALSE(fs::exists(stateB));
}

TEST_F(CliSeveralDevices, UnknownSerialNumberIsRefusedAndNothingIsSent) {
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const std::string unknown = "[error] No device with serial number SNC (connected: SNA, SNB)";
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--getConfig"},
                                                      {"--lpfp_config", lpfp},
                                                      {"--test"},
                                                      {"--saveLpfp", dir.file("x.lpfp")}}) {
        std::vector<std::string> withSerial = arguments;
        withSerial.insert(withSerial.end(), {"--serial", "SNC"});
        const CliResult result = runTwo(withSerial);
        EXPECT_EQ(result.status, 1) << arguments[0];
        EXPECT_TRUE(contains(result.lines, unknown)) << arguments[0] << result.out;
    }
    const CliResult diff = runTwo({"--changed", "--serial", "SNC"});
    EXPECT_EQ(diff.status, 2);
    EXPECT_THAT(diff.lines, ElementsAreArray(Lines{unknown}));
    EXPECT_FALSE(fs::exists(stateA));
    EXPECT_FALSE(fs::exists(stateB));
    EXPECT_FALSE(fs::exists(dir.file("x.lpfp")));
}

} // namespace
