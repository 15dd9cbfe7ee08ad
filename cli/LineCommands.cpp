// tq9ctl records server-check and server-init: the line's PostgreSQL server as a bench
// and as the line's admin see it.

#include <filesystem>
#include <iostream>

#include "base/Platform.h"
#include "cli/Ctl.h"
#include "cli/Output.h"
#include "records/LineForwarder.h"
#include "records/LineServer.h"
#include "records/LineSettings.h"
#include "records/RecordStore.h"

namespace tq9 {

namespace {

// The server to talk to: the command line's, else records.conf's (whose problems are
// said, each on a line of its own); empty when there is none.
std::string ServerOf(const CtlRequest& request, LineSettings& settings) {
    settings = ReadLineSettings(RecordsSettingsPaths(), HostName());
    for (const std::string& problem : settings.problems)
        std::cerr << "tq9ctl: " << problem << '\n';
    return request.server.empty() ? settings.server : request.server;
}

// How many of this user's rows wait for the line server (0 without records).
std::int64_t WaitingRows() {
    const std::string path = DefaultRecordsPath();
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(std::filesystem::u8path(path), error)) return 0;
    std::string whyNot;
    const auto store = RecordStore::Open(path, whyNot);
    return store ? store->WaitingCount(whyNot).value_or(0) : 0;
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
    const std::int64_t waiting = WaitingRows();
    if (output.IsJson()) {
        output.Object({{"server", server},
                       {"bench", settings.bench},
                       {"role", facts->role},
                       {"server_version", facts->serverVersion},
                       {"schema_version", facts->schemaVersion},
                       {"tool_schema_version", LineServer::kSchemaVersion},
                       {"waiting_rows", waiting},
                       {"ready", ready}});
    } else {
        std::cout << "Line server: " << server << "\nBench: " << settings.bench << "\nConnected as "
                  << facts->role << " (PostgreSQL " << facts->serverVersion
                  << ")\nLine schema version " << facts->schemaVersion << " (this tool's "
                  << LineServer::kSchemaVersion << ")\n"
                  << (waiting ? WaitingRowsLine(waiting) : "No row waits for the line server")
                  << '\n';
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
