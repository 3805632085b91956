#include "core/device/device_list.h"

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
    if (this != &other)
        reset(other.release());
    return *this;
}

PlatformHandle DeviceHandle::release() {
    return std::exchange(handle_, nullptr);
}

void DeviceHandle::reset(PlatformHandle handle) {
    const PlatformHandle previous = std::exchange(handle_, handle);
    if (previous != nullptr)
        platformClose(previous);
}

DeviceHandle openDeviceByIndex(int index) {
    PlatformHandle handle = nullptr;
    if (platformOpen(index, handle) != PLATFORM_OK || handle == nullptr)
        throw std::runtime_error("Failed to open device");
    return DeviceHandle(handle);
}

std::uint32_t readChipId(const DeviceHandle& handle) {
    std::uint32_t chipId = 0;
    if (platformGetChipId(handle.get(), chipId) != PLATFORM_OK)
        return 0;
    return chipId;
}

void setDeviceTimeouts(const DeviceHandle& handle, std::uint32_t readMs, std::uint32_t writeMs) {
    platformSetTimeouts(handle.get(), readMs, writeMs);
}
