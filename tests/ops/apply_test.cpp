// The verified apply as both programs run it: what it sends, what it reports step by step, and
// what its result says, against the simulated controller.

#include "core/ops/apply.h"

#include "core/config/config_xml.h"
#include "simulator/simulator.h"
#include "tests/device/device_test_util.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using ::testing::ElementsAre;

namespace {

// One step as the tests read it: step and record.
struct Seen {
    OpStep step;
    RecordKind record;
    bool operator==(const Seen& other) const { return step == other.step && record == other.record; }
};

class ApplyTest : public ::testing::Test {
protected:
    TempDir dir;
    const std::string statePath = dir.file("controller.state");
    std::vector<Seen> seen;
    std::vector<OpEvent> events;

    std::unique_ptr<ControllerSession> open(const std::string& extra = "") {
        backend = std::make_unique<SimBackend>("state=" + statePath + (extra.empty() ? "" : ";" + extra));
        simulatorForgetRecords();
        const auto nodes = enumerateDevices(**backend);
        auto session = std::make_unique<ControllerSession>(**backend, nodes.at(0), 0);
        session->link().setReplyTimeout(100);
        session->link().setQuietWindow(std::chrono::milliseconds(1));
        return session;
    }

    ProgressFn recorder() {
        return [this](const OpEvent& event) {
            seen.push_back({event.step, event.record});
            events.push_back(event);
        };
    }

    std::string write(const std::string& name, const std::string& text) const {
        const std::string path = dir.file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    SimRecords stored() const {
        SimRecords records;
        EXPECT_TRUE(loadSimState(statePath, records));
        return records;
    }

    std::string fewApp() const {
        return write("few.app.xml", "<APPConfiguration><controller_id>7</controller_id></APPConfiguration>");
    }
    std::string fewMc() const {
        return write("few.mc.xml", "<MCConfiguration><l_current_max>44</l_current_max>"
                                   "<si_motor_poles>20</si_motor_poles></MCConfiguration>");
    }

    std::unique_ptr<SimBackend> backend;
};

TEST_F(ApplyTest, XmlFilesAreLaidOverTheDefaultsSentAndVerifiedStepByStep) {
    auto session = open();
    const ApplyResult result = applyXmlFiles(*session, fewApp(), fewMc(), ApplyOptions{}, recorder());

    EXPECT_TRUE(result.ok());
    EXPECT_TRUE(result.error.empty());
    EXPECT_FALSE(result.backup);
    for (const RecordOutcome* outcome : {&result.app, &result.mc}) {
        EXPECT_TRUE(outcome->requested && outcome->sent && outcome->accepted() && outcome->verified);
        EXPECT_TRUE(outcome->differences.empty());
    }
    EXPECT_EQ(result.app.foundKeys, 1u);
    EXPECT_EQ(result.mc.foundKeys, 2u);
    const RecordKind A = RecordKind::App, M = RecordKind::Mc;
    EXPECT_THAT(seen, ElementsAre(Seen{OpStep::GettingDefaults, A}, Seen{OpStep::FileRead, A},
                                  Seen{OpStep::Sent, A}, Seen{OpStep::GettingReadBack, A},
                                  Seen{OpStep::Validating, A}, Seen{OpStep::Validated, A},
                                  Seen{OpStep::GettingDefaults, M}, Seen{OpStep::FileRead, M},
                                  Seen{OpStep::Sent, M}, Seen{OpStep::GettingReadBack, M},
                                  Seen{OpStep::Validating, M}, Seen{OpStep::Validated, M}));
    EXPECT_EQ(events[1].keys, 1u);
    EXPECT_EQ(stored().app.controller_id, 7);
    EXPECT_EQ(stored().mc.si_motor_poles, 20);
    EXPECT_FLOAT_EQ(stored().mc.l_current_max, 44.0f);
}

TEST_F(ApplyTest, AReadBackThatDiffersNamesTheFieldWithBothValuesAndStopsUnderTheStrictPolicy) {
    auto session = open("fault=change_on_write");
    const ApplyResult result = applyXmlFiles(*session, fewApp(), fewMc(), ApplyOptions{}, recorder());

    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.app.accepted());
    EXPECT_FALSE(result.app.verified);
    ASSERT_EQ(result.app.differences.size(), 1u);
    EXPECT_EQ(result.app.differences[0].key, "app_ppm_conf.hyst");
    EXPECT_NE(result.app.differences[0].left, result.app.differences[0].right);
    EXPECT_FALSE(result.mc.requested) << "nothing is sent after a failed verification";
    EXPECT_EQ(seen.back(), (Seen{OpStep::Differs, RecordKind::App}));
    EXPECT_EQ(events.back().differences.size(), 1u);
}

TEST_F(ApplyTest, TheLpfpApplyAttemptsTheMotorRecordWhateverBecameOfTheApplicationRecord) {
    auto session = open("fault=change_on_write;fault_on=16");
    const std::string lpfp = dir.file("pair.lpfp");
    LpfpConfiguration pair{simulatorDefaultAppConfig(), simulatorDefaultMcConfig()};
    pair.mc.si_motor_poles = 20;
    writeLpfpFile(pair, lpfp);
    ApplyOptions options;
    options.policy = FailurePolicy::AttemptEveryRecord;
    const ApplyResult result = applyLpfpFile(*session, lpfp, options, recorder());

    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.app.verified);
    EXPECT_TRUE(result.mc.verified);
    EXPECT_EQ(result.app.foundKeys + result.mc.foundKeys, events.at(2).keys);
    EXPECT_GT(result.mc.foundKeys, 100u);
    EXPECT_EQ(stored().mc.si_motor_poles, 20);
}

