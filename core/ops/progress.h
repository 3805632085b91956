#pragma once
// How an operation speaks to the person who started it. Operations never print, log progress
// or show anything themselves: they report each step as an event, and each front end turns the
// events into the lines it has always shown.

#include "core/config/config_diff.h"
#include "core/config/config_validate.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

enum class RecordKind : std::uint8_t { None, App, Mc };

enum class OpStep : std::uint8_t {
    BackupSaved,      // text: the backup's path
    BackupFailed,     // text: why; nothing is sent after it
    GettingDefaults,  // about to read the controller's default record as the base
    ValuesRefused,    // text: the file; violations: its values the controller cannot take.
                      // Nothing is sent then, not even the other record.
    FileInvalid,      // text: the file that could no longer be read as a configuration
    FileRead,         // text: the file; keys: how many of its keys were laid over the base
    Refused,          // the controller answered that it did not take the record
    NotAcknowledged,  // text: the bridge's acknowledge; the frame never reached the controller
    AnswerUnreadable, // text: what of the answer to the set could not be read; whether the
                      // controller took the record is unknown until it is read back
    Sent,             // the controller accepted the record
    GettingReadBack,  // about to read the record back
    Validating,       // the read-back record arrived and is being compared
    Validated,        // the read-back record equals the record sent
    Differs,          // differences: the fields whose read-back value differs from the sent one
    Failed,           // text: an exchange failed (a time-out, a damaged reply)
    Interrupted,      // a stop was requested; nothing more is sent
};

struct OpEvent {
    OpStep step = OpStep::Failed;
    RecordKind record = RecordKind::None;
    std::string text;
    std::uint64_t keys = 0;
    std::vector<FieldDifference> differences;
    std::vector<ValueViolation> violations;
};

using ProgressFn = std::function<void(const OpEvent&)>;

// The text users read for a failure that escaped a device exchange: a time-out carries no
// text of its own, so it is named here.
constexpr const char* TIMED_OUT_TEXT = "ARM timed out. It may not be powered.";
std::string describeFailure(const std::exception& error);
