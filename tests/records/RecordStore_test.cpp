// The records database itself, on real files: its version and journal, reading back with
// filters and the summary, a file of an older tool or of a version no tool writes, two
// writers at once, another program holding the write lock.

#include "records/RecordStore.h"
#include "isp/ProgramByIsp.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "base/Platform.h"
#include "base/Uuid.h"
#include "records/OtherConnection.h"
#include "support/TempDir.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tq9 {
namespace {

class RecordStoreTest : public ::testing::Test {
  protected:
    std::unique_ptr<RecordStore> Open() {
        std::string whyNot;
        auto store = RecordStore::Open(path, whyNot);
        EXPECT_TRUE(store) << whyNot;
        return store;
    }
    static OperationRecord Row(const std::string& started, const std::string& operation,
                               const std::string& serial, const std::string& outcome,
                               const std::string& kind = "noErr") {
        OperationRecord r;
        r.started = started;
        r.host = "bench-1";
        r.program = "tq9-bench";
        r.pid = 1;
        r.operation = operation;
        r.boardSerial = serial;
        r.outcome = outcome;
        r.errorKind = kind;
        return r;
    }
    void Add(RecordStore& store, OperationRecord r) {
        std::string whyNot;
        const std::string outcome = r.outcome;
        r.outcome = kOutcomeRunning;
        ASSERT_TRUE(store.Begin(r, whyNot)) << whyNot;
        r.outcome = outcome;
        r.ended = r.started;
        ASSERT_TRUE(store.Finish(r, whyNot)) << whyNot;
    }

    test::TempDir dir;
    std::string path = dir.File("records/records.sqlite3").string();
};

TEST_F(RecordStoreTest, ANewFileGetsTheTablesAVersionAndTheWalJournalAndKeepsEveryField) {
    auto store = Open();
    ASSERT_TRUE(store);
    EXPECT_TRUE(std::filesystem::exists(path)) << "the folder is made too";
    OperationRecord r = Row("2026-12-09T10:00:00Z", "production run", "4711", kOutcomeRunning);
    std::string whyNot;
    ASSERT_TRUE(store->Begin(r, whyNot)) << whyNot;
    EXPECT_GT(r.id, 0);
    EXPECT_EQ(store->Get(r.id, whyNot)->outcome, kOutcomeRunning) << "on disk before the end";
    r.ended = "2026-12-09T10:01:30Z";
    r.outcome = kOutcomeCompleted;
    r.cableSerial = "TQ9A0001";
    r.comNumber = 7;
    r.console = "line one\nline \"two\", with a comma";
    r.image = "TQ9gen3_ed2_b.hex";
    r.imageSha256 = std::string(64, 'a');
    r.avrdudeRuns = {{"\"avrdude\" -n", 0, "probe\n"},
                     {"\"avrdude\" -V", 0, ""},
                     {"\"avrdude\" -U", 1, "avrdude: verification error\n"}};
    r.uploadSize = 65536;
    r.failedStep = kFailedBoardAfter;
    r.boardAfter = "TQ95-g3ed1 1.23";
    r.imageMismatch = "the image is for edition 2, the board reports edition 1";
    ASSERT_TRUE(store->Finish(r, whyNot)) << whyNot;
    store.reset();

    auto again = Open();
    const auto back = again->Get(r.id, whyNot);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->console, r.console);
    EXPECT_EQ(back->comNumber, 7);
    EXPECT_EQ(back->uploadSize, 65536);
    EXPECT_EQ(back->uploadCore, std::nullopt);
    ASSERT_EQ(back->avrdudeRuns.size(), 3u);
    EXPECT_EQ(back->avrdudeRuns[2].commandLine, "\"avrdude\" -U");
    EXPECT_EQ(back->avrdudeRuns[2].exitCode, 1);
    EXPECT_EQ(back->avrdudeRuns[2].output, "avrdude: verification error\n");
    EXPECT_EQ(back->avrdudeRuns[0].output, "probe\n");
    EXPECT_EQ(back->imageSha256, r.imageSha256);
    EXPECT_EQ(back->failedStep, kFailedBoardAfter);
    EXPECT_EQ(back->boardAfter, r.boardAfter);
    EXPECT_EQ(back->imageMismatch, r.imageMismatch);

