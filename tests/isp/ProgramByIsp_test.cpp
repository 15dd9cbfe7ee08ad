// One ISP pass: the three avrdude command lines, the probe log's verdict, the refusals,
// cancels, and the runner's working directory, wait and exit code.

#include <gtest/gtest.h>

#include "isp/ProgramByIsp.h"
#include "support/IspBench.h"

#if !defined(_WIN32)
#include "support/AvrdudeBench.h"
#endif

#include <filesystem>

namespace tq9 {
namespace {

using Lines_t = std::vector<std::string>;

class ProgramByIspTest : public test::IspBench {
  protected:
    void SetUp() override {
        Connect();
        Put("TQ9gen3_ed2_b.hex");
        Put("TQ9gen3_ed2_b.eep");
        Put("avrdude.conf");
    }
    std::vector<std::string> CommandLines() const {
        std::vector<std::string> lines;
        for (const auto& call : runner.calls)
            lines.push_back(call.commandLine);
        return lines;
    }
};

TEST_F(ProgramByIspTest, ACleanProbeLeadsToTheFuseAndFlashRunsToTheCharacter) {
    for (const std::string com : {"5", "0", "12"}) {
        runner.calls.clear();
        ASSERT_TRUE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", com)) << com;
        const std::string port = IspPortArgument(com);
        const std::string exe = "\"" + Avrdude() + "\" ";
        const Lines_t expected = {
            exe + "-C \"avrdude.conf\" -pm644p -cstk500v2 -B100 -P " + port +
                " -n -q -l \"avrdude.log\"",
            exe + "-C \"avrdude.conf\" -pm644p -cstk500v2 -B100 -P " + port +
                " -V -q -U lfuse:w:0xf7:m -U hfuse:w:0xd2:m -U efuse:w:0xfc:m",
            // The fuse run does not verify: this run reads them back, writing nothing.
            exe + "-C \"avrdude.conf\" -pm644p -cstk500v2 -B100 -P " + port +
                " -n -q -U lfuse:v:0xf7:m -U hfuse:v:0xd2:m -U efuse:v:0xfc:m",
            exe + "-C \"avrdude.conf\" -pm644p -cstk500v2 -B2 -P " + port +
                " -U flash:w:\"TQ9gen3_ed2_b.hex\":i -U eeprom:w:\"TQ9gen3_ed2_b.eep\":i -U "
                "lock:w:0xef:m"};
        EXPECT_EQ(CommandLines(), expected);
        EXPECT_TRUE(runner.calls[0].hidden);
        EXPECT_TRUE(runner.calls[1].hidden);
        EXPECT_TRUE(runner.calls[2].hidden);
        EXPECT_FALSE(runner.calls[3].hidden) << "the flash run is shown";
        for (const auto& call : runner.calls)
            EXPECT_EQ(call.workingDirectory, dir.WithSeparator());
    }
#if !defined(_WIN32)
    EXPECT_EQ(IspPortArgument("5"), "/dev/ttyUSB5");
    EXPECT_EQ(IspPortArgument("/dev/ttyACM0"), "/dev/ttyACM0");
#endif
}

TEST_F(ProgramByIspTest, TheConsoleShowsThePassThenTheLog) {
    host.fields[Field::EditDiamex] = "5";
    ASSERT_TRUE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "5"));
    EXPECT_EQ(Lines(), (Lines_t{"avrdude: AVR device initialized and ready to accept instructions",
                                "avrdude: device signature = 0x1e960a (probably m644p)", "",
                                "avrdude done.  Thank you."}));
    ASSERT_EQ(host.outputWindows.size(), 1u);
    EXPECT_TRUE(host.outputWindows[0].ended);
}

