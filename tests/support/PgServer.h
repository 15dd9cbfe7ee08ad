#pragma once
// A real PostgreSQL server for the test program: Debian's postgresql-15, made with initdb
// in a folder of its own and started with pg_ctl, as the postgres user when this runs as
// root (the server refuses root); stopped, and its folder removed, when the program ends.
// It listens on a unix socket there (trusted, as the tests' superuser uses it) and on
// 127.0.0.1 with TLS only and a password (scram-sha-256), its certificate from a CA made
// here, as a line's server is set up. It is started once, as it takes seconds; each
// test takes a database of its own, so no test sees another's rows.

#include <string>

#include "support/TempDir.h"

namespace tq9::test {

class PgServer {
  public:
    // The program's server, started at the first call; null (with the reason) when
    // PostgreSQL is not installed or does not start. `durable`: as a line's server runs
    // (every commit on disk), for figures; the tests' server skips that.
    static PgServer* Shared(std::string& whyNot, bool durable = false);
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // A new, empty database's name.
    std::string NewDatabase();
    // The libpq connection string of `database` for `role`, on the unix socket.
    std::string Connection(const std::string& database, const std::string& role = "postgres") const;
    // The TCP side: its port, the CA that signed the server's certificate (for
    // sslrootcert), and another CA that did not.
    int Port() const { return port_; }
    std::string CaFile() const { return (dir_.Path() / "tls/ca.crt").string(); }
    std::string OtherCaFile() const { return (dir_.Path() / "tls/other-ca.crt").string(); }
    // An outage: the server stops at once (its connections cut), and starts again.
    bool Stop();
    bool Restart();
    // Runs SQL as the superuser in `database`; false with the server's reason.
    bool Sql(const std::string& database, const std::string& sql, std::string& whyNot) const;
    // The first value the superuser's query gives; "(the reason)" when it gives none.
    std::string Value(const std::string& database, const std::string& sql) const;

  private:
    PgServer() = default;
    bool Start(bool durable, std::string& whyNot);
    bool MakeCertificates(std::string& whyNot);
    TempDir dir_;
    std::string data_, socket_, startCommand_;
    int port_ = 0;
    int databases_ = 0;
    bool started_ = false;
};

}  // namespace tq9::test
