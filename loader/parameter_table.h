#pragma once
// The rows of the parameter view and what they do with the records, free of any widget: every
// key of both records, gathered into the groups of what it configures; the text of a key's
// value; whether two copies of a key differ; and what a user may type into a key.

#include "core/config/config_fields.h"
#include "core/lpfp/lpfp.h"
#include "core/ops/apply.h"
#include "core/ops/progress.h"
#include "loader/parameter_groups.h"

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class ControllerSession;

// One key of one record. Exactly one of app and mc is set.
struct ParameterEntry {
    RecordKind record = RecordKind::None;
    const AppField* app = nullptr;
    const McField* mc = nullptr;
    std::string_view key;
    ParameterGroup group = ParameterGroup::General;
    FieldType type = FieldType::Float32;
    bool stored = true; // false for the lo_ keys, which the controller does not keep
};

// Both records' keys: the application record first, each record's groups in the order of
// parameterGroupsOf, and within a group the keys in the order of the record's document.
// Throws std::logic_error naming a key that no rule of parameter_groups.h places.
const std::vector<ParameterEntry>& parameterEntries();

// "APPConfiguration" or "MCConfiguration".
std::string_view recordName(RecordKind record);

// The entry's value in pair as its XML text.
std::string entryText(const ParameterEntry& entry, const LpfpConfiguration& pair);
// Copies the entry's value from one pair to another.
void copyEntry(const ParameterEntry& entry, const LpfpConfiguration& from, LpfpConfiguration& to);

// Keys whose values differ between two pairs by the rule of the write verification (floats
// within 0.01 are equal), as (record, key).
using KeySet = std::set<std::pair<RecordKind, std::string_view>>;
KeySet differingKeys(const LpfpConfiguration& a, const LpfpConfiguration& b);
// Keys whose XML texts are not the same: what a user changed, however little.
KeySet changedKeys(const LpfpConfiguration& a, const LpfpConfiguration& b);

// True when text is a value the key can hold and carry to the controller unchanged: one the
// value checker of config_validate.h allows (a number in full, within the field's and its
// wire encoding's range; 0 or 1 for a boolean) that also comes back from the controller's
// encoding equal by the verification's rule. The lo_ keys take nothing: the controller does
// not keep them.
bool valueFits(const ParameterEntry& entry, std::string_view text);
// What the key takes, for people: "a whole number from 0 to 255".
std::string allowedText(const ParameterEntry& entry);
// Stores text into the entry's field of pair; false, nothing changed, when it does not fit.
bool setEntryText(const ParameterEntry& entry, LpfpConfiguration& pair, std::string_view text);

// The records of the controller the view shows.
struct ParameterSnapshot {
    LpfpConfiguration current;
    LpfpConfiguration defaults;
};

// Reads the current and the default records (controller failures pass through).
ParameterSnapshot readParameterSnapshot(ControllerSession& session);

// Sends the records given, whole, through the verified path of Update: a backup of the
// current records first (in the default backup folder), then each record with its read-back
// comparison; every record is attempted whatever became of the other.
ApplyResult applyParameterRecords(ControllerSession& session, const std::optional<APPConfiguration>& app,
                                  const std::optional<MCConfiguration>& mc, const ProgressFn& progress);
