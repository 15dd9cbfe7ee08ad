// tq9ctl records server-check and server-init against a real PostgreSQL, with the server
// named in the user's records.conf or on the command line.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "base/Platform.h"
#include "line/LineServer.h"
#include "records/RecordStore.h"
#include "support/CtlRun.h"
#include "support/PgTest.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace tq9 {
namespace {

class LineCommandsTest : public test::PgTest {
  protected:
    void SetUp() override {
        test::PgTest::SetUp();
        std::filesystem::create_directories(dir.File("config/tq9-bench"));
    }
    void Settings(const std::string& text) const {
        std::ofstream(dir.File("config/tq9-bench/records.conf")) << text;
    }
    test::CtlRun Ctl(const std::vector<std::string>& args) const {
        return test::RunCtlHere(args, dir.WithSeparator());
    }
    test::TempDir dir;
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir.File("config").string()};
};

TEST_F(LineCommandsTest, CheckSaysWhatIsMissingAndInitSetsTheServerUp) {
    const test::CtlRun none = Ctl({"records", "server-check"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.FirstErrorLine(),
              "tq9ctl: no line server is set: the records stay on this PC (records.conf: server "
              "= <libpq connection string>)");

    Settings("# the line\nserver = " + server->Connection(database) +
             "\nbench = line-3\ncolour = blue\n");
    const test::CtlRun early = Ctl({"records", "server-check"});
    EXPECT_EQ(early.exitCode, 1);
    EXPECT_NE(early.err.find("records.conf:4: unknown setting colour\n"), std::string::npos)
        << early.err;
    EXPECT_NE(early.out.find("Bench: line-3\nConnected as postgres (PostgreSQL 15."),
              std::string::npos)
        << early.out;
    EXPECT_NE(early.err.find("tq9ctl: the line's schema is not set up: the admin runs tq9ctl "
                             "records server-init"),
              std::string::npos)
        << early.err;

    const test::CtlRun init = Ctl({"records", "server-init"});
    EXPECT_EQ(init.exitCode, 0) << init.err;
    const std::string version = std::to_string(LineServer::kSchemaVersion);
    EXPECT_EQ(init.out, "The line's schema is at version " + version + " (it was 0)\n");
    EXPECT_EQ(Ctl({"records", "server-init"}).out,
              "The line's schema is at version " + version + " already\n");

    const test::CtlRun ready = Ctl({"records", "server-check", "--json"});
    EXPECT_EQ(ready.exitCode, 0) << ready.err;
    const auto facts = nlohmann::json::parse(ready.out);
    EXPECT_EQ(facts["bench"], "line-3");
    EXPECT_EQ(facts["role"], "postgres");
    EXPECT_EQ(facts["schema_version"], LineServer::kSchemaVersion);
    EXPECT_EQ(facts["ready"], true);

    // A newer tool's schema is not this one's: not ready, exit 1.
    std::string whyNot;
    ASSERT_TRUE(server->Sql(database, "UPDATE tq9.schema_version SET version = 99", whyNot));
    const test::CtlRun newer = Ctl({"records", "server-check", "--json"});
    EXPECT_EQ(newer.exitCode, 1);
    EXPECT_EQ(nlohmann::json::parse(newer.out.substr(0, newer.out.find('\n')))["ready"], false);
    EXPECT_NE(newer.err.find("tq9ctl: the line's schema is newer than this tool's"),
              std::string::npos)
        << newer.err;
    ASSERT_TRUE(server->Sql(
        database,
        "UPDATE tq9.schema_version SET version = " + std::to_string(LineServer::kSchemaVersion),
        whyNot));

    // A server that is not there, named on the command line: one clear line, exit 1.
    const test::CtlRun away = Ctl(
        {"records", "server-check", "--server", server->Connection("no_such_database"), "--json"});
    EXPECT_EQ(away.exitCode, 1);
    const auto said = away.err.find("tq9ctl: the line server does not answer: ");
    ASSERT_NE(said, std::string::npos) << away.err;
    EXPECT_NE(away.err.find("no_such_database", said), std::string::npos) << away.err;
    EXPECT_EQ(away.err.find('\n', said), away.err.size() - 1) << "one line, the last";
    EXPECT_EQ(nlohmann::json::parse(away.out)["exit_code"], 1);
}

// Local first, then the line: each operation's row reaches the server before tq9ctl ends;
// while the server is away the operation goes on as ever, its row waits and is said to,
// and it arrives with the next program that finds the server back.
TEST_F(LineCommandsTest, EachOperationsRowReachesTheServerAndWaitsWhileItIsAway) {
    std::filesystem::copy_file(TQ9_SIM_DRIVER_PATH,
                               dir.Path() / std::filesystem::path(TQ9_SIM_DRIVER_PATH).filename());
    const test::ScopedEnv data(test::kRecordsHome, dir.File("data").string());
    ASSERT_EQ(Ctl({"records", "server-init", "--server", server->Connection(database)}).exitCode,
              0);
    std::string whyNot;
    const std::string bench = "b_" + database;
    ASSERT_TRUE(server->Sql(database, "CREATE ROLE " + bench + " LOGIN IN ROLE tq9_bench", whyNot))
        << whyNot;
    Register(bench, "line-3");
    Settings("server = " + server->Connection(database, bench) + "\nbench = line-3\n");
    auto onServer = [&] {
        return Value(
            "SELECT count(*) || ' ' || string_agg(DISTINCT bench, ',') || ' ' || "
            "string_agg(DISTINCT outcome, ',') FROM tq9.operations");
    };

    const test::CtlRun first = Ctl({"identify", "--json"});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(onServer(), "1 line-3 completed");
    const test::CtlRun check = Ctl({"records", "server-check"});
    EXPECT_NE(check.out.find("The server has " + bench + " send for bench line-3\n"),
              std::string::npos)
        << check.out;
    EXPECT_NE(check.out.find("No row waits for the line server\n"), std::string::npos);
    Settings("server = " + server->Connection(database, bench) + "\nbench = line-4\n");
    const test::CtlRun wrongBench = Ctl({"records", "server-check"});
    EXPECT_EQ(wrongBench.exitCode, 1);
    EXPECT_EQ(wrongBench.FirstErrorLine(),
              "tq9ctl: records.conf names bench line-4, but the line server has " + bench +
                  " send for line-3: its rows would be refused");
    Settings("server = " + server->Connection(database, bench) + "\nbench = line-3\n");

    ASSERT_TRUE(server->Stop());
    const test::CtlRun away = Ctl({"identify"});
    EXPECT_EQ(away.exitCode, 0) << away.err;
    EXPECT_NE(away.out.find("Serial Number: 12345"), std::string::npos) << away.out;
    EXPECT_NE(away.err.find("tq9ctl: 1 row waits for the line server ("), std::string::npos)
        << away.err;
    EXPECT_NE(Ctl({"records"}).err.find("tq9ctl: 1 row waits for the line server\n"),
              std::string::npos);

    ASSERT_TRUE(server->Restart());
    EXPECT_EQ(Ctl({"identify"}).exitCode, 0);
    EXPECT_EQ(onServer(), "3 line-3 completed");
    EXPECT_EQ(Ctl({"records"}).err.find("wait"), std::string::npos);
}

// A row the server refuses for what it holds (here every row: records.conf names a bench
// the server does not have this role send for) is set aside, said at the end and by
// server-check and records; once mended, records resend sends them again.
TEST_F(LineCommandsTest, RowsTheServerRefusesAreSetAsideNamedAndSentAgain) {
    std::filesystem::copy_file(TQ9_SIM_DRIVER_PATH,
                               dir.Path() / std::filesystem::path(TQ9_SIM_DRIVER_PATH).filename());
    const test::ScopedEnv data(test::kRecordsHome, dir.File("data").string());
    ASSERT_EQ(Ctl({"records", "server-init", "--server", server->Connection(database)}).exitCode,
              0);
    std::string whyNot;
    const std::string bench = "b_" + database;
    ASSERT_TRUE(server->Sql(database, "CREATE ROLE " + bench + " LOGIN IN ROLE tq9_bench", whyNot))
        << whyNot;
    Register(bench, "line-3");
    Settings("server = " + server->Connection(database, bench) + "\nbench = line-4\n");
    const std::string refusal = "role " + bench + " sends for bench line-3, not for line-4";

    const test::CtlRun first = Ctl({"identify"});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.err.find("wait"), std::string::npos) << "a refused row waits no more";
    EXPECT_NE(first.err.find("tq9ctl: row 1 is set aside, refused by the line server (ERROR:  " +
                             refusal + "); once that is mended: tq9ctl records resend\n"),
              std::string::npos)
        << first.err;
    const test::CtlRun second = Ctl({"identify"});
    EXPECT_NE(second.err.find("tq9ctl: 2 rows (1, 2) are set aside"), std::string::npos)
        << second.err;

    const test::CtlRun check = Ctl({"records", "server-check"});
    EXPECT_NE(check.out.find("2 rows (1, 2) are set aside"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find(", device flow: ERROR:  " + refusal + "\n"), std::string::npos)
        << check.out;
    const std::string objects = Ctl({"records", "server-check", "--json"}).out;
    const auto json = nlohmann::json::parse(objects.substr(0, objects.find('\n')));
    ASSERT_EQ(json["set_aside_rows"].size(), 2u) << json;
    EXPECT_EQ(json["set_aside_rows"][1]["id"], 2);
    EXPECT_NE(Ctl({"records"}).err.find("2 rows (1, 2) are set aside"), std::string::npos);
    EXPECT_EQ(Value("SELECT count(*) FROM tq9.operations"), "0");

    Settings("server = " + server->Connection(database, bench) + "\nbench = line-3\n");
    const test::CtlRun resend = Ctl({"records", "resend"});
    EXPECT_EQ(resend.exitCode, 0) << resend.err;
    EXPECT_EQ(resend.out, "2 rows set aside wait for the line server again\n");
    EXPECT_EQ(resend.err, "") << "both landed";
    EXPECT_EQ(Value("SELECT count(*) || ' ' || string_agg(DISTINCT bench, ',') FROM "
                    "tq9.operations"),
              "2 line-3");
    EXPECT_EQ(Ctl({"records", "resend"}).out, "No row was set aside\n");
}

// The report's page goes through a temporary name made anew: a link planted where the old
// tool put it is never followed, and a page that cannot be written says why.
TEST_F(LineCommandsTest, TheReportsPageNeverFollowsALinkPlantedBesideIt) {
    namespace fs = std::filesystem;
    const std::string connection = server->Connection(database);
    ASSERT_EQ(Ctl({"records", "server-init", "--server", connection}).exitCode, 0);
    std::ofstream(dir.File("victim")) << "keep me";
    const fs::path page = dir.File("line.html");
    fs::create_symlink(dir.File("victim"), dir.File("line.html.part"));

    const test::CtlRun report = Ctl({"records", "report", "--since", "2026-12-01", "--server",
                                     connection, "--html", page.string()});
    EXPECT_EQ(report.exitCode, 0) << report.err;
    std::stringstream victim, written;
    victim << std::ifstream(dir.File("victim")).rdbuf();
    written << std::ifstream(page).rdbuf();
    EXPECT_EQ(victim.str(), "keep me");
    EXPECT_EQ(written.str().rfind("<!DOCTYPE html>", 0), 0u);
    std::size_t parts = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        parts += entry.path().extension() == ".part";
    EXPECT_EQ(parts, 1u) << "only the planted link; no temporary file is left";

    const std::string nowhere = dir.File("no-such-folder/line.html").string();
    const test::CtlRun refused = Ctl(
        {"records", "report", "--since", "2026-12-01", "--server", connection, "--html", nowhere});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "tq9ctl: cannot write " + nowhere + " (No such file or directory)\n");
}

