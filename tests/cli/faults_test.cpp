// What lpfp_cli says when things go wrong under it: a set whose answer cannot be read, a bridge
// that does not pass a set on, a signal in the middle of a run, a JSON document that must come
// out whatever failed, and a device of several that is not there.

#include "tests/cli/cli_fixture.h"

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

class CliFaults : public CliExtras {
protected:
    std::string mcDocument() const {
        return write("B.mc.xml", "<MCConfiguration><si_motor_poles>24</si_motor_poles></MCConfiguration>");
    }
    std::string appDocument() const {
        return write("B.app.xml", "<APPConfiguration><controller_id>9</controller_id></APPConfiguration>");
    }
    json load(const std::string& path) const { return json::parse(readFileBytes(path)); }

    // No temporary file of a write left anywhere under the test's folder.
    void expectNoTemporaries() const {
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            EXPECT_EQ(entry.path().filename().string().rfind(".lpfp-", 0), std::string::npos) << entry.path();
    }
};

// The controller stores the record, but its answer to the set cannot be read: the read-back
// decides, and says the controller holds it.
TEST_F(CliFaults, AnUnreadableAnswerToASetIsDecidedByTheReadBack) {
    // A whole document, so that the comparison afterwards has every key to compare.
    SimRecords records = defaults();
    records.mc.si_motor_poles = 24;
    const std::string mc = write("B.mc.xml", mcXml(records));
    const std::string report = dir.file("r.json");
    const CliResult r =
        run({"--mc_config", mc, "--no_backup", "--json", report}, "fault=odd_start;fault_on=13");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(allLines(r),
                         "[warning] The controller's answer to the MC Configuration could not be read "
                         "(the controller's reply is not a valid packet); reading it back decides "
                         "whether it was stored"))
        << r.out;
    EXPECT_TRUE(contains(allLines(r), "[info] Getting MC Configuration"));
    EXPECT_TRUE(contains(allLines(r), "[info] MC Configuration Validated"));
    EXPECT_THAT(r.out, Not(HasSubstr("not accepted")));
    EXPECT_EQ(stored().mc.si_motor_poles, 24);
    const json record = load(report)["devices"][0]["records"]["mc"];
    EXPECT_TRUE(record["accepted"].is_null());
    EXPECT_EQ(record["answer"], "unreadable");
    EXPECT_TRUE(record["verified"]);
    EXPECT_TRUE(load(report)["ok"]);

    // And a comparison afterwards agrees.
    const CliResult same = run({"--diff", mc, "device:current"});
    EXPECT_EQ(same.status, 0) << same.out;
}

TEST_F(CliFaults, EveryUnreadableAnswerIsVerifiedAndADamagedAcknowledgeThatStoredNothingDiffers) {
    const std::string mc = mcDocument();
    for (const char* fault : {"huge_length", "truncated_reply", "stray_bytes"}) {
        const CliResult r =
            run({"--mc_config", mc, "--no_backup"}, std::string("fault=") + fault + ";fault_on=13");
        EXPECT_EQ(r.status, 0) << fault << "\n" << r.out;
        EXPECT_TRUE(contains(allLines(r), "[info] MC Configuration Validated")) << fault;
        EXPECT_FALSE(starting(allLines(r),
                              "[warning] The controller's answer to the MC Configuration could not be "
                              "read")
                         .empty())
            << fault;
    }
    // 3C 07 07 is no acknowledge, and here the frame never reached the controller.
    fs::remove(statePath);
    const CliResult garbled = run({"--mc_config", mc, "--no_backup"}, "fault=ack_garbled;fault_on=13");
    EXPECT_EQ(garbled.status, 1);
    EXPECT_TRUE(contains(allLines(garbled), "[error] Acknowledge: not recognised  0x3C 0x07 0x07"));
    EXPECT_TRUE(contains(allLines(garbled), "[error] MC Configuration validation FAILED"));
    EXPECT_THAT(garbled.out, Not(HasSubstr("TIMED_OUT")));
}