TEST_F(ApplyTest, ARefusedRecordDoesNotKeepTheNextFromBeingSent) {
    auto session = open("fault=set_refused;fault_on=16");
    const ApplyResult result = applyXmlFiles(*session, fewApp(), fewMc(), ApplyOptions{}, recorder());

    EXPECT_TRUE(result.app.sent);
    EXPECT_FALSE(result.app.accepted());
    EXPECT_TRUE(result.mc.verified);
    EXPECT_FALSE(result.ok());
    EXPECT_NE(stored().app.controller_id, 7);
    EXPECT_EQ(stored().mc.si_motor_poles, 20);
}

TEST_F(ApplyTest, ASilentControllerEndsTheApplyWithTheTimeOutText) {
    auto session = open("fault=silent_controller;fault_on=18");
    const ApplyResult result = applyXmlFiles(*session, fewApp(), fewMc(), ApplyOptions{}, recorder());

    EXPECT_EQ(result.error, TIMED_OUT_TEXT);
    EXPECT_EQ(result.app.error, TIMED_OUT_TEXT);
    EXPECT_FALSE(result.app.sent);
    EXPECT_FALSE(result.mc.requested);
    EXPECT_EQ(seen.back(), (Seen{OpStep::Failed, RecordKind::App}));
    EXPECT_FALSE(result.ok());
}

TEST_F(ApplyTest, ABackupComesFirstAndOneThatCannotBeWrittenMeansNothingIsSent) {
    auto session = open();
    ApplyOptions options;
    options.backup = BackupSettings{true, (dir.path() / "backups").string()};
    const ApplyResult saved = applyXmlFiles(*session, fewApp(), {}, options, recorder());
    ASSERT_TRUE(saved.ok());
    ASSERT_TRUE(saved.backup);
    EXPECT_TRUE(fs::is_regular_file(*saved.backup));
    EXPECT_EQ(seen.front().step, OpStep::BackupSaved);
    EXPECT_EQ(events.front().text, saved.backup->string());
    LpfpConfiguration backup;
    std::uint64_t keys = 0;
    ASSERT_TRUE(readLpfpFile(backup, saved.backup->string(), keys));
    EXPECT_NE(backup.app.controller_id, 7) << "the backup holds the records from before the write";

    seen.clear();
    const std::string blocker = write("not-a-folder", "x");
    options.backup = BackupSettings{true, blocker};
    const ApplyResult refused = applyXmlFiles(*session, {}, fewMc(), options, recorder());
    EXPECT_FALSE(refused.ok());
    EXPECT_FALSE(refused.error.empty());
    EXPECT_FALSE(refused.mc.sent);
    EXPECT_THAT(seen, ElementsAre(Seen{OpStep::BackupFailed, RecordKind::None}));
    EXPECT_NE(stored().mc.si_motor_poles, 20);
}

TEST_F(ApplyTest, WholeRecordsAreSentWithoutDefaultsUnderThem) {
    auto session = open();
    APPConfiguration app = simulatorDefaultAppConfig();
    app.controller_id = 99;
    const ApplyResult result = applyRecords(*session, app, std::nullopt, ApplyOptions{}, recorder());
    EXPECT_TRUE(result.ok());
    EXPECT_TRUE(result.app.verified);
    EXPECT_FALSE(result.mc.requested);
    EXPECT_EQ(seen.front(), (Seen{OpStep::Sent, RecordKind::App}));
    EXPECT_EQ(stored().app.controller_id, 99);
}

