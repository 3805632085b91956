#pragma once
// Writing configurations to a controller: each record is laid over the controller's default
// record (or sent whole), sent, read back and compared field by field. A write counts as done
// only when its read-back copy is equal.

#include "core/ops/backup.h"
#include "core/ops/cancellation.h"
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
    // Looked at before each record: once requested, the apply ends there (after the read-back
    // of a record already sent) and says so in ApplyResult::interrupted.
    Cancellation cancel;
};

// What became of one record.
struct RecordOutcome {
    bool requested = false; // the apply was asked to write this record
    std::uint64_t foundKeys = 0;
    bool sent = false; // the set command was issued
    // What the answer to the set said; empty when none came (not sent, or a silent controller).
    // When it was unreadable the read-back decides: verified or differences.
    std::optional<SetReply> answer;
    bool verified = false; // the read-back copy equals the record sent
    // Fields whose read-back value differs: left is the value sent, right the value read back.
    std::vector<FieldDifference> differences;
    std::string error; // why an exchange for this record failed, when one did
    // The payloads as exchanged with the controller: the one sent (once the set command was
    // issued) and the one read back (once it arrived), for the production record.
    std::vector<std::uint8_t> sentPayload;
    std::vector<std::uint8_t> readBackPayload;

    bool ok() const { return !requested || verified; }
    // The controller said it took the record (not: its answer could not be read).
    bool accepted() const { return answer && answer->answer == SetAnswer::Accepted; }
    // The controller said it did not take it, or never got it.
    bool rejected() const {
        return answer &&
               (answer->answer == SetAnswer::Refused || answer->answer == SetAnswer::NotAcknowledged);
    }
    // Whatever the answer, the record was read back and compared.
    bool readBack() const { return verified || !differences.empty(); }
};

struct ApplyResult {
    RecordOutcome app;
    RecordOutcome mc;
    std::optional<std::filesystem::path> backup;
    // What ended the apply before every requested record was attempted (a time-out, a reply
    // that could not be read under StopAtFirstFailure, a failed backup, values the controller
    // cannot take); empty otherwise. Values refused give the lines of refusalLines, joined by
    // line feeds.
    std::string error;
    // The values that kept anything from being sent, of every input.
    std::vector<ValueViolation> refusedValues;
    // A stop was requested and the apply ended before every requested record was sent; error
    // is then "Interrupted".
    bool interrupted = false;
    // The production record (recording.h) could not be written: before the apply (error says
    // the same, and nothing was sent) or after it (the outcome above stands as it was).
    std::string recordError;

    bool ok() const { return error.empty() && app.ok() && mc.ok(); }
};

// A document to apply, read whole and once before the apply (a pipe cannot be read twice, and a
// file could change between a check and its use).
struct ApplyInput {
    std::string path; // as given, for messages
    std::string text; // the file's whole text: an XML document, or an LPFP file as stored
};

// The values of an input the controller cannot take, one entry per key (config_validate.h):
// of the record's document for an XML input (record App or Mc), of both documents of an LPFP
// file (record None). Nothing for a text the readers would refuse on their own.
std::vector<ValueViolation> checkInputValues(const ApplyInput& input, RecordKind record);

// How a refusal for values reads: a heading naming the file, then one line per key with its
// text and what is allowed.
std::vector<std::string> refusalLines(const std::string& path, const std::vector<ValueViolation>& violations);

// Every apply checks every value of its inputs before anything else: when one is refused, each
// offending input is reported (OpStep::ValuesRefused), the result's error holds the refusal
// lines, and nothing is sent, read or backed up.

// Apply the XML documents given (application first), each laid over the controller's default
// record read just before it. A document without its record's root element is reported as
// FileInvalid and skipped.
ApplyResult applyXmlInputs(ControllerSession& session, const ApplyInput* app, const ApplyInput* mc,
                           const ApplyOptions& options, const ProgressFn& progress);
// The same for the files whose paths are not empty; a file that cannot be read counts as one
// without its root element.
ApplyResult applyXmlFiles(ControllerSession& session, const std::string& appPath, const std::string& mcPath,
                          const ApplyOptions& options, const ProgressFn& progress);

// Apply an LPFP file: both default records are read first, the file's values laid over them,
// then both records are sent and verified. A file that does not decode fails the apply
// (OpStep::Failed); one without both documents is FileInvalid.
ApplyResult applyLpfpInput(ControllerSession& session, const ApplyInput& lpfp, const ApplyOptions& options,
                           const ProgressFn& progress);
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
