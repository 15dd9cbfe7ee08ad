// The device flow on a scripted host, after the window's start-up: the dialog's rows, the
// console, the displays and button sets it leaves behind, and Close.

#include "board/DeviceFlow.h"

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "support/WindowOpsBench.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace tq9 {
namespace {

using Lines_t = std::vector<std::string>;

class DeviceFlowTest : public test::WindowOpsBench {};

TEST_F(DeviceFlowTest, DeviceFlowOpensIdentifiesAndEnablesTheBoardButtons) {
    Start();
    driver.AddCable("FT5X2K9Q", "FT232R USB UART");
    BtnRescanClick(ctx);

    EXPECT_EQ(host.deviceDialogShown, 1);
    const std::vector<sim::ScriptedHost::DeviceRow> rows = {
        {"Device 0", "TQ9A0001", "TTL232R-5V"}, {"Device 1", "FT5X2K9Q", "FT232R USB UART"}};
    EXPECT_EQ(host.deviceRows, rows);
    EXPECT_EQ(host.deviceRowSelected, 0);

    ASSERT_GE(Lines().size(), 3u);
    EXPECT_EQ(Lines()[0], "Using FTDI Device #0 on COM port #0") << "console cleared first";
    EXPECT_EQ(Lines()[1], "");
    EXPECT_EQ(Lines()[2], "RLD");
    EXPECT_EQ(Lines()[Lines().size() - 2], "Scan Version: MIDI input");
    EXPECT_EQ(host.fields[Field::DeviceView], "TQ9A0001 - TTL232R-5V on COM0");
    EXPECT_EQ(host.fields[Field::EditFTDIdevice], "0");
    EXPECT_EQ(host.fields[Field::EditFTDIcom], "0");
    EXPECT_EQ(ctx.BoardLink.selectedIndex, 0);
    EXPECT_TRUE(ctx.BoardLink.connected);
    EXPECT_TRUE(BoardButtons(true));
}

TEST_F(DeviceFlowTest, TheDriverInUseIsNamedOnceAfterTheCableLineOfTheFirstFlow) {
    Start();
    ctx.DriverInUse = "FTDI driver: kernel tty (ftdi_sio, /dev/ttyUSB*)";
    BtnRescanClick(ctx);
    ASSERT_GE(Lines().size(), 3u);
    EXPECT_EQ(Lines()[0], "Using FTDI Device #0 on COM port #0");
    EXPECT_EQ(Lines()[1], "FTDI driver: kernel tty (ftdi_sio, /dev/ttyUSB*)");
    EXPECT_EQ(Lines()[2], "");
    BtnCloseClick(ctx);
    BtnRescanClick(ctx);
    EXPECT_EQ(Lines()[1], "") << "named at the first flow only";

    // Where no cable is found the console keeps it under "Open FTDI device...".
    BtnCloseClick(ctx);
    cable.plugged = false;
    ctx.DriverInUse = "FTDI driver: libftdi1 (libftdi1)";
    BtnRescanClick(ctx);
    ASSERT_GE(Lines().size(), 2u);
    EXPECT_EQ(Lines()[Lines().size() - 2], "Open FTDI device...");
    EXPECT_EQ(Lines().back(), "FTDI driver: libftdi1 (libftdi1)");
}

TEST_F(DeviceFlowTest, ChoosingTheSecondRowOpensThatCable) {
    Start();
    auto secondBoard = std::make_shared<sim::BoardEmulator>();
    secondBoard->identity.serialNumber = 777;
    driver.AddCable("SECOND", "Other cable", secondBoard);
    host.deviceDialogChoice = 1;
    BtnRescanClick(ctx);
    EXPECT_EQ(ctx.BoardLink.selectedIndex, 1);
    EXPECT_EQ(Lines()[0], "Using FTDI Device #1 on COM port #0");
    EXPECT_EQ(ctx.BoardInfo.SerialNumber, 777);
    EXPECT_TRUE(board->commands.empty());
}

TEST_F(DeviceFlowTest, NoCableDingsAndSaysSoLeavingTheButtonsAlone) {
    Start();
    cable.plugged = false;
    host.deviceRows.push_back({"old", "row", "x"});
    host.enabled.clear();
    BtnRescanClick(ctx);
    EXPECT_EQ(host.sounds, std::vector<std::string>{"ding.wav"});
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "No FTDI cable or TQ9 USB extension found!");
    EXPECT_EQ(host.deviceDialogShown, 0);
    EXPECT_TRUE(host.deviceRows.empty()) << "earlier rows are removed all the same";
    EXPECT_EQ(Lines().back(), "Open FTDI device...");
    EXPECT_TRUE(host.enabled.empty());
}

TEST_F(DeviceFlowTest, NoDriverLibrarySaysWhichLibraryWasLookedForAndWhere) {
    Start();
    ctx.BoardLink.driver = &UnavailableDriverTable();
    ctx.DriverLoadFailure =
        "The FTDI driver library libftd2xx.so could not be loaded. It was looked for in the "
        "program's directory (/opt/x/libftd2xx.so: not found) and on the system library path "
        "(not found).";
    BtnRescanClick(ctx);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              std::string("No FTDI cable or TQ9 USB extension found!\r\r") + ctx.DriverLoadFailure);
}

TEST_F(DeviceFlowTest, CancellingTheDialogOpensNothingAndWritesNothing) {
    Start();
    host.deviceDialogChoice = -1;
    BtnRescanClick(ctx);
    EXPECT_EQ(Lines().back(), "Open FTDI device...");
    EXPECT_EQ(ctx.BoardLink.selectedIndex, -1);
    EXPECT_FALSE(ctx.BoardLink.connected);
    EXPECT_FALSE(cable.IsOpen());
}

