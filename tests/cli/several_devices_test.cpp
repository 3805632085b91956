// One command for a line of controllers: --serial with a list or "all", every device at once,
// lines that name their device, a closing summary, per-device output names and the JSON
// document, as a script sees them.

#include "cli/several_devices.h"

#include "core/config/config_xml.h"
#include "simulator/simulator.h"
#include "tests/support/cli_process.h"
#include "tests/support/schema_check.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::HasSubstr;

namespace {

const std::vector<std::string> kSerials = {"VK5SIM0001", "VK5SIM0002", "VK5SIM0003"};

class SeveralDevices : public ::testing::Test {
protected:
    TempDir dir;
    const fs::path dataHome = dir.path() / "data";

    std::string states() const {
        return "state=" + dir.file("s1") + "," + dir.file("s2") + "," + dir.file("s3");
    }
    CliResult run(const std::vector<std::string>& arguments, const std::string& extra = "") const {
        return runCli(arguments,
                      {{"VARKO5_SIMULATOR", "devices=3;" + states() + (extra.empty() ? "" : ";" + extra)},
                       {"XDG_DATA_HOME", dataHome.string()}});
    }
    SimRecords stored(int device) const {
        SimRecords records;
        EXPECT_TRUE(loadSimState(dir.file("s" + std::to_string(device + 1)), records));
        return records;
    }
    std::string appDocument() const {
        const std::string path = dir.file("few.app.xml");
        writeFileBytes(path, "<APPConfiguration><controller_id>9</controller_id></APPConfiguration>");
        return path;
    }
    std::string mcDocument() const {
        const std::string path = dir.file("few.mc.xml");
        writeFileBytes(path, "<MCConfiguration><si_motor_poles>24</si_motor_poles></MCConfiguration>");
        return path;
    }

    // The summary rows after the "Summary:" line and its header.
    static std::vector<std::string> summaryRows(const std::string& out) {
        const auto at = out.find("Summary:\n");
        if (at == std::string::npos)
            return {};
        std::vector<std::string> rows;
        std::istringstream lines(out.substr(at));
        std::string line;
        std::getline(lines, line);
        std::getline(lines, line);
        while (std::getline(lines, line))
            rows.push_back(line);
        return rows;
    }

    // Every line before the summary names its device.
    static void expectEveryLineNamesItsDevice(const std::string& out) {
        std::istringstream lines(out.substr(0, out.find("Summary:\n")));
        std::string line;
        while (std::getline(lines, line)) {
            const bool named = std::any_of(kSerials.begin(), kSerials.end(), [&](const std::string& s) {
                return line.rfind(s + ": ", 0) == 0;
            });
            EXPECT_TRUE(named) << line;
        }
    }

    // Validates a document against the published schema (python3-jsonschema).
    static void expectValidAgainstSchema(const std::string& documentPath) {
        expectFollowsSchema(documentPath, "lpfp_cli-result.schema.json");
    }

    static json load(const std::string& path) { return json::parse(readFileBytes(path)); }
};

TEST_F(SeveralDevices, AllSucceedingEveryDeviceIsWrittenVerifiedAndBackedUp) {
    const std::string report = dir.file("line.json");
    const CliResult r = run(
        {"--serial", "all", "--app_config", appDocument(), "--mc_config", mcDocument(), "--json", report});
    ASSERT_EQ(r.status, 0) << r.out;
    expectEveryLineNamesItsDevice(r.out);
    const auto rows = summaryRows(r.out);
    ASSERT_EQ(rows.size(), 3u) << r.out;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i].rfind(kSerials[i] + "  OK", 0), 0u) << rows[i];
        EXPECT_EQ(stored(i).app.controller_id, 9);
        EXPECT_EQ(stored(i).mc.si_motor_poles, 24);
        EXPECT_THAT(r.out, HasSubstr(kSerials[i] + ": [")) << "log lines name their device too";
    }

    expectValidAgainstSchema(report);
    const json document = load(report);
    EXPECT_EQ(document["tool"], "lpfp_cli");
    EXPECT_EQ(document["flow"], "setConfig");
    EXPECT_TRUE(document["ok"]);
    ASSERT_EQ(document["devices"].size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const json& device = document["devices"][i];
        EXPECT_EQ(device["serial"], kSerials[i]);
        EXPECT_TRUE(device["ok"]);
        EXPECT_TRUE(device["error"].is_null());
        ASSERT_TRUE(device["backup"].is_string());
        EXPECT_TRUE(fs::is_regular_file(device["backup"].get<std::string>()));
        EXPECT_THAT(rows[i], HasSubstr(device["backup"].get<std::string>()));
        for (const char* record : {"app", "mc"}) {
            EXPECT_EQ(device["records"][record]["found_keys"], 1);
            EXPECT_TRUE(device["records"][record]["verified"]);
        }
    }
}

