#pragma once
// A D2XX function table over libftdi1, for machines that have only the open-source driver
// stack. libftdi is reached through a table of its own (LibFtdiApi) so the adapter's logic
// can be tested against a fake.
//
// Like the D2XX library, the adapter is one driver per process: its table's functions reach
// the one live LibFtdiDriver.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "usb/FTDIdll.h"
#include "usb/ForwardingTable.h"
#include "usb/libftdi/LibFtdiApi.h"

namespace tq9 {

// What the operator is told when a cable cannot be opened for lack of permission.
inline constexpr const char* kLibFtdiPermissionHelp =
    "An FTDI cable is attached, but this user may not open it (libftdi: inappropriate "
    "permissions on device). With the tool's udev rule (60-tq9-bench-ftdi.rules, which the "
    "package puts in /usr/lib/udev/rules.d) the user at the desktop may open it once it is "
    "plugged in again; without a desktop session (ssh, kiosk) the user must also be in the "
    "group plugdev (sudo adduser $USER plugdev, then log in again).";

class LibFtdiDriver {
  public:
    explicit LibFtdiDriver(const LibFtdiApi& api);
    ~LibFtdiDriver();
    LibFtdiDriver(const LibFtdiDriver&) = delete;
    LibFtdiDriver& operator=(const LibFtdiDriver&) = delete;

    static const FTDIdll& Table();
    // What went wrong with the cables in the last listing or open, for the operator;
    // empty when nothing did.
    const std::string& Notes() const { return notes_; }

    TQ9_D2XX_MEMBER_FUNCTIONS

    static LibFtdiDriver* Active() { return active_; }

  private:
    struct Device {
        ftdi_context* context = nullptr;
        std::deque<unsigned char> received;  // read from the chip, not yet taken
    };
    struct Listed {
        std::string serial, description;
    };
    Device* Find(FT_HANDLE handle) const;
    // Reads what the chip has into the device's buffer; false when the cable failed.
    bool TopUp(Device& device);

    const LibFtdiApi& api_;
    std::vector<Listed> listed_;
    std::vector<std::unique_ptr<Device>> open_;
    std::string notes_;
    static LibFtdiDriver* active_;
};

// The libftdi1 layer as a driver source: null (and no reason) where libftdi1 is not built
// in or the search asks for FTDI's library only.
std::unique_ptr<LoadedDriver> OpenLibFtdiSource(const DriverSearch& search, std::string& whyNot);

}  // namespace tq9
