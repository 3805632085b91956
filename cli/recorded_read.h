#pragma once
// A read the user asked for (--getConfig, --getDefaults, --saveLpfp, --test) under an entry of
// the production record, when the run records.

#include "cli/device_opening.h"
#include "cli/exit_status.h"
#include "cli/flow_result.h"
#include "core/ops/recording.h"

#include <spdlog/spdlog.h>

#include <optional>
#include <string>

// What a read tells its entry.
struct ReadNote {
    std::optional<LpfpConfiguration> records; // what was read, once it was
    std::string output;                       // where it went ("" for standard output)
    std::string reason;                       // why it failed, when the body returns a failure
    std::string problem; // a failure the flow reports without failing (the test's missing version)
};

// Runs body(note) under an entry. The entry is begun first: when it cannot be, nothing is read
// and the flow fails. When it cannot be completed, the flow fails after its own output.
template <class Body>
int recordedRead(const DeviceTarget& target, ControllerSession& session, const char* operation,
                 FlowResult& result, Body body) {
    ReadNote note;
    if (target.recording == nullptr)
        return body(note);
    RecordEntry entry = newEntry(*target.recording, session, operation, {});
    try {
        beginEntry(*target.recording, entry);
    } catch (const std::exception& error) {
        logError(result, std::string("Nothing was read from the controller: ") + error.what());
        return EXIT_FAILED;
    }
    int status = EXIT_FAILED;
    try {
        status = body(note);
    } catch (const std::exception& error) {
        describeRead(entry, note.records, note.output, describeFailure(error));
        if (const std::string failure = completeEntry(*target.recording, entry); !failure.empty())
            logError(result, failure);
        throw;
    }
    // The test learns the firmware while it runs.
    if (session.version().valid)
        entry.firmware = firmwareText(session.version());
    describeRead(entry, note.records, note.output,
                 status == EXIT_OK ? note.problem : (note.reason.empty() ? "the read failed" : note.reason));
    if (const std::string failure = completeEntry(*target.recording, entry); !failure.empty()) {
        logError(result, failure);
        return EXIT_FAILED;
    }
    return status;
}