TEST_F(SeveralDevices, OneRefusingItsRecordFailsAloneAndTheRestFinish) {
    const std::string report = dir.file("line.json");
    const CliResult r = run({"--serial", "all", "--app_config", appDocument(), "--json", report},
                            "fault=set_refused;fault_device=1;fault_on=16");
    EXPECT_EQ(r.status, 1) << r.out;
    const auto rows = summaryRows(r.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_THAT(rows[1], HasSubstr("FAILED"));
    EXPECT_THAT(rows[0], HasSubstr("OK"));
    EXPECT_THAT(rows[2], HasSubstr("OK"));
    EXPECT_EQ(stored(0).app.controller_id, 9);
    EXPECT_FALSE(fs::exists(dir.file("s2"))) << "the refusing controller stored nothing";
    EXPECT_EQ(stored(2).app.controller_id, 9);

    expectValidAgainstSchema(report);
    const json refused = load(report)["devices"][1];
    EXPECT_FALSE(refused["ok"]);
    EXPECT_EQ(refused["error"], "App Configuration was not accepted by the controller");
    EXPECT_TRUE(refused["records"]["app"]["sent"]);
    EXPECT_FALSE(refused["records"]["app"]["accepted"]);
    EXPECT_FALSE(load(report)["ok"]);
}

TEST_F(SeveralDevices, AReadBackThatDiffersIsListedFieldByField) {
    const std::string report = dir.file("line.json");
    const CliResult r = run({"--serial", "VK5SIM0003", "--app_config", appDocument(), "--json", report},
                            "fault=change_on_write");
    EXPECT_EQ(r.status, 1);
    expectValidAgainstSchema(report);
    const json device = load(report)["devices"][0];
    EXPECT_EQ(device["serial"], "VK5SIM0003");
    // The flow's own words for the failure, as the log line says it.
    EXPECT_THAT(r.out, HasSubstr("[error] App Configuration validation FAILED\n"));
    EXPECT_EQ(device["error"], "App Configuration validation FAILED");
    const json& differences = device["records"]["app"]["differences"];
    ASSERT_EQ(differences.size(), 1u);
    EXPECT_EQ(differences[0]["key"], "app_ppm_conf.hyst");
    EXPECT_NE(differences[0]["sent"], differences[0]["read_back"]);
}

TEST_F(SeveralDevices, TheJsonErrorIsTheFlowsReasonNotTheFirstLoggedError) {
    const std::string report = dir.file("one.json");
    const CliResult r = run({"--serial", "VK5SIM0002", "--app_config", appDocument(), "--json", report},
                            "fault=bad_crc;fault_on=14");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("[error] Invalid CRC: "));
    expectValidAgainstSchema(report);
    const json device = load(report)["devices"][0];
    EXPECT_EQ(device["error"], "Backup failed, nothing was sent: Reply from controller failed its CRC check");

    const CliResult invalid = run({"--serial", "VK5SIM0002", "--app_config", mcDocument(), "--json", report});
    EXPECT_EQ(invalid.status, 1);
    EXPECT_EQ(load(report)["error"], "Not a valid APPConfiguration XML file");
    EXPECT_TRUE(load(report)["devices"].empty());
}

