#include <arpa/inet.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <sys/socket.h>
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
// A TCP port on 127.0.0.1 that nothing listens on now (the machine's own PostgreSQL may
// hold 5432).
int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(s);
    return port;
}
}  // namespace

// Two CAs, and the server's key and certificate (for 127.0.0.1 and localhost) from the
// first.
bool PgServer::MakeCertificates(std::string& whyNot) {
    const std::string tls = (dir_.Path() / "tls").string();
    std::filesystem::create_directories(tls);
    const std::string ssl = "openssl ";
    const std::string quiet = " >/dev/null 2>&1";
    const std::string commands[] = {
        ssl + "req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=tq9 test CA' -keyout '" + tls +
            "/ca.key' -out '" + tls + "/ca.crt'",
        ssl + "req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=another CA' -keyout '" + tls +
            "/other-ca.key' -out '" + tls + "/other-ca.crt'",
        ssl + "req -newkey rsa:2048 -nodes -subj '/CN=127.0.0.1' -keyout '" + tls +
            "/server.key' -out '" + tls + "/server.csr'",
        "printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' > '" + tls + "/san.ext'",
        ssl + "x509 -req -in '" + tls + "/server.csr' -CA '" + tls + "/ca.crt' -CAkey '" + tls +
            "/ca.key' -CAcreateserial -days 2 -extfile '" + tls + "/san.ext' -out '" + tls +
            "/server.crt'",
        "chmod 600 '" + tls + "/server.key'",
    };
    for (const std::string& command : commands) {
        if (std::system((command + quiet).c_str()) != 0) {
            whyNot = "cannot make the test's certificates: " + command;
            return false;
        }
    }
    return true;
}

PgServer* PgServer::Shared(std::string& whyNot, bool durable) {
    static std::unique_ptr<PgServer> server;
    static std::string failure;
    if (!server && failure.empty()) {
        std::unique_ptr<PgServer> starting(new PgServer());
        if (starting->Start(durable, failure)) server = std::move(starting);
    }
    whyNot = failure;
    return server.get();
}

bool PgServer::Start(bool durable, std::string& whyNot) {
    if (!std::filesystem::exists(kBin + "initdb")) {
        whyNot = "PostgreSQL 15 is not installed (" + kBin + ")";
        return false;
    }
    const auto root = dir_.Path() / "pg";
    std::filesystem::create_directories(root / "socket");
    if (!MakeCertificates(whyNot)) return false;
    const std::string tls = (dir_.Path() / "tls").string();
    if (::geteuid() == 0 &&
        std::system(
            ("chown -R postgres '" + root.string() + "' '" + tls + "/server.key'").c_str()) != 0) {
        whyNot = "cannot give " + root.string() + " to the postgres user";
        return false;
    }
    port_ = FreePort();
    if (port_ == 0) {
        whyNot = "no free TCP port on 127.0.0.1";
        return false;
    }
    data_ = (root / "data").string();
    socket_ = (root / "socket").string();
    if (Run(kBin + "initdb -D '" + data_ + "' -A trust -U postgres -E UTF8 --locale=C --no-sync") !=
        0) {
        whyNot = "initdb failed";
        return false;
    }
    // The superuser on the socket as before; over TCP only TLS and a password.
    std::ofstream(std::filesystem::path(data_) / "pg_hba.conf")
        << "local all all trust\nhostssl all all 127.0.0.1/32 scram-sha-256\n";
    const std::string options = "-k " + socket_ + " -c listen_addresses=127.0.0.1 -p " +
                                std::to_string(port_) + " -c fsync=" + (durable ? "on" : "off") +
                                " -c max_connections=50 -c ssl=on -c ssl_cert_file=" + tls +
                                "/server.crt -c ssl_key_file=" + tls + "/server.key";
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
    return "host=" + socket_ + " port=" + std::to_string(port_) + " dbname=" + database +
           " user=" + role;
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
