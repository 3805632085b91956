#pragma once
// Serial ports under the operating system's own driver (Linux termios): finding the FTDI
// bridges and talking to one of them.

#include <cstdint>
#include <string>
#include <vector>

struct SerialPortInfo {
    std::string path;        // what open() is given
    std::string serial;      // the bridge's serial number
    std::string description; // the bridge's product text
    std::uint32_t id = 0;    // vendor id << 16 | product id, 0 when unknown
};

// The ports to list: those named in VARKO5_PORTS (colon-separated, in that order), otherwise
// the FTDI bridges under <dev>/serial/by-id, where <dev> is VARKO5_DEV_ROOT (default /dev)
// and sysfs is looked up under VARKO5_SYS_ROOT (default /sys).
std::vector<SerialPortInfo> listSerialPorts();
// FTDI bridges (by-id names containing "FTDI", or vendor 0403 in sysfs), by serial number.
std::vector<SerialPortInfo> listFtdiPorts(const std::string& devRoot, const std::string& sysRoot);
std::vector<SerialPortInfo> listNamedPorts(const std::string& colonSeparated);

// The error logged when a port cannot be opened: for a lack of permission it says how to get
// access (the packaged udev rule or the "dialout" group) instead of a bare system message.
std::string describeOpenFailure(const std::string& path, int error);

// One open port, raw 8N1 without flow control. Move-only; closes its descriptor.
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // 0 on success; otherwise a platform status, with the reason logged at error level.
    std::uint32_t open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }

    void setTimeouts(std::uint32_t readMs, std::uint32_t writeMs);
    // Reads until count bytes arrived or the read time-out passed; false on a driver error.
    bool read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received);
    bool write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written);
    bool queued(std::uint32_t& rx, std::uint32_t& tx) const;

private:
    int fd_ = -1;
    std::uint32_t readTimeoutMs_ = 5000;
    std::uint32_t writeTimeoutMs_ = 0; // 0: no limit
};
