// The D2XX backend through a real run-time load of the stand-in library (tests/d2xx_standin),
// which serves the simulated bridge and controller of VARKO5_SIMULATOR with the driver's calls:
// listing, opening by serial number, the exchange, and every way the library can fail.

#include "device_test_util.h"
#include "tests/support/log_capture.h"

#include "core/device/backend_choice.h"
#include "core/device/d2xx_backend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace {

using ::testing::HasSubstr;

D2xxSettings standIn(const std::string& chipIdLibrary = D2XX_STANDIN_PATH) {
    D2xxSettings settings;
    settings.library = D2XX_STANDIN_PATH;
    settings.chipIdLibrary = chipIdLibrary;
    return settings;
}

std::string runtimeErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

TEST(D2xxBackend, ListsOpensAndTalksThroughTheLibrary) {
    ScopedEnv sim("VARKO5_SIMULATOR", "devices=2;serial=VK5D0001,VK5D0002;description=Left,Right;"
                                      "chipid=0xCAFE0001,7;latency_timer=3");
    const auto backend = makeD2xxBackend(standIn());
    EXPECT_EQ(backend->name(), "d2xx");
    const auto nodes = enumerateDevices(*backend);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(serialNumberOf(nodes[1]), "VK5D0002");
    EXPECT_EQ(descriptionOf(nodes[1]), "Right");
    EXPECT_EQ(nodes[0].type, 5u);
    EXPECT_EQ(nodes[0].id, 0x04036001u);
    EXPECT_EQ(nodes[1].locId, 0x12u);
    EXPECT_EQ(nodes[0].port, "");

    DeviceHandle handle = openDevice(*backend, nodes[0]);
    EXPECT_EQ(handle.name(), "VK5D0001");
    EXPECT_EQ(readChipId(handle), 0xCAFE0001u);
    EXPECT_EQ(handle.timing().baud, 9600u);
    EXPECT_EQ(handle.timing().latencyTimerMs, 3u);
    setDeviceTimeouts(handle, 1000, 0);
    ArmLink link(handle);
    link.flush();
    const FirmwareVersion version = link.ARM_getVersion();
    EXPECT_TRUE(version.valid);
    EXPECT_EQ(version.major, 5);
    EXPECT_EQ(version.minor, 2);
    APPConfiguration app = link.ARM_getAppConfig();
    EXPECT_EQ(firstDifference(app, simulatorDefaultAppConfig()), "");
    app.timeout_msec = 2500;
    EXPECT_TRUE(link.ARM_setAppConfig(app));
    EXPECT_EQ(firstDifference(link.ARM_getAppConfig(), app), "");
    EXPECT_EQ(readChipId(openDevice(*backend, nodes[1])), 7u);
}

TEST(D2xxBackend, ASecondOpenOfOneDeviceIsRefusedAsInUse) {
    ScopedEnv sim("VARKO5_SIMULATOR", "serial=VK5D0001");
    const auto backend = makeD2xxBackend(standIn());
    const auto nodes = enumerateDevices(*backend);
    DeviceHandle first = openDevice(*backend, nodes.at(0));
    LogCapture log(spdlog::level::info);
    try {
        openDevice(*backend, nodes[0]);
        ADD_FAILURE() << "opened twice";
    } catch (const device_open_error& error) {
        EXPECT_STREQ(error.what(), "Failed to open device");
        EXPECT_EQ(error.status(), STATUS_DEVICE_IN_USE);
    }
    EXPECT_EQ(log.texts(spdlog::level::err),
              std::vector<std::string>{"Device VK5D0001 is in use by another program"});
    // The list shows it open; once closed it opens again.
    EXPECT_EQ(enumerateDevices(*backend).at(0).flags & 1u, 1u);
    first.reset();
    EXPECT_TRUE(openDevice(*backend, nodes[0]));
}

TEST(D2xxBackend, ABridgePulledOutBetweenListingAndOpeningNeverGetsAnotherOne) {
    ScopedEnv sim("VARKO5_SIMULATOR", "devices=2;serial=VK5D0001,VK5D0002;chipid=1,2");
    const auto backend = makeD2xxBackend(standIn());
    const auto nodes = enumerateDevices(*backend);
    ASSERT_EQ(nodes.size(), 2u);
    // The first bridge is gone; the second is now the first of the list.
    ScopedEnv pulled("VARKO5_SIMULATOR", "devices=1;serial=VK5D0002;chipid=2");
    LogCapture log(spdlog::level::info);
    try {
        openDevice(*backend, nodes[0]);
        ADD_FAILURE() << "opened a bridge that is gone";
    } catch (const device_open_error& error) {
        EXPECT_EQ(error.status(), STATUS_DEVICE_NOT_FOUND);
        EXPECT_EQ(error.reason(), "Device VK5D0001 is not connected");
    }
    EXPECT_EQ(log.texts(spdlog::level::err), std::vector<std::string>{"Device VK5D0001 is not connected"});
    EXPECT_EQ(readChipId(openDevice(*backend, nodes[1])), 2u);
}

