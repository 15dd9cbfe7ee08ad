// The main window's own handlers on a scripted host: start-up and shutdown, with the
// console, displays and controls they leave behind.

#include "ops/MainWindowOps.h"

#include <gtest/gtest.h>

#include "support/WindowOpsBench.h"

namespace tq9 {
namespace {

using Lines_t = std::vector<std::string>;

class MainWindowOpsTest : public test::WindowOpsBench {};

TEST_F(MainWindowOpsTest, StartUpWithoutAvrdudeReportsItAndKeepsProductionControlsOff) {
    Start();
    EXPECT_EQ(Lines(),
              (Lines_t{"Welcome to TQ9 Remote!", "##### Error: Missing file " + AvrdudeName()}));
    EXPECT_EQ(host.fields[Field::FPGAversion], "00000000");
    EXPECT_EQ(host.fields[Field::EditFirmwareVersion], "0");
    EXPECT_EQ(host.fields[Field::EditSerialNumber], "0");
    EXPECT_EQ(host.fields[Field::EditDiamex], "0");
    EXPECT_EQ(host.fields[Field::EditFTDIcom], "0");
    EXPECT_EQ(host.fields[Field::EditFTDIdevice], "-1");
    EXPECT_FALSE(host.enabled[Control::BtnRefresh]);
    EXPECT_FALSE(host.enabled[Control::ProdProg]);
    EXPECT_FALSE(host.enabled[Control::BtnAVRonly]);
    EXPECT_FALSE(host.enabled[Control::dd_FirmwareType]);
    EXPECT_TRUE(ctx.BusyLedLit());
    EXPECT_EQ(ctx.ProgramDirectory, programDir.WithSeparator());
}

TEST_F(MainWindowOpsTest, StartUpWithAvrdudeGreetsOnlyAndEnablesProductionControls) {
    Start(true);
    EXPECT_EQ(Lines(), Lines_t{"Welcome to TQ9 Remote!"});
    EXPECT_TRUE(host.enabled[Control::ProdProg]);
    EXPECT_TRUE(host.enabled[Control::BtnAVRonly]);
    EXPECT_TRUE(host.enabled[Control::dd_FirmwareType]);
}

TEST_F(MainWindowOpsTest, ShutdownClosesAnOpenDeviceAndReleasesTheObject) {
    Start();
    FormDestroy(ctx);  // nothing ever opened: nothing to close
    EXPECT_EQ(ctx.CancelRequested, 1);
    EXPECT_EQ(driver.CallCount(sim::Call::Close), 0);

    ctx.CancelRequested = 0;
    BtnRescanClick(ctx);
    ASSERT_TRUE(cable.IsOpen());
    FormDestroy(ctx);
    EXPECT_FALSE(cable.IsOpen());
    EXPECT_EQ(ctx.BoardLink.device, nullptr);
    EXPECT_FALSE(ctx.BoardLink.connected);
}

}  // namespace
}  // namespace tq9
