// The connection test.

#include "cli/exit_status.h"
#include "cli/flows.h"
#include "cli/report.h"
#include "cli/report_stream.h"
#include "core/ops/device_choice.h"

#include <iostream>

namespace {
int testListedDevice(const DeviceInfoNode& node, int index);
}

int testDevice(const DeviceTarget& target) {
    if (target.listed)
        return testListedDevice(target.node, target.index);
    const std::vector<DeviceInfoNode> devices = listDevices();
    spdlog::info("Devices found: {}", devices.size());
    // Without a serial number the first device is tested, whatever else is listed.
    if (devices.empty() && target.serial.empty())
        return EXIT_OK;
    int index = 0;
    if (!target.serial.empty()) {
        const DeviceChoice choice = chooseDevice(devices, target.serial);
        if (choice.index < 0) {
            spdlog::error("{}", choice.error);
            return EXIT_FAILED;
        }
        index = choice.index;
    }
    return testListedDevice(devices[static_cast<std::size_t>(index)], index);
}

namespace {

int testListedDevice(const DeviceInfoNode& node, int index) {
    report::out() << "Device Description: " << descriptionOf(node) << '\n';
    return guarded(EXIT_FAILED, [&] {
        const auto session = openListedDevice(node, index);
        const std::string status = queryBridgeStatus(*session);
        report::out() << "Status: " << status << '\n';
        const FirmwareVersion& version = session->identify();
        if (version.valid)
            printVersion(version);
        else
            spdlog::error("Failed at getting ARM Version.");
        return EXIT_OK;
    });
}

} // namespace
