#pragma once
// What stands behind the platform calls: a backend lists the bridges and opens one, and an
// open port moves the bytes. Two backends exist, the serial ports of the operating system
// (core/device/serial_backend.h) and the simulated bridge and controller (simulator/); a
// program installs one at start-up, a test the one it needs. Ports opened from a backend own
// everything they use, so installing another backend leaves open devices working.

#include "core/device/platform.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One open bridge. A port is used by one thread at a time (its handle's owner).
class PlatformPort {
public:
    virtual ~PlatformPort() = default;

    // What the port is, for messages ("/dev/ttyUSB0", "simulated device 0").
    virtual std::string name() const = 0;
    virtual PlatformStatus setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) = 0;
    // Up to count bytes, waiting at most the read time-out for them to arrive.
    virtual PlatformStatus read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) = 0;
    virtual PlatformStatus write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) = 0;
    // Bytes waiting to be read.
    virtual PlatformStatus queued(std::uint32_t& received) = 0;
    // Returns once at least count bytes are waiting or the deadline has passed, with the
    // number waiting; it sleeps meanwhile. A port that is gone (a bridge unplugged) gives
    // PLATFORM_IO_ERROR.
    virtual PlatformStatus waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                                      std::uint32_t& received) = 0;
    virtual PlatformStatus chipId(std::uint32_t& id) = 0;
    // True when the port knows that no byte can arrive before the host writes again (a
    // simulated device with nothing on its way); a real line can never promise that.
    virtual bool idleUntilWritten() const { return false; }

protected:
    PlatformPort() = default;
    PlatformPort(const PlatformPort&) = default;
    PlatformPort& operator=(const PlatformPort&) = default;
};

class PlatformBackend {
public:
    virtual ~PlatformBackend() = default;

    // The connected bridges, in the order they are opened by index.
    virtual PlatformStatus listDevices(std::vector<DeviceInfoNode>& nodes) = 0;
    virtual PlatformStatus open(int index, std::unique_ptr<PlatformPort>& port) = 0;

protected:
    PlatformBackend() = default;
    PlatformBackend(const PlatformBackend&) = default;
    PlatformBackend& operator=(const PlatformBackend&) = default;
};

// The backend every platform call goes to from now on; nullptr installs none, which lists no
// device and opens nothing. Returns the backend that was installed before.
std::shared_ptr<PlatformBackend> installPlatformBackend(std::shared_ptr<PlatformBackend> backend);
std::shared_ptr<PlatformBackend> installedPlatformBackend();

// platformOpen from the given backend instead of the installed one.
PlatformStatus platformOpenFrom(PlatformBackend& backend, int index, PlatformHandle& handle);

// The port behind an open handle; nullptr for a null handle.
PlatformPort* platformPortOf(PlatformHandle handle);