TEST_F(CliFaults, ABridgeThatDoesNotPassTheSetOnIsSaidSo) {
    const std::string report = dir.file("r.json");
    const CliResult r = run({"--mc_config", mcDocument(), "--no_backup", "--json", report},
                            "fault=ack_bad_checksum;fault_on=13");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(allLines(r), "[error] MC Configuration was not acknowledged by the bridge "
                                      "(ResponseType::BAD_CHECKSUM)"))
        << r.out;
    EXPECT_FALSE(contains(allLines(r), "[info] Getting MC Configuration")) << "nothing to read back";
    const json record = load(report)["devices"][0]["records"]["mc"];
    EXPECT_EQ(record["accepted"], false);
    EXPECT_EQ(record["answer"], "not_acknowledged");

    const CliResult lpfp = run({"--lpfp_config", writeLpfp("b.lpfp", defaults()), "--no_backup"},
                               "fault=ack_failed;fault_on=16");
    EXPECT_EQ(lpfp.status, 1);
    EXPECT_TRUE(contains(allLines(lpfp), "[error] Failed to set APPConfig: not acknowledged by the bridge "
                                         "(ResponseType::FAILED)"))
        << lpfp.out;
    EXPECT_TRUE(contains(allLines(lpfp), "[info] MC Configuration Validated"));
}

// The signal arrives while the application record is being set (the simulated controller sends
// it before it answers): that exchange and its read-back end whole, the motor record is not sent.
TEST_F(CliFaults, AnInterruptedApplySaysWhatWasWrittenAndWhereTheBackupIs) {
    for (const auto& [signal, status] : {std::pair<std::string, int>{"int", 130}, {"term", 143}}) {
        SCOPED_TRACE(signal);
        fs::remove(statePath);
        const std::string report = dir.file("r.json");
        const CliResult r =
            run({"--app_config", appDocument(), "--mc_config", mcDocument(), "--json", report},
                "signal_on=16;signal=" + signal);
        EXPECT_EQ(r.status, status) << r.out;
        // One copy of the lines: iterators of two temporary copies would not make a range.
        const Lines lines = allLines(r);
        const Lines tail(std::find(lines.begin(), lines.end(), "[error] Interrupted"), lines.end());
        ASSERT_GE(tail.size(), 4u) << r.out;
        EXPECT_EQ(tail[1], "[info] APP Configuration was written and verified");
        EXPECT_EQ(tail[2], "[error] MC Configuration was not written");
        const json document = load(report);
        const std::string backup = document["devices"][0]["backup"].get<std::string>();
        EXPECT_EQ(tail[3], "[info] The configuration from before this run is in the backup " + backup +
                               "; to restore it: lpfp_cli --lpfp_config " + backup);
        EXPECT_FALSE(contains(lines, "[info] Getting Default MC Configuration"));
        EXPECT_EQ(stored().app.controller_id, 9);
        EXPECT_NE(stored().mc.si_motor_poles, 24);
        EXPECT_EQ(document["status"], status);
        EXPECT_EQ(document["interrupted"], true);
        EXPECT_EQ(document["devices"][0]["interrupted"], true);
        EXPECT_EQ(document["devices"][0]["records"]["mc"]["sent"], false);
        expectNoTemporaries();
    }
}

// A second signal ends the run at once; what it printed so far is in its output file already.
TEST_F(CliFaults, ASecondSignalEndsTheRunAtOnceAndLosesNoPrintedLine) {
    const CliResult r = run({"--app_config", appDocument(), "--mc_config", mcDocument()}, "signal_on=16,17");
    EXPECT_EQ(r.status, -1) << "ended by the signal itself";
    EXPECT_TRUE(contains(allLines(r), "Device Number : 0")) << r.out;
    EXPECT_TRUE(contains(allLines(r), "Major: 5"));
    EXPECT_FALSE(starting(allLines(r), "Backup saved to: ").empty());
    EXPECT_TRUE(contains(allLines(r), "[info] PAYLOAD SIZE: 425"));
    expectNoTemporaries();
}