TEST_F(ProgramByIspTest, TheLogIsJudgedByItsKeyWords) {
    struct Row {
        std::string log;
        Lines_t errors;
    };
    const std::string portLine = "##### Error: AVRdude COM. Is DIAMEX port# correct?";
    const std::string deviceLine = "##### Error: AVRdude device. Is CONF_DIS JP5 set?";
    const std::string timeoutLine =
        "##### Error: AVRdude timeout. Unplug DIAMEX from USB and reconnect.";
    const Row rows[] = {
        {"avrdude: ser_open(): can't open device \"COM5\"\n", {portLine}},
        {"avrdude OS error: cannot open port /dev/ttyUSB5: No such file or directory\n",
         {portLine}},
        {"avrdude: initialization failed, rc=-1\n", {deviceLine}},
        {"avrdude: stk500v2_ReceiveMessage(): timeout\n", {timeoutLine}},
        {"initialization failed\nthen a timeout\n", {deviceLine, timeoutLine}},
        {"ser_open failed timeout\n", {portLine, deviceLine, timeoutLine}},
        {"Timeout and FAILED in other letter case\n", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.log);
        runner.calls.clear();
        runner.onRun = sim::AvrdudeScript(row.log, row.errors.empty() ? 0 : 1);
        const bool result = ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "5");
        EXPECT_EQ(result, row.errors.empty());
        EXPECT_EQ(runner.calls.size(), row.errors.empty() ? 4u : 1u);
        const Lines_t tail(Lines().end() - static_cast<long>(row.errors.size()), Lines().end());
        EXPECT_EQ(tail, row.errors);
        EXPECT_EQ(ctx.ErrorCount, 0) << "a log verdict counts nothing";
    }
}

TEST_F(ProgramByIspTest, MissingImagesCountAFileErrorAndRunNothing) {
    EXPECT_FALSE(ProgramByIsp(ctx, "------------------------------", "0"));
    EXPECT_EQ(Lines(), Lines_t{"##### Error: HEX flash file not found"});
    EXPECT_EQ(ctx.ErrorCount, 1);
    EXPECT_EQ(ctx.ErrorKind, FileErr);

    Put("noeep.hex");
    EXPECT_FALSE(ProgramByIsp(ctx, "noeep.hex", "0"));
    EXPECT_EQ(Lines().back(), "##### Error: EEPROM file not found");
    EXPECT_EQ(ctx.ErrorCount, 2);
    EXPECT_TRUE(runner.calls.empty());
}

