// The production run and the AVR-only run: file check, dialogs, programming, reconnect,
// error counting and the result dialog.

#include <gtest/gtest.h>

#include "isp/Production.h"
#include "support/IspBench.h"

#if !defined(_WIN32)
#include "support/AvrdudeBench.h"
#endif

namespace tq9 {
namespace {

using Lines_t = std::vector<std::string>;
using sim::ScriptedHost;

class ProductionTest : public test::IspBench {
  protected:
    void SetUp() override {
        Connect();
        ctx.BoardLink.selectedIndex = 0;
        PutProductionFiles();
    }
    void Remove(const std::string& name) const { std::filesystem::remove(dir.File(name)); }
    Lines_t Dialogs() const {
        Lines_t texts;
        for (const auto& m : host.messages)
            texts.push_back(m.text);
        return texts;
    }
    bool Logged(const std::string& line) const {
        return std::find(Lines().begin(), Lines().end(), line) != Lines().end();
    }
};

TEST_F(ProductionTest, AllFilesPresentGivesTheTwoFoundLines) {
    Put("fpga_aaa.bit");
    EXPECT_FALSE(CheckProductionFiles(ctx));
    EXPECT_EQ(Lines(),
              (Lines_t{"Found FPGA BIT file: fpga_aaa.bit", "Found firmware HEX file(s)"}));
    EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(ProductionTest, MissingFilesAreListedInOrderAndCountedAsTheTableSays) {
    struct Row {
        std::vector<std::string> removed;
        Lines_t lines;
        int counted;
    };
    const std::string avrdudeLine =
        std::string("##### Error: Missing file ") + AvrdudeDisplayName();
    const Row rows[] = {
        {{"avrdude.conf"}, {avrdudeLine}, 1},
        {{"dsp_rev.bin"}, {"##### Error: Missing file dsp_rev.bin"}, 0},
        {{"tq_midi.dat"}, {"##### Error: Missing file tq_midi.dat"}, 1},
        {{"fir_coeff.dat"}, {"##### Error: Missing file fir_coeff.dat"}, 1},
        {{"taper_levels1.dat"}, {"##### Error: Missing file taper_levels1.dat"}, 0},
        {{"taper_levels2.dat"}, {"##### Error: Missing file taper_levels2.dat"}, 1},
        {{"taper_levels3.dat"}, {"##### Error: Missing file taper_levels3.dat"}, 1},
        {{"taper_levels4.dat"}, {"##### Error: Missing file taper_levels4.dat"}, 1},
        {{"taper_levels1.dat", "taper_levels4.dat", "fpga_tq95_v21.bit"},
         {"##### Error: Missing FPGA file", "##### Error: Missing file taper_levels1.dat",
          "##### Error: Missing file taper_levels4.dat"},
         2},
    };
    for (const Row& row : rows) {
        PutProductionFiles();
        for (const auto& name : row.removed)
            Remove(name);
        ctx.console.Clear();
        ctx.ErrorCount = 0;
        ctx.ErrorKind = noErr;
        EXPECT_TRUE(CheckProductionFiles(ctx));
        Lines_t errors;
        for (const auto& line : Lines()) {
            if (line.rfind("#####", 0) == 0) errors.push_back(line);
        }
        EXPECT_EQ(errors, row.lines);
        EXPECT_EQ(ctx.ErrorCount, row.counted);
        EXPECT_EQ(ctx.ErrorKind, row.counted ? FileErr : noErr);
    }
}

TEST_F(ProductionTest, ResultDialogHasThreeForms) {
    ctx.ErrorCount = 0;
    ctx.ErrorKind = ComErr;
    ShowRunResult(ctx, "Advice.");
    ctx.ErrorCount = 2;
    ctx.ErrorKind = SyncErr;
    ShowRunResult(ctx, "Advice.");
    ctx.ErrorCount = 1;
    ctx.ErrorKind = ComErr;
    ShowRunResult(ctx, "Advice.");
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[0].kind, MessageKind::Information);
    EXPECT_EQ(host.messages[0].text, "Operation succesfull.\rAdvice.\rTQ9 board ready for test.");
    EXPECT_EQ(host.messages[1].kind, MessageKind::Warning);
    EXPECT_EQ(host.messages[1].text,
              "2 minor Error(s) of type SyncErr occured.\rAdvice.\rRepeat procedure if TQ9 board "
              "fails test.");
    EXPECT_EQ(host.messages[2].kind, MessageKind::Error);
    EXPECT_EQ(host.messages[2].text,
              "1 severe Error(s) of type ComErr occured.\rAdvice.\rRepeat update procedure.");
    EXPECT_EQ(host.sounds.size(), 3u);
    EXPECT_STREQ(ErrorKindName(ErrKind7), "");
    EXPECT_STREQ(ErrorKindName(CancelErr), "CancelErr");
}

TEST_F(ProductionTest, ARunToSuccess) {
    Lines_t consoleAtFirstDialog;
    host.onMessage = [&](const ScriptedHost::Message&) {
        if (consoleAtFirstDialog.empty()) consoleAtFirstDialog = Lines();
    };
    ProdProgClick(ctx);
    EXPECT_EQ(host.deviceDialogShown, 0) << "no device flow needed";
    EXPECT_EQ(consoleAtFirstDialog,
              (Lines_t{"Found FPGA BIT file: fpga_tq95_v21.bit", "Found firmware HEX file(s)"}));
    EXPECT_EQ(Dialogs(), (Lines_t{kConnectIspPrompt, kJumperPrompt, kRunSucceeded}));
    EXPECT_EQ(runner.calls.size(), 4u);
    EXPECT_TRUE(Logged("Waiting for AVR boot... "));
    EXPECT_TRUE(Logged("Serial Number: 12345"));
    EXPECT_EQ(ctx.ErrorCount, 0);
    EXPECT_TRUE(ctx.BoardLink.connected);
}

TEST_F(ProductionTest, AMissingFileEndsTheRunWithoutADialog) {
    Remove("tq_midi.dat");
    ProdProgClick(ctx);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_EQ(ctx.ErrorCount, 1);
}

TEST_F(ProductionTest, AnUncleanProbeEndsAfterTheFirstDialog) {
    runner.onRun = sim::AvrdudeScript("avrdude: ser_open(): can't open device\n", 1);
    ProdProgClick(ctx);
    EXPECT_EQ(Dialogs(), Lines_t{kConnectIspPrompt});
    EXPECT_EQ(Lines().back(), "##### Error: AVRdude COM. Is DIAMEX port# correct?");
}

TEST_F(ProductionTest, ABoardThatNeverAnswersAfterProgrammingEndsInTheResultDialog) {
    runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
        board->faults.silent = true;  // the freshly programmed controller stays quiet
        return sim::AvrdudeScript(test::kCleanLog)(call);
    };
    ProdProgClick(ctx);
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[2].kind, MessageKind::Error);
    EXPECT_EQ(host.messages[2].text,
              "1 severe Error(s) of type ComErr occured.\rTQ9 does not respond. Cycle power and "
              "finalize again.\rRepeat update procedure.");
    // The first read after the failed reconnect returns at once (the run set the cancel
    // flag); the link is connected, so the flag is cleared and the second read runs.
    EXPECT_EQ(Queries("9952?"), 1);
    EXPECT_EQ(ctx.CancelRequested, 0);
    EXPECT_TRUE(ctx.BoardLink.connected);
}

