#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string_view>

#include "usb/ForwardingTable.h"
#include "usb/tty/KernelTtyDriver.h"

namespace tq9 {

using namespace d2xx;
namespace fs = std::filesystem;

KernelTtyDriver* KernelTtyDriver::active_ = nullptr;

namespace {
// FTDI's own product IDs, as the libftdi layer looks for them.
constexpr const char* kFtdiVendor = "0403";
constexpr const char* kFtdiProducts[] = {"6001", "6010", "6011", "6014", "6015"};
// A write waits at most this long for room in the tty's buffer.
constexpr int kWriteRoomMs = 1000;

// A sysfs attribute's first line. Only a regular file is read, and only its start: a FIFO
// in its place would block for ever, a link to /dev/zero never end, and opening a device
// node can have effects of its own. Anything else reads as empty.
std::string ReadLine(const fs::path& file) {
    constexpr std::size_t kMaxLine = 256;
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {};
    char buffer[kMaxLine];
    ssize_t got = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {  // still the file looked at
        do {
            got = ::read(fd, buffer, sizeof buffer);
        } while (got < 0 && errno == EINTR);
    }
    ::close(fd);
    if (got <= 0) return {};
    const std::string text(buffer, static_cast<std::size_t>(got));
    return text.substr(0, text.find('\n'));
}

// A whole number in `text` (blanks around it allowed, as sysfs pads some) in [0, max];
// false for anything else, a value too big included.
bool ParseNumber(std::string_view text, int base, int max, int& value) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    int parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || parsed < 0 ||
        parsed > max) {
        return false;
    }
    value = parsed;
    return true;
}

// The tty's number in "ttyUSB12", so ttyUSB10 sorts after ttyUSB9; one too big sorts last.
int TtyNumber(const std::string& tty) {
    int number = std::numeric_limits<int>::max();
    ParseNumber(std::string_view(tty).substr(std::strlen("ttyUSB")), 10,
                std::numeric_limits<int>::max(), number);
    return number;
}

std::string PermissionHelp(const std::string& path) {
    return "An FTDI cable is attached at " + path +
           ", but this user may not open it (kernel tty: permission denied). With the tool's "
           "udev rule (which the package installs) the user at the desktop may open it once it "
           "is plugged in again; without a desktop session (ssh, kiosk) the user must be in "
           "the group dialout (sudo adduser $USER dialout, then log in again).";
}

std::string BusyHelp(const std::string& path) {
    return "An FTDI cable is attached at " + path +
           ", but another program holds it (kernel tty: port in use). Close that program, "
           "then try again.";
}

speed_t SpeedOf(ULONG baud) {
    switch (baud) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B0;  // no standard terminal rate (14400, say)
    }
}

class KernelTtyLayer : public LoadedDriver {
  public:
    const FTDIdll& Table() const override { return KernelTtyDriver::Table(); }
    std::string Origin() const override { return "ftdi_sio, /dev/ttyUSB*"; }
    std::string Notes() const override { return driver_.Notes(); }

  private:
    KernelTtyDriver driver_;
};
}  // namespace

bool KernelFtdiDriverPresent(const std::string& sysfsRoot) {
    std::error_code error;
    if (fs::exists(fs::path(sysfsRoot) / "module" / "ftdi_sio", error)) return true;
    utsname system{};
    if (::uname(&system) != 0) return false;
    const fs::path serialModules =
        fs::path("/lib/modules") / system.release / "kernel/drivers/usb/serial";
    for (const char* name : {"ftdi_sio.ko", "ftdi_sio.ko.xz", "ftdi_sio.ko.zst"}) {
        if (fs::exists(serialModules / name, error)) return true;
    }
    return false;
}

std::unique_ptr<LoadedDriver> OpenKernelTtySource(const DriverSearch& search, std::string& whyNot) {
    if (!search.useOwnLayers) return nullptr;
    if (!KernelFtdiDriverPresent()) {
        whyNot = "through the kernel's serial driver (this kernel has no ftdi_sio)";
        return nullptr;
    }
    return std::make_unique<KernelTtyLayer>();
}

