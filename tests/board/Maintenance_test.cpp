// FPGA update, finalize and the test port against the emulated board.

#include <gtest/gtest.h>

#include "board/Maintenance.h"
#include "support/BoardBench.h"

namespace tq9 {
namespace {

using Lines_t = std::vector<std::string>;

class MaintenanceTest : public test::BoardBench {
  protected:
    void SetUp() override { Connect(); }
    void CloseLink() {
        ctx.BoardLink.device->closeDevice();
        ctx.BoardLink.connected = false;
    }
};

TEST_F(MaintenanceTest, FinalizeShowsEachStepAndTheBoardsReportsInOrder) {
    BtnFinalizeClick(ctx);
    const Lines_t expected = {"Finalizing...",
                              "254=3.65 [AVR, TQ95-Organ]\r",
                              "Found Firmware \"TQ95-Organ\" on TQ9",
                              "3=[#0813A7C2]\r",
                              "",
                              "9952=12345\r",
                              "Save Factory Defaults...",
                              "EPS=9!",
                              "Storing factory defaults...",
                              "#EPS done",
                              "Program transfer to Reverb DSP...",
                              "9960=10!",
                              "Reverb DSP program transfer...",
                              "DSP verify OK",
                              "#DSP done"};
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(board->commands,
              (Lines_t{"253?", "254?", "3?", "253?", "9952?", "EPS=9!", "9960=10!"}));
}

TEST_F(MaintenanceTest, ACancelDuringTheIdentificationStillSendsBothCommands) {
    host.AfterMs(400, [&] { ctx.BtnCancelClick(); });
    BtnFinalizeClick(ctx);
    EXPECT_NE(std::find(Lines().begin(), Lines().end(), "##### Warning: Process cancelled by user"),
              Lines().end());
    EXPECT_EQ(Queries("3?"), 0) << "the read stopped";
    EXPECT_EQ(Queries("EPS=9!"), 1);
    EXPECT_EQ(Queries("9960=10!"), 1);
    EXPECT_EQ(ctx.CancelRequested, 0);
    EXPECT_EQ(Lines().back(), "#DSP done");
}

TEST_F(MaintenanceTest, ACancelDuringTheFirstReportLeavesBothReportsWhole) {
    board->timing.reportUs = 4'000'000;  // the report's lines come seconds apart
    bool clicked = false;
    host.SetTimer(10, [&] {
        if (!clicked && !Lines().empty() && Lines().back() == "Storing factory defaults...") {
            clicked = true;
            ctx.BtnCancelClick();
        }
    });
    BtnFinalizeClick(ctx);
    ASSERT_TRUE(clicked);
    const auto from = std::find(Lines().begin(), Lines().end(), "Save Factory Defaults...");
    EXPECT_EQ(Lines_t(from, Lines().end()),
              (Lines_t{"Save Factory Defaults...", "EPS=9!", "Storing factory defaults...",
                       kCancelWarning, "#EPS done", "Program transfer to Reverb DSP...", "9960=10!",
                       "Reverb DSP program transfer...", "DSP verify OK", "#DSP done"}));
    EXPECT_EQ(cable.Queued(), 0u) << "nothing of either report left unread";
}

TEST_F(MaintenanceTest, FinalizeWithTheLinkClosedOnlySaysSo) {
    CloseLink();
    ctx.CancelRequested = 1;
    BtnFinalizeClick(ctx);
    EXPECT_EQ(Lines(), Lines_t{"Finalizing..."});
    EXPECT_EQ(ctx.CancelRequested, 0);
    EXPECT_TRUE(board->commands.empty());
}

TEST_F(MaintenanceTest, FpgaUpdateWaitsForTheBoardThenEchoesItsReport) {
    BtnFPGAprogClick(ctx);
    EXPECT_EQ(board->commands, (Lines_t{"253?", "UPD 2=1!"}));
    EXPECT_EQ(Lines().front(), "UPD 2=1!");
    EXPECT_EQ(Lines().back(), "#UPD done");
}

TEST_F(MaintenanceTest, FpgaUpdateWithAnOldCancelWarnsAfterOnePollAndSendsAnyway) {
    board->faults.silent = true;
    ctx.CancelRequested = 1;
    board->faults.reportWithoutHash = true;
    host.AfterMs(3000, [&] { ctx.BtnCancelClick(); });  // ends the silent echo
    BtnFPGAprogClick(ctx);
    EXPECT_EQ(Queries("253?"), 1);
    EXPECT_EQ(Queries("UPD 2=1!"), 1);
    EXPECT_EQ(Lines()[0], "##### Warning: Process cancelled by user");
    EXPECT_EQ(Lines()[1], "UPD 2=1!");
    EXPECT_EQ(ctx.CancelRequested, 1) << "neither cleared nor tested by the update itself";
}

TEST_F(MaintenanceTest, FpgaUpdateDoesNothingWhileTheLinkIsClosed) {
    CloseLink();
    BtnFPGAprogClick(ctx);
    EXPECT_TRUE(Lines().empty());
    EXPECT_TRUE(board->commands.empty());
}

TEST_F(MaintenanceTest, PickingATestPortWritesParameter65WithTheEntryNumber) {
    TakeWire();
    ComboBox1Change(ctx, 7);
    EXPECT_EQ(TakeWire(), "65=7\r");
    EXPECT_TRUE(Lines().empty());
    clock.Advance(10'000);
    EXPECT_EQ(board->params[65], 7);
}

TEST_F(MaintenanceTest, APickWhileClosedIsNotCaughtUpLater) {
    CloseLink();
    TakeWire();
    ComboBox1Change(ctx, 3);
    EXPECT_EQ(TakeWire(), "");
    Connect();
    EXPECT_EQ(TakeWire(), "") << "nothing is sent when the link opens again";
    ComboBox1Change(ctx, 5);
    EXPECT_EQ(TakeWire(), "65=5\r");
}

}  // namespace
}  // namespace tq9