// An image avrdude would refuse only in the flash run, after the fuses and the chip erase,
// is refused before the first run.
TEST_F(ProgramByIspTest, ABadImageIsRefusedBeforeAvrdudeTouchesTheChip) {
    // 64 KiB of flash: sixteen-byte records from address 0, or one record at an address.
    auto filled = [](std::size_t bytes) {
        std::string hex;
        char line[64];
        for (std::size_t at = 0; at < bytes; at += 16) {
            unsigned sum = 16 + (at >> 8 & 0xFF) + (at & 0xFF);
            std::snprintf(line, sizeof line, ":10%04X00", static_cast<unsigned>(at & 0xFFFF));
            hex += line;
            for (int i = 0; i < 16; ++i)
                hex += "00";
            std::snprintf(line, sizeof line, "%02X\n", (0x100 - sum % 256) % 256);
            hex += line;
        }
        return hex + ":00000001FF\n";
    };
    const std::string beyondFlash = ":020000040001F9\n:0100000000FF\n:00000001FF\n";
    struct Row {
        std::string hex, eep, line;
    };
    const std::string ok = test::IspBench::kSmallHex;
    const Row rows[] = {
        {"", ok, "##### Error: HEX flash file TQ9gen3_ed2_b.hex is empty"},
        {":00000001FF\n", ok, "##### Error: HEX flash file TQ9gen3_ed2_b.hex holds no data"},
        {":0400000001020304F3\n:00000001FF\n", ok,
         "##### Error: HEX flash file TQ9gen3_ed2_b.hex has a wrong checksum in line 1"},
        {":00000001FF\nGARBAGE\n", ok,
         "##### Error: HEX flash file TQ9gen3_ed2_b.hex holds no data"},
        {"\n:04000000010203\n", ok,
         "##### Error: HEX flash file TQ9gen3_ed2_b.hex has a record of the wrong length in line "
         "2"},
        {"x\n", ok, "##### Error: HEX flash file TQ9gen3_ed2_b.hex is not Intel HEX in line 1"},
        {beyondFlash, ok,
         "##### Error: HEX flash file TQ9gen3_ed2_b.hex reaches 65537 bytes, more than the "
         "65536 of the memory"},
        {ok, filled(2048 + 16),
         "##### Error: EEPROM file TQ9gen3_ed2_b.eep reaches 2064 bytes, more than the 2048 of "
         "the memory"},
        {ok, "", "##### Error: EEPROM file TQ9gen3_ed2_b.eep is empty"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        runner.calls.clear();
        ctx.ErrorCount = 0;
        Put("TQ9gen3_ed2_b.hex", row.hex);
        Put("TQ9gen3_ed2_b.eep", row.eep);
        EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
        EXPECT_EQ(Lines().back(), row.line);
        EXPECT_TRUE(runner.calls.empty()) << "avrdude never ran";
        EXPECT_EQ(ctx.ErrorCount, 1);
        EXPECT_EQ(ctx.ErrorKind, FileErr);
    }
    // Exactly full memories are taken; an EEPROM image may hold no data.
    for (const auto& [hex, eep] :
         {std::pair{filled(65536), filled(2048)}, std::pair{ok, std::string(":00000001FF\r\n")}}) {
        runner.calls.clear();
        Put("TQ9gen3_ed2_b.hex", hex);
        Put("TQ9gen3_ed2_b.eep", eep);
        EXPECT_TRUE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0")) << ctx.console.Text();
        EXPECT_EQ(runner.calls.size(), 4u);
    }
}

// A Cancel still waiting in the window's queue when the probe ends (it came after the
// wait's last look) stops the pass before the fuses are written.
TEST_F(ProgramByIspTest, ACancelThatArrivesAsTheProbeEndsStopsThePassBeforeTheFuses) {
    runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
        if (runner.calls.size() == 1)
            host.AfterMs(runner.runMs - 20, [&] { ctx.BtnCancelClick(); });
        return sim::AvrdudeScript(test::kCleanLog)(call);
    };
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
    EXPECT_EQ(runner.calls.size(), 1u) << "no fuse run";
    EXPECT_EQ(runner.calls[0].stops, 0) << "the probe had ended";
    EXPECT_EQ(ctx.CancelRequested, 1);
}

TEST_F(ProgramByIspTest, EepromNamesReplaceOrAppendTheExtension) {
    EXPECT_EQ(EepromFileOf("TQ9gen3_ed1_b.hex"), "TQ9gen3_ed1_b.eep");
    EXPECT_EQ(EepromFileOf("image"), "image.eep");
    EXPECT_EQ(EepromFileOf("a.b.hex"), "a.b.eep");
    EXPECT_EQ(EepromFileOf("dir.d/image"), "dir.d/image.eep");
}

TEST_F(ProgramByIspTest, NamesMatchWithoutRegardToCaseAndAvrdudeGetsThemAsOnDisk) {
    Put("tq9GEN3_ed4_B.HEX");
    Put("TQ9GEN3_ED4_B.EEP");
    ASSERT_TRUE(ProgramByIsp(ctx, "TQ9gen3_ed4_b.hex", "0"));
    EXPECT_NE(runner.calls[3].commandLine.find("flash:w:\"tq9GEN3_ed4_B.HEX\":i"),
              std::string::npos);
    EXPECT_NE(runner.calls[3].commandLine.find("eeprom:w:\"TQ9GEN3_ED4_B.EEP\":i"),
              std::string::npos);
}

TEST_F(ProgramByIspTest, AStaleLogIsRemovedAndAMissingLogStopsThePass) {
    Put("AVRDUDE.LOG", test::kCleanLog);
    runner.onRun = [](const sim::ScriptedRunner::Call&) { return 0; };  // writes no log
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
    EXPECT_EQ(Lines().back(), "##### Error: AVRdude log not created");
    EXPECT_EQ(runner.calls.size(), 1u) << "nothing verified, nothing programmed";
    EXPECT_FALSE(std::filesystem::exists(dir.File("AVRDUDE.LOG")));
}

