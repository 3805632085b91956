#include "core/record/sql_connection.h"

#include <sqlite3.h>

#include <filesystem>
#include <memory>

namespace {

// Long enough for another station's transaction (each is a handful of rows) to end, short
// enough that a database held by a stuck program is reported rather than waited for.
constexpr int kBusyTimeoutMs = 15000;

struct CloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

class SqliteConnection final : public SqlConnection {
public:
    SqliteConnection(const std::string& path, bool mustExist) : path_(path) {
        std::error_code error;
        if (mustExist && !std::filesystem::exists(path, error))
            throw RecordError("No record at " + path + ": the file does not exist");
        if (std::filesystem::is_directory(path, error))
            throw RecordError("Cannot open the record " + path + ": it is a folder");
        sqlite3* raw = nullptr;
        // No URI file names: DEST is a plain path, whatever characters it holds.
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
        const int status = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
        db_.reset(raw);
        if (status != SQLITE_OK)
            fail("Cannot open the record " + path);
        sqlite3_extended_result_codes(db_.get(), 1);
        sqlite3_busy_timeout(db_.get(), kBusyTimeoutMs);
        // Reading the catalogue is the first access to the file: a file that is not a database
        // is refused here, before anything could be written to it.
        run("SELECT count(*) FROM sqlite_master");
    }

    bool isPostgres() const override { return false; }

    void prepareForWriting() override {
        // Readers and one writer at a time side by side, and every committed entry on disk
        // before the controller is touched, even through a power cut.
        const auto mode = run("PRAGMA journal_mode=WAL");
        if (mode.empty() || !mode[0][0] || *mode[0][0] != "wal")
            throw RecordError("Cannot use the record " + path_ + ": it does not take write-ahead logging");
        run("PRAGMA synchronous=FULL");
        run("PRAGMA foreign_keys=ON");
        // Each commit is synced to the log, which is all an entry needs to survive a power cut.
        // Folding the log into the file when the program ends would cost two more syncs per run
        // (and the next run two for a fresh log) and add nothing to that: the log stays. The
        // next program to open the record reads the whole log once, so it is folded in every
        // hundred pages (about ten entries) rather than SQLite's thousand, which keeps that
        // read short and spreads the fold's syncs over many runs.
        run("PRAGMA wal_autocheckpoint=100");
        int noCheckpoint = 0;
        if (sqlite3_db_config(db_.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, &noCheckpoint) != SQLITE_OK)
            fail("Cannot use the record " + path_);
    }

    std::vector<SqlRow> query(const std::string& sql, const std::vector<SqlValue>& parameters) override {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr) !=
            SQLITE_OK)
            fail("Cannot use the record " + path_);
        const std::unique_ptr<sqlite3_stmt, FinalizeStatement> statement(raw);
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            const int index = static_cast<int>(i) + 1;
            int status = SQLITE_OK;
            if (const auto* integer = std::get_if<std::int64_t>(&parameters[i])) {
                status = sqlite3_bind_int64(raw, index, *integer);
            } else if (const auto* text = std::get_if<std::string>(&parameters[i])) {
                status = sqlite3_bind_text(raw, index, text->data(), static_cast<int>(text->size()),
                                           SQLITE_TRANSIENT);
            } else {
                status = sqlite3_bind_null(raw, index);
            }
            if (status != SQLITE_OK)
                fail("Cannot use the record " + path_);
        }
        std::vector<SqlRow> rows;
        for (;;) {
            const int status = sqlite3_step(raw);
            if (status == SQLITE_DONE)
                break;
            if (status != SQLITE_ROW)
                fail("Cannot write to the record " + path_);
            SqlRow row;
            const int columns = sqlite3_column_count(raw);
            for (int column = 0; column < columns; ++column) {
                if (sqlite3_column_type(raw, column) == SQLITE_NULL) {
                    row.emplace_back();
                    continue;
                }
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, column));
                const int length = sqlite3_column_bytes(raw, column);
                row.emplace_back(std::string(text != nullptr ? text : "", static_cast<std::size_t>(length)));
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

    void beginWrite() override { run("BEGIN IMMEDIATE"); }
    void beginRead() override { run("BEGIN"); }
    void commit() override { run("COMMIT"); }
    void rollback() noexcept override {
        if (!sqlite3_get_autocommit(db_.get()))
            sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }

    std::vector<std::string> tableNames() override {
        std::vector<std::string> names;
        for (const SqlRow& row : run("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                                     "'sqlite\\_%' ESCAPE '\\' "
                                     "ORDER BY name")) {
            names.push_back(row[0].value_or(""));
        }
        return names;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        const int code = sqlite3_extended_errcode(db_.get());
        std::string reason = db_ ? sqlite3_errmsg(db_.get()) : "out of memory";
        if ((code & 0xFF) == SQLITE_NOTADB)
            reason = "the file is not a database";
        else if ((code & 0xFF) == SQLITE_BUSY)
            reason = "another program holds it locked (" + reason + ")";
        throw RecordError(what + ": " + reason);
    }

    std::string path_;
    std::unique_ptr<sqlite3, CloseDatabase> db_;
};

} // namespace

std::unique_ptr<SqlConnection> openSqlite(const std::string& path, bool mustExist) {
    return std::make_unique<SqliteConnection>(path, mustExist);
}
