// Benches and a reader as a line has them: each a tq9ctl process of its own, reaching the
// server over TCP with TLS (verify-full against the line's CA) through a service in
// pg_service.conf and its password in .pgpass, as the README sets a line up.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "line/LineServer.h"
#include "support/PgTest.h"
#include "support/ScopedEnv.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace tq9 {
namespace {

namespace fs = std::filesystem;

class LineBenchesTest : public test::PgTest {
  protected:
    void SetUp() override {
        test::PgTest::SetUp();
        std::string whyNot;
        const auto admin = LineServer::Connect(server->Connection(database), whyNot);
        ASSERT_TRUE(admin) << whyNot;
        int found = 0;
        ASSERT_TRUE(admin->Init(found, whyNot)) << whyNot;
        // Roles are the server's, not the database's: each test names its own.
        std::ofstream services(dir.File("pg_service.conf"));
        // libpq ignores (and warns of) a password file others may read.
        std::ofstream(dir.File("pgpass")).close();
        fs::permissions(dir.File("pgpass"), fs::perms::owner_read | fs::perms::owner_write);
        std::ofstream passwords(dir.File("pgpass"));
        const std::string port = std::to_string(server->Port());
        auto role = [&](const std::string& service, const std::string& group,
                        const std::string& password, const std::string& ca) {
            const std::string name = service + "_" + database;
            ASSERT_TRUE(server->Sql(
                database, "CREATE ROLE " + name + " LOGIN PASSWORD '" + name + "' IN ROLE " + group,
                whyNot))
                << whyNot;
            // Each bench's role sends for the bench of its name (Bench(service, service)),
            // but for the two benches of the line.
            if (group == "tq9_bench")
                Register(name, service == "bench_a"   ? "line-a"
                               : service == "bench_b" ? "line-b"
                                                      : service);
            services << "[" << service << "]\nhost=127.0.0.1\nport=" << port
                     << "\ndbname=" << database << "\nuser=" << name
                     << "\nsslmode=verify-full\nsslrootcert=" << ca << "\n";
            passwords << "127.0.0.1:" << port << ":" << database << ":" << name << ":" << password
                      << "\n";
        };
        role("bench_a", "tq9_bench", "bench_a_" + database, server->CaFile());
        role("bench_b", "tq9_bench", "bench_b_" + database, server->CaFile());
        role("reader", "tq9_reader", "reader_" + database, server->CaFile());
        role("wrong_password", "tq9_bench", "not-it", server->CaFile());
        role("wrong_ca", "tq9_bench", "wrong_ca_" + database, server->OtherCaFile());
    }

