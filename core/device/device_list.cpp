#include "core/device/device_list.h"

#include "core/device/backend.h"

#include <stdexcept>
#include <string>
#include <utility>

std::vector<DeviceInfoNode> enumerateDevices() {
    std::uint32_t count = 0;
    const PlatformStatus status = platformCreateDeviceInfoList(count);
    if (status != PLATFORM_OK)
        throw std::runtime_error("Error: FT_CreateDeviceInfoList(...):  Status: " + std::to_string(status));
    std::vector<DeviceInfoNode> nodes(count, DeviceInfoNode{});
    if (count > 0)
        platformGetDeviceInfoList(nodes.data(), count);
    return nodes;
}

DeviceHandle& DeviceHandle::operator=(DeviceHandle&& other) noexcept {
    if (this != &other) {
        const bool unsettled = other.unsettled_;
        reset(other.release());
        unsettled_ = unsettled;
    }
    return *this;
}

PlatformHandle DeviceHandle::release() {
    unsettled_ = false;
    return std::exchange(handle_, nullptr);
}

void DeviceHandle::reset(PlatformHandle handle) {
    const PlatformHandle previous = std::exchange(handle_, handle);
    unsettled_ = false;
    if (previous != nullptr)
        platformClose(previous);
}

PlatformStatus DeviceHandle::read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) const {
    return platformRead(handle_, buffer, count, received);
}

PlatformStatus DeviceHandle::write(const std::uint8_t* data, std::uint32_t count,
                                   std::uint32_t& written) const {
    return platformWrite(handle_, data, count, written);
}

PlatformStatus DeviceHandle::queued(std::uint32_t& received) const {
    std::uint32_t tx = 0, events = 0;
    return platformGetStatus(handle_, received, tx, events);
}

PlatformStatus DeviceHandle::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) const {
    return platformSetTimeouts(handle_, readMs, writeMs);
}

PlatformStatus DeviceHandle::chipId(std::uint32_t& id) const {
    return platformGetChipId(handle_, id);
}

PlatformStatus DeviceHandle::waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                                        std::uint32_t& received) const {
    received = 0;
    PlatformPort* port = platformPortOf(handle_);
    return port != nullptr ? port->waitQueued(count, deadline, received) : PLATFORM_INVALID_HANDLE;
}

bool DeviceHandle::idleUntilWritten() const {
    const PlatformPort* port = platformPortOf(handle_);
    return port != nullptr && port->idleUntilWritten();
}

std::string DeviceHandle::name() const {
    const PlatformPort* port = platformPortOf(handle_);
    return port != nullptr ? port->name() : std::string();
}

DeviceHandle openDeviceByIndex(int index) {
    PlatformHandle handle = nullptr;
    if (const PlatformStatus status = platformOpen(index, handle); status != PLATFORM_OK || handle == nullptr)
        throw device_open_error(status != PLATFORM_OK ? status : PLATFORM_DEVICE_NOT_OPENED);
    return DeviceHandle(handle);
}

DeviceHandle openDeviceByIndex(PlatformBackend& backend, int index) {
    PlatformHandle handle = nullptr;
    if (const PlatformStatus status = platformOpenFrom(backend, index, handle);
        status != PLATFORM_OK || handle == nullptr)
        throw device_open_error(status != PLATFORM_OK ? status : PLATFORM_DEVICE_NOT_OPENED);
    return DeviceHandle(handle);
}

std::uint32_t readChipId(const DeviceHandle& handle) {
    std::uint32_t chipId = 0;
    if (handle.chipId(chipId) != PLATFORM_OK)
        return 0;
    return chipId;
}

void setDeviceTimeouts(const DeviceHandle& handle, std::uint32_t readMs, std::uint32_t writeMs) {
    handle.setTimeouts(readMs, writeMs);
}