TEST(D2xxBackend, AMissingLibraryIsAnErrorNamingTheFileAndNothingIsListedOrOpened) {
    D2xxSettings settings;
    settings.library = "/nonexistent/libftd2xx.so";
    std::string why;
    const auto backend = makeD2xxBackend(settings, &why);
    EXPECT_THAT(why, ::testing::StartsWith("The D2XX library /nonexistent/libftd2xx.so cannot be loaded: "));
    EXPECT_EQ(runtimeErrorOf([&] { enumerateDevices(*backend); }), why);
    EXPECT_EQ(runtimeErrorOf([&] { openDevice(*backend, makeDeviceInfoNode("VK5D0001", "", 0, 0)); }), why);

    // Chosen by the environment, with the default name when none is given.
    ScopedEnv choice("VARKO5_BACKEND", "d2xx");
    ScopedEnv library("VARKO5_D2XX_LIBRARY", "/nonexistent/libftd2xx.so");
    EXPECT_THAT(runtimeErrorOf([] { enumerateDevices(*backendFromEnvironment()); }),
                HasSubstr("/nonexistent/libftd2xx.so cannot be loaded"));
#ifdef _WIN32
    EXPECT_EQ(D2xxSettings{}.library, "ftd2xx.dll");
    EXPECT_EQ(D2xxSettings{}.chipIdLibrary, "FTChipID.dll");
#else
    EXPECT_EQ(D2xxSettings{}.library, "libftd2xx.so");
    EXPECT_EQ(D2xxSettings{}.chipIdLibrary, "libftchipid.so");
#endif
}

TEST(D2xxBackend, ALibraryLackingACallIsAnErrorNamingTheLibraryAndTheCall) {
    D2xxSettings settings;
    settings.library = D2XX_PARTIAL_PATH;
    std::string why;
    const auto backend = makeD2xxBackend(settings, &why);
    EXPECT_EQ(why,
              std::string("The D2XX library ") + D2XX_PARTIAL_PATH + " lacks the call FT_GetDeviceInfoList");
    EXPECT_EQ(runtimeErrorOf([&] { enumerateDevices(*backend); }), why);
}

TEST(D2xxBackend, FailingCallsAreErrorsNamingTheLibraryAndTheCallAndNothingIsOpened) {
    ScopedEnv sim("VARKO5_SIMULATOR", "serial=VK5D0001");
    const auto backend = makeD2xxBackend(standIn());
    const auto nodes = enumerateDevices(*backend);
    const std::string library = std::string("D2XX library ") + D2XX_STANDIN_PATH + ": ";
    for (const char* call : {"FT_SetBaudRate", "FT_SetDataCharacteristics", "FT_SetFlowControl",
                             "FT_SetTimeouts", "FT_Purge", "FT_OpenEx"}) {
        SCOPED_TRACE(call);
        ScopedEnv fail("VARKO5_STANDIN_FAIL", std::string(call) + "=4");
        LogCapture log(spdlog::level::info);
        try {
            openDevice(*backend, nodes.at(0));
            ADD_FAILURE() << "opened";
        } catch (const device_open_error& error) {
            EXPECT_EQ(error.status(), 4u);
        }
        EXPECT_THAT(log.texts(spdlog::level::err),
                    ::testing::Contains(library + call + " failed on VK5D0001 with status 4 (FT_IO_ERROR)"));
    }
    // The failed opens left nothing open behind them.
    EXPECT_TRUE(openDevice(*backend, nodes[0]));
    {
        ScopedEnv fail("VARKO5_STANDIN_FAIL", "FT_CreateDeviceInfoList=4");
        EXPECT_EQ(runtimeErrorOf([&] { enumerateDevices(*backend); }),
                  "Error: FT_CreateDeviceInfoList(...):  Status: 4");
    }
    ScopedEnv fail("VARKO5_STANDIN_FAIL", "FT_GetDeviceInfoList=18");
    EXPECT_EQ(runtimeErrorOf([&] { enumerateDevices(*backend); }),
              library + "FT_GetDeviceInfoList failed with status 18 (FT_OTHER_ERROR)");
}

TEST(D2xxBackend, AFailingReadIsSaidOnceAndNothingPassesForAnAnswer) {
    ScopedEnv sim("VARKO5_SIMULATOR", "serial=VK5D0001");
    const auto backend = makeD2xxBackend(standIn());
    DeviceHandle handle = openDevice(*backend, enumerateDevices(*backend).at(0));
    ArmLink link(handle);
    ScopedEnv fail("VARKO5_STANDIN_FAIL", "FT_Read=4");
    LogCapture log(spdlog::level::info);
    EXPECT_FALSE(link.ARM_getVersion().valid);
    EXPECT_EQ(log.texts(spdlog::level::err),
              std::vector<std::string>{std::string("D2XX library ") + D2XX_STANDIN_PATH +
                                       ": FT_Read failed on VK5D0001 with status 4 (FT_IO_ERROR)"});
}

TEST(D2xxBackend, WithoutTheChipIdLibraryTheChipIdIsZeroWithOneDebugLine) {
    ScopedEnv sim("VARKO5_SIMULATOR", "serial=VK5D0001;chipid=99");
    const auto backend = makeD2xxBackend(standIn("/nonexistent/libftchipid.so"));
    DeviceHandle handle = openDevice(*backend, enumerateDevices(*backend).at(0));
    LogCapture log(spdlog::level::trace);
    EXPECT_EQ(readChipId(handle), 0u);
    ASSERT_EQ(log.texts(spdlog::level::debug).size(), 1u);
    EXPECT_THAT(log.texts(spdlog::level::debug)[0],
                ::testing::StartsWith("Chip ID of VK5D0001 reads as 0: the chip-identification library "
                                      "/nonexistent/libftchipid.so cannot be loaded"));
}

} // namespace
