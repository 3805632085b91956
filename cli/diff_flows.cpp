// Comparing two configurations, from files or from the controller.

#include "cli/console_lines.h"
#include "cli/exit_status.h"
#include "cli/flows.h"
#include "cli/inputs.h"
#include "core/ops/config_source.h"

namespace {

int reportDifferences(const ConfigurationSet& left, const ConfigurationSet& right,
                      const std::string& leftText, const std::string& rightText, FlowResult& result,
                      std::ostream& data) {
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
        logError(result, "Nothing to compare: " + leftText + " and " + rightText +
                             " hold no record of the same kind");
        return EXIT_DIFF_TROUBLE;
    }
    result.differences = differences;
    // The differences are this flow's data; the verdict below is a log line.
    printDifferences(data, differences);
    data.flush();
    if (differences.empty()) {
        spdlog::info("The configurations are the same");
        return EXIT_OK;
    }
    spdlog::info("{} fields differ", differences.size());
    return EXIT_FAILED;
}

} // namespace

FlowResult diffFlow(const std::string& left, const std::string& right, const DeviceTarget& target,
                    std::ostream& data) {
    FlowResult result;
    return result.ended(guarded(result, EXIT_DIFF_TROUBLE, [&] {
        const SourceDescription leftSource = parseSource(left);
        const SourceDescription rightSource = parseSource(right);
        ConfigurationSet leftSet;
        ConfigurationSet rightSet;
        if (!isDeviceSource(leftSource))
            leftSet = loadFileSource(leftSource, target.read);
        if (!isDeviceSource(rightSource))
            rightSet = loadFileSource(rightSource, target.read);
        // Comparing reads leniently, as the readers always have; what it had to narrow is said.
        for (const ConfigurationSet* set : {&leftSet, &rightSet})
            for (const std::string& note : set->narrowed)
                spdlog::warn("{}", note);
        if (isDeviceSource(leftSource) || isDeviceSource(rightSource)) {
            const auto session = openChosenDevice(target, result, nullptr);
            if (!session || !checkVersion(*session, result, nullptr, false))
                return EXIT_DIFF_TROUBLE;
            if (isDeviceSource(leftSource))
                leftSet = readDeviceSource(leftSource, *session);
            if (isDeviceSource(rightSource))
                rightSet = readDeviceSource(rightSource, *session);
        }
        return reportDifferences(leftSet, rightSet, left, right, result, data);
    }));
}

FlowResult changedFlow(const DeviceTarget& target, std::ostream& data) {
    return diffFlow("device:default", "device:current", target, data);
}
