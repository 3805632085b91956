// Device listing and opening through the simulated backend, the scenario format, the
// simulated bridge's own answers and the simulator's records.

#include "device_test_util.h"
#include "tests/support/log_capture.h"

#include "core/config/config_codec.h"
#include "core/device/backend_choice.h"
#include "core/device/serial_backend.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::HasSubstr;

std::string runtimeErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

TEST(SimulatedList, DevicesSerialsDescriptionsAndChipIds) {
    {
        SimBackend sim("devices=0");
        EXPECT_TRUE(enumerateDevices(*sim).empty());
    }
    {
        SimBackend sim("");
        const auto nodes = enumerateDevices(*sim);
        ASSERT_EQ(nodes.size(), 1u);
        EXPECT_STREQ(nodes[0].serialNumber, "VK5SIM0001");
        EXPECT_STREQ(nodes[0].description, "Varko 5 Bridge (simulated)");
        EXPECT_EQ(nodes[0].port, "");
    }
    SimBackend sim("devices=3; serial=AAA1,BBB2,CCC3; description=Left bridge,Right bridge; "
                   "chipid=0x1234ABCD,4096");
    const auto nodes = enumerateDevices(*sim);
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_STREQ(nodes[0].serialNumber, "AAA1");
    EXPECT_STREQ(nodes[1].serialNumber, "BBB2");
    EXPECT_STREQ(nodes[2].serialNumber, "CCC3");
    EXPECT_STREQ(nodes[0].description, "Left bridge");
    EXPECT_STREQ(nodes[2].description, "Right bridge"); // the last entry repeats
    EXPECT_EQ(nodes[0].handle, nullptr);
    EXPECT_EQ(readChipId(openDevice(*sim, nodes[0])), 0x1234ABCDu);
    EXPECT_EQ(readChipId(openDevice(*sim, nodes[2])), 4096u);
}

TEST(SimulatedList, ADeviceIsOpenedByItsSerialNumberNotItsPlaceInAList) {
    SimBackend before("devices=2;serial=AAA1,BBB2;chipid=1,2");
    const auto nodes = enumerateDevices(*before);
    // The same bridges listed the other way round: the node still opens its own device.
    SimBackend after("devices=2;serial=BBB2,AAA1;chipid=2,1");
    EXPECT_EQ(readChipId(openDevice(*after, nodes[0])), 1u);
    EXPECT_EQ(readChipId(openDevice(*after, nodes[1])), 2u);

    // Pulled out between listing and opening: an error naming it, never another device.
    SimBackend pulled("devices=1;serial=BBB2");
    LogCapture log(spdlog::level::info);
    try {
        openDevice(*pulled, nodes[0]);
        ADD_FAILURE() << "opened a device that is gone";
    } catch (const device_open_error& error) {
        EXPECT_STREQ(error.what(), "Failed to open device");
        EXPECT_EQ(error.status(), STATUS_DEVICE_NOT_FOUND);
        EXPECT_EQ(error.reason(), "Device AAA1 is not connected");
    }
    EXPECT_EQ(log.texts(spdlog::level::err), std::vector<std::string>{"Device AAA1 is not connected"});
}

TEST(SimulatedList, ListAndOpenErrors) {
    {
        SimBackend sim("list_error=7");
        EXPECT_EQ(runtimeErrorOf([&] { enumerateDevices(*sim); }),
                  "Error: FT_CreateDeviceInfoList(...):  Status: 7");
    }
    {
        SimBackend sim("open_error=1;devices=2");
        const auto nodes = enumerateDevices(*sim);
        EXPECT_EQ(nodes.size(), 2u);
        EXPECT_EQ(runtimeErrorOf([&] { openDevice(*sim, nodes[0]); }), "Failed to open device");
    }
    {
        // A scenario that cannot be read lists nothing and says why.
        SimBackend sim("devices=two");
        LogCapture log(spdlog::level::info);
        EXPECT_THAT(runtimeErrorOf([&] { enumerateDevices(*sim); }), HasSubstr("Status: 6"));
        ASSERT_EQ(log.texts(spdlog::level::err).size(), 1u);
        EXPECT_THAT(log.texts(spdlog::level::err)[0], HasSubstr("devices"));
    }
}