TEST_F(ApplyTest, TheSessionIdentifiesTheControllerAndGatesWriting) {
    auto session = open("fw=5.1;chipid=0x12345678");
    EXPECT_EQ(session->chipId(), 0x12345678u);
    const FirmwareVersion& version = session->identify();
    EXPECT_TRUE(version.valid);
    EXPECT_EQ(version.minor, 1);
    EXPECT_FALSE(session->writable());
    EXPECT_TRUE(ControllerSession::supportsWriting(FirmwareVersion{5, 2, true}));
    EXPECT_FALSE(ControllerSession::supportsWriting(FirmwareVersion{5, 2, false}));
    EXPECT_EQ(session->serial(), "VK5SIM0001");
}

TEST_F(ApplyTest, ValuesTheControllerCannotTakeMeanNothingIsSentOrBackedUp) {
    auto session = open();
    const std::string badApp = write("bad.app.xml", "<APPConfiguration><controller_id>270</controller_id>"
                                                    "<timeout_brake_current>nan</timeout_brake_current>"
                                                    "<app_to_use> 2 </app_to_use></APPConfiguration>");
    ApplyOptions options;
    options.backup = BackupSettings{true, (dir.path() / "backups").string()};
    // The motor document is fine, but it is not sent either: the apply is one request.
    const ApplyResult result = applyXmlFiles(*session, badApp, fewMc(), options, recorder());

    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, "Nothing was sent: " + badApp +
                                " holds values the controller cannot take\n"
                                "controller_id: \"270\" (allowed: a whole number from 0 to 255)\n"
                                "timeout_brake_current: \"nan\" (allowed: a decimal number from "
                                "-3.4028235e+38 to 3.4028235e+38)");
    ASSERT_EQ(result.refusedValues.size(), 2u);
    EXPECT_EQ(result.refusedValues[0].key, "controller_id");
    EXPECT_THAT(seen, ElementsAre(Seen{OpStep::ValuesRefused, RecordKind::App}));
    EXPECT_EQ(events[0].text, badApp);
    EXPECT_EQ(events[0].violations.size(), 2u);
    EXPECT_FALSE(result.app.sent);
    EXPECT_FALSE(result.mc.sent);
    EXPECT_FALSE(result.backup);
    EXPECT_FALSE(fs::exists(dir.path() / "backups"));
    EXPECT_FALSE(fs::exists(statePath)) << "the controller stored nothing";

    // Both documents refused: each is reported, application first.
    seen.clear();
    const std::string badMc =
        write("bad.mc.xml", "<MCConfiguration><lo_current_max>4.5</lo_current_max>"
                            "<bms.t_limit_start>400</bms.t_limit_start></MCConfiguration>");
    const ApplyResult both = applyXmlFiles(*session, badApp, badMc, ApplyOptions{}, recorder());
    EXPECT_THAT(seen, ElementsAre(Seen{OpStep::ValuesRefused, RecordKind::App},
                                  Seen{OpStep::ValuesRefused, RecordKind::Mc}));
    EXPECT_EQ(both.refusedValues.size(), 4u);
    EXPECT_NE(both.error.find("\nNothing was sent: " + badMc +
                              " holds values the controller cannot take\n"
                              "lo_current_max: \"4.5\" (allowed: 0 or no element, since the controller does "
                              "not keep this value)\nbms.t_limit_start: \"400\" (allowed: a decimal number "
                              "from -327.68 to 327.67)"),
              std::string::npos)
        << both.error;
    EXPECT_FALSE(fs::exists(statePath));
}

TEST_F(ApplyTest, AnLpfpFileWithValuesTheControllerCannotTakeIsNotSent) {
    auto session = open();
    LpfpConfiguration pair{simulatorDefaultAppConfig(), simulatorDefaultMcConfig()};
    std::string plain = buildLpfpText(pair);
    auto replaceValue = [&](const std::string& key, const std::string& text) {
        const std::string open = "<" + key + ">";
        const std::size_t at = plain.find(open) + open.size();
        plain.replace(at, plain.find('<', at) - at, text);
    };
    replaceValue("app_ppm_conf.median_filter", "true");
    replaceValue("si_battery_cells", "300");
    const std::string lpfp = write("bad.lpfp", encodeLpfp(plain));

    const ApplyResult result = applyLpfpFile(*session, lpfp, ApplyOptions{}, recorder());
    EXPECT_FALSE(result.ok());
    EXPECT_THAT(seen, ElementsAre(Seen{OpStep::ValuesRefused, RecordKind::None}));
    EXPECT_EQ(result.error, "Nothing was sent: " + lpfp +
                                " holds values the controller cannot take\n"
                                "app_ppm_conf.median_filter: \"true\" (allowed: 0 or 1)\n"
                                "si_battery_cells: \"300\" (allowed: a whole number from 0 to 255)");
    EXPECT_FALSE(fs::exists(statePath));

    // Read once from a pipe, the same file applies when its values are right.
    seen.clear();
    const ApplyResult good = applyLpfpInput(*session, ApplyInput{"piped", encodeLpfp(buildLpfpText(pair))},
                                            ApplyOptions{}, recorder());
    EXPECT_TRUE(good.ok()) << good.error;
    EXPECT_EQ(seen.front(), (Seen{OpStep::GettingDefaults, RecordKind::App}));
}

