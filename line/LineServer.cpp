#include "line/LineServer.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "base/Utf8.h"
#include "records/RecordStore.h"

namespace tq9 {

namespace {
// line/migrations/*.sql, in order: the line schema's versions 1, 2, ...
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

// Parameters as libpq takes them. The server takes only valid UTF-8: a board's stray
// byte must not hold a row back.
struct Values {
    explicit Values(const Params& params) {
        for (const auto& p : params)
            texts.push_back(p ? Utf8Valid(*p) : std::string());
        for (std::size_t i = 0; i < params.size(); ++i)
            pointers.push_back(params[i] ? texts[i].c_str() : nullptr);
    }
    int Count() const { return static_cast<int>(pointers.size()); }
    std::vector<std::string> texts;
    std::vector<const char*> pointers;
};

// One statement's result, cleared when it goes.
class Result {
  public:
    // Without parameters `sql` may hold several statements (a migration).
    Result(PGconn* connection, const std::string& sql, const Params& params = {}) {
        if (params.empty()) {
            result_ = PQexec(connection, sql.c_str());
            return;
        }
        const Values values(params);
        result_ = PQexecParams(connection, sql.c_str(), values.Count(), nullptr,
                               values.pointers.data(), nullptr, nullptr, 0);
    }
    ~Result() { PQclear(result_); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    bool Ok() const {
        const auto status = PQresultStatus(result_);
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    }
    bool HasRow() const { return Ok() && PQntuples(result_) > 0; }
    int Rows() const { return Ok() ? PQntuples(result_) : 0; }
    std::string Text(int column, int row = 0) const { return PQgetvalue(result_, row, column); }
    bool IsNull(int column, int row) const { return PQgetisnull(result_, row, column) != 0; }
    int Int(int column, int row) const { return std::atoi(PQgetvalue(result_, row, column)); }
    // The server's SQLSTATE of a failure; empty when it gave none (no answer).
    std::string State() const {
        const char* state = PQresultErrorField(result_, PG_DIAG_SQLSTATE);
        return state ? state : "";
    }

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

// The bench the server checked; a row that came before the sender's bench was registered
// shows the name it was sent with, and says so.
#define TQ9_BENCH "CASE WHEN bench_checked THEN bench ELSE bench || ' (unchecked)' END"

// A time as the local rows hold it.
#define TQ9_ISO(column) \
    "coalesce(to_char(" column " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), '')"

// kLineColumns, in ReadLineRow's order.
constexpr const char* kLineColumns =
    "local_id, " TQ9_ISO("started") ", " TQ9_ISO(
        "ended") ", host, program, pid, operation, cable_serial, cable_description, "
                 "com_number, board_serial, firmware_version, firmware_name, fpga_version, "
                 "scan_core, outcome, reason, error_kind, error_count, result_dialog, console, "
                 "upload_file, upload_size, upload_sha256, upload_core, upload_closing_line, "
                 "image, image_sha256, diamex_port, probe_log, uuid, " TQ9_BENCH ", failed_step, "
                 "board_after, image_mismatch, typed_serial";

OperationRecord ReadLineRow(const Result& rows, int row) {
    OperationRecord r;
    int c = 0;
    auto text = [&] { return rows.Text(c++, row); };
    auto number = [&]() -> std::optional<std::int64_t> {
        const int column = c++;
        if (rows.IsNull(column, row)) return std::nullopt;
        return std::atoll(rows.Text(column, row).c_str());
    };
    r.id = number().value_or(0);
    r.started = text();
    r.ended = text();
    r.host = text();
    r.program = text();
    r.pid = static_cast<long>(number().value_or(0));
    r.operation = text();
    r.cableSerial = text();
    r.cableDescription = text();
    if (const auto com = number()) r.comNumber = static_cast<int>(*com);
    r.boardSerial = text();
    r.firmwareVersion = text();
    r.firmwareName = text();
    r.fpgaVersion = text();
    r.scanCore = text();
    r.outcome = text();
    r.reason = text();
    r.errorKind = text();
    r.errorCount = static_cast<int>(number().value_or(0));
    r.resultDialog = text();
    r.console = text();
    r.uploadFile = text();
    r.uploadSize = number();
    r.uploadSha256 = text();
    if (const auto core = number()) r.uploadCore = static_cast<int>(*core);
    r.uploadClosingLine = text();
    r.image = text();
    r.imageSha256 = text();
    r.diamexPort = text();
    r.probeLog = text();
    r.uuid = text();
    r.bench = text();
    r.failedStep = text();
    r.boardAfter = text();
    r.imageMismatch = text();
    r.typedSerial = text();
    return r;
}

// A filter's day or time (as RecordDateValid takes it) as the first instant it names, and
// how long it lasts: "2026-12-09" is that whole day.
std::pair<std::string, std::string> Span(std::string prefix) {
    if (!prefix.empty() && prefix.back() == 'Z') prefix.pop_back();
    switch (prefix.size()) {
        case 10:
            return {prefix + "T00:00:00Z", "1 day"};
        case 13:
            return {prefix + ":00:00Z", "1 hour"};
        case 16:
            return {prefix + ":00Z", "1 minute"};
        default:
            return {prefix + "Z", "1 second"};
    }
}

// Whether the server refused a statement for what the row holds (a value it does not take,
// a rule of the line's, a name the sender may not use), so that sending it again as it is
// would be refused again; not for the connection, a time limit, a lock or the server's own
// state, which pass. A role the admin gave too little ("permission denied for ...") is
// the admin's to mend, not the row's.
bool RefusedForWhatItHolds(const std::string& state, const std::string& message) {
    const std::string kind = state.substr(0, 2);
    if (kind == "22" || kind == "23" || state == "P0001") return true;
    return state == "42501" && message.find("permission denied") == std::string::npos;
}

// The programming runs, as the report counts them.
constexpr const char* kProgramming = "operation IN ('production run', 'AVR only')";
}  // namespace

struct LineServer::Connection {
    PGconn* handle = nullptr;
    ~Connection() { PQfinish(handle); }
};

LineServer::LineServer(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}
LineServer::~LineServer() = default;

bool LineServer::InThisBuild() {
    return true;
}

std::unique_ptr<LineServer> LineServer::Connect(const std::string& server, std::string& whyNot,
                                                int limitS) {
    // The connection string comes last, so what it says of these wins. A server that
    // stops answering mid-statement (a cable pulled, no reset) is given up after 30 s.
    const char* keywords[] = {
        "connect_timeout",  "tcp_user_timeout", "keepalives_idle", "keepalives_interval",
        "keepalives_count", "application_name", "dbname",          nullptr};
    const std::string limit = std::to_string(limitS);
    const char* values[] = {limit.c_str(), "30000",     "10",           "5",
                            "3",           "tq9-bench", server.c_str(), nullptr};
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

std::string LineServer::TlsNotice() const {
    PGconn* h = connection_->handle;
    const char* host = PQhost(h);
    if (host && host[0] == '/') return {};  // a unix socket: nothing crosses a network
    std::string mode;
    if (PQconninfoOption* options = PQconninfo(h)) {
        for (PQconninfoOption* o = options; o->keyword; ++o) {
            if (std::string(o->keyword) == "sslmode" && o->val) mode = o->val;
        }
        PQconninfoFree(options);
    }
    if (!PQsslInUse(h)) {
        return "the connection to the line server is not encrypted (no TLS): rows and "
               "passwords cross the network as they are; use sslmode=verify-full";
    }
    if (mode != "verify-full" && mode != "verify-ca") {
        return "the line server's certificate is not checked (sslmode=" + mode +
               "): any server can pose as it; use sslmode=verify-full with the line's CA";
    }
    return {};
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
    if (facts.schemaVersion >= 4) {
        Result bench(h, "SELECT tq9.is_bench(session_user), coalesce(tq9.my_bench(), '')");
        if (!bench.HasRow()) {
            whyNot = MessageOf(h);
            return std::nullopt;
        }
        facts.benchRole = bench.Text(0) == "t";
        facts.bench = bench.Text(1);
    }
    return facts;
}

bool LineServer::Send(const OperationRecord& record, const std::string& bench, bool& ended,
                      std::string& whyNot) {
    std::vector<bool> each;
    const bool sent = Send(std::vector<OperationRecord>{record}, bench, each, whyNot);
    ended = sent && each.front();
    return sent;
}

bool LineServer::Send(const std::vector<OperationRecord>& rows, const std::string& bench,
                      std::vector<bool>& ended, std::string& whyNot, bool* refused) {
    PGconn* h = connection_->handle;
    ended.assign(rows.size(), false);
    if (refused) *refused = false;
    std::string ignored;
    auto failed = [&](const std::string& why) {
        whyNot = why;
        Exec("ROLLBACK", ignored);
        ended.assign(rows.size(), false);
        return false;
    };
    if (!Exec("BEGIN", whyNot)) return false;
    // Rows sent before with their end too (the mark here was lost) are left as they are.
    std::string uuids;
    for (const OperationRecord& r : rows)
        uuids += (uuids.empty() ? "" : ",") + r.uuid;
    Result there(h,
                 "SELECT uuid FROM tq9.operations WHERE uuid = ANY($1::uuid[]) AND outcome <> "
                 "'running'",
                 {"{" + uuids + "}"});
    if (!there.Ok()) {
        const std::string why = MessageOf(h);
        if (refused) *refused = RefusedForWhatItHolds(there.State(), why);
        return failed(why);
    }
    std::set<std::string> done;
    for (int i = 0; i < there.Rows(); ++i)
        done.insert(there.Text(0, i));
    // The rest in one round trip: every statement queued, then the answers read. The
    // answers are a few bytes each, so the server never waits for this end to read them.
    if (PQenterPipelineMode(h) != 1) return failed(MessageOf(h));
    int queued = 0;
    bool queuedAll = true;
    auto queue = [&](const char* sql, const Params& params) {
        const Values values(params);
        queuedAll =
            queuedAll && PQsendQueryParams(h, sql, values.Count(), nullptr, values.pointers.data(),
                                           nullptr, nullptr, 0) == 1;
        ++queued;
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const OperationRecord& r = rows[i];
        ended[i] = r.outcome != kOutcomeRunning || done.count(r.uuid) != 0;
        if (done.count(r.uuid) != 0) continue;
        queue(
            "INSERT INTO tq9.operations (uuid, bench, local_id, started, host, program, "
            "pid, operation, cable_serial, cable_description, com_number, board_serial, "
            "firmware_version, firmware_name, fpga_version, scan_core, image, "
            "diamex_port, outcome) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, "
            "$11, $12, $13, $14, $15, $16, $17, $18, 'running') "
            "ON CONFLICT (uuid) DO NOTHING",
            {r.uuid, bench, std::to_string(r.id), r.started, r.host, r.program,
             std::to_string(r.pid), r.operation, r.cableSerial, r.cableDescription,
             Number(r.comNumber), r.boardSerial, r.firmwareVersion, r.firmwareName, r.fpgaVersion,
             r.scanCore, r.image, r.diamexPort});
        if (r.outcome != kOutcomeRunning) {
            for (std::size_t step = 0; step < r.avrdudeRuns.size(); ++step) {
                const AvrdudeRunRecord& run = r.avrdudeRuns[step];
                queue(
                    "INSERT INTO tq9.avrdude_runs (operation_uuid, step, command_line, "
                    "exit_code, output) VALUES ($1, $2, $3, $4, $5) "
                    "ON CONFLICT (operation_uuid, step) DO NOTHING",
                    {r.uuid, std::to_string(step + 1), run.commandLine,
                     std::to_string(run.exitCode), run.output});
            }
            queue(
                "UPDATE tq9.operations SET ended = $2, cable_serial = $3, cable_description = $4, "
                "com_number = $5, board_serial = $6, firmware_version = $7, firmware_name = $8, "
                "fpga_version = $9, scan_core = $10, outcome = $11, reason = $12, error_kind = "
                "$13, "
                "error_count = $14, result_dialog = $15, console = $16, upload_file = $17, "
                "upload_size = $18, upload_sha256 = $19, upload_core = $20, "
                "upload_closing_line = $21, image = $22, image_sha256 = $23, diamex_port = $24, "
                "probe_log = $25, failed_step = $26, board_after = $27, image_mismatch = $28, "
                "typed_serial = $29 WHERE uuid = $1",
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
                 r.probeLog,
                 r.failedStep,
                 r.boardAfter,
                 r.imageMismatch,
                 r.typedSerial});
        }
    }
    queue("COMMIT", {});
    queuedAll = queuedAll && PQpipelineSync(h) == 1;
    // Each statement's answer, then the end of the pipeline; the first refusal is the
    // reason (the statements after it are skipped by the server).
    std::string refusal = queuedAll ? "" : MessageOf(h);
    for (int q = 0; q < queued && queuedAll; ++q) {
        PGresult* result = PQgetResult(h);
        if (!result) {
            refusal = MessageOf(h);
            break;
        }
        const auto status = PQresultStatus(result);
        if (refusal.empty() && status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            refusal = PQresultErrorMessage(result);
            refusal = refusal.substr(0, refusal.find('\n'));
            if (refusal.empty()) refusal = "the server skipped a statement";
            const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
            if (refused)
                *refused = PQstatus(h) == CONNECTION_OK &&
                           RefusedForWhatItHolds(state ? state : "", refusal);
        }
        PQclear(result);
        PQclear(PQgetResult(h));  // the statement's end
    }
    while (PGresult* rest = PQgetResult(h)) {
        const bool sync = PQresultStatus(rest) == PGRES_PIPELINE_SYNC;
        PQclear(rest);
        if (sync) break;
    }
    PQexitPipelineMode(h);
    if (!refusal.empty()) return failed(refusal);
    return true;
}

namespace {
// The filter as SQL conditions after "WHERE true", with the parameters they take.
std::string FilterConditions(const RecordFilter& f, Params& params) {
    std::string sql;
    // `condition` holds one "?": the value's place.
    auto where = [&](std::string condition, const std::string& value) {
        params.push_back(value);
        condition.replace(condition.find('?'), 1, "$" + std::to_string(params.size()));
        sql += " AND " + condition;
    };
    if (!f.boardSerial.empty()) where("board_serial = ?", f.boardSerial);
    if (!f.operation.empty()) where("operation = ?", f.operation);
    if (!f.outcome.empty()) where("outcome = ?", f.outcome);
    if (!f.bench.empty()) where(TQ9_BENCH " = ?", f.bench);
    if (!f.since.empty()) where("started >= ?::timestamptz", Span(f.since).first);
    if (!f.until.empty()) {
        const auto [from, length] = Span(f.until);
        where("started < ?::timestamptz", from);
        sql += " + interval '" + length + "'";
    }
    return sql;
}
}  // namespace

std::optional<std::int64_t> LineServer::Count(const RecordFilter& f, std::string& whyNot) {
    Params params;
    const std::string sql =
        "SELECT count(*) FROM tq9.operations WHERE true" + FilterConditions(f, params);
    Result count(connection_->handle, sql, params);
    if (!count.HasRow()) {
        whyNot = MessageOf(connection_->handle);
        return std::nullopt;
    }
    return std::atoll(count.Text(0).c_str());
}

std::optional<std::vector<OperationRecord>> LineServer::Find(const RecordFilter& f,
                                                             std::string& whyNot) {
    PGconn* h = connection_->handle;
    Params params;
    std::string sql = std::string("SELECT ") + kLineColumns + " FROM tq9.operations WHERE true" +
                      FilterConditions(f, params);
    sql += " ORDER BY started DESC, bench, local_id DESC";
    if (f.limit > 0) sql += " LIMIT " + std::to_string(f.limit);
    Result rows(h, sql, params);
    if (!rows.Ok()) {
        whyNot = MessageOf(h);
        return std::nullopt;
    }
    std::vector<OperationRecord> records;
    std::map<std::string, std::size_t> byUuid;
    std::string uuids;
    for (int i = 0; i < rows.Rows(); ++i) {
        records.push_back(ReadLineRow(rows, i));
        byUuid[records.back().uuid] = records.size() - 1;
        uuids += (uuids.empty() ? "" : ",") + records.back().uuid;
    }
    if (records.empty()) return records;
    Result runs(h,
                "SELECT operation_uuid, command_line, exit_code, output FROM tq9.avrdude_runs "
                "WHERE operation_uuid = ANY($1::uuid[]) ORDER BY operation_uuid, step",
                {"{" + uuids + "}"});
    if (!runs.Ok()) {
        whyNot = MessageOf(h);
        return std::nullopt;
    }
    for (int i = 0; i < runs.Rows(); ++i) {
        records[byUuid[runs.Text(0, i)]].avrdudeRuns.push_back(
            {runs.Text(1, i), runs.Int(2, i), runs.Text(3, i)});
    }
    return records;
}

std::optional<LineReport> LineServer::Report(const std::string& since, const std::string& bench,
                                             const std::string& boardSerial, std::string& whyNot) {
    PGconn* h = connection_->handle;
    LineReport report;
    report.since = since;
    report.bench = bench;
    report.boardSerial = boardSerial;
    const std::string day = "(started AT TIME ZONE 'UTC')::date";
    const std::string scope =
        std::string(" AND ") + day + " >= $1::date AND ($2 = '' OR " TQ9_BENCH " = $2)";
    const Params params = {since, bench};
    // The rows in order, each found again by its day and bench.
    std::map<std::pair<std::string, std::string>, LineReportRow> rows;
    auto row = [&](const std::string& d, const std::string& b) -> LineReportRow& {
        LineReportRow& r = rows[{d, b}];
        r.day = d;
        r.bench = b;
        return r;
    };
    // One snapshot for every count, with room to sort a year's runs in memory.
    std::string ignored;
    if (!Exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", whyNot) ||
        !Exec("SET LOCAL work_mem = '64MB'", whyNot)) {
        Exec("ROLLBACK", ignored);
        return std::nullopt;
    }
    Result counts(h,
                  "SELECT to_char(d, 'YYYY-MM-DD'), bench, runs, completed, boards FROM (SELECT " +
                      day +
                      " AS d, " TQ9_BENCH
                      " AS bench, count(*) AS runs, count(*) FILTER (WHERE outcome = "
                      "'completed') AS completed, count(DISTINCT board_serial) FILTER (WHERE "
                      "outcome = 'completed' AND board_serial <> '') AS boards FROM "
                      "tq9.operations WHERE " +
                      kProgramming + scope + " GROUP BY 1, 2) c",
                  params);
    // Each board's first programming run on the line, wherever and whenever it was; a run
    // that failed before it read the board counts as a first run that failed.
    Result firsts(h,
                  "SELECT to_char(d, 'YYYY-MM-DD'), bench, count(*) FILTER (WHERE outcome <> "
                  "'running'), count(*) FILTER (WHERE outcome = 'completed') FROM (SELECT "
                  "DISTINCT ON (board_serial) " +
                      day + " AS d, " TQ9_BENCH " AS bench, outcome FROM tq9.operations WHERE " +
                      kProgramming +
                      " AND board_serial <> '' ORDER BY board_serial, started) first WHERE d >= "
                      "$1::date AND ($2 = '' OR bench = $2) GROUP BY d, bench UNION ALL SELECT "
                      "to_char(" +
                      day +
                      ", 'YYYY-MM-DD'), " TQ9_BENCH ", count(*), 0 FROM tq9.operations WHERE " +
                      kProgramming + scope +
                      " AND board_serial = '' AND outcome NOT IN ('running', 'completed') "
                      "GROUP BY 1, 2",
                  params);
    Result kinds(h,
                 "SELECT to_char(" + day +
                     ", 'YYYY-MM-DD'), " TQ9_BENCH
                     ", CASE WHEN failed_step <> '' THEN failed_step "
                     "WHEN error_kind = '' THEN 'none' ELSE error_kind END, count(*) FROM "
                     "tq9.operations WHERE " +
                     kProgramming + scope +
                     " AND outcome IN ('ended early', 'interrupted') GROUP BY 1, 2, 3 ORDER BY "
                     "1, 2, 4 DESC, 3",
                 params);
    // The total counts each board once, however many days and benches programmed it.
    Result boards(h,
                  "SELECT count(DISTINCT board_serial) FROM tq9.operations WHERE " +
                      std::string(kProgramming) + scope +
                      " AND outcome = 'completed' AND board_serial <> ''",
                  params);
    const bool read = counts.Ok() && firsts.Ok() && kinds.Ok() && boards.HasRow();
    if (!read) whyNot = MessageOf(h);
    Exec("ROLLBACK", ignored);
    if (!read) return std::nullopt;
    for (int i = 0; i < counts.Rows(); ++i) {
        LineReportRow& r = row(counts.Text(0, i), counts.Text(1, i));
        r.runs = counts.Int(2, i);
        r.completed = counts.Int(3, i);
        r.boards = counts.Int(4, i);
    }
    for (int i = 0; i < firsts.Rows(); ++i) {
        LineReportRow& r = row(firsts.Text(0, i), firsts.Text(1, i));
        r.firstRuns += firsts.Int(2, i);
        r.firstPassed += firsts.Int(3, i);
    }
    for (int i = 0; i < kinds.Rows(); ++i)
        row(kinds.Text(0, i), kinds.Text(1, i))
            .failuresByKind.emplace_back(kinds.Text(2, i), kinds.Int(3, i));
    report.boards = boards.Int(0, 0);
    for (auto& [key, r] : rows)
        report.rows.push_back(std::move(r));
    if (!boardSerial.empty()) {
        RecordFilter filter;
        filter.boardSerial = boardSerial;
        filter.bench = bench;
        filter.limit = 0;
        auto history = Find(filter, whyNot);
        if (!history) return std::nullopt;
        report.history = std::move(*history);
    }
    return report;
}

bool LineServer::RegisterBench(const std::string& role, const std::string& bench,
                               std::int64_t& taken, std::string& whyNot) {
    Result registered(connection_->handle, "SELECT tq9.register_bench($1, $2)", {role, bench});
    if (!registered.HasRow()) {
        whyNot = MessageOf(connection_->handle);
        return false;
    }
    taken = std::atoll(registered.Text(0).c_str());
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
