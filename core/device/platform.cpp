#include "core/device/platform.h"

#include "core/device/backend.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

struct PlatformDevice {
    std::unique_ptr<PlatformPort> port;
};

namespace {

// The installed backend and the list the last platformCreateDeviceInfoList built. Panels
// may list and open from more than one thread, so both are guarded.
struct Installed {
    std::mutex mutex;
    std::shared_ptr<PlatformBackend> backend;
    std::vector<DeviceInfoNode> list;
};

Installed& installed() {
    static Installed state;
    return state;
}

PlatformPort* portOf(PlatformHandle handle) {
    return handle != nullptr ? handle->port.get() : nullptr;
}

template <std::size_t N> void copyText(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

} // namespace

DeviceInfoNode makeDeviceInfoNode(const std::string& serial, const std::string& description, std::uint32_t id,
                                  std::uint32_t locId) {
    DeviceInfoNode node{};
    node.type = 5;
    node.id = id;
    node.locId = locId;
    copyText(node.serialNumber, serial);
    copyText(node.description, description);
    node.handle = nullptr;
    return node;
}

std::shared_ptr<PlatformBackend> installPlatformBackend(std::shared_ptr<PlatformBackend> backend) {
    Installed& state = installed();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.list.clear();
    return std::exchange(state.backend, std::move(backend));
}

std::shared_ptr<PlatformBackend> installedPlatformBackend() {
    Installed& state = installed();
    const std::lock_guard<std::mutex> lock(state.mutex);
    return state.backend;
}

PlatformPort* platformPortOf(PlatformHandle handle) {
    return portOf(handle);
}

PlatformStatus platformCreateDeviceInfoList(std::uint32_t& count) {
    count = 0;
    const std::shared_ptr<PlatformBackend> backend = installedPlatformBackend();
    std::vector<DeviceInfoNode> list;
    if (backend) {
        if (const PlatformStatus status = backend->listDevices(list); status != PLATFORM_OK)
            return status;
    }
    Installed& state = installed();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.list = list;
    count = static_cast<std::uint32_t>(list.size());
    return PLATFORM_OK;
}

PlatformStatus platformGetDeviceInfoList(DeviceInfoNode* list, std::uint32_t& count) {
    Installed& state = installed();
    const std::lock_guard<std::mutex> lock(state.mutex);
    const auto& nodes = state.list;
    const std::size_t n = list == nullptr ? 0 : std::min<std::size_t>(count, nodes.size());
    std::copy(nodes.begin(), nodes.begin() + static_cast<long>(n), list);
    count = static_cast<std::uint32_t>(nodes.size());
    return PLATFORM_OK;
}

PlatformStatus platformOpen(int index, PlatformHandle& handle) {
    handle = nullptr;
    const std::shared_ptr<PlatformBackend> backend = installedPlatformBackend();
    if (!backend)
        return PLATFORM_DEVICE_NOT_FOUND;
    return platformOpenFrom(*backend, index, handle);
}

PlatformStatus platformOpenFrom(PlatformBackend& backend, int index, PlatformHandle& handle) {
    handle = nullptr;
    if (index < 0)
        return PLATFORM_DEVICE_NOT_FOUND;
    std::unique_ptr<PlatformPort> port;
    if (const PlatformStatus status = backend.open(index, port); status != PLATFORM_OK)
        return status;
    if (!port)
        return PLATFORM_DEVICE_NOT_OPENED;
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
    PlatformPort* port = portOf(handle);
    return port != nullptr ? port->setTimeouts(readMs, writeMs) : PLATFORM_INVALID_HANDLE;
}

PlatformStatus platformRead(PlatformHandle handle, void* buffer, std::uint32_t count,
                            std::uint32_t& received) {
    received = 0;
    PlatformPort* port = portOf(handle);
    if (port == nullptr || (buffer == nullptr && count > 0))
        return PLATFORM_INVALID_HANDLE;
    return port->read(static_cast<std::uint8_t*>(buffer), count, received);
}

PlatformStatus platformWrite(PlatformHandle handle, const void* data, std::uint32_t count,
                             std::uint32_t& written) {
    written = 0;
    PlatformPort* port = portOf(handle);
    if (port == nullptr || (data == nullptr && count > 0))
        return PLATFORM_INVALID_HANDLE;
    return port->write(static_cast<const std::uint8_t*>(data), count, written);
}

PlatformStatus platformGetStatus(PlatformHandle handle, std::uint32_t& rxQueue, std::uint32_t& txQueue,
                                 std::uint32_t& events) {
    rxQueue = 0;
    txQueue = 0;
    events = 0;
    PlatformPort* port = portOf(handle);
    return port != nullptr ? port->queued(rxQueue) : PLATFORM_INVALID_HANDLE;
}

PlatformStatus platformGetChipId(PlatformHandle handle, std::uint32_t& chipId) {
    chipId = 0;
    PlatformPort* port = portOf(handle);
    return port != nullptr ? port->chipId(chipId) : PLATFORM_INVALID_HANDLE;
}
