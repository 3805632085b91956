#include "core/device/serial_backend.h"
#include "core/device/serial_port.h"

#include <spdlog/spdlog.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

std::optional<std::uint32_t> parseBaudText(std::string_view text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    std::uint32_t rate = 0;
    for (const char digit : text)
        rate = rate * 10 + static_cast<std::uint32_t>(digit - '0');
    return rate;
}

namespace {

class SerialBackend final : public DeviceBackend {
public:
    explicit SerialBackend(SerialSettings settings) : settings_(std::move(settings)) {}

    std::string name() const override { return "serial"; }

    DeviceStatus listDevices(std::vector<DeviceInfoNode>& nodes) override {
        nodes.clear();
        for (const SerialPortInfo& port : listSerialPorts(settings_))
            nodes.push_back(makeDeviceInfoNode(port.serial, port.description, port.id, 0, port.path));
        return STATUS_OK;
    }

    // A port is opened by its path. The by-id names carry the bridge's serial number, so the
    // path of a bridge that was pulled out never leads to another bridge.
    OpenResult open(const DeviceInfoNode& node, std::unique_ptr<DevicePort>& port) override {
        if (node.port.empty())
            return {STATUS_DEVICE_NOT_FOUND, {}};
#ifndef _WIN32
        // COM port names are no files; a COM port that is gone fails its own open.
        std::error_code error;
        if (!fs::exists(node.port, error))
            return {STATUS_DEVICE_NOT_FOUND, {}};
#endif
        auto serial = std::make_unique<SerialPort>();
        OpenResult opened = serial->open(node.port, settings_.baud, settings_.sysRoot);
        if (opened.status == STATUS_OK)
            port = std::move(serial);
        return opened;
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

namespace {

// Two entries name the same port when their texts are equal or they lead to the same file.
bool samePort(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
#ifdef _WIN32
    // "COM3", "com3" and "\\.\COM3" are one port.
    const auto bare = [](std::string name) {
        if (name.rfind("\\\\.\\", 0) == 0)
            name.erase(0, 4);
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return name;
    };
    return bare(a) == bare(b);
#else
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
#endif
}

} // namespace

std::vector<SerialPortInfo> listSerialPorts(const SerialSettings& settings) {
    if (!settings.ports)
        return listFtdiPorts(settings.devRoot, settings.sysRoot);
    std::vector<SerialPortInfo> ports = listNamedPorts(*settings.ports);
    // One port listed twice would be two devices with one line behind them: two workers
    // writing to one controller at once.
    for (std::size_t i = 0; i < ports.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (samePort(ports[i].path, ports[j].path))
                throw std::runtime_error(
                    "VARKO5_PORTS lists the port " + ports[i].path +
                    (ports[i].path == ports[j].path ? "" : " (as " + ports[j].path + ")") + " twice");
    return ports;
}

std::shared_ptr<DeviceBackend> makeSerialBackend(SerialSettings settings) {
    return std::make_shared<SerialBackend>(std::move(settings));
}
