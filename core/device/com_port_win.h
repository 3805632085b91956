#pragma once
// Serial ports on Windows: the COM ports of the bridges that use FTDI's virtual COM port (VCP)
// driver, opened by name ("COM3") through the Win32 communications API. The same shape as the
// Linux termios port (core/device/serial_port.h), which this stands in for on Windows.

#include "core/device/backend.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// One open COM port: 8N1, no flow control, at the given speed. Windows opens a COM port for
// one handle at a time, so a port another program holds is refused as in use. Waits poll the
// driver's receive queue (ClearCommError) and sleep in between.
class ComPort final : public DevicePort {
public:
    ComPort() = default;
    ~ComPort() override;
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    // STATUS_OK; otherwise a device status (STATUS_DEVICE_IN_USE when another program holds
    // the port) with its reason, naming the port. Nothing is logged. The third argument is the
    // Linux port's sysfs root and has no meaning here.
    OpenResult open(const std::string& name, std::uint32_t baud, const std::string& = {});
    bool isOpen() const { return handle_ != nullptr; }

    std::string name() const override { return name_; }
    DeviceStatus setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override;
    DeviceStatus read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) override;
    DeviceStatus write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) override;
    DeviceStatus queued(std::uint32_t& received) override;
    DeviceStatus waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                            std::uint32_t& received) override;
    // The VCP driver does not tell the chip identifier; 0.
    DeviceStatus chipId(std::uint32_t& id) override;
    // The line speed; the VCP driver's latency timer is not visible here, so its default.
    LineTiming timing() const override { return timing_; }

private:
    // Moves what the driver holds into rx_; false when the port is gone (a bridge unplugged).
    bool pull();
    void close();

    void* handle_ = nullptr; // the port's HANDLE
    std::string name_;
    std::vector<std::uint8_t> rx_;
    bool gone_ = false;
    std::uint32_t readTimeoutMs_ = 5000;
    std::uint32_t writeTimeoutMs_ = 0; // 0: no limit
    LineTiming timing_{};
};

// The device path CreateFile takes for a port name: "COM12" becomes "\\.\COM12".
std::string comDevicePath(const std::string& name);
// The COM port names of the registry's serial-port map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM) in
// number order, with whether the FTDI VCP driver made each ("\Device\VCP0").
struct ComPortEntry {
    std::string name;
    bool ftdi = false;
};
std::vector<ComPortEntry> registryComPorts();