TEST_F(ProgramByIspTest, AProbeThatCannotStartSaysWhy) {
    runner.failToStart = true;
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
    EXPECT_EQ(Lines().back(),
              "##### Error: AVRdude could not be started: No such file or directory");
    EXPECT_EQ(runner.calls.size(), 1u);
}

TEST_F(ProgramByIspTest, AFuseOrFlashRunThatFailsOrCannotStartFailsThePass) {
    struct Row {
        int failingCall;  // 1: fuses, 2: their verify, 3: flash
        bool starts;
        std::string line;
    };
    const Row rows[] = {
        {1, true, "##### Error: AVRdude fuses run failed (exit code 1)"},
        {2, true, "##### Error: AVRdude fuse verify failed (exit code 1)"},
        {3, true, "##### Error: AVRdude flash run failed (exit code 1)"},
        {1, false, "##### Error: AVRdude could not be started: No such file or directory"},
        {2, false, "##### Error: AVRdude could not be started: No such file or directory"},
        {3, false, "##### Error: AVRdude could not be started: No such file or directory"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line + " at call " + std::to_string(row.failingCall));
        runner.calls.clear();
        runner.failToStartCall = row.starts ? -1 : row.failingCall;
        runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
            sim::AvrdudeScript(test::kCleanLog)(call);
            return runner.calls.size() - 1 == std::size_t(row.failingCall) ? 1 : 0;
        };
        EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
        EXPECT_EQ(runner.calls.size(), std::size_t(row.failingCall) + 1) << "nothing after it";
        EXPECT_EQ(Lines().back(), row.line);
        EXPECT_EQ(ctx.ErrorCount, 0) << "counted as the other ISP failures: not at all";
    }
}

TEST_F(ProgramByIspTest, OnlyAPortReachesAvrdudesCommandLine) {
    const std::string portLine = "##### Error: AVRdude COM. Is DIAMEX port# correct?";
    std::vector<std::pair<std::string, bool>> rows = {
        {"0", true},     {"17", true},   {"0 -F", false}, {"0 -U flash:r:stolen.hex:i", false},
        {"5\"", false},  {"", false},    {" 5", false},   {"-1", false},
        {"COM5", false}, {"5\t", false},
    };
#if !defined(_WIN32)
    rows.insert(rows.end(), {{"/dev/ttyACM0", true},
                             {"/dev/serial/by-id/usb-DIAMEX_ISP-if00", true},
                             {"/dev/tty X", false},
                             {"/dev/", false},
                             {"/tmp/port", false},
                             {"/dev/x\"-F", false},
                             {"/dev/../tmp/x", false},
                             {"/dev/shm/../../tmp/x", false},
                             {"/dev/./ttyACM0", false},
                             {"/dev/ttyACM0/..", false},
                             {"/dev//ttyACM0", false},
                             {"/dev/..ttyACM0", true}});
#endif
    for (const auto& [com, valid] : rows) {
        SCOPED_TRACE("[" + com + "]");
        runner.calls.clear();
        EXPECT_EQ(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", com), valid);
        EXPECT_EQ(runner.calls.size(), valid ? 4u : 0u);
        if (!valid) {
            EXPECT_EQ(Lines().back(), portLine);
            EXPECT_EQ(Lines()[Lines().size() - 4], "Programming with DIAMEX ISP on COM " + com);
        }
    }
}

TEST_F(ProgramByIspTest, AvrdudeIsFoundWithoutRegardToCaseAndStartedAsItStandsOnDisk) {
    std::string upper = AvrdudeExecutableName();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    Put(upper);
    ASSERT_TRUE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
    for (const auto& call : runner.calls)
        EXPECT_EQ(call.argv[0], dir.WithSeparator() + upper);
}

TEST_F(ProgramByIspTest, WithoutALogTheProbesOwnWordsSayWhy) {
    runner.output = "avrdude: Cannot create logfile avrdude.log: Permission denied\n";
    runner.onRun = [](const sim::ScriptedRunner::Call&) { return 1; };  // writes no log
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
    EXPECT_EQ(Lines_t(Lines().end() - 2, Lines().end()),
              (Lines_t{"##### Error: AVRdude log not created",
                       "avrdude: Cannot create logfile avrdude.log: Permission denied"}));
}

#if !defined(_WIN32)
TEST_F(ProgramByIspTest, APortThisUserMayNotOpenSaysSoAndNamesTheGroup) {
    runner.onRun = sim::AvrdudeScript(
        "avrdude OS error: cannot open port /dev/ttyUSB5: Permission denied\n", 1);
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "5"));
    EXPECT_EQ(
        Lines_t(Lines().end() - 2, Lines().end()),
        (Lines_t{"##### Error: AVRdude COM. Is DIAMEX port# correct?", IspPortPermissionAdvice()}));
}
#endif