KernelTtyDriver::KernelTtyDriver(KernelTtyPaths paths) : paths_(std::move(paths)) {
    if (active_) throw std::logic_error("only one kernel tty driver may exist at a time");
    active_ = this;
}

KernelTtyDriver::~KernelTtyDriver() {
    for (auto& port : open_)
        ::close(port->fd);
    if (active_ == this) active_ = nullptr;
}

const FTDIdll& KernelTtyDriver::Table() {
    return ForwardingTable<KernelTtyDriver>::Get();
}

std::vector<KernelTtyDriver::Cable> KernelTtyDriver::Scan() const {
    std::vector<Cable> cables;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::path(paths_.sysfs) / "class/tty", error)) {
        const std::string tty = entry.path().filename().string();
        if (tty.rfind("ttyUSB", 0) != 0) continue;
        // class/tty/ttyUSB0/device is the usb-serial port, inside the USB interface, inside
        // the USB device that has the strings.
        const fs::path port = fs::canonical(entry.path() / "device", error);
        if (error) continue;
        const fs::path interface = port.parent_path();
        const fs::path usb = interface.parent_path();
        if (ReadLine(usb / "idVendor") != kFtdiVendor) continue;
        const std::string product = ReadLine(usb / "idProduct");
        if (std::find(std::begin(kFtdiProducts), std::end(kFtdiProducts), product) ==
            std::end(kFtdiProducts)) {
            continue;
        }
        Cable cable{ReadLine(usb / "serial"), ReadLine(usb / "product"), tty};
        // A chip with several ports is listed per port, as FTDI's driver does: serial and
        // description end in the port's letter.
        // A port whose number is unreadable or past 'Z' is left out: without its letter it
        // would take its chip's bare serial number.
        int interfaces = 1;
        ParseNumber(ReadLine(usb / "bNumInterfaces"), 10, 255, interfaces);
        if (interfaces > 1) {
            int number = 0;
            if (!ParseNumber(ReadLine(interface / "bInterfaceNumber"), 16, 'Z' - 'A', number)) {
                continue;
            }
            const char letter = static_cast<char>('A' + number);
            cable.serial += letter;
            cable.description += std::string(" ") + letter;
        }
        cables.push_back(std::move(cable));
    }
    std::sort(cables.begin(), cables.end(),
              [](const Cable& a, const Cable& b) { return TtyNumber(a.tty) < TtyNumber(b.tty); });
    return cables;
}

KernelTtyDriver::Port* KernelTtyDriver::Find(FT_HANDLE handle) const {
    for (const auto& port : open_) {
        if (port.get() == handle) return port.get();
    }
    return nullptr;
}

FT_STATUS KernelTtyDriver::CreateDeviceInfoList(DWORD* numDevs) {
    if (!numDevs) return FT_INVALID_PARAMETER;
    notes_.clear();
    listed_ = Scan();
    *numDevs = static_cast<DWORD>(listed_.size());
    return FT_OK;
}

FT_STATUS KernelTtyDriver::GetDeviceInfoList(ftdiDeviceNode* dest, DWORD* numDevs) {
    if (!dest || !numDevs) return FT_INVALID_PARAMETER;
    for (std::size_t i = 0; i < listed_.size(); ++i) {
        ftdiDeviceNode node{};
        // The node's widths; a longer text is cut, as FTDI's driver cuts it.
        std::memcpy(node.serialNumber, listed_[i].serial.data(),
                    std::min(listed_[i].serial.size(), sizeof node.serialNumber));
        std::memcpy(node.description, listed_[i].description.data(),
                    std::min(listed_[i].description.size(), sizeof node.description));
        dest[i] = node;
    }
    *numDevs = static_cast<DWORD>(listed_.size());
    return FT_OK;
}

