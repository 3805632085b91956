#pragma once
// What one flow did on one device: its exit status and its result, as values. The console
// summary and the JSON document both read it; nothing in it comes from the log.

#include "core/config/config_diff.h"
#include "core/ops/apply.h"

#include <optional>
#include <string>
#include <vector>

struct FlowResult {
    std::string serial;
    std::string description;
    int status = -1;          // the flow's exit status
    std::string error;        // why the flow failed, the first reason it gave; empty when none
    bool interrupted = false; // a stop request ended the flow before it was done
    std::optional<std::string> backup;
    double seconds = 0;
    std::optional<ApplyResult> apply;                        // the apply flows
    std::vector<std::string> outputs;                        // the files a saving flow wrote
    std::optional<std::vector<FieldDifference>> differences; // the diff flows

    // Keeps reason as the flow's error unless an earlier one is kept already.
    void noteError(const std::string& reason) {
        if (error.empty())
            error = reason;
    }
    // The result with status set, for a flow's return.
    FlowResult& ended(int exitStatus) {
        status = exitStatus;
        return *this;
    }
};

// Logs reason at error level, one log line per line of it, and keeps its first line as the
// result's error: a failure is said once, in the words the user reads, and the same words reach
// the JSON document.
void logError(FlowResult& result, const std::string& reason);
