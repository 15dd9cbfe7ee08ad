#pragma once
// The line's PostgreSQL server, seen from the tool: its schema (the versioned migrations
// in line/migrations/, applied by the line's admin) and what a bench or a reader can check of
// it. Every call is bounded: connecting gives up after 10 s, a statement after 30 s, and
// a server that stops answering over TCP after 30 s, unless the connection string says
// otherwise.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "line/LineReport.h"
#include "records/RecordStore.h"

namespace tq9 {

class LineServer {
  public:
    // The server schema this tool writes and reads.
    static constexpr int kSchemaVersion = 5;

    // Connects with a libpq connection string ("service=tq9line", say); null with the
    // reason when it cannot (or when this build has no libpq). A server that takes the
    // connection and never answers is given up after `limitS` seconds (2 at least), unless
    // the string says otherwise.
    static constexpr int kConnectLimitS = 10;
    static std::unique_ptr<LineServer> Connect(const std::string& server, std::string& whyNot,
                                               int limitS = kConnectLimitS);
    // Whether this build can reach a line server at all (it has libpq).
    static bool InThisBuild();
    ~LineServer();
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    struct Facts {
        std::string role;           // who the tool is there
        std::string serverVersion;  // PostgreSQL's
        int schemaVersion = 0;      // 0: the line's schema is not set up
        bool benchRole = false;     // the role is a bench's (in tq9_bench)
        std::string bench;          // the bench the server has the role send for; empty: none
    };
    std::optional<Facts> Check(std::string& whyNot);
    // What the connection lacks of a line's: no TLS, or TLS whose server certificate is not
    // checked against the CA (sslmode=require); empty when it is checked, or when the
    // connection is a unix socket on this machine.
    std::string TlsNotice() const;
    // Brings the line's schema to kSchemaVersion in one transaction (the admin, as the
    // schema's owner); `found` is the version it had. A newer schema is left alone and
    // refused, saying so.
    bool Init(int& found, std::string& whyNot);
    // The admin: `role` (a bench role) sends for `bench` from now on; the role's rows that
    // came before any bench was registered for it take that bench (`taken` of them).
    bool RegisterBench(const std::string& role, const std::string& bench, std::int64_t& taken,
                       std::string& whyNot);
    // Runs SQL (statements without results); false with the server's message.
    bool Exec(const std::string& sql, std::string& whyNot);
    // Sends one local row as `bench`, by its UUID, in one transaction: a row the server
    // lacks is added as running; once it has ended here, its avrdude runs and its end
    // follow. Sending it again changes nothing, and a row the server already has as ended
    // is left as it is. `ended`: whether the server now has it as ended.
    bool Send(const OperationRecord& record, const std::string& bench, bool& ended,
              std::string& whyNot);
    // As Send, for several rows in one transaction: all of them, or none. `ended`: each
    // row's. `refused`, when given: whether the server refused a row for what it holds
    // (it would refuse it again as it is), not for the connection or a passing state.
    bool Send(const std::vector<OperationRecord>& rows, const std::string& bench,
              std::vector<bool>& ended, std::string& whyNot, bool* refused = nullptr);

    // Every bench's rows the filter takes (its bench too), newest first, with their
    // avrdude runs; a role that may read the line (tq9_reader).
    std::optional<std::vector<OperationRecord>> Find(const RecordFilter& filter,
                                                     std::string& whyNot);
    // How many rows the filter takes, whatever its limit.
    std::optional<std::int64_t> Count(const RecordFilter& filter, std::string& whyNot);
    // The line's report from day `since` (YYYY-MM-DD) on; `bench`: only its rows;
    // `boardSerial`: with that board's history.
    std::optional<LineReport> Report(const std::string& since, const std::string& bench,
                                     const std::string& boardSerial, std::string& whyNot);

  private:
    struct Connection;
    explicit LineServer(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> connection_;
};

}  // namespace tq9
