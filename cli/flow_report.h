#pragma once
// What one flow did on one device, for the summary table and the JSON document.

#include "core/config/config_diff.h"
#include "core/ops/apply.h"

#include <optional>
#include <string>
#include <vector>

struct FlowReport {
    std::string serial;
    std::string description;
    int status = -1;   // the flow's exit status
    std::string error; // the first error the flow logged; empty when none
    std::optional<std::string> backup;
    double seconds = 0;
    std::optional<ApplyResult> apply;                        // the apply flows
    std::vector<std::string> outputs;                        // the files a saving flow wrote
    std::optional<std::vector<FieldDifference>> differences; // the diff flows
};
