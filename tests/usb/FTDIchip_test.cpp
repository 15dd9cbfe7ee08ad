// The device object over the simulated driver: the calls it makes, the values it passes,
// and its refusals.

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "sim/Peers.h"
#include "sim/SimDriver.h"
#include "usb/FTDIchip.h"

namespace tq9 {
namespace {

using sim::Call;

class FTDIchipTest : public ::testing::Test {
  protected:
    sim::VirtualCable& AddCables(int n) {
        for (int i = 0; i < n; ++i) {
            driver.AddCable("SER" + std::to_string(i), "Cable " + std::to_string(i));
        }
        return driver.CableAt(0);
    }
    sim::VirtualCable& OpenOne() {
        auto& cable = driver.AddCable("A1", "TTL232R-5V", std::make_shared<sim::LineEchoPeer>());
        EXPECT_TRUE(chip.openDeviceBySerial("A1"));
        return cable;
    }
    // Runs `action`, which must raise `message` and make no driver call.
    template <typename Action>
    void ExpectRefused(Action action, const std::string& message) {
        int callsBefore = 0;
        for (int c = 0; c < sim::kCallCount; ++c)
            callsBefore += driver.CallCount(Call(c));
        try {
            action();
            ADD_FAILURE() << "no error raised; expected " << message;
        } catch (const Tq9Error& error) {
            EXPECT_EQ(std::string(error.what()), message);
        }
        int callsAfter = 0;
        for (int c = 0; c < sim::kCallCount; ++c)
            callsAfter += driver.CallCount(Call(c));
        EXPECT_EQ(callsAfter, callsBefore) << message;
    }

    sim::VirtualClock clock;
    sim::SimDriver driver{clock};
    tftdichip chip{sim::SimDriver::Table()};
};

TEST_F(FTDIchipTest, ListingWithNoDeviceGivesZeroAndNoBuffer) {
    d2xx::DWORD count = 7;
    std::vector<ftdiDeviceNode> list(3);
    EXPECT_TRUE(chip.createDeviceInfoList(count, list));
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(driver.CallCount(Call::GetDeviceInfoList), 0);
}

// A driver that describes fewer nodes in its second listing call than its first announced.
d2xx::FT_STATUS TQ9_FTAPI ListOnlyOne(ftdiDeviceNode* dest, d2xx::DWORD* numDevs) {
    const auto status = sim::SimDriver::Table().FT_GetDeviceInfoList(dest, numDevs);
    *numDevs = 1;
    return status;
}

TEST_F(FTDIchipTest, ADriverThatLowersTheCountInItsSecondCallIsBelieved) {
    AddCables(3);
    FTDIdll lowering = sim::SimDriver::Table();
    lowering.FT_GetDeviceInfoList = ListOnlyOne;
    tftdichip lowered(lowering);
    d2xx::DWORD count = 0;
    std::vector<ftdiDeviceNode> list;
    ASSERT_TRUE(lowered.createDeviceInfoList(count, list));
    EXPECT_EQ(count, 1u);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0].serialNumber, "SER0");
}

TEST_F(FTDIchipTest, ListingCopiesNodesInDriverOrder) {
    AddCables(17);
    d2xx::DWORD count = 0;
    std::vector<ftdiDeviceNode> list;
    EXPECT_TRUE(chip.createDeviceInfoList(count, list));
    ASSERT_EQ(count, 17u);
    ASSERT_EQ(list.size(), 17u);
    EXPECT_STREQ(list[16].serialNumber, "SER16");
    EXPECT_STREQ(list[3].description, "Cable 3");
}

TEST_F(FTDIchipTest, FailedFirstListingCallTouchesNothing) {
    AddCables(2);
    driver.FailCall(Call::CreateDeviceInfoList);
    d2xx::DWORD count = 5;
    std::vector<ftdiDeviceNode> list(1);
    EXPECT_FALSE(chip.createDeviceInfoList(count, list));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(driver.CallCount(Call::GetDeviceInfoList), 0);
}

TEST_F(FTDIchipTest, FailedSecondListingCallGivesZeroAndNoBuffer) {
    AddCables(2);
    driver.FailCall(Call::GetDeviceInfoList);
    d2xx::DWORD count = 5;
    std::vector<ftdiDeviceNode> list(1);
    EXPECT_FALSE(chip.createDeviceInfoList(count, list));
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(list.empty());
}

