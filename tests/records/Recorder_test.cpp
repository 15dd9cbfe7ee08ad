// The board records the operations leave, written to a real SQLite file in the test's
// folder and read back; and the rule that a record that cannot be written changes nothing
// of the operation but one warning line at its end.

#include "records/Recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/Platform.h"
#include "base/Sha256.h"
#include "board/ScanCoreUpload.h"
#include "isp/Production.h"
#include "ops/MainWindowOps.h"
#include "records/OtherConnection.h"
#include "support/IspBench.h"

namespace tq9 {
namespace {

using Lines_t = std::vector<std::string>;

// The ISP bench with its records in a database file beside the production files.
class RecordsBench : public test::IspBench {
  public:
    using IspBench::Avrdude, IspBench::Connect, IspBench::Lines, IspBench::Put,
        IspBench::PutProductionFiles, IspBench::ctx, IspBench::dir, IspBench::driver,
        IspBench::host, IspBench::runner, IspBench::board;
    void TestBody() override {}
    RecordsBench() { ctx.BoardLink.selectedIndex = 0; }
    void Keep(const std::string& file = "records.sqlite3") {
        opened = OpenRecords(dir.File(file).string(), "tq9-test");
        ctx.Records = opened.sink;
    }
    // As Keep, for a test that needs the store: a store that did not open fails the test
    // here, saying why, instead of crashing every test after it.
    void KeepOpen() {
        Keep();
        ASSERT_TRUE(opened.store) << opened.sink.openFailure;
    }
    // Another program's connection to the records, made once the file exists.
    test::OtherConnection& Other() {
        if (!other)
            other = std::make_unique<test::OtherConnection>(dir.File("records.sqlite3").string());
        return *other;
    }
    std::size_t Warnings() const {
        std::size_t n = 0;
        for (const std::string& line : Lines())
            n += line.rfind(kRecordNotSaved, 0) == 0;
        return n;
    }
    OperationRecord Newest() {
        std::string whyNot;
        RecordFilter newest;
        newest.limit = 1;
        if (!opened.store) {
            ADD_FAILURE() << "no records store: " << opened.sink.openFailure;
            return {};
        }
        const auto rows = opened.store->Find(newest, whyNot);
        EXPECT_EQ(whyNot, "");
        return rows.empty() ? OperationRecord{} : rows.front();
    }
    void Production() {
        RunRecorded(ctx, RecordedOperation::ProductionRun, [&] { ProdProgClick(ctx); });
    }
    Lines_t Dialogs() const {
        Lines_t texts;
        for (const auto& m : host.messages)
            texts.push_back(m.text);
        return texts;
    }

