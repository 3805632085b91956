#include "cli/flows.h"

#include "cli/device_choice.h"
#include "cli/lpfp_flows.h"

#include "core/config/config_compare.h"
#include "core/config/config_xml.h"
#include "core/device/arm_link.h"
#include "core/device/device_list.h"
#include "core/device/timeout_exception.h"

#include <spdlog/spdlog.h>
#include <tinyxml2.h>

#include <cstdint>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <vector>

namespace {

constexpr int STATUS_OK = 0;
constexpr int STATUS_FAILED = 1;

constexpr const char* TIMED_OUT_MESSAGE = "ARM timed out. It may not be powered.";
constexpr const char* NO_VERSION_MESSAGE = "Failed at getting ARM Version.";

constexpr std::uint32_t READ_TIMEOUT_MS = 1000;
constexpr std::uint32_t WRITE_TIMEOUT_MS = 0;
constexpr std::uint8_t BRIDGE_STATUS_QUERY = 0xC2;
constexpr std::uint32_t STATUS_REPLY_CAPACITY = 10240;

// The driver's text fields are fixed arrays that a full-length value leaves unterminated.
template <std::size_t N> std::string fieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

void printVersion(const FirmwareVersion& version) {
    std::cout << "Major: " << version.major << '\n' << "Minor: " << version.minor << '\n';
}

// The configuration flows refuse to guess which of several controllers is meant: without a
// serial number the list must hold exactly one device. Logs the refusal; -1 then.
int chosenDevice(const std::vector<DeviceInfoNode>& devices, const std::string& serial) {
    const DeviceChoice choice = chooseDevice(devices, serial);
    if (choice.index < 0)
        spdlog::error("{}", choice.error);
    return choice.index;
}

bool hasRootElement(const std::string& path, const char* rootName) {
    tinyxml2::XMLDocument document;
    if (document.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS)
        return false;
    return document.FirstChildElement(rootName) != nullptr;
}

int readAndWriteConfiguration(ArmLink& link, const std::string& basename, bool defaults) {
    const FirmwareVersion version = link.ARM_getVersion();
    if (!version.valid) {
        spdlog::error(NO_VERSION_MESSAGE);
        return STATUS_FAILED;
    }
    printVersion(version);

    // Both records are read before anything is written, so a failed read leaves no files.
    APPConfiguration app = defaults ? link.ARM_getDefaultAppConfig() : link.ARM_getAppConfig();
    MCConfiguration mc = defaults ? link.ARM_getDefaultMCConfig() : link.ARM_getMCConfig();

    if (basename.empty()) {
        std::cout << appConfigToXml(app) << '\n' << mcConfigToXml(mc) << '\n';
        return STATUS_OK;
    }
    int status = STATUS_OK;
    try {
        saveAppConfigXml(app, basename + ".app.xml");
    } catch (const std::runtime_error& error) {
        spdlog::error("{}", error.what());
        status = STATUS_FAILED;
    }
    try {
        saveMcConfigXml(mc, basename + ".mc.xml");
    } catch (const std::runtime_error& error) {
        spdlog::error("{}", error.what());
        status = STATUS_FAILED;
    }
    return status;
}

// Lay the document over the controller's default application record, send it and verify it.
// Returns STATUS_FAILED for a record that was refused or did not read back the same;
// validationFailed tells the caller to stop at once.
int applyAppConfiguration(ArmLink& link, const std::string& path, bool& validationFailed) {
    spdlog::info("Getting Default APP Configuration");
    APPConfiguration record = link.ARM_getDefaultAppConfig();
    std::uint64_t keyCount = 0;
    if (!appConfigFromXmlFile(record, path, keyCount)) {
        // The file was valid a moment ago; it changed under us.
        spdlog::error("Not a valid APPConfiguration XML file");
        return STATUS_FAILED;
    }
    spdlog::info("Configuration updated from XML file {}. {} parameters set", path, keyCount);
    if (!link.ARM_setAppConfig(record)) {
        spdlog::error("App Configuration was not accepted by the controller");
        return STATUS_FAILED;
    }
    spdlog::info("Configuration sent to device");
    spdlog::info("Getting APP Configuration");
    const APPConfiguration readBack = link.ARM_getAppConfig();
    spdlog::info("Validating Updated APP");
    if (!appConfigEquals(readBack, record)) {
        spdlog::error("App Configuration validation FAILED");
        validationFailed = true;
        return STATUS_FAILED;
    }
    spdlog::info("APP Configuration Validated");
    return STATUS_OK;
}

int applyMcConfiguration(ArmLink& link, const std::string& path) {
    spdlog::info("Getting Default MC Configuration");
    MCConfiguration record = link.ARM_getDefaultMCConfig();
    std::uint64_t keyCount = 0;
    if (!mcConfigFromXmlFile(record, path, keyCount)) {
        spdlog::error("Not a valid MCConfiguration XML file");
        return STATUS_FAILED;
    }
    spdlog::info("Configuration updated from XML file {}. {} parameters set", path, keyCount);
    if (!link.ARM_setMCConfig(record)) {
        spdlog::error("MC Configuration was not accepted by the controller");
        return STATUS_FAILED;
    }
    spdlog::info("Configuration sent to device");
    spdlog::info("Getting MC Configuration");
    const MCConfiguration readBack = link.ARM_getMCConfig();
    if (!mcConfigEquals(readBack, record)) {
        spdlog::error("MC Configuration validation FAILED");
        return STATUS_FAILED;
    }
    spdlog::info("MC Configuration Validated");
    return STATUS_OK;
}

int applyConfiguration(ArmLink& link, const std::string& appPath, const std::string& mcPath,
                       const std::string& deviceSerial, const BackupSettings& backup) {
    const FirmwareVersion version = link.ARM_getVersion();
    if (!version.valid) {
        spdlog::error(NO_VERSION_MESSAGE);
        return STATUS_FAILED;
    }
    printVersion(version);
    if (version.major != 5 || version.minor != 2) {
        spdlog::error("This application only works with FW version 5.2. Curent Version: {}.{}", version.major,
                      version.minor);
        return STATUS_FAILED;
    }
    if (backup.enabled && !backupBeforeWrite(link, deviceSerial, backup))
        return STATUS_FAILED;

    int status = STATUS_OK;
    if (!appPath.empty()) {
        bool validationFailed = false;
        status = applyAppConfiguration(link, appPath, validationFailed);
        if (validationFailed)
            return status;
        // A refused application record does not keep the motor record from being sent.
    }
    if (!mcPath.empty() && applyMcConfiguration(link, mcPath) != STATUS_OK)
        status = STATUS_FAILED;
    return status;
}

// Runs one conversation with the controller. A silent controller and a reply that cannot be
// turned into a record both end the flow with a failure; nothing after the failed command is
// sent.
template <typename Conversation> int talkToController(Conversation&& conversation) {
    try {
        return conversation();
    } catch (const timeout_exception&) {
        spdlog::error(TIMED_OUT_MESSAGE);
    } catch (const std::runtime_error& error) {
        spdlog::error("{}", error.what());
    }
    return STATUS_FAILED;
}

} // namespace