TEST_F(SeveralDevices, ReadingFlowsNameTheirOutputsAfterEachDevice) {
    const std::string base = dir.file("cur");
    const CliResult xml = run({"--serial", "VK5SIM0001,VK5SIM0003", "--getConfig", "-o", base});
    ASSERT_EQ(xml.status, 0) << xml.out;
    for (const char* serial : {"VK5SIM0001", "VK5SIM0003"}) {
        EXPECT_TRUE(fs::exists(base + "-" + serial + ".app.xml"));
        EXPECT_TRUE(fs::exists(base + "-" + serial + ".mc.xml"));
    }
    EXPECT_FALSE(fs::exists(base + "-VK5SIM0002.app.xml"));
    EXPECT_FALSE(fs::exists(base + ".app.xml"));

    const CliResult lpfp = run({"--serial", "all", "--saveLpfp", dir.file("line.lpfp"), "--getDefaults"});
    ASSERT_EQ(lpfp.status, 0) << lpfp.out;
    for (const std::string& serial : kSerials)
        EXPECT_TRUE(fs::exists(dir.file("line-" + serial + ".lpfp"))) << serial;
    EXPECT_FALSE(fs::exists(dir.file("line.lpfp")));
}

TEST_F(SeveralDevices, ASerialNumberThatIsNotConnectedFailsAloneAndNothingElseStops) {
    const CliResult r = run({"--serial", "VK5SIM0002,NOPE", "--getConfig", "-o", dir.file("c")});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("NOPE: "));
    EXPECT_THAT(r.out, HasSubstr("No device with serial number NOPE"));
    EXPECT_TRUE(fs::exists(dir.file("c-VK5SIM0002.app.xml")));
    const auto rows = summaryRows(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_THAT(rows[1], HasSubstr("FAILED"));
}

TEST_F(SeveralDevices, ComparisonsSayAllTheSameAnyDifferentOrTrouble) {
    EXPECT_EQ(run({"--serial", "all", "--changed"}).status, 0);

    // One controller whose current record differs from its defaults.
    ASSERT_EQ(run({"--serial", "VK5SIM0002", "--app_config", appDocument(), "--no_backup"}).status, 0);
    const std::string report = dir.file("diff.json");
    const CliResult different = run({"--serial", "all", "--changed", "--json", report});
    EXPECT_EQ(different.status, 1) << different.err;
    // A comparison's summary is report, on standard error; the differences are its data.
    EXPECT_THAT(summaryRows(different.err)[1], HasSubstr("DIFFERENT"));
    EXPECT_EQ(different.out, "VK5SIM0002: APPConfiguration controller_id: " +
                                 std::to_string(simulatorDefaultAppConfig().controller_id) + " -> 9\n");
    expectValidAgainstSchema(report);
    const json device = load(report)["devices"][1];
    EXPECT_TRUE(device["ok"]);
    EXPECT_FALSE(device["same"]);
    ASSERT_EQ(device["differences"].size(), 1u);
    EXPECT_EQ(device["differences"][0]["key"], "controller_id");

    EXPECT_EQ(run({"--serial", "all", "--changed"}, "fault=bad_crc;fault_device=2").status, 2);
}