TEST_F(CliFaults, AnInterruptedSaveWritesNothing) {
    const std::string base = dir.file("saved");
    const CliResult xml = run({"--getConfig", "-o", base}, "signal_on=14");
    EXPECT_EQ(xml.status, 130) << xml.out;
    EXPECT_EQ(allLines(xml).back(), "[error] Interrupted");
    EXPECT_FALSE(fs::exists(base + ".app.xml"));
    EXPECT_FALSE(fs::exists(base + ".mc.xml"));
    const CliResult lpfp = run({"--saveLpfp", base + ".lpfp"}, "signal_on=17;signal=term");
    EXPECT_EQ(lpfp.status, 143);
    EXPECT_FALSE(fs::exists(base + ".lpfp"));
    expectNoTemporaries();
}

// Several devices: the interrupted one stops before its next set; the summary and the JSON
// document still come out.
TEST_F(CliFaults, SeveralDevicesEachStopAtTheirOwnSafePointAndStillSumUp) {
    const std::string report = dir.file("line.json");
    const std::string states = "state=" + dir.file("s1") + "," + dir.file("s2") + "," + dir.file("s3");
    const CliResult r = runCli(
        {"--serial", "all", "--app_config", appDocument(), "--mc_config", mcDocument(), "--json", report},
        {{"VARKO5_SIMULATOR", "devices=3;" + states + ";signal_on=16;fault_device=1"},
         {"XDG_DATA_HOME", dataHome.string()}});
    EXPECT_EQ(r.status, 130) << r.out;
    EXPECT_THAT(r.out, HasSubstr("VK5SIM0002: [")) << r.out;
    EXPECT_TRUE(contains(normalisedLines(r.out), "[error] Interrupted"));
    EXPECT_THAT(r.out, HasSubstr("Summary:\n"));
    EXPECT_THAT(r.out, HasSubstr("\nVK5SIM0002  INTERRUPTED"));
    SimRecords second;
    ASSERT_TRUE(loadSimState(dir.file("s2"), second));
    EXPECT_EQ(second.app.controller_id, 9);
    EXPECT_NE(second.mc.si_motor_poles, 24);
    const json document = load(report);
    EXPECT_EQ(document["status"], 130);
    ASSERT_EQ(document["devices"].size(), 3u);
    EXPECT_EQ(document["devices"][1]["interrupted"], true);
    EXPECT_EQ(document["devices"][1]["records"]["mc"]["sent"], false);
    expectNoTemporaries();
}

// --json comes out whatever failed, as long as it can be written.
TEST_F(CliFaults, TheJsonDocumentComesOutWhenTheDeviceListCannotBeBuilt) {
    const std::string report = dir.file("r.json");
    const CliResult r = run({"--test", "--json", report}, "list_error=7");
    EXPECT_EQ(r.status, 1);
    ASSERT_TRUE(fs::exists(report)) << r.out;
    const json document = load(report);
    EXPECT_EQ(document["flow"], "test");
    EXPECT_EQ(document["status"], 1);
    EXPECT_EQ(document["ok"], false);
    EXPECT_EQ(document["error"], "Error: FT_CreateDeviceInfoList(...):  Status: 7");
}

// A named device that is not connected is trouble for a comparison, not a difference.
TEST_F(CliFaults, AnUnknownSerialInASeveralDeviceComparisonIsTrouble) {
    for (const std::vector<std::string>& flow :
         {std::vector<std::string>{"--changed"},
          std::vector<std::string>{"--diff", "device:default", "device:current"}}) {
        const std::string report = dir.file("r.json");
        std::vector<std::string> arguments{"--serial", "VK5SIM0001,NOSUCH", "--json", report};
        arguments.insert(arguments.end(), flow.begin(), flow.end());
        const CliResult r = run(arguments);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_THAT(r.err, HasSubstr("\nNOSUCH      TROUBLE"));
        const json document = load(report);
        EXPECT_EQ(document["status"], 2);
        EXPECT_EQ(document["ok"], false);
        ASSERT_EQ(document["devices"].size(), 2u);
        EXPECT_EQ(document["devices"][0]["ok"], true);
        EXPECT_EQ(document["devices"][1]["ok"], false);
        EXPECT_TRUE(document["devices"][1]["error"].is_string());
    }
}

} // namespace