FT_STATUS KernelTtyDriver::OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) {
    if (!arg || !handle || flags != FT_OPEN_BY_SERIAL_NUMBER) return FT_INVALID_PARAMETER;
    const std::string serial = static_cast<const char*>(arg);
    // Looked up afresh: the cable may have been plugged in again as another tty.
    const auto cables = Scan();
    const auto cable = std::find_if(cables.begin(), cables.end(),
                                    [&](const Cable& c) { return c.serial == serial; });
    if (cable == cables.end()) return FT_DEVICE_NOT_FOUND;

    const std::string path = paths_.dev + cable->tty;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return FT_DEVICE_NOT_FOUND;
        notes_ = errno == EACCES || errno == EPERM ? PermissionHelp(path)
                 : errno == EBUSY
                     ? BusyHelp(path)
                     : "An FTDI cable is attached at " + path +
                           ", but it cannot be opened (kernel tty: " + std::strerror(errno) + ").";
        return FT_DEVICE_NOT_OPENED;
    }
    // flock keeps out every other program that asks (the COM detection among them),
    // TIOCEXCL those that open the tty without asking.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        notes_ = BusyHelp(path);
        return FT_DEVICE_NOT_OPENED;
    }
    ::ioctl(fd, TIOCEXCL);

    // Raw bytes, never blocking, at FTDI's power-on line of 9600 8N1 until set.
    termios line{};
    if (::tcgetattr(fd, &line) != 0) {
        ::close(fd);
        return FT_DEVICE_NOT_OPENED;
    }
    ::cfmakeraw(&line);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cflag &= ~HUPCL;  // closing does not drop DTR, as FTDI's driver leaves it
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    ::cfsetspeed(&line, B9600);
    ::tcsetattr(fd, TCSANOW, &line);
    ::tcflush(fd, TCIOFLUSH);
    // ftdi_sio then sets its latency timer to 1 ms instead of 16; a pseudo-terminal has no
    // such setting and says so, which does not matter.
    serial_struct settings{};
    if (::ioctl(fd, TIOCGSERIAL, &settings) == 0) {
        settings.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &settings);
    }

    auto port = std::make_unique<Port>();
    port->fd = fd;
    port->path = path;
    *handle = port.get();
    open_.push_back(std::move(port));
    return FT_OK;
}

FT_STATUS KernelTtyDriver::Close(FT_HANDLE handle) {
    const auto it = std::find_if(open_.begin(), open_.end(),
                                 [&](const auto& port) { return port.get() == handle; });
    if (it == open_.end()) return FT_INVALID_HANDLE;
    ::ioctl((*it)->fd, TIOCNXCL);
    ::close((*it)->fd);  // also lets go of the lock
    open_.erase(it);
    return FT_OK;
}

FT_STATUS KernelTtyDriver::ResetDevice(FT_HANDLE handle) {
    Port* port = Find(handle);
    if (!port) return FT_INVALID_HANDLE;
    return ::tcflush(port->fd, TCIOFLUSH) == 0 ? FT_OK : FT_IO_ERROR;
}

