#pragma once
// The files a command line names, checked before any device is touched: the JSON document
// names no input or output of the same run, and every file and folder the run will write can
// be written. Each check creates the entry it needs (and removes it again), so that what the
// system allows is what is tested.

#include "cli/flow_table.h"
#include "cli/options.h"

#include <optional>
#include <string>

struct OptionProblem {
    std::string message;
    // False when the problem is the JSON document's own path: nothing may be written there.
    bool jsonWritable = true;
};

// The first problem of the paths the flow's row names (FlowRow::paths); nothing when there is
// none. several: the flow runs on several devices, whose output names are made per device.
std::optional<OptionProblem> checkPaths(const CommandLineOptions& options, const FlowRow& flow, bool several);
