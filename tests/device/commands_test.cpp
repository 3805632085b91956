// The controller commands against the simulated controller and each of its faults.

#include "device_test_util.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include "core/config/config_codec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using spdlog::level::debug;
using spdlog::level::err;
using spdlog::level::info;
using spdlog::level::trace;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

class Commands : public ::testing::Test {
protected:
    void SetUp() override { simulatorForgetRecords(); }
    void TearDown() override { simulatorForgetRecords(); }
};

Bytes requestFrame(std::uint8_t command) {
    const Bytes p = packet({command});
    Bytes out(p.size() + 5);
    out.resize(generateVarko5Message(messageType::ARM_MESSAGE, p.data(), p.size(), out.data()));
    return out;
}

// Calls a reading command and returns the message it throws ("" when it does not throw).
std::string thrownBy(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

TEST_F(Commands, VersionRequestBytesAndResult) {
    SimSession s("");
    LogCapture log(trace);
    const FirmwareVersion version = s.link.ARM_getVersion();
    EXPECT_TRUE(version.valid);
    EXPECT_EQ(version.major, 5);
    EXPECT_EQ(version.minor, 2);
    EXPECT_EQ(s.sim().received(), (Bytes{0xC3, 0x07, 0x00, 0x06, 0x02, 0x01, 0x00, 0x00, 0x00, 0x03, 0xC2}));
    EXPECT_EQ(log.texts(trace).front(), "BEGIN ARM_getVersion()");
    EXPECT_EQ(log.texts(trace).back(), "END ARM_getVersion()");
    EXPECT_THAT(log.texts(debug), ElementsAre("COMM_FW_VERSION received"));
}

TEST_F(Commands, VersionPerDeviceAndAfterLatency) {
    SimSession second("devices=2;fw=5.2,5.3;latency=150", 1);
    const FirmwareVersion version = second.link.ARM_getVersion();
    EXPECT_TRUE(version.valid);
    EXPECT_EQ(version.minor, 3);
}

TEST_F(Commands, VersionReplyLengths) {
    {
        SimSession s("fault=short_version");
        LogCapture log(trace);
        const FirmwareVersion version = s.link.ARM_getVersion();
        EXPECT_FALSE(version.valid);
        EXPECT_EQ(version.major, 0);
        EXPECT_EQ(version.minor, 0);
        EXPECT_THAT(log.texts(trace), Contains("getARM_Message - return value 20.  Expected 19"));
        EXPECT_EQ(log.texts(trace).back(), "END ARM_getVersion()");
    }
    {
        // A 19-byte reply (older firmware layout) is accepted too.
        SimSession s("fault=silent_bridge");
        s.inject(kAckSuccess);
        Bytes reply(19, 0x20);
        reply[0] = 0;
        reply[1] = 5;
        reply[2] = 1;
        s.inject(packet(reply));
        const FirmwareVersion version = s.link.ARM_getVersion();
        EXPECT_TRUE(version.valid);
        EXPECT_EQ(version.minor, 1);
    }
}

TEST_F(Commands, VersionFailures) {
    for (const char* scenario :
         {"fault=ack_failed", "fault=ack_bad_checksum", "fault=ack_garbled", "fault=bad_crc",
          "fault=odd_start", "fault=huge_length", "fault=stray_bytes"}) {
        SCOPED_TRACE(scenario);
        SimSession s(scenario);
        LogCapture quiet(trace);
        EXPECT_FALSE(s.link.ARM_getVersion().valid);
    }
    // An acknowledge FAILED means no reply is read: the next bytes stay queued.
    SimSession s("fault=silent_bridge");
    s.inject({0x3C, 0xEE, 0x11});
    s.inject(packet({0, 5, 2}));
    EXPECT_FALSE(s.link.ARM_getVersion().valid);
    EXPECT_EQ(s.queued(), 8u);

    for (const char* scenario : {"fault=silent_bridge", "fault=silent_controller", "fault=truncated_reply"}) {
        SCOPED_TRACE(scenario);
        SimSession silent(scenario);
        silent.link.setReplyTimeout(100);
        EXPECT_THROW(silent.link.ARM_getVersion(), timeout_exception);
    }
}

TEST_F(Commands, ReadingCommandsSendFixedRequestsAndDecode) {
    SimSession s("");
    LogCapture log(debug);
    EXPECT_EQ(firstDifference(s.link.ARM_getMCConfig(), simulatorDefaultMcConfig()), "");
    EXPECT_EQ(s.sim().received(), requestFrame(14));
    EXPECT_EQ(firstDifference(s.link.ARM_getAppConfig(), simulatorDefaultAppConfig()), "");
    EXPECT_EQ(firstDifference(s.link.ARM_getDefaultAppConfig(), simulatorDefaultAppConfig()), "");
    EXPECT_THAT(log.texts(debug), ElementsAre("BEGIN ARM_getMCConfig()", "BEGIN ARM_getAppConfig()",
                                              "BEGIN ARM_getDefaultAppConfig()"));
    log.clear();
    EXPECT_EQ(firstDifference(s.link.ARM_getDefaultMCConfig(), simulatorDefaultMcConfig()), "");
    EXPECT_THAT(log.texts(), IsEmpty()); // nothing of its own at debug level

    Bytes expected = requestFrame(14);
    for (std::uint8_t command : {std::uint8_t{17}, std::uint8_t{18}, std::uint8_t{15}}) {
        const Bytes frame = requestFrame(command);
        expected.insert(expected.end(), frame.begin(), frame.end());
    }
    EXPECT_EQ(s.sim().received(), expected);
}

TEST_F(Commands, DefaultMcReadLogsOnlyLinkLines) {
    SimSession s("");
    LogCapture log(trace);
    s.link.ARM_getDefaultMCConfig();
    for (const std::string& line : log.texts())
        EXPECT_THAT(line, Not(HasSubstr("ARM_get")));
    EXPECT_THAT(log.texts(trace), Contains("Acknowledge: ResponseType::SUCCESS"));
    EXPECT_THAT(log.texts(trace), Contains("CRC Validated"));
}

struct FaultCase {
    const char* fault;
    const char* message; // part of the thrown message
};

TEST_F(Commands, ReadingCommandsRefuseDamagedReplies) {
    const std::vector<FaultCase> cases = {
        {"ack_failed", "not acknowledged by the bridge (ResponseType::FAILED)"},
        {"ack_bad_checksum", "not acknowledged by the bridge (ResponseType::BAD_CHECKSUM)"},
        {"ack_garbled", "got no readable acknowledge from the bridge (0x3C 0x07 0x07)"},
        {"stray_bytes", "got no readable acknowledge from the bridge (0x55 0xAA 0x00)"},
        {"bad_crc", "Reply from controller failed its CRC check"},
        {"short_reply", "Reply from controller is too short for the"},
        {"wrong_signature", "does not carry the"},
        {"huge_length", "Reply from controller is too long to be received"},
        {"odd_start", "Reply from controller is not a valid packet"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.fault);
        SimSession s(std::string("fault=") + c.fault);
        LogCapture log(info);
        EXPECT_THAT(thrownBy([&] { s.link.ARM_getMCConfig(); }), HasSubstr(c.message));
        EXPECT_THAT(thrownBy([&] { s.link.ARM_getDefaultMCConfig(); }), HasSubstr(c.message));
        EXPECT_THAT(thrownBy([&] { s.link.ARM_getAppConfig(); }), HasSubstr(c.message));
        EXPECT_THAT(thrownBy([&] { s.link.ARM_getDefaultAppConfig(); }), HasSubstr(c.message));
    }
    SimSession s("fault=short_reply");
    EXPECT_EQ(thrownBy([&] { s.link.ARM_getAppConfig(); }),
              "Reply from controller is too short for the application configuration: 209 of 419 bytes");
    SimSession w("fault=wrong_signature");
    EXPECT_EQ(thrownBy([&] { w.link.ARM_getMCConfig(); }),
              "Reply from controller does not carry the motor configuration signature");
}

TEST_F(Commands, SilentDevicesTimeOut) {
    for (const char* scenario : {"fault=silent_bridge", "fault=silent_controller", "fault=truncated_reply"}) {
        SCOPED_TRACE(scenario);
        SimSession s(scenario);
        s.link.setReplyTimeout(100);
        EXPECT_THROW(s.link.ARM_getAppConfig(), timeout_exception);
        s.link.flush();
        // A set whose reply stops halfway was answered, though unreadably: no time-out.
        if (std::string(scenario) == "fault=truncated_reply")
            EXPECT_EQ(s.link.setMCConfig(simulatorDefaultMcConfig()).answer, SetAnswer::Unreadable);
        else
            EXPECT_THROW(s.link.ARM_setMCConfig(simulatorDefaultMcConfig()), timeout_exception);
    }
}

TEST_F(Commands, SetThenReadBack) {
    SimSession s("");
    MCConfiguration mc = simulatorDefaultMcConfig();
    mc.l_current_max = 75.5f;
    mc.si_battery_cells = 13;
    APPConfiguration app = simulatorDefaultAppConfig();
    app.app_ppm_conf.hyst = 0.5f;
    app.controller_id = 9;

    LogCapture log(debug);
    EXPECT_TRUE(s.link.ARM_setMCConfig(mc));
    EXPECT_THAT(log.texts(debug), ElementsAre("BEGIN ARM_setMCConfig()", "generateVarko5Message. size: 469",
                                              "ACK SUCCESS", "END ARM_setMCConfig() SUCCESS"));
    log.clear();
    EXPECT_TRUE(s.link.ARM_setAppConfig(app));
    EXPECT_THAT(log.texts(debug), ElementsAre("BEGIN ARM_setAppConfig()"));
    EXPECT_THAT(log.texts(info), ElementsAre("PAYLOAD SIZE: 425"));

    EXPECT_EQ(firstDifference(s.link.ARM_getMCConfig(), mc), "");
    EXPECT_EQ(firstDifference(s.link.ARM_getAppConfig(), app), "");
    // The defaults are not what was written.
    EXPECT_EQ(firstDifference(s.link.ARM_getDefaultMCConfig(), mc), "l_current_max");

    // The frames carry the encoded records after the command byte.
    const Bytes& sent = s.sim().received();
    Bytes payload(1 + MC_CONFIG_PAYLOAD_SIZE);
    payload[0] = 13;
    mcConfigToBytes(payload.data() + 1, mc);
    const Bytes p = packet(payload);
    ASSERT_EQ(p.size(), 464u);
    Bytes frame(469);
    generateVarko5Message(messageType::ARM_MESSAGE, p.data(), p.size(), frame.data());
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), sent.begin()));
}