std::vector<std::string> serialsOf(const std::vector<DeviceInfoNode>& nodes) {
    std::vector<std::string> serials;
    for (const DeviceInfoNode& node : nodes)
        serials.emplace_back(node.serialNumber);
    return serials;
}

TEST(BackendChoice, SimulatorWhenSetEvenEmptyOtherwiseSerialPorts) {
    ScopedEnv devRoot("VARKO5_DEV_ROOT", std::nullopt);
    ScopedEnv sysRoot("VARKO5_SYS_ROOT", std::nullopt);
    ScopedEnv choice("VARKO5_BACKEND", std::nullopt);
#ifdef _WIN32
    // COM port names, separated by semicolons.
    const std::string two = "COM77;\\\\.\\COM12";
    const std::vector<std::string> twoSerials{"COM77", "COM12"};
#else
    const std::string two = "/dev/pts/77:/tmp/bridge";
    const std::vector<std::string> twoSerials{"pts77", "bridge"};
#endif
#ifndef _WIN32 // Windows cannot hold a variable that is set but empty
    {
        ScopedEnv sim("VARKO5_SIMULATOR", "");
        ScopedEnv ports("VARKO5_PORTS", "/dev/pts/77");
        EXPECT_EQ(serialsOf(enumerateDevices(*backendFromEnvironment())),
                  std::vector<std::string>{"VK5SIM0001"});
        ScopedEnv automatic("VARKO5_BACKEND", "auto");
        EXPECT_EQ(backendFromEnvironment()->name(), "simulator");
        // Asked for by name, the serial ports win over the simulator.
        ScopedEnv serial("VARKO5_BACKEND", "serial");
        EXPECT_EQ(serialsOf(enumerateDevices(*backendFromEnvironment())), std::vector<std::string>{"pts77"});
    }
#endif
    {
        ScopedEnv sim("VARKO5_SIMULATOR", std::nullopt);
        ScopedEnv ports("VARKO5_PORTS", two);
        const auto nodes = enumerateDevices(*backendFromEnvironment());
        EXPECT_EQ(serialsOf(nodes), twoSerials);
#ifndef _WIN32
        EXPECT_EQ(nodes[1].port, "/tmp/bridge");
#endif
    }
    ScopedEnv ports("VARKO5_PORTS", std::nullopt);
    EXPECT_EQ(serialSettingsFromEnvironment().ports, std::nullopt);
    EXPECT_EQ(serialSettingsFromEnvironment().devRoot, "/dev");
    EXPECT_EQ(serialSettingsFromEnvironment().sysRoot, "/sys");
    ScopedEnv otherDev("VARKO5_DEV_ROOT", "/tmp/dev");
    ScopedEnv otherSys("VARKO5_SYS_ROOT", "");
    EXPECT_EQ(serialSettingsFromEnvironment().devRoot, "/tmp/dev");
    EXPECT_EQ(serialSettingsFromEnvironment().sysRoot, "/sys");
}

TEST(BackendChoice, AnUnknownBackendIsRefusedWhenDevicesAreAskedFor) {
    ScopedEnv choice("VARKO5_BACKEND", "usb");
    const auto backend = backendFromEnvironment();
    const std::string expected = "VARKO5_BACKEND: 'usb' is not a backend (serial, d2xx or auto)";
    EXPECT_EQ(runtimeErrorOf([&] { enumerateDevices(*backend); }), expected);
    EXPECT_EQ(runtimeErrorOf([&] { openDevice(*backend, makeDeviceInfoNode("A", "B", 0, 0)); }), expected);
}

TEST(BackendChoice, MadeOnceTheEnvironmentIsNotReadAgain) {
    std::shared_ptr<DeviceBackend> backend;
    {
        ScopedEnv sim("VARKO5_SIMULATOR", "devices=2");
        backend = backendFromEnvironment();
    }
    ScopedEnv sim("VARKO5_SIMULATOR", "devices=0");
    const auto nodes = enumerateDevices(*backend);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_TRUE(openDevice(*backend, nodes[1]));
}

TEST(BackendChoice, OpenDevicesOutliveTheirBackend) {
    DeviceHandle handle;
    {
        SimBackend sim("chipid=77");
        handle = openListed(*sim);
    }
    SimBackend other("chipid=88");
    EXPECT_EQ(readChipId(handle), 77u);
    ArmLink link(handle);
    link.flush();
    EXPECT_TRUE(link.ARM_getVersion().valid);
    EXPECT_EQ(readChipId(openListed(*other)), 88u);
}

