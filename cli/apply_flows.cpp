// Writing configurations to the controller, each write verified by reading it back.

#include "cli/console_lines.h"
#include "cli/exit_status.h"
#include "cli/flows.h"
#include "cli/inputs.h"
#include "core/ops/config_source.h"

#include <optional>

namespace {

// False, with the refusal logged and kept in result, when an input holds values the controller
// cannot take.
bool valuesAllowed(const ApplyInput& input, RecordKind record, FlowResult& result) {
    const std::vector<ValueViolation> violations = checkInputValues(input, record);
    printValueRefusal(result, input.path, violations);
    return violations.empty();
}

// The apply's outcome becomes part of the flow's result. After a stop request, what was and
// was not done is said first.
void keep(FlowResult& result, const ApplyResult& apply, const Cancellation& cancel) {
    if (cancel.requested())
        printInterruption(apply);
    result.apply = apply;
    result.interrupted = apply.interrupted;
    if (apply.backup)
        result.backup = apply.backup->string();
}

ApplyOptions optionsFor(FailurePolicy policy, const BackupSettings& backup, const Cancellation& cancel) {
    ApplyOptions options;
    options.policy = policy;
    options.backup = backup;
    options.cancel = cancel;
    return options;
}

} // namespace

FlowResult setConfiguration(const std::string& appPath, const std::string& mcPath, const DeviceTarget& target,
                            const BackupSettings& backup, std::ostream& out) {
    FlowResult result;
    // The documents are read once and checked, form and values, before any device is touched.
    std::optional<ApplyInput> app;
    std::optional<ApplyInput> mc;
    if (!appPath.empty() && !(app = readXmlInput(appPath, RecordKind::App, result)))
        return result.ended(EXIT_FAILED);
    if (!mcPath.empty() && !(mc = readXmlInput(mcPath, RecordKind::Mc, result)))
        return result.ended(EXIT_FAILED);
    const bool appAllowed = !app || valuesAllowed(*app, RecordKind::App, result);
    const bool mcAllowed = !mc || valuesAllowed(*mc, RecordKind::Mc, result);
    if (!appAllowed || !mcAllowed)
        return result.ended(EXIT_FAILED);
    return result.ended(guarded(result, EXIT_FAILED, [&] {
        const auto session = openChosenDevice(target, result, &out);
        if (!session || !checkVersion(*session, result, &out, true))
            return EXIT_FAILED;
        const ApplyResult apply =
            applyXmlInputs(*session, app ? &*app : nullptr, mc ? &*mc : nullptr,
                           optionsFor(FailurePolicy::StopAtFirstFailure, backup, target.cancel),
                           applyProgressPrinter(ApplyWording::XmlFiles, out, result));
        keep(result, apply, target.cancel);
        return apply.ok() ? EXIT_OK : EXIT_FAILED;
    }));
}

FlowResult applyLpfpFlow(const std::string& lpfpPath, const DeviceTarget& target,
                         const BackupSettings& backup, std::ostream& out) {
    FlowResult result;
    return result.ended(guarded(result, EXIT_FAILED, [&] {
        // A damaged file, or one with values the controller cannot take, is refused before any
        // device is touched.
        const ApplyInput input{lpfpPath, readCheckedLpfpFile(lpfpPath, readInputOnce)};
        if (!valuesAllowed(input, RecordKind::None, result))
            return EXIT_FAILED;
        const auto session = openChosenDevice(target, result, &out);
        if (!session || !checkVersion(*session, result, &out, true))
            return EXIT_FAILED;
        const ApplyResult apply = applyLpfpInput(
            *session, input, optionsFor(FailurePolicy::AttemptEveryRecord, backup, target.cancel),
            applyProgressPrinter(ApplyWording::LpfpFile, out, result));
        keep(result, apply, target.cancel);
        if (!apply.error.empty())
            return EXIT_FAILED;
        if (!apply.ok()) {
            logError(result, "Configuration Validation Failed.");
            return EXIT_FAILED;
        }
        spdlog::info("Configuration updated successfully");
        return EXIT_OK;
    }));
}