TEST_F(SeveralDevices, TheJsonDocumentOnStandardOutputSendsTheReportToStandardError) {
    const CliResult r = run({"--serial", "VK5SIM0001", "--test", "--json", "-"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json document = json::parse(r.out);
    EXPECT_EQ(document["flow"], "test");
    EXPECT_EQ(document["devices"][0]["serial"], "VK5SIM0001");
    EXPECT_THAT(r.err, HasSubstr("Major: 5"));
    EXPECT_THAT(r.err, HasSubstr("Device Description: "));

    // A comparison of files alone has no device; its outcome stands at the top.
    const std::string app = dir.file("a.app.xml");
    writeFileBytes(app, appConfigToXml(simulatorDefaultAppConfig()));
    const std::string report = dir.file("files.json");
    const CliResult files = run({"--diff", app, appDocument(), "--json", report});
    EXPECT_EQ(files.status, 1);
    expectValidAgainstSchema(report);
    const json top = load(report);
    EXPECT_TRUE(top["devices"].empty());
    EXPECT_FALSE(top["same"]);
    EXPECT_EQ(top["status"], 1);
}

TEST_F(SeveralDevices, ADocumentThatCannotBeWrittenFailsTheCommand) {
    const CliResult r = run({"--serial", "VK5SIM0001", "--test", "--json", dir.file("missing/r.json")});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("missing/r.json"));
}

#ifdef LPFP_SIM_PATH // pseudo-terminals: POSIX only
TEST_F(SeveralDevices, AnUnpluggedBridgeFailsAloneOverPseudoTerminals) {
    SimulatorOnTerminal first(LPFP_SIM_PATH, "latency=5");
    auto second = std::make_unique<SimulatorOnTerminal>(LPFP_SIM_PATH, "latency=400");
    const std::string serialFirst = "pts" + fs::path(first.path()).filename().string();
    const std::string serialSecond = "pts" + fs::path(second->path()).filename().string();
    CliChild child = startCli(
        {"--serial", "all", "--getConfig", "-o", dir.file("u")},
        {{"VARKO5_PORTS", first.path() + ":" + second->path()}, {"XDG_DATA_HOME", dataHome.string()}});
    // Pull the second bridge once its controller has started answering.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline &&
           readFileBytes(child.captures->file("stdout")).find(serialSecond + ": Major: 5") ==
               std::string::npos)
        std::this_thread::sleep_for(
            std::chrono::milliseconds(2)); // polling the child's output, not a fixed wait
    second.reset();
    const CliResult r = finishCli(child);
    EXPECT_EQ(r.status, 1) << r.out;
    const auto rows = summaryRows(r.out);
    ASSERT_EQ(rows.size(), 2u) << r.out;
    EXPECT_THAT(rows[0], HasSubstr("OK"));
    EXPECT_THAT(rows[1], HasSubstr("FAILED"));
    EXPECT_TRUE(fs::exists(dir.file("u-" + serialFirst + ".app.xml")));
    EXPECT_FALSE(fs::exists(dir.file("u-" + serialSecond + ".app.xml")));
}
#endif

TEST(SeveralDeviceNames, ListsOutputNamesAndCombinedStatus) {
    EXPECT_TRUE(namesSeveralDevices("all"));
    EXPECT_TRUE(namesSeveralDevices("A,B"));
    EXPECT_FALSE(namesSeveralDevices("A"));
    EXPECT_FALSE(namesSeveralDevices(""));
    EXPECT_EQ(serialList(" A , B,A"), (std::vector<std::string>{"A", "B"}));
    EXPECT_THROW(serialList("A,,B"), std::invalid_argument);
    EXPECT_THROW(serialList("A,"), std::invalid_argument);

    EXPECT_EQ(basenameForDevice("out/cur", "VK5"), "out/cur-VK5");
    EXPECT_EQ(basenameForDevice("cur", "a/b"), "cur-a_b");
    EXPECT_EQ(lpfpNameForDevice("line.lpfp", "VK5"), "line-VK5.lpfp");
    EXPECT_EQ(lpfpNameForDevice("line.LPFP", "VK5"), "line-VK5.lpfp");
    EXPECT_EQ(lpfpNameForDevice("line", "VK5"), "line-VK5.lpfp");

    const auto reports = [](std::initializer_list<int> statuses) {
        std::vector<FlowResult> list;
        for (int status : statuses) {
            FlowResult flowResult;
            flowResult.status = status;
            list.push_back(flowResult);
        }
        return list;
    };
    EXPECT_EQ(combinedStatus(reports({0, 0}), false), 0);
    EXPECT_EQ(combinedStatus(reports({0, 1}), false), 1);
    EXPECT_EQ(combinedStatus(reports({}), false), 1);
    EXPECT_EQ(combinedStatus(reports({0, 1, 0}), true), 1);
    EXPECT_EQ(combinedStatus(reports({1, 2}), true), 2);
}

} // namespace
