// tq9ctl records --line, report, server-check and server-init: the line's PostgreSQL
// server as a bench, a reader and the line's admin see it.

#include <filesystem>
#include <iostream>

#include "base/Platform.h"
#include "cli/Ctl.h"
#include "cli/Output.h"
#include "line/LineForwarder.h"
#include "line/LineReport.h"
#include "line/LineServer.h"
#include "line/LineSettings.h"
#include "records/RecordExport.h"
#include "records/RecordStore.h"

namespace tq9 {

namespace {

// The server to talk to: the command line's, else records.conf's (whose problems are
// said, each on a line of its own); empty when there is none.
std::string ServerOf(const CtlRequest& request, LineSettings& settings) {
    settings = ReadLineSettings(RecordsSettingsPaths(), HostName());
    for (const std::string& problem : settings.problems)
        std::cerr << "tq9ctl: " << Shown(problem) << '\n';
    return request.server.empty() ? settings.server : request.server;
}

// The connection that reads the whole line: the command line's, else records.conf's
// reader, else its server; refused (said) when there is none or it does not answer.
std::unique_ptr<LineServer> Reader(const CtlRequest& request, const CtlOutput& output,
                                   int& refused) {
    const LineSettings settings = ReadLineSettings(RecordsSettingsPaths(), HostName());
    for (const std::string& problem : settings.problems)
        std::cerr << "tq9ctl: " << Shown(problem) << '\n';
    const std::string server = request.server.empty() ? settings.ReadFrom() : request.server;
    if (server.empty()) {
        refused = output.Refuse(kFailed,
                                "no line server is set: the records stay on this PC (records.conf: "
                                "server = <libpq connection string>)");
        return nullptr;
    }
    std::string whyNot;
    auto line = LineServer::Connect(server, whyNot);
    if (!line) refused = output.Refuse(kFailed, "the line server does not answer: " + whyNot);
    return line;
}

Json ReportJson(const LineReport& report) {
    Json rows = Json::array();
    for (const LineReportRow& row : report.rows) {
        Json kinds = Json::object();
        for (const auto& [kind, count] : row.failuresByKind)
            kinds[kind] = count;
        rows.push_back({{"day", row.day},
                        {"bench", row.bench},
                        {"runs", row.runs},
                        {"completed", row.completed},
                        {"boards_programmed", row.boards},
                        {"first_runs", row.firstRuns},
                        {"first_passed", row.firstPassed},
                        {"failures_by_kind", kinds}});
    }
    Json report_json = {{"since", report.since},
                        {"bench", report.bench},
                        {"rows", rows},
                        {"boards_programmed", report.boards}};
    if (!report.boardSerial.empty()) {
        Json history = Json::array();
        for (const OperationRecord& r : report.history)
            history.push_back(RecordJson(r));
        report_json["board_serial"] = report.boardSerial;
        report_json["history"] = history;
    }
    return report_json;
}

// How long tq9ctl's end waits for the rows to reach the line's server.
constexpr int kLastPassMs = 5000;

// This user's records; null (nothing said) when there are none yet.
std::unique_ptr<RecordStore> LocalRecords(std::string& whyNot) {
    const std::string path = DefaultRecordsPath();
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(std::filesystem::u8path(path), error))
        return nullptr;
    return RecordStore::Open(path, whyNot);
}

Json SetAsideJson(const std::vector<RecordStore::SetAsideRow>& rows) {
    Json list = Json::array();
    for (const auto& row : rows) {
        list.push_back({{"id", row.id},
                        {"started", row.started},
                        {"operation", row.operation},
                        {"reason", row.reason}});
    }
    return list;
}

}  // namespace

