#include "records/LineServer.h"

#include <libpq-fe.h>

#include <iterator>

namespace tq9 {

namespace {
// records/line/*.sql, in order: the line schema's versions 1, 2, ...
const char* const kMigrations[] = {
#include "LineMigrations.inc"
};
static_assert(std::size(kMigrations) == LineServer::kSchemaVersion);

std::string MessageOf(PGconn* connection) {
    std::string message = PQerrorMessage(connection);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message;
}

// One statement's result, cleared when it goes.
class Result {
  public:
    Result(PGconn* connection, const std::string& sql) : result_(PQexec(connection, sql.c_str())) {}
    ~Result() { PQclear(result_); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    bool Ok() const {
        const auto status = PQresultStatus(result_);
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    }
    bool HasRow() const { return Ok() && PQntuples(result_) > 0; }
    std::string Text(int column) const { return PQgetvalue(result_, 0, column); }

  private:
    PGresult* result_;
};
}  // namespace

struct LineServer::Connection {
    PGconn* handle = nullptr;
    ~Connection() { PQfinish(handle); }
};

LineServer::LineServer(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}
LineServer::~LineServer() = default;

std::unique_ptr<LineServer> LineServer::Connect(const std::string& server, std::string& whyNot) {
    // The connection string comes last, so what it says of the time-out wins.
    const char* keywords[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {"10", "tq9-bench", server.c_str(), nullptr};
    auto connection = std::make_unique<Connection>();
    connection->handle = PQconnectdbParams(keywords, values, 1);
    if (!connection->handle) {
        whyNot = "out of memory";
        return nullptr;
    }
    if (PQstatus(connection->handle) != CONNECTION_OK) {
        whyNot = MessageOf(connection->handle);
        return nullptr;
    }
    // The server's notices ("already exists, skipping") are not the operator's business;
    // its errors reach them through the calls' answers.
    PQsetNoticeProcessor(connection->handle, [](void*, const char*) {}, nullptr);
    // Every statement is bounded too.
    Result timeout(connection->handle, "SET statement_timeout = '30s'");
    return std::unique_ptr<LineServer>(new LineServer(std::move(connection)));
}

std::optional<LineServer::Facts> LineServer::Check(std::string& whyNot) {
    PGconn* h = connection_->handle;
    Facts facts;
    Result who(h, "SELECT session_user, current_setting('server_version')");
    if (!who.HasRow()) {
        whyNot = MessageOf(h);
        return std::nullopt;
    }
    facts.role = who.Text(0);
    facts.serverVersion = who.Text(1);
    Result exists(h, "SELECT to_regclass('tq9.schema_version') IS NOT NULL");
    if (!exists.HasRow()) {
        whyNot = MessageOf(h);
        return std::nullopt;
    }
    if (exists.Text(0) == "t") {
        Result version(h, "SELECT coalesce(max(version), 0) FROM tq9.schema_version");
        if (!version.HasRow()) {
            whyNot = MessageOf(h);
            return std::nullopt;
        }
        facts.schemaVersion = std::stoi(version.Text(0));
    }
    return facts;
}

bool LineServer::Exec(const std::string& sql, std::string& whyNot) {
    Result result(connection_->handle, sql);
    if (result.Ok()) return true;
    whyNot = MessageOf(connection_->handle);
    return false;
}

bool LineServer::Init(int& found, std::string& whyNot) {
    found = 0;
    auto failed = [&] {
        Exec("ROLLBACK", whyNot);  // keeps the first reason
        return false;
    };
    std::string ignored;
    if (!Exec("BEGIN", whyNot)) return false;
    // One admin at a time: the second waits here, then finds the work done.
    if (!Exec("CREATE SCHEMA IF NOT EXISTS tq9", whyNot) ||
        !Exec("CREATE TABLE IF NOT EXISTS tq9.schema_version (version integer NOT NULL)", whyNot) ||
        !Exec("LOCK TABLE tq9.schema_version IN EXCLUSIVE MODE", whyNot)) {
        std::string first = whyNot;
        Exec("ROLLBACK", ignored);
        whyNot = first;
        return false;
    }
    Result version(connection_->handle, "SELECT coalesce(max(version), 0) FROM tq9.schema_version");
    if (!version.HasRow()) {
        whyNot = MessageOf(connection_->handle);
        Exec("ROLLBACK", ignored);
        return false;
    }
    found = std::stoi(version.Text(0));
    if (found > kSchemaVersion) {
        Exec("ROLLBACK", ignored);
        whyNot = "the line's schema is version " + std::to_string(found) +
                 ", newer than this tool's " + std::to_string(kSchemaVersion) +
                 "; it is left as it is";
        return false;
    }
    for (int v = found; v < kSchemaVersion; ++v) {
        if (!Exec(kMigrations[v], whyNot)) {
            std::string first = "version " + std::to_string(v + 1) + ": " + whyNot;
            Exec("ROLLBACK", ignored);
            whyNot = first;
            return false;
        }
    }
    if (!Exec("DELETE FROM tq9.schema_version", whyNot) ||
        !Exec("INSERT INTO tq9.schema_version VALUES (" + std::to_string(kSchemaVersion) + ")",
              whyNot) ||
        !Exec("COMMIT", whyNot)) {
        return failed();
    }
    return true;
}

}  // namespace tq9
