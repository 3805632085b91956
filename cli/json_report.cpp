#include "cli/json_report.h"

#include "cli/exit_status.h"
#include "core/config/file_io.h"
#include "varko5_version.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <stdexcept>

namespace {

using nlohmann::json;

json textOrNull(const std::string& text) {
    return text.empty() ? json(nullptr) : json(text);
}

const char* answerName(SetAnswer answer) {
    switch (answer) {
    case SetAnswer::Accepted:
        return "accepted";
    case SetAnswer::Refused:
        return "refused";
    case SetAnswer::NotAcknowledged:
        return "not_acknowledged";
    case SetAnswer::Unreadable:
        break;
    }
    return "unreadable";
}

json recordJson(const RecordOutcome& outcome) {
    json differences = json::array();
    for (const FieldDifference& difference : outcome.differences)
        differences.push_back({{"key", std::string(difference.key)},
                               {"sent", difference.left},
                               {"read_back", difference.right}});
    // accepted: null when the controller's answer could not be read (verified then tells
    // whether it holds the record); answer: what that answer was, null when none came.
    json accepted = outcome.accepted();
    json answer = nullptr;
    if (outcome.answer) {
        answer = answerName(outcome.answer->answer);
        if (outcome.answer->answer == SetAnswer::Unreadable)
            accepted = nullptr;
    }
    return {{"found_keys", outcome.foundKeys},
            {"sent", outcome.sent},
            {"accepted", accepted},
            {"answer", answer},
            {"verified", outcome.verified},
            {"error", textOrNull(outcome.error)},
            {"differences", differences}};
}

bool succeeded(const FlowResult& flowResult, bool comparison) {
    return comparison ? flowResult.status == EXIT_OK || flowResult.status == EXIT_FAILED
                      : flowResult.status == EXIT_OK;
}

// The parts every outcome has, with a device or without.
void addOutcome(json& object, const FlowResult& flowResult, bool comparison) {
    object["ok"] = succeeded(flowResult, comparison);
    std::string error = flowResult.error;
    if (error.empty() && !succeeded(flowResult, comparison))
        error = "failed";
    object["error"] = textOrNull(error);
    if (flowResult.differences) {
        json differences = json::array();
        for (const FieldDifference& difference : *flowResult.differences)
            differences.push_back({{"record", std::string(difference.record)},
                                   {"key", std::string(difference.key)},
                                   {"left", difference.left},
                                   {"right", difference.right}});
        object["same"] = flowResult.differences->empty();
        object["differences"] = differences;
    }
    if (!flowResult.outputs.empty())
        object["outputs"] = flowResult.outputs;
}

json deviceJson(const FlowResult& flowResult, bool comparison) {
    json device = {{"serial", flowResult.serial}, {"description", flowResult.description}};
    addOutcome(device, flowResult, comparison);
    if (flowResult.interrupted)
        device["interrupted"] = true;
    device["backup"] = flowResult.backup ? json(*flowResult.backup) : json(nullptr);
    device["seconds"] = flowResult.seconds;
    json records = json::object();
    if (flowResult.apply) {
        if (flowResult.apply->app.requested)
            records["app"] = recordJson(flowResult.apply->app);
        if (flowResult.apply->mc.requested)
            records["mc"] = recordJson(flowResult.apply->mc);
    }
    device["records"] = records;
    return device;
}

} // namespace

std::string resultDocument(const std::string& flow, int status, bool comparison,
                           const std::vector<FlowResult>& deviceReports, const FlowResult& generalReport,
                           bool interrupted) {
    json document = {{"tool", "lpfp_cli"}, {"version", VARKO5_VERSION}, {"flow", flow}, {"status", status}};
    if (interrupted)
        document["interrupted"] = true;
    json devices = json::array();
    for (const FlowResult& flowResult : deviceReports)
        devices.push_back(deviceJson(flowResult, comparison));
    document["devices"] = devices;
    if (deviceReports.empty())
        addOutcome(document, generalReport, comparison);
    else
        document["ok"] = comparison ? status == EXIT_OK || status == EXIT_FAILED : status == EXIT_OK;
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