TEST_F(Commands, SetTraceShowsThePacket) {
    SimSession s("");
    LogCapture log(trace);
    EXPECT_TRUE(s.link.ARM_setMCConfig(simulatorDefaultMcConfig()));
    EXPECT_THAT(log.texts(trace), Contains("Arm msg siz: 464"));
    bool dumped = false;
    for (const std::string& line : log.texts(trace))
        dumped = dumped || (line.rfind("Arm Message: ", 0) == 0 &&
                            line.find("03 01 CA 0D 83 D6 20 7A") != std::string::npos);
    EXPECT_TRUE(dumped);
}

TEST_F(Commands, SetFailures) {
    for (const char* fault : {"ack_failed", "ack_bad_checksum", "ack_garbled", "stray_bytes", "set_refused",
                              "huge_length", "odd_start"}) {
        SCOPED_TRACE(fault);
        SimSession s(std::string("fault=") + fault);
        LogCapture log(debug);
        EXPECT_FALSE(s.link.ARM_setMCConfig(simulatorDefaultMcConfig()));
        EXPECT_EQ(log.texts(debug).back(), "END ARM_setMCConfig() FAILED");
        s.link.flush();
        // After a flush the first exchanges read through bytes that come before their
        // acknowledge, as a run after a killed one must: stray bytes no longer spoil the set.
        EXPECT_EQ(s.link.ARM_setAppConfig(simulatorDefaultAppConfig()), std::string(fault) == "stray_bytes");
    }
    // A refused set leaves the controller's record as it was.
    SimSession s("fault=set_refused");
    APPConfiguration app = simulatorDefaultAppConfig();
    app.timeout_msec = 77;
    EXPECT_FALSE(s.link.ARM_setAppConfig(app));
    EXPECT_EQ(s.link.ARM_getAppConfig().timeout_msec, simulatorDefaultAppConfig().timeout_msec);
}

