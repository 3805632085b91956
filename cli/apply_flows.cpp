// Writing configurations to the controller, each write verified by reading it back.

#include "cli/exit_status.h"
#include "cli/flow_report.h"
#include "cli/flows.h"
#include "cli/report.h"
#include "cli/report_stream.h"
#include "core/ops/config_source.h"

#include <tinyxml2.h>

namespace {

bool hasRootElement(const std::string& path, const char* rootName) {
    tinyxml2::XMLDocument document;
    if (document.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS)
        return false;
    return document.FirstChildElement(rootName) != nullptr;
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
    // The documents are checked before any device is touched.
    if (!appPath.empty() && !hasRootElement(appPath, "APPConfiguration")) {
        spdlog::error("Not a valid APPConfiguration XML file");
        return EXIT_FAILED;
    }
    if (!mcPath.empty() && !hasRootElement(mcPath, "MCConfiguration")) {
        spdlog::error("Not a valid MCConfiguration XML file");
        return EXIT_FAILED;
    }
    return guarded(EXIT_FAILED, [&] {
        const auto session = openChosenDevice(target, true);
        if (!session || !checkVersion(*session, true, true))
            return EXIT_FAILED;
        const ApplyResult result =
            applyXmlFiles(*session, appPath, mcPath, optionsFor(FailurePolicy::StopAtFirstFailure, backup),
                          applyProgressPrinter(ApplyWording::XmlFiles));
        record(result);
        return result.ok() ? EXIT_OK : EXIT_FAILED;
    });
}

int applyLpfpFlow(const std::string& lpfpPath, const DeviceTarget& target, const BackupSettings& backup) {
    return guarded(EXIT_FAILED, [&] {
        // A damaged file is refused before any device is touched.
        checkLpfpFile(lpfpPath);
        const auto session = openChosenDevice(target, true);
        if (!session || !checkVersion(*session, true, true))
            return EXIT_FAILED;
        const ApplyResult result =
            applyLpfpFile(*session, lpfpPath, optionsFor(FailurePolicy::AttemptEveryRecord, backup),
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