    // The journal and version, as another reader of the file sees them: the WAL file and
    // SQLite's header (user_version at byte 60, big-endian).
    std::ifstream file(path, std::ios::binary);
    std::string header(100, '\0');
    file.read(header.data(), 100);
    EXPECT_EQ(header.substr(0, 16), std::string("SQLite format 3\0", 16));
    EXPECT_EQ(header[18], 2) << "write version 2: WAL";
    EXPECT_EQ(header[63], RecordStore::kSchemaVersion);
}

TEST_F(RecordStoreTest, FiltersShowTheNewestFirstAndTheSummaryCountsToday) {
    auto store = Open();
    ASSERT_TRUE(store);
    Add(*store, Row("2026-12-08T23:59:59Z", "production run", "4711", kOutcomeCompleted));
    Add(*store,
        Row("2026-12-09T08:00:00Z", "production run", "4711", kOutcomeEndedEarly, "FileErr"));
    Add(*store, Row("2026-12-09T09:00:00Z", "AVR only", "4712", kOutcomeCompleted));
    Add(*store, Row("2026-12-09T10:00:00Z", "device flow", "4711", kOutcomeCompleted));
    Add(*store,
        Row("2026-12-09T11:00:00Z", "production run", "4713", kOutcomeEndedEarly, "ComErr"));
    Add(*store,
        Row("2026-12-09T12:00:00Z", "production run", "4714", kOutcomeEndedEarly, "FileErr"));
    // An avrdude run that failed counts no error: its step names the failure.
    OperationRecord flash = Row("2026-12-09T13:00:00Z", "AVR only", "4715", kOutcomeEndedEarly);
    flash.failedStep = kFailedFlash;
    Add(*store, flash);
    std::string whyNot;
    auto started = [&](RecordFilter f) {
        std::vector<std::string> s;
        for (const auto& r : store->Find(f, whyNot))
            s.push_back(r.started.substr(5, 8));
        return s;
    };
    using S = std::vector<std::string>;
    EXPECT_EQ(started({"4711", "", "", "", "", 100, ""}), (S{"12-09T10", "12-09T08", "12-08T23"}));
    EXPECT_EQ(started({"4711", "production run", "", "", "", 100, ""}),
              (S{"12-09T08", "12-08T23"}));
    EXPECT_EQ(started({"", "", kOutcomeEndedEarly, "", "", 2, ""}), (S{"12-09T13", "12-09T12"}));
    EXPECT_EQ(started({"", "", "", "2026-12-09", "2026-12-09", 0, ""}).size(), 6u);
    EXPECT_EQ(started({"", "", "", "", "2026-12-08", 0, ""}), (S{"12-08T23"}));
    EXPECT_EQ(whyNot, "");

    const RecordSummary today = store->Summary("2026-12-09", whyNot);
    EXPECT_EQ(today.programmedToday, 5);
    EXPECT_EQ(today.succeeded, 1);
    using K = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(today.failuresByKind, (K{{"FileErr", 2}, {"ComErr", 1}, {"flash", 1}}));
}

