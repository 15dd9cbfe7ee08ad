// The ways to a cable, in the order they are tried. A new source is one file with its open
// function and one row here.

#include "usb/FTDIdll.h"
#include "usb/libftdi/LibFtdiDriver.h"
#include "usb/tty/KernelTtyDriver.h"

namespace tq9 {

namespace {
// FTDI's library beside the program, as Windows looks for DLLs.
std::unique_ptr<LoadedDriver> D2xxInProgramDirectory(const DriverSearch& search,
                                                     std::string& whyNot) {
    if (search.programDirectory.empty()) return nullptr;
    const std::string path = search.programDirectory + D2xxLibraryName();
    std::string error;
    auto driver = OpenD2xxLibrary(path, error);
    if (!driver) whyNot = "in the program's directory (" + path + ": " + error + ")";
    return driver;
}

// FTDI's library wherever the system finds libraries.
std::unique_ptr<LoadedDriver> D2xxOnSystemPath(const DriverSearch&, std::string& whyNot) {
    std::string error;
    auto driver = OpenD2xxLibrary(D2xxLibraryName(), error);
    if (!driver) whyNot = "on the system library path (" + error + ")";
    return driver;
}
}  // namespace

const std::vector<DriverSource>& DriverSources() {
    static const std::vector<DriverSource> sources = {
        {"FTDI D2XX (program directory)", D2xxInProgramDirectory},
        {"FTDI D2XX (system library path)", D2xxOnSystemPath},
        // Where the kernel serves the cable, as most Linux machines do: no udev rule needed.
        {"kernel tty", OpenKernelTtySource},
        // For cables the kernel does not hold: its FTDI driver is missing or blacklisted.
        {"libftdi1", OpenLibFtdiSource},
    };
    return sources;
}

}  // namespace tq9
