#pragma once
// Listing, opening and owning the connected bridges.

#include "core/device/platform.h"

#include <cstdint>
#include <string>
#include <vector>

// The device-information list in the driver's order; empty when nothing is connected.
// Throws std::runtime_error "Error: FT_CreateDeviceInfoList(...):  Status: <n>" when the
// list cannot be built.
std::vector<DeviceInfoNode> enumerateDevices();

// Move-only owner of one open device; closes it when destroyed or reset.
class DeviceHandle {
public:
    DeviceHandle() = default;
    explicit DeviceHandle(PlatformHandle handle) : handle_(handle) {}
    ~DeviceHandle() { reset(); }
    DeviceHandle(DeviceHandle&& other) noexcept : handle_(other.release()) {}
    DeviceHandle& operator=(DeviceHandle&& other) noexcept;
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;

    PlatformHandle get() const { return handle_; }
    PlatformHandle release();
    void reset(PlatformHandle handle = nullptr);
    explicit operator bool() const { return handle_ != nullptr; }

    // The open device's operations. Each returns a platform status; a null handle gives
    // PLATFORM_INVALID_HANDLE and moves nothing.
    PlatformStatus read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) const;
    PlatformStatus write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) const;
    // The number of bytes waiting in the receive queue.
    PlatformStatus queued(std::uint32_t& received) const;
    PlatformStatus setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) const;
    PlatformStatus chipId(std::uint32_t& id) const;
    // What the device is, for messages: its port ("/dev/ttyUSB0"); empty for a null handle.
    std::string name() const;

private:
    PlatformHandle handle_ = nullptr;
};

class PlatformBackend;

// Open the device at list index. Throws std::runtime_error "Failed to open device".
DeviceHandle openDeviceByIndex(int index);
// The same from a given backend rather than the installed one.
DeviceHandle openDeviceByIndex(PlatformBackend& backend, int index);
// The bridge's 32-bit chip identifier (0 when it cannot be read).
std::uint32_t readChipId(const DeviceHandle& handle);
// Read and write time-outs in milliseconds; failures are ignored.
void setDeviceTimeouts(const DeviceHandle& handle, std::uint32_t readMs, std::uint32_t writeMs);