    OpenedRecords opened;
    std::unique_ptr<test::OtherConnection> other;
};

class RecorderTest : public ::testing::Test {
  protected:
    RecordsBench bench;
};

TEST_F(RecorderTest, TheDeviceFlowRecordsTheCableAndWhatTheBoardReported) {
    ASSERT_NO_FATAL_FAILURE(bench.KeepOpen());
    RunRecorded(bench.ctx, RecordedOperation::DeviceFlow, [&] { BtnRescanClick(bench.ctx); });
    const OperationRecord r = bench.Newest();
    EXPECT_EQ(r.operation, "device flow");
    EXPECT_EQ(r.outcome, kOutcomeCompleted);
    EXPECT_EQ(r.program, "tq9-test");
    EXPECT_EQ(r.pid, CurrentProcessId());
    EXPECT_EQ(r.cableSerial, "TQ9A0001");
    EXPECT_EQ(r.cableDescription, "TTL232R-5V");
    EXPECT_EQ(r.comNumber, 0);
    EXPECT_EQ(r.boardSerial, "12345");
    EXPECT_EQ(r.firmwareName, "TQ95-Organ");
    EXPECT_EQ(r.firmwareVersion, "3.65");
    EXPECT_EQ(r.fpgaVersion, "0813A7C2");
    EXPECT_EQ(r.started.size(), 20u) << r.started;  // 2026-12-09T16:31:50Z
    EXPECT_GE(r.ended, r.started);
    EXPECT_NE(r.console.find("Serial Number: 12345"), std::string::npos) << r.console;

    // A second cable without a board: the row says it ended early, and why.
    BtnCloseClick(bench.ctx);
    bench.driver.AddCable("FT5X2K9Q", "FT232R USB UART");
    bench.host.deviceDialogChoice = 1;
    RunRecorded(bench.ctx, RecordedOperation::DeviceFlow, [&] { BtnRescanClick(bench.ctx); });
    const OperationRecord silent = bench.Newest();
    EXPECT_EQ(silent.cableSerial, "FT5X2K9Q");
    EXPECT_EQ(silent.outcome, kOutcomeEndedEarly);
    EXPECT_EQ(silent.reason, "No response from TQ9 serial port driver!");
    // Nothing of the first cable's board, in the row or beside this cable in the window.
    EXPECT_EQ(silent.boardSerial, "") << "nothing read, nothing recorded";
    EXPECT_EQ(silent.firmwareName, "");
    EXPECT_EQ(silent.firmwareVersion, "");
    EXPECT_EQ(silent.fpgaVersion, "");
    EXPECT_EQ(bench.host.fields[Field::EditSerialNumber], "0");
    EXPECT_EQ(bench.host.fields[Field::EditFirmwareVersion], "0");
    EXPECT_EQ(bench.host.fields[Field::FPGAversion], "00000000");
    EXPECT_EQ(bench.host.scanCoreIndex, kScanCoreEntryAtStart);
}

// A field is what this operation's board said, or empty: the device flow does not read the
// scan core; Reset TQ9 does.
TEST_F(RecorderTest, OnlyWhatWasReadIsRecorded) {
    ASSERT_NO_FATAL_FAILURE(bench.KeepOpen());
    RunRecorded(bench.ctx, RecordedOperation::DeviceFlow, [&] { BtnRescanClick(bench.ctx); });
    EXPECT_EQ(bench.Newest().scanCore, "");
    RunRecorded(bench.ctx, RecordedOperation::Reset, [&] { BtnRefreshClick(bench.ctx); });
    EXPECT_EQ(bench.Newest().scanCore, "3");
    EXPECT_EQ(bench.Newest().outcome, kOutcomeCompleted);
}

// Outcomes say what happened to the board.
TEST_F(RecorderTest, AnOutcomeSaysWhatHappenedToTheBoard) {
    bench.Connect();
    ASSERT_NO_FATAL_FAILURE(bench.KeepOpen());
    // A Cancel during the wait before the words: they all go out all the same.
    bench.Put("core.dat", std::string(64, '\1'));
    bench.host.fileChoice = bench.dir.File("core.dat").string();
    bench.host.fields[Field::EditCoreNumber] = "0";
    RunRecorded(bench.ctx, RecordedOperation::Upload, [&] {
        bench.host.AfterMs(300, [&] { bench.ctx.BtnCancelClick(); });
        ButtonUpStreamClick(bench.ctx);
    });
    OperationRecord r = bench.Newest();
    EXPECT_EQ(r.outcome, kOutcomeCompleted);
    EXPECT_EQ(r.reason, "cancelled after every word was sent");
    EXPECT_EQ(bench.board->uploads.back().words.size(), 16u);

    // A Reset cut short by closing the window did not complete.
    RunRecorded(bench.ctx, RecordedOperation::Reset, [&] {
        bench.host.AfterMs(200, [&] { bench.ctx.RequestStop(); });
        BtnRefreshClick(bench.ctx);
    });
    r = bench.Newest();
    EXPECT_EQ(r.outcome, kOutcomeCancelled);
    EXPECT_EQ(r.reason, "the program was closed during the operation");
}

TEST_F(RecorderTest, AProductionRunRecordsTheImageTheAvrdudeRunsAndTheResult) {
    bench.Connect();
    bench.PutProductionFiles();
    const std::string image = ":0400000001020304F2\n:00000001FF\n";
    bench.Put("TQ9gen3_ed2_b.hex", image);
    ASSERT_NO_FATAL_FAILURE(bench.KeepOpen());
    bench.Production();
    const OperationRecord r = bench.Newest();
    EXPECT_EQ(r.operation, "production run");
    EXPECT_EQ(r.outcome, kOutcomeCompleted) << r.reason;
    EXPECT_EQ(r.image, "TQ9gen3_ed2_b.hex");
    EXPECT_EQ(r.imageSha256, Sha256Hex(image));
    EXPECT_EQ(r.diamexPort, "0");
    ASSERT_EQ(r.avrdudeRuns.size(), 4u);
    // As the platform's shell takes it back, to repeat that run: on Windows what
    // CreateProcessW got.
#if defined(_WIN32)
    const std::string avrdude = "\"" + bench.Avrdude() + "\"";
    const std::string probe = avrdude + " " + ProbeArguments(IspPortArgument("0"));
#else
    const std::string avrdude = bench.Avrdude();
    const std::string probe =
        avrdude + " -C avrdude.conf -pm644p -cstk500v2 -B100 -P /dev/ttyUSB0 -n -q -l avrdude.log";
#endif
    EXPECT_EQ(r.avrdudeRuns[0].commandLine, probe);
    EXPECT_EQ(r.avrdudeRuns[3].commandLine.rfind(avrdude + " ", 0), 0u);
    for (const auto& run : r.avrdudeRuns)
        EXPECT_EQ(run.exitCode, 0) << run.commandLine;
    EXPECT_EQ(r.probeLog, test::kCleanLog);
    EXPECT_EQ(r.errorKind, "noErr");
    EXPECT_EQ(r.errorCount, 0);
    std::string dialog = kRunSucceeded;
    for (char& c : dialog)
        c = c == '\r' ? '\n' : c;
    EXPECT_EQ(r.resultDialog, dialog);
    EXPECT_EQ(r.boardSerial, "12345");
}

TEST_F(RecorderTest, RunsThatEndEarlySayWhyAndACancelIsACancel) {
    bench.Connect();
    bench.PutProductionFiles();
    ASSERT_NO_FATAL_FAILURE(bench.KeepOpen());
    std::filesystem::remove(bench.dir.File("tq_midi.dat"));
    bench.Production();
    OperationRecord r = bench.Newest();
    EXPECT_EQ(r.outcome, kOutcomeEndedEarly);
    EXPECT_EQ(r.reason, "##### Error: Missing file tq_midi.dat");
    EXPECT_EQ(r.errorKind, "FileErr");
    EXPECT_EQ(r.errorCount, 1);
    EXPECT_TRUE(r.avrdudeRuns.empty());

    bench.Put("tq_midi.dat");
    bench.runner.onRun = sim::AvrdudeScript("avrdude: ser_open(): can't open device\n", 1);
    bench.Production();
    r = bench.Newest();
    EXPECT_EQ(r.outcome, kOutcomeEndedEarly);
    EXPECT_EQ(r.reason, "##### Error: AVRdude COM. Is DIAMEX port# correct?");
    ASSERT_EQ(r.avrdudeRuns.size(), 1u) << "the probe only";
    EXPECT_EQ(r.avrdudeRuns[0].exitCode, 1);
    EXPECT_EQ(r.probeLog, "avrdude: ser_open(): can't open device\n");

    bench.runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
        bench.ctx.BtnCancelClick();  // the operator, while avrdude probes
        return sim::AvrdudeScript(test::kCleanLog)(call);
    };
    bench.Production();
    r = bench.Newest();
    EXPECT_EQ(r.outcome, kOutcomeCancelled);
    EXPECT_EQ(r.id, 3);
}

// Which step of a pass failed is a field of its own (error_kind and error_count keep their
// meaning: avrdude runs count no error), for every way a pass can fail.
TEST(RecorderPassTest, AFailedPassNamesTheStepThatFailed) {
    struct Row {
        const char* what;
        std::function<void(RecordsBench&)> spoil;
        const char* step;
        const char* errorKind;
    };
    const auto exitAt = [](std::size_t failing) {
        return [failing](RecordsBench& b) {
            b.runner.onRun = [&b, failing](const sim::ScriptedRunner::Call& call) {
                const int code = sim::AvrdudeScript(test::kCleanLog)(call);
                return b.runner.calls.size() - 1 == failing ? 1 : code;
            };
        };
    };
    const Row rows[] = {
        {"sound", [](RecordsBench&) {}, "", "noErr"},
        {"production file",
         [](RecordsBench& b) { std::filesystem::remove(b.dir.File("tq_midi.dat")); },
         kFailedProductionFiles, "FileErr"},
        {"cut image", [](RecordsBench& b) { b.Put("TQ9gen3_ed2_b.hex", ":0100000000FF\n"); },
         kFailedImageCheck, "FileErr"},
        {"probe",
         [](RecordsBench& b) {
             b.runner.onRun = sim::AvrdudeScript("avrdude: initialization failed\n", 1);
         },
         kFailedProbe, "noErr"},
        {"fuses", exitAt(1), kFailedFuses, "noErr"},
        {"fuse read-back", exitAt(2), kFailedFuseReadBack, "noErr"},
        {"flash", exitAt(3), kFailedFlash, "noErr"},
        {"programmer silent through the flash run, stopped at its limit",
         [](RecordsBench& b) {
             b.runner.onRun = [&b](const sim::ScriptedRunner::Call& call) {
                 b.runner.runMs = b.runner.calls.size() == 4 ? 3'600'000 : 300;
                 return sim::AvrdudeScript(test::kCleanLog)(call);
             };
         },
         kFailedFlash, "noErr"},
        {"cancel",
         [](RecordsBench& b) {
             b.runner.onRun = [&b](const sim::ScriptedRunner::Call& call) {
                 b.ctx.BtnCancelClick();
                 return sim::AvrdudeScript(test::kCleanLog)(call);
             };
         },
         kFailedCancel, "noErr"},
        {"board after programming",
         [](RecordsBench& b) {
             b.runner.onRun = [&b](const sim::ScriptedRunner::Call& call) {
                 b.board->faults.silent = true;
                 return sim::AvrdudeScript(test::kCleanLog)(call);
             };
         },
         kFailedBoardAfter, "ComErr"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RecordsBench b;  // one simulated bench at a time
        b.Connect();
        b.PutProductionFiles();
        row.spoil(b);
        const OperationRecord r =
            RunRecorded(b.ctx, RecordedOperation::ProductionRun, [&] { ProdProgClick(b.ctx); });
        EXPECT_EQ(r.failedStep, row.step) << r.reason;
        EXPECT_EQ(r.outcome == kOutcomeCompleted, *row.step == '\0') << r.reason;
        EXPECT_EQ(r.errorKind, row.errorKind);
        EXPECT_EQ(r.boardAfter.empty(), *row.step != '\0');
    }
}

// The board identified after programming is kept beside the image, and one that reports
// another generation or edition than the image's name says is a warning line and a field:
// the ISP cable and the FTDI cable may be on different boards.
TEST(RecorderPassTest, TheBoardAfterProgrammingIsHeldAgainstTheImage) {
    struct Row {
        const char* firmware;  // what the board reports after programming
        bool mismatch;
    };
    for (const Row row : {Row{"TQ95-g3ed2", false}, Row{"TQ95-g3ed1", true},
                          Row{"TQ95-G2ED2", true}, Row{"TQ95-Organ", false}}) {
        SCOPED_TRACE(row.firmware);
        for (const bool avrOnly : {false, true}) {
            RecordsBench b;
            b.Connect();
            b.PutProductionFiles();
            b.board->identity.firmwareName = row.firmware;
            const OperationRecord r = RunRecorded(
                b.ctx, avrOnly ? RecordedOperation::AvrOnly : RecordedOperation::ProductionRun,
                [&] { avrOnly ? BtnAVRonlyClick(b.ctx) : ProdProgClick(b.ctx); });
            EXPECT_EQ(r.outcome, kOutcomeCompleted) << r.reason;
            EXPECT_EQ(r.boardAfter, std::string(row.firmware) + " 3.65");
            const std::string warning =
                row.mismatch ? "##### Warning: The board reports " + std::string(row.firmware) +
                                   " after programming, but TQ9gen3_ed2_b.hex holds gen3 ed2. "
                                   "Are the ISP cable and the FTDI cable on the same board?"
                             : "";
            EXPECT_EQ(r.imageMismatch, warning);
            EXPECT_EQ(std::count_if(b.Lines().begin(), b.Lines().end(),
                                    [](const std::string& line) {
                                        return line.rfind("##### Warning: The board", 0) == 0;
                                    }),
                      row.mismatch);
            if (row.mismatch) {
                EXPECT_NE(std::find(b.Lines().begin(), b.Lines().end(), warning), b.Lines().end());
            }
        }
    }
}

// A Cancel belongs to the operation it was pressed in: the next one's record is its own.
TEST_F(RecorderTest, ACancelFromAnEarlierOperationIsNotInTheNextRecord) {
    bench.Connect();
    bench.PutProductionFiles();
    bench.runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
        bench.ctx.BtnCancelClick();
        return sim::AvrdudeScript(test::kCleanLog)(call);
    };
    EXPECT_EQ(
        RunRecorded(bench.ctx, RecordedOperation::ProductionRun, [&] { ProdProgClick(bench.ctx); })
            .outcome,
        kOutcomeCancelled);
    bench.runner.onRun = sim::AvrdudeScript(test::kCleanLog);
    const OperationRecord next =
        RunRecorded(bench.ctx, RecordedOperation::ProductionRun, [&] { ProdProgClick(bench.ctx); });
    EXPECT_EQ(next.outcome, kOutcomeCompleted) << next.reason;
    EXPECT_EQ(next.reason, "");
    EXPECT_EQ(next.failedStep, "");
}

TEST_F(RecorderTest, AnUploadRecordsItsFileAndTheBoardsClosingLine) {
    bench.Connect();
    ASSERT_NO_FATAL_FAILURE(bench.KeepOpen());
    const std::string words("\1\0\0\0\2\0\0\0", 8);
    bench.Put("core.dat", words);
    bench.host.fileChoice = bench.dir.File("core.dat").string();
    bench.host.fields[Field::EditCoreNumber] = "2";
    RunRecorded(bench.ctx, RecordedOperation::Upload, [&] { ButtonUpStreamClick(bench.ctx); });
    const OperationRecord r = bench.Newest();
    EXPECT_EQ(r.operation, "scan-core upload");
    EXPECT_EQ(r.outcome, kOutcomeCompleted) << r.reason;
    EXPECT_EQ(r.uploadFile, bench.host.fileChoice);
    EXPECT_EQ(r.uploadSize, 8);
    EXPECT_EQ(r.uploadSha256, Sha256Hex(words));
    EXPECT_EQ(r.uploadCore, 2);
    EXPECT_EQ(r.uploadClosingLine, "Core 2 loaded: 2 words, sum 00000003");

    bench.host.fileChoice.clear();  // the operator cancels the file dialog
    RunRecorded(bench.ctx, RecordedOperation::Upload, [&] { ButtonUpStreamClick(bench.ctx); });
    EXPECT_EQ(bench.Newest().outcome, kOutcomeCancelled);
    EXPECT_EQ(bench.Newest().uploadFile, "");
}

// Every way the store can fail: the operation's console lines and dialogs are those of a
// bench that keeps no records, plus one warning line at the end.
TEST(RecorderFailureTest, AStoreThatFailsChangesNothingButOneWarningLine) {
    auto run = [](RecordsBench& b) {
        b.Connect();
        b.PutProductionFiles();
        b.Production();
    };
    Lines_t plainLines, plainDialogs;
    {
        RecordsBench plain;  // one simulated bench at a time
        run(plain);
        plainLines = plain.Lines();
        plainDialogs = plain.Dialogs();
    }

    struct Case {
        const char* what;
        std::function<void(RecordsBench&)> spoil;  // before the run
        const char* says;
    };
    const Case cases[] = {
        {"a file that is not a database",
         [](RecordsBench& b) {
             b.Put("records.sqlite3", std::string(4096, 'x'));
             b.Keep();
         },
         "file is not a database"},
        {"a folder that cannot be made",
         [](RecordsBench& b) {
             b.Put("blocked", "a file where the folder should be");
             b.Keep("blocked/records.sqlite3");
         },
         "cannot make the folder"},
        {"a file written over while the run goes on",
         [](RecordsBench& b) {
             b.Keep();
             // Another program writes over the database, its journal and its index.
             b.host.onMessage = [&b](const sim::ScriptedHost::Message&) {
                 for (const char* name :
                      {"records.sqlite3", "records.sqlite3-wal", "records.sqlite3-shm"}) {
                     std::fstream file(b.dir.File(name),
                                       std::ios::in | std::ios::out | std::ios::binary);
                     file.write(std::string(4096, '\xAA').data(), 4096);
                 }
             };
         },
         "file is not a database"},
        {"another program holding the write lock from the start past the end",
         [](RecordsBench& b) {
             b.Keep();
             b.Other().Hold("BEGIN EXCLUSIVE");
             b.Keep();
             b.opened.store->SetBusyTimeoutMs(100);  // the end's wait, not ten seconds
         },
         "database is locked"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordsBench failing;
        c.spoil(failing);
        run(failing);
        ASSERT_FALSE(failing.Lines().empty());
        const std::string warning = failing.Lines().back();
        EXPECT_EQ(warning.rfind(kRecordNotSaved, 0), 0u) << warning;
        EXPECT_NE(warning.find(c.says), std::string::npos) << warning << " (" << c.what << ")";
        Lines_t withoutWarning(failing.Lines().begin(), failing.Lines().end() - 1);
        EXPECT_EQ(withoutWarning, plainLines);
        EXPECT_EQ(failing.Dialogs(), plainDialogs);
    }
}

// Another program holds the write lock while the program starts and the operation
// begins: nothing waits for it, and the row, kept until the lock is free, is in the file
// afterwards, whole, with no warning.
TEST_F(RecorderTest, AWriteLockHeldAtTheStartLosesNothing) {
    ASSERT_NO_FATAL_FAILURE(bench.KeepOpen());
    bench.Other().Hold("BEGIN IMMEDIATE");
    ASSERT_NO_FATAL_FAILURE(
        bench.KeepOpen());  // as the program starts: open, mark the interrupted rows
    RunRecorded(bench.ctx, RecordedOperation::DeviceFlow, [&] {
        BtnRescanClick(bench.ctx);
        EXPECT_EQ(bench.Other().Text("SELECT COUNT(*) FROM operations"), "0") << "not yet";
        bench.Other().Release();
    });
    const OperationRecord r = bench.Newest();
    EXPECT_EQ(r.operation, "device flow");
    EXPECT_EQ(r.outcome, kOutcomeCompleted) << r.reason;
    EXPECT_EQ(r.cableSerial, "TQ9A0001");
    EXPECT_EQ(r.boardSerial, "12345");
    EXPECT_EQ(r.started.size(), 20u);
    EXPECT_GE(r.ended, r.started);
    EXPECT_NE(r.console.find("Serial Number: 12345"), std::string::npos) << r.console;
    EXPECT_EQ(bench.Warnings(), 0u);
}

// A row someone deleted during the operation, or whose id another operation's row has
// taken since, is not this operation's: the end says the record was not saved, and the
// other row keeps what it holds.
TEST_F(RecorderTest, ARowGoneBeforeTheEndIsReportedAsNotSaved) {
    ASSERT_NO_FATAL_FAILURE(bench.KeepOpen());
    for (const bool taken : {false, true}) {
        SCOPED_TRACE(taken ? "its id taken" : "deleted");
        OperationRecorder recorder(bench.ctx, bench.ctx.Records, RecordedOperation::DeviceFlow);
        const std::string id = std::to_string(recorder.Record().id);
        ASSERT_NE(id, "0");
        bench.Other().Exec("DELETE FROM operations WHERE id = " + id);
        if (taken) {
            bench.Other().Exec(
                "INSERT INTO operations (id, started, ended, host, program, pid, operation, "
                "outcome) VALUES (" +
                id +
                ", '2026-12-09T10:00:00Z', '2026-12-09T10:00:05Z', 'bench-2', 'tq9ctl', 7, "
                "'Reset TQ9', 'completed')");
        }
        const std::size_t before = bench.Warnings();
        recorder.Finish();
        EXPECT_EQ(recorder.Warning(),
                  std::string(kRecordNotSaved) + "the operation's row " + id + " is missing");
        EXPECT_EQ(bench.Lines().back(), recorder.Warning());
        EXPECT_EQ(bench.Warnings(), before + 1);
        EXPECT_EQ(bench.Other().Text("SELECT host || ' ' || operation || ' ' || outcome FROM "
                                     "operations WHERE id = " +
                                     id),
                  taken ? "bench-2 Reset TQ9 completed" : "");
    }
    // A row saved says nothing.
    OperationRecorder saved(bench.ctx, bench.ctx.Records, RecordedOperation::DeviceFlow);
    saved.Finish();
    EXPECT_EQ(saved.Warning(), "");
}

}  // namespace
}  // namespace tq9
