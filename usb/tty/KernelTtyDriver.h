#pragma once
// A D2XX function table over the kernel's own FTDI serial driver (ftdi_sio), the way most
// Linux machines already reach the cable: cables are listed from sysfs and opened as their
// /dev/ttyUSB<n>, held exclusively (TIOCEXCL and flock) so the COM detection sees them in
// use. Needs nothing beyond the dialout group, and never detaches the kernel driver.
//
// Like the D2XX library, the layer is one driver per process: its table's functions reach
// the one live KernelTtyDriver.

#include <memory>
#include <string>
#include <vector>

#include "usb/FTDIdll.h"
#include "usb/ForwardingTable.h"

namespace tq9 {

// Where the layer looks: the sysfs root and the folder of the tty files. Tests point both
// into a folder of their own.
struct KernelTtyPaths {
    std::string sysfs = "/sys";
    std::string dev = "/dev/";  // ends with a separator
};

class KernelTtyDriver {
  public:
    explicit KernelTtyDriver(KernelTtyPaths paths = {});
    ~KernelTtyDriver();
    KernelTtyDriver(const KernelTtyDriver&) = delete;
    KernelTtyDriver& operator=(const KernelTtyDriver&) = delete;

    static const FTDIdll& Table();
    static KernelTtyDriver* Active() { return active_; }
    // What went wrong with the cables in the last listing or open, for the operator.
    const std::string& Notes() const { return notes_; }

    // An FTDI cable the kernel serves: its strings and its tty's name ("ttyUSB0").
    struct Cable {
        std::string serial, description, tty;
    };
    // The cables sysfs shows now, in the order of their tty numbers.
    std::vector<Cable> Scan() const;

    TQ9_D2XX_MEMBER_FUNCTIONS

  private:
    struct Port {
        int fd = -1;
        std::string path;
    };
    Port* Find(FT_HANDLE handle) const;
    // Changes the line settings; false when the terminal refused them.
    template <typename Change>
    FT_STATUS Configure(FT_HANDLE handle, Change change);

    KernelTtyPaths paths_;
    std::vector<Cable> listed_;
    std::vector<std::unique_ptr<Port>> open_;
    std::string notes_;
    static KernelTtyDriver* active_;
};

// True when this kernel has its FTDI serial driver: loaded, or installed so that it loads
// when a cable is plugged in.
bool KernelFtdiDriverPresent(const std::string& sysfsRoot = "/sys");

// The layer as a driver source: null where the kernel has no FTDI serial driver (saying
// so) or the search asks for FTDI's library only.
std::unique_ptr<LoadedDriver> OpenKernelTtySource(const DriverSearch& search, std::string& whyNot);

}  // namespace tq9