TEST_F(ProductionTest, ALinkThatCannotBeReopenedEndsWithTheNoResponseDialogOnly) {
    runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
        if (!call.hidden) {  // during the flash run the cable is pulled and the link closes
            CloseBoardLink(ctx);
            cable.plugged = false;
        }
        return sim::AvrdudeScript(test::kCleanLog)(call);
    };
    ProdProgClick(ctx);
    // The reopen before the jumper prompt fails, and so does the reconnect after it.
    EXPECT_EQ(Dialogs(),
              (Lines_t{kConnectIspPrompt, kNoResponseDialog, kJumperPrompt, kNoResponseDialog}));
    EXPECT_EQ(ctx.ErrorKind, SyncErr);
    EXPECT_EQ(ctx.CancelRequested, 1);
    EXPECT_EQ(ctx.BoardLink.comNumber, -1);
    EXPECT_EQ(host.fields[Field::DeviceView], "(not selected)");
    EXPECT_TRUE(Logged("##### Error: No response from FTDI cable or TQ9 USB extension!"));
}

TEST_F(ProductionTest, AClosedLinkWithoutAChosenCableGoesThroughTheDeviceFlow) {
    runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
        if (!call.hidden) CloseBoardLink(ctx);
        return sim::AvrdudeScript(test::kCleanLog)(call);
    };
    ctx.BoardLink.comNumber = -1;
    ProdProgClick(ctx);
    EXPECT_EQ(host.deviceDialogShown, 1);
    EXPECT_EQ(host.messages.back().text, kRunSucceeded);
}

