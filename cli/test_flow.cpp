// The connection test.

#include "cli/exit_status.h"
#include "cli/flows.h"
#include "cli/report.h"
#include "core/ops/device_choice.h"

#include <iostream>

int testDevice(const std::string& serial) {
    std::vector<DeviceInfoNode> devices;
    try {
        devices = enumerateDevices();
    } catch (const std::runtime_error& error) {
        throw DeviceSetupError(error.what());
    }
    spdlog::info("Devices found: {}", devices.size());
    // Without a serial number the first device is tested, whatever else is listed.
    if (devices.empty() && serial.empty())
        return EXIT_OK;
    int index = 0;
    if (!serial.empty()) {
        const DeviceChoice choice = chooseDevice(devices, serial);
        if (choice.index < 0) {
            spdlog::error("{}", choice.error);
            return EXIT_FAILED;
        }
        index = choice.index;
    }
    const DeviceInfoNode& node = devices[static_cast<std::size_t>(index)];
    std::cout << "Device Description: " << descriptionOf(node) << '\n';

    return guarded(EXIT_FAILED, [&] {
        const auto session = openListedDevice(node, index);
        const std::string status = queryBridgeStatus(*session);
        std::cout << "Status: " << status << '\n';
        const FirmwareVersion& version = session->identify();
        if (version.valid)
            printVersion(version);
        else
            spdlog::error("Failed at getting ARM Version.");
        return EXIT_OK;
    });
}