// The first version's tables, as its tool made them (in the rollback journal, as a file
// made by sqlite3 is), with one production run.
constexpr const char* kVersion1 = R"sql(
    CREATE TABLE operations (
      id INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT NOT NULL DEFAULT '',
      host TEXT NOT NULL, program TEXT NOT NULL, pid INTEGER NOT NULL,
      operation TEXT NOT NULL, cable_serial TEXT NOT NULL DEFAULT '',
      cable_description TEXT NOT NULL DEFAULT '', com_number INTEGER,
      board_serial TEXT NOT NULL DEFAULT '', firmware_version TEXT NOT NULL DEFAULT '',
      firmware_name TEXT NOT NULL DEFAULT '', fpga_version TEXT NOT NULL DEFAULT '',
      scan_core TEXT NOT NULL DEFAULT '', outcome TEXT NOT NULL,
      reason TEXT NOT NULL DEFAULT '', error_kind TEXT NOT NULL DEFAULT '',
      error_count INTEGER NOT NULL DEFAULT 0, result_dialog TEXT NOT NULL DEFAULT '',
      console TEXT NOT NULL DEFAULT '', upload_file TEXT NOT NULL DEFAULT '',
      upload_size INTEGER, upload_sha256 TEXT NOT NULL DEFAULT '', upload_core INTEGER,
      upload_closing_line TEXT NOT NULL DEFAULT '', image TEXT NOT NULL DEFAULT '',
      image_sha256 TEXT NOT NULL DEFAULT '', diamex_port TEXT NOT NULL DEFAULT '',
      probe_log TEXT NOT NULL DEFAULT '');
    CREATE INDEX operations_by_board ON operations (board_serial, started);
    CREATE INDEX operations_by_start ON operations (started);
    CREATE INDEX operations_running ON operations (outcome) WHERE outcome = 'running';
    CREATE TABLE avrdude_runs (
      operation_id INTEGER NOT NULL REFERENCES operations (id) ON DELETE CASCADE,
      step INTEGER NOT NULL, command_line TEXT NOT NULL, exit_code INTEGER NOT NULL,
      PRIMARY KEY (operation_id, step));
    INSERT INTO operations (started, ended, host, program, pid, operation, board_serial,
      outcome) VALUES ('2026-03-01T08:00:00Z', '2026-03-01T08:01:00Z', 'bench-1',
      'tq9-bench', 1, 'production run', '4711', 'completed');
    INSERT INTO operations (started, ended, host, program, pid, operation, board_serial,
      outcome) VALUES ('2026-03-02T08:00:00Z', '2026-03-02T08:01:00Z', 'bench-1',
      'tq9-bench', 1, 'production run', '4710', 'completed');
    INSERT INTO avrdude_runs VALUES (1, 1, '"avrdude" -n', 0);
    PRAGMA user_version = 1;
)sql";

// A version-1 file, locked by another writer while the tool starts: the start neither
// waits nor fails, and the first write, once the lock is free, brings the file up to
// this version, keeping what it held.
TEST_F(RecordStoreTest, AVersionOneFileIsBroughtUpEvenWhenLockedAtTheStart) {
    std::filesystem::create_directories(dir.File("records"));
    test::OtherConnection other(path);
    other.Exec(kVersion1);
    other.Hold("BEGIN EXCLUSIVE");  // in the rollback journal: no one may even read

    auto store = Open();
    ASSERT_TRUE(store);
    OperationRecord r = Row("2026-12-09T10:00:00Z", "AVR only", "4712", kOutcomeRunning);
    std::string whyNot;
    EXPECT_EQ(store->TryBegin(r, whyNot), RecordStore::WriteResult::Busy) << whyNot;
    EXPECT_EQ(r.id, 0);
    other.Release();

    r.outcome = kOutcomeCompleted;
    r.avrdudeRuns = {{"\"avrdude\" -n", 0, "avrdude: AVR device initialized\n"}};
    ASSERT_TRUE(store->Finish(r, whyNot)) << whyNot;
    EXPECT_EQ(r.id, 3);
    store.reset();

    EXPECT_EQ(other.Text("PRAGMA user_version"), std::to_string(RecordStore::kSchemaVersion));
    EXPECT_EQ(other.Text("PRAGMA journal_mode"), "wal");
    auto again = Open();
    const auto old = again->Get(1, whyNot);
    ASSERT_TRUE(old) << whyNot;
    EXPECT_EQ(old->boardSerial, "4711");
    ASSERT_EQ(old->avrdudeRuns.size(), 1u);
    EXPECT_EQ(old->avrdudeRuns[0].commandLine, "\"avrdude\" -n");
    EXPECT_EQ(old->avrdudeRuns[0].output, "");
    const auto added = again->Get(3, whyNot);
    ASSERT_TRUE(added) << whyNot;
    EXPECT_EQ(added->outcome, kOutcomeCompleted);
    ASSERT_EQ(added->avrdudeRuns.size(), 1u);
    EXPECT_EQ(added->avrdudeRuns[0].output, "avrdude: AVR device initialized\n");
    // Every row has a UUID of its own, the old ones too, and the file takes no second row
    // of the same.
    std::set<std::string> uuids;
    for (const std::int64_t id : {1, 2, 3}) {
        const std::string uuid = again->Get(id, whyNot)->uuid;
        EXPECT_TRUE(IsUuid(uuid)) << uuid;
        uuids.insert(uuid);
    }
    EXPECT_EQ(uuids.size(), 3u);
    EXPECT_EQ(added->uuid, r.uuid) << "the UUID made at the locked start is the row's";
    other.Exec(
        "INSERT INTO operations (started, host, program, pid, operation, outcome, uuid) "
        "VALUES ('x', 'h', 'p', 1, 'o', 'running', '" +
            r.uuid + "')",
        SQLITE_CONSTRAINT);
}

