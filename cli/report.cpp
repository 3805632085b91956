#include "cli/report.h"

#include "cli/exit_status.h"
#include "cli/flow_report.h"
#include "core/ops/device_choice.h"

#include <spdlog/spdlog.h>

#include "cli/report_stream.h"

#include <iostream>
#include <mutex>

void printDeviceBlock(const DeviceInfoNode& node, int index) {
    report::out() << "Device Number : " << index << '\n'
                  << "       Serial Number: " << serialNumberOf(node) << '\n'
                  << "       Description  : " << descriptionOf(node) << '\n'
                  << "       Handle       : " << static_cast<const void*>(node.handle) << '\n'
                  << "       Loc ID       : " << node.locId << '\n'
                  << "       ID           : " << node.id << '\n'
                  << "       Flags        : " << node.flags << '\n'
                  << "       Type         : " << node.type << '\n';
}

void printVersion(const FirmwareVersion& version) {
    report::out() << "Major: " << version.major << '\n' << "Minor: " << version.minor << '\n';
}

std::vector<DeviceInfoNode> listDevices() {
    try {
        return enumerateDevices();
    } catch (const std::runtime_error& error) {
        throw DeviceSetupError(error.what());
    }
}

namespace {

// Several workers may open their devices at once; the platform's open is not made for that.
std::mutex openMutex;

std::unique_ptr<ControllerSession> openSession(const DeviceInfoNode& node, int index) {
    try {
        DeviceHandle handle;
        {
            const std::lock_guard<std::mutex> lock(openMutex);
            handle = openDeviceByIndex(index);
        }
        auto session = std::make_unique<ControllerSession>(std::move(handle), node, index);
        if (FlowReport* flowReport = report::activeReport()) {
            flowReport->serial = session->serial();
            flowReport->description = session->description();
        }
        return session;
    } catch (const std::runtime_error& error) {
        throw DeviceSetupError(error.what());
    }
}

} // namespace

std::unique_ptr<ControllerSession> openListedDevice(const DeviceInfoNode& node, int index) {
    printDeviceBlock(node, index);
    auto session = openSession(node, index);
    report::out() << "       Chip ID      : " << session->chipId() << '\n';
    return session;
}

std::unique_ptr<ControllerSession> openChosenDevice(const DeviceTarget& target, bool report) {
    if (target.listed)
        return report ? openListedDevice(target.node, target.index) : openSession(target.node, target.index);
    const std::vector<DeviceInfoNode> devices = listDevices();
    const DeviceChoice choice = chooseDevice(devices, target.serial);
    if (choice.index < 0) {
        spdlog::error("{}", choice.error);
        return nullptr;
    }
    const DeviceInfoNode& node = devices[static_cast<std::size_t>(choice.index)];
    return report ? openListedDevice(node, choice.index) : openSession(node, choice.index);
}

bool checkVersion(ControllerSession& session, bool report, bool forWriting) {
    const FirmwareVersion version = session.identify();
    if (!version.valid) {
        spdlog::error("Failed at getting ARM Version.");
        return false;
    }
    if (report)
        printVersion(version);
    if (forWriting && !session.writable()) {
        spdlog::error("This application only works with FW version 5.2. Curent Version: {}.{}", version.major,
                      version.minor);
        return false;
    }
    return true;
}

namespace {

const char* recordWord(RecordKind record) {
    return record == RecordKind::App ? "APP" : "MC";
}

void printApplyEvent(ApplyWording wording, const OpEvent& event) {
    const bool app = event.record == RecordKind::App;
    const bool lpfp = wording == ApplyWording::LpfpFile;
    switch (event.step) {
    case OpStep::BackupSaved:
        report::out() << "Backup saved to: " << event.text << std::endl;
        break;
    case OpStep::BackupFailed:
        spdlog::error("Backup failed, nothing was sent: {}", event.text);
        break;
    case OpStep::GettingDefaults:
        // The LPFP apply reads both defaults under one line.
        if (!lpfp || app)
            spdlog::info("Getting Default {} Configuration", recordWord(event.record));
        break;
    case OpStep::ValuesRefused:
        printValueRefusal(event.text, event.violations);
        break;
    case OpStep::FileInvalid:
        if (lpfp)
            spdlog::error("{}: Invalid Configuration File", event.text);
        else
            spdlog::error(app ? "Not a valid APPConfiguration XML file"
                              : "Not a valid MCConfiguration XML file");
        break;
    case OpStep::FileRead:
        spdlog::info("Configuration updated from {} file {}. {} parameters set", lpfp ? "LPFP" : "XML",
                     event.text, event.keys);
        break;
    case OpStep::Refused:
        if (lpfp)
            spdlog::error(app ? "Failed to set APPConfig" : "Failed to set MCConfig");
        else
            spdlog::error("{} Configuration was not accepted by the controller", app ? "App" : "MC");
        break;
    case OpStep::Sent:
        spdlog::info("Configuration sent to device");
        break;
    case OpStep::GettingReadBack:
        spdlog::info("Getting {} Configuration", recordWord(event.record));
        break;
    case OpStep::Validating:
        if (lpfp || app)
            spdlog::info("Validating Updated {}", recordWord(event.record));
        break;
    case OpStep::Validated:
        spdlog::info("{} Configuration Validated", recordWord(event.record));
        break;
    case OpStep::Differs:
        spdlog::error("{} Configuration validation FAILED", app ? "App" : "MC");
        break;
    case OpStep::Failed:
        spdlog::error("{}", event.text);
        break;
    }
}

} // namespace

void printValueRefusal(const std::string& path, const std::vector<ValueViolation>& violations) {
    if (violations.empty())
        return;
    for (const std::string& line : refusalLines(path, violations))
        spdlog::error("{}", line);
}

ProgressFn applyProgressPrinter(ApplyWording wording) {
    return [wording](const OpEvent& event) { printApplyEvent(wording, event); };
}

void printDifferences(std::ostream& out, const std::vector<FieldDifference>& differences) {
    for (const auto& d : differences)
        out << d.record << ' ' << d.key << ": " << d.left << " -> " << d.right << '\n';
}
