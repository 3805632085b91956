// Comparing two configurations, from files or from the controller.

#include "cli/exit_status.h"
#include "cli/flow_report.h"
#include "cli/flows.h"
#include "cli/inputs.h"
#include "cli/report.h"
#include "cli/report_stream.h"
#include "core/ops/config_source.h"

#include <iostream>

namespace {

int reportDifferences(const ConfigurationSet& left, const ConfigurationSet& right,
                      const std::string& leftText, const std::string& rightText) {
    std::vector<FieldDifference> differences;
    bool compared = false;
    if (left.hasApp && right.hasApp) {
        differences = diffAppConfig(left.records.app, right.records.app);
        compared = true;
    }
    if (left.hasMc && right.hasMc) {
        const auto mc = diffMcConfig(left.records.mc, right.records.mc);
        differences.insert(differences.end(), mc.begin(), mc.end());
        compared = true;
    }
    if (!compared) {
        spdlog::error("Nothing to compare: {} and {} hold no record of the same kind", leftText, rightText);
        return EXIT_DIFF_TROUBLE;
    }
    if (FlowReport* flowReport = report::activeReport())
        flowReport->differences = differences;
    printDifferences(report::out(), differences);
    report::out().flush();
    if (differences.empty()) {
        spdlog::info("The configurations are the same");
        return EXIT_OK;
    }
    spdlog::info("{} fields differ", differences.size());
    return EXIT_FAILED;
}

} // namespace

int diffFlow(const std::string& left, const std::string& right, const DeviceTarget& target) {
    return guarded(EXIT_DIFF_TROUBLE, [&] {
        const SourceDescription leftSource = parseSource(left);
        const SourceDescription rightSource = parseSource(right);
        ConfigurationSet leftSet;
        ConfigurationSet rightSet;
        if (!isDeviceSource(leftSource))
            leftSet = loadFileSource(leftSource, readInputOnce);
        if (!isDeviceSource(rightSource))
            rightSet = loadFileSource(rightSource, readInputOnce);
        // Comparing reads leniently, as the readers always have; what it had to narrow is said.
        for (const ConfigurationSet* set : {&leftSet, &rightSet})
            for (const std::string& note : set->narrowed)
                spdlog::warn("{}", note);
        if (isDeviceSource(leftSource) || isDeviceSource(rightSource)) {
            const auto session = openChosenDevice(target, false);
            if (!session || !checkVersion(*session, false, false))
                return EXIT_DIFF_TROUBLE;
            if (isDeviceSource(leftSource))
                leftSet = readDeviceSource(leftSource, *session);
            if (isDeviceSource(rightSource))
                rightSet = readDeviceSource(rightSource, *session);
        }
        return reportDifferences(leftSet, rightSet, left, right);
    });
}

int changedFlow(const DeviceTarget& target) {
    return diffFlow("device:default", "device:current", target);
}
