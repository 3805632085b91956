#include "cli/device_opening.h"

#include "cli/console_lines.h"
#include "cli/exit_status.h"
#include "core/device/device_list.h"
#include "core/ops/device_choice.h"

#include <mutex>

std::vector<DeviceInfoNode> listDevices(DeviceBackend& backend) {
    try {
        return enumerateDevices(backend);
    } catch (const std::runtime_error& error) {
        throw DeviceSetupError(error.what());
    }
}

namespace {

// Several workers may open their devices at once; a backend's open is not made for that.
std::mutex openMutex;

std::unique_ptr<ControllerSession> openSession(DeviceBackend& backend, const DeviceInfoNode& node, int index,
                                               FlowResult& result) {
    try {
        DeviceHandle handle;
        {
            const std::lock_guard<std::mutex> lock(openMutex);
            handle = openDevice(backend, node);
        }
        auto session = std::make_unique<ControllerSession>(std::move(handle), node, index);
        result.serial = session->serial();
        result.description = session->description();
        return session;
    } catch (const device_open_error& error) {
        // The device layer has said why (not connected, in use, the port's own refusal); the
        // result keeps that as its error, ahead of the fixed "Failed to open device".
        result.noteError(error.reason());
        throw DeviceSetupError(error.what());
    } catch (const std::runtime_error& error) {
        throw DeviceSetupError(error.what());
    }
}

std::unique_ptr<ControllerSession> openNode(DeviceBackend& backend, const DeviceInfoNode& node, int index,
                                            FlowResult& result, std::ostream* blockOut) {
    if (blockOut == nullptr)
        return openSession(backend, node, index, result);
    printDeviceBlock(*blockOut, node, index);
    auto session = openSession(backend, node, index, result);
    printChipId(*blockOut, session->chipId());
    return session;
}

} // namespace

std::unique_ptr<ControllerSession> openChosenDevice(const DeviceTarget& target, FlowResult& result,
                                                    std::ostream* blockOut) {
    DeviceBackend& backend = *target.backend;
    if (target.listed)
        return openNode(backend, target.node, target.index, result, blockOut);
    const std::vector<DeviceInfoNode> devices = listDevices(backend);
    const DeviceChoice choice = chooseDevice(devices, target.serial);
    if (choice.index < 0) {
        logError(result, choice.error);
        return nullptr;
    }
    return openNode(backend, devices[static_cast<std::size_t>(choice.index)], choice.index, result, blockOut);
}

bool checkVersion(ControllerSession& session, FlowResult& result, std::ostream* versionOut, bool forWriting) {
    const FirmwareVersion version = session.identify();
    if (!version.valid) {
        logError(result, "Failed at getting ARM Version.");
        return false;
    }
    if (versionOut != nullptr)
        printVersion(*versionOut, version);
    if (forWriting && !session.writable()) {
        logError(result, fmt::format("This application only works with FW version 5.2. Curent Version: {}.{}",
                                     version.major, version.minor));
        return false;
    }
    return true;
}
