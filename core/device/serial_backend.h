#pragma once
// The backend of serial ports under the operating system's own driver: which ports it lists,
// and where it looks for them.

#include "core/device/backend.h"
#include "core/device/serial_port.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct SerialSettings {
    // The ports to list, colon-separated, in that order; without it the FTDI bridges under
    // devRoot/serial/by-id, described from sysfs under sysRoot.
    std::optional<std::string> ports;
    std::string devRoot = "/dev";
    std::string sysRoot = "/sys";
    // The line speed every port is opened at, 8N1 without flow control. 9600 is what a
    // freshly opened bridge runs at, and what its firmware expects unless told otherwise.
    std::uint32_t baud = DEFAULT_BAUD;
};

// VARKO5_PORTS, VARKO5_DEV_ROOT, VARKO5_SYS_ROOT (the last two only when not empty) and
// VARKO5_BAUD. A VARKO5_BAUD that is not a number is logged and leaves a speed of 0, which
// every open then refuses.
SerialSettings serialSettingsFromEnvironment();

// The ports the settings name. A port named twice in settings.ports (also under another name
// of the same file) throws std::runtime_error naming it.
std::vector<SerialPortInfo> listSerialPorts(const SerialSettings& settings);
std::shared_ptr<DeviceBackend> makeSerialBackend(SerialSettings settings);
