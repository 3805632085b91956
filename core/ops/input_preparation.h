#pragma once
// One preparation of every input before an apply: read once, its record recognised by the root
// element, an LPFP file decoded and checked for both documents, every value checked. The result
// says exactly what is wrong, and carries the text that was checked, so that the apply uses
// that text and nothing reads the file again.

#include "core/config/file_io.h"
#include "core/ops/apply.h"
#include "core/ops/config_source.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The inputs of one run, each read at most once: when several devices are worked at once,
// every worker asks for the same inputs, and a pipe ("<(command)") can be read only once. Later
// asks get what the first got, its failure included (InputFileError, as readInputFile throws).
// Safe to ask from several threads; a second asker waits for the first read rather than race
// it for the pipe's bytes.
class InputsReadOnce {
public:
    std::string read(const std::string& path);
    // A reader for the preparations below that reads through this; valid while this lives.
    InputReader reader() {
        return [this](const std::string& path) { return read(path); };
    }

private:
    struct Outcome {
        std::string text;
        std::optional<InputFileError> error;
    };
    std::mutex mutex_;
    std::map<std::string, Outcome> read_;
};

enum class InputProblem {
    None,
    Unreadable,    // not there, not a file or pipe, or a pipe that never delivered
    NotTheRecord,  // an XML document that does not parse or holds another record
    Damaged,       // an LPFP file that does not decode, fails its checksum or lacks a document
    ValuesRefused, // values the controller cannot take (violations)
};

struct PreparedInput {
    ApplyInput input;                     // the path as given and the text as read
    RecordKind record = RecordKind::None; // App or Mc for an XML document, None for an LPFP file
    InputProblem problem = InputProblem::None;
    // The reading failure's message (Unreadable, NotTheRecord of a missing file), or the
    // decoder's ("Decoding Failed.", "Checksum Fail", with a likely cause on a second line) or
    // "Invalid Configuration File" (Damaged); empty otherwise.
    std::string reason;
    int errorNumber = 0; // the system's error number of a reading failure, 0 when it has none
    std::vector<ValueViolation> violations; // ValuesRefused
    // NotTheRecord of a document that parses: the root record it names instead
    // ("MCConfiguration" where "APPConfiguration" was asked for), empty when it names neither.
    std::string foundRecord;

    bool ok() const { return problem == InputProblem::None; }
};

// An XML document that must hold record (App or Mc). read: how the text is read (empty:
// readInputFile, which throws InputFileError); a file that is not there or cannot be opened is
// a document without the record.
PreparedInput prepareXmlInput(const std::string& path, RecordKind record, const InputReader& read = {});
// An LPFP file, both of its documents.
PreparedInput prepareLpfpInput(const std::string& path, const InputReader& read = {});
// Any configuration file: an LPFP file by its extension (in any letter case), otherwise an XML
// document of either record, whose root sets record.
PreparedInput prepareConfigurationInput(const std::string& path, const InputReader& read = {});

// The records a prepared input holds, written over records: both for an LPFP file, the one its
// root names for an XML document; fields whose keys it leaves out keep their values. Values
// outside what the controller takes are narrowed as the readers narrow them. Returns false,
// leaving records as they were, for an input that is not ok() other than by ValuesRefused.
bool readPreparedRecords(const PreparedInput& prepared, LpfpConfiguration& records);
