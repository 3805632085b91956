#include "core/record/sql_connection.h"

#include <libpq-fe.h>

#include <memory>

namespace {

// A station that cannot reach the server says so instead of waiting for the system's TCP
// time-out; a URI that names its own connect_timeout keeps it.
constexpr const char* kConnectTimeoutSeconds = "10";

struct FinishConnection {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ClearResult {
    void operator()(PGresult* result) const { PQclear(result); }
};

// libpq's messages end in a line feed and may run over several lines; the first line says it.
std::string firstLine(const char* message) {
    std::string text = message != nullptr ? message : "";
    const auto end = text.find('\n');
    if (end != std::string::npos)
        text.erase(end);
    return text.empty() ? "no reason given" : text;
}

// The statement with its '?' parameters numbered as PostgreSQL writes them.
std::string numbered(const std::string& sql) {
    std::string text;
    int next = 1;
    for (const char c : sql) {
        if (c == '?')
            text += "$" + std::to_string(next++);
        else
            text += c;
    }
    return text;
}

class PostgresConnection final : public SqlConnection {
public:
    PostgresConnection(const std::string& uri, const std::string& shownAs) : shownAs_(shownAs) {
        const char* keywords[] = {"connect_timeout", "dbname", nullptr};
        const char* values[] = {kConnectTimeoutSeconds, uri.c_str(), nullptr};
        connection_.reset(PQconnectdbParams(keywords, values, 1));
        if (!connection_)
            throw RecordError("Cannot connect to the record " + shownAs_ + ": out of memory");
        if (PQstatus(connection_.get()) != CONNECTION_OK)
            throw RecordError("Cannot connect to the record " + shownAs_ + ": " +
                              firstLine(PQerrorMessage(connection_.get())));
        // Notices (such as "relation already exists, skipping") are not for the user's console.
        PQsetNoticeProcessor(
            connection_.get(), [](void*, const char*) {}, nullptr);
    }

    bool isPostgres() const override { return true; }
    void prepareForWriting() override {}

    std::vector<SqlRow> query(const std::string& sql, const std::vector<SqlValue>& parameters) override {
        std::vector<std::string> texts(parameters.size());
        std::vector<const char*> pointers(parameters.size(), nullptr);
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            if (const auto* integer = std::get_if<std::int64_t>(&parameters[i])) {
                texts[i] = std::to_string(*integer);
                pointers[i] = texts[i].c_str();
            } else if (const auto* text = std::get_if<std::string>(&parameters[i])) {
                pointers[i] = text->c_str();
            }
        }
        const std::unique_ptr<PGresult, ClearResult> result(
            PQexecParams(connection_.get(), numbered(sql).c_str(), static_cast<int>(parameters.size()),
                         nullptr, pointers.data(), nullptr, nullptr, 0));
        const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const char* message =
                result ? PQresultErrorMessage(result.get()) : PQerrorMessage(connection_.get());
            throw RecordError("Cannot write to the record " + shownAs_ + ": " + firstLine(message));
        }
        std::vector<SqlRow> rows;
        const int count = PQntuples(result.get());
        const int columns = PQnfields(result.get());
        for (int row = 0; row < count; ++row) {
            SqlRow values;
            for (int column = 0; column < columns; ++column) {
                if (PQgetisnull(result.get(), row, column))
                    values.emplace_back();
                else
                    values.emplace_back(
                        std::string(PQgetvalue(result.get(), row, column),
                                    static_cast<std::size_t>(PQgetlength(result.get(), row, column))));
            }
            rows.push_back(std::move(values));
        }
        return rows;
    }

    void beginWrite() override { run("BEGIN"); }
    void beginRead() override { run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"); }
    void commit() override { run("COMMIT"); }
    void rollback() noexcept override {
        if (PQtransactionStatus(connection_.get()) != PQTRANS_IDLE) {
            const std::unique_ptr<PGresult, ClearResult> result(PQexec(connection_.get(), "ROLLBACK"));
        }
    }

    std::vector<std::string> tableNames() override {
        std::vector<std::string> names;
        for (const SqlRow& row : run("SELECT table_name FROM information_schema.tables "
                                     "WHERE table_schema = current_schema() ORDER BY table_name")) {
            names.push_back(row[0].value_or(""));
        }
        return names;
    }

private:
    std::string shownAs_;
    std::unique_ptr<PGconn, FinishConnection> connection_;
};

} // namespace

std::unique_ptr<SqlConnection> openPostgres(const std::string& uri, const std::string& shownAs) {
    return std::make_unique<PostgresConnection>(uri, shownAs);
}