TEST(SimScenarioText, ParsesAndRejects) {
    const SimScenario s = parseSimScenario(
        "devices=2;fw=5.2,5.1;latency=20;fault=bad_crc,set_refused;fault_on=13,16;fault_device=1;pending=9");
    EXPECT_EQ(s.devices, 2);
    EXPECT_EQ(simDeviceSettings(s, 1).fwMinor, 1);
    EXPECT_EQ(simDeviceSettings(s, 0).fwMinor, 2);
    EXPECT_EQ(simDeviceSettings(s, 1).serial, "VK5SIM0002");
    EXPECT_EQ(s.latencyMs, 20u);
    EXPECT_EQ(s.faults, (std::vector<SimFault>{SimFault::BadCrc, SimFault::SetRefused}));
    EXPECT_EQ(s.faultCommands, (std::vector<int>{13, 16}));
    EXPECT_EQ(s.faultDevice, 1);
    EXPECT_EQ(s.pendingBytes, 9u);
    for (const char* bad : {"colour=red", "fault=melted", "devices", "chipid=0xZZ", "fw=5", "latency=-1",
                            "chipid=0x123456789"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(parseSimScenario(bad), std::invalid_argument);
    }
}

// lpfp_sim --help lists the scenario keys and faults from these tables: every listed name must
// be one the parser takes, and any other key is refused.
TEST(SimScenarioText, TheHelpTablesNameWhatTheParserTakes) {
    ASSERT_EQ(simScenarioKeys().size(), 17u);
    for (const SimScenarioHelp& key : simScenarioKeys()) {
        SCOPED_TRACE(key.name);
        EXPECT_STRNE(key.value, "");
        try {
            parseSimScenario(std::string(key.name) + "=1");
        } catch (const std::invalid_argument& error) {
            // fw=1 is not a version; the key itself must still be known.
            EXPECT_THAT(error.what(), ::testing::Not(::testing::HasSubstr("Unknown scenario key")));
        }
    }
    ASSERT_EQ(simFaultNames().size(), 15u);
    std::vector<SimFault> faults;
    for (const SimScenarioHelp& fault : simFaultNames()) {
        SCOPED_TRACE(fault.name);
        const SimScenario s = parseSimScenario(std::string("fault=") + fault.name);
        ASSERT_EQ(s.faults.size(), 1u);
        EXPECT_EQ(std::count(faults.begin(), faults.end(), s.faults[0]), 0) << "two names, one fault";
        faults.push_back(s.faults[0]);
    }
    EXPECT_THROW(parseSimScenario("help=1"), std::invalid_argument);
}

TEST(DeviceHandleOwner, MoveAndReset) {
    SimBackend sim("devices=2");
    DeviceHandle a = openListed(*sim, 0);
    ASSERT_TRUE(a);
    const DevicePort* raw = a.port();
    DeviceHandle b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.port(), raw);
    DeviceHandle c = openListed(*sim, 1);
    c = std::move(b); // closes device 1
    EXPECT_EQ(c.port(), raw);
    c.reset();
    EXPECT_FALSE(c);
    setDeviceTimeouts(c, 1000, 0); // ignored on a closed handle
    EXPECT_EQ(readChipId(c), 0u);
}

