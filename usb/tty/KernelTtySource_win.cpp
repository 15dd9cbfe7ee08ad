// Windows has no kernel tty for FTDI cables: the source never applies.

#include "usb/tty/KernelTtyDriver.h"

namespace tq9 {

bool KernelFtdiDriverPresent(const std::string&) {
    return false;
}

std::unique_ptr<LoadedDriver> OpenKernelTtySource(const DriverSearch&, std::string&) {
    return nullptr;
}

}  // namespace tq9
