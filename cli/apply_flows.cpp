// Writing configurations to the controller, each write verified by reading it back.

#include "cli/console_lines.h"
#include "cli/exit_status.h"
#include "cli/flows.h"
#include "cli/inputs.h"
#include "core/config/file_io.h"
#include "core/ops/config_source.h"

#include <optional>

namespace {

// False, with the refusal logged and kept in result, when an input holds values the controller
// cannot take.
bool valuesAllowed(const PreparedInput& prepared, FlowResult& result) {
    printValueRefusal(result, prepared.input.path, prepared.violations);
    return prepared.violations.empty();
}

// The apply's outcome becomes part of the flow's result. After a stop request, what was and
// was not done is said first.
void keep(FlowResult& result, const ApplyResult& apply, const Cancellation& cancel) {
    if (cancel.requested())
        printInterruption(apply);
    result.apply = apply;
    result.interrupted = apply.interrupted;
    if (apply.backup)
        result.backup = utf8FromPath(*apply.backup);
}

// The record could not be written: before the apply (nothing was sent) or after it (the
// outcome shown stands). Either way the run fails.
bool recordFailed(const ApplyResult& apply, FlowResult& result) {
    if (apply.recordError.empty())
        return false;
    logError(result, apply.recordError);
    return true;
}

std::vector<InputStamp> stamps(std::initializer_list<const ApplyInput*> inputs) {
    std::vector<InputStamp> list;
    for (const ApplyInput* input : inputs) {
        if (input != nullptr)
            list.push_back(stampInput(input->path, input->text));
    }
    return list;
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
    std::optional<PreparedInput> app;
    std::optional<PreparedInput> mc;
    if (!appPath.empty() && !(app = readXmlInput(appPath, RecordKind::App, target.read, result)))
        return result.ended(EXIT_FAILED);
    if (!mcPath.empty() && !(mc = readXmlInput(mcPath, RecordKind::Mc, target.read, result)))
        return result.ended(EXIT_FAILED);
    const bool appAllowed = !app || valuesAllowed(*app, result);
    const bool mcAllowed = !mc || valuesAllowed(*mc, result);
    if (!appAllowed || !mcAllowed)
        return result.ended(EXIT_FAILED);
    return result.ended(guarded(result, EXIT_FAILED, [&] {
        const auto session = openChosenDevice(target, result, &out);
        if (!session || !checkVersion(*session, result, &out, true))
            return EXIT_FAILED;
        const ApplyInput* appInput = app ? &app->input : nullptr;
        const ApplyInput* mcInput = mc ? &mc->input : nullptr;
        const ApplyResult apply = recordedApply(
            target.recording, *session, operation_word::APPLY_XML, stamps({appInput, mcInput}), [&] {
                return applyXmlInputs(*session, appInput, mcInput,
                                      optionsFor(FailurePolicy::StopAtFirstFailure, backup, target.cancel),
                                      applyProgressPrinter(ApplyWording::XmlFiles, out, result));
            });
        keep(result, apply, target.cancel);
        if (recordFailed(apply, result))
            return EXIT_FAILED;
        return apply.ok() ? EXIT_OK : EXIT_FAILED;
    }));
}

FlowResult applyLpfpFlow(const std::string& lpfpPath, const DeviceTarget& target,
                         const BackupSettings& backup, std::ostream& out) {
    FlowResult result;
    return result.ended(guarded(result, EXIT_FAILED, [&] {
        // A damaged file, or one with values the controller cannot take, is refused before any
        // device is touched.
        const PreparedInput prepared = prepareLpfpInput(lpfpPath, target.read);
        if (const std::string problem = problemText(prepared); !problem.empty()) {
            logError(result, problem);
            return EXIT_FAILED;
        }
        if (!valuesAllowed(prepared, result))
            return EXIT_FAILED;
        const auto session = openChosenDevice(target, result, &out);
        if (!session || !checkVersion(*session, result, &out, true))
            return EXIT_FAILED;
        const ApplyResult apply = recordedApply(
            target.recording, *session, operation_word::APPLY_LPFP, stamps({&prepared.input}), [&] {
                return applyLpfpInput(*session, prepared.input,
                                      optionsFor(FailurePolicy::AttemptEveryRecord, backup, target.cancel),
                                      applyProgressPrinter(ApplyWording::LpfpFile, out, result));
            });
        keep(result, apply, target.cancel);
        // Nothing was sent: the record could not be begun.
        if (!apply.recordError.empty() && apply.recordError == apply.error) {
            recordFailed(apply, result);
            return EXIT_FAILED;
        }
        int status = EXIT_OK;
        if (!apply.error.empty()) {
            status = EXIT_FAILED;
        } else if (!apply.ok()) {
            logError(result, "Configuration Validation Failed.");
            status = EXIT_FAILED;
        } else {
            spdlog::info("Configuration updated successfully");
        }
        return recordFailed(apply, result) ? EXIT_FAILED : status;
    }));
}