int RunServerCheck(const CtlRequest& request) {
    const CtlOutput output(request.json);
    LineSettings settings;
    const std::string server = ServerOf(request, settings);
    if (server.empty()) {
        return output.Refuse(kFailed,
                             "no line server is set: the records stay on this PC (records.conf: "
                             "server = <libpq connection string>)");
    }
    std::string whyNot;
    const auto line = LineServer::Connect(server, whyNot);
    if (!line) return output.Refuse(kFailed, "the line server does not answer: " + whyNot);
    const auto facts = line->Check(whyNot);
    if (!facts) return output.Refuse(kFailed, "the line server cannot be read: " + whyNot);
    const bool ready = facts->schemaVersion == LineServer::kSchemaVersion;
    const std::string tls = line->TlsNotice();
    std::string unread;
    const auto store = LocalRecords(unread);
    const std::int64_t waiting = store ? store->WaitingCount(unread).value_or(0) : 0;
    const auto setAside =
        store ? store->SetAsideRows(unread) : std::vector<RecordStore::SetAsideRow>{};
    if (output.IsJson()) {
        output.Object({{"server", WithoutPassword(server)},
                       {"bench", settings.bench},
                       {"role", facts->role},
                       {"server_version", facts->serverVersion},
                       {"schema_version", facts->schemaVersion},
                       {"tool_schema_version", LineServer::kSchemaVersion},
                       {"server_bench", facts->benchRole ? Json(facts->bench) : Json(nullptr)},
                       {"tls_notice", tls.empty() ? Json(nullptr) : Json(tls)},
                       {"waiting_rows", waiting},
                       {"set_aside_rows", SetAsideJson(setAside)},
                       {"ready", ready}});
    } else {
        std::cout << "Line server: " << Shown(WithoutPassword(server))
                  << "\nBench: " << Shown(settings.bench) << "\nConnected as " << Shown(facts->role)
                  << " (PostgreSQL " << Shown(facts->serverVersion) << ")\n";
        if (!tls.empty()) std::cout << "Warning: " << tls << '\n';
        if (facts->benchRole) {
            std::cout << "The server has " << Shown(facts->role) << " send for bench "
                      << (facts->bench.empty() ? "(none registered)" : Shown(facts->bench)) << '\n';
        }
        std::cout << "Line schema version " << facts->schemaVersion << " (this tool's "
                  << LineServer::kSchemaVersion << ")\n"
                  << (waiting ? WaitingRowsLine(waiting) : "No row waits for the line server")
                  << '\n';
        if (!setAside.empty()) {
            std::cout << Shown(SetAsideRowsLine(setAside)) << ":\n";
            for (const auto& row : setAside) {
                std::cout << "  row " << row.id << ", " << Shown(row.started) << ", "
                          << Shown(row.operation) << ": " << Shown(row.reason) << '\n';
            }
        }
    }
    if (facts->schemaVersion == 0) {
        return output.Refuse(kFailed,
                             "the line's schema is not set up: the admin runs tq9ctl records "
                             "server-init");
    }
    if (!ready) {
        return output.Refuse(kFailed, facts->schemaVersion > LineServer::kSchemaVersion
                                          ? "the line's schema is newer than this tool's"
                                          : "the line's schema is older than this tool's: the "
                                            "admin runs tq9ctl records server-init");
    }
    // The server, not this file, decides which bench the role sends for.
    if (facts->benchRole && facts->bench.empty()) {
        return output.Refuse(kFailed, "the line server has no bench registered for " + facts->role +
                                          ": the admin runs tq9ctl records server-bench " +
                                          facts->role + " " + settings.bench);
    }
    if (facts->benchRole && facts->bench != settings.bench) {
        return output.Refuse(
            kFailed, "records.conf names bench " + settings.bench + ", but the line server has " +
                         facts->role + " send for " + facts->bench + ": its rows would be refused");
    }
    return kDone;
}

int RunLineRecords(const CtlRequest& request) {
    const CtlOutput output(request.json);
    int refused = kFailed;
    const auto line = Reader(request, output, refused);
    if (!line) return refused;
    RecordFilter filter;
    filter.limit = 0;
    filter.boardSerial = request.serial;
    filter.since = request.since;
    filter.bench = request.bench;
    std::string whyNot;
    const auto rows = line->Find(filter, whyNot);
    if (!rows) return output.Refuse(kFailed, "the line's records cannot be read: " + whyNot);
    PrintRecords(*rows, request, true);
    return kDone;
}

int RunReport(const CtlRequest& request) {
    const CtlOutput output(request.json);
    int refused = kFailed;
    const auto line = Reader(request, output, refused);
    if (!line) return refused;
    std::string whyNot;
    const auto report =
        line->Report(request.since.substr(0, 10), request.bench, request.serial, whyNot);
    if (!report) return output.Refuse(kFailed, "the line's records cannot be read: " + whyNot);
    // Written whole or not at all: a page cut short would read as a report.
    if (!request.html.empty() &&
        !WriteFileWhole(request.html, LineReportHtml(*report, UtcNowIso8601()), whyNot)) {
        return output.Refuse(kFailed, whyNot);
    }
    if (output.IsJson()) {
        output.Object(ReportJson(*report));
    } else {
        std::cout << LineReportText(*report);
        if (!request.html.empty()) std::cout << "The page is in " << Shown(request.html) << '\n';
    }
    return kDone;
}

