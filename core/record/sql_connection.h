#pragma once
// The little the record store needs of a database: statements with bound parameters, rows as
// text, and write transactions. One implementation over SQLite, one over PostgreSQL's libpq.
// Internal to core/record.

#include "core/record/record_store.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

using SqlRow = std::vector<std::optional<std::string>>; // column values as text; nullopt: NULL

class SqlConnection {
public:
    virtual ~SqlConnection() = default;

    // Which database: chooses the few words of the schema that differ.
    virtual bool isPostgres() const = 0;
    // One statement whose parameters are written '?', bound in order; its rows. Throws
    // RecordError.
    std::vector<SqlRow> run(const std::string& sql, const std::vector<SqlValue>& parameters = {}) {
        return query(sql, parameters);
    }
    // Settings for writing (SQLite: write-ahead log, full sync), made only once the database is
    // known to hold our schema or nothing, so that another program's file is left as it was.
    virtual void prepareForWriting() = 0;
    // A write transaction that waits for the other writers (SQLite: BEGIN IMMEDIATE under the
    // busy time-out; PostgreSQL: BEGIN).
    virtual void beginWrite() = 0;
    virtual void beginRead() = 0;
    virtual void commit() = 0;
    // Never throws: it runs while an error is on its way out.
    virtual void rollback() noexcept = 0;
    // The names of the tables of our schema's namespace, the database's own left out.
    virtual std::vector<std::string> tableNames() = 0;

protected:
    virtual std::vector<SqlRow> query(const std::string& sql, const std::vector<SqlValue>& parameters) = 0;
};

// Both throw RecordError when the database cannot be opened. mustExist: a file that is not
// there is an error rather than a new, empty record.
std::unique_ptr<SqlConnection> openSqlite(const std::string& path, bool mustExist);
std::unique_ptr<SqlConnection> openPostgres(const std::string& uri, const std::string& shownAs);
