// What only a Windows bench has: a user folder whose name the ANSI code page cannot
// hold, a records folder deeper than MAX_PATH, and tq9ctl.exe writing beside this
// process at once. Under wine, with the real Windows API underneath.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>

#include "base/Platform.h"
#include "base/Utf16_win.h"
#include "isp/ProcessRunner.h"
#include "ops/MainWindowOps.h"
#include "records/RecordStore.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace tq9 {
namespace {

namespace fs = std::filesystem;

std::vector<OperationRecord> All(RecordStore& store) {
    std::string whyNot;
    RecordFilter all;
    all.limit = 0;
    auto rows = store.Find(all, whyNot);
    EXPECT_EQ(whyNot, "");
    return rows;
}

// A row as an operation leaves it, naming a file the operator picked.
OperationRecord Row(const std::string& file) {
    OperationRecord row;
    row.started = UtcNowIso8601();
    row.host = HostName();
    row.program = "test";
    row.operation = "scan-core upload";
    row.uploadFile = file;
    return row;
}

// Its end, written as the operation ends.
bool Finish(RecordStore& store, OperationRecord& row, std::string& whyNot) {
    row.ended = UtcNowIso8601();
    row.outcome = kOutcomeCompleted;
    return store.Finish(row, whyNot);
}

TEST(RecordStoreWinTest, UnderANonAsciiUserFolderAndDeeperThanMaxPath) {
    test::TempDir dir;
    // Greek and Japanese: no single ANSI code page holds both.
    const std::string user = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE5\xB1\xB1\xE7\x94\xB0";
    const std::string local = dir.Path().string() + "\\" + user + "\\AppData\\Local";
    const test::ScopedEnv home(test::kRecordsHome, local);
    const std::string path = DefaultRecordsPath();
    EXPECT_EQ(path, local + "\\tq9-bench\\records.sqlite3");

    const std::string core = "C:\\Kerne\\" + user + ".dat";
    std::string whyNot;
    {
        auto store = RecordStore::Open(path, whyNot);
        ASSERT_TRUE(store) << whyNot;
        OperationRecord row = Row(core);
        ASSERT_TRUE(store->Begin(row, whyNot)) << whyNot;
        ASSERT_TRUE(Finish(*store, row, whyNot)) << whyNot;
    }
    // The file is where the folder's UTF-16 name says, not under a name mangled by the
    // code page, and the text came back as it went in.
    EXPECT_TRUE(fs::exists(fs::path(Widen(path)))) << path;
    auto again = RecordStore::Open(path, whyNot);
    ASSERT_TRUE(again) << whyNot;
    const auto rows = All(*again);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].uploadFile, core);
    EXPECT_EQ(rows[0].host, HostName());

    std::string deep = dir.Path().string();
    while (deep.size() < 300)
        deep += "\\" + user + " records folder";
    const std::string deepPath = deep + "\\records.sqlite3";
    ASSERT_GT(deepPath.size(), static_cast<std::size_t>(MAX_PATH));
    auto store = RecordStore::Open(deepPath, whyNot);
    ASSERT_TRUE(store) << whyNot;
    OperationRecord row = Row(core);
    ASSERT_TRUE(store->Begin(row, whyNot)) << whyNot;
    ASSERT_TRUE(Finish(*store, row, whyNot)) << whyNot;
    EXPECT_EQ(All(*store).size(), 1u);
}

// tq9ctl.exe's device flows and this process's rows at the same time, into one file.
TEST(RecordStoreWinTest, TwoProgramsWriteAtOnce) {
    test::TempDir dir;
    const test::ScopedEnv home(test::kRecordsHome, dir.Path().string());
    const OpenedRecords records = OpenRecords(DefaultRecordsPath(), "test");
    ASSERT_TRUE(records.store) << records.sink.openFailure;

    const auto runner = MakeSystemProcessRunner();
    const std::string ctl = fs::path(TQ9_CTL_PATH).make_preferred().string();
    ProgramStart start;
    start.programPath = ctl;
    start.arguments = "identify";
    start.commandLine = "\"" + ctl + "\" identify";
    start.workingDirectory = fs::path(TQ9_CTL_PATH).parent_path().make_preferred().string();
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int i = 0; i < 2; ++i) {
        std::string whyNot;
        children.push_back(runner->Start(start, whyNot));
        ASSERT_TRUE(children.back()) << whyNot;
    }
    for (int i = 0; i < 20; ++i) {
        std::string whyNot;
        OperationRecord row = Row("core" + std::to_string(i) + ".dat");
        EXPECT_TRUE(records.store->Begin(row, whyNot)) << whyNot;
        Sleep(150);  // the device flows take about 3 s: this process writes all along
        EXPECT_TRUE(Finish(*records.store, row, whyNot)) << whyNot;
    }
    for (const auto& child : children) {
        ASSERT_TRUE(child->Wait(60000));
        EXPECT_EQ(child->ExitCode(), 0);
    }
    int flows = 0, uploads = 0;
    for (const OperationRecord& row : All(*records.store)) {
        EXPECT_EQ(row.outcome, kOutcomeCompleted) << row.operation;
        if (row.operation == "device flow") {
            ++flows;
            EXPECT_EQ(row.program, "tq9ctl");
            EXPECT_EQ(row.boardSerial, "12345");
        }
        uploads += row.operation == "scan-core upload";
    }
    EXPECT_EQ(flows, 2);
    EXPECT_EQ(uploads, 20);
}

}  // namespace
}  // namespace tq9
