// Runs inside the VM of scripts/test-vm, as root, against QEMU's emulated FT232 chips: the
// real kernel (xhci, usbcore, ftdi_sio), the real libusb and libftdi1. Cable TQ9A0001 leads
// to the emulated board on the host (tq9_board_server --socket); TQ9B0002 leads nowhere.
// The product's path: the device flow, Reset TQ9, a 4096-word upload, Close, once through
// the libftdi1 layer and once through the kernel tty layer.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "link/ComPort.h"
#include "support/LiveBoardBench.h"
#include "usb/FTDIchip.h"
#include "usb/libftdi/LibFtdiDriver.h"
#include "usb/tty/KernelTtyDriver.h"

namespace tq9 {
namespace {

constexpr const char* kBoardCable = "TQ9A0001";
constexpr const char* kIdleCable = "TQ9B0002";

// The tty number the kernel gave the board's cable, from sysfs.
int BoardTtyNumber() {
    KernelTtyDriver scan;
    for (const auto& cable : scan.Scan()) {
        if (cable.serial == kBoardCable) return std::atoi(cable.tty.c_str() + 6);
    }
    return -1;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Waits up to 5 s for the tty to be there (true) or gone (false), as the kernel takes the
// cable back or gives it up.
bool TtyBecomes(const std::string& path, bool present) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Exists(path) != present && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return Exists(path) == present;
}

// Median microseconds from writing "253?" to the CR of its answer, through a device
// object that is open on the board's cable.
double QueryRoundTripUs(tftdichip& chip, int rounds = 40) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        std::uint8_t query[] = {'2', '5', '3', '?', '\r'};
        std::int32_t written = 0;
        const auto start = std::chrono::steady_clock::now();
        if (!chip.write(query, 5, written)) return -1;
        std::string reply;
        while (reply.empty() || reply.back() != '\r') {
            std::int32_t waiting = 0, got = 0;
            std::uint8_t byte = 0;
            if (!chip.getReceiveQueueStatus(waiting)) return -1;
            if (waiting > 0 && chip.read(&byte, 1, got) && got == 1)
                reply += static_cast<char>(byte);
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(2)) return -1;
        }
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

class UsbStackTest : public test::LiveBoardBench {
  protected:
    UsbStackTest() {
        host.wantedSerial = kBoardCable;
        boardTty_ = BoardTtyNumber();
        ttyPath_ = ComPortName(boardTty_);
    }
    // The whole bench run through whichever driver the test set up.
    void RunTheBench(bool ttyVanishesWhileOpen) {
        ASSERT_GE(boardTty_, 0) << "the kernel made no tty for " << kBoardCable;
        ASSERT_TRUE(Exists(ttyPath_));
        ASSERT_TRUE(Open()) << Console();
        EXPECT_TRUE(HasLine("Using FTDI Device #" + std::to_string(ctx.BoardLink.selectedIndex) +
                            " on COM port #" + std::to_string(boardTty_)))
            << Console();
        EXPECT_TRUE(HasLine("Serial Number: 12345")) << Console();
        EXPECT_EQ(Exists(ttyPath_), !ttyVanishesWhileOpen);
        EXPECT_NE(ProbePortFile(ttyPath_), 0);

        BtnRefreshClick(ctx);  // Reset TQ9
        EXPECT_TRUE(HasLine("Serial Number: 12345")) << Console();

        const auto [closing, expected] = Upload(4096);
        EXPECT_EQ(closing, expected) << Console();

        std::printf("[ FIGURE   ] %s: query round trip %.0f us (median of 40)\n",
                    ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                    QueryRoundTripUs(*ctx.BoardLink.device));
        BtnCloseClick(ctx);
        EXPECT_TRUE(TtyBecomes(ttyPath_, true)) << ttyPath_ << " is not back after Close";
        EXPECT_EQ(ProbePortFile(ttyPath_), 0);
    }

    int boardTty_ = -1;
    std::string ttyPath_;
};

class LibFtdiStackTest : public UsbStackTest {
  protected:
    LibFtdiStackTest() {
        UseDriver(LibFtdiDriver::Table());
        ctx.DriverNotes = [this] { return driver.Notes(); };
    }
    ~LibFtdiStackTest() override { Shut(); }
    LibFtdiDriver driver{SystemLibFtdi()};
};

TEST_F(LibFtdiStackTest, ListsBothCables) {
    std::string status;
    BuildDeviceList(ctx.BoardLink, status);
    ASSERT_EQ(ctx.BoardLink.deviceCount, 2u) << driver.Notes();
    std::vector<std::string> serials(ctx.BoardLink.serials.begin(),
                                     ctx.BoardLink.serials.begin() + 2);
    std::sort(serials.begin(), serials.end());
    EXPECT_EQ(serials, (std::vector<std::string>{kBoardCable, kIdleCable}));
    EXPECT_EQ(ctx.BoardLink.descriptions[0], "QEMU USB SERIAL");
}

TEST_F(LibFtdiStackTest, DeviceFlowResetUploadAndCloseReachTheBoard) {
    RunTheBench(true);  // libftdi1 detaches ftdi_sio while it holds the cable
}

TEST_F(LibFtdiStackTest, TheCableWithoutABoardOpensAndStaysSilent) {
    host.wantedSerial = kIdleCable;
    EXPECT_FALSE(Open());
    EXPECT_TRUE(HasLine("No response from TQ9 serial port driver!")) << Console();
}

class KernelTtyStackTest : public UsbStackTest {
  protected:
    KernelTtyStackTest() {
        UseDriver(KernelTtyDriver::Table());
        ctx.DriverNotes = [this] { return driver->Notes(); };
    }
    ~KernelTtyStackTest() override { Shut(); }
    // Made after the fixture's sysfs scan, which needs a driver of its own.
    std::unique_ptr<KernelTtyDriver> driver = std::make_unique<KernelTtyDriver>();
};

TEST_F(KernelTtyStackTest, ListsBothCables) {
    const auto cables = driver->Scan();
    ASSERT_EQ(cables.size(), 2u);
    EXPECT_EQ(cables[0].description, "QEMU USB SERIAL");
}

TEST_F(KernelTtyStackTest, DeviceFlowResetUploadAndCloseReachTheBoard) {
    RunTheBench(false);  // the tty stays, held exclusively
}

// The layer asks ftdi_sio for its lowest latency (ASYNC_LOW_LATENCY: a 1 ms timer); the
// figure beside it is the round trip with the chip's default 16 ms timer set back.
TEST_F(KernelTtyStackTest, RoundTripWithEachLatencyTimer) {
    ASSERT_TRUE(Open()) << Console();
    const std::string timer =
        "/sys/class/tty/ttyUSB" + std::to_string(boardTty_) + "/device/latency_timer";
    std::string set;
    std::getline(std::ifstream(timer), set);
    EXPECT_EQ(set, "1") << timer;
    const double low = QueryRoundTripUs(*ctx.BoardLink.device);
    std::ofstream(timer) << "16\n";
    const double standard = QueryRoundTripUs(*ctx.BoardLink.device);
    std::printf("[ FIGURE   ] kernel tty: query round trip %.0f us at 1 ms, %.0f us at 16 ms\n",
                low, standard);
    EXPECT_GT(low, 0);
    EXPECT_GT(standard, 0);
}

}  // namespace
}  // namespace tq9
