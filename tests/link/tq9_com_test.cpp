// Listing the cables into the link's tables and opening one by its table position.

#include <gtest/gtest.h>

#include "link/tq9_com.h"
#include "sim/SimDriver.h"

namespace tq9 {
namespace {

using sim::Call;

class DiscoveryTest : public ::testing::Test {
  protected:
    DiscoveryTest() { link.driver = &sim::SimDriver::Table(); }
    void AddCables(int n) {
        for (int i = 0; i < n; ++i) {
            driver.AddCable("SER" + std::to_string(i), "Cable " + std::to_string(i));
        }
    }
    void ListAndOpen(std::int32_t index) {
        BuildDeviceList(link, status);
        ASSERT_EQ(status, "### FTDI Device list created");
        OpenDeviceByIndex(link, index, status);
    }

    sim::VirtualClock clock;
    sim::SimDriver driver{clock};
    TBoardLink link;
    std::string status;
};

TEST_F(DiscoveryTest, NoCableStillListsAndLeavesOldEntriesAlone) {
    link.serials[0] = "OLD";
    link.deviceCount = 3;
    BuildDeviceList(link, status);
    EXPECT_EQ(status, "### FTDI Device list created");
    EXPECT_EQ(link.deviceCount, 0u);
    ASSERT_NE(link.device, nullptr);
    EXPECT_FALSE(link.device->fconnected());
    EXPECT_EQ(link.serials[0], "OLD");
}

TEST_F(DiscoveryTest, TablesTakeSerialAndDescriptionOfEachCable) {
    AddCables(2);
    link.serials[5] = "STALE";
    BuildDeviceList(link, status);
    EXPECT_EQ(link.deviceCount, 2u);
    EXPECT_EQ(link.serials[0], "SER0");
    EXPECT_EQ(link.descriptions[1], "Cable 1");
    EXPECT_EQ(link.serials[5], "STALE") << "entries past the count are not cleared";
}

TEST_F(DiscoveryTest, FullWidthNodeTextsAreKeptWhole) {
    const std::string serial16 = "ABCDEFGHIJKLMNOP";
    const std::string description64(64, 'd');
    driver.AddCable(serial16 + "XYZ", description64 + "tail");
    BuildDeviceList(link, status);
    EXPECT_EQ(link.serials[0], serial16);
    EXPECT_EQ(link.descriptions[0], description64);
}

TEST_F(DiscoveryTest, SeventeenCablesListTheFirstSixteen) {
    AddCables(17);
    BuildDeviceList(link, status);
    EXPECT_EQ(status, "### FTDI Device list created");
    EXPECT_EQ(link.deviceCount, 16u);
    EXPECT_EQ(link.serials[15], "SER15");
}

TEST_F(DiscoveryTest, EitherListingCallFailingLeavesNoDeviceObject) {
    AddCables(2);
    for (Call call : {Call::CreateDeviceInfoList, Call::GetDeviceInfoList}) {
        driver.FailCall(call);
        link.deviceCount = 9;
        BuildDeviceList(link, status);
        EXPECT_EQ(status, "### ERROR: Failed to create device info list") << sim::CallName(call);
        EXPECT_EQ(link.device, nullptr);
        EXPECT_EQ(link.deviceCount, 0u);
        EXPECT_FALSE(link.connected);
    }
}

TEST_F(DiscoveryTest, OpeningConfiguresTheLineFor57600Baud8N1WithoutFlowControl) {
    AddCables(2);
    ListAndOpen(1);
    EXPECT_EQ(status, "### USB connected");
    EXPECT_TRUE(link.connected);
    const auto& cable = driver.CableAt(1);
    EXPECT_TRUE(cable.IsOpen());
    EXPECT_EQ(cable.resets, 1);
    EXPECT_EQ(cable.line.baudRate, 57600u);
    EXPECT_EQ(cable.line.wordLength, 8);
    EXPECT_EQ(cable.line.stopBits, 0);
    EXPECT_EQ(cable.line.parity, 0);
    EXPECT_EQ(cable.line.flowControl, 0);
    EXPECT_EQ(cable.line.xon, 0);
    EXPECT_EQ(cable.line.xoff, 0);
}

TEST_F(DiscoveryTest, AFailedLineSettingStillConnects) {
    for (Call call : {Call::SetBaudRate, Call::SetDataCharacteristics, Call::SetFlowControl}) {
        AddCables(1);
        driver.FailCall(call);
        ListAndOpen(0);
        EXPECT_EQ(status, "### USB connected") << sim::CallName(call);
        EXPECT_TRUE(link.connected) << sim::CallName(call);
        link.device->closeDevice();
        link.connected = false;
    }
}

TEST_F(DiscoveryTest, CableUnpluggedAfterListingIsNotPresent) {
    AddCables(1);
    BuildDeviceList(link, status);
    driver.CableAt(0).plugged = false;
    OpenDeviceByIndex(link, 0, status);
    EXPECT_EQ(status, "### ERROR: Device not present");
    EXPECT_EQ(link.device, nullptr);
    EXPECT_FALSE(link.connected);
}

TEST_F(DiscoveryTest, AnIndexPastTheCountOpensTheSerialStillStoredThere) {
    AddCables(2);
    BuildDeviceList(link, status);
    driver.CableAt(1).plugged = false;
    BuildDeviceList(link, status);  // lists one cable; the second row keeps its serial
    ASSERT_EQ(link.deviceCount, 1u);
    EXPECT_EQ(link.serials[1], "SER1");
    driver.CableAt(1).plugged = true;
    OpenDeviceByIndex(link, 1, status);
    EXPECT_EQ(status, "### USB connected");
    EXPECT_TRUE(driver.CableAt(1).IsOpen());
    link.device->closeDevice();
}

TEST_F(DiscoveryTest, OpenFailingAfterThePresenceTestLeavesNoDeviceObject) {
    AddCables(1);
    driver.FailCall(Call::OpenEx, 1, d2xx::FT_DEVICE_NOT_OPENED, /*after=*/1);
    ListAndOpen(0);
    EXPECT_EQ(status, "### ERROR: Failed to open device");
    EXPECT_EQ(link.device, nullptr);
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(driver.OpenHandleCount(), 0);
}

TEST_F(DiscoveryTest, FailedResetClosesTheDeviceAndReleasesTheObject) {
    AddCables(1);
    driver.FailCall(Call::ResetDevice);
    ListAndOpen(0);
    EXPECT_EQ(status, "### ERROR: Reset failed");
    EXPECT_EQ(link.device, nullptr);
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(driver.OpenHandleCount(), 0) << "no open handle may be left behind";
    EXPECT_FALSE(driver.CableAt(0).IsOpen());
}

TEST_F(DiscoveryTest, OpeningWithoutADeviceObjectOrOutsideTheTablesConnectsNothing) {
    AddCables(1);
    OpenDeviceByIndex(link, 0, status);  // no listing yet
    EXPECT_EQ(status, "### ERROR: No device list");
    EXPECT_FALSE(link.connected);

    BuildDeviceList(link, status);
    for (std::int32_t index : {-1, 16, 1000}) {
        OpenDeviceByIndex(link, index, status);
        EXPECT_EQ(status, "### ERROR: Device index out of range") << index;
        EXPECT_FALSE(link.connected);
    }
    EXPECT_EQ(driver.CallCount(Call::OpenEx), 0);
}

TEST_F(DiscoveryTest, EqualSerialsOpenWhicheverTheDriverFindsFirst) {
    driver.AddCable("TWIN", "first");
    driver.AddCable("TWIN", "second");
    ListAndOpen(1);
    EXPECT_TRUE(link.connected);
    EXPECT_TRUE(driver.CableAt(0).IsOpen());
    EXPECT_FALSE(driver.CableAt(1).IsOpen());
}

TEST_F(DiscoveryTest, ANewListingReplacesTheOldObjectAndClearsConnected) {
    AddCables(1);
    ListAndOpen(0);
    ASSERT_TRUE(link.connected);
    link.device->closeDevice();  // what Close does, keeping the object
    const tftdichip* old = link.device.get();
    BuildDeviceList(link, status);
    EXPECT_FALSE(link.connected);
    EXPECT_NE(link.device.get(), nullptr);
    EXPECT_NE(link.device.get(), old);
}

}  // namespace
}  // namespace tq9