void printDeviceBlock(const DeviceInfoNode& node, int index) {
    std::cout << "Device Number : " << index << '\n'
              << "       Serial Number: " << fieldText(node.serialNumber) << '\n'
              << "       Description  : " << fieldText(node.description) << '\n'
              << "       Handle       : " << static_cast<const void*>(node.handle) << '\n'
              << "       Loc ID       : " << node.locId << '\n'
              << "       ID           : " << node.id << '\n'
              << "       Flags        : " << node.flags << '\n'
              << "       Type         : " << node.type << '\n';
}

DeviceHandle openDevice(int index) {
    DeviceHandle handle = openDeviceByIndex(index);
    std::cout << "       Chip ID      : " << readChipId(handle) << '\n';
    setDeviceTimeouts(handle, READ_TIMEOUT_MS, WRITE_TIMEOUT_MS);
    ArmLink(handle).flush();
    return handle;
}

int testDevice(const std::string& serial) {
    const std::vector<DeviceInfoNode> devices = enumerateDevices();
    spdlog::info("Devices found: {}", devices.size());
    // Without a serial number the first device is tested, whatever else is listed.
    if (devices.empty() && serial.empty())
        return STATUS_OK;
    const int index = serial.empty() ? 0 : chosenDevice(devices, serial);
    if (index < 0)
        return STATUS_FAILED;
    const DeviceInfoNode& node = devices[static_cast<std::size_t>(index)];

    std::cout << "Device Description: " << fieldText(node.description) << '\n';
    printDeviceBlock(node, index);
    DeviceHandle handle = openDevice(index);
    ArmLink link(handle);
    return talkToController([&] {
        const std::uint8_t query = BRIDGE_STATUS_QUERY;
        link.sendMessage(messageType::REQUEST, &query, 1);
        std::vector<std::uint8_t> reply(STATUS_REPLY_CAPACITY);
        const std::int32_t received = link.read(reply.data(), STATUS_REPLY_CAPACITY);
        std::cout << "Status: ";
        if (received > 0)
            std::cout.write(reinterpret_cast<const char*>(reply.data()), received);
        std::cout << '\n';

        const FirmwareVersion version = link.ARM_getVersion();
        if (version.valid)
            printVersion(version);
        else
            spdlog::error(NO_VERSION_MESSAGE);
        return STATUS_OK;
    });
}

int getConfiguration(const std::string& basename, bool defaults, const std::string& serial) {
    const std::vector<DeviceInfoNode> devices = enumerateDevices();
    const int index = chosenDevice(devices, serial);
    if (index < 0)
        return STATUS_FAILED;

    printDeviceBlock(devices[static_cast<std::size_t>(index)], index);
    DeviceHandle handle = openDevice(index);
    ArmLink link(handle);
    return talkToController([&] { return readAndWriteConfiguration(link, basename, defaults); });
}

int setConfiguration(const std::string& appPath, const std::string& mcPath, const std::string& serial,
                     const BackupSettings& backup) {
    // The documents are checked before any device is touched.
    if (!appPath.empty() && !hasRootElement(appPath, "APPConfiguration")) {
        spdlog::error("Not a valid APPConfiguration XML file");
        return STATUS_FAILED;
    }
    if (!mcPath.empty() && !hasRootElement(mcPath, "MCConfiguration")) {
        spdlog::error("Not a valid MCConfiguration XML file");
        return STATUS_FAILED;
    }

    const std::vector<DeviceInfoNode> devices = enumerateDevices();
    const int index = chosenDevice(devices, serial);
    if (index < 0)
        return STATUS_FAILED;

    const DeviceInfoNode& node = devices[static_cast<std::size_t>(index)];
    printDeviceBlock(node, index);
    DeviceHandle handle = openDevice(index);
    ArmLink link(handle);
    return talkToController(
        [&] { return applyConfiguration(link, appPath, mcPath, fieldText(node.serialNumber), backup); });
}