namespace {

// ---- Options checked before any work ----------------------------------------------------------

TEST_F(CliFaults, JsonNamingAnInputOrAnOutputOfTheRunIsRefusedBeforeAnyDevice) {
    const std::string mc = mcDocument();
    const std::string before = readFileBytes(mc);
    const std::string base = dir.file("saved");
    const std::vector<std::vector<std::string>> commands{
        {"--mc_config", mc, "--json", mc},
        {"--mc_config", mc, "--json", dir.path().string() + "/./B.mc.xml"},
        {"--getConfig", "-o", base, "--json", base + ".mc.xml"},
        {"--diff", mc, "device:current", "--json", mc},
    };
    for (const auto& arguments : commands) {
        const CliResult r = run(arguments, UNTOUCHABLE);
        EXPECT_NE(r.status, 0) << arguments.back();
        ASSERT_FALSE(allLines(r).empty());
        EXPECT_EQ(allLines(r).back().rfind("[error] --json ", 0), 0u) << r.out;
        EXPECT_THAT(r.out, Not(HasSubstr("Device Number")));
        EXPECT_EQ(readFileBytes(mc), before);
    }
    EXPECT_FALSE(fs::exists(base + ".mc.xml"));
    // A hard link is the same file under another name.
    const std::string link = dir.file("link.json");
    fs::create_hard_link(mc, link);
    EXPECT_EQ(run({"--mc_config", mc, "--json", link}, UNTOUCHABLE).status, 1);
    EXPECT_EQ(readFileBytes(mc), before);
}

TEST_F(CliFaults, OutputsThatCannotBeWrittenAreRefusedBeforeAnyDeviceAndLeaveNothingBehind) {
    const std::string mc = mcDocument();
    const std::string missing = dir.file("no such folder/r.json");
    std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--mc_config", mc, "--json", missing},
         "[error] --json: Cannot write file " + missing + ": No such file or directory"},
        {{"--mc_config", mc, "--json", dir.path().string()},
         "[error] --json: Cannot write file " + dir.path().string() + ": Is a directory"},
        {{"--getDefaults", "-o", dir.file("no such folder/unit")},
         "[error] --output: Cannot write file " + dir.file("no such folder/unit") +
             ".app.xml: No such file or directory"},
        {{"--saveLpfp", dir.path().string()},
         "[error] --saveLpfp: Cannot write file " + dir.path().string() + ": Is a directory"},
    };
#ifndef _WIN32
    // A device that refuses every write (Windows has none).
    cases.push_back({{"--mc_config", mc, "--json", "/dev/full"},
                     "[error] --json: Cannot write file /dev/full: No space left on device"});
#endif
    const auto before = filesIn(dir.path());
    for (const auto& [arguments, message] : cases) {
        const CliResult r = run(arguments, UNTOUCHABLE);
        EXPECT_EQ(r.status, 1) << message;
        EXPECT_EQ(allLines(r), Lines{message}) << r.out;
    }
    EXPECT_EQ(filesIn(dir.path()), before);
    // A file that does not exist yet is created for the check and removed again.
    const std::string fresh = dir.file("fresh.json");
    const CliResult r = run({"--mc_config", mc, "--no_backup", "--json", fresh});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::is_regular_file(fresh));
}

TEST_F(CliFaults, EmptyValuesAreRefusedInEveryForm) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--serial", "", "--mc_config", "x.mc.xml"},
          {"--mc_config", ""},
          {"--lpfp_config", ""},
          {"--saveLpfp", ""},
          {"-o", "", "--getDefaults"},
          {"--json", "", "--test"},
          {"--backup_dir", "", "--test"},
          {"--diff", "a.xml", ""},
          {"--serial=", "--test"}}) {
        CommandLineOptions options;
        const auto error = parseCommandLine(arguments, options);
        ASSERT_TRUE(error) << arguments[0];
        const std::string name =
            arguments[0].back() == '=' ? arguments[0].substr(0, arguments[0].size() - 1) : arguments[0];
        EXPECT_THAT(*error, HasSubstr("The value of " + name + " is empty")) << arguments[0];
    }
    const CliResult r = run({"--serial", "", "--mc_config", mcDocument()}, UNTOUCHABLE);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error in command line: The value of --serial is empty\n" + TRY_HELP);
    EXPECT_EQ(r.out, "");
}

} // namespace
