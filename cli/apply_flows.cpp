// Writing configurations to the controller, each write verified by reading it back.

#include "cli/exit_status.h"
#include "cli/flow_report.h"
#include "cli/flows.h"
#include "cli/inputs.h"
#include "cli/report.h"
#include "cli/report_stream.h"
#include "core/ops/config_source.h"

#include <optional>

namespace {

// False, with the refusal logged, when an input holds values the controller cannot take.
bool valuesAllowed(const ApplyInput& input, RecordKind record) {
    const std::vector<ValueViolation> violations = checkInputValues(input, record);
    printValueRefusal(input.path, violations);
    return violations.empty();
}

// The result goes into the flow's report for the summary and the JSON document.
void record(const ApplyResult& result) {
    if (FlowReport* flowReport = report::activeReport()) {
        flowReport->apply = result;
        if (result.backup)
            flowReport->backup = result.backup->string();
    }
}

ApplyOptions optionsFor(FailurePolicy policy, const BackupSettings& backup) {
    ApplyOptions options;
    options.policy = policy;
    options.backup = backup;
    return options;
}

} // namespace

int setConfiguration(const std::string& appPath, const std::string& mcPath, const DeviceTarget& target,
                     const BackupSettings& backup) {
    // The documents are read once and checked, form and values, before any device is touched.
    std::optional<ApplyInput> app;
    std::optional<ApplyInput> mc;
    if (!appPath.empty() && !(app = readXmlInput(appPath, RecordKind::App)))
        return EXIT_FAILED;
    if (!mcPath.empty() && !(mc = readXmlInput(mcPath, RecordKind::Mc)))
        return EXIT_FAILED;
    const bool appAllowed = !app || valuesAllowed(*app, RecordKind::App);
    const bool mcAllowed = !mc || valuesAllowed(*mc, RecordKind::Mc);
    if (!appAllowed || !mcAllowed)
        return EXIT_FAILED;
    return guarded(EXIT_FAILED, [&] {
        const auto session = openChosenDevice(target, true);
        if (!session || !checkVersion(*session, true, true))
            return EXIT_FAILED;
        const ApplyResult result = applyXmlInputs(*session, app ? &*app : nullptr, mc ? &*mc : nullptr,
                                                  optionsFor(FailurePolicy::StopAtFirstFailure, backup),
                                                  applyProgressPrinter(ApplyWording::XmlFiles));
        record(result);
        return result.ok() ? EXIT_OK : EXIT_FAILED;
    });
}

int applyLpfpFlow(const std::string& lpfpPath, const DeviceTarget& target, const BackupSettings& backup) {
    return guarded(EXIT_FAILED, [&] {
        // A damaged file, or one with values the controller cannot take, is refused before any
        // device is touched.
        const ApplyInput input{lpfpPath, readCheckedLpfpFile(lpfpPath, readInputOnce)};
        if (!valuesAllowed(input, RecordKind::None))
            return EXIT_FAILED;
        const auto session = openChosenDevice(target, true);
        if (!session || !checkVersion(*session, true, true))
            return EXIT_FAILED;
        const ApplyResult result =
            applyLpfpInput(*session, input, optionsFor(FailurePolicy::AttemptEveryRecord, backup),
                           applyProgressPrinter(ApplyWording::LpfpFile));
        record(result);
        if (!result.error.empty())
            return EXIT_FAILED;
        if (!result.ok()) {
            spdlog::error("Configuration Validation Failed.");
            return EXIT_FAILED;
        }
        spdlog::info("Configuration updated successfully");
        return EXIT_OK;
    });
}