TEST_F(FTDIchipTest, PresenceTestOpensAndClosesWithoutTouchingTheObject) {
    AddCables(2);
    EXPECT_TRUE(chip.isPresentBySerial("SER1"));
    EXPECT_FALSE(driver.CableAt(1).IsOpen());
    EXPECT_EQ(driver.OpenHandleCount(), 0);
    EXPECT_FALSE(chip.fconnected());
    EXPECT_FALSE(chip.isPresentBySerial("NOPE"));

    // Works while the object holds another device open.
    ASSERT_TRUE(chip.openDeviceBySerial("SER0"));
    EXPECT_TRUE(chip.isPresentBySerial("SER1"));
    EXPECT_TRUE(chip.fconnected());
    EXPECT_EQ(driver.OpenHandleCount(), 1);
}

TEST_F(FTDIchipTest, SecondOpenIsRefusedAndTheFirstStaysOpen) {
    auto& cable = AddCables(1);
    ASSERT_TRUE(chip.openDeviceBySerial("SER0"));
    ExpectRefused([&] { chip.openDeviceBySerial("SER0"); },
                  "tftdichip.openDeviceBySerial: Already open");
    EXPECT_TRUE(chip.fconnected());
    EXPECT_TRUE(cable.IsOpen());
}

TEST_F(FTDIchipTest, CloseWhenClosedIsRefused) {
    ExpectRefused([&] { chip.closeDevice(); }, "tftdichip.closeDevice: Not open");
}

TEST_F(FTDIchipTest, FailedOpenLeavesTheObjectClosed) {
    AddCables(1);
    driver.FailCall(Call::OpenEx);
    EXPECT_FALSE(chip.openDeviceBySerial("SER0"));
    EXPECT_FALSE(chip.fconnected());
    EXPECT_TRUE(chip.openDeviceBySerial("SER0"));
}

TEST_F(FTDIchipTest, CloseIgnoresTheDriversAnswer) {
    OpenOne();
    driver.FailCall(Call::Close);
    chip.closeDevice();
    EXPECT_FALSE(chip.fconnected());
}

TEST_F(FTDIchipTest, LineSettingsReachTheDriverAsTheirDriverValues) {
    auto& cable = OpenOne();
    EXPECT_TRUE(chip.setBaudRate(fBaud14400));
    EXPECT_EQ(cable.line.baudRate, 14400u);
    EXPECT_TRUE(chip.setBaudRate(fBaud921600));
    EXPECT_EQ(cable.line.baudRate, 921600u);
    EXPECT_TRUE(chip.setBaudRate(fBaud57600));
    EXPECT_EQ(cable.line.baudRate, 57600u);

    EXPECT_TRUE(chip.setDataCharacteristics(fBits7, fStopBits2, fParitySpace));
    EXPECT_EQ(cable.line.wordLength, 7);
    EXPECT_EQ(cable.line.stopBits, 2);
    EXPECT_EQ(cable.line.parity, 4);
    EXPECT_TRUE(chip.setDataCharacteristics(fBits8, fStopBits1, fParityNone));
    EXPECT_EQ(cable.line.wordLength, 8);
    EXPECT_EQ(cable.line.stopBits, 0);
    EXPECT_EQ(cable.line.parity, 0);

    EXPECT_TRUE(chip.setFlowControl(fFlowXONXOFF, 0x11, 0x13));
    EXPECT_EQ(cable.line.flowControl, 0x0400);
    EXPECT_EQ(cable.line.xon, 0x11);
    EXPECT_EQ(cable.line.xoff, 0x13);
    EXPECT_TRUE(chip.setFlowControl(fFlowNone, 0, 0));
    EXPECT_EQ(cable.line.flowControl, 0x0000);
    EXPECT_EQ(cable.line.xon, 0);

    EXPECT_TRUE(chip.purgeQueue(fReceiveQueue));
    EXPECT_TRUE(chip.purgeQueue(fSendQueue));
    EXPECT_TRUE(chip.purgeQueue(fAll));
    EXPECT_EQ(cable.purges, (std::vector<d2xx::ULONG>{1, 2, 3}));

    EXPECT_TRUE(chip.resetDevice());
    EXPECT_EQ(cable.resets, 1);
}

