#include "records/LineServer.h"

#include <libpq-fe.h>

#include <iterator>
#include <optional>
#include <vector>

#include "base/Utf8.h"
#include "records/RecordStore.h"

namespace tq9 {

namespace {
// records/line/*.sql, in order: the line schema's versions 1, 2, ...
const char* const kMigrations[] = {
#include "LineMigrations.inc"
};
static_assert(std::size(kMigrations) == LineServer::kSchemaVersion);

// libpq's message as one line for the operator: its first (the server's context and
// libpq's hints follow on lines of their own).
std::string MessageOf(PGconn* connection) {
    std::string message = PQerrorMessage(connection);
    message = message.substr(0, message.find('\n'));
    while (!message.empty() && message.back() == ' ')
        message.pop_back();
    return message;
}

// A statement's text parameters; nullopt is SQL's NULL.
using Params = std::vector<std::optional<std::string>>;

// One statement's result, cleared when it goes.
class Result {
  public:
    // Without parameters `sql` may hold several statements (a migration).
    Result(PGconn* connection, const std::string& sql, const Params& params = {}) {
        if (params.empty()) {
            result_ = PQexec(connection, sql.c_str());
            return;
        }
        // The server takes only valid UTF-8: a board's stray byte must not hold a row back.
        std::vector<std::string> texts;
        for (const auto& p : params)
            texts.push_back(p ? Utf8Valid(*p) : std::string());
        std::vector<const char*> values;
        for (std::size_t i = 0; i < params.size(); ++i)
            values.push_back(params[i] ? texts[i].c_str() : nullptr);
        result_ = PQexecParams(connection, sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0);
    }
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
    PGresult* result_ = nullptr;
};

std::optional<std::string> Number(const std::optional<std::int64_t>& value) {
    return value ? std::optional<std::string>(std::to_string(*value)) : std::nullopt;
}
std::optional<std::string> Number(const std::optional<int>& value) {
    return value ? std::optional<std::string>(std::to_string(*value)) : std::nullopt;
}
std::optional<std::string> Time(const std::string& iso) {
    return iso.empty() ? std::nullopt : std::optional<std::string>(iso);
}
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
    PQsetNoticeProcessor(
        connection->handle, [](void*, const char*) {}, nullptr);
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

bool LineServer::Send(const OperationRecord& r, const std::string& bench, bool& ended,
                      std::string& whyNot) {
    PGconn* h = connection_->handle;
    ended = false;
    std::string ignored;
    auto failed = [&] {
        whyNot = MessageOf(h);
        Exec("ROLLBACK", ignored);
        return false;
    };
    if (!Exec("BEGIN", whyNot)) return false;
    Result there(h, "SELECT outcome FROM tq9.operations WHERE uuid = $1", {r.uuid});
    if (!there.Ok()) return failed();
    if (there.HasRow() && there.Text(0) != "running") {
        ended = true;  // sent before, its end too (the mark here was lost): left as it is
        return Exec("COMMIT", whyNot);
    }
    Result start(
        h,
        "INSERT INTO tq9.operations (uuid, bench, local_id, started, host, program, "
        "pid, operation, cable_serial, cable_description, com_number, board_serial, "
        "firmware_version, firmware_name, fpga_version, scan_core, image, "
        "diamex_port, outcome) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, "
        "$11, $12, $13, $14, $15, $16, $17, $18, 'running') "
        "ON CONFLICT (uuid) DO NOTHING",
        {r.uuid, bench, std::to_string(r.id), r.started, r.host, r.program, std::to_string(r.pid),
         r.operation, r.cableSerial, r.cableDescription, Number(r.comNumber), r.boardSerial,
         r.firmwareVersion, r.firmwareName, r.fpgaVersion, r.scanCore, r.image, r.diamexPort});
    if (!start.Ok()) return failed();
    if (r.outcome != kOutcomeRunning) {
        for (std::size_t step = 0; step < r.avrdudeRuns.size(); ++step) {
            const AvrdudeRunRecord& run = r.avrdudeRuns[step];
            Result sent(h,
                        "INSERT INTO tq9.avrdude_runs (operation_uuid, step, command_line, "
                        "exit_code, output) VALUES ($1, $2, $3, $4, $5) "
                        "ON CONFLICT (operation_uuid, step) DO NOTHING",
                        {r.uuid, std::to_string(step + 1), run.commandLine,
                         std::to_string(run.exitCode), run.output});
            if (!sent.Ok()) return failed();
        }
        Result end(
            h,
            "UPDATE tq9.operations SET ended = $2, cable_serial = $3, cable_description = $4, "
            "com_number = $5, board_serial = $6, firmware_version = $7, firmware_name = $8, "
            "fpga_version = $9, scan_core = $10, outcome = $11, reason = $12, error_kind = $13, "
            "error_count = $14, result_dialog = $15, console = $16, upload_file = $17, "
            "upload_size = $18, upload_sha256 = $19, upload_core = $20, "
            "upload_closing_line = $21, image = $22, image_sha256 = $23, diamex_port = $24, "
            "probe_log = $25 WHERE uuid = $1",
            {r.uuid,
             Time(r.ended),
             r.cableSerial,
             r.cableDescription,
             Number(r.comNumber),
             r.boardSerial,
             r.firmwareVersion,
             r.firmwareName,
             r.fpgaVersion,
             r.scanCore,
             r.outcome,
             r.reason,
             r.errorKind,
             std::to_string(r.errorCount),
             r.resultDialog,
             r.console,
             r.uploadFile,
             Number(r.uploadSize),
             r.uploadSha256,
             Number(r.uploadCore),
             r.uploadClosingLine,
             r.image,
             r.imageSha256,
             r.diamexPort,
             r.probeLog});
        if (!end.Ok()) return failed();
    }
    if (!Exec("COMMIT", whyNot)) return false;
    ended = r.outcome != kOutcomeRunning;
    return true;
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