// What a set's answer says, fault by fault, and whether the controller really holds the record:
// a refusal and a bridge that did not pass the frame on are definite; an answer that cannot be
// read is neither (the controller stored the record behind every one of these).
TEST_F(Commands, SetTellsWhatItsAnswerSays) {
    struct Case {
        const char* fault;
        SetAnswer answer;
        const char* detail;
        bool stored;
    };
    const Case cases[] = {
        {"", SetAnswer::Accepted, "", true},
        {"set_refused", SetAnswer::Refused, "", false},
        {"ack_failed", SetAnswer::NotAcknowledged, "ResponseType::FAILED", false},
        {"ack_bad_checksum", SetAnswer::NotAcknowledged, "ResponseType::BAD_CHECKSUM", false},
        {"ack_garbled", SetAnswer::Unreadable, "the bridge's acknowledge was not readable (0x3C 0x07 0x07)",
         false},
        {"stray_bytes", SetAnswer::Unreadable, "the bridge's acknowledge was not readable (0x55 0xAA 0x00)",
         true},
        {"odd_start", SetAnswer::Unreadable, "the controller's reply is not a valid packet", true},
        {"huge_length", SetAnswer::Unreadable, "the controller's reply is too long to be received", true},
        {"truncated_reply", SetAnswer::Unreadable, "the controller's reply was cut short", true},
        {"bad_crc", SetAnswer::Accepted, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        SimSession s(std::string("fault=") + c.fault + ";fault_on=13,16");
        s.link.setReplyTimeout(300);
        MCConfiguration mc = simulatorDefaultMcConfig();
        mc.si_motor_poles = 30;
        const SetReply reply = s.link.setMCConfig(mc);
        EXPECT_EQ(reply.answer, c.answer);
        EXPECT_EQ(reply.detail, c.detail);
        // The next command works on a line that may still carry the rest of the answer.
        EXPECT_EQ(s.link.ARM_getMCConfig().si_motor_poles == 30, c.stored);
        APPConfiguration app = simulatorDefaultAppConfig();
        app.timeout_msec = 77;
        EXPECT_EQ(s.link.setAppConfig(app).answer, c.answer);
        EXPECT_EQ(s.link.ARM_getAppConfig().timeout_msec == 77, c.stored);
    }
    // A controller that says nothing after the acknowledge is still a time-out.
    SimSession silent("fault=silent_controller;fault_on=13");
    silent.link.setReplyTimeout(100);
    EXPECT_THROW(silent.link.setMCConfig(simulatorDefaultMcConfig()), timeout_exception);
}

// A reply without a payload byte has no command number to judge: the byte at the start of
// the buffer is then its CRC (here 0D, the motor set's number), which must not read as an
// acceptance. A reply whose CRC alone is damaged is still judged by its first payload byte.
TEST_F(Commands, SetIsAcceptedOnlyByAPayloadByte) {
    const Bytes ack = {0x3C, 0x07, 0xF8};
    {
        SimSession s("fault=silent_bridge");
        Bytes stream = ack;
        stream.insert(stream.end(), {0x02, 0x00, 0x0D, 0x00, 0x03});
        s.inject(stream);
        EXPECT_FALSE(s.link.ARM_setMCConfig(simulatorDefaultMcConfig()));
    }
    {
        SimSession s("fault=silent_bridge");
        Bytes stream = ack;
        stream.insert(stream.end(), {0x02, 0x00, 0x10, 0x00, 0x03});
        s.inject(stream);
        EXPECT_FALSE(s.link.ARM_setAppConfig(simulatorDefaultAppConfig()));
    }
    {
        SimSession s("fault=silent_bridge");
        Bytes stream = ack;
        stream.insert(stream.end(), {0x02, 0x01, 0x0D, 0xFF, 0xFF, 0x03});
        s.inject(stream);
        EXPECT_TRUE(s.link.ARM_setMCConfig(simulatorDefaultMcConfig()));
    }
}

TEST_F(Commands, ChangeOnWriteShowsInTheReadBack) {
    SimSession s("fault=change_on_write");
    const MCConfiguration mc = simulatorDefaultMcConfig();
    const APPConfiguration app = simulatorDefaultAppConfig();
    EXPECT_TRUE(s.link.ARM_setMCConfig(mc));
    EXPECT_TRUE(s.link.ARM_setAppConfig(app));
    const MCConfiguration mcBack = s.link.ARM_getMCConfig();
    const APPConfiguration appBack = s.link.ARM_getAppConfig();
    EXPECT_EQ(mcBack.l_current_max, mc.l_current_max + 1.0f);
    EXPECT_EQ(appBack.app_ppm_conf.hyst, app.app_ppm_conf.hyst + 1.0f);
    MCConfiguration restored = mcBack;
    restored.l_current_max = mc.l_current_max;
    EXPECT_EQ(firstDifference(restored, mc), "");
}

TEST_F(Commands, FaultsRestrictedToCommandsAndDevices) {
    {
        SimSession s("fault=ack_failed;fault_on=16");
        EXPECT_TRUE(s.link.ARM_getVersion().valid);
        EXPECT_NO_THROW(s.link.ARM_getAppConfig());
        EXPECT_TRUE(s.link.ARM_setMCConfig(simulatorDefaultMcConfig()));
        EXPECT_FALSE(s.link.ARM_setAppConfig(simulatorDefaultAppConfig()));
    }
    {
        SimSession first("devices=2;fault=ack_failed;fault_device=1", 0);
        EXPECT_TRUE(first.link.ARM_getVersion().valid);
        SimSession second("devices=2;fault=ack_failed;fault_device=1", 1);
        EXPECT_FALSE(second.link.ARM_getVersion().valid);
    }
}

TEST_F(Commands, StateFileCarriesRecordsAcrossOpens) {
    TempDir dir;
    const std::string scenario = "state=" + dir.file("controller.state");
    APPConfiguration app = simulatorDefaultAppConfig();
    app.app_to_use = 4;
    {
        SimSession s(scenario);
        EXPECT_TRUE(s.link.ARM_setAppConfig(app));
    }
    simulatorForgetRecords(); // as if in a new process
    {
        SimSession s(scenario);
        EXPECT_EQ(s.link.ARM_getAppConfig().app_to_use, 4);
        EXPECT_EQ(firstDifference(s.link.ARM_getMCConfig(), simulatorDefaultMcConfig()), "");
    }
    // Without a state file the records live in memory: kept between opens in one process.
    {
        SimSession s("");
        EXPECT_TRUE(s.link.ARM_setAppConfig(app));
    }
    SimSession again("");
    EXPECT_EQ(again.link.ARM_getAppConfig().app_to_use, 4);
    SimSession other("devices=1");
    EXPECT_EQ(other.link.ARM_getAppConfig().app_to_use, simulatorDefaultAppConfig().app_to_use);

    // A state file that cannot be written does not stop the controller.
    SimSession unwritable("state=" + dir.file("missing/folder/state"));
    EXPECT_TRUE(unwritable.link.ARM_setAppConfig(app));
    EXPECT_EQ(unwritable.link.ARM_getAppConfig().app_to_use, 4);
}

} // namespace
