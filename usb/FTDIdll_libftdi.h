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

struct ftdi_context;
struct ftdi_device_list;
struct libusb_device;

namespace tq9 {

// The libftdi calls the adapter makes, with libftdi's signatures (enums as int).
struct LibFtdiApi {
    ftdi_context* (*ftdi_new)() = nullptr;
    void (*ftdi_free)(ftdi_context*) = nullptr;
    int (*ftdi_set_module_detach_mode)(ftdi_context*, int mode) = nullptr;
    int (*ftdi_usb_find_all)(ftdi_context*, ftdi_device_list**, int vendor, int product) = nullptr;
    void (*ftdi_list_free)(ftdi_device_list**) = nullptr;
    // Walks a device list: the device of an entry, and the next entry.
    libusb_device* (*list_device)(ftdi_device_list*) = nullptr;
    ftdi_device_list* (*list_next)(ftdi_device_list*) = nullptr;
    int (*ftdi_usb_get_strings)(ftdi_context*, libusb_device*, char* manufacturer, int mnfLen,
                                char* description, int descLen, char* serial,
                                int serialLen) = nullptr;
    int (*ftdi_usb_open_desc)(ftdi_context*, int vendor, int product, const char* description,
                              const char* serial) = nullptr;
    int (*ftdi_usb_close)(ftdi_context*) = nullptr;
    int (*ftdi_usb_reset)(ftdi_context*) = nullptr;
    int (*ftdi_set_baudrate)(ftdi_context*, int baudrate) = nullptr;
    int (*ftdi_set_line_property)(ftdi_context*, int bits, int stopBits, int parity) = nullptr;
    int (*ftdi_setflowctrl)(ftdi_context*, int flowControl) = nullptr;
    int (*ftdi_tciflush)(ftdi_context*) = nullptr;
    int (*ftdi_tcoflush)(ftdi_context*) = nullptr;
    int (*ftdi_tcioflush)(ftdi_context*) = nullptr;
    int (*ftdi_read_data)(ftdi_context*, unsigned char* buffer, int size) = nullptr;
    int (*ftdi_write_data)(ftdi_context*, const unsigned char* buffer, int size) = nullptr;
    const char* (*ftdi_get_error_string)(ftdi_context*) = nullptr;
};

// The real libftdi1, linked in at build time; null pointers where it is not built in.
const LibFtdiApi& SystemLibFtdi();
bool LibFtdiBuiltIn();

// What the operator is told when a cable cannot be opened for lack of permission.
inline constexpr const char* kLibFtdiPermissionHelp =
    "An FTDI cable is attached, but this user may not open it (libftdi: inappropriate "
    "permissions on device). Install the tool's udev rule (60-tq9-bench-ftdi.rules, which the "
    "package puts in /usr/lib/udev/rules.d) or join the group plugdev, then log in again and "
    "plug the cable in again.";

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

    using FT_STATUS = d2xx::FT_STATUS;
    using DWORD = d2xx::DWORD;
    using FT_HANDLE = d2xx::FT_HANDLE;
    FT_STATUS CreateDeviceInfoList(DWORD* numDevs);
    FT_STATUS GetDeviceInfoList(ftdiDeviceNode* dest, DWORD* numDevs);
    FT_STATUS OpenEx(void* arg, DWORD flags, FT_HANDLE* handle);
    FT_STATUS Close(FT_HANDLE handle);
    FT_STATUS ResetDevice(FT_HANDLE handle);
    FT_STATUS SetBaudRate(FT_HANDLE handle, d2xx::ULONG baud);
    FT_STATUS SetDataCharacteristics(FT_HANDLE handle, d2xx::UCHAR bits, d2xx::UCHAR stop,
                                     d2xx::UCHAR parity);
    FT_STATUS SetFlowControl(FT_HANDLE handle, d2xx::USHORT flow, d2xx::UCHAR xon,
                             d2xx::UCHAR xoff);
    FT_STATUS Purge(FT_HANDLE handle, d2xx::ULONG mask);
    FT_STATUS GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes);
    FT_STATUS Read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* got);
    FT_STATUS Write(FT_HANDLE handle, void* buffer, DWORD toWrite, DWORD* written);

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

}  // namespace tq9