TEST_F(ApplyTest, ADamagedLpfpFileFailsBeforeTheControllerIsAsked) {
    auto session = open();
    LpfpConfiguration pair{simulatorDefaultAppConfig(), simulatorDefaultMcConfig()};
    const std::string lpfp = write("near.lpfp", encodeLpfp(buildLpfpText(pair)) + "\n");
    const ApplyResult result = applyLpfpFile(*session, lpfp, ApplyOptions{}, recorder());
    EXPECT_EQ(result.error, "Checksum Fail\nLikely cause: a line break after the checksum (the file must end "
                            "with its four checksum digits)");
    EXPECT_THAT(seen, ElementsAre(Seen{OpStep::Failed, RecordKind::None}));

    // What is no file at all is refused by what it is.
    seen.clear();
    const ApplyResult folder = applyLpfpFile(*session, dir.path().string(), ApplyOptions{}, recorder());
    EXPECT_EQ(folder.error, "Cannot read file " + dir.path().string() + ": it is a folder");
    EXPECT_THAT(seen, ElementsAre(Seen{OpStep::Failed, RecordKind::None}));
    EXPECT_FALSE(fs::exists(statePath));
}

TEST_F(ApplyTest, WholeRecordsPassTheSameValueCheck) {
    auto session = open();
    MCConfiguration mc = simulatorDefaultMcConfig();
    mc.lo_in_current_max = 3.0f; // never stored by the controller: the read-back could not match
    const ApplyResult result = applyRecords(*session, std::nullopt, mc, ApplyOptions{}, recorder());
    EXPECT_FALSE(result.ok());
    EXPECT_THAT(seen, ElementsAre(Seen{OpStep::ValuesRefused, RecordKind::Mc}));
    EXPECT_EQ(result.error, "Nothing was sent: the MCConfiguration record holds values the controller cannot "
                            "take\nlo_in_current_max: \"3\" (allowed: 0 or no element, since the controller "
                            "does not keep this value)");
    EXPECT_FALSE(fs::exists(statePath));
}

} // namespace

namespace {

// Every fault behind which the controller stores the record although its answer to the set
// cannot be read.
const char* const kUnreadableAnswers[] = {"odd_start", "huge_length", "truncated_reply", "stray_bytes"};

} // namespace

TEST_F(ApplyTest, AnUnreadableAnswerToASetLetsTheReadBackDecide) {
    for (const char* fault : kUnreadableAnswers) {
        SCOPED_TRACE(fault);
        seen.clear();
        events.clear();
        backend.reset();
        fs::remove(statePath);
        auto session = open(std::string("fault=") + fault + ";fault_on=13");
        const ApplyResult result = applyXmlFiles(*session, fewApp(), fewMc(), ApplyOptions{}, recorder());

        EXPECT_TRUE(result.ok()) << result.error;
        ASSERT_TRUE(result.mc.answer);
        EXPECT_EQ(result.mc.answer->answer, SetAnswer::Unreadable);
        EXPECT_FALSE(result.mc.answer->detail.empty());
        EXPECT_FALSE(result.mc.accepted());
        EXPECT_FALSE(result.mc.rejected());
        EXPECT_TRUE(result.mc.verified);
        EXPECT_EQ(stored().mc.si_motor_poles, 20);
        const RecordKind M = RecordKind::Mc;
        EXPECT_THAT(std::vector<Seen>(seen.end() - 4, seen.end()),
                    ElementsAre(Seen{OpStep::AnswerUnreadable, M}, Seen{OpStep::GettingReadBack, M},
                                Seen{OpStep::Validating, M}, Seen{OpStep::Validated, M}));
        EXPECT_EQ(events[events.size() - 4].text, result.mc.answer->detail);
    }
}

