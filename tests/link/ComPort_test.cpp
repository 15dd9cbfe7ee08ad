// COM port names, exclusive probes and the detection of the cable's port.

#include <gtest/gtest.h>

#include "link/tq9_com.h"
#include "sim/SimDriver.h"
#include "support/TempDir.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace tq9 {
namespace {

#if defined(_WIN32)
TEST(ComPortName, UsesTheDeviceNamespaceFromTen) {
    EXPECT_EQ(ComPortName(0), "COM0");
    EXPECT_EQ(ComPortName(9), "COM9");
    EXPECT_EQ(ComPortName(10), "\\\\.\\COM10");
}

TEST(ProbeComPort, APortThatDoesNotExistGivesTheSystemsErrorCode) {
    EXPECT_NE(ProbeComPort(31), 0);
    EXPECT_NE(ProbeComPort(30), 0);
}
#else
TEST(ComPortName, IsTheUsbSerialDevice) {
    EXPECT_EQ(ComPortName(0), "/dev/ttyUSB0");
    EXPECT_EQ(ComPortName(9), "/dev/ttyUSB9");
    EXPECT_EQ(ComPortName(31), "/dev/ttyUSB31");
}

// Holds a file open with an exclusive lock, as a driver holding the port would.
class PortHolder {
  public:
    explicit PortHolder(const std::string& path) : fd_(::open(path.c_str(), O_RDWR)) {
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~PortHolder() {
        if (fd_ >= 0) ::close(fd_);
    }

  private:
    int fd_;
};

TEST(ProbePortFile, MissingFreeAndBusyPorts) {
    test::TempDir dir;
    EXPECT_NE(ProbePortFile(dir.File("none").string()), 0);

    dir.Touch("free");
    const std::string free = dir.File("free").string();
    EXPECT_EQ(ProbePortFile(free), 0);
    EXPECT_EQ(ProbePortFile(free), 0) << "the probe leaves the port closed";
    {
        PortHolder busy(free);
        EXPECT_NE(ProbePortFile(free), 0);
    }
    EXPECT_EQ(ProbePortFile(free), 0);
}

class ComDetectionTest : public ::testing::Test {
  protected:
    ComDetectionTest() {
        link.driver = &sim::SimDriver::Table();
        link.portName = [this](std::int32_t n) {
            return dir.File("port" + std::to_string(n)).string();
        };
        for (int n : {1, 4, 5, 7})
            dir.Touch("port" + std::to_string(n));
    }
    // A cable whose port is held while the cable is open.
    void CableOnPort(int port) {
        auto& cable = driver.AddCable("SER", "Cable");
        const std::string path = dir.File("port" + std::to_string(port)).string();
        cable.openHook = [this, path](bool open) {
            if (open) {
                holder = std::make_unique<PortHolder>(path);
            } else {
                holder.reset();
            }
        };
    }
    void OpenCable() {
        std::string status;
        SnapshotComPorts(link);
        BuildDeviceList(link, status);
        OpenDeviceByIndex(link, 0, status);
        ASSERT_TRUE(link.connected) << status;
    }

    test::TempDir dir;
    sim::VirtualClock clock;
    sim::SimDriver driver{clock};
    TBoardLink link;
    std::unique_ptr<PortHolder> holder;
};

TEST_F(ComDetectionTest, SnapshotProbesAllThirtyTwoPorts) {
    SnapshotComPorts(link);
    for (int n = 0; n < 32; ++n) {
        const bool exists = n == 1 || n == 4 || n == 5 || n == 7;
        EXPECT_EQ(link.comProbe[n] == 0, exists) << "port " << n;
    }
}

TEST_F(ComDetectionTest, TheOpenedCablesPortIsFound) {
    CableOnPort(5);
    OpenCable();
    DetectComNumber(link);
    EXPECT_EQ(link.comNumber, 5);
    EXPECT_NE(ProbeComPort(5, link.portName), 0) << "held while the cable is open";
    link.device->closeDevice();
    EXPECT_EQ(ProbeComPort(5, link.portName), 0) << "free again once closed";
}

TEST_F(ComDetectionTest, NoChangeKeepsTheEarlierNumber) {
    for (std::int32_t earlier : {0, 7, -1}) {
        link.comNumber = earlier;
        SnapshotComPorts(link);
        DetectComNumber(link);
        EXPECT_EQ(link.comNumber, earlier);
    }
}

TEST_F(ComDetectionTest, OfTwoChangedPortsTheLowerWins) {
    CableOnPort(5);
    OpenCable();
    dir.Touch("port3");  // another port appeared meanwhile
    DetectComNumber(link);
    EXPECT_EQ(link.comNumber, 3);
}

TEST_F(ComDetectionTest, APortThatDisappearsCountsAsChanged) {
    SnapshotComPorts(link);
    std::filesystem::remove(dir.File("port7"));
    DetectComNumber(link);
    EXPECT_EQ(link.comNumber, 7);
}
#endif

}  // namespace
}  // namespace tq9
