#pragma once
// A PostgreSQL server of the test's own: initdb and pg_ctl in a temporary folder, listening
// only on a unix socket there, run as an unprivileged user when the test runs as root (the
// server refuses to run as root). Stopped and removed when the object goes away.

#include "tests/support/temp_dir.h"

#include <string>

class PostgresServer {
public:
    // The folder of the server programs (initdb, pg_ctl), from VARKO5_PG_BINDIR or the newest
    // /usr/lib/postgresql/<version>/bin; empty when they are not installed.
    static std::string binDir();

    // Creates and starts the server; throws std::runtime_error, with the server's log, when
    // it cannot.
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // A new, empty database on the server, and the URI that reaches it.
    std::string createDatabase(const std::string& name);
    // The URI of a database, for a user (default: the server's superuser).
    std::string uri(const std::string& database, const std::string& user = "varko5") const;

    // Ends the server at once, as a power cut would ("immediate" shutdown), and starts it again.
    void kill();
    void start();

    const std::string& socketDir() const { return socketDir_; }

private:
    std::string run(const std::string& command) const;

    TempDir dir_;
    std::string bin_;
    std::string data_;
    std::string socketDir_;
    std::string asUser_; // the prefix that runs a command as the server's user
    bool running_ = false;
};
