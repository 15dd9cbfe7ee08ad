#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "support/PgServer.h"

namespace tq9::test {

namespace {
const std::string kBin = "/usr/lib/postgresql/15/bin/";

// `command` as the server's own user: postgres when this is root, else this user.
int Run(const std::string& command) {
    const std::string as = ::geteuid() == 0 ? "runuser -u postgres -- " : "";
    return std::system((as + command + " >/dev/null 2>&1").c_str());
}
}  // namespace

PgServer* PgServer::Shared(std::string& whyNot) {
    static std::unique_ptr<PgServer> server;
    static std::string failure;
    if (!server && failure.empty()) {
        std::unique_ptr<PgServer> starting(new PgServer());
        if (starting->Start(failure)) server = std::move(starting);
    }
    whyNot = failure;
    return server.get();
}

bool PgServer::Start(std::string& whyNot) {
    if (!std::filesystem::exists(kBin + "initdb")) {
        whyNot = "PostgreSQL 15 is not installed (" + kBin + ")";
        return false;
    }
    const auto root = dir_.Path() / "pg";
    std::filesystem::create_directories(root / "socket");
    if (::geteuid() == 0 &&
        std::system(("chown -R postgres '" + root.string() + "'").c_str()) != 0) {
        whyNot = "cannot give " + root.string() + " to the postgres user";
        return false;
    }
    data_ = (root / "data").string();
    socket_ = (root / "socket").string();
    if (Run(kBin + "initdb -D '" + data_ + "' -A trust -U postgres -E UTF8 --locale=C --no-sync") !=
        0) {
        whyNot = "initdb failed";
        return false;
    }
    const std::string options =
        "-k " + socket_ + " -c listen_addresses= -p 5432 -c fsync=off -c max_connections=50";
    startCommand_ = kBin + "pg_ctl -D '" + data_ + "' -l '" + (root / "log").string() +
                    "' -w -t 60 -o '" + options + "' start";
    if (Run(startCommand_) != 0) {
        std::stringstream log;
        log << std::ifstream(root / "log").rdbuf();
        whyNot = "the server did not start: " + log.str();
        return false;
    }
    started_ = true;
    return true;
}

bool PgServer::Stop() {
    started_ = Run(kBin + "pg_ctl -D '" + data_ + "' -m immediate -w stop") != 0;
    return !started_;
}

bool PgServer::Restart() {
    started_ = Run(startCommand_) == 0;
    return started_;
}

PgServer::~PgServer() {
    if (started_) Run(kBin + "pg_ctl -D '" + data_ + "' -m immediate -w stop");
}

std::string PgServer::NewDatabase() {
    const std::string name = "test_" + std::to_string(++databases_);
    std::string whyNot;
    Sql("postgres", "CREATE DATABASE " + name, whyNot);
    return name;
}

std::string PgServer::Connection(const std::string& database, const std::string& role) const {
    return "host=" + socket_ + " port=5432 dbname=" + database + " user=" + role;
}

bool PgServer::Sql(const std::string& database, const std::string& sql, std::string& whyNot) const {
    PGconn* connection = PQconnectdb(Connection(database).c_str());
    bool ok = PQstatus(connection) == CONNECTION_OK;
    if (ok) {
        PGresult* result = PQexec(connection, sql.c_str());
        const auto status = PQresultStatus(result);
        ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        PQclear(result);
    }
    if (!ok) whyNot = PQerrorMessage(connection);
    PQfinish(connection);
    return ok;
}

std::string PgServer::Value(const std::string& database, const std::string& sql) const {
    PGconn* connection = PQconnectdb(Connection(database).c_str());
    PGresult* result = PQexec(connection, sql.c_str());
    const std::string value = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0
                                  ? PQgetvalue(result, 0, 0)
                                  : "(" + std::string(PQerrorMessage(connection)) + ")";
    PQclear(result);
    PQfinish(connection);
    return value;
}

}  // namespace tq9::test