int RunServerBench(const CtlRequest& request) {
    const CtlOutput output(request.json);
    LineSettings settings;
    const std::string server = ServerOf(request, settings);
    if (server.empty()) return output.Refuse(kFailed, "no line server is set (records.conf)");
    std::string whyNot;
    const auto line = LineServer::Connect(server, whyNot);
    if (!line) return output.Refuse(kFailed, "the line server does not answer: " + whyNot);
    std::int64_t taken = 0;
    if (!line->RegisterBench(request.role, request.bench, taken, whyNot))
        return output.Refuse(kFailed, whyNot);
    if (output.IsJson()) {
        output.Object({{"role", request.role}, {"bench", request.bench}, {"rows_taken", taken}});
    } else {
        std::cout << Shown(request.role) << " sends for bench " << Shown(request.bench);
        if (taken) std::cout << "; " << taken << " of its earlier rows now name that bench";
        std::cout << '\n';
    }
    return kDone;
}

void EndLine(LineForwarder& forwarder, RecordStore* store, bool stopped) {
    const bool ended = forwarder.Stop(stopped ? 0 : kLastPassMs);
    if (const std::string tls = forwarder.TlsNotice(); !tls.empty())
        std::cerr << "tq9ctl: " << Shown(tls) << '\n';
    std::int64_t waiting = forwarder.WaitingRows();
    std::string why = forwarder.LastFailure();
    if (!ended) {
        // The last pass's count is older than this run's rows: the file says.
        std::string unread;
        if (store) waiting = store->WaitingCount(unread).value_or(-1);
        why = stopped ? "none was sent after the second Ctrl-C"
                      : "the last send was still running after " +
                            std::to_string(kLastPassMs / 1000) + " s";
    }
    const std::string said = why.empty() ? "" : " (" + why + ")";
    if (const std::string line = WaitingRowsLine(waiting); !line.empty()) {
        std::cerr << "tq9ctl: " << Shown(line + said) << '\n';
    } else if (waiting < 0) {
        std::cerr << "tq9ctl: rows may wait for the line server" << Shown(said) << '\n';
    }
    if (const std::string aside = SetAsideRowsLine(forwarder.SetAsideRows()); !aside.empty())
        std::cerr << "tq9ctl: " << Shown(aside) << '\n';
}

int RunResend(const CtlRequest& request) {
    const CtlOutput output(request.json);
    std::string whyNot;
    const auto store = LocalRecords(whyNot);
    if (!store) {
        return output.Refuse(kFailed, whyNot.empty()
                                          ? "no board records yet"
                                          : "the board records cannot be read: " + whyNot);
    }
    const auto again = store->Resend(whyNot);
    if (!again) return output.Refuse(kFailed, "the board records cannot be marked: " + whyNot);
    LineSettings settings;
    const std::string server = ServerOf(request, settings);
    if (!output.IsJson()) {
        std::cout << (*again == 0
                          ? std::string("No row was set aside")
                          : std::to_string(*again) +
                                (*again == 1 ? " row set aside waits" : " rows set aside wait") +
                                " for the line server again")
                  << '\n';
    }
    if (server.empty() || *again == 0) {
        if (output.IsJson()) output.Object({{"resent", *again}, {"waiting_rows", nullptr}});
        return kDone;
    }
    LineForwarder forwarder(store->Path(), server, settings.bench);
    EndLine(forwarder, store.get(), false);
    if (output.IsJson()) {
        output.Object({{"resent", *again},
                       {"waiting_rows", store->WaitingCount(whyNot).value_or(-1)},
                       {"set_aside_rows", SetAsideJson(store->SetAsideRows(whyNot))}});
    }
    return kDone;
}

int RunServerInit(const CtlRequest& request) {
    const CtlOutput output(request.json);
    LineSettings settings;
    const std::string server = ServerOf(request, settings);
    if (server.empty()) return output.Refuse(kFailed, "no line server is set (records.conf)");
    std::string whyNot;
    const auto line = LineServer::Connect(server, whyNot);
    if (!line) return output.Refuse(kFailed, "the line server does not answer: " + whyNot);
    int found = 0;
    if (!line->Init(found, whyNot)) return output.Refuse(kFailed, whyNot);
    if (output.IsJson()) {
        output.Object({{"schema_version", LineServer::kSchemaVersion}, {"was", found}});
    } else {
        std::cout << "The line's schema is at version " << LineServer::kSchemaVersion
                  << (found == LineServer::kSchemaVersion
                          ? " already"
                          : " (it was " + std::to_string(found) + ")")
                  << '\n';
    }
    return kDone;
}

}  // namespace tq9
