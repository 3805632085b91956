#include "core/device/serial_backend.h"
#include "core/device/serial_port.h"

#include <spdlog/spdlog.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace {

class SerialBackend final : public PlatformBackend {
public:
    explicit SerialBackend(SerialSettings settings) : settings_(std::move(settings)) {}

    PlatformStatus listDevices(std::vector<DeviceInfoNode>& nodes) override {
        nodes.clear();
        for (const SerialPortInfo& port : listSerialPorts(settings_))
            nodes.push_back(makeDeviceInfoNode(port.serial, port.description, port.id, 0));
        return PLATFORM_OK;
    }

    PlatformStatus open(int index, std::unique_ptr<PlatformPort>& port) override {
        // The list is taken again: a bridge may have come or gone since it was last built.
        const std::vector<SerialPortInfo> ports = listSerialPorts(settings_);
        if (index < 0 || static_cast<std::size_t>(index) >= ports.size())
            return PLATFORM_DEVICE_NOT_FOUND;
        auto serial = std::make_unique<SerialPort>();
        if (const PlatformStatus status =
                serial->open(ports[static_cast<std::size_t>(index)].path, settings_.baud, settings_.sysRoot);
            status != PLATFORM_OK)
            return status;
        port = std::move(serial);
        return PLATFORM_OK;
    }

private:
    SerialSettings settings_;
};

} // namespace

SerialSettings serialSettingsFromEnvironment() {
    SerialSettings settings;
    if (const char* ports = std::getenv("VARKO5_PORTS"); ports != nullptr)
        settings.ports = ports;
    if (const char* dev = std::getenv("VARKO5_DEV_ROOT"); dev != nullptr && *dev != '\0')
        settings.devRoot = dev;
    if (const char* sys = std::getenv("VARKO5_SYS_ROOT"); sys != nullptr && *sys != '\0')
        settings.sysRoot = sys;
    if (const char* baud = std::getenv("VARKO5_BAUD"); baud != nullptr && *baud != '\0') {
        const std::optional<std::uint32_t> rate = parseBaudText(baud);
        settings.baud = rate.value_or(0);
        if (!rate)
            spdlog::error("VARKO5_BAUD: '{}' is not a line speed", baud);
    }
    return settings;
}

std::vector<SerialPortInfo> listSerialPorts(const SerialSettings& settings) {
    if (settings.ports)
        return listNamedPorts(*settings.ports);
    return listFtdiPorts(settings.devRoot, settings.sysRoot);
}

std::shared_ptr<PlatformBackend> makeSerialBackend(SerialSettings settings) {
    return std::make_shared<SerialBackend>(std::move(settings));
}
