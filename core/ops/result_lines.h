#pragma once
// What became of an apply, told as lines without words: for each line the record, what
// happened, the fields concerned and the text it carries (a reason, a path). Each front end
// words the lines, and the steps of an apply in progress, through its own table, so that the
// same outcome is told the same way wherever that front end tells it.

#include "core/ops/apply.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class Happened : std::uint8_t {
    BackupSaved,           // text: the backup's path; the first line when a backup was taken
    BackupStopped,         // text: why the backup could not be made; the only line, nothing was sent
    Verified,              // the record was written and its read-back copy is equal
    VerifiedDespiteAnswer, // text: what of the answer to the set could not be read; the read-back
                           // copy is equal all the same
    AnswerUnreadable,      // text: as above; the record's next line says why it is not verified
    ExchangeFailed,        // text: why an exchange for the record failed
    NotAcknowledged,       // text: the bridge's acknowledge; the controller never got the record
    Refused,               // the controller said it did not take the record
    Differs,               // fields: the fields whose read-back value differs from the value sent
    DiffersUnnamed,        // the read-back copy differs, though no field is named
    NotSent,               // the apply ended after sending another record, before this one
    NotReached,            // the apply ended before anything was sent
    Ended,                 // text: what ended the apply, when no record's line tells it already
    NoBackup,              // the last line when something was sent without a backup taken first
};

struct ResultLine {
    RecordKind record = RecordKind::None; // None for the lines of the whole apply
    Happened what = Happened::Ended;
    bool sent = false; // the record's set command was issued
    std::string text;
    std::vector<FieldDifference> fields;
};

// The lines of an apply's result: the backup, then one line for each record asked for (two
// when the answer to its set could not be read and it is not verified), then what ended the
// apply and whether it ran without a backup. With stoppedByBackup (the backup taken first
// failed, and so nothing was sent), the one line that says so.
std::vector<ResultLine> describeApply(const ApplyResult& result, bool stoppedByBackup = false);

// The words the tables of both front ends put into their patterns. Each "{name}" below in a
// pattern is replaced; any other text stays as it is:
//   {rec}    "APP" or "MC"                      {Rec}    "App" or "MC"
//   {config} "APPConfig" or "MCConfig"          {root}   "APPConfiguration" or "MCConfiguration"
//   {text}   the event's or line's text         {count}  a number (keys laid over, fields)
//   {s}      "s" unless count is 1
std::string fillWording(std::string_view pattern, RecordKind record, std::string_view text,
                        std::uint64_t count = 0);
