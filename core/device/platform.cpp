#include "core/device/platform.h"

#include "core/device/serial_port.h"
#include "core/device/simulator.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <variant>
#include <vector>

namespace {

// The in-process simulated bridge; reads wait for bytes that are on their way (a reply
// still inside its latency) but never for bytes that will not come.
struct SimPort {
    std::unique_ptr<SimulatedDevice> device;
    std::uint32_t readTimeoutMs = 5000;
};

} // namespace

struct PlatformDevice {
    std::variant<SimPort, SerialPort> port;
};

namespace {

// The list the last platformCreateDeviceInfoList built, handed out by platformGetDeviceInfoList.
std::vector<DeviceInfoNode>& deviceList() {
    static std::vector<DeviceInfoNode> list;
    return list;
}

std::optional<std::string> simulatorScenarioText() {
    const char* text = std::getenv("VARKO5_SIMULATOR");
    if (text == nullptr)
        return std::nullopt;
    return std::string(text);
}

std::optional<SimScenario> loadScenario(const std::string& text) {
    try {
        return parseSimScenario(text);
    } catch (const std::invalid_argument& error) {
        spdlog::error("VARKO5_SIMULATOR: {}", error.what());
        return std::nullopt;
    }
}

template <std::size_t N> void copyText(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

DeviceInfoNode makeNode(const std::string& serial, const std::string& description, std::uint32_t id,
                        std::uint32_t locId) {
    DeviceInfoNode node{};
    node.type = 5; // a single-port full-speed bridge
    node.id = id;
    node.locId = locId;
    copyText(node.serialNumber, serial);
    copyText(node.description, description);
    node.handle = nullptr;
    return node;
}

} // namespace

SimulatedDevice* simulatedDeviceOf(PlatformDevice* handle) {
    if (handle == nullptr)
        return nullptr;
    auto* sim = std::get_if<SimPort>(&handle->port);
    return sim != nullptr ? sim->device.get() : nullptr;
}

PlatformStatus platformCreateDeviceInfoList(std::uint32_t& count) {
    count = 0;
    std::vector<DeviceInfoNode> list;
    if (const auto text = simulatorScenarioText()) {
        const auto scenario = loadScenario(*text);
        if (!scenario)
            return PLATFORM_INVALID_PARAMETER;
        if (scenario->listError != 0)
            return scenario->listError;
        for (int index = 0; index < scenario->devices; ++index) {
            const SimDeviceSettings settings = simDeviceSettings(*scenario, index);
            list.push_back(makeNode(settings.serial, settings.description, 0x04036001u,
                                    static_cast<std::uint32_t>(0x11 + index)));
        }
    } else {
        for (const SerialPortInfo& port : listSerialPorts())
            list.push_back(makeNode(port.serial, port.description, port.id, 0));
    }
    deviceList() = list;
    count = static_cast<std::uint32_t>(list.size());
    return PLATFORM_OK;
}

PlatformStatus platformGetDeviceInfoList(DeviceInfoNode* list, std::uint32_t& count) {
    const auto& nodes = deviceList();
    const std::size_t n = list == nullptr ? 0 : std::min<std::size_t>(count, nodes.size());
    std::copy(nodes.begin(), nodes.begin() + static_cast<long>(n), list);
    count = static_cast<std::uint32_t>(nodes.size());
    return PLATFORM_OK;
}

PlatformStatus platformOpen(int index, PlatformHandle& handle) {
    handle = nullptr;
    if (index < 0)
        return PLATFORM_DEVICE_NOT_FOUND;
    if (const auto text = simulatorScenarioText()) {
        auto scenario = loadScenario(*text);
        if (!scenario)
            return PLATFORM_INVALID_PARAMETER;
        if (scenario->openError)
            return PLATFORM_DEVICE_NOT_OPENED;
        if (index >= scenario->devices)
            return PLATFORM_DEVICE_NOT_FOUND;
        auto records = simulatorSharedRecords(*text, index);
        auto device = std::make_unique<SimulatedDevice>(std::move(*scenario), index, std::move(records));
        handle = new PlatformDevice{SimPort{std::move(device)}};
        return PLATFORM_OK;
    }
    const std::vector<SerialPortInfo> ports = listSerialPorts();
    if (static_cast<std::size_t>(index) >= ports.size())
        return PLATFORM_DEVICE_NOT_FOUND;
    SerialPort port;
    if (const PlatformStatus status = port.open(ports[static_cast<std::size_t>(index)].path);
        status != PLATFORM_OK)
        return status;
    handle = new PlatformDevice{std::move(port)};
    return PLATFORM_OK;
}

PlatformStatus platformClose(PlatformHandle handle) {
    if (handle == nullptr)
        return PLATFORM_INVALID_HANDLE;
    delete handle;
    return PLATFORM_OK;
}

PlatformStatus platformSetTimeouts(PlatformHandle handle, std::uint32_t readMs, std::uint32_t writeMs) {
    if (handle == nullptr)
        return PLATFORM_INVALID_HANDLE;
    if (auto* sim = std::get_if<SimPort>(&handle->port))
        sim->readTimeoutMs = readMs;
    else
        std::get<SerialPort>(handle->port).setTimeouts(readMs, writeMs);
    return PLATFORM_OK;
}

PlatformStatus platformRead(PlatformHandle handle, void* buffer, std::uint32_t count,
                            std::uint32_t& received) {
    received = 0;
    if (handle == nullptr || (buffer == nullptr && count > 0))
        return PLATFORM_INVALID_HANDLE;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    if (auto* sim = std::get_if<SimPort>(&handle->port)) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(sim->readTimeoutMs);
        SimulatedDevice& device = *sim->device;
        while (device.readable() < count && device.hasPending() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_until(std::min(device.nextDue(), deadline));
        received = static_cast<std::uint32_t>(device.take(bytes, count));
        return PLATFORM_OK;
    }
    return std::get<SerialPort>(handle->port).read(bytes, count, received) ? PLATFORM_OK : PLATFORM_IO_ERROR;
}

PlatformStatus platformWrite(PlatformHandle handle, const void* data, std::uint32_t count,
                             std::uint32_t& written) {
    written = 0;
    if (handle == nullptr || (data == nullptr && count > 0))
        return PLATFORM_INVALID_HANDLE;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (auto* sim = std::get_if<SimPort>(&handle->port)) {
        sim->device->receive(bytes, count);
        written = count;
        return PLATFORM_OK;
    }
    return std::get<SerialPort>(handle->port).write(bytes, count, written) ? PLATFORM_OK : PLATFORM_IO_ERROR;
}

PlatformStatus platformGetStatus(PlatformHandle handle, std::uint32_t& rxQueue, std::uint32_t& txQueue,
                                 std::uint32_t& events) {
    rxQueue = 0;
    txQueue = 0;
    events = 0;
    if (handle == nullptr)
        return PLATFORM_INVALID_HANDLE;
    if (auto* sim = std::get_if<SimPort>(&handle->port)) {
        rxQueue = static_cast<std::uint32_t>(sim->device->readable());
        return PLATFORM_OK;
    }
    return std::get<SerialPort>(handle->port).queued(rxQueue, txQueue) ? PLATFORM_OK : PLATFORM_IO_ERROR;
}

PlatformStatus platformGetChipId(PlatformHandle handle, std::uint32_t& chipId) {
    chipId = 0;
    if (handle == nullptr)
        return PLATFORM_INVALID_HANDLE;
    if (auto* sim = std::get_if<SimPort>(&handle->port)) {
        chipId = sim->device->settings().chipId;
        return PLATFORM_OK;
    }
    // Reading the identifier needs the vendor's own library.
    return PLATFORM_OK;
}
