#pragma once
// Listing, opening and owning the connected bridges, through the backend the caller hands in.

#include "core/device/backend.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// The device list of the backend; empty when nothing is connected. Throws std::runtime_error
// "Error: FT_CreateDeviceInfoList(...):  Status: <n>" when the list cannot be built, and the
// backend's own std::runtime_error when it cannot work at all.
std::vector<DeviceInfoNode> enumerateDevices(DeviceBackend& backend);

// Move-only owner of one open device; closes it when destroyed or reset.
class DeviceHandle {
public:
    DeviceHandle() = default;
    explicit DeviceHandle(std::unique_ptr<DevicePort> port) : port_(std::move(port)) {}
    DeviceHandle(DeviceHandle&& other) noexcept
        : port_(std::move(other.port_)), putBack_(std::move(other.putBack_)),
          inFlight_(std::exchange(other.inFlight_, false)),
          resyncExchanges_(std::exchange(other.resyncExchanges_, 0)) {
        other.putBack_.clear();
    }
    DeviceHandle& operator=(DeviceHandle&& other) noexcept;
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    ~DeviceHandle() = default;

    // The open port; nullptr when there is none.
    DevicePort* port() const { return port_.get(); }
    // Close the device (if one is open).
    void reset();
    explicit operator bool() const { return port_ != nullptr; }

    // The open device's operations. Each returns a status; a null handle gives
    // STATUS_INVALID_HANDLE and moves nothing. Bytes put back come first, before the port's.
    DeviceStatus read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received);
    DeviceStatus write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) const;
    // The number of bytes waiting in the receive queue, those put back included.
    DeviceStatus queued(std::uint32_t& received) const;
    // Sleeps until count bytes are waiting or the deadline passes; STATUS_IO_ERROR when the
    // device is gone.
    DeviceStatus waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                            std::uint32_t& received) const;
    // Puts bytes that were read back in front of the receive queue, to be read again: a reader
    // that looked ahead for the start of its answer returns what turned out to be part of it.
    void putBack(const std::uint8_t* data, std::uint32_t count);
    DeviceStatus setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) const;
    DeviceStatus chipId(std::uint32_t& id) const;
    // How bytes travel on the line; all zero for a null handle.
    LineTiming timing() const;
    // What the device is, for messages: its port ("/dev/ttyUSB0"); empty for a null handle.
    std::string name() const;

    // Whether bytes the program did not ask for may still be on their way, so that the next
    // exchange reads its answers through them: from before the device was opened (another
    // program, or a run that was killed mid-exchange), or from an exchange of ours that ended
    // before its reply was taken whole. The link marks an exchange begun (true) and its reply
    // taken whole (false). It lives here because the device outlives any one link.
    bool unsettled() const { return inFlight_ || resyncExchanges_ > 0; }
    void setUnsettled(bool unsettled) {
        inFlight_ = unsettled;
        if (!unsettled && resyncExchanges_ > 0)
            --resyncExchanges_;
    }

    // Whether an exchange of ours ended before its reply was taken whole.
    bool exchangeFailed() const { return inFlight_; }
    // After the receive queue was emptied (the flush when a device is opened), bytes may still
    // come that were on their way: a killed program may have left a whole acknowledge and
    // reply, which the first exchange can take for its own; its own answers then come after,
    // so the second exchange still reads through what it did not ask for.
    // The flush also drained what a failed exchange of ours left, so none counts as pending.
    void expectLateBytes() {
        inFlight_ = false;
        resyncExchanges_ = AFTER_FLUSH_RESYNC_EXCHANGES;
    }
    static constexpr int AFTER_FLUSH_RESYNC_EXCHANGES = 2;

private:
    std::unique_ptr<DevicePort> port_;
    // Bytes put back, in the order they are read again.
    std::vector<std::uint8_t> putBack_;
    bool inFlight_ = false;
    int resyncExchanges_ = 0;
};

// Opening failed: what() is "Failed to open device", status() the reason
// (STATUS_DEVICE_NOT_FOUND when the device is no longer connected, STATUS_DEVICE_IN_USE when
// another program holds it) and reason() the sentence that says so, naming the device or its
// port: "Device <serial> is not connected", "... is in use by another program", the backend's
// own reason ("Cannot open serial port /dev/ttyUSB0: Is a directory"), or else
// "Device <serial> could not be opened (status <n>)".
class device_open_error : public std::runtime_error {
public:
    device_open_error(DeviceStatus status, std::string reason)
        : std::runtime_error("Failed to open device"), status_(status), reason_(std::move(reason)) {}
    DeviceStatus status() const { return status_; }
    const std::string& reason() const { return reason_; }

private:
    DeviceStatus status_;
    std::string reason_;
};

// Open the listed device by what identifies it. When it cannot be opened, the reason is
// logged at error level and device_open_error is thrown carrying it.
DeviceHandle openDevice(DeviceBackend& backend, const DeviceInfoNode& node);
// A backend that cannot work (its library missing, its name unknown): it lists and opens
// nothing, throwing std::runtime_error(reason) instead.
std::shared_ptr<DeviceBackend> makeUnavailableBackend(std::string name, std::string reason);

// The bridge's 32-bit chip identifier (0 when it cannot be read).
std::uint32_t readChipId(const DeviceHandle& handle);
// Read and write time-outs in milliseconds; failures are ignored.
void setDeviceTimeouts(const DeviceHandle& handle, std::uint32_t readMs, std::uint32_t writeMs);
