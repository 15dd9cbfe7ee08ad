// The kernel tty layer over a real terminal: sysfs is a folder of the test's own, the
// cable's /dev/ttyUSB0 a link to a pseudo-terminal with the emulated board on its master
// side (tq9_board_server), ttyUSB1 one with nothing behind it. A pseudo-terminal has no
// USB behind it, so only the kernel's FTDI driver itself is left to the VM step.

#if !defined(_WIN32)
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
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
        const fs::path usb = UsbDevice(tty);
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
    // The USB device folder of AddCable's cable on `tty`, where its strings are.
    fs::path UsbDevice(const std::string& tty) const {
        return dir.File("sys/devices/pci0000:00/usb1") / ("1-" + tty.substr(6));
    }
    // ttyUSB1's handle, opened through the table.
    d2xx::FT_HANDLE OpenIdleCable() {
        d2xx::FT_HANDLE handle = nullptr;
        EXPECT_EQ(
            table.FT_OpenEx(const_cast<char*>("FT9B0002"), d2xx::FT_OPEN_BY_SERIAL_NUMBER, &handle),
            d2xx::FT_OK)
            << driver.Notes();
        return handle;
    }
    std::string BoardLog() const {
        std::ifstream in(dir.File("board.log"));
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void Write(const fs::path& file, const std::string& text) {
        std::ofstream(file) << text << "\n";
    }

    KernelTtyDriver driver{{dir.File("sys").string(), dir.File("dev").string() + "/"}};
    const FTDIdll& table = KernelTtyDriver::Table();
    std::unique_ptr<sim::ServerProcess> board_;
    int idleMaster_ = -1;  // the terminal behind ttyUSB1; it shares the tty's line settings
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

// sysfs as a damaged or hostile tree may show it: every attribute is read only if it is a
// regular file, and only its first short line, so the listing always returns.
TEST_F(KernelTtyTest, OddAttributeFilesReadAsEmptyAndNeverHangTheListing) {
    AddCable("ttyUSB0", "0403:6001", "A0", "TTL232R");
    AddCable("ttyUSB1", "0403:6001", "A1", "serial is a FIFO");
    AddCable("ttyUSB2", "0403:6001", "A2", "product is /dev/zero");
    AddCable("ttyUSB3", "0403:6001", "A3", "idVendor is a FIFO");
    AddCable("ttyUSB4", "0403:6001", "A4", "product is one long line");
    AddCable("ttyUSB5", "0403:6010", "A5", "bNumInterfaces is /dev/zero", 2, 1);
    const auto replace = [](const fs::path& file) {
        fs::remove(file);
        return file;
    };
    ASSERT_EQ(::mkfifo(replace(UsbDevice("ttyUSB1") / "serial").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", replace(UsbDevice("ttyUSB2") / "product"));
    ASSERT_EQ(::mkfifo(replace(UsbDevice("ttyUSB3") / "idVendor").c_str(), 0600), 0);
    Write(UsbDevice("ttyUSB4") / "product", std::string(100000, 'x'));
    fs::create_symlink("/dev/zero", replace(UsbDevice("ttyUSB5") / "bNumInterfaces"));

    const auto cables = driver.Scan();
    ASSERT_EQ(cables.size(), 5u);
    const auto expect = [&](std::size_t i, const std::string& tty, const std::string& serial,
                            const std::string& description) {
        EXPECT_EQ(cables[i].tty, tty);
        EXPECT_EQ(cables[i].serial, serial) << tty;
        EXPECT_EQ(cables[i].description, description) << tty;
    };
    expect(0, "ttyUSB0", "A0", "TTL232R");
    expect(1, "ttyUSB1", "", "serial is a FIFO");
    expect(2, "ttyUSB2", "A2", "");
    expect(3, "ttyUSB4", "A4", std::string(256, 'x'));
    expect(4, "ttyUSB5", "A5", "bNumInterfaces is /dev/zero");  // one port, no letter
}

// Port and tty numbers come from sysfs text: one that does not fit is never added to 'A'.
TEST_F(KernelTtyTest, PortNumbersThatDoNotFitLeaveThePortOut) {
    const std::pair<const char*, const char*> ports[] = {{"ffffffffffffffff", nullptr},
                                                         {"7fffffff", nullptr},
                                                         {"1a", nullptr},
                                                         {"-1", nullptr},
                                                         {"zz", nullptr},
                                                         {"", nullptr},
                                                         {"19", "Z"},
                                                         {"03", "D"}};
    int n = 0;
    for (const auto& [number, letter] : ports) {
        const std::string tty = "ttyUSB" + std::to_string(n++);
        AddCable(tty, "0403:6011", "Q" + tty.substr(6), "Quad RS232", 4, 1);
        Write(UsbDevice(tty) / "1-x:1.1" / "bInterfaceNumber", number);
    }
    AddCable("ttyUSB99999999999999999999", "0403:6001", "last", "TTL232R");
    AddCable("ttyUSB20", "0403:6011", "Q20", "Quad RS232", 4, 2);
    Write(UsbDevice("ttyUSB20") / "bNumInterfaces", "99999999999999999999");

    const auto cables = driver.Scan();
    ASSERT_EQ(cables.size(), 4u);
    EXPECT_EQ(cables[0].serial, "Q6Z");
    EXPECT_EQ(cables[0].description, "Quad RS232 Z");
    EXPECT_EQ(cables[1].serial, "Q7D");
    EXPECT_EQ(cables[2].serial, "Q20") << "an unreadable port count: listed as one port";
    EXPECT_EQ(cables[3].serial, "last") << "a tty number too big for an int sorts last";
}

// The tty is held exclusively: the tool's own second open of a cable it holds fails too,
// and the first handle is untouched by it.
TEST_F(KernelTtyTest, ACableAlreadyOpenIsRefusedASecondOpen) {
    AddIdleCable();
    const d2xx::FT_HANDLE first = OpenIdleCable();
    ASSERT_NE(first, nullptr);
    d2xx::FT_HANDLE second = nullptr;
    EXPECT_EQ(
        table.FT_OpenEx(const_cast<char*>("FT9B0002"), d2xx::FT_OPEN_BY_SERIAL_NUMBER, &second),
        d2xx::FT_DEVICE_NOT_OPENED);
    EXPECT_NE(driver.Notes().find("another program holds it"), std::string::npos) << driver.Notes();

    d2xx::DWORD waiting = 1;
    EXPECT_EQ(table.FT_GetQueueStatus(first, &waiting), d2xx::FT_OK);
    EXPECT_EQ(waiting, 0u);
    EXPECT_EQ(table.FT_Close(first), d2xx::FT_OK);
    const d2xx::FT_HANDLE again = OpenIdleCable();
    ASSERT_NE(again, nullptr) << "closing let go of the tty";
    EXPECT_EQ(table.FT_Close(again), d2xx::FT_OK);
}

// FTDI's chip divides any rate; a terminal has only its fixed ones. A rate it lacks is an
// error, never a silent keep of the old line.
TEST_F(KernelTtyTest, ARateTheTerminalLacksIsRefusedAndTheLineKept) {
    AddIdleCable();
    const d2xx::FT_HANDLE handle = OpenIdleCable();
    ASSERT_NE(handle, nullptr);
    const auto speed = [this] {
        termios line{};
        EXPECT_EQ(::tcgetattr(idleMaster_, &line), 0);
        return ::cfgetospeed(&line);
    };
    ASSERT_EQ(table.FT_SetBaudRate(handle, 57600), d2xx::FT_OK);
    EXPECT_EQ(speed(), speed_t(B57600));
    for (const d2xx::ULONG baud : {14400u, 0u, 250000u, 57601u}) {
        EXPECT_EQ(table.FT_SetBaudRate(handle, baud), d2xx::FT_INVALID_BAUD_RATE) << baud;
        EXPECT_EQ(speed(), speed_t(B57600)) << baud;
    }
    EXPECT_EQ(table.FT_Close(handle), d2xx::FT_OK);
}

}  // namespace
}  // namespace tq9
#endif
