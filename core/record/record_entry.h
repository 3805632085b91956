#pragma once
// One entry of the production record: what was done to one controller, by whom, where and when,
// with what, and how it ended. Plain values; the stores in record_store.h keep them.

#include <cstdint>
#include <string>
#include <vector>

// The operations an entry names, as the record stores them.
namespace operation_word {
constexpr const char* APPLY_XML = "apply-xml";
constexpr const char* APPLY_LPFP = "apply-lpfp";
constexpr const char* APPLY_PARAMETERS = "apply-parameters";
constexpr const char* SAVE_CURRENT = "save-current";
constexpr const char* SAVE_DEFAULTS = "save-defaults";
constexpr const char* TEST = "test";
} // namespace operation_word

// How an entry, and each record in it, ended.
namespace outcome_word {
constexpr const char* INCOMPLETE = "incomplete"; // begun, never completed (the run was cut off)
constexpr const char* VERIFIED = "verified";     // sent, and the read-back copy is equal
constexpr const char* REFUSED = "refused";       // the controller, or the value check, refused it
constexpr const char* DIFFERS = "differs";       // sent, but the read-back copy differs
constexpr const char* FAILED = "failed";         // an exchange failed; the reason says how
constexpr const char* NOT_SENT = "not-sent";     // requested, but the run ended before it
constexpr const char* READ = "read";             // a read the user asked for succeeded
} // namespace outcome_word

// Which record of the controller an entry's record row holds.
namespace record_word {
constexpr const char* APP = "app";
constexpr const char* MC = "mc";
} // namespace record_word

// A file a configuration came from: its name as given, and a digest of the bytes read.
struct InputStamp {
    std::string fileName;
    std::string sha256; // lower-case hexadecimal
};

// One field whose read-back value is not the value sent, both as their XML text.
struct RecordedDifference {
    std::string field;
    std::string sent;
    std::string readBack;
};

// One of the controller's two records within an entry.
struct RecordedRecord {
    std::string record;  // record_word
    std::string outcome; // outcome_word
    std::string reason;  // why it failed or was refused, when it did
    // The binary payloads as exchanged with the controller, in upper-case hexadecimal; empty
    // when nothing was sent or nothing read back.
    std::string sentHex;
    std::string readBackHex;
    std::vector<RecordedDifference> differences;
};

struct RecordEntry {
    std::int64_t id = 0;    // given by the store when the entry is begun
    std::string startedAt;  // ISO 8601 UTC, "2026-01-31T12:00:00.000Z"
    std::string finishedAt; // empty while the entry is incomplete
    std::string outcome = outcome_word::INCOMPLETE;
    std::string reason;       // why the operation failed, when it did
    std::string station;      // host name
    std::string operatorName; // login name
    std::string program;
    std::string programVersion;
    std::string operation; // operation_word
    std::string serial;
    std::string chipId;   // "0x" and eight upper-case hexadecimal digits
    std::string firmware; // "5.2"; empty when the controller did not say
    std::vector<InputStamp> inputs;
    std::string backupPath; // the copy of the controller's records taken before the write
    std::string outputPath; // where a read was saved
    std::vector<RecordedRecord> records;
};

// The time now as the record writes it.
std::string utcTimestampNow();
// This machine's host name and the user's login name ("unknown" when they cannot be found).
std::string stationName();
std::string operatorName();

// A digest of what was read from a file.
InputStamp stampInput(const std::string& fileName, const std::string& bytes);

std::string toHex(const std::uint8_t* bytes, std::size_t length);
// Empty when the text is not an even number of hexadecimal digits.
std::vector<std::uint8_t> fromHex(const std::string& hex);

// A --since date: "YYYY-MM-DD", or with a time "YYYY-MM-DDTHH:MM[:SS]" and an optional "Z",
// taken as UTC. Returns the earliest time stamp it admits; throws std::invalid_argument with
// a message for the user when it is none of these.
std::string sinceTimestamp(const std::string& date);
