// The line's server schema on a real PostgreSQL: brought up by the admin's init, a newer
// one left alone, and what a bench may do enforced by the server itself, whatever the
// tool sends.

#include "line/LineServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "line/LineReport.h"

#include "support/PgTest.h"

namespace tq9 {
namespace {

class LineServerTest : public test::PgTest {
  protected:
    std::unique_ptr<LineServer> As(const std::string& role) const {
        std::string whyNot;
        auto line = LineServer::Connect(server->Connection(database, role), whyNot);
        EXPECT_TRUE(line) << role << ": " << whyNot;
        return line;
    }
    // Runs SQL as `line`; the server's refusal, or "" when it was done.
    static std::string Refusal(LineServer& line, const std::string& sql) {
        std::string whyNot;
        return line.Exec(sql, whyNot) ? std::string() : whyNot;
    }
};

TEST_F(LineServerTest, InitBringsTheSchemaUpOnceAndLeavesANewerOneAlone) {
    const auto admin = As("postgres");
    ASSERT_TRUE(admin);
    std::string whyNot;
    auto facts = admin->Check(whyNot);
    ASSERT_TRUE(facts) << whyNot;
    EXPECT_EQ(facts->schemaVersion, 0) << "not set up yet";
    EXPECT_EQ(facts->role, "postgres");
    EXPECT_EQ(facts->serverVersion.rfind("15.", 0), 0u) << facts->serverVersion;

    int found = -1;
    ASSERT_TRUE(admin->Init(found, whyNot)) << whyNot;
    EXPECT_EQ(found, 0);
    ASSERT_TRUE(admin->Init(found, whyNot)) << whyNot;
    EXPECT_EQ(found, LineServer::kSchemaVersion) << "the second init finds it done";
    EXPECT_EQ(admin->Check(whyNot)->schemaVersion, LineServer::kSchemaVersion);

    // A server at an older version gets only the newer migrations.
    ASSERT_TRUE(server->Sql(database,
                            "DROP FUNCTION tq9.register_bench, tq9.my_bench, tq9.is_bench; DROP "
                            "TABLE tq9.benches; ALTER TABLE tq9.operations DROP COLUMN "
                            "bench_checked, DROP COLUMN typed_serial; UPDATE "
                            "tq9.schema_version SET version = 3",
                            whyNot))
        << whyNot;
    ASSERT_TRUE(admin->Init(found, whyNot)) << whyNot;
    EXPECT_EQ(found, 3);
    EXPECT_EQ(Value("SELECT count(*) FROM pg_indexes WHERE indexname LIKE 'programming_by_%'"),
              "2");
    EXPECT_EQ(Value("SELECT count(*) FROM information_schema.columns WHERE table_schema = 'tq9' "
                    "AND column_name IN ('failed_step', 'bench_checked', 'typed_serial')"),
              "3");
    EXPECT_EQ(Value("SELECT to_regclass('tq9.benches') IS NOT NULL"), "t");

    ASSERT_TRUE(server->Sql(database, "UPDATE tq9.schema_version SET version = 99", whyNot));
    EXPECT_FALSE(admin->Init(found, whyNot));
    EXPECT_EQ(found, 99);
    EXPECT_EQ(whyNot, "the line's schema is version 99, newer than this tool's " +
                          std::to_string(LineServer::kSchemaVersion) + "; it is left as it is");
    EXPECT_EQ(admin->Check(whyNot)->schemaVersion, 99);

    std::string refused;
    EXPECT_FALSE(LineServer::Connect(server->Connection("no_such_database"), refused));
    EXPECT_NE(refused.find("no_such_database"), std::string::npos) << refused;
}

TEST_F(LineServerTest, TheServerEnforcesWhatABenchAndAReaderMay) {
    {
        const auto admin = As("postgres");
        int found = 0;
        std::string whyNot;
        ASSERT_TRUE(admin->Init(found, whyNot)) << whyNot;
        // Roles are the whole server's: named after this test's database.
        ASSERT_TRUE(admin->Exec("CREATE ROLE a_" + database + " LOGIN IN ROLE tq9_bench;" +
                                    "CREATE ROLE b_" + database + " LOGIN IN ROLE tq9_bench;" +
                                    "CREATE ROLE c_" + database + " LOGIN IN ROLE tq9_bench;" +
                                    "CREATE ROLE r_" + database + " LOGIN IN ROLE tq9_reader",
                                whyNot))
            << whyNot;
        Register("a_" + database, "bench-a");
        Register("b_" + database, "bench-b");
    }
    const auto a = As("a_" + database);
    const auto b = As("b_" + database);
    const auto reader = As("r_" + database);
    ASSERT_TRUE(a && b && reader);
    const std::string u1 = "'11111111-1111-4111-8111-111111111111'";
    const std::string u2 = "'22222222-2222-4222-8222-222222222222'";
    auto running = [](const std::string& uuid, const std::string& sentBy) {
        return "INSERT INTO tq9.operations (uuid, bench, sent_by, local_id, started, host, "
               "program, pid, operation, outcome) VALUES (" +
               uuid + ", 'bench-a', '" + sentBy +
               "', 1, now(), 'pc', 'tq9ctl', 7, 'AVR only', 'running')";
    };

    // A's own running row: sent (as A, whatever it claims), its run added, then finished.
    EXPECT_EQ(Refusal(*a, running(u1, "b_" + database)), "");
    EXPECT_EQ(Refusal(*a,
                      "INSERT INTO tq9.avrdude_runs (operation_uuid, step, command_line, "
                      "exit_code) VALUES (" +
                          u1 + ", 1, 'avrdude -n', 0)"),
              "");
    EXPECT_EQ(Refusal(*a,
                      "UPDATE tq9.operations SET outcome = 'completed', ended = now(), "
                      "bench = 'forged' WHERE uuid = " +
                          u1),
              "");
    // The server decides which bench a role sends for: not another's, and none unregistered.
    auto under = [&](const std::string& bench) {
        return "INSERT INTO tq9.operations (uuid, bench, local_id, started, host, program, pid, "
               "operation, outcome) VALUES (gen_random_uuid(), '" +
               bench + "', 2, now(), 'pc', 'tq9ctl', 7, 'AVR only', 'running')";
    };
    EXPECT_NE(Refusal(*a, under("bench-b"))
                  .find("role a_" + database + " sends for bench bench-a, not for bench-b"),
              std::string::npos);
    const auto c = As("c_" + database);
    ASSERT_TRUE(c);
    EXPECT_NE(Refusal(*c, under("bench-c")).find("has no bench registered"), std::string::npos);
    EXPECT_NE(Refusal(*a, "CREATE TEMPORARY TABLE mine (x int)").find("permission denied"),
              std::string::npos)
        << "a bench makes no tables, temporary ones neither";
    // Once finished, never again; nothing is deleted.
    EXPECT_NE(Refusal(*a, "UPDATE tq9.operations SET reason = 'later' WHERE uuid = " + u1)
                  .find("a finished row never changes"),
              std::string::npos);
    EXPECT_NE(Refusal(*a,
                      "INSERT INTO tq9.avrdude_runs (operation_uuid, step, command_line, "
                      "exit_code) VALUES (" +
                          u1 + ", 2, 'avrdude -U', 0)"),
              "");
    EXPECT_NE(Refusal(*a, "DELETE FROM tq9.operations").find("permission denied"),
              std::string::npos);
    EXPECT_NE(Refusal(*a, "DELETE FROM tq9.avrdude_runs").find("permission denied"),
              std::string::npos);
    // Another bench's running row is not B's to change.
    EXPECT_EQ(Refusal(*a, running(u2, "a_" + database)), "");
    EXPECT_NE(Refusal(*b, "UPDATE tq9.operations SET outcome = 'completed' WHERE uuid = " + u2)
                  .find("was sent by a_" + database),
              std::string::npos);
    // A reader reads, and nothing else.
    EXPECT_EQ(Refusal(*reader, "SELECT * FROM tq9.operations"), "");
    EXPECT_NE(Refusal(*reader, running("'33333333-3333-4333-8333-333333333333'", "x"))
                  .find("permission denied"),
              std::string::npos);

    // As it stands: sent by A, its name as sent, its run kept.
    std::string whyNot;
    const auto admin = As("postgres");
    ASSERT_TRUE(admin->Exec("DO $$ BEGIN IF (SELECT count(*) FROM tq9.operations WHERE uuid = " +
                                u1 + " AND sent_by = 'a_" + database +
                                "' AND bench = 'bench-a' AND outcome = 'completed') <> 1 OR "
                                "(SELECT count(*) FROM tq9.avrdude_runs) <> 1 THEN RAISE "
                                "EXCEPTION 'not as sent'; END IF; END $$",
                            whyNot))
        << whyNot;
    const auto facts = a->Check(whyNot);
    ASSERT_TRUE(facts) << whyNot;
    EXPECT_EQ(facts->role, "a_" + database);
    EXPECT_EQ(facts->schemaVersion, LineServer::kSchemaVersion);
}

// Reading the line: every bench's rows with the local filters plus the bench, and the
// report's counts over rows whose answers are known.
TEST_F(LineServerTest, AReaderFindsEveryBenchsRowsAndTheReportCountsThem) {
    const auto admin = As("postgres");
    ASSERT_TRUE(admin);
    std::string whyNot;
    int found = 0;
    ASSERT_TRUE(admin->Init(found, whyNot)) << whyNot;
    // Board 7: failed at bench A on the 9th (Taperr), then programmed at B on the 10th.
    // Board 8: right first time at A on the 9th, again at A on the 10th (not a first run).
    // A run that never read its board failed at B on the 10th; one is still running; a
    // device flow is no programming run.
    ASSERT_TRUE(server->Sql(
        database,
        "INSERT INTO tq9.operations (uuid, bench, local_id, started, ended, host, program, pid, "
        "operation, board_serial, outcome, error_kind, reason) VALUES "
        "(gen_random_uuid(), 'A', 1, '2026-12-09T08:00:00Z', '2026-12-09T08:01:00Z', 'h', 'p', "
        "1, 'production run', '7', 'ended early', 'Taperr', 'no answer\nmore'),"
        "(gen_random_uuid(), 'A', 2, '2026-12-09T09:00:00Z', '2026-12-09T09:01:00Z', 'h', 'p', "
        "1, 'production run', '8', 'completed', '', ''),"
        "(gen_random_uuid(), 'B', 1, '2026-12-10T10:00:00Z', '2026-12-10T10:01:00Z', 'h', 'p', "
        "1, 'production run', '7', 'completed', '', ''),"
        "(gen_random_uuid(), 'A', 3, '2026-12-10T11:00:00Z', '2026-12-10T11:01:00Z', 'h', 'p', "
        "1, 'AVR only', '8', 'completed', '', ''),"
        "(gen_random_uuid(), 'B', 2, '2026-12-10T12:00:00Z', '2026-12-10T12:01:00Z', 'h', 'p', "
        "1, 'production run', '', 'ended early', 'ISP', ''),"
        "(gen_random_uuid(), 'B', 3, '2026-12-10T13:00:00Z', NULL, 'h', 'p', "
        "1, 'production run', '9', 'running', '', ''),"
        "(gen_random_uuid(), 'B', 4, '2026-12-10T14:00:00Z', '2026-12-10T14:00:09Z', 'h', 'p', "
        "1, 'device flow', '7', 'completed', '', '')",
        whyNot))
        << whyNot;
    ASSERT_TRUE(server->Sql(database,
                            "SET session_replication_role = replica; "  // past the triggers
                            "INSERT INTO tq9.avrdude_runs (operation_uuid, step, command_line, "
                            "exit_code, output) SELECT uuid, 1, 'avrdude -p m1284p', 1, 'x' FROM "
                            "tq9.operations WHERE bench = 'A' AND local_id = 1",
                            whyNot))
        << whyNot;
    ASSERT_TRUE(
        server->Sql(database, "CREATE ROLE r_" + database + " LOGIN IN ROLE tq9_reader", whyNot));
    const auto reader = As("r_" + database);
    ASSERT_TRUE(reader);

    RecordFilter filter;
    filter.limit = 0;
    auto rows = reader->Find(filter, whyNot);
    ASSERT_TRUE(rows) << whyNot;
    ASSERT_EQ(rows->size(), 7u);
    EXPECT_EQ(rows->front().started, "2026-12-10T14:00:00Z") << "newest first, in UTC";
    EXPECT_EQ(rows->back().bench, "A");
    EXPECT_EQ(rows->back().ended, "2026-12-09T08:01:00Z");
    ASSERT_EQ(rows->back().avrdudeRuns.size(), 1u);
    EXPECT_EQ(rows->back().avrdudeRuns[0].exitCode, 1);
    EXPECT_EQ((*rows)[1].ended, "") << "running";

    struct Case {
        RecordFilter filter;
        std::vector<std::string> started;  // the rows' start hours, newest first
    };
    auto with = [](auto set) {
        RecordFilter f;
        f.limit = 0;
        set(f);
        return f;
    };
    const Case cases[] = {
        {with([](RecordFilter& f) { f.bench = "A"; }), {"11", "09", "08"}},
        {with([](RecordFilter& f) { f.boardSerial = "7"; }), {"14", "10", "08"}},
        {with([](RecordFilter& f) { f.until = "2026-12-09"; }), {"09", "08"}},
        {with([](RecordFilter& f) { f.since = "2026-12-10T12"; }), {"14", "13", "12"}},
        {with([](RecordFilter& f) { f.until = "2026-12-10T11:00"; }), {"11", "10", "09", "08"}},
        {with([](RecordFilter& f) { f.limit = 2; }), {"14", "13"}},
        {with([](RecordFilter& f) { f.bench = "C"; }), {}},
    };
    for (const Case& c : cases) {
        const auto some = reader->Find(c.filter, whyNot);
        ASSERT_TRUE(some) << whyNot;
        std::vector<std::string> hours;
        for (const OperationRecord& r : *some)
            hours.push_back(r.started.substr(11, 2));
        EXPECT_EQ(hours, c.started) << c.filter.bench << c.filter.since << c.filter.until;
    }

    const auto report = reader->Report("2026-12-09", "", "7", whyNot);
    ASSERT_TRUE(report) << whyNot;
    ASSERT_EQ(report->rows.size(), 3u);
    const LineReportRow& a9 = report->rows[0];
    EXPECT_EQ(a9.day + a9.bench, "2026-12-09A");
    EXPECT_EQ(a9.runs, 2);
    EXPECT_EQ(a9.completed, 1);
    EXPECT_EQ(a9.boards, 1);
    EXPECT_EQ(FirstPassYield(a9.firstPassed, a9.firstRuns), "50% (1 of 2)");
    EXPECT_EQ(a9.failuresByKind, (std::vector<std::pair<std::string, int>>{{"Taperr", 1}}));
    const LineReportRow& a10 = report->rows[1];
    EXPECT_EQ(a10.day + a10.bench, "2026-12-10A");
    EXPECT_EQ(a10.boards, 1);
    EXPECT_EQ(FirstPassYield(a10.firstPassed, a10.firstRuns), "-") << "board 8's second run";
    const LineReportRow& b10 = report->rows[2];
    EXPECT_EQ(b10.runs, 3);
    EXPECT_EQ(b10.completed, 1);
    EXPECT_EQ(FirstPassYield(b10.firstPassed, b10.firstRuns), "0% (0 of 1)")
        << "board 7's first run was at A; the run that never read its board failed first; "
           "board 9's is still running";
    EXPECT_EQ(b10.failuresByKind, (std::vector<std::pair<std::string, int>>{{"ISP", 1}}));
    ASSERT_EQ(report->history.size(), 3u) << "board 7 on the line";
    EXPECT_EQ(report->history[0].operation, "device flow");

    const std::string text = LineReportText(*report);
    EXPECT_NE(
        text.find("2026-12-09  A         2          1       1  50% (1 of 2)        Taperr 1\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("total                 6          3       2  33% (1 of 3)        ISP 1, "
                        "Taperr 1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("2026-12-09T08:00:00Z\tA\tproduction run\tended early\t\tTaperr\tno "
                        "answer\n"),
              std::string::npos)
        << text;

    const auto onlyB = reader->Report("2026-12-10", "B", "", whyNot);
    ASSERT_TRUE(onlyB) << whyNot;
    ASSERT_EQ(onlyB->rows.size(), 1u);
    EXPECT_EQ(onlyB->rows[0].bench, "B");
    EXPECT_TRUE(onlyB->history.empty());

    // The bench role reads nothing of the line beyond what its upserts need.
    ASSERT_TRUE(
        server->Sql(database, "CREATE ROLE b_" + database + " LOGIN IN ROLE tq9_bench", whyNot));
    const auto bench = As("b_" + database);
    ASSERT_TRUE(bench);
    EXPECT_FALSE(bench->Find(filter, whyNot));
    EXPECT_EQ(whyNot, "ERROR:  permission denied for table operations");
}

// Rows sent before benches were registered: the admin's are its word; a bench role's read
// as unchecked until its bench is registered, which gives them that bench, whatever name
// they were sent under.
TEST_F(LineServerTest, RowsFromBeforeBenchesWereRegisteredAreUncheckedUntilTheirRoleIs) {
    const auto admin = As("postgres");
    ASSERT_TRUE(admin);
    std::string whyNot;
    int found = 0;
    ASSERT_TRUE(admin->Init(found, whyNot)) << whyNot;
    const std::string role = "a_" + database;
    ASSERT_TRUE(server->Sql(database, "CREATE ROLE " + role + " LOGIN IN ROLE tq9_bench", whyNot));
    // The line as the version before left it, with a row bench A forged under line-2.
    ASSERT_TRUE(server->Sql(
        database,
        "DROP FUNCTION tq9.register_bench, tq9.my_bench, tq9.is_bench; DROP TABLE tq9.benches; "
        "ALTER TABLE tq9.operations DROP COLUMN bench_checked, DROP COLUMN typed_serial; "
        "UPDATE tq9.schema_version SET version = 3; SET session_replication_role = replica; INSERT "
        "INTO tq9.operations (uuid, "
        "bench, sent_by, local_id, started, ended, host, program, pid, operation, board_serial, "
        "outcome) VALUES (gen_random_uuid(), 'line-2', '" +
            role +
            "', 1, '2026-12-09T08:00:00Z', '2026-12-09T08:01:00Z', 'h', 'p', 1, 'production "
            "run', '30', 'completed'), (gen_random_uuid(), 'line-7', 'postgres', 1, "
            "'2026-12-09T09:00:00Z', '2026-12-09T09:01:00Z', 'h', 'p', 1, 'production run', "
            "'31', 'completed')",
        whyNot))
        << whyNot;
    ASSERT_TRUE(admin->Init(found, whyNot)) << whyNot;
    EXPECT_EQ(found, 3);
    auto benches = [&](const RecordFilter& filter) {
        std::string names;
        for (const OperationRecord& r :
             admin->Find(filter, whyNot).value_or(std::vector<OperationRecord>{}))
            names += (names.empty() ? "" : ",") + r.bench;
        return names;
    };
    RecordFilter all;
    all.limit = 0;
    EXPECT_EQ(benches(all), "line-7,line-2 (unchecked)");
    const auto before = admin->Report("2026-12-09", "", "", whyNot);
    ASSERT_TRUE(before) << whyNot;
    ASSERT_EQ(before->rows.size(), 2u);
    EXPECT_EQ(before->rows[0].bench, "line-2 (unchecked)");

    std::int64_t taken = -1;
    ASSERT_TRUE(admin->RegisterBench(role, "line-1", taken, whyNot)) << whyNot;
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(benches(all), "line-7,line-1");
    RecordFilter line1 = all;
    line1.bench = "line-1";
    EXPECT_EQ(benches(line1), "line-1");
    EXPECT_EQ(admin->Report("2026-12-09", "line-1", "", whyNot)->rows.size(), 1u);
    EXPECT_FALSE(admin->RegisterBench("r_nobody", "line-9", taken, whyNot));
    EXPECT_NE(whyNot.find("is not a bench role"), std::string::npos) << whyNot;

    const auto bench = As(role);
    ASSERT_TRUE(bench);
    const auto facts = bench->Check(whyNot);
    ASSERT_TRUE(facts) << whyNot;
    EXPECT_TRUE(facts->benchRole);
    EXPECT_EQ(facts->bench, "line-1");
    EXPECT_FALSE(admin->Check(whyNot)->benchRole);
}

// A board programmed again the same day at the same bench, and on other days at other
// benches, is one board in each row and in the total; a failed avrdude run, which counts
// no error, is counted by its step.
TEST_F(LineServerTest, TheReportCountsBoardsNotRunsAndFailuresByTheirStep) {
    const auto admin = As("postgres");
    ASSERT_TRUE(admin);
    std::string whyNot;
    int found = 0;
    ASSERT_TRUE(admin->Init(found, whyNot)) << whyNot;
    auto row = [](const std::string& bench, const std::string& started, const std::string& board,
                  const std::string& outcome, const std::string& kind, const std::string& step) {
        return "(gen_random_uuid(), '" + bench + "', 1, '" + started + "', '" + started +
               "', 'h', 'p', 1, 'production run', '" + board + "', '" + outcome + "', '" + kind +
               "', '" + step + "')";
    };
    ASSERT_TRUE(server->Sql(
        database,
        "INSERT INTO tq9.operations (uuid, bench, local_id, started, ended, host, program, pid, "
        "operation, board_serial, outcome, error_kind, failed_step) VALUES " +
            row("A", "2026-12-09T08:00:00Z", "20", "completed", "noErr", "") + "," +
            row("A", "2026-12-09T09:00:00Z", "20", "completed", "noErr", "") + "," +
            row("A", "2026-12-09T10:00:00Z", "22", "ended early", "noErr", "flash") + "," +
            row("B", "2026-12-10T08:00:00Z", "20", "completed", "noErr", "") + "," +
            row("A", "2026-12-10T09:00:00Z", "21", "completed", "noErr", "") + "," +
            row("B", "2026-12-10T10:00:00Z", "23", "ended early", "Taperr", "") + "," +
            row("B", "2026-12-10T11:00:00Z", "24", "interrupted", "noErr", "") + "," +
            row("B", "2026-12-10T12:00:00Z", "25", "ended early", "noErr", "fuse read-back"),
        whyNot))
        << whyNot;
    const auto report = admin->Report("2026-12-01", "", "", whyNot);
    ASSERT_TRUE(report) << whyNot;
    std::vector<std::string> rows;
    for (const LineReportRow& r : report->rows)
        rows.push_back(r.day.substr(8) + r.bench + " runs " + std::to_string(r.runs) + " boards " +
                       std::to_string(r.boards));
    EXPECT_EQ(rows, (std::vector<std::string>{"09A runs 3 boards 1", "10A runs 1 boards 1",
                                              "10B runs 4 boards 1"}));
    using Kinds = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(report->rows[0].failuresByKind, (Kinds{{"flash", 1}}));
    const LineReportRow total = LineReportTotal(*report);
    EXPECT_EQ(total.runs, 8);
    EXPECT_EQ(total.completed, 4);
    EXPECT_EQ(total.boards, 2) << "boards 20 and 21, each once";
    EXPECT_EQ(total.failuresByKind,
              (Kinds{{"Taperr", 1}, {"flash", 1}, {"fuse read-back", 1}, {"noErr", 1}}));
    const std::string text = LineReportText(*report);
    EXPECT_NE(text.find("\ntotal                 8          4       2  "), std::string::npos)
        << text;
    const std::string page = LineReportHtml(*report, "2026-12-10T13:00:00Z");
    EXPECT_NE(page.find("<td class=\"n\">4</td><td class=\"n\">2</td>"), std::string::npos)
        << "the page's total row";
    EXPECT_NE(page.find("counted by the step that failed"), std::string::npos);
    EXPECT_NE(page.find("A bar is a day"), std::string::npos);

    // As a reader reads them: the step and the board after programming come with the row.
    ASSERT_TRUE(server->Sql(database,
                            "SET session_replication_role = replica; "  // past the triggers
                            "UPDATE tq9.operations SET board_after = 'TQ95-g3ed1 1.23', "
                            "image_mismatch = 'edition' WHERE board_serial = '25'",
                            whyNot))
        << whyNot;
    RecordFilter board;
    board.boardSerial = "25";
    const auto read = admin->Find(board, whyNot);
    ASSERT_TRUE(read && read->size() == 1) << whyNot;
    EXPECT_EQ(read->front().failedStep, "fuse read-back");
    EXPECT_EQ(read->front().boardAfter, "TQ95-g3ed1 1.23");
    EXPECT_EQ(read->front().imageMismatch, "edition");
}

// The page holds its charts and fetches nothing; what the rows hold is text on it, never
// markup.
TEST(LineReportTest, ThePageHoldsItsChartsAndEscapesTheRows) {
    LineReport report;
    report.since = "2026-12-01";
    report.boardSerial = "7";
    for (int day = 1; day <= 31; ++day) {
        LineReportRow row;
        row.day = "2026-12-" + std::string(day < 10 ? "0" : "") + std::to_string(day);
        row.bench = day % 2 ? "<b>line&1</b>" : "line 2";
        row.runs = 10;
        row.completed = 9;
        row.boards = 9;
        row.firstRuns = 9;
        row.firstPassed = 8;
        row.failuresByKind = {{"Taperr \"x\"", 1}};
        report.rows.push_back(row);
    }
    OperationRecord history;
    history.bench = "A";
    history.reason = "<script>alert(1)</script>";
    report.history.push_back(history);
    const std::string page = LineReportHtml(report, "2026-12-10T10:00:00Z");
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(page.find("&lt;b&gt;line&amp;1&lt;/b&gt;"), std::string::npos);
    EXPECT_NE(page.find("Taperr &quot;x&quot; 31"), std::string::npos) << "the total";
    for (const char* fetch : {"src=", "href=", "url(", "@import"})
        EXPECT_EQ(page.find(fetch), std::string::npos) << fetch;
    std::size_t charts = 0;
    for (auto at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at + 1))
        ++charts;
    EXPECT_EQ(charts, 2u);
    EXPECT_NE(page.find("89% (248 of 279)"), std::string::npos) << "rounded, not cut";
    EXPECT_EQ(FirstPassYield(2, 3), "67% (2 of 3)");
    EXPECT_EQ(FirstPassYield(1, 3), "33% (1 of 3)");
    EXPECT_EQ(FirstPassYield(1, 200), "1% (1 of 200)");
    EXPECT_EQ(FirstPassYield(0, 5), "0% (0 of 5)");
}

// The chart keeps to the page: a year of days in bars that fit, its labels thinned; over a
// week's bars the day's yield, rounded and said what it is.
TEST(LineReportTest, TheChartFitsAYearAndSaysWhatTheNumberOverABarIs) {
    auto chart = [](int days) {
        LineReport report;
        report.since = "2026-01-01";
        for (int d = 0; d < days; ++d) {
            LineReportRow row;
            char day[16];
            std::snprintf(day, sizeof day, "2026-%02d-%02d", 1 + d / 28, 1 + d % 28);
            row.day = day;
            row.bench = "line-1";
            row.runs = row.completed = row.boards = 3;
            row.firstRuns = 3;
            row.firstPassed = 2;
            report.rows.push_back(row);
        }
        const std::string page = LineReportHtml(report, "2026-12-31T10:00:00Z");
        return page.substr(page.find("<svg"), page.find("</svg>") - page.find("<svg"));
    };
    auto count = [](const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    const std::string year = chart(336);
    const int width = std::stoi(year.substr(year.find("width=\"") + 7));
    EXPECT_LE(width, 800) << "a year's chart fits the page";
    EXPECT_LE(count(year, "\">0"), 336u * 2 / 44 + 1) << "day labels thinned";
    EXPECT_EQ(count(year, "67%</text>"), 0u) << "no yields crammed over narrow bars";
    EXPECT_NE(year.find("first-pass yield 67% (2 of 3)</title>"), std::string::npos);

    const std::string week = chart(7);
    EXPECT_EQ(count(week, "67%</text>"), 7u) << "rounded, over each bar";
    EXPECT_NE(week.find("The number over a bar: that day's first-pass yield."), std::string::npos);
}

// A server that takes the connection and never says a word (a hung host, a port taken
// by something else): the connection gives up within its limit, saying so.
TEST(LineServerConnectTest, AServerThatAcceptsAndNeverAnswersIsGivenUp) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ASSERT_EQ(::listen(listener, 4), 0);  // the kernel accepts; nothing ever answers
    const std::string server =
        "host=127.0.0.1 port=" + std::to_string(ntohs(address.sin_port)) + " dbname=x user=y";
    auto connecting = std::async(std::launch::async, [&] {
        std::string whyNot;
        const bool connected = LineServer::Connect(server, whyNot, 2) != nullptr;
        return std::make_pair(connected, whyNot);
    });
    // Bounded here too: should the limit be gone, closing the listener ends the wait.
    const bool ended = connecting.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
    ASSERT_TRUE(ended) << "the connection waits for ever";
    const auto [connected, whyNot] = connecting.get();
    EXPECT_FALSE(connected);
    EXPECT_NE(whyNot.find("timeout"), std::string::npos) << whyNot;
}

}  // namespace
}  // namespace tq9
