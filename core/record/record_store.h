#pragma once
// Where production records are kept: an SQLite file on a single bench, or a PostgreSQL database
// that a line of stations shares. Both hold the same tables (docs/records.md).
//
// A store is safe to use from several threads at once (one worker per controller); several
// processes and stations may use one database at the same time.

#include "core/record/record_entry.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

// The record cannot be opened, read or written; the message is meant for the user.
class RecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The schema version this program writes, and reads up to.
constexpr int RECORD_SCHEMA_VERSION = 2;

enum class DestinationKind : std::uint8_t { SqliteFile, Postgres };

struct Destination {
    DestinationKind kind = DestinationKind::SqliteFile;
    std::string text;  // as given: the path or the URI
    std::string shown; // for messages and the status bar: a URI without its password
};

// A file path, or a "postgresql://" or "postgres://" URI. Throws RecordError for an empty text,
// another scheme ("mysql://...") and a PostgreSQL URI in a build without PostgreSQL.
Destination parseDestination(const std::string& text);

struct HistoryQuery {
    std::string serial; // empty: every controller
    std::string since;  // empty, or the earliest started_at (sinceTimestamp)
};

class SqlConnection;
using SqlValue = std::variant<std::monostate, std::int64_t, std::string>;

class RecordStore {
public:
    // Opens the record, creating its tables in an empty database and bringing an older schema
    // up to this version. Throws RecordError, with nothing changed, when the destination cannot
    // be reached, is not a database, holds other tables, or holds a newer schema.
    // forReading: a file that does not exist is an error instead of a new record.
    explicit RecordStore(const Destination& destination, bool forReading = false);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    const Destination& destination() const { return destination_; }

    // Writes the entry as incomplete (time, station and the rest as given) and returns its id.
    // Only once this returned may the controller be written to.
    std::int64_t begin(const RecordEntry& entry);
    // Writes how the entry with this id ended: outcome, reason, finishing time, backup and
    // output paths, and the records. An entry is completed once; a second completion throws.
    void complete(const RecordEntry& entry);

    // The entries of one controller, or of all, oldest first.
    std::vector<RecordEntry> history(const HistoryQuery& query);
    std::optional<RecordEntry> entry(std::int64_t id);

private:
    void openSchema();
    std::vector<RecordEntry> select(const std::string& where, const std::vector<SqlValue>& parameters);

    Destination destination_;
    std::mutex mutex_;
    std::unique_ptr<SqlConnection> db_;
};

// The statements that bring a record to a schema version from the one before it (version 1:
// from an empty database), for the tests and the documentation.
std::vector<std::string> recordSchemaStep(int version, bool postgres);
