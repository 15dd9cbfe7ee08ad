// The records database itself, on real files: its version and journal, reading back with
// filters and the summary, a database from a newer tool, two writers at once.

#include "records/RecordStore.h"

#include <gtest/gtest.h>

#include <fstream>

#include "base/Platform.h"
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
    r.avrdudeRuns = {{"\"avrdude\" -n", 0}, {"\"avrdude\" -V", 0}, {"\"avrdude\" -U", 1}};
    r.uploadSize = 65536;
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
    EXPECT_EQ(back->imageSha256, r.imageSha256);

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
    std::string whyNot;
    auto started = [&](RecordFilter f) {
        std::vector<std::string> s;
        for (const auto& r : store->Find(f, whyNot))
            s.push_back(r.started.substr(5, 8));
        return s;
    };
    using S = std::vector<std::string>;
    EXPECT_EQ(started({"4711", "", "", "", "", 100}), (S{"12-09T10", "12-09T08", "12-08T23"}));
    EXPECT_EQ(started({"4711", "production run", "", "", "", 100}), (S{"12-09T08", "12-08T23"}));
    EXPECT_EQ(started({"", "", kOutcomeEndedEarly, "", "", 2}), (S{"12-09T12", "12-09T11"}));
    EXPECT_EQ(started({"", "", "", "2026-12-09", "2026-12-09", 0}).size(), 5u);
    EXPECT_EQ(started({"", "", "", "", "2026-12-08", 0}), (S{"12-08T23"}));
    EXPECT_EQ(whyNot, "");

    const RecordSummary today = store->Summary("2026-12-09", whyNot);
    EXPECT_EQ(today.programmedToday, 4);
    EXPECT_EQ(today.succeeded, 1);
    using K = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(today.failuresByKind, (K{{"FileErr", 2}, {"ComErr", 1}}));
}

TEST_F(RecordStoreTest, ADatabaseOfANewerToolIsLeftAlone) {
    { auto store = Open(); }
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(63);
    file.put(static_cast<char>(RecordStore::kSchemaVersion + 1));
    file.close();
    std::string whyNot;
    EXPECT_FALSE(RecordStore::Open(path, whyNot));
    EXPECT_NE(whyNot.find("written by a newer version of the tool"), std::string::npos) << whyNot;
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
    for (const auto& r : store->Find({"", "", kOutcomeCompleted, "", "", 0}, whyNot))
        (r.host == "parent" ? parent : other)++;
    EXPECT_EQ(parent, kRows);
    EXPECT_EQ(other, kRows);
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
