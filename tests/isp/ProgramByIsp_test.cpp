// One ISP pass: the three avrdude command lines, the probe log's verdict, the refusals,
// cancels, and the runner's working directory, wait and exit code.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "base/Platform.h"
#include "isp/ProgramByIsp.h"
#include "records/RecordStore.h"
#include "support/IspBench.h"

#if !defined(_WIN32)
#include <signal.h>

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
    EXPECT_EQ(IspPortArgument("00"), "/dev/ttyUSB0") << "a port number, not a text";
    EXPECT_EQ(IspPortArgument("007"), "/dev/ttyUSB7");
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
        // Whole only with its end-of-file record, and nothing but blanks after it: avrdude
        // would write what a file cut short holds and only warn.
        {":00000001FF\nGARBAGE\n", ok,
         "##### Error: HEX flash file TQ9gen3_ed2_b.hex has more after its end-of-file record in "
         "line 2"},
        {filled(4096).substr(0, filled(4096).rfind(":00000001FF")), ok,
         "##### Error: HEX flash file TQ9gen3_ed2_b.hex has no end-of-file record (cut short?)"},
        {ok, ":0100000000FF\n",
         "##### Error: EEPROM file TQ9gen3_ed2_b.eep has no end-of-file record (cut short?)"},
        {":0400000001020304F2\n:00000001FF\n:0400000001020304F2\n", ok,
         "##### Error: HEX flash file TQ9gen3_ed2_b.hex has more after its end-of-file record in "
         "line 3"},
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
        EXPECT_EQ(ctx.FailedStep, kFailedImageCheck);
    }
    // Exactly full memories are taken; an EEPROM image may hold no data; blank lines may
    // follow the end.
    for (const auto& [hex, eep] : {std::pair{filled(65536), filled(2048)},
                                   std::pair{ok + "\r\n \n", std::string(":00000001FF\r\n")}}) {
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

// Every avrdude run has a limit fitted to its job: one past it is stopped as a Cancel stops
// it (by force 2 s later if it takes no notice), and the pass fails naming the run and the
// limit. The flash run's limit grows with the image: a full flash may take longer than
// the probe's.
TEST_F(ProgramByIspTest, ARunPastItsLimitIsStoppedAndFailsThePassNamingIt) {
    struct Row {
        std::size_t call;
        const char* line;
        const char* step;
    };
    const Row rows[] = {
        {0,
         "##### Error: AVRdude probe did not end within 30 s and was stopped. Unplug DIAMEX "
         "from USB and reconnect.",
         kFailedProbe},
        {1,
         "##### Error: AVRdude fuse run did not end within 30 s and was stopped. Unplug "
         "DIAMEX from USB and reconnect.",
         kFailedFuses},
        {2,
         "##### Error: AVRdude fuse read-back did not end within 30 s and was stopped. "
         "Unplug DIAMEX from USB and reconnect.",
         kFailedFuseReadBack},
        {3,
         "##### Error: AVRdude flash run did not end within 31 s and was stopped. Unplug "
         "DIAMEX from USB and reconnect.",
         kFailedFlash},
    };
    for (const Row& row : rows) {
        for (const bool ignoresStop : {false, true}) {
            SCOPED_TRACE("call " + std::to_string(row.call) + (ignoresStop ? ", deaf" : ""));
            runner.calls.clear();
            ctx.console.Clear();
            ctx.FailedStep.clear();
            runner.ignoresStop = ignoresStop;
            runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
                // A programmer that never answers: avrdude 7.1 then retries for minutes.
                runner.runMs = runner.calls.size() - 1 == row.call ? 600'000 : 300;
                return sim::AvrdudeScript(test::kCleanLog)(call);
            };
            const auto start = NowMs();
            EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
            ASSERT_EQ(runner.calls.size(), row.call + 1) << "nothing after the stopped run";
            EXPECT_GE(runner.calls[row.call].stops, 1);
            EXPECT_EQ(runner.calls[row.call].killed, ignoresStop);
            EXPECT_EQ(Lines().back(), row.line);
            EXPECT_EQ(ctx.FailedStep, row.step);
            EXPECT_LT(NowMs() - start, 40'000u);
            EXPECT_EQ(ctx.CancelRequested, 0) << "a limit is no operator's cancel";
        }
    }
    // A full flash at the -B2 clock is given the time it needs.
    runner.ignoresStop = false;
    runner.calls.clear();
    std::string full;
    char record[64];
    for (unsigned at = 0; at < 65536; at += 16) {
        std::snprintf(record, sizeof record, ":10%04X00%s%02X\n", at, std::string(32, '0').c_str(),
                      (0x100 - (16 + (at >> 8) + (at & 0xFF)) % 256) % 256);
        full += record;
    }
    Put("TQ9gen3_ed2_b.hex", full + ":00000001FF\n");
    EXPECT_GT(FlashRunLimitMs(ctx.avrdudeLimits, 65536, 0, 2), 90'000u);
    runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
        runner.runMs = runner.calls.size() == 4 ? 60'000 : 300;  // a slow but sound flash run
        return sim::AvrdudeScript(test::kCleanLog)(call);
    };
    EXPECT_TRUE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0")) << ctx.console.Text();
    EXPECT_EQ(runner.calls[3].stops, 0);
}

// Two stations on one bench directory take turns for the probe alone: one that finds the
// other probing is told who holds the directory and still ends its wait on a Cancel; one
// that comes during the other's flash run goes ahead at once.
TEST_F(ProgramByIspTest, TwoStationsTakeTurnsForTheProbeAloneAndTheWaitingOneIsToldWho) {
    sim::ScriptedHost otherHost(clock);
    AppContext other(otherHost);
    sim::ScriptedRunner otherRunner(clock);
    other.runner = &otherRunner;
    other.ProgramDirectory = ctx.ProgramDirectory;
    other.BoardLink.connected = true;  // the pass never talks to the board itself
    otherRunner.onRun = sim::AvrdudeScript(test::kCleanLog);
    ctx.ProgramName = "tq9ctl";
#if !defined(_WIN32)
    // A link planted under the holder file's name is replaced, never written through.
    Put("victim.txt", "untouched");
    std::filesystem::create_symlink(dir.File("victim.txt"), dir.File("avrdude.log.holder"));
#endif
    bool otherResult = false;
    runner.onRun = [&](const sim::ScriptedRunner::Call& call) -> int {
        const std::size_t index = runner.calls.size() - 1;
        if (index == 0 || index == 3) {  // while this station probes, then while it flashes
            other.console.Clear();
            otherRunner.calls.clear();
            other.CancelRequested = 0;
            // The cancel bounds a wait that should not be there.
            otherHost.AfterMs(index == 0 ? 1'000 : 60'000, [&] { other.BtnCancelClick(); });
            otherResult = ProgramByIsp(other, "TQ9gen3_ed2_b.hex", "3");
        }
        if (index == 0) {
            EXPECT_FALSE(otherResult);
            EXPECT_TRUE(otherRunner.calls.empty()) << "it waited for this one's probe";
            const std::vector<std::string>& lines = other.console.Lines();
            std::string waiting;
            for (const std::string& line : lines) {
                if (line.rfind("Waiting for", 0) == 0) waiting = line;
            }
            const std::string expected = "Waiting for another station's AVRdude probe in " +
                                         ctx.ProgramDirectory + " (host " + HostName() +
                                         ", program tq9ctl, process " +
                                         std::to_string(CurrentProcessId()) + ", DIAMEX port " +
                                         IspPortArgument("0") + ", since ";
            EXPECT_EQ(waiting.substr(0, expected.size()), expected) << other.console.Text();
            if (waiting.size() >= expected.size() + 21) {
                EXPECT_TRUE(RecordDateValid(waiting.substr(expected.size(), 20))) << waiting;
            }
            EXPECT_EQ(lines.back(), kCancelWarning);
        }
        if (index == 3) {
            EXPECT_TRUE(otherResult) << other.console.Text();
            EXPECT_EQ(otherRunner.calls.size(), 4u);
        }
        return sim::AvrdudeScript(test::kCleanLog)(call);
    };
    EXPECT_TRUE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", "0"));
    EXPECT_EQ(runner.calls.size(), 4u);
#if !defined(_WIN32)
    std::ifstream victim(dir.File("victim.txt"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "untouched");
#endif
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
        // One fuse alone that does not take is found as surely.
        {"efuse-ignored", false, "avrdude error: verification mismatch",
         "##### Error: AVRdude fuse verify failed (exit code 1)",
         "lfuse=0xF7 hfuse=0xD2 efuse=0xFF lock=0xFF"},
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
        if (std::string(row.fault).find("fuses-ignored") != std::string::npos) {
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

// Left alone, the same avrdude is stopped at its limit (here shortened) and the pass fails
// naming it: no station waits for ever on a programmer that does not answer.
TEST_F(ProgramByIspAvrdudeTest, ALimitEndsAnAvrdudeWaitingForASilentProgrammer) {
    StartProgrammer("silent");
    ctx.avrdudeLimits.probeMs = 2'000;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ProgramByIsp(ctx, "TQ9gen3_ed2_b.hex", Port()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    StopProgrammer();
    EXPECT_EQ(Lines().back(),
              "##### Error: AVRdude probe did not end within 2 s and was stopped. Unplug DIAMEX "
              "from USB and reconnect.");
    EXPECT_EQ(ctx.ProgramRuns.back().exitCode, 128 + SIGTERM);
    EXPECT_NE(ctx.ProgramRuns.back().output.find("[ended by signal 15"), std::string::npos)
        << ctx.ProgramRuns.back().output;
    EXPECT_EQ(Fuses(), test::kFactoryFuses);
}
#endif

}  // namespace
}  // namespace tq9