template <typename Change>
FT_STATUS KernelTtyDriver::Configure(FT_HANDLE handle, Change change) {
    Port* port = Find(handle);
    if (!port) return FT_INVALID_HANDLE;
    termios line{};
    if (::tcgetattr(port->fd, &line) != 0) return FT_IO_ERROR;
    if (FT_STATUS refused = change(line); refused != FT_OK) return refused;
    return ::tcsetattr(port->fd, TCSANOW, &line) == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS KernelTtyDriver::SetBaudRate(FT_HANDLE handle, ULONG baud) {
    return Configure(handle, [baud](termios& line) {
        const speed_t speed = SpeedOf(baud);
        if (speed == B0) return FT_INVALID_BAUD_RATE;
        ::cfsetspeed(&line, speed);
        return FT_OK;
    });
}

FT_STATUS KernelTtyDriver::SetDataCharacteristics(FT_HANDLE handle, UCHAR bits, UCHAR stop,
                                                  UCHAR parity) {
    if ((bits != 7 && bits != 8) || (stop != 0 && stop != 2) || parity > 4) {
        return FT_INVALID_PARAMETER;
    }
    return Configure(handle, [=](termios& line) {
        line.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
        line.c_cflag |= bits == 7 ? CS7 : CS8;
        if (stop == 2) line.c_cflag |= CSTOPB;
        // none, odd, even, mark, space
        constexpr tcflag_t kParity[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                        PARENB | CMSPAR};
        line.c_cflag |= kParity[parity];
        return FT_OK;
    });
}

FT_STATUS KernelTtyDriver::SetFlowControl(FT_HANDLE handle, USHORT flow, UCHAR xon, UCHAR xoff) {
    return Configure(handle, [=](termios& line) {
        line.c_cflag &= ~CRTSCTS;
        line.c_iflag &= ~(IXON | IXOFF);
        switch (flow) {
            case FT_FLOW_NONE:
                break;
            case FT_FLOW_RTS_CTS:
                line.c_cflag |= CRTSCTS;
                break;
            case FT_FLOW_XON_XOFF:
                line.c_iflag |= IXON | IXOFF;
                line.c_cc[VSTART] = xon;
                line.c_cc[VSTOP] = xoff;
                break;
            default:
                return FT_INVALID_PARAMETER;  // DTR/DSR: the terminal has no such mode
        }
        return FT_OK;
    });
}

FT_STATUS KernelTtyDriver::Purge(FT_HANDLE handle, ULONG mask) {
    Port* port = Find(handle);
    if (!port) return FT_INVALID_HANDLE;
    const int queues = (mask & 3u) == 3u ? TCIOFLUSH
                       : (mask & 1u)     ? TCIFLUSH
                       : (mask & 2u)     ? TCOFLUSH
                                         : -1;
    if (queues < 0) return FT_OK;
    return ::tcflush(port->fd, queues) == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS KernelTtyDriver::GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) {
    if (!rxBytes) return FT_INVALID_PARAMETER;
    Port* port = Find(handle);
    if (!port) return FT_INVALID_HANDLE;
    // A cable pulled out hangs the tty up; from then on every call reports it.
    pollfd state{port->fd, POLLIN, 0};
    if (::poll(&state, 1, 0) < 0 || (state.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        return FT_IO_ERROR;
    }
    int waiting = 0;
    if (::ioctl(port->fd, FIONREAD, &waiting) != 0) return FT_IO_ERROR;
    *rxBytes = static_cast<DWORD>(waiting);
    return FT_OK;
}

FT_STATUS KernelTtyDriver::Read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* got) {
    if (!got || (!buffer && toRead > 0)) return FT_INVALID_PARAMETER;
    *got = 0;
    Port* port = Find(handle);
    if (!port) return FT_INVALID_HANDLE;
    auto* out = static_cast<unsigned char*>(buffer);
    while (*got < toRead) {
        const ssize_t n = ::read(port->fd, out + *got, toRead - *got);
        if (n > 0) {
            *got += static_cast<DWORD>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n == 0 || errno == EAGAIN) {
            break;  // nothing more has arrived
        } else {
            return FT_IO_ERROR;
        }
    }
    return FT_OK;
}

FT_STATUS KernelTtyDriver::Write(FT_HANDLE handle, void* buffer, DWORD toWrite, DWORD* written) {
    if (!written || (!buffer && toWrite > 0)) return FT_INVALID_PARAMETER;
    *written = 0;
    Port* port = Find(handle);
    if (!port) return FT_INVALID_HANDLE;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteRoomMs);
    while (*written < toWrite) {
        const ssize_t n = ::write(port->fd, bytes + *written, toWrite - *written);
        if (n > 0) {
            *written += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return FT_IO_ERROR;
        // The tty's buffer is full: wait for room, but not for ever.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            giveUp - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd room{port->fd, POLLOUT, 0};
        if (::poll(&room, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            return FT_IO_ERROR;
        }
        if (room.revents & (POLLHUP | POLLERR | POLLNVAL)) return FT_IO_ERROR;
    }
    return FT_OK;
}

}  // namespace tq9
