#include "core/record/record_store.h"

#include "core/record/sql_connection.h"

#include <algorithm>
#include <map>

namespace {

// Held by whoever creates or migrates the schema on a PostgreSQL server, so that stations
// starting together do not both try.
constexpr std::int64_t kSchemaLockKey = 0x7661726B6F35; // "varko5"

// The first version: entries with their inputs, records and differing fields.
std::vector<std::string> schemaVersion1(bool postgres) {
    const std::string id = postgres ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT";
    return {
        "CREATE TABLE varko5_schema (version INTEGER NOT NULL)",
        "INSERT INTO varko5_schema (version) VALUES (1)",
        "CREATE TABLE entries ("
        " id " +
            id +
            ","
            " started_at TEXT NOT NULL,"
            " finished_at TEXT,"
            " outcome TEXT NOT NULL,"
            " reason TEXT NOT NULL DEFAULT '',"
            " station TEXT NOT NULL,"
            " operator TEXT NOT NULL,"
            " program TEXT NOT NULL,"
            " program_version TEXT NOT NULL,"
            " operation TEXT NOT NULL,"
            " serial TEXT NOT NULL,"
            " chip_id TEXT NOT NULL,"
            " firmware TEXT NOT NULL,"
            " backup_path TEXT NOT NULL DEFAULT '',"
            " output_path TEXT NOT NULL DEFAULT '')",
        "CREATE TABLE entry_inputs ("
        " entry_id BIGINT NOT NULL REFERENCES entries (id),"
        " position INTEGER NOT NULL,"
        " file_name TEXT NOT NULL,"
        " sha256 TEXT NOT NULL,"
        " PRIMARY KEY (entry_id, position))",
        "CREATE TABLE entry_records ("
        " entry_id BIGINT NOT NULL REFERENCES entries (id),"
        " record TEXT NOT NULL,"
        " outcome TEXT NOT NULL,"
        " reason TEXT NOT NULL DEFAULT '',"
        " sent TEXT NOT NULL DEFAULT '',"
        " read_back TEXT NOT NULL DEFAULT '',"
        " PRIMARY KEY (entry_id, record))",
        "CREATE TABLE entry_differences ("
        " entry_id BIGINT NOT NULL REFERENCES entries (id),"
        " record TEXT NOT NULL,"
        " position INTEGER NOT NULL,"
        " field TEXT NOT NULL,"
        " sent_value TEXT NOT NULL,"
        " read_back_value TEXT NOT NULL,"
        " PRIMARY KEY (entry_id, record, position))",
    };
}

// Version 2: the history's two questions (one unit, everything since a day) without reading
// every entry.
std::vector<std::string> schemaVersion2() {
    return {
        "CREATE INDEX entries_serial ON entries (serial, started_at)",
        "CREATE INDEX entries_started ON entries (started_at)",
        "UPDATE varko5_schema SET version = 2",
    };
}

// A URI as it may be shown: without a password, in its user part or among its parameters.
std::string withoutPassword(const std::string& uri) {
    std::string shown = uri;
    const auto schemeEnd = shown.find("://");
    const auto authorityStart = schemeEnd + 3;
    const auto authorityEnd = shown.find_first_of("/?", authorityStart);
    const auto at = shown.rfind('@', authorityEnd == std::string::npos ? shown.size() : authorityEnd);
    if (at != std::string::npos && at >= authorityStart) {
        const auto colon = shown.find(':', authorityStart);
        if (colon != std::string::npos && colon < at)
            shown.replace(colon, at - colon, ":***");
    }
    for (std::size_t at2 = shown.find("password="); at2 != std::string::npos;
         at2 = shown.find("password=", at2 + 1)) {
        if (at2 > 0 && shown[at2 - 1] != '?' && shown[at2 - 1] != '&')
            continue;
        const auto valueStart = at2 + 9;
        const auto valueEnd = shown.find('&', valueStart);
        shown.replace(valueStart, (valueEnd == std::string::npos ? shown.size() : valueEnd) - valueStart,
                      "***");
    }
    return shown;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::string text(const std::optional<std::string>& value) {
    return value.value_or("");
}

std::int64_t integer(const std::optional<std::string>& value) {
    try {
        return value ? std::stoll(*value) : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

// Runs body inside a transaction; any failure rolls it back and passes on.
template <class Body> auto transaction(SqlConnection& db, bool write, Body body) {
    if (write)
        db.beginWrite();
    else
        db.beginRead();
    try {
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            db.commit();
        } else {
            auto result = body();
            db.commit();
            return result;
        }
    } catch (...) {
        db.rollback();
        throw;
    }
}

constexpr const char* kEntryColumns =
    "id, started_at, finished_at, outcome, reason, station, operator, program, program_version, operation, "
    "serial, chip_id, firmware, backup_path, output_path";

} // namespace

std::vector<std::string> recordSchemaStep(int version, bool postgres) {
    if (version == 1)
        return schemaVersion1(postgres);
    if (version == 2)
        return schemaVersion2();
    return {};
}

Destination parseDestination(const std::string& text) {
    if (text.empty())
        throw RecordError("No record given: name an SQLite file or a postgresql:// URI");
    if (startsWith(text, "postgresql://") || startsWith(text, "postgres://")) {
#ifdef VARKO5_WITH_POSTGRES
        return Destination{DestinationKind::Postgres, text, withoutPassword(text)};
#else
        throw RecordError("This build records only to SQLite files, not to " + withoutPassword(text));
#endif
    }
    const auto scheme = text.find("://");
    if (scheme != std::string::npos) {
        throw RecordError("Not a record destination: " + withoutPassword(text) +
                          " (give an SQLite file path or a postgresql:// URI)");
    }
    if (text.back() == '/')
        throw RecordError("Not a record destination: " + text + " names a folder, not a file");
    return Destination{DestinationKind::SqliteFile, text, text};
}

RecordStore::RecordStore(const Destination& destination, bool forReading) : destination_(destination) {
    if (destination.kind == DestinationKind::Postgres) {
#ifdef VARKO5_WITH_POSTGRES
        db_ = openPostgres(destination.text, destination.shown);
#else
        throw RecordError("This build records only to SQLite files, not to " + destination.shown);
#endif
    } else {
        db_ = openSqlite(destination.text, forReading);
    }
    openSchema();
}

RecordStore::~RecordStore() = default;

void RecordStore::openSchema() {
    const std::string& where = destination_.shown;
    // The version the database holds; 0 when it holds nothing. Anything else is refused.
    auto found = [&]() -> int {
        const std::vector<std::string> tables = db_->tableNames();
        if (tables.empty())
            return 0;
        if (std::find(tables.begin(), tables.end(), "varko5_schema") == tables.end()) {
            std::string names;
            for (const std::string& name : tables)
                names += (names.empty() ? "" : ", ") + name;
            throw RecordError("Cannot use " + where + " as a record: it holds other tables (" + names + ")");
        }
        const auto rows = db_->run("SELECT version FROM varko5_schema");
        const std::int64_t version = rows.size() == 1 ? integer(rows[0][0]) : -1;
        if (version < 1)
            throw RecordError("Cannot use " + where + " as a record: its schema version is unreadable");
        if (version > RECORD_SCHEMA_VERSION)
            throw RecordError("The record " + where + " has schema version " + std::to_string(version) +
                              "; this program knows versions up to " + std::to_string(RECORD_SCHEMA_VERSION) +
                              ". Use a newer program.");
        return static_cast<int>(version);
    };
    // A first look without writing anything, so that a foreign file stays untouched.
    if (found() == RECORD_SCHEMA_VERSION) {
        db_->prepareForWriting();
        return;
    }
    db_->prepareForWriting();
    transaction(*db_, true, [&] {
        if (db_->isPostgres())
            db_->run("SELECT pg_advisory_xact_lock(?)", {kSchemaLockKey});
        // Another station may have created or migrated it in the meantime.
        for (int version = found() + 1; version <= RECORD_SCHEMA_VERSION; ++version) {
            for (const std::string& statement : recordSchemaStep(version, db_->isPostgres()))
                db_->run(statement);
        }
    });
}

std::int64_t RecordStore::begin(const RecordEntry& entry) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return transaction(*db_, true, [&] {
        const auto rows = db_->run(
            "INSERT INTO entries (started_at, outcome, reason, station, operator, program, program_version, "
            "operation, serial, chip_id, firmware, backup_path, output_path) "
            "VALUES (?, ?, '', ?, ?, ?, ?, ?, ?, ?, ?, '', '') RETURNING id",
            {entry.startedAt, std::string(outcome_word::INCOMPLETE), entry.station, entry.operatorName,
             entry.program, entry.programVersion, entry.operation, entry.serial, entry.chipId,
             entry.firmware});
        if (rows.size() != 1 || !rows[0][0])
            throw RecordError("Cannot write to the record " + destination_.shown + ": no entry number given");
        const std::int64_t id = integer(rows[0][0]);
        std::int64_t position = 0;
        for (const InputStamp& input : entry.inputs) {
            db_->run("INSERT INTO entry_inputs (entry_id, position, file_name, sha256) VALUES (?, ?, ?, ?)",
                     {id, position++, input.fileName, input.sha256});
        }
        return id;
    });
}

void RecordStore::complete(const RecordEntry& entry) {
    const std::lock_guard<std::mutex> lock(mutex_);
    transaction(*db_, true, [&] {
        const auto updated = db_->run(
            "UPDATE entries SET finished_at = ?, outcome = ?, reason = ?, backup_path = ?, output_path = ?, "
            "firmware = ? WHERE id = ? AND finished_at IS NULL RETURNING id",
            {entry.finishedAt, entry.outcome, entry.reason, entry.backupPath, entry.outputPath,
             entry.firmware, entry.id});
        if (updated.size() != 1)
            throw RecordError("Cannot complete entry " + std::to_string(entry.id) + " of the record " +
                              destination_.shown + ": it is not an open entry");
        for (const RecordedRecord& record : entry.records) {
            db_->run(
                "INSERT INTO entry_records (entry_id, record, outcome, reason, sent, read_back) "
                "VALUES (?, ?, ?, ?, ?, ?)",
                {entry.id, record.record, record.outcome, record.reason, record.sentHex, record.readBackHex});
            std::int64_t position = 0;
            for (const RecordedDifference& difference : record.differences) {
                db_->run("INSERT INTO entry_differences (entry_id, record, position, field, sent_value, "
                         "read_back_value) VALUES (?, ?, ?, ?, ?, ?)",
                         {entry.id, record.record, position++, difference.field, difference.sent,
                          difference.readBack});
            }
        }
    });
}

std::vector<RecordEntry> RecordStore::select(const std::string& where, const std::vector<SqlValue>& bound) {
    return transaction(*db_, false, [&] {
        std::vector<RecordEntry> entries;
        std::map<std::int64_t, std::size_t> byId;
        for (const SqlRow& row :
             db_->run(std::string("SELECT ") + kEntryColumns + " FROM entries e" + where + " ORDER BY id",
                      bound)) {
            RecordEntry entry;
            entry.id = integer(row[0]);
            entry.startedAt = text(row[1]);
            entry.finishedAt = text(row[2]);
            entry.outcome = text(row[3]);
            entry.reason = text(row[4]);
            entry.station = text(row[5]);
            entry.operatorName = text(row[6]);
            entry.program = text(row[7]);
            entry.programVersion = text(row[8]);
            entry.operation = text(row[9]);
            entry.serial = text(row[10]);
            entry.chipId = text(row[11]);
            entry.firmware = text(row[12]);
            entry.backupPath = text(row[13]);
            entry.outputPath = text(row[14]);
            byId[entry.id] = entries.size();
            entries.push_back(std::move(entry));
        }
        if (entries.empty())
            return entries;
        const std::string of = " JOIN entries e ON e.id = t.entry_id" + where;
        for (const SqlRow& row : db_->run("SELECT t.entry_id, t.file_name, t.sha256 FROM entry_inputs t" +
                                              of + " ORDER BY t.entry_id, t.position",
                                          bound)) {
            entries[byId.at(integer(row[0]))].inputs.push_back(InputStamp{text(row[1]), text(row[2])});
        }
        // Application record first, as everywhere else.
        for (const SqlRow& row : db_->run("SELECT t.entry_id, t.record, t.outcome, t.reason, t.sent, "
                                          "t.read_back FROM entry_records t" +
                                              of + " ORDER BY t.entry_id, t.record",
                                          bound)) {
            entries[byId.at(integer(row[0]))].records.push_back(
                RecordedRecord{text(row[1]), text(row[2]), text(row[3]), text(row[4]), text(row[5]), {}});
        }
        for (const SqlRow& row :
             db_->run("SELECT t.entry_id, t.record, t.field, t.sent_value, t.read_back_value "
                      "FROM entry_differences t" +
                          of + " ORDER BY t.entry_id, t.record, t.position",
                      bound)) {
            RecordEntry& entry = entries[byId.at(integer(row[0]))];
            for (RecordedRecord& record : entry.records) {
                if (record.record == text(row[1]))
                    record.differences.push_back(
                        RecordedDifference{text(row[2]), text(row[3]), text(row[4])});
            }
        }
        return entries;
    });
}

std::vector<RecordEntry> RecordStore::history(const HistoryQuery& query) {
    const std::lock_guard<std::mutex> lock(mutex_);
    // Only fixed texts make up the statement; the serial number and the date are bound.
    std::string where;
    std::vector<SqlValue> parameters;
    if (!query.serial.empty()) {
        where += " WHERE e.serial = ?";
        parameters.push_back(query.serial);
    }
    if (!query.since.empty()) {
        where += where.empty() ? " WHERE " : " AND ";
        where += "e.started_at >= ?";
        parameters.push_back(query.since);
    }
    return select(where, parameters);
}

std::optional<RecordEntry> RecordStore::entry(std::int64_t id) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::vector<RecordEntry> found = select(" WHERE e.id = ?", {id});
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}