    // A bench of its own: tq9ctl and the simulated cable in its folder, its records and
    // its records.conf naming `service` and the bench. `windows`: the Windows build's
    // tq9ctl.exe with its DLLs (libpq's, and the simulated cable's FTD2XX.DLL) from
    // `windowsBench`, run under wine; or, where `windowsInstalled` names the wine prefix the
    // installer put them in, the installed programs, with the bench's directory (under the
    // bench's PROGRAMDATA) holding the simulated cable's FTD2XX.DLL.
    void Bench(const std::string& name, const std::string& service, bool windows = false) const {
        const fs::path folder = dir.File(name);
        fs::create_directories(folder / "config/tq9-bench");
        if (windows && !windowsInstalled.empty()) {
            fs::create_directories(folder / "config/tq9-bench/bench");
            fs::copy_file(fs::path(windowsBench) / "FTD2XX.dll",
                          folder / "config/tq9-bench/bench/FTD2XX.DLL",
                          fs::copy_options::overwrite_existing);
            windows_.insert(name);
        } else if (windows) {
            for (const auto& entry : fs::directory_iterator(windowsBench)) {
                const std::string extension = entry.path().extension().string();
                if (extension == ".dll" || extension == ".DLL" ||
                    entry.path().filename() == "tq9ctl.exe")
                    fs::copy_file(entry.path(), folder / entry.path().filename(),
                                  fs::copy_options::overwrite_existing);
            }
            windows_.insert(name);
        } else {
            fs::copy_file(TQ9_CTL_PATH, folder / "tq9ctl", fs::copy_options::overwrite_existing);
            fs::copy_file(TQ9_SIM_DRIVER_PATH, folder / "libftd2xx.so",
                          fs::copy_options::overwrite_existing);
        }
        std::ofstream(folder / "config/tq9-bench/records.conf")
            << "server = service=" << service << "\nbench = " << name << "\n";
    }
    // The shell command that runs tq9ctl as `bench` runs it; `exec`: in the shell's
    // process, so that the shell's pid is tq9ctl's.
    std::string As(const std::string& bench, const std::string& arguments,
                   bool exec = false) const {
        const std::string folder = dir.File(bench).string();
        if (windows_.count(bench)) {
            // Wine gives a program its own PROGRAMDATA and LOCALAPPDATA, whatever the
            // environment says: they are set on the Windows side. libpq opens the service
            // and password files, and the CA, by their Unix paths (on drive Z:).
            std::string windowsFolder = "Z:" + folder;
            std::replace(windowsFolder.begin(), windowsFolder.end(), '/', '\\');
            // The installed tq9ctl.exe is found on the PATH, as the installer's prompt has it.
            const std::string prefix =
                windowsInstalled.empty() ? "" : "WINEPREFIX='" + windowsInstalled + "' ";
            const std::string path =
                windowsInstalled.empty() ? "" : "set PATH=C:\\Program Files\\TQ9 Bench;%PATH%&& ";
            return "cd '" + folder + "' && " + (exec ? "exec " : "") + prefix +
                   "/usr/lib/wine/wine64 cmd /c \"" + path + "set PROGRAMDATA=" + windowsFolder +
                   "\\config&& set LOCALAPPDATA=" + windowsFolder + "\\data&& tq9ctl.exe " +
                   arguments + "\" </dev/null";
        }
        return "cd '" + folder + "' && " + (exec ? "exec " : "") + "env XDG_CONFIG_HOME='" +
               folder + "/config' XDG_DATA_HOME='" + folder + "/data' ./tq9ctl " + arguments +
               " </dev/null";
    }
    test::CtlRun Shell(const std::string& command) const {
        return test::RunShell(command, dir.File("stderr.txt"));
    }

    // The Windows build's demo bench (tq9ctl.exe and its DLLs), where the Windows tests
    // name it; empty elsewhere.
    const std::string windowsBench =
        std::getenv("TQ9_WINDOWS_BENCH") ? std::getenv("TQ9_WINDOWS_BENCH") : "";
    // The wine prefix the Windows installer installed into, where its test names it.
    const std::string windowsInstalled =
        std::getenv("TQ9_WINDOWS_INSTALLED") ? std::getenv("TQ9_WINDOWS_INSTALLED") : "";
    test::TempDir dir;
    test::ScopedEnv services{"PGSERVICEFILE", dir.File("pg_service.conf").string()};
    test::ScopedEnv passwords{"PGPASSFILE", dir.File("pgpass").string()};

