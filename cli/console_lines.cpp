#include "cli/console_lines.h"

#include "core/lpfp/lpfp.h"
#include "core/ops/device_choice.h"
#include "core/ops/result_lines.h"

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

// Where a line goes: the report stream, or the logger at a level. The error lines of an apply's
// steps are logged with logError, so that the first one becomes the run's error.
enum class Channel : std::uint8_t { Report, Info, Warn, Error };

// Which apply a wording is for; Any for both.
enum class For : std::uint8_t { Any, XmlFiles, LpfpFile };

// One line of what lpfp_cli says while an apply runs: for that step (of that record, unless
// only is None) of that apply, the pattern (see fillWording) on that channel. A step without
// a row says nothing.
struct StepWording {
    OpStep step;
    For apply;
    RecordKind only;
    Channel channel;
    const char* pattern;
};

constexpr RecordKind ANY = RecordKind::None;

// ValuesRefused is told by printValueRefusal; Interrupted by printInterruption when the flow
// ends.
constexpr StepWording STEP_WORDINGS[] = {
    {OpStep::BackupSaved, For::Any, ANY, Channel::Report, "Backup saved to: {text}"},
    {OpStep::BackupFailed, For::Any, ANY, Channel::Error, "Backup failed, nothing was sent: {text}"},
    {OpStep::GettingDefaults, For::XmlFiles, ANY, Channel::Info, "Getting Default {rec} Configuration"},
    // The LPFP apply reads both defaults under one line.
    {OpStep::GettingDefaults, For::LpfpFile, RecordKind::App, Channel::Info,
     "Getting Default {rec} Configuration"},
    {OpStep::FileInvalid, For::XmlFiles, ANY, Channel::Error, "Not a valid {root} XML file"},
    {OpStep::FileInvalid, For::LpfpFile, ANY, Channel::Error, "{text}: Invalid Configuration File"},
    {OpStep::FileRead, For::XmlFiles, ANY, Channel::Info,
     "Configuration updated from XML file {text}. {count} parameters set"},
    {OpStep::FileRead, For::LpfpFile, ANY, Channel::Info,
     "Configuration updated from LPFP file {text}. {count} parameters set"},
    {OpStep::Refused, For::XmlFiles, ANY, Channel::Error,
     "{Rec} Configuration was not accepted by the controller"},
    {OpStep::Refused, For::LpfpFile, ANY, Channel::Error, "Failed to set {config}"},
    {OpStep::NotAcknowledged, For::XmlFiles, ANY, Channel::Error,
     "{Rec} Configuration was not acknowledged by the bridge ({text})"},
    {OpStep::NotAcknowledged, For::LpfpFile, ANY, Channel::Error,
     "Failed to set {config}: not acknowledged by the bridge ({text})"},
    {OpStep::AnswerUnreadable, For::Any, ANY, Channel::Warn,
     "The controller's answer to the {rec} Configuration could not be read ({text}); reading it back "
     "decides whether it was stored"},
    {OpStep::Sent, For::Any, ANY, Channel::Info, "Configuration sent to device"},
    {OpStep::GettingReadBack, For::Any, ANY, Channel::Info, "Getting {rec} Configuration"},
    {OpStep::Validating, For::XmlFiles, RecordKind::App, Channel::Info, "Validating Updated {rec}"},
    {OpStep::Validating, For::LpfpFile, ANY, Channel::Info, "Validating Updated {rec}"},
    {OpStep::Validated, For::Any, ANY, Channel::Info, "{rec} Configuration Validated"},
    {OpStep::Differs, For::Any, ANY, Channel::Error, "{Rec} Configuration validation FAILED"},
    {OpStep::Failed, For::Any, ANY, Channel::Error, "{text}"},
};

// What lpfp_cli says of each record, and of the backup, when a stop request ended an apply. A
// record that was never sent reads as NotSent, whatever else its line says.
struct ResultWording {
    Happened what;
    Channel channel;
    const char* pattern; // nullptr: nothing is said
};

constexpr ResultWording RESULT_WORDINGS[] = {
    {Happened::BackupSaved, Channel::Info,
     "The configuration from before this run is in the backup {text}; to restore it: lpfp_cli "
     "--lpfp_config {text}"},
    {Happened::BackupStopped, Channel::Error, nullptr},
    {Happened::Verified, Channel::Info, "{rec} Configuration was written and verified"},
    {Happened::VerifiedDespiteAnswer, Channel::Info, "{rec} Configuration was written and verified"},
    {Happened::AnswerUnreadable, Channel::Error, nullptr},
    {Happened::ExchangeFailed, Channel::Error, "{rec} Configuration was sent but not verified"},
    {Happened::NotAcknowledged, Channel::Error, "{rec} Configuration was sent but not verified"},
    {Happened::Refused, Channel::Error, "{rec} Configuration was sent but not verified"},
    {Happened::Differs, Channel::Error, "{rec} Configuration was sent but not verified"},
    {Happened::DiffersUnnamed, Channel::Error, "{rec} Configuration was sent but not verified"},
    {Happened::NotSent, Channel::Error, "{rec} Configuration was not written"},
    {Happened::NotReached, Channel::Error, "{rec} Configuration was not written"},
    {Happened::Ended, Channel::Error, nullptr},
    {Happened::NoBackup, Channel::Warn, "No backup was taken before this run"},
};

// out: where Report lines go. result: where the first error line is kept; without one, an
// error line is only logged.
void say(Channel channel, const std::string& line, std::ostream* out, FlowResult* result) {
    switch (channel) {
    case Channel::Report:
        if (out != nullptr)
            *out << line << std::endl;
        break;
    case Channel::Info:
        spdlog::info("{}", line);
        break;
    case Channel::Warn:
        spdlog::warn("{}", line);
        break;
    case Channel::Error:
        if (result != nullptr)
            logError(*result, line);
        else
            spdlog::error("{}", line);
        break;
    }
}

void printApplyEvent(For apply, std::ostream& out, FlowResult& result, const OpEvent& event) {
    if (event.step == OpStep::ValuesRefused) {
        printValueRefusal(result, event.text, event.violations);
        return;
    }
    for (const StepWording& wording : STEP_WORDINGS) {
        if (wording.step == event.step && (wording.apply == For::Any || wording.apply == apply) &&
            (wording.only == ANY || wording.only == event.record))
            say(wording.channel, fillWording(wording.pattern, event.record, event.text, event.keys), &out,
                &result);
    }
}

void printResultLine(const ResultLine& line) {
    const bool record = line.record != RecordKind::None;
    const Happened what = record && !line.sent ? Happened::NotSent : line.what;
    for (const ResultWording& wording : RESULT_WORDINGS) {
        if (wording.what == what && wording.pattern != nullptr)
            say(wording.channel, fillWording(wording.pattern, line.record, line.text), nullptr, nullptr);
    }
}

} // namespace

ProgressFn applyProgressPrinter(ApplyWording wording, std::ostream& out, FlowResult& result) {
    const For apply = wording == ApplyWording::LpfpFile ? For::LpfpFile : For::XmlFiles;
    return [apply, &out, &result](const OpEvent& event) { printApplyEvent(apply, out, result, event); };
}

void printInterruption(const ApplyResult& apply) {
    spdlog::error("Interrupted");
    // Each record first, then where the configuration from before the run is.
    const std::vector<ResultLine> lines = describeApply(apply);
    for (const ResultLine& line : lines) {
        if (line.record != RecordKind::None)
            printResultLine(line);
    }
    for (const ResultLine& line : lines) {
        if (line.record == RecordKind::None)
            printResultLine(line);
    }
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