// A version this tool does not know, a newer tool's or one none writes: refused, saying
// which, and the file left as it is.
TEST_F(RecordStoreTest, AFileOfAnUnknownVersionIsRefusedAndLeftAlone) {
    { auto store = Open(); }
    const struct {
        long long version;
        const char* says;
    } cases[] = {
        {RecordStore::kSchemaVersion + 1, "written by a newer version of the tool"},
        {2147483647, "written by a newer version of the tool"},
        {-1, "has records version -1, which no version of the tool writes"},
        {-2147483648LL, "has records version -2147483648, which no version of the tool writes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        test::OtherConnection(path).Exec("PRAGMA user_version = " + std::to_string(c.version));
        auto bytes = [&] {
            std::ifstream file(path, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(file), {});
        };
        const std::string before = bytes();
        std::string whyNot;
        EXPECT_FALSE(RecordStore::Open(path, whyNot));
        EXPECT_EQ(whyNot.rfind(path, 0), 0u) << whyNot;
        EXPECT_NE(whyNot.find(c.says), std::string::npos) << whyNot;
        EXPECT_EQ(bytes(), before);
    }
}

// Another program holding the write lock (a long transaction, sqlite3 at a prompt): the
// store opens, skips marking interrupted rows, and leaves a start it cannot write now to
// the end, which writes it whole.
TEST_F(RecordStoreTest, AnotherWritersLockHoldsNoStartUp) {
    { auto store = Open(); }
    for (const char* begin : {"BEGIN IMMEDIATE", "BEGIN EXCLUSIVE"}) {
        SCOPED_TRACE(begin);
        test::OtherConnection other(path);
        OperationRecord gone = Row("2026-12-09T09:00:00Z", "Reset TQ9", "1", kOutcomeRunning);
        gone.host = HostName();
        gone.pid = 0x7ffffff0;
        std::string whyNot;
        {
            auto store = Open();
            ASSERT_TRUE(store->Begin(gone, whyNot)) << whyNot;
        }
        other.Hold(begin);

        auto store = Open();
        ASSERT_TRUE(store);
        EXPECT_EQ(store->MarkInterrupted(HostName(), ProcessAlive, whyNot), 0);
        OperationRecord r = Row(UtcNowIso8601(), "device flow", "4711", kOutcomeRunning);
        EXPECT_EQ(store->TryBegin(r, whyNot), RecordStore::WriteResult::Busy);
        EXPECT_EQ(r.id, 0);
        EXPECT_EQ(store->Get(gone.id, whyNot)->outcome, kOutcomeRunning) << "reads go on";
        other.Release();

        r.ended = UtcNowIso8601();
        r.outcome = kOutcomeCompleted;
        r.console = "Serial Number: 4711";
        ASSERT_TRUE(store->Finish(r, whyNot)) << whyNot;
        const auto back = store->Get(r.id, whyNot);
        ASSERT_TRUE(back) << whyNot;
        EXPECT_EQ(back->started, r.started);
        EXPECT_EQ(back->ended, r.ended);
        EXPECT_EQ(back->outcome, kOutcomeCompleted);
        EXPECT_EQ(back->console, r.console);
        EXPECT_EQ(store->MarkInterrupted(HostName(), ProcessAlive, whyNot), 1) << "now free";
    }
}

#if !defined(_WIN32)
// Two programs writing the same file at once (two benches, or the window and tq9ctl):
// every row of both arrives.
TEST_F(RecordStoreTest, TwoProcessesWritingAtOnceBothSucceed) {
    constexpr int kRows = 150;
    { auto store = Open(); }
    auto write = [&](const char* host) {
        std::string whyNot;
        auto store = RecordStore::Open(path, whyNot);
        if (!store) return false;
        for (int i = 0; i < kRows; ++i) {
            OperationRecord r =
                Row(UtcNowIso8601(), "device flow", std::to_string(i), kOutcomeRunning);
            r.host = host;
            if (!store->Begin(r, whyNot)) return false;
            r.outcome = kOutcomeCompleted;
            if (!store->Finish(r, whyNot)) return false;
        }
        return true;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(write("child") ? 0 : 1);
    const bool parentWrote = write("parent");
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(parentWrote);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    auto store = Open();
    std::string whyNot;
    int parent = 0, other = 0;
    for (const auto& r : store->Find({"", "", kOutcomeCompleted, "", "", 0, ""}, whyNot))
        (r.host == "parent" ? parent : other)++;
    EXPECT_EQ(parent, kRows);
    EXPECT_EQ(other, kRows);
}

// A begun row deleted by another writer, its id then taken by another operation's row:
// finishing the first operation writes nothing, and leaves the other row's avrdude runs
// as they are.
TEST_F(RecordStoreTest, FinishingARowWhoseIdWasTakenLeavesTheOtherRowAlone) {
    auto store = Open();
    ASSERT_TRUE(store);
    std::string whyNot;
    OperationRecord mine = Row("2026-12-09T10:00:00Z", "AVR only", "4711", kOutcomeRunning);
    ASSERT_TRUE(store->Begin(mine, whyNot)) << whyNot;
    const std::string id = std::to_string(mine.id);
    test::OtherConnection other(path);
    other.Exec("DELETE FROM operations WHERE id = " + id);
    other.Exec(
        "INSERT INTO operations (id, started, host, program, pid, operation, outcome, uuid) "
        "VALUES (" +
        id + ", '2026-12-09T10:00:05Z', 'bench-2', 'tq9ctl', 7, 'AVR only', 'completed', '" +
        NewUuid() + "'); INSERT INTO avrdude_runs VALUES (" + id + ", 1, 'theirs', 0, 'ok')");
    mine.outcome = kOutcomeCompleted;
    mine.avrdudeRuns = {{"mine -n", 0, ""}, {"mine -U", 1, "failed"}};
    EXPECT_FALSE(store->Finish(mine, whyNot));
    EXPECT_EQ(whyNot, "the operation's row " + id + " is missing");
    EXPECT_EQ(other.Text("SELECT group_concat(command_line || ':' || output, '|') FROM "
                         "avrdude_runs WHERE operation_id = " +
                         id),
              "theirs:ok");
    EXPECT_EQ(other.Text("SELECT host || ' ' || outcome FROM operations WHERE id = " + id),
              "bench-2 completed");
}

// A row left running by a process that is gone is marked interrupted; one of a process
// still running, or of another host, is left as it is.
TEST_F(RecordStoreTest, RunningRowsOfGoneProcessesAreMarkedInterrupted) {
    auto store = Open();
    std::string whyNot;
    OperationRecord gone = Row("2026-12-09T10:00:00Z", "AVR only", "1", kOutcomeRunning);
    gone.host = HostName();
    gone.pid = 0x7ffffff0;
    OperationRecord alive = gone;
    alive.pid = CurrentProcessId();
    OperationRecord elsewhere = gone;
    elsewhere.host = "another-bench";
    for (OperationRecord* r : {&gone, &alive, &elsewhere})
        ASSERT_TRUE(store->Begin(*r, whyNot));
    EXPECT_EQ(store->MarkInterrupted(HostName(), ProcessAlive, whyNot), 1);
    EXPECT_EQ(store->Get(gone.id, whyNot)->outcome, kOutcomeInterrupted);
    EXPECT_NE(store->Get(gone.id, whyNot)->ended, "");
    EXPECT_EQ(store->Get(alive.id, whyNot)->outcome, kOutcomeRunning);
    EXPECT_EQ(store->Get(elsewhere.id, whyNot)->outcome, kOutcomeRunning);
}
#endif

}  // namespace
}  // namespace tq9
