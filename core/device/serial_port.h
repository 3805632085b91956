#pragma once
// Serial ports under the operating system's own driver (Linux termios): finding the FTDI
// bridges and talking to one of them.

#include "core/device/backend.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SerialPortInfo {
    std::string path;        // what open() is given
    std::string serial;      // the bridge's serial number
    std::string description; // the bridge's product text
    std::uint32_t id = 0;    // vendor id << 16 | product id, 0 when unknown
};

// FTDI bridges (by-id names containing "FTDI", or vendor 0403 in sysfs), by serial number.
std::vector<SerialPortInfo> listFtdiPorts(const std::string& devRoot, const std::string& sysRoot);
// The ports of a colon-separated list (semicolon-separated on Windows), in its order.
std::vector<SerialPortInfo> listNamedPorts(const std::string& colonSeparated);

// The reason given when a port cannot be opened: for a lack of permission it says how to get
// access (the packaged udev rule or the "dialout" group) instead of a bare system message.
std::string describeOpenFailure(const std::string& path, int error);

// The line speeds a port can be set to (the standard termios rates).
bool isSupportedBaud(std::uint32_t baud);
// The number a line-speed text holds: decimal digits only, at most nine of them, so that it
// fits; nothing otherwise. Whether a port can be set to it is isSupportedBaud's question.
std::optional<std::uint32_t> parseBaudText(std::string_view text);
constexpr std::uint32_t DEFAULT_BAUD = 9600;

// What is said of a port held by another program.
std::string describeInUse(const std::string& path);

// The USB device directory above a tty's sysfs node (empty when there is none), and the first
// line of a sysfs attribute without its line end.
std::filesystem::path usbDeviceOfTty(const std::string& sysRoot, const std::string& tty);
std::string readSysfsLine(const std::filesystem::path& file);

#ifdef _WIN32
#include "core/device/com_port_win.h"
using SerialPort = ComPort;
#else
// One open port: raw, 8N1, no flow control, at the given speed. The port is locked against
// every other opener (TIOCEXCL and an flock) until it is closed. Bytes are taken from the
// driver into a buffer of its own, so that a wait can sleep until more arrive.
class SerialPort final : public DevicePort {
public:
    SerialPort() = default;
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // STATUS_OK; otherwise a status: STATUS_DEVICE_IN_USE when another program holds the
    // port, for the caller to say; any other failure with its reason, naming the port.
    // Nothing is logged. sysRoot is where the chip identifier's USB device is looked up.
    OpenResult open(const std::string& path, std::uint32_t baud = DEFAULT_BAUD,
                    const std::string& sysRoot = "/sys");
    bool isOpen() const { return fd_ >= 0; }

    std::string name() const override { return path_; }
    DeviceStatus setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override;
    // Reads until count bytes arrived or the read time-out passed.
    DeviceStatus read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) override;
    DeviceStatus write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) override;
    DeviceStatus queued(std::uint32_t& received) override;
    DeviceStatus waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                            std::uint32_t& received) override;
    // Through libftdi for R-series bridges; 0 where it cannot be read (see ftdi_chip_id.h).
    DeviceStatus chipId(std::uint32_t& id) override;
    // The line speed, and the FTDI driver's latency timer where sysfs shows it.
    LineTiming timing() const override { return timing_; }

private:
    // Moves what the driver holds into rx_; false when the port is gone.
    bool pull();
    // Sleeps until the driver has bytes or the deadline passes; false when the port is gone.
    bool sleepForInput(std::chrono::steady_clock::time_point deadline);
    void close();

    int fd_ = -1;
    std::string path_;
    std::string sysRoot_;
    std::vector<std::uint8_t> rx_;
    bool gone_ = false;
    std::uint32_t readTimeoutMs_ = 5000;
    std::uint32_t writeTimeoutMs_ = 0; // 0: no limit
    LineTiming timing_{};
};
#endif // _WIN32
