// The connection test.

#include "cli/console_lines.h"
#include "cli/exit_status.h"
#include "cli/flows.h"
#include "cli/recorded_read.h"
#include "core/ops/device_choice.h"

namespace {

int testListedDevice(const std::shared_ptr<DeviceBackend>& backend, const DeviceInfoNode& node, int index,
                     const Recording* recording, FlowResult& result, std::ostream& out) {
    out << "Device Description: " << descriptionOf(node) << '\n';
    return guarded(result, EXIT_FAILED, [&] {
        DeviceTarget target;
        target.backend = backend;
        target.listed = true;
        target.node = node;
        target.index = index;
        target.recording = recording;
        const auto session = openChosenDevice(target, result, &out);
        return recordedRead(target, *session, operation_word::TEST, result, [&](ReadNote& note) {
            const std::string status = queryBridgeStatus(*session);
            out << "Status: " << status << '\n';
            const FirmwareVersion& version = session->identify();
            if (version.valid) {
                printVersion(out, version);
            } else {
                logError(result, "Failed at getting ARM Version.");
                // The test's status stays as it always was; its entry says what it found.
                note.problem = "Failed at getting ARM Version.";
            }
            return EXIT_OK;
        });
    });
}

} // namespace

FlowResult testDevice(const DeviceTarget& target, std::ostream& out) {
    FlowResult result;
    if (target.listed)
        return result.ended(
            testListedDevice(target.backend, target.node, target.index, target.recording, result, out));
    const std::vector<DeviceInfoNode> devices = listDevices(*target.backend);
    spdlog::info("Devices found: {}", devices.size());
    // Without a serial number the first device is tested, whatever else is listed.
    if (devices.empty() && target.serial.empty())
        return result.ended(EXIT_OK);
    int index = 0;
    if (!target.serial.empty()) {
        const DeviceChoice choice = chooseDevice(devices, target.serial);
        if (choice.index < 0) {
            logError(result, choice.error);
            return result.ended(EXIT_FAILED);
        }
        index = choice.index;
    }
    return result.ended(testListedDevice(target.backend, devices[static_cast<std::size_t>(index)], index,
                                         target.recording, result, out));
}
