// The kernel tty layer over a real terminal: sysfs is a folder of the test's own, the
// cable's /dev/ttyUSB0 a link to a pseudo-terminal with the emulated board on its master
// side (tq9_board_server), ttyUSB1 one with nothing behind it. A pseudo-terminal has no
// USB behind it, so only the kernel's FTDI driver itself is left to the VM step.

#if !defined(_WIN32)
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "link/ComPort.h"
#include "sim/ServerProcess.h"
#include "support/LiveBoardBench.h"
#include "usb/FTDIchip.h"
#include "usb/tty/KernelTtyDriver.h"

namespace tq9 {
namespace {

namespace fs = std::filesystem;

class KernelTtyTest : public test::LiveBoardBench {
  protected:
    KernelTtyTest() {
        fs::create_directories(dir.File("sys/class/tty"));
        fs::create_directories(dir.File("dev"));
        UseDriver(KernelTtyDriver::Table(), [this](std::int32_t n) {
            return (dir.File("dev") / ("ttyUSB" + std::to_string(n))).string();
        });
        ctx.DriverNotes = [this] { return driver.Notes(); };
    }
    ~KernelTtyTest() override {
        Shut();
        if (idleMaster_ >= 0) ::close(idleMaster_);
    }

    // A USB device as sysfs shows it, with one usb-serial port per interface.
    void AddCable(const std::string& tty, const std::string& usbId, const std::string& serial,
                  const std::string& product, int interfaces = 1, int interface = 0) {
        const fs::path usb = dir.File("sys/devices/pci0000:00/usb1") / ("1-" + tty.substr(6));
        const fs::path port = usb / ("1-x:1." + std::to_string(interface)) / tty;
        fs::create_directories(port);
        Write(usb / "idVendor", usbId.substr(0, 4));
        Write(usb / "idProduct", usbId.substr(5));
        Write(usb / "serial", serial);
        Write(usb / "product", product);
        Write(usb / "bNumInterfaces", " " + std::to_string(interfaces));
        Write(port.parent_path() / "bInterfaceNumber", "0" + std::to_string(interface));
        fs::create_directories(dir.File("sys/class/tty") / tty);
        fs::create_directory_symlink(port, dir.File("sys/class/tty") / tty / "device");
    }
    // ttyUSB0: the board, on the emulator's terminal.
    void StartBoard() {
        AddCable("ttyUSB0", "0403:6001", "TQ9A0001", "TTL232R-5V");
        board_ = std::make_unique<sim::ServerProcess>(
            std::vector<std::string>{
                TQ9_BOARD_SERVER_PATH, "--pty-link", dir.File("dev/ttyUSB0").string(), "--log",
                dir.File("board.log").string(), "--boot-ms", "200", "--report-ms", "100"},
            dir.File("dev/ttyUSB0").string());
        ASSERT_TRUE(board_->Ready());
    }
    // ttyUSB1: a cable with no board, a terminal nobody answers on.
    void AddIdleCable() {
        AddCable("ttyUSB1", "0403:6015", "FT9B0002", "FT231X USB UART");
        idleMaster_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(idleMaster_, 0);
        ::grantpt(idleMaster_);
        ::unlockpt(idleMaster_);
        fs::create_symlink(::ptsname(idleMaster_), dir.File("dev/ttyUSB1"));
    }
    std::string BoardLog() const {
        std::ifstream in(dir.File("board.log"));
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void Write(const fs::path& file, const std::string& text) {
        std::ofstream(file) << text << "\n";
    }

    KernelTtyDriver driver{{dir.File("sys").string(), dir.File("dev").string() + "/"}};
    std::unique_ptr<sim::ServerProcess> board_;

  private:
    int idleMaster_ = -1;
};

TEST_F(KernelTtyTest, ListsFtdiCablesFromSysfsInTtyOrder) {
    AddCable("ttyUSB10", "0403:6001", "A10", "TTL232R");
    AddCable("ttyUSB2", "0403:6014", "A2", std::string(70, 'd'));  // longer than the node
    AddCable("ttyUSB3", "067b:2303", "P3", "Prolific cable");      // not FTDI's
    AddCable("ttyUSB4", "0403:6010", "FT2232X", "Dual RS232", 2, 1);
    AddCable("ttyUSB5", "0403:1234", "C5", "FTDI vendor, not an FTDI product id");
    fs::create_directories(dir.File("sys/class/tty/ttyS0"));  // no device: skipped

    tftdichip chip(KernelTtyDriver::Table());
    d2xx::DWORD count = 0;
    std::vector<ftdiDeviceNode> nodes;
    ASSERT_TRUE(chip.createDeviceInfoList(count, nodes));
    ASSERT_EQ(count, 3u);
    const auto text = [](const char* field, std::size_t width) {
        return std::string(field, strnlen(field, width));
    };
    EXPECT_EQ(text(nodes[0].serialNumber, 16), "A2");
    EXPECT_EQ(text(nodes[0].description, 64), std::string(64, 'd'));
    EXPECT_EQ(text(nodes[1].serialNumber, 16), "FT2232XB");
    EXPECT_EQ(text(nodes[1].description, 64), "Dual RS232 B");
    EXPECT_EQ(text(nodes[2].serialNumber, 16), "A10");
    // Opening a listed cable whose tty file is missing: not found, nothing held.
    EXPECT_FALSE(chip.isPresentBySerial("A10"));
}

TEST_F(KernelTtyTest, DeviceFlowResetAndUploadReachTheBoardThroughTheTerminal) {
    StartBoard();
    AddIdleCable();
    ASSERT_TRUE(Open()) << Console();
    // Held exclusively: the COM detection sees the cable's port change.
    EXPECT_TRUE(HasLine("Using FTDI Device #0 on COM port #0")) << Console();
    EXPECT_EQ(host.FieldText(Field::DeviceView), "TQ9A0001 - TTL232R-5V on COM0");
    EXPECT_TRUE(HasLine("Serial Number: 12345")) << Console();
    EXPECT_TRUE(host.messages.empty());

    // The line is the board's: 57600 8N1, no flow control. As root TIOCEXCL lets a second
    // open through, so the settings can be read; anyone else is refused by it.
    const int peek = ::open(dir.File("dev/ttyUSB0").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (peek >= 0) {
        termios line{};
        ASSERT_EQ(::tcgetattr(peek, &line), 0);
        EXPECT_EQ(::cfgetospeed(&line), B57600);
        EXPECT_EQ(line.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS), tcflag_t(CS8));
        ::close(peek);
    } else {
        EXPECT_EQ(errno, EBUSY);
    }

    BtnRefreshClick(ctx);  // Reset TQ9
    EXPECT_NE(BoardLog().find("RLD"), std::string::npos) << BoardLog();
    EXPECT_TRUE(HasLine("Serial Number: 12345")) << Console();

    const auto [closing, expected] = Upload(300);
    EXPECT_EQ(closing, expected) << Console();
    EXPECT_TRUE(HasLine("### 1200 Bytes sent.")) << Console();

    BtnCloseClick(ctx);
    EXPECT_EQ(ProbePortFile(dir.File("dev/ttyUSB0").string()), 0) << "not let go on Close";
}

TEST_F(KernelTtyTest, ACableHeldElsewhereIsRefusedWithWhatToDo) {
    StartBoard();
    const int other = ::open(dir.File("dev/ttyUSB0").c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);  // as another tool holds a port

    EXPECT_FALSE(Open());
    ASSERT_EQ(host.messages.size(), 1u) << Console();
    EXPECT_EQ(host.messages[0].first, MessageKind::Warning);
    EXPECT_NE(host.messages[0].second.find("another program holds it"), std::string::npos)
        << host.messages[0].second;
    ::close(other);
    EXPECT_TRUE(Open()) << Console();
}

TEST_F(KernelTtyTest, ACablePulledOutFailsTheNextCallInsteadOfHanging) {
    StartBoard();
    tftdichip chip(KernelTtyDriver::Table());
    ASSERT_TRUE(chip.openDeviceBySerial("TQ9A0001"));
    std::int32_t waiting = -1;
    EXPECT_TRUE(chip.getReceiveQueueStatus(waiting));
    EXPECT_EQ(waiting, 0);
    board_->Stop();  // the terminal's master side closes: the tty hangs up
    EXPECT_FALSE(chip.getReceiveQueueStatus(waiting));
    std::int32_t written = 0;
    std::uint8_t byte = '?';
    EXPECT_FALSE(chip.write(&byte, 1, written));
    chip.closeDevice();
}

}  // namespace
}  // namespace tq9
#endif