TEST_F(FTDIchipTest, StrayOrdinalsAreRefusedBeforeAnyDriverCall) {
    OpenOne();
    ExpectRefused([&] { chip.setBaudRate(static_cast<fBaudRate>(14)); },
                  "tftdichip.setBaudRate: Invalid baud rate");
    ExpectRefused(
        [&] { chip.setDataCharacteristics(static_cast<fWordLength>(2), fStopBits1, fParityNone); },
        "tftdichip.setDataCharacteristics: Invalid wordLength");
    ExpectRefused(
        [&] {
            chip.setDataCharacteristics(fBits8, static_cast<fStopBits>(9), static_cast<fParity>(9));
        },
        "tftdichip.setDataCharacteristics: Invalid stopBits");
    ExpectRefused([&] { chip.setDataCharacteristics(fBits8, fStopBits1, static_cast<fParity>(5)); },
                  "tftdichip.setDataCharacteristics: Invalid parity");
    ExpectRefused([&] { chip.setFlowControl(static_cast<fFlowControl>(4), 0, 0); },
                  "tftdichip.setFlowControl: Invalid flowcontrol");
    ExpectRefused([&] { chip.purgeQueue(static_cast<fQueue>(3)); },
                  "tftdichip.purgeQueue: Invalid queue");
}

TEST_F(FTDIchipTest, DriverFailuresBecomeFalse) {
    OpenOne();
    const std::pair<Call, std::function<bool()>> calls[] = {
        {Call::ResetDevice, [&] { return chip.resetDevice(); }},
        {Call::SetBaudRate, [&] { return chip.setBaudRate(fBaud57600); }},
        {Call::SetDataCharacteristics,
         [&] { return chip.setDataCharacteristics(fBits8, fStopBits1, fParityNone); }},
        {Call::SetFlowControl, [&] { return chip.setFlowControl(fFlowNone, 0, 0); }},
        {Call::Purge, [&] { return chip.purgeQueue(fAll); }},
        {Call::GetQueueStatus,
         [&] {
             std::int32_t n = 0;
             return chip.getReceiveQueueStatus(n);
         }},
        {Call::Read,
         [&] {
             std::uint8_t b;
             std::int32_t n = 0;
             return chip.read(&b, 1, n);
         }},
        {Call::Write,
         [&] {
             std::int32_t n = 0;
             return chip.write(reinterpret_cast<const std::uint8_t*>("x"), 1, n);
         }},
    };
    for (const auto& [call, action] : calls) {
        driver.FailCall(call);
        EXPECT_FALSE(action()) << sim::CallName(call);
        EXPECT_TRUE(action()) << sim::CallName(call) << " fails once only";
    }
}

TEST_F(FTDIchipTest, BytesGoOutAndComeBackThroughTheQueue) {
    auto& cable = OpenOne();
    chip.setBaudRate(fBaud57600);
    const std::string line = "253?\r";
    std::int32_t written = 0;
    ASSERT_TRUE(chip.write(reinterpret_cast<const std::uint8_t*>(line.data()), 5, written));
    EXPECT_EQ(written, 5);
    EXPECT_EQ(std::string(cable.written.begin(), cable.written.end()), line);

    std::int32_t waiting = -1;
    ASSERT_TRUE(chip.getReceiveQueueStatus(waiting));
    EXPECT_EQ(waiting, 0) << "nothing can have come back yet";

    clock.Advance(2'000);  // 5 bytes out and 5 back at 57600 baud take about 1.7 ms
    ASSERT_TRUE(chip.getReceiveQueueStatus(waiting));
    EXPECT_EQ(waiting, 5);
    std::string echoed;
    for (int i = 0; i < 5; ++i) {
        std::uint8_t byte = 0;
        std::int32_t got = 0;
        ASSERT_TRUE(chip.read(&byte, 1, got));
        ASSERT_EQ(got, 1);
        echoed += static_cast<char>(byte);
    }
    EXPECT_EQ(echoed, line);
}

TEST_F(FTDIchipTest, ClosedObjectPassesItsStaleHandleAndTheDriverRefuses) {
    OpenOne();
    chip.closeDevice();
    std::int32_t waiting = 0;
    EXPECT_FALSE(chip.getReceiveQueueStatus(waiting));
    EXPECT_FALSE(chip.resetDevice());
    EXPECT_EQ(driver.CallCount(Call::ResetDevice), 1);
}

}  // namespace
}  // namespace tq9
