// The simulated driver's own promises, which every later test leans on: byte timing on
// the shared clock, purges, handles and fault injection.

#include <gtest/gtest.h>

#include "sim/Peers.h"
#include "sim/SimDriver.h"

namespace tq9::sim {
namespace {

class SimDriverTest : public ::testing::Test {
  protected:
    FT_HANDLE Open(const char* serial) {
        FT_HANDLE handle = nullptr;
        EXPECT_EQ(driver.OpenEx(const_cast<char*>(serial), 1, &handle), d2xx::FT_OK);
        return handle;
    }
    DWORD Waiting(FT_HANDLE handle) {
        DWORD n = 0;
        EXPECT_EQ(driver.GetQueueStatus(handle, &n), d2xx::FT_OK);
        return n;
    }

    VirtualClock clock;
    SimDriver driver{clock};
};

TEST_F(SimDriverTest, BytesArriveOneByteTimeApartAt57600Baud) {
    auto& cable = driver.AddCable("A", "a");
    FT_HANDLE h = Open("A");
    driver.callCostUs = 0;
    const std::uint64_t start = clock.NowUs();
    const std::uint64_t last = cable.SendToHost("abc\r", start);
    EXPECT_EQ(last, start + 4 * 10'000'000ull / 57600);  // about 694 us

    clock.AdvanceTo(start + 172);
    EXPECT_EQ(Waiting(h), 0u);
    clock.AdvanceTo(start + 173);
    EXPECT_EQ(Waiting(h), 1u);
    clock.AdvanceTo(start + 346);
    EXPECT_EQ(Waiting(h), 1u);
    clock.AdvanceTo(start + 347);
    EXPECT_EQ(Waiting(h), 2u);
    clock.AdvanceTo(last);
    EXPECT_EQ(Waiting(h), 4u);
}

TEST_F(SimDriverTest, PurgeDropsWhatArrivedButNotWhatIsStillOnTheWire) {
    auto& cable = driver.AddCable("A", "a");
    FT_HANDLE h = Open("A");
    driver.callCostUs = 0;
    cable.SendToHost("0123456789", clock.NowUs());
    clock.Advance(5 * 174);
    EXPECT_EQ(driver.Purge(h, 1), d2xx::FT_OK);
    EXPECT_EQ(Waiting(h), 0u);
    clock.Advance(10 * 174);
    char buffer[16] = {};
    DWORD got = 0;
    EXPECT_EQ(driver.Read(h, buffer, sizeof buffer, &got), d2xx::FT_OK);
    EXPECT_EQ(std::string(buffer, got), "56789");
    EXPECT_EQ(driver.Purge(h, 2), d2xx::FT_OK);
    EXPECT_EQ(cable.purges, (std::vector<ULONG>{1, 2}));
}

TEST_F(SimDriverTest, EchoPeerAnswersAfterTheLineHasCrossedTheWireBothWays) {
    auto& cable = driver.AddCable("A", "a", std::make_shared<LineEchoPeer>());
    cable.line.baudRate = 57600;
    FT_HANDLE h = Open("A");
    driver.callCostUs = 0;
    char line[] = "3?\r";
    DWORD put = 0;
    ASSERT_EQ(driver.Write(h, line, 3, &put), d2xx::FT_OK);
    EXPECT_EQ(put, 3u);
    const std::uint64_t lineAtPeer = ByteArrivalUs(clock.NowUs(), 2, 57600);
    const std::uint64_t echoDone = ByteArrivalUs(lineAtPeer, 2, 57600);
    EXPECT_EQ(echoDone - clock.NowUs(), 1040u);
    clock.AdvanceTo(echoDone - 1);
    EXPECT_EQ(Waiting(h), 2u) << "the last echoed byte is still on the way";
    clock.AdvanceTo(echoDone);
    EXPECT_EQ(Waiting(h), 3u);
}

TEST_F(SimDriverTest, BusyUnknownAndUnpluggedCables) {
    auto& cable = driver.AddCable("A", "a");
    FT_HANDLE h = Open("A");
    FT_HANDLE second = nullptr;
    EXPECT_EQ(driver.OpenEx(const_cast<char*>("A"), 1, &second), d2xx::FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(driver.OpenEx(const_cast<char*>("B"), 1, &second), d2xx::FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.OpenEx(const_cast<char*>("A"), 2, &second), d2xx::FT_INVALID_PARAMETER);

    cable.plugged = false;
    DWORD n = 0;
    EXPECT_EQ(driver.GetQueueStatus(h, &n), d2xx::FT_IO_ERROR);
    EXPECT_EQ(driver.Close(h), d2xx::FT_OK);
    EXPECT_EQ(driver.Close(h), d2xx::FT_INVALID_HANDLE) << "a closed handle is stale";
    DWORD count = 9;
    EXPECT_EQ(driver.CreateDeviceInfoList(&count), d2xx::FT_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(SimDriverTest, FaultsOnceAlwaysAndAfterSomeCalls) {
    driver.AddCable("A", "a");
    DWORD n = 0;
    driver.FailCall(Call::CreateDeviceInfoList, 1, d2xx::FT_OTHER_ERROR);
    EXPECT_EQ(driver.CreateDeviceInfoList(&n), d2xx::FT_OTHER_ERROR);
    EXPECT_EQ(driver.CreateDeviceInfoList(&n), d2xx::FT_OK);

    driver.FailCall(Call::CreateDeviceInfoList, -1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(driver.CreateDeviceInfoList(&n), d2xx::FT_IO_ERROR);

    driver.FailCall(Call::CreateDeviceInfoList, 1, d2xx::FT_IO_ERROR, 2);
    EXPECT_EQ(driver.CreateDeviceInfoList(&n), d2xx::FT_OK);
    EXPECT_EQ(driver.CreateDeviceInfoList(&n), d2xx::FT_OK);
    EXPECT_EQ(driver.CreateDeviceInfoList(&n), d2xx::FT_IO_ERROR);
    EXPECT_EQ(driver.CreateDeviceInfoList(&n), d2xx::FT_OK);
    EXPECT_EQ(driver.CallCount(Call::CreateDeviceInfoList), 11);
}

TEST_F(SimDriverTest, EverythingFailsFromTheUnplugMoment) {
    driver.AddCable("A", "a");
    FT_HANDLE h = Open("A");
    driver.FailEverythingFrom(clock.NowUs() + 1000);
    EXPECT_EQ(driver.ResetDevice(h), d2xx::FT_OK);
    clock.Advance(1000);
    EXPECT_EQ(driver.ResetDevice(h), d2xx::FT_IO_ERROR);
    DWORD n = 0;
    EXPECT_EQ(driver.CreateDeviceInfoList(&n), d2xx::FT_IO_ERROR);
}

TEST_F(SimDriverTest, OnlyOneLiveDriverAtATime) {
    EXPECT_THROW(SimDriver second(clock), std::logic_error);
    EXPECT_EQ(SimDriver::Active(), &driver);
}

}  // namespace
}  // namespace tq9::sim
