// Local first, then the line, against a real PostgreSQL: every row arrives once, in
// order, its end after its start; a send repeated (its mark here lost) changes nothing;
// an outage in the middle of 100 operations loses none.

#include "line/Forwarder.h"
#include "isp/ProgramByIsp.h"

#include <gtest/gtest.h>

#include "line/LineForwarder.h"
#include "line/LineServer.h"
#include "records/RecordStore.h"
#include "support/PgTest.h"
#include "support/TempDir.h"

namespace tq9 {
namespace {

class ForwarderTest : public test::PgTest {
  protected:
    void SetUp() override {
        test::PgTest::SetUp();
        if (HasFatalFailure()) return;
        std::string whyNot;
        bench = "b_" + database;
        auto admin = LineServer::Connect(server->Connection(database), whyNot);
        ASSERT_TRUE(admin) << whyNot;
        int found = 0;
        ASSERT_TRUE(admin->Init(found, whyNot)) << whyNot;
        ASSERT_TRUE(admin->Exec("CREATE ROLE " + bench + " LOGIN IN ROLE tq9_bench", whyNot))
            << whyNot;
        Register(bench, "line-3");
        store = RecordStore::Open(dir.File("records.sqlite3").string(), whyNot);
        ASSERT_TRUE(store) << whyNot;
        line = Connect();
    }
    std::unique_ptr<LineServer> Connect() const {
        std::string whyNot;
        auto connected = LineServer::Connect(server->Connection(database, bench), whyNot);
        EXPECT_TRUE(connected) << whyNot;
        return connected;
    }
    OperationRecord Started(const std::string& serial) {
        OperationRecord row;
        row.started = UtcNowIso8601();
        row.host = "pc-7";
        row.program = "tq9ctl";
        row.pid = 42;
        row.operation = "AVR only";
        row.boardSerial = serial;
        std::string whyNot;
        EXPECT_TRUE(store->Begin(row, whyNot)) << whyNot;
        return row;
    }
    void End(OperationRecord& row, const char* outcome = kOutcomeCompleted) {
        row.ended = UtcNowIso8601();
        row.outcome = outcome;
        std::string whyNot;
        EXPECT_TRUE(store->Finish(row, whyNot)) << whyNot;
    }
    std::int64_t Waiting() {
        std::string whyNot;
        return store->WaitingCount(whyNot).value_or(-1);
    }
    test::TempDir dir;
    std::string bench;
    std::unique_ptr<RecordStore> store;
    std::unique_ptr<LineServer> line;
};

TEST_F(ForwarderTest, EveryRowArrivesOnceItsEndAfterItsStart) {
    OperationRecord running = Started("4711");
    OperationRecord done = Started("4712");
    done.console = "Firmware Version: TQ95-\xE4rgel";  // a board's byte that is not UTF-8
    done.avrdudeRuns = {{"avrdude -n", 0, "probed"}, {"avrdude -U flash:w:x.hex", 0, "ok"}};
    done.failedStep = kFailedBoardAfter;
    done.boardAfter = "TQ95-g3ed1 1.23";
    done.imageMismatch = "edition 2 written, edition 1 read";
    End(done);
    EXPECT_EQ(Waiting(), 2);

    ForwardPass pass = SendWaitingRows(*store, *line, "line-3");
    EXPECT_EQ(pass.failure, "");
    EXPECT_EQ(pass.sent, 2);
    EXPECT_EQ(Waiting(), 0) << "the running row waits again only once it has ended";
    EXPECT_EQ(Value("SELECT outcome FROM tq9.operations WHERE uuid = '" + running.uuid + "'"),
              "running");
    EXPECT_EQ(Value("SELECT outcome || ' ' || bench || ' ' || sent_by || ' ' || console FROM "
                    "tq9.operations WHERE uuid = '" +
                    done.uuid + "'"),
              "completed line-3 " + bench + " Firmware Version: TQ95-\xEF\xBF\xBDrgel");
    EXPECT_EQ(Value("SELECT failed_step || '|' || board_after || '|' || image_mismatch FROM "
                    "tq9.operations WHERE uuid = '" +
                    done.uuid + "'"),
              "board after programming|TQ95-g3ed1 1.23|edition 2 written, edition 1 read");
    EXPECT_EQ(Value("SELECT string_agg(command_line, '|' ORDER BY step) FROM tq9.avrdude_runs"),
              "avrdude -n|avrdude -U flash:w:x.hex");

    End(running, kOutcomeEndedEarly);
    EXPECT_EQ(Waiting(), 1);
    EXPECT_EQ(SendWaitingRows(*store, *line, "line-3").sent, 1);
    EXPECT_EQ(Value("SELECT outcome FROM tq9.operations WHERE uuid = '" + running.uuid + "'"),
              "ended early");

    // Sent, then the program died before its mark: sent again at the next pass, once there.
    OperationRecord lost = Started("4713");
    End(lost);
    std::string whyNot;
    bool ended = false;
    ASSERT_TRUE(line->Send(*store->Get(lost.id, whyNot), "line-3", ended, whyNot)) << whyNot;
    EXPECT_TRUE(ended);
    EXPECT_EQ(SendWaitingRows(*store, *line, "line-3").failure, "");
    EXPECT_EQ(Waiting(), 0);
    EXPECT_EQ(Value("SELECT count(*) || ' ' || count(DISTINCT uuid) FROM tq9.operations"), "3 3");
    EXPECT_EQ(Value("SELECT count(*) FROM tq9.avrdude_runs"), "2");
}

TEST_F(ForwarderTest, AnOutageInTheMiddleOfAHundredOperationsLosesNone) {
    for (int i = 0; i < 100; ++i) {
        OperationRecord row = Started(std::to_string(5000 + i));
        End(row);
        if (i == 49) {
            EXPECT_EQ(SendWaitingRows(*store, *line, "line-3").sent, 50);
            ASSERT_TRUE(server->Stop());
        }
        if (i == 60) {
            const ForwardPass away = SendWaitingRows(*store, *line, "line-3");
            EXPECT_EQ(away.sent, 0);
            EXPECT_NE(away.failure, "") << "the server is away";
            EXPECT_EQ(away.failure.find('\n'), std::string::npos) << "one line";
        }
    }
    EXPECT_EQ(Waiting(), 50);
    ASSERT_TRUE(server->Restart());
    line = Connect();  // the old connection went with the server
    ASSERT_TRUE(line);
    const ForwardPass back = SendWaitingRows(*store, *line, "line-3");
    EXPECT_EQ(back.failure, "");
    EXPECT_EQ(back.sent, 50);
    EXPECT_EQ(Waiting(), 0);
    EXPECT_EQ(Value("SELECT count(*) || ' ' || count(DISTINCT uuid) || ' ' || "
                    "min(board_serial) || ' ' || max(board_serial) FROM tq9.operations"),
              "100 100 5000 5099");
    // In order: the server numbered them as they came.
    EXPECT_EQ(Value("SELECT bool_and(ordered) FROM (SELECT local_id > lag(local_id, 1, 0) OVER "
                    "(ORDER BY xmin::text::bigint, local_id) AS ordered FROM tq9.operations) t"),
              "t");
}

// Rows go in batches, one transaction each. A row the server refuses for what it holds
// (here one whose UUID is another bench's running row, and one a rule of the admin's
// refuses) is set aside with the server's reason, and the rows after it go on; once the
// cause is mended, sent again it lands.
TEST_F(ForwarderTest, ARowRefusedForWhatItHoldsIsSetAsideAndTheRowsAfterItGoOn) {
    std::vector<OperationRecord> rows;
    for (int i = 0; i < 5; ++i) {
        rows.push_back(Started(std::to_string(6000 + i)));
        End(rows.back());
    }
    std::string whyNot;
    ASSERT_TRUE(
        server->Sql(database, "CREATE ROLE o_" + database + " LOGIN IN ROLE tq9_bench", whyNot));
    Register("o_" + database, "line-9");
    std::string other;
    auto elsewhere = LineServer::Connect(server->Connection(database, "o_" + database), other);
    ASSERT_TRUE(elsewhere) << other;
    OperationRecord taken = rows[2];
    taken.outcome = kOutcomeRunning;
    bool ended = false;
    ASSERT_TRUE(elsewhere->Send(taken, "line-9", ended, whyNot)) << whyNot;
    ASSERT_TRUE(server->Sql(database,
                            "ALTER TABLE tq9.operations ADD CONSTRAINT not_6003 CHECK "
                            "(board_serial <> '6003')",
                            whyNot))
        << whyNot;

    const ForwardPass pass = SendWaitingRows(*store, *line, "line-3");
    EXPECT_EQ(pass.failure, "");
    EXPECT_EQ(pass.sent, 3);
    EXPECT_EQ(pass.setAside, 2);
    EXPECT_EQ(Waiting(), 0) << "the refused rows wait no more";
    EXPECT_EQ(Value("SELECT string_agg(board_serial || ':' || bench, ',' ORDER BY local_id) FROM "
                    "tq9.operations"),
              "6000:line-3,6001:line-3,6002:line-9,6004:line-3");
    auto aside = store->SetAsideRows(whyNot);
    ASSERT_EQ(aside.size(), 2u) << whyNot;
    EXPECT_EQ(aside[0].id, rows[2].id);
    EXPECT_NE(aside[0].reason.find("was sent by o_" + database), std::string::npos)
        << aside[0].reason;
    EXPECT_NE(aside[1].reason.find("not_6003"), std::string::npos) << aside[1].reason;
    EXPECT_EQ(aside[1].reason.find('\n'), std::string::npos) << "one line";
    EXPECT_EQ(SetAsideRowsLine(aside),
              "2 rows (" + std::to_string(rows[2].id) + ", " + std::to_string(rows[3].id) +
                  ") are set aside, refused by the line server (row " + std::to_string(rows[2].id) +
                  ": " + aside[0].reason + "); once that is mended: tq9ctl records resend");

    // The admin drops the rule; the row it refused lands, the other is refused again.
    ASSERT_TRUE(
        server->Sql(database, "ALTER TABLE tq9.operations DROP CONSTRAINT not_6003", whyNot));
    EXPECT_EQ(store->Resend(whyNot), 2);
    EXPECT_EQ(Waiting(), 2);
    const ForwardPass again = SendWaitingRows(*store, *line, "line-3");
    EXPECT_EQ(again.sent, 1);
    EXPECT_EQ(again.setAside, 1);
    EXPECT_EQ(Value("SELECT count(*) FROM tq9.operations WHERE board_serial = '6003' AND bench = "
                    "'line-3' AND outcome = 'completed'"),
              "1");
    EXPECT_EQ(store->SetAsideRows(whyNot).size(), 1u);
}

}  // namespace
}  // namespace tq9