  private:
    mutable std::set<std::string> windows_;
};

TEST_F(LineBenchesTest, TwoBenchesWriteAtOnceAndAReaderSeesEveryRowOnce) {
    Bench("line-a", "bench_a");
    Bench("line-b", "bench_b");
    constexpr int kEach = 3;
    const std::string loop = "for i in $(seq " + std::to_string(kEach) + "); do ";
    const test::CtlRun benches = Shell(
        "(" + loop + As("line-a", "identify") + " >/dev/null || exit 1; done) & a=$!; (" + loop +
        As("line-b", "identify") + " >/dev/null || exit 1; done) & b=$!; wait $a && wait $b");
    ASSERT_EQ(benches.exitCode, 0) << benches.err;
    EXPECT_EQ(benches.err.find("wait"), std::string::npos) << "every row reached the server\n"
                                                           << benches.err;

    const test::CtlRun check = Shell(As("line-a", "records server-check"));
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_NE(check.out.find("Connected as bench_a_" + database + " (PostgreSQL 15."),
              std::string::npos)
        << check.out;

    Bench("office", "reader");
    const test::CtlRun all = Shell(As("office", "records --line --json"));
    ASSERT_EQ(all.exitCode, 0) << all.err;
    const auto rows = nlohmann::json::parse(all.out);
    ASSERT_EQ(rows.size(), 2u * kEach);
    std::map<std::string, int> perBench;
    std::set<std::string> uuids;
    for (const auto& row : rows) {
        ++perBench[row["bench"].get<std::string>()];
        uuids.insert(row["uuid"].get<std::string>());
        EXPECT_EQ(row["outcome"], "completed");
        EXPECT_EQ(row["board_serial"], "12345");
    }
    EXPECT_EQ(perBench, (std::map<std::string, int>{{"line-a", kEach}, {"line-b", kEach}}));
    EXPECT_EQ(uuids.size(), 2u * kEach) << "no row twice";

    const test::CtlRun onlyB = Shell(As("office", "records --line --bench line-b"));
    EXPECT_EQ(onlyB.exitCode, 0) << onlyB.err;
    EXPECT_EQ(onlyB.out.rfind("started\tbench\toperation\toutcome\tboard", 0), 0u) << onlyB.out;
    EXPECT_EQ(std::count(onlyB.out.begin(), onlyB.out.end(), '\n'), kEach + 1);
    EXPECT_EQ(onlyB.out.find("line-a"), std::string::npos);

    const test::CtlRun report = Shell(As("office",
                                         "records report --since 2000-01-01 --serial 12345 "
                                         "--html '" +
                                             dir.File("line.html").string() + "'"));
    EXPECT_EQ(report.exitCode, 0) << report.err;
    EXPECT_NE(report.out.find("No programming run on the line since then."), std::string::npos)
        << report.out;
    std::stringstream page;
    page << std::ifstream(dir.File("line.html")).rdbuf();
    EXPECT_NE(page.str().find("<h2>Board 12345</h2>"), std::string::npos);

    // A bench's role reads nothing but its own upserts' answers.
    const test::CtlRun benchReads = Shell(As("line-a", "records --line"));
    EXPECT_EQ(benchReads.exitCode, 1);
    EXPECT_EQ(benchReads.err,
              "tq9ctl: the line's records cannot be read: ERROR:  permission denied for table "
              "operations\n");
}

// A wrong password and a certificate from another CA: the server is refused with one
// clear line, and the operation itself goes on as ever, its row waiting.
TEST_F(LineBenchesTest, AWrongPasswordOrAWrongCaIsOneClearLineAndTheOperationGoesOn) {
    struct Case {
        std::string service, said;
    } cases[] = {
        {"wrong_password",
         "password authentication failed for user \"wrong_password_" + database + "\""},
        {"wrong_ca", "certificate verify failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.service);
        Bench(c.service, c.service);
        const test::CtlRun check = Shell(As(c.service, "records server-check"));
        EXPECT_EQ(check.exitCode, 1);
        EXPECT_EQ(check.err.rfind("tq9ctl: the line server does not answer: connection to "
                                  "server at \"127.0.0.1\", port " +
                                      std::to_string(server->Port()) + " failed: ",
                                  0),
                  0u)
            << check.err;
        EXPECT_NE(check.err.find(c.said), std::string::npos) << check.err;
        EXPECT_EQ(std::count(check.err.begin(), check.err.end(), '\n'), 1) << check.err;

        const test::CtlRun identify = Shell(As(c.service, "identify"));
        EXPECT_EQ(identify.exitCode, 0) << identify.err;
        EXPECT_NE(identify.out.find("Serial Number: 12345"), std::string::npos);
        EXPECT_NE(identify.err.find("tq9ctl: 1 row waits for the line server ("), std::string::npos)
            << identify.err;
        EXPECT_NE(identify.err.find(c.said), std::string::npos) << identify.err;
    }
    EXPECT_EQ(Value("SELECT count(*) FROM tq9.operations"), "0");
}

// A program killed while the server holds its send (the row's start, sent as the operation
// begins): the server has all of that send or none of it, the row still waits here, and
// the next program marks it interrupted and sends it, once.
TEST_F(LineBenchesTest, AProgramKilledInTheMiddleOfASendLosesNothingAndDoublesNothing) {
    Bench("line-a", "bench_a");
    // The test holds the table, so that the send stops in the middle, at its insert.
    PGconn* holder = PQconnectdb(server->Connection(database).c_str());
    ASSERT_EQ(PQstatus(holder), CONNECTION_OK);
    PQclear(PQexec(holder, "BEGIN; LOCK TABLE tq9.operations IN EXCLUSIVE MODE"));

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c",
                (As("line-a", "identify", true) + " >/dev/null 2>&1").c_str(), nullptr);
        ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    const std::string waiting = "SELECT count(*) FROM pg_stat_activity WHERE usename = 'bench_a_" +
                                database + "' AND wait_event_type = 'Lock'";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Value(waiting) != "1" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool caught = Value(waiting) == "1";
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    PQclear(PQexec(holder, "COMMIT"));
    PQfinish(holder);
    ASSERT_TRUE(caught) << "the send never reached the held table";
    EXPECT_TRUE(WIFSIGNALED(status));
    // The server finishes with the cut connection: the send's transaction, whole (it had
    // every statement and its commit), or rolled back.
    const auto gone = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Value("SELECT count(*) FROM pg_stat_activity WHERE usename = 'bench_a_" + database +
                 "'") != "0" &&
           std::chrono::steady_clock::now() < gone)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string held = Value("SELECT count(*) FROM tq9.operations");
    EXPECT_TRUE(held == "0" || held == "1") << held;

