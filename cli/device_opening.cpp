#include "cli/device_opening.h"

#include "cli/console_lines.h"
#include "cli/exit_status.h"
#include "core/ops/device_choice.h"

#include <mutex>

std::vector<DeviceInfoNode> listDevices() {
    try {
        return enumerateDevices();
    } catch (const std::runtime_error& error) {
        throw DeviceSetupError(error.what());
    }
}

namespace {

// Several workers may open their devices at once; the platform's open is not made for that.
std::mutex openMutex;

std::unique_ptr<ControllerSession> openSession(const DeviceInfoNode& node, int index, FlowResult& result) {
    try {
        DeviceHandle handle;
        {
            const std::lock_guard<std::mutex> lock(openMutex);
            handle = openDeviceByIndex(index);
        }
        auto session = std::make_unique<ControllerSession>(std::move(handle), node, index);
        result.serial = session->serial();
        result.description = session->description();
        return session;
    } catch (const std::runtime_error& error) {
        throw DeviceSetupError(error.what());
    }
}

std::unique_ptr<ControllerSession> openNode(const DeviceInfoNode& node, int index, FlowResult& result,
                                            std::ostream* blockOut) {
    if (blockOut == nullptr)
        return openSession(node, index, result);
    printDeviceBlock(*blockOut, node, index);
    auto session = openSession(node, index, result);
    printChipId(*blockOut, session->chipId());
    return session;
}

} // namespace

std::unique_ptr<ControllerSession> openChosenDevice(const DeviceTarget& target, FlowResult& result,
                                                    std::ostream* blockOut) {
    if (target.listed)
        return openNode(target.node, target.index, result, blockOut);
    const std::vector<DeviceInfoNode> devices = listDevices();
    const DeviceChoice choice = chooseDevice(devices, target.serial);
    if (choice.index < 0) {
        logError(result, choice.error);
        return nullptr;
    }
    return openNode(devices[static_cast<std::size_t>(choice.index)], choice.index, result, blockOut);
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
