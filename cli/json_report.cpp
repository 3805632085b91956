#include "cli/json_report.h"

#include "cli/exit_status.h"
#include "core/config/file_io.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <stdexcept>

#ifndef VARKO5_VERSION
#define VARKO5_VERSION "unknown"
#endif

namespace {

using nlohmann::json;

json textOrNull(const std::string& text) {
    return text.empty() ? json(nullptr) : json(text);
}

json recordJson(const RecordOutcome& outcome) {
    json differences = json::array();
    for (const FieldDifference& difference : outcome.differences)
        differences.push_back({{"key", std::string(difference.key)},
                               {"sent", difference.left},
                               {"read_back", difference.right}});
    return {{"found_keys", outcome.foundKeys},    {"sent", outcome.sent},
            {"accepted", outcome.accepted},       {"verified", outcome.verified},
            {"error", textOrNull(outcome.error)}, {"differences", differences}};
}

bool succeeded(const FlowReport& flowReport, bool comparison) {
    return comparison ? flowReport.status == EXIT_OK || flowReport.status == EXIT_FAILED
                      : flowReport.status == EXIT_OK;
}

// The parts every outcome has, with a device or without.
void addOutcome(json& object, const FlowReport& flowReport, bool comparison) {
    object["ok"] = succeeded(flowReport, comparison);
    std::string error = flowReport.error;
    if (error.empty() && !succeeded(flowReport, comparison))
        error = "failed";
    object["error"] = textOrNull(error);
    if (flowReport.differences) {
        json differences = json::array();
        for (const FieldDifference& difference : *flowReport.differences)
            differences.push_back({{"record", std::string(difference.record)},
                                   {"key", std::string(difference.key)},
                                   {"left", difference.left},
                                   {"right", difference.right}});
        object["same"] = flowReport.differences->empty();
        object["differences"] = differences;
    }
    if (!flowReport.outputs.empty())
        object["outputs"] = flowReport.outputs;
}

json deviceJson(const FlowReport& flowReport, bool comparison) {
    json device = {{"serial", flowReport.serial}, {"description", flowReport.description}};
    addOutcome(device, flowReport, comparison);
    device["backup"] = flowReport.backup ? json(*flowReport.backup) : json(nullptr);
    device["seconds"] = flowReport.seconds;
    json records = json::object();
    if (flowReport.apply) {
        if (flowReport.apply->app.requested)
            records["app"] = recordJson(flowReport.apply->app);
        if (flowReport.apply->mc.requested)
            records["mc"] = recordJson(flowReport.apply->mc);
    }
    device["records"] = records;
    return device;
}

} // namespace

std::string resultDocument(const std::string& flow, int status, bool comparison,
                           const std::vector<FlowReport>& deviceReports, const FlowReport& generalReport) {
    json document = {{"tool", "lpfp_cli"}, {"version", VARKO5_VERSION}, {"flow", flow}, {"status", status}};
    json devices = json::array();
    for (const FlowReport& flowReport : deviceReports)
        devices.push_back(deviceJson(flowReport, comparison));
    document["devices"] = devices;
    if (deviceReports.empty())
        addOutcome(document, generalReport, comparison);
    else
        document["ok"] = comparison ? status != EXIT_DIFF_TROUBLE : status == EXIT_OK;
    return document.dump(2) + "\n";
}

void writeResultDocument(const std::string& path, const std::string& document) {
    if (path != "-") {
        writeFileAtomically(path, document);
        return;
    }
    const bool written = std::fwrite(document.data(), 1, document.size(), stdout) == document.size();
    if (!written || std::fflush(stdout) != 0)
        throw std::runtime_error("Cannot write the JSON document to standard output");
}