TEST_F(ProgramByIspTest, CancelDuringARunStopsTheProgramAndFailsThePass) {
    struct Row {
        int cancelledCall;
        bool ignoresStop;
    };
    for (const Row row : {Row{0, false}, Row{2, false}, Row{1, true}}) {
        SCOPED_TRACE("call " + std::to_string(row.cancelledCall));
        runner.calls.clear();
        ctx.console.Clear();
        ctx.CancelRequested = 0;
        runner.ignoresStop = row.ignoresStop;
        runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
            const bool cancelled = runner.calls.size() - 1 == std::size_t(row.cancelledCall);
            runner.runMs = cancelled ? 60'000 : 300;  // a programmer that does not answer
            if (cancelled) host.AfterMs(1'000, [&] { ctx.BtnCancelClick(); });
            return sim::AvrdudeScript(test::kCleanLog)(call);
        };
        const auto start = NowMs();
        EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
        const auto& stopped = runner.calls[std::size_t(row.cancelledCall)];
        EXPECT_GE(stopped.stops, 1);
        EXPECT_EQ(stopped.killed, row.ignoresStop) << "ended by force 2 s after the request";
        EXPECT_EQ(runner.calls.size(), std::size_t(row.cancelledCall) + 1);
        EXPECT_LT(NowMs() - start, row.ignoresStop ? 4'000u : 2'000u);
        if (row.cancelledCall > 0) {
            EXPECT_EQ(Lines().back(), kCancelWarning) << "no run-failed line after it";
        }
    }
}

TEST_F(ProgramByIspTest, AFailedProbeWithoutKeyWordsIsNotTakenAsClean) {
    runner.onRun = sim::AvrdudeScript("avrdude: something unexpected\n", 3);
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
    EXPECT_EQ(Lines().back(), "##### Error: AVRdude probe failed (exit code 3)");
    EXPECT_EQ(runner.calls.size(), 1u);
}

TEST_F(ProgramByIspTest, CancelBeforeTheProbeRunsNothing) {
    host.AfterMs(10, [&] { ctx.BtnCancelClick(); });
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_EQ(Lines(), Lines_t{"##### Warning: Process cancelled by user"});
}

TEST_F(ProgramByIspTest, CancelDuringTheProbeLoadsTheLogThenStops) {
    runner.runMs = 1000;
    host.AfterMs(400, [&] { ctx.BtnCancelClick(); });
    runner.onRun = sim::AvrdudeScript("avrdude: initialization failed\n", 1);
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
    EXPECT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(Lines(), Lines_t{"avrdude: initialization failed"}) << "no error lines";
}

TEST_F(ProgramByIspTest, NothingWithTheLinkClosed) {
    ctx.BoardLink.connected = false;
    EXPECT_FALSE(ProgramByIsp(ctx, "missing.hex", "0"));
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(ProgramByIspTest, TheRunnerWaitsInSlicesPulsingTheLampAndReportsTheExitCode) {
    runner.runMs = 500;
    runner.onRun = [](const sim::ScriptedRunner::Call&) { return 7; };
    const int processBefore = host.processCalls;
    const RunOutcome outcome = RunProgramAndWait(ctx, "/opt/x/prog", "a  b \t\r\n", "", true);
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.exitCode, 7);
    EXPECT_EQ(host.processCalls - processBefore, 9) << "a pulse after each of nine 50 ms slices";
    EXPECT_EQ(runner.calls.back().commandLine, "\"/opt/x/prog\" a  b");
    EXPECT_EQ(runner.calls.back().workingDirectory, "/opt/x/");

    RunProgramAndWait(ctx, "/opt/x/prog", "", "C:\\work\\", true);
    EXPECT_EQ(runner.calls.back().workingDirectory, "C:\\work");
    EXPECT_EQ(runner.calls.back().commandLine, "\"/opt/x/prog\" ");
    RunProgramAndWait(ctx, "/opt/x/prog", "", "/tmp/", true);
    EXPECT_EQ(runner.calls.back().workingDirectory, "/tmp/");

    runner.failToStart = true;
    EXPECT_FALSE(RunProgramAndWait(ctx, "/opt/x/prog", "", "", true).started);
}