TEST(SimulatedBridge, ChecksFramesItself) {
    SimSession s("");
    const Bytes version = {0xC3, 0x07, 0x00, 0x06, 0x02, 0x01, 0x00, 0x00, 0x00, 0x03, 0xC2};
    Bytes badXor = version;
    badXor.back() ^= 0xFF;
    const auto answer = [&](const Bytes& frame) {
        s.link.write(frame.data(), static_cast<std::uint32_t>(frame.size()));
        Bytes out(64);
        out.resize(static_cast<std::size_t>(std::max(0, s.link.read(out.data(), 64))));
        return out;
    };
    EXPECT_EQ(answer(badXor), (Bytes{0x3C, 0xBB, 0x44}));
    // Unknown command 0x63 in a valid packet, unknown frame type 9, and a packet with a bad CRC.
    Bytes unknown(15);
    const Bytes p = packet({0x63});
    unknown.resize(generateVarko5Message(messageType::ARM_MESSAGE, p.data(), p.size(), unknown.data()));
    EXPECT_EQ(answer(unknown), (Bytes{0x3C, 0xEE, 0x11}));
    Bytes type9(15);
    type9.resize(generateVarko5Message(static_cast<messageType>(9), p.data(), p.size(), type9.data()));
    EXPECT_EQ(answer(type9), (Bytes{0x3C, 0xEE, 0x11}));
    Bytes damaged = packet({0x00});
    damaged[3] ^= 1;
    Bytes framed(16);
    framed.resize(
        generateVarko5Message(messageType::ARM_MESSAGE, damaged.data(), damaged.size(), framed.data()));
    EXPECT_EQ(answer(framed), (Bytes{0x3C, 0xEE, 0x11}));
    // Noise before a frame is skipped; a frame split over two writes is still one frame.
    s.link.write(Bytes{0x00, 0x42}.data(), 2);
    s.link.write(version.data(), 4);
    EXPECT_EQ(s.queued(), 0u);
    const Bytes rest(version.begin() + 4, version.end());
    const Bytes out = answer(rest);
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 3), kAckSuccess);
}

TEST(SimulatorRecords, DefaultsArePlausibleAndSurviveTheWire) {
    const MCConfiguration mc = simulatorDefaultMcConfig();
    const APPConfiguration app = simulatorDefaultAppConfig();
    EXPECT_EQ(mc.l_current_max, 60.0f);
    EXPECT_EQ(mc.bms.t_limit_start, 45.0f);
    EXPECT_EQ(mc.hall_table[0], -1);
    EXPECT_NE(app.app_ppm_conf.hyst, 0.0f);

    Bytes buffer(MC_CONFIG_PAYLOAD_SIZE);
    mcConfigToBytes(buffer.data(), mc);
    MCConfiguration mcBack{};
    ASSERT_TRUE(mcConfigFromBytes(buffer.data(), mcBack));
    EXPECT_EQ(firstDifference(mcBack, mc), "");
    appConfigToBytes(buffer.data(), app);
    APPConfiguration appBack{};
    ASSERT_TRUE(appConfigFromBytes(buffer.data(), appBack));
    EXPECT_EQ(firstDifference(appBack, app), "");
    // Not all zero.
    EXPECT_NE(firstDifference(mc, MCConfiguration{}), "");
    EXPECT_NE(firstDifference(app, APPConfiguration{}), "");
}

TEST(SimulatorRecords, StateFileRoundTripAndDamage) {
    TempDir dir;
    SimRecords records;
    records.app.timeout_msec = 4321;
    records.mc.l_current_max = 12.5f;
    ASSERT_TRUE(saveSimState(dir.file("state"), records));
    SimRecords loaded;
    ASSERT_TRUE(loadSimState(dir.file("state"), loaded));
    EXPECT_EQ(firstDifference(loaded.app, records.app), "");
    EXPECT_EQ(firstDifference(loaded.mc, records.mc), "");

    writeFileBytes(dir.file("short"), readFileBytes(dir.file("state")).substr(0, 100));
    SimRecords untouched;
    EXPECT_FALSE(loadSimState(dir.file("short"), untouched));
    EXPECT_FALSE(loadSimState(dir.file("absent"), untouched));
    EXPECT_EQ(firstDifference(untouched.app, simulatorDefaultAppConfig()), "");
    EXPECT_FALSE(saveSimState(dir.path().string(), records)); // a directory
}

} // namespace