    const test::CtlRun next = Shell(As("line-a", "identify"));
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(next.err.find("wait"), std::string::npos) << next.err;
    EXPECT_EQ(Value("SELECT count(*) || ' ' || count(DISTINCT uuid) || ' ' || "
                    "string_agg(DISTINCT outcome, ',') FROM tq9.operations"),
              "2 2 completed,interrupted")
        << "the killed program's row, once, and the next one's";
    const test::CtlRun local = Shell(As("line-a", "records"));
    EXPECT_EQ(local.err, "") << "no row waits";
}

// A server that takes the connection but holds the send (a locked table): tq9ctl ends at
// its limit, saying how many rows still wait and why.
TEST_F(LineBenchesTest, TheEndSaysWhatWaitsWhenTheLastSendIsStillRunning) {
    Bench("line-a", "bench_a");
    PGconn* holder = PQconnectdb(server->Connection(database).c_str());
    ASSERT_EQ(PQstatus(holder), CONNECTION_OK);
    PQclear(PQexec(holder, "BEGIN; LOCK TABLE tq9.operations IN EXCLUSIVE MODE"));
    const test::CtlRun held = Shell(As("line-a", "identify"));
    PQclear(PQexec(holder, "COMMIT"));
    PQfinish(holder);
    EXPECT_EQ(held.exitCode, 0) << held.err;
    EXPECT_NE(held.err.find("tq9ctl: 1 row waits for the line server (the last send was still "
                            "running after 5 s)\n"),
              std::string::npos)
        << held.err;
}

// TLS without the server's certificate checked (sslmode=require) works, and is said by
// server-check and at tq9ctl's end, never silently used.
TEST_F(LineBenchesTest, ACertificateNotCheckedIsSaid) {
    std::ofstream(dir.File("pg_service.conf"), std::ios::app)
        << "[require_a]\nhost=127.0.0.1\nport=" << server->Port() << "\ndbname=" << database
        << "\nuser=bench_a_" << database << "\nsslmode=require\n";
    Bench("line-a", "require_a");
    const std::string said = "the line server's certificate is not checked (sslmode=require)";
    const test::CtlRun check = Shell(As("line-a", "records server-check"));
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_NE(check.out.find("Warning: " + said), std::string::npos) << check.out;
    const test::CtlRun identify = Shell(As("line-a", "identify"));
    EXPECT_EQ(identify.exitCode, 0) << identify.err;
    EXPECT_NE(identify.err.find("tq9ctl: " + said), std::string::npos) << identify.err;
    EXPECT_EQ(Value("SELECT count(*) FROM tq9.operations"), "1") << "the row still goes";

    Bench("line-b", "bench_b");
    EXPECT_EQ(Shell(As("line-b", "records server-check")).out.find("Warning"), std::string::npos)
        << "verify-full says nothing";
}