// Names from the line or the local file that hold escape sequences reach the terminal
// escaped, in the plain listings and the report's text; CSV and JSON keep them as data.
TEST_F(LineCommandsTest, ControlCharactersReachTheTerminalEscapedAndTheExportsAsData) {
    const test::ScopedEnv data(test::kRecordsHome, dir.File("data").string());
    const std::string connection = server->Connection(database);
    ASSERT_EQ(Ctl({"records", "server-init", "--server", connection}).exitCode, 0);
    const std::string hostile = "line\x1b]0;owned\x07\x1b[2J\xc2\x9b";
    const std::string shown = "line\\x1b]0;owned\\x07\\x1b[2J\\u009b";
    std::string whyNot;
    ASSERT_TRUE(server->Sql(
        database,
        "INSERT INTO tq9.operations (uuid, bench, local_id, started, ended, host, program, pid, "
        "operation, board_serial, outcome, error_kind, failed_step) VALUES (gen_random_uuid(), "
        "E'line\\x1b]0;owned\\x07\\x1b[2J\\u009b', 1, '2026-12-09T08:00:00Z', "
        "'2026-12-09T08:01:00Z', 'h', 'p', 1, 'production run', '7', 'ended early', 'noErr', "
        "E'flash\\x1b[31m')",
        whyNot))
        << whyNot;
    auto raw = [](const std::string& text) {
        return text.find('\x1b') != std::string::npos || text.find('\x07') != std::string::npos;
    };

    const test::CtlRun line = Ctl({"records", "--line", "--server", connection});
    EXPECT_EQ(line.exitCode, 0) << line.err;
    EXPECT_FALSE(raw(line.out)) << line.out;
    EXPECT_NE(line.out.find("\t" + shown + "\tproduction run\t"), std::string::npos) << line.out;
    const test::CtlRun report = Ctl(
        {"records", "report", "--since", "2026-12-01", "--serial", "7", "--server", connection});
    EXPECT_EQ(report.exitCode, 0) << report.err;
    EXPECT_FALSE(raw(report.out)) << report.out;
    EXPECT_NE(report.out.find("2026-12-09  " + shown + "  "), std::string::npos) << report.out;
    EXPECT_NE(report.out.find("flash\\x1b[31m 1"), std::string::npos) << report.out;
    const test::CtlRun csv = Ctl({"records", "--line", "--csv", "--server", connection});
    EXPECT_NE(csv.out.find("," + hostile + ","), std::string::npos) << "CSV is data";
    const test::CtlRun json = Ctl({"records", "--line", "--json", "--server", connection});
    EXPECT_EQ(nlohmann::json::parse(json.out)[0]["bench"], hostile) << "JSON is data";

    // The local listing too.
    {
        auto store = RecordStore::Open(DefaultRecordsPath(), whyNot);
        ASSERT_TRUE(store) << whyNot;
        OperationRecord r;
        r.started = "2026-12-09T10:00:00Z";
        r.host = "pc";
        r.program = "tq9ctl";
        r.operation = "device flow";
        r.boardSerial = "\x1b[2J4711";
        r.reason = "tab\there";
        ASSERT_TRUE(store->Begin(r, whyNot)) << whyNot;
        r.outcome = kOutcomeEndedEarly;
        r.ended = r.started;
        ASSERT_TRUE(store->Finish(r, whyNot)) << whyNot;
    }
    const test::CtlRun local = Ctl({"records"});
    EXPECT_EQ(local.exitCode, 0) << local.err;
    EXPECT_FALSE(raw(local.out)) << local.out;
    EXPECT_NE(local.out.find("\tended early\t\\x1b[2J4711\t"), std::string::npos) << local.out;
    EXPECT_NE(local.out.find("\ttab\\x09here\n"), std::string::npos) << local.out;
}

}  // namespace
}  // namespace tq9