TEST_F(ProductionTest, EachRuleDecidesHowARunEnds) {
    // Plays avrdude with a clean log; `onCall` runs as run n (0 probe, 1 fuses, 2 flash)
    // starts, and the run exits with its return value.
    auto script = [&](std::function<int(std::size_t)> onCall) {
        runner.onRun = [&, onCall](const sim::ScriptedRunner::Call& call) {
            sim::AvrdudeScript(test::kCleanLog)(call);
            return onCall(runner.calls.size() - 1);
        };
    };
    const std::string flash = "TQ9gen3_ed2_b.hex";
    Lines_t atProbe;
    struct Row {
        const char* rule;
        std::function<void()> arrange;
        bool avrOnly;
        std::function<void()> check;
    };
    const Row rows[] = {
        {"a flash run that fails ends the run before the jumpers",
         [&] { script([](std::size_t n) { return n == 3 ? 1 : 0; }); }, false,
         [&] {
             EXPECT_EQ(Dialogs(), Lines_t{kConnectIspPrompt});
             EXPECT_EQ(Lines().back(), "##### Error: AVRdude flash run failed (exit code 1)");
         }},
        {"a cancel right after programming ends the run",
         [&] {
             script([&](std::size_t n) {
                 if (n == 3) host.AfterMs(runner.runMs - 10, [&] { ctx.BtnCancelClick(); });
                 return 0;
             });
         },
         false,
         [&] {
             EXPECT_EQ(Dialogs(), Lines_t{kConnectIspPrompt});
             EXPECT_EQ(Lines().back(), kCancelWarning);
         }},
        {"a cancel during the AVR-only run's pause ends it before the reconnect",
         [&] {
             script([&](std::size_t n) {
                 if (n == 3) host.AfterMs(runner.runMs + 500, [&] { ctx.BtnCancelClick(); });
                 return 0;
             });
         },
         true,
         [&] {
             EXPECT_EQ(Lines().back(), kCancelWarning);
             EXPECT_EQ(Queries("253?"), 0);
         }},
        {"a clean file check clears the count of an earlier run",
         [&] {
             ctx.ErrorCount = 5;
             ctx.ErrorKind = ComErr;
         },
         false,
         [&] {
             EXPECT_EQ(ctx.ErrorCount, 0);
             EXPECT_EQ(Dialogs().back(), kRunSucceeded);
         }},
        {"a reopened link clears the count and shows the cable on its COM port",
         [&] {
             script([&](std::size_t n) {
                 if (n == 3) {
                     CloseBoardLink(ctx);
                     ctx.ErrorCount = 3;
                     ctx.ErrorKind = TxErr;
                 }
                 return 0;
             });
         },
         false,
         [&] {
             EXPECT_EQ(ctx.ErrorCount, 0);
             EXPECT_EQ(Dialogs().back(), kRunSucceeded);
             EXPECT_EQ(host.fields[Field::DeviceView], "TTL232R-5V on COM0");
         }},
        {"an error above SyncErr asks to repeat the programming",
         [&] {
             host.onMessage = [&](const ScriptedHost::Message& message) {
                 if (message.text != kJumperPrompt) return;
                 ++ctx.ErrorCount;
                 ctx.ErrorKind = TxErr;
             };
         },
         false,
         [&] {
             EXPECT_EQ(Dialogs().back(),
                       "1 severe Error(s) of type TxErr occured.\rRepeat programming "
                       "procedure.\rRepeat update procedure.");
         }},
        {"the pass's three lines stand in the console when the probe starts",
         [&] {
             script([&](std::size_t n) {
                 if (n == 0) atProbe = Lines_t(Lines().end() - 3, Lines().end());
                 return 0;
             });
         },
         false,
         [&] {
             EXPECT_EQ(atProbe,
                       (Lines_t{"Programming with DIAMEX ISP on COM 0",
                                "Flash \u00b4file: " + flash, "EEPROM file: TQ9gen3_ed2_b.eep"}));
         }},
        {"avrdude.conf is found without regard to case and passed as it stands on disk",
         [&] {
             Remove("avrdude.conf");
             Put("AVRDUDE.Conf");
         },
         false,
         [&] {
             ASSERT_EQ(runner.calls.size(), 4u);
             for (const auto& call : runner.calls)
                 EXPECT_NE(call.commandLine.find("-C \"AVRDUDE.Conf\""), std::string::npos);
             EXPECT_EQ(Dialogs().back(), kRunSucceeded);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        PutProductionFiles();
        runner.calls.clear();
        runner.onRun = sim::AvrdudeScript(test::kCleanLog);
        host.messages.clear();
        host.onMessage = nullptr;
        board->commands.clear();
        ctx.console.Clear();
        if (!ctx.BoardLink.connected) Connect();
        row.arrange();
        if (row.avrOnly) {
            BtnAVRonlyClick(ctx);
        } else {
            ProdProgClick(ctx);
        }
        row.check();
        Remove("AVRDUDE.Conf");
    }
}

TEST_F(ProductionTest, NothingHappensWithTheLinkClosed) {
    ctx.BoardLink.connected = false;
    ctx.ConsoleAdd("kept");
    ProdProgClick(ctx);
    BtnAVRonlyClick(ctx);
    EXPECT_EQ(Lines(), Lines_t{"kept"});
}

TEST_F(ProductionTest, AvrOnlyWithTheSeparatorCountsAFileErrorButStillReconnects) {
    host.fields[Field::dd_FirmwareType] = std::string(30, '-');
    const auto start = NowMs();
    BtnAVRonlyClick(ctx);
    EXPECT_EQ(Lines()[0], "Setting AVR Fuse Bits...");
    EXPECT_EQ(Lines()[1], "Programming AVR controller by ISP...");
    EXPECT_EQ(Lines()[2], "##### Error: HEX flash file not found");
    EXPECT_EQ(ctx.ErrorCount, 1);
    EXPECT_EQ(ctx.ErrorKind, FileErr);
    EXPECT_GE(NowMs() - start, 2000u);
    EXPECT_TRUE(host.messages.empty()) << "an answering board is not reported as silent";
    EXPECT_TRUE(ctx.BoardLink.connected);
    EXPECT_EQ(Queries("RLD"), 1);
    EXPECT_EQ(Lines()[Lines().size() - 2], "Scan Version: MIDI input");
}

// The program closing (the window, a second Ctrl-C) ends every wait of a pass at once: an
// avrdude that takes no notice of the request is ended by force without its grace, and
// the board wait after it does not run out its 2 s.
TEST_F(ProductionTest, AStopEndsEveryWaitOfTheAvrOnlyRunAtOnce) {
    runner.ignoresStop = true;
    runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
        runner.runMs = 600'000;  // a programmer that does not answer
        host.AfterMs(1'000, [&] { ctx.BtnCancelClick(); });
        host.AfterMs(1'500, [&] { ctx.RequestStop(); });
        return sim::AvrdudeScript(test::kCleanLog)(call);
    };
    const auto start = NowMs();
    BtnAVRonlyClick(ctx);
    ASSERT_EQ(runner.calls.size(), 1u);
    EXPECT_TRUE(runner.calls[0].killed);
    EXPECT_LT(NowMs() - start, 1'700u) << "neither the 2 s grace nor the 2 s board wait";
    EXPECT_EQ(Queries("253?"), 0) << "no reconnect after the stop";
}

// The window closing while the freshly programmed board is awaited ends the production
// run there: no reply waited for any more, no result dialog, the stop as its failed step
// (a board that never answers would otherwise hold the closing window some 12 s).
TEST_F(ProductionTest, AStopWhileTheProgrammedBoardIsAwaitedEndsTheRunAtOnce) {
    runner.onRun = [&](const sim::ScriptedRunner::Call& call) {
        board->faults.silent = true;
        return sim::AvrdudeScript(test::kCleanLog)(call);
    };
    std::uint64_t stoppedAt = 0;
    host.onMessage = [&](const ScriptedHost::Message& message) {
        if (message.text != kJumperPrompt) return;
        host.AfterMs(1'600, [&] {
            ctx.RequestStop();
            stoppedAt = NowMs();
        });
    };
    ProdProgClick(ctx);
    ASSERT_NE(stoppedAt, 0u);
    EXPECT_LT(NowMs() - stoppedAt, 20u);
    EXPECT_EQ(Dialogs(), (Lines_t{kConnectIspPrompt, kJumperPrompt}));
    EXPECT_EQ(ctx.FailedStep, kFailedCancel);
}

TEST_F(ProductionTest, AvrOnlyWithASilentBoardSaysTheControllerDoesNotRespond) {
    board->faults.silent = true;
    BtnAVRonlyClick(ctx);
    EXPECT_EQ(Lines().back(), "##### Error: Controller not responding!");
}

#if !defined(_WIN32)
// The production and AVR-only runs with the real avrdude programming the emulated chip.
class ProductionAvrdudeTest : public test::AvrdudeBench {
  protected:
    void SetUp() override {
        PutProductionFiles();
        if (!UseRealAvrdude()) GTEST_SKIP() << "avrdude is not installed";
        Connect();
        ctx.BoardLink.selectedIndex = 0;
        std::filesystem::remove(dir.File("TQ9gen3_ed2_b.hex"));
        std::filesystem::remove(dir.File("TQ9gen3_ed2_b.eep"));
        PutImage("TQ9gen3_ed2_b");
        StartProgrammer();
        host.fields[Field::EditDiamex] = Port();
        // The board runs what the programmer wrote: nothing yet.
        board->flashImage = dir.File("state/flash.bin").string();
    }
    void ExpectProgrammed() {
        StopProgrammer();
        EXPECT_EQ(StateFile("flash.bin"), HexImage("TQ9gen3_ed2_b.hex", 65536));
        EXPECT_EQ(StateFile("eeprom.bin"), HexImage("TQ9gen3_ed2_b.eep", 2048));
        EXPECT_EQ(Fuses(), test::kProductionFuses);
    }
    bool Logged(const std::string& line) const {
        return std::find(Lines().begin(), Lines().end(), line) != Lines().end();
    }
};

TEST_F(ProductionAvrdudeTest, AWholeRunProgramsTheChip) {
    ProdProgClick(ctx);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text, kRunSucceeded) << ctx.console.Text();
    EXPECT_TRUE(Logged("avrdude: device signature = 0x1e960a (probably m644p)"))
        << "the real probe log";
    ASSERT_EQ(host.outputWindows.size(), 1u);
    EXPECT_NE(host.outputWindows[0].text.find("bytes of flash verified"), std::string::npos);
    EXPECT_TRUE(Logged("Firmware Version: TQ95-g3ed2 #3.72")) << "the image just programmed";
    ExpectProgrammed();
}

TEST_F(ProductionAvrdudeTest, AvrOnlyProgramsTheChipAndReconnects) {
    BtnAVRonlyClick(ctx);
    EXPECT_EQ(Lines()[Lines().size() - 2], "Scan Version: MIDI input") << ctx.console.Text();
    EXPECT_TRUE(Logged("Firmware Version: TQ95-g3ed2 #3.72"));
    ExpectProgrammed();

    // A flash that did not take leaves a controller with nothing to run.
    StartProgrammer("stuck-flash");
    host.fields[Field::EditDiamex] = Port();
    ctx.console.Clear();
    BtnAVRonlyClick(ctx);
    EXPECT_TRUE(Logged("##### Error: AVRdude flash run failed (exit code 1)"));
    EXPECT_EQ(Lines().back(), "##### Error: Controller not responding!");
    EXPECT_FALSE(Logged("Firmware Version: TQ95-g3ed2 #3.72"));
}
#endif

}  // namespace
}  // namespace tq9
