#include "tests/support/postgres_server.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string PostgresServer::binDir() {
    if (const char* dir = std::getenv("VARKO5_PG_BINDIR"); dir != nullptr && *dir != '\0')
        return fs::exists(fs::path(dir) / "initdb") ? dir : "";
    std::string best;
    int bestVersion = -1;
    std::error_code error;
    for (const auto& version : fs::directory_iterator("/usr/lib/postgresql", error)) {
        const fs::path bin = version.path() / "bin";
        const int number = std::atoi(version.path().filename().c_str());
        if (fs::exists(bin / "initdb") && fs::exists(bin / "pg_ctl") && number > bestVersion) {
            best = bin.string();
            bestVersion = number;
        }
    }
    return best;
}

std::string PostgresServer::run(const std::string& command) const {
    const std::string log = dir_.file("commands.log");
    const int status = std::system((asUser_ + command + " >>" + log + " 2>&1").c_str());
    if (status != 0)
        throw std::runtime_error("\"" + command + "\" failed:\n" + readFileBytes(log) +
                                 readFileBytes(dir_.file("server.log")));
    return readFileBytes(log);
}

PostgresServer::PostgresServer() : bin_(binDir()) {
    if (bin_.empty())
        throw std::runtime_error("the PostgreSQL server programs are not installed");
    data_ = dir_.file("data");
    socketDir_ = dir_.path().string();
    if (geteuid() == 0) {
        // The server's files belong to "nobody", which runs it.
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr)
            throw std::runtime_error("no user \"nobody\" to run the server as");
        if (chown(socketDir_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
            throw std::runtime_error("cannot hand the server folder to nobody");
        asUser_ = "runuser -u nobody -- ";
    }
    run(bin_ + "/initdb -D " + data_ + " -A trust -U varko5 -E UTF8 --locale=C --no-sync");
    start();
}

void PostgresServer::start() {
    run(bin_ + "/pg_ctl -D " + data_ + " -l " + dir_.file("server.log") + " -w -o \"-k " + socketDir_ +
        " -c listen_addresses='' -c fsync=off\" start");
    running_ = true;
}

void PostgresServer::kill() {
    run(bin_ + "/pg_ctl -D " + data_ + " -m immediate -w stop");
    running_ = false;
}

PostgresServer::~PostgresServer() {
    if (running_) {
        try {
            run(bin_ + "/pg_ctl -D " + data_ + " -m immediate -w stop");
        } catch (const std::exception&) {
        }
    }
}

std::string PostgresServer::uri(const std::string& database, const std::string& user) const {
    return "postgresql:///" + database + "?host=" + socketDir_ + "&user=" + user;
}

std::string PostgresServer::createDatabase(const std::string& name) {
    const std::string admin = uri("postgres");
    const std::unique_ptr<PGconn, decltype(&PQfinish)> connection(PQconnectdb(admin.c_str()), &PQfinish);
    if (PQstatus(connection.get()) != CONNECTION_OK)
        throw std::runtime_error(std::string("cannot reach the test server: ") +
                                 PQerrorMessage(connection.get()));
    const std::unique_ptr<PGresult, decltype(&PQclear)> result(
        PQexec(connection.get(), ("CREATE DATABASE " + name).c_str()), &PQclear);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        throw std::runtime_error(std::string("cannot create a test database: ") +
                                 PQerrorMessage(connection.get()));
    return uri(name);
}
