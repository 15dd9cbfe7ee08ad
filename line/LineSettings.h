#pragma once
// Where the line's PostgreSQL server is, and this bench's name on it: the records'
// settings files (RecordsSettingsPaths), read in order, each key of a later file
// overriding an earlier one's. Lines are "key = value"; blank lines and lines starting
// with "#" are skipped.
//
//   server = service=tq9line   a libpq connection string (host, database and TLS in
//                              pg_service.conf, the password in ~/.pgpass); none: the
//                              records stay on this PC only
//   bench = line-3             this bench's name on the line (default: the host name)
//   reader = service=tq9read   the connection that reads the whole line (records --line,
//                              the report, the records window); default: the server's,
//                              whose role then needs tq9_reader too
//
// The files hold no secret: a server string with a password is refused.

#include <string>
#include <vector>

namespace tq9 {

struct LineSettings {
    std::string server;  // empty: no line server
    std::string bench;
    std::string reader;  // empty: the server's
    // The connection that reads the line: the reader's, else the server's.
    const std::string& ReadFrom() const { return reader.empty() ? server : reader; }
    // What could not be taken, one "FILE:LINE: why" each; the rest of the file still is.
    std::vector<std::string> problems;
};

// Reads the files that exist of `paths`; `hostName` is the bench's name unless one is set.
LineSettings ReadLineSettings(const std::vector<std::string>& paths, const std::string& hostName);

// A connection string as shown to the operator: a password typed into it (--server)
// replaced by "(hidden)", whether a keyword's value, a URI's user part or its query.
std::string WithoutPassword(const std::string& server);

}  // namespace tq9