TEST_F(ApplyTest, AnUnreadableAnswerWhoseRecordWasNotStoredShowsTheDifferences) {
    // The bridge's acknowledge is damaged and the frame never reaches the controller.
    auto session = open("fault=ack_garbled;fault_on=16");
    const ApplyResult result = applyXmlFiles(*session, fewApp(), fewMc(), ApplyOptions{}, recorder());

    EXPECT_FALSE(result.ok());
    ASSERT_TRUE(result.app.answer);
    EXPECT_EQ(result.app.answer->answer, SetAnswer::Unreadable);
    EXPECT_EQ(result.app.answer->detail, "the bridge's acknowledge was not readable (0x3C 0x07 0x07)");
    ASSERT_EQ(result.app.differences.size(), 1u);
    EXPECT_EQ(result.app.differences[0].key, "controller_id");
    EXPECT_EQ(result.app.differences[0].left, "7");
    EXPECT_FALSE(result.mc.requested) << "a difference stops the strict apply as always";
}

TEST_F(ApplyTest, ABridgeThatDoesNotPassTheSetOnIsNotARefusalAndNothingIsReadBack) {
    auto session = open("fault=ack_failed;fault_on=16");
    const ApplyResult result = applyXmlFiles(*session, fewApp(), fewMc(), ApplyOptions{}, recorder());

    ASSERT_TRUE(result.app.answer);
    EXPECT_EQ(result.app.answer->answer, SetAnswer::NotAcknowledged);
    EXPECT_EQ(result.app.answer->detail, "ResponseType::FAILED");
    EXPECT_TRUE(result.app.rejected());
    EXPECT_TRUE(result.app.differences.empty());
    EXPECT_TRUE(result.mc.verified) << "the next record is still sent";
    const auto notAcknowledged =
        std::find(seen.begin(), seen.end(), Seen{OpStep::NotAcknowledged, RecordKind::App});
    ASSERT_NE(notAcknowledged, seen.end());
    EXPECT_EQ(*(notAcknowledged + 1), (Seen{OpStep::GettingDefaults, RecordKind::Mc}));
}

// A stop request is looked at before each record: the record in progress is sent and read back
// whole, the next is not sent, and the result says so.
TEST_F(ApplyTest, AStopRequestEndsTheApplyBeforeTheNextRecord) {
    std::atomic<int> stop{0};
    ApplyOptions options;
    options.backup = BackupSettings{true, (dir.path() / "backups").string()};
    options.cancel = Cancellation(stop);
    auto session = open();
    const ProgressFn record = recorder();
    const ApplyResult result = applyXmlFiles(*session, fewApp(), fewMc(), options, [&](const OpEvent& event) {
        record(event);
        if (event.step == OpStep::Sent)
            stop = 2; // as a signal would, while the application record is on its way
    });

    EXPECT_TRUE(result.interrupted);
    EXPECT_EQ(result.error, "Interrupted");
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.app.verified) << "the read-back of the record in progress is not cut off";
    EXPECT_TRUE(result.mc.requested);
    EXPECT_FALSE(result.mc.sent);
    EXPECT_TRUE(result.backup);
    EXPECT_EQ(seen.back(), (Seen{OpStep::Interrupted, RecordKind::None}));
    EXPECT_EQ(stored().app.controller_id, 7);
    EXPECT_NE(stored().mc.si_motor_poles, 20);

    // Requested before anything starts: nothing is read, backed up or sent.
    seen.clear();
    session.reset();
    backend.reset();
    auto again = open();
    const ApplyResult none = applyXmlFiles(*again, fewApp(), fewMc(), options, recorder());
    EXPECT_TRUE(none.interrupted);
    EXPECT_FALSE(none.backup);
    EXPECT_FALSE(none.app.sent);
    EXPECT_FALSE(none.mc.sent);
    EXPECT_THAT(seen, ElementsAre(Seen{OpStep::Interrupted, RecordKind::None}));

    // The same for whole records and for an LPFP file.
    const ApplyResult records =
        applyRecords(*again, simulatorDefaultAppConfig(), simulatorDefaultMcConfig(), options, {});
    EXPECT_TRUE(records.interrupted && records.app.requested && records.mc.requested);
    EXPECT_FALSE(records.app.sent || records.mc.sent);
    const std::string lpfp = dir.file("pair.lpfp");
    writeLpfpFile(LpfpConfiguration{simulatorDefaultAppConfig(), simulatorDefaultMcConfig()}, lpfp);
    const ApplyResult file = applyLpfpFile(*again, lpfp, options, {});
    EXPECT_TRUE(file.interrupted);
    EXPECT_FALSE(file.app.sent || file.mc.sent);
}