// A Windows bench (the Windows build's tq9ctl.exe and PostgreSQL's own libpq.dll, under
// wine) on the same line: its rows arrive once each, through an outage too; a wrong
// password and a wrong CA are one line each and the operation goes on; it reads the line
// and its report.
TEST_F(LineBenchesTest, AWindowsBenchSendsEveryRowOnceAndReadsTheLine) {
    if (windowsBench.empty()) GTEST_SKIP() << "TQ9_WINDOWS_BENCH names no Windows build";
    ASSERT_TRUE(fs::exists(fs::path(windowsBench) / "tq9ctl.exe")) << windowsBench;
    if (!windowsInstalled.empty()) {
        ASSERT_TRUE(
            fs::exists(fs::path(windowsInstalled) / "drive_c/Program Files/TQ9 Bench/tq9ctl.exe"))
            << "not installed in " << windowsInstalled;
    }
    Bench("line-a", "bench_a", true);
    const test::CtlRun first = Shell(As("line-a", "identify"));
    ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
    EXPECT_EQ(first.err.find("wait"), std::string::npos) << first.err;
    const test::CtlRun check = Shell(As("line-a", "records server-check"));
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_NE(check.out.find("Connected as bench_a_" + database + " (PostgreSQL 15."),
              std::string::npos)
        << check.out;

    // The server goes away: the row waits on the bench, and goes once it is back.
    ASSERT_TRUE(server->Stop());
    const test::CtlRun during = Shell(As("line-a", "identify"));
    ASSERT_TRUE(server->Restart());
    EXPECT_EQ(during.exitCode, 0) << during.err;
    EXPECT_NE(during.err.find("tq9ctl: 1 row waits for the line server ("), std::string::npos)
        << during.err;
    const test::CtlRun after = Shell(As("line-a", "identify"));
    EXPECT_EQ(after.exitCode, 0) << after.err;
    EXPECT_EQ(after.err.find("wait"), std::string::npos) << after.err;
    EXPECT_EQ(Value("SELECT count(DISTINCT uuid) || '/' || count(*) FROM tq9.operations"), "3/3");

    // A wrong password and a certificate from another CA: one line each, and the
    // operation goes on, its row waiting.
    for (const auto& [service, said] :
         {std::pair<std::string, std::string>{"wrong_password", "password authentication failed"},
          {"wrong_ca", "certificate verify failed"}}) {
        SCOPED_TRACE(service);
        Bench(service, service, true);
        const test::CtlRun refused = Shell(As(service, "records server-check"));
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_NE(refused.err.find(said), std::string::npos) << refused.err;
        EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
        const test::CtlRun identify = Shell(As(service, "identify"));
        EXPECT_EQ(identify.exitCode, 0) << identify.err;
        EXPECT_NE(identify.out.find("Serial Number: 12345"), std::string::npos);
        EXPECT_NE(identify.err.find("tq9ctl: 1 row waits for the line server ("), std::string::npos)
            << identify.err;
        EXPECT_NE(identify.err.find(said), std::string::npos) << identify.err;
    }

    Bench("office", "reader", true);
    const test::CtlRun all = Shell(As("office", "records --line --json"));
    ASSERT_EQ(all.exitCode, 0) << all.err;
    const auto rows = nlohmann::json::parse(all.out);
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows) {
        EXPECT_EQ(row["bench"], "line-a");
        EXPECT_EQ(row["board_serial"], "12345");
    }
    const test::CtlRun report = Shell(As("office", "records report --since 2000-01-01"));
    EXPECT_EQ(report.exitCode, 0) << report.err;
}

}  // namespace
}  // namespace tq9
