#pragma once
// Listing, opening and owning the connected bridges.

#include "core/device/platform.h"

#include <chrono>
#include <cstdint>
#include <stdexcept>
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
    DeviceHandle(DeviceHandle&& other) noexcept : handle_(other.handle_), unsettled_(other.unsettled_) {
        other.handle_ = nullptr;
        other.unsettled_ = false;
    }
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
    // Sleeps until count bytes are waiting or the deadline passes; PLATFORM_IO_ERROR when the
    // device is gone.
    PlatformStatus waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                              std::uint32_t& received) const;
    PlatformStatus setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) const;
    PlatformStatus chipId(std::uint32_t& id) const;
    // Whether no byte can arrive before the next write (see PlatformPort::idleUntilWritten).
    bool idleUntilWritten() const;
    // What the device is, for messages: its port ("/dev/ttyUSB0"); empty for a null handle.
    std::string name() const;

    // Whether the last exchange on this device ended before its reply was taken whole, so
    // that bytes of it may still be on their way. The link sets and clears it; it lives here
    // because the device outlives any one link.
    bool unsettled() const { return unsettled_; }
    void setUnsettled(bool unsettled) { unsettled_ = unsettled; }

private:
    PlatformHandle handle_ = nullptr;
    bool unsettled_ = false;
};

class PlatformBackend;

// Opening failed: what() is "Failed to open device", status() the platform's reason
// (PLATFORM_DEVICE_IN_USE when another program holds the port).
class device_open_error : public std::runtime_error {
public:
    explicit device_open_error(PlatformStatus status)
        : std::runtime_error("Failed to open device"), status_(status) {}
    PlatformStatus status() const { return status_; }

private:
    PlatformStatus status_;
};

// Open the device at list index. Throws device_open_error (a std::runtime_error,
// "Failed to open device").
DeviceHandle openDeviceByIndex(int index);
// The same from a given backend rather than the installed one.
DeviceHandle openDeviceByIndex(PlatformBackend& backend, int index);
// The bridge's 32-bit chip identifier (0 when it cannot be read).
std::uint32_t readChipId(const DeviceHandle& handle);
// Read and write time-outs in milliseconds; failures are ignored.
void setDeviceTimeouts(const DeviceHandle& handle, std::uint32_t readMs, std::uint32_t writeMs);