// A cable that will not open: the console names it, the driver's refusal and what to do,
// and the window stays without a device. Another program's hold shows at the driver's
// presence check already (it opens the cable too); a cable gone since the list as "not
// found".
TEST_F(DeviceFlowTest, ACableThatWillNotOpenIsNamedWithTheDriversRefusal) {
    Start();
    const std::string held =
        "Another program may hold it (a terminal program, another window of this tool, or "
        "tq9ctl): close it, or unplug the cable and plug it in again, then press Device again.";
    struct Case {
        int after;  // successful opens before the refusal: 0 the presence check, 1 the open
        d2xx::FT_STATUS status;
        Lines_t said;
    } cases[] = {
        {0,
         d2xx::FT_DEVICE_NOT_OPENED,
         {"##### Error: FTDI device #0 TQ9A0001 - TTL232R-5V could not be opened: Device not "
          "present (driver: FT_DEVICE_NOT_OPENED)",
          held}},
        {1,
         d2xx::FT_IO_ERROR,
         {"##### Error: FTDI device #0 TQ9A0001 - TTL232R-5V could not be opened: Failed to "
          "open device (driver: FT_IO_ERROR)",
          held}},
        {0,
         d2xx::FT_DEVICE_NOT_FOUND,
         {"##### Error: FTDI device #0 TQ9A0001 - TTL232R-5V could not be opened: Device not "
          "present (driver: FT_DEVICE_NOT_FOUND)",
          "It was unplugged after the list was made: plug it in and press Device again."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(d2xx::StatusName(c.status));
        driver.FailCall(sim::Call::OpenEx, 1, c.status, c.after);
        BtnRescanClick(ctx);
        ASSERT_GE(Lines().size(), 3u);
        EXPECT_EQ(Lines()[Lines().size() - 3], "Open FTDI device...");
        EXPECT_EQ(Lines_t(Lines().end() - 2, Lines().end()), c.said);
        EXPECT_FALSE(ctx.BoardLink.connected);
        EXPECT_TRUE(BoardButtons(false));
    }
    BtnRescanClick(ctx);  // the other program let go
    EXPECT_TRUE(ctx.BoardLink.connected);
    EXPECT_EQ(ctx.BoardLink.openRefusal, "");
}

TEST_F(DeviceFlowTest, ABoardAnsweringOnlyAtTheFourthPollCountsAsSilent) {
    Start();
    board->faults.readyFromPoll = 4;
    BtnRescanClick(ctx);
    const Lines_t expected = {"Using FTDI Device #0 on COM port #0",
                              "",
                              "No response from TQ9 serial port driver!",
                              "TQ9 Board might be new or empty. Otherwise, ",
                              "try unplugging USB cable from PC and reconnect.",
                              "Closed FTDI device. Ready to unplug USB cable from PC.",
                              ""};
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(host.sounds, std::vector<std::string>{"ding.wav"});
    EXPECT_FALSE(ctx.BoardLink.connected);
    EXPECT_FALSE(cable.IsOpen());
    EXPECT_EQ(host.fields[Field::DeviceView], "(not selected)");
    EXPECT_TRUE(BoardButtons(false));
}

TEST_F(DeviceFlowTest, AnUnconvertibleReplyEndsTheFlowButLeavesTheOpenLinkClosable) {
    Start();
    board->faults.replyOverride[9952] = "9952=12a";
    try {
        BtnRescanClick(ctx);
        FAIL() << "no error";
    } catch (const ConvertError& error) {
        EXPECT_EQ(ErrorBoxText(error.what()), "'12a' ist kein g\u00fcltiger Integerwert.");
    }
    EXPECT_TRUE(ctx.BoardLink.connected);
    EXPECT_TRUE(BoardButtons(true)) << "Close is offered for the open link";
}

TEST_F(DeviceFlowTest, CloseClosesTheDeviceButKeepsTheObject) {
    Start();
    BtnRescanClick(ctx);
    ctx.CancelRequested = 1;
    BtnCloseClick(ctx);
    EXPECT_EQ(ctx.CancelRequested, 0);
    EXPECT_FALSE(ctx.BoardLink.connected);
    EXPECT_FALSE(cable.IsOpen());
    EXPECT_NE(ctx.BoardLink.device, nullptr);
    EXPECT_EQ(host.fields[Field::DeviceView], "(not selected)");
    EXPECT_EQ(Lines_t(Lines().end() - 2, Lines().end()),
              (Lines_t{"Closed FTDI device. Ready to unplug USB cable from PC.", ""}));
    EXPECT_TRUE(BoardButtons(false));

    BtnCloseClick(ctx);  // again, with nothing open: no error
    EXPECT_FALSE(ctx.BoardLink.connected);
}

#if !defined(_WIN32)
TEST_F(DeviceFlowTest, TheDetectedComPortIsShownAndLogged) {
    test::TempDir ports;
    for (int n : {2, 5})
        ports.Touch("tty" + std::to_string(n));
    ctx.BoardLink.portName = [&](std::int32_t n) {
        return ports.File("tty" + std::to_string(n)).string();
    };
    int held = -1;
    cable.openHook = [&](bool open) {
        if (open) {
            held = ::open(ports.File("tty5").c_str(), O_RDWR);
            ::flock(held, LOCK_EX);
        } else {
            ::close(held);
        }
    };
    Start();
    BtnRescanClick(ctx);
    EXPECT_EQ(Lines()[0], "Using FTDI Device #0 on COM port #5");
    EXPECT_EQ(host.fields[Field::DeviceView], "TQ9A0001 - TTL232R-5V on COM5");
    EXPECT_EQ(host.fields[Field::EditFTDIcom], "5");
    FormDestroy(ctx);
}
#endif

}  // namespace
}  // namespace tq9
