#pragma once
// Serial ports under the operating system's own driver (Linux termios): finding the FTDI
// bridges and talking to one of them.

#include "core/device/backend.h"

#include <cstdint>
#include <string>
#include <vector>

struct SerialPortInfo {
    std::string path;        // what open() is given
    std::string serial;      // the bridge's serial number
    std::string description; // the bridge's product text
    std::uint32_t id = 0;    // vendor id << 16 | product id, 0 when unknown
};

// FTDI bridges (by-id names containing "FTDI", or vendor 0403 in sysfs), by serial number.
std::vector<SerialPortInfo> listFtdiPorts(const std::string& devRoot, const std::string& sysRoot);
// The ports of a colon-separated list, in its order.
std::vector<SerialPortInfo> listNamedPorts(const std::string& colonSeparated);

// The error logged when a port cannot be opened: for a lack of permission it says how to get
// access (the packaged udev rule or the "dialout" group) instead of a bare system message.
std::string describeOpenFailure(const std::string& path, int error);

// One open port, raw 8N1 without flow control. Closes its descriptor when destroyed.
class SerialPort final : public PlatformPort {
public:
    SerialPort() = default;
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // 0 on success; otherwise a platform status, with the reason logged at error level.
    PlatformStatus open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }

    std::string name() const override { return path_; }
    PlatformStatus setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override;
    // Reads until count bytes arrived or the read time-out passed.
    PlatformStatus read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) override;
    PlatformStatus write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) override;
    PlatformStatus queued(std::uint32_t& received) override;
    // Reading the identifier needs the vendor's own library: 0.
    PlatformStatus chipId(std::uint32_t& id) override;

private:
    int fd_ = -1;
    std::string path_;
    std::uint32_t readTimeoutMs_ = 5000;
    std::uint32_t writeTimeoutMs_ = 0; // 0: no limit
};
