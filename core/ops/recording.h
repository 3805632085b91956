#pragma once
// Production records of what the operations do to controllers (core/record): one entry per
// controller and operation, begun before anything is sent and completed when the operation
// ends. Both programs record through these functions.

#include "core/ops/apply.h"
#include "core/ops/session.h"
#include "core/record/record_store.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Where a program records, and the name and version it records under. One per program run,
// shared by its workers.
struct Recording {
    std::shared_ptr<RecordStore> store;
    std::string program;
    std::string version;
};

// Opens the record DEST names (record_store.h). Throws RecordError.
std::shared_ptr<const Recording> openRecording(const std::string& destination, const std::string& program,
                                               const std::string& version);

// A recording opened when it is first needed, on the thread that needs it, and shared from then
// on: the desktop's panels record through one, so that a server that does not answer holds up
// a panel's worker, never the window. An opening that failed is tried again the next time.
class RecordingSource {
public:
    // destination empty: the program does not record.
    RecordingSource(std::string destination, std::string program, std::string version);

    bool enabled() const { return !destination_.empty(); }
    // Where it records as the user may see it (a URI without its password); when the
    // destination cannot be understood, empty, and problem() says why.
    const std::string& shown() const { return shown_; }
    const std::string& problem() const { return problem_; }

    // The opened recording; null when not enabled. Throws RecordError when it cannot be opened.
    // Safe to call from several threads.
    std::shared_ptr<const Recording> get();

private:
    std::string destination_;
    std::string program_;
    std::string version_;
    std::string shown_;
    std::string problem_;
    std::mutex mutex_;
    std::shared_ptr<const Recording> opened_;
};

// A firmware version as the record writes it, "5.2"; empty when the controller gave none.
std::string firmwareText(const FirmwareVersion& version);

// The entry for an operation on this controller, with everything known before it starts.
RecordEntry newEntry(const Recording& recording, const ControllerSession& session, const char* operation,
                     std::vector<InputStamp> inputs);

// Writes the entry as incomplete and keeps its number. Throws RecordError: the operation must
// not start then.
void beginEntry(const Recording& recording, RecordEntry& entry);
// Writes how it ended; the text for the user when that failed, empty when it did not. Never
// throws: the operation's own result stands either way.
std::string completeEntry(const Recording& recording, RecordEntry& entry);

// What an apply did, as the entry keeps it: outcome and reason, backup, each requested record
// with its payloads and differing fields.
void describeApply(RecordEntry& entry, const ApplyResult& result);
// What a read did: the records it read, if it got that far, where they went, and why it failed
// (empty: it did not).
void describeRead(RecordEntry& entry, const std::optional<LpfpConfiguration>& records,
                  const std::string& outputPath, const std::string& reason);

// Runs an apply under an entry of the recording (without one: just the apply). When the entry
// cannot be begun, apply is not run: the result's error and recordError say why. When it
// cannot be completed, the result is the apply's with recordError set.
ApplyResult recordedApply(const Recording* recording, ControllerSession& session, const char* operation,
                          std::vector<InputStamp> inputs, const std::function<ApplyResult()>& apply);

// What a read found, as its entry keeps it: the records read (once they were) and where they
// went ("" when they were only shown).
struct ReadFindings {
    std::optional<APPConfiguration> app;
    std::optional<MCConfiguration> mc;
    std::string output;
};
void describeRead(RecordEntry& entry, const ReadFindings& findings, const std::string& reason);

// Runs a read under an entry of the recording (without one: just the read), which throws when
// it fails. The entry is begun first: when it cannot be, nothing is read and RecordError says
// so. When read throws, the entry is completed as failed and the failure passes on (with the
// record's own failure added, when completing it failed too). Returns the text for the user
// when the entry could not be completed, empty otherwise.
std::string recordedRead(const Recording* recording, ControllerSession& session, const char* operation,
                         const std::function<void(ReadFindings&)>& read);

// The configuration an entry wrote (for a read: the one it read), both records decoded from
// their payloads. Throws RecordError when the entry does not hold both, or holds a damaged one.
LpfpConfiguration entryConfiguration(const RecordEntry& entry);
