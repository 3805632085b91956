#pragma once
// What stands behind the device layer: a backend lists the bridges and opens one by what
// identifies it, and an open port moves the bytes. The backends are the serial ports of the
// operating system (core/device/serial_backend.h), FTDI's D2XX driver library loaded at run
// time (core/device/d2xx_backend.h) and the simulated bridge and controller (simulator/). A
// program builds one from its environment (core/device/backend_choice.h) and hands it to
// whatever lists and opens devices; a test hands in the one it needs. Ports opened from a
// backend own everything they use, so they outlive the backend they came from.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The status of a device call: 0 for success, otherwise the reason, numbered as the vendor's
// driver numbers its own.
using DeviceStatus = std::uint32_t;
constexpr DeviceStatus STATUS_OK = 0;
constexpr DeviceStatus STATUS_INVALID_HANDLE = 1;
constexpr DeviceStatus STATUS_DEVICE_NOT_FOUND = 2;
constexpr DeviceStatus STATUS_DEVICE_NOT_OPENED = 3;
constexpr DeviceStatus STATUS_IO_ERROR = 4;
constexpr DeviceStatus STATUS_INVALID_PARAMETER = 6;
constexpr DeviceStatus STATUS_INVALID_BAUD_RATE = 7;
// Not one of the driver's: the device is open in another program (or another handle of this
// one), so it was not opened. Kept apart so that a front end can say so.
constexpr DeviceStatus STATUS_DEVICE_IN_USE = 32;

// One entry of the device list: the fields of the driver's device-information node, and
// where the device was found.
struct DeviceInfoNode {
    std::uint32_t flags = 0;
    std::uint32_t type = 0;
    std::uint32_t id = 0;
    std::uint32_t locId = 0;
    char serialNumber[16] = {};
    char description[64] = {};
    // The driver's handle of a device open at listing time; never used to talk to it.
    const void* handle = nullptr;
    // The port path of a serial port, which it is opened by; empty where the serial number
    // identifies the device (D2XX, the simulator).
    std::string port;
};

// A node as the backends list a bridge: type 5 (a single-port full-speed bridge), the texts cut
// to their fields and NUL-terminated, no handle.
DeviceInfoNode makeDeviceInfoNode(const std::string& serial, const std::string& description, std::uint32_t id,
                                  std::uint32_t locId, const std::string& port = {});

// The node's serial number and description as text (the fields need not be NUL-terminated).
std::string serialNumberOf(const DeviceInfoNode& node);
std::string descriptionOf(const DeviceInfoNode& node);

// What opening a device came to: its status and, when it failed for a reason the backend knows
// better than the status tells (the system's own words for why a port would not open), the
// sentence that says so, naming the port; empty otherwise.
struct OpenResult {
    DeviceStatus status = STATUS_OK;
    std::string reason;
};

// How bytes travel on an open line, so that the link waits as long as the line needs and no
// longer.
struct LineTiming {
    std::uint32_t baud = 0;           // 0: not paced (a simulated line)
    std::uint32_t latencyTimerMs = 0; // how long the bridge may hold received bytes; 0: at once
};

// One open bridge. A port is used by one thread at a time (its handle's owner).
class DevicePort {
public:
    virtual ~DevicePort() = default;

    // What the port is, for messages ("/dev/ttyUSB0", "VK5SIM0001").
    virtual std::string name() const = 0;
    virtual DeviceStatus setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) = 0;
    // Up to count bytes, waiting at most the read time-out for them to arrive.
    virtual DeviceStatus read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) = 0;
    virtual DeviceStatus write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) = 0;
    // Bytes waiting to be read.
    virtual DeviceStatus queued(std::uint32_t& received) = 0;
    // Returns once at least count bytes are waiting or the deadline has passed, with the
    // number waiting. A port that is gone (a bridge unplugged) gives STATUS_IO_ERROR.
    virtual DeviceStatus waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                                    std::uint32_t& received) = 0;
    virtual DeviceStatus chipId(std::uint32_t& id) = 0;
    virtual LineTiming timing() const = 0;

protected:
    DevicePort() = default;
    DevicePort(const DevicePort&) = default;
    DevicePort& operator=(const DevicePort&) = default;
};

class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;

    // The backend's name, for messages ("serial", "d2xx", "simulator").
    virtual std::string name() const = 0;
    // The connected bridges. A backend that cannot work at all (its library missing) throws
    // std::runtime_error saying why.
    virtual DeviceStatus listDevices(std::vector<DeviceInfoNode>& nodes) = 0;
    // Opens the listed device by what identifies it (its port path, or its serial number),
    // never by its place in a list: a device that is gone gives STATUS_DEVICE_NOT_FOUND, one
    // held elsewhere STATUS_DEVICE_IN_USE. Any other failure carries its reason when the
    // backend knows one; a backend logs nothing of a failed open, its caller says it.
    virtual OpenResult open(const DeviceInfoNode& node, std::unique_ptr<DevicePort>& port) = 0;

protected:
    DeviceBackend() = default;
    DeviceBackend(const DeviceBackend&) = default;
    DeviceBackend& operator=(const DeviceBackend&) = default;
};
