#include "cli/console_lines.h"

#include "core/lpfp/lpfp.h"
#include "core/ops/device_choice.h"

#include <spdlog/spdlog.h>

#include <algorithm>

void logError(FlowResult& result, const std::string& reason) {
    // A failure with its likely cause on a second line is logged as two lines; the first is
    // the reason.
    result.noteError(reason.substr(0, reason.find('\n')));
    for (std::size_t start = 0; start <= reason.size();) {
        const std::size_t end = std::min(reason.find('\n', start), reason.size());
        spdlog::error("{}", reason.substr(start, end - start));
        start = end + 1;
    }
}

void printDeviceBlock(std::ostream& out, const DeviceInfoNode& node, int index) {
    out << "Device Number : " << index << '\n'
        << "       Serial Number: " << serialNumberOf(node) << '\n'
        << "       Description  : " << descriptionOf(node) << '\n'
        << "       Handle       : " << static_cast<const void*>(node.handle) << '\n'
        << "       Loc ID       : " << node.locId << '\n'
        << "       ID           : " << node.id << '\n'
        << "       Flags        : " << node.flags << '\n'
        << "       Type         : " << node.type << '\n';
}

void printChipId(std::ostream& out, std::uint32_t chipId) {
    out << "       Chip ID      : " << chipId << '\n';
}

void printVersion(std::ostream& out, const FirmwareVersion& version) {
    out << "Major: " << version.major << '\n' << "Minor: " << version.minor << '\n';
}

namespace {

const char* recordWord(RecordKind record) {
    return record == RecordKind::App ? "APP" : "MC";
}

void printApplyEvent(ApplyWording wording, std::ostream& out, FlowResult& result, const OpEvent& event) {
    const bool app = event.record == RecordKind::App;
    const bool lpfp = wording == ApplyWording::LpfpFile;
    switch (event.step) {
    case OpStep::BackupSaved:
        out << "Backup saved to: " << event.text << std::endl;
        break;
    case OpStep::BackupFailed:
        logError(result, "Backup failed, nothing was sent: " + event.text);
        break;
    case OpStep::GettingDefaults:
        // The LPFP apply reads both defaults under one line.
        if (!lpfp || app)
            spdlog::info("Getting Default {} Configuration", recordWord(event.record));
        break;
    case OpStep::ValuesRefused:
        printValueRefusal(result, event.text, event.violations);
        break;
    case OpStep::FileInvalid:
        if (lpfp)
            logError(result, event.text + ": " + INVALID_CONFIGURATION_FILE);
        else
            logError(result,
                     app ? "Not a valid APPConfiguration XML file" : "Not a valid MCConfiguration XML file");
        break;
    case OpStep::FileRead:
        spdlog::info("Configuration updated from {} file {}. {} parameters set", lpfp ? "LPFP" : "XML",
                     event.text, event.keys);
        break;
    case OpStep::Refused:
        if (lpfp)
            logError(result, app ? "Failed to set APPConfig" : "Failed to set MCConfig");
        else
            logError(result,
                     std::string(app ? "App" : "MC") + " Configuration was not accepted by the controller");
        break;
    case OpStep::NotAcknowledged:
        if (lpfp)
            logError(result, std::string(app ? "Failed to set APPConfig" : "Failed to set MCConfig") +
                                 ": not acknowledged by the bridge (" + event.text + ")");
        else
            logError(result, std::string(app ? "App" : "MC") +
                                 " Configuration was not acknowledged by the bridge (" + event.text + ")");
        break;
    case OpStep::AnswerUnreadable:
        spdlog::warn(
            "The controller's answer to the {} Configuration could not be read ({}); reading it back "
            "decides whether it was stored",
            recordWord(event.record), event.text);
        break;
    case OpStep::Interrupted:
        break; // the flow tells what was done when it ends
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
        logError(result, std::string(app ? "App" : "MC") + " Configuration validation FAILED");
        break;
    case OpStep::Failed:
        logError(result, event.text);
        break;
    }
}

} // namespace

ProgressFn applyProgressPrinter(ApplyWording wording, std::ostream& out, FlowResult& result) {
    return [wording, &out, &result](const OpEvent& event) { printApplyEvent(wording, out, result, event); };
}

void printInterruption(const ApplyResult& apply) {
    spdlog::error("Interrupted");
    const std::pair<const char*, const RecordOutcome*> records[] = {{"APP", &apply.app}, {"MC", &apply.mc}};
    bool written = false;
    for (const auto& [word, outcome] : records) {
        if (!outcome->requested)
            continue;
        written = written || outcome->sent;
        if (outcome->verified)
            spdlog::info("{} Configuration was written and verified", word);
        else if (outcome->sent)
            spdlog::error("{} Configuration was sent but not verified", word);
        else
            spdlog::error("{} Configuration was not written", word);
    }
    if (apply.backup)
        spdlog::info("The configuration from before this run is in the backup {}; to restore it: lpfp_cli "
                     "--lpfp_config {}",
                     apply.backup->string(), apply.backup->string());
    else if (written)
        spdlog::warn("No backup was taken before this run");
}

void printValueRefusal(FlowResult& result, const std::string& path,
                       const std::vector<ValueViolation>& violations) {
    if (violations.empty())
        return;
    const std::vector<std::string> lines = refusalLines(path, violations);
    result.noteError(lines.front());
    for (const std::string& line : lines)
        spdlog::error("{}", line);
}

void printDifferences(std::ostream& out, const std::vector<FieldDifference>& differences) {
    for (const auto& d : differences)
        out << d.record << ' ' << d.key << ": " << d.left << " -> " << d.right << '\n';
}
