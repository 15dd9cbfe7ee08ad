// The line's server schema on a real PostgreSQL: brought up by the admin's init, a newer
// one left alone, and what a bench may do enforced by the server itself, whatever the
// tool sends.

#include "records/LineServer.h"

#include <gtest/gtest.h>

#include "support/PgServer.h"

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
                                    "CREATE ROLE r_" + database + " LOGIN IN ROLE tq9_reader",
                                whyNot))
            << whyNot;
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

}  // namespace
}  // namespace tq9
