#pragma once
// Writing configurations to a controller: each record is laid over the controller's default
// record (or sent whole), sent, read back and compared field by field. A write counts as done
// only when its read-back copy is equal.

#include "core/ops/backup.h"
#include "core/ops/progress.h"
#include "core/ops/session.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// What happens after a record fails.
enum class FailurePolicy : std::uint8_t {
    // After a record whose read-back differs, or whose exchange failed, nothing more is sent.
    // A record the controller refused, or whose file could not be read, does not stop the next.
    StopAtFirstFailure,
    // Every record is attempted whatever happened to the one before; only a silent controller
    // ends the apply.
    AttemptEveryRecord,
};

struct ApplyOptions {
    FailurePolicy policy = FailurePolicy::StopAtFirstFailure;
    // With enabled set, the controller's current records are saved before anything is sent,
    // and a backup that cannot be written stops the apply.
    BackupSettings backup{false, {}};
};

// What became of one record.
struct RecordOutcome {
    bool requested = false; // the apply was asked to write this record
    std::uint64_t foundKeys = 0;
    bool sent = false;     // the set command was issued
    bool accepted = false; // the controller accepted it
    bool verified = false; // the read-back copy equals the record sent
    // Fields whose read-back value differs: left is the value sent, right the value read back.
    std::vector<FieldDifference> differences;
    std::string error; // why an exchange for this record failed, when one did

    bool ok() const { return !requested || verified; }
};

struct ApplyResult {
    RecordOutcome app;
    RecordOutcome mc;
    std::optional<std::filesystem::path> backup;
    // What ended the apply before every requested record was attempted (a time-out, a reply
    // that could not be read under StopAtFirstFailure, a failed backup); empty otherwise.
    std::string error;

    bool ok() const { return error.empty() && app.ok() && mc.ok(); }
};

// Apply the XML documents whose paths are not empty, application first, each laid over the
// controller's default record read just before it.
ApplyResult applyXmlFiles(ControllerSession& session, const std::string& appPath, const std::string& mcPath,
                          const ApplyOptions& options, const ProgressFn& progress);

// Apply an LPFP file: both default records are read first, the file's values laid over them,
// then both records are sent and verified.
ApplyResult applyLpfpFile(ControllerSession& session, const std::string& lpfpPath,
                          const ApplyOptions& options, const ProgressFn& progress);

// Send whole records (every key present, so no defaults are laid under them).
ApplyResult applyRecords(ControllerSession& session, const std::optional<APPConfiguration>& app,
                         const std::optional<MCConfiguration>& mc, const ApplyOptions& options,
                         const ProgressFn& progress);

// Save the controller's current records as a backup (see backup.h) and return its path.
// Throws std::runtime_error when the records cannot be read or the file cannot be written,
// timeout_exception when the controller is silent.
std::filesystem::path backupCurrentConfiguration(ControllerSession& session, const BackupSettings& settings);