#if !defined(_WIN32)
// The real avrdude against the emulated programmer: its own words decide the verdict.
class ProgramByIspAvrdudeTest : public test::AvrdudeBench {
  protected:
    void SetUp() override {
        if (!UseRealAvrdude()) GTEST_SKIP() << "avrdude is not installed";
        Connect();
        PutImage("TQ9gen3_ed2_b");
    }
    bool Logged(const std::string& line) const {
        return std::find(Lines().begin(), Lines().end(), line) != Lines().end();
    }
};

TEST_F(ProgramByIspAvrdudeTest, TheVerdictFollowsWhatAvrdudeWritesAndExitsWith) {
    struct Row {
        const char* fault;
        bool missingPort;
        const char* avrdudeSays;  // a line of avrdude 7.1's own
        const char* verdict;
        const char* fuses;  // the chip's afterwards
    };
    const Row rows[] = {
        {"none", true, nullptr, "##### Error: AVRdude COM. Is DIAMEX port# correct?",
         test::kFactoryFuses},
        {"no-target", false, "avrdude error: initialization failed, rc=-1",
         "##### Error: AVRdude device. Is CONF_DIS JP5 set?", test::kFactoryFuses},
        // No key word: its exit code alone says the probe failed.
        {"wrong-signature", false, "avrdude error: expected signature for ATmega644P is 1E 96 0A",
         "##### Error: AVRdude probe failed (exit code 1)", test::kFactoryFuses},
        // The fuses went in; the flash did not verify, so EEPROM and lock never followed.
        {"stuck-flash", false, nullptr, "##### Error: AVRdude flash run failed (exit code 1)",
         "lfuse=0xF7 hfuse=0xD2 efuse=0xFC lock=0xFF"},
        // The fuse run exits 0 although nothing took: only reading them back finds it, and
        // the flash is never written over fuses that are not the production ones.
        {"fuses-ignored", false, "avrdude error: verification mismatch",
         "##### Error: AVRdude fuse verify failed (exit code 1)", test::kFactoryFuses},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        ctx.console.Clear();
        StartProgrammer(row.fault);
        const std::string port = row.missingPort ? Port() + "-missing" : Port();
        EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", port));
        StopProgrammer();
        EXPECT_EQ(Lines().back(), row.verdict);
        if (row.avrdudeSays) {
            EXPECT_TRUE(Logged(row.avrdudeSays)) << ctx.console.Text();
        }
        EXPECT_EQ(Fuses(), row.fuses);
        if (std::string(row.fault) == "fuses-ignored") {
            EXPECT_EQ(StateFile("flash.bin"), std::vector<std::uint8_t>(65536, 0xFF));
        }
        std::filesystem::remove_all(dir.File("state"));
    }
}

TEST_F(ProgramByIspAvrdudeTest, CancelEndsAnAvrdudeWaitingForASilentProgrammer) {
    // Left alone, avrdude 7.1 waits out 48 timeouts (about 240 s) before it gives up.
    StartProgrammer("silent");
    onStart = [&] { host.At(0, [&] { ctx.BtnCancelClick(); }); };  // the probe is running
    const auto cancels = ctx.CancelRequests();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", Port()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    StopProgrammer();
    EXPECT_EQ(Fuses(), test::kFactoryFuses) << "nothing after the probe";
    EXPECT_EQ(ctx.CancelRequests(), cancels + 1) << "the cancel came while avrdude ran";
}
#endif

}  // namespace
}  // namespace tq9