namespace {

using Clock = SimulatedDevice::Clock;

Bytes versionFrame() {
    return {0xC3, 0x07, 0x00, 0x06, 0x02, 0x01, 0x00, 0x00, 0x00, 0x03, 0xC2};
}

TEST(SimulatedWire, BaudPacesEveryByteBothWays) {
    EXPECT_EQ(parseSimScenario("baud=9600;latency_timer=16").baud, 9600u);
    EXPECT_EQ(parseSimScenario("baud=9600;latency_timer=16").latencyTimerMs, 16u);
    for (const char* bad : {"baud=fast", "latency_timer=256", "baud=-1"})
        EXPECT_THROW(parseSimScenario(bad), std::invalid_argument) << bad;

    // 10 bits a byte at 10000 baud: one byte a millisecond. The 11 request bytes arrive in
    // 11 ms; the 3 acknowledge bytes and the 27 of the version reply follow back to back.
    SimulatedDevice device(parseSimScenario("baud=10000"), 0, nullptr);
    const Bytes frame = versionFrame();
    // The due times are the model's, computed from when the frame came in: bounded by clock
    // readings on either side of receive(), whatever the scheduler did in between.
    const auto sent = Clock::now();
    device.receive(frame.data(), frame.size());
    const auto received = Clock::now();
    EXPECT_EQ(device.readable(), 0u);
    EXPECT_TRUE(device.hasPending());
    const auto at = [&](std::size_t count) { return *device.dueTime(count) - sent; };
    EXPECT_GE(at(1), std::chrono::milliseconds(12));
    EXPECT_LE(*device.dueTime(1) - received, std::chrono::milliseconds(12));
    EXPECT_GE(at(3) - at(1), std::chrono::microseconds(1999));
    EXPECT_LE(at(3) - at(1), std::chrono::microseconds(2001));
    EXPECT_GE(at(30) - at(3), std::chrono::microseconds(26999));
    EXPECT_LE(at(30) - at(3), std::chrono::microseconds(27001));
    EXPECT_FALSE(device.dueTime(31)); // nothing more is coming
}

TEST(SimulatedWire, LatencyTimerHandsBytesOverInChunks) {
    SimulatedDevice device(parseSimScenario("latency_timer=20"), 0, nullptr);
    const Bytes frame = versionFrame();
    const auto sent = Clock::now();
    device.receive(frame.data(), frame.size());
    const auto received = Clock::now();
    // Acknowledge and reply are there at once, but handed over together at the next tick.
    EXPECT_EQ(device.readable(), 0u);
    const auto first = *device.dueTime(1);
    EXPECT_GT(first, sent);
    EXPECT_LE(first - received, std::chrono::milliseconds(20));
    EXPECT_EQ(*device.dueTime(30), first);
}

TEST(SimulatedWire, ALateReplyIsWaitedFor) {
    // The reply is not there when the request has gone; the link waits for it. How long the
    // waits take is lpfp_bench_link's to measure.
    SimSession s("latency=40");
    EXPECT_TRUE(s.link.ARM_getVersion().valid);
    EXPECT_EQ(s.queued(), 0u);
}

TEST(SimulatedWire, FlushTakesJunkStillStreamingIn) {
    // 20000 bytes at 1 Mbaud: 200 ms on the line.
    // What a pause of the host lets through the flush, the first exchange reads through.
    SimSession s("pending=20000;baud=1000000");
    EXPECT_LT(s.queued(), 20000u);
    s.link.flush();
    EXPECT_TRUE(s.link.ARM_getVersion().valid);
    EXPECT_EQ(s.queued(), 0u);
}

TEST(SimulatedWire, ACommandAfterAFailedOneStartsOnAQuietLine) {
    // The first reply is cut short; its rest is junk that would be read as the next
    // acknowledge if nothing drained it.
    SimSession s("fault=truncated_reply;fault_on=17");
    s.link.setReplyTimeout(100);
    EXPECT_THROW(s.link.ARM_getAppConfig(), timeout_exception);
    s.inject({0x13, 0x37, 0x00}); // what a damaged reply leaves behind
    LogCapture log(spdlog::level::debug);
    EXPECT_TRUE(s.link.ARM_getVersion().valid);
    // The rest of the cut reply and the junk both go.
    EXPECT_THAT(log.texts(spdlog::level::debug),
                ::testing::Contains(
                    ::testing::AllOf(::testing::StartsWith("Dropped "),
                                     ::testing::EndsWith(" bytes left over from a failed exchange"))));
    EXPECT_EQ(s.queued(), 0u);
    // After a healthy exchange nothing is drained.
    log.clear();
    s.inject({0x3C, 0x07, 0xF8});
    EXPECT_EQ(s.link.acknowledge(7), ResponseType::SUCCESS);
    EXPECT_TRUE(s.link.ARM_getVersion().valid);
    for (const auto& line : log.texts())
        EXPECT_THAT(line, ::testing::Not(HasSubstr("Dropped")));
    // The mark belongs to the device, not to one link.
    DeviceHandle& handle = s.handle;
    handle.setUnsettled(true);
    s.inject({0x01});
    ArmLink other(handle);
    EXPECT_TRUE(other.ARM_getVersion().valid);
}

} // namespace
