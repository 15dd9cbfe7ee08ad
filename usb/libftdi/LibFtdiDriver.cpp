#include "usb/libftdi/LibFtdiDriver.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "usb/ForwardingTable.h"

namespace tq9 {

using namespace d2xx;

LibFtdiDriver* LibFtdiDriver::active_ = nullptr;

namespace {
constexpr int kFtdiVendor = 0x0403;
// FTDI's own product IDs, the ones libftdi finds by default.
constexpr int kFtdiProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};
constexpr int kAutoDetachReattachSio = 2;  // AUTO_DETACH_REATACH_SIO_MODULE
constexpr int kPermissionDenied = -8;      // ftdi_usb_open_*: inappropriate permissions
constexpr int kUsbTimeout = -7;            // LIBUSB_ERROR_TIMEOUT
// A real chip answers every USB read within its latency timer (16 ms by default, 1 ms once
// set) with at least its two status bytes; QEMU's emulated one answers only when it has
// data. A read waits this long for either, then counts as "nothing has arrived".
constexpr int kReadWaitMs = 20;
// One USB packet a transfer: a transfer cut short by its time limit then holds nothing
// that libftdi would drop.
constexpr unsigned kReadChunk = 64;
constexpr unsigned char kLatencyMs = 1;  // the chip's default is 16

class LibFtdiLayer : public LoadedDriver {
  public:
    explicit LibFtdiLayer(const LibFtdiApi& api) : driver_(api) {}
    const FTDIdll& Table() const override { return LibFtdiDriver::Table(); }
    std::string Origin() const override { return "libftdi1"; }
    std::string Notes() const override { return driver_.Notes(); }

  private:
    LibFtdiDriver driver_;
};
}  // namespace

std::unique_ptr<LoadedDriver> OpenLibFtdiSource(const DriverSearch& search, std::string&) {
    if (!search.useOwnLayers || !LibFtdiBuiltIn()) return nullptr;
    return std::make_unique<LibFtdiLayer>(SystemLibFtdi());
}

LibFtdiDriver::LibFtdiDriver(const LibFtdiApi& api) : api_(api) {
    if (active_) throw std::logic_error("only one libftdi driver may exist at a time");
    active_ = this;
}

LibFtdiDriver::~LibFtdiDriver() {
    for (auto& device : open_) {
        api_.ftdi_usb_close(device->context);
        api_.ftdi_free(device->context);
    }
    if (active_ == this) active_ = nullptr;
}

const FTDIdll& LibFtdiDriver::Table() {
    return ForwardingTable<LibFtdiDriver>::Get();
}

LibFtdiDriver::Device* LibFtdiDriver::Find(FT_HANDLE handle) const {
    for (const auto& device : open_) {
        if (device.get() == handle) return device.get();
    }
    return nullptr;
}

FT_STATUS LibFtdiDriver::CreateDeviceInfoList(DWORD* numDevs) {
    if (!numDevs) return FT_INVALID_PARAMETER;
    listed_.clear();
    notes_.clear();
    ftdi_context* context = api_.ftdi_new();
    if (!context) return FT_OTHER_ERROR;
    ftdi_device_list* list = nullptr;
    const int found = api_.ftdi_usb_find_all(context, &list, 0, 0);  // FTDI's default IDs
    if (found < 0) {
        api_.ftdi_free(context);
        return FT_OTHER_ERROR;
    }
    for (ftdi_device_list* entry = list; entry; entry = api_.list_next(entry)) {
        char description[128] = {}, serial[128] = {};
        if (api_.ftdi_usb_get_strings(context, api_.list_device(entry), nullptr, 0, description,
                                      sizeof description, serial, sizeof serial) < 0) {
            // Not listed: it could not be opened to read its strings, almost always for lack
            // of permission. Say so instead of showing an empty list.
            notes_ = kLibFtdiPermissionHelp;
            continue;
        }
        listed_.push_back(
            {std::string(serial).substr(0, 16), std::string(description).substr(0, 64)});
    }
    api_.ftdi_list_free(&list);
    api_.ftdi_free(context);
    *numDevs = static_cast<DWORD>(listed_.size());
    return FT_OK;
}

FT_STATUS LibFtdiDriver::GetDeviceInfoList(ftdiDeviceNode* dest, DWORD* numDevs) {
    if (!dest || !numDevs) return FT_INVALID_PARAMETER;
    for (std::size_t i = 0; i < listed_.size(); ++i) {
        ftdiDeviceNode node{};
        std::memcpy(node.serialNumber, listed_[i].serial.data(), listed_[i].serial.size());
        std::memcpy(node.description, listed_[i].description.data(), listed_[i].description.size());
        dest[i] = node;
    }
    *numDevs = static_cast<DWORD>(listed_.size());
    return FT_OK;
}

FT_STATUS LibFtdiDriver::OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) {
    if (!arg || !handle || flags != FT_OPEN_BY_SERIAL_NUMBER) return FT_INVALID_PARAMETER;
    const char* serial = static_cast<const char*>(arg);
    auto device = std::make_unique<Device>();
    device->context = api_.ftdi_new();
    if (!device->context) return FT_OTHER_ERROR;
    // The kernel's ftdi_sio lets go of the cable while we hold it, and takes it back after.
    api_.ftdi_set_module_detach_mode(device->context, kAutoDetachReattachSio);
    int result = -3;
    for (const int product : kFtdiProducts) {
        result = api_.ftdi_usb_open_desc(device->context, kFtdiVendor, product, nullptr, serial);
        if (result == 0 || result == kPermissionDenied) break;
    }
    if (result != 0) {
        if (result == kPermissionDenied) notes_ = kLibFtdiPermissionHelp;
        api_.ftdi_free(device->context);
        return result == kPermissionDenied ? FT_DEVICE_NOT_OPENED : FT_DEVICE_NOT_FOUND;
    }
    api_.set_read_timeout(device->context, kReadWaitMs);
    api_.ftdi_read_data_set_chunksize(device->context, kReadChunk);
    // Replies reach us at once instead of after the chip's default 16 ms; a chip that
    // refuses keeps its default, which is slower but works.
    api_.ftdi_set_latency_timer(device->context, kLatencyMs);
    *handle = device.get();
    open_.push_back(std::move(device));
    return FT_OK;
}

FT_STATUS LibFtdiDriver::Close(FT_HANDLE handle) {
    const auto it = std::find_if(open_.begin(), open_.end(),
                                 [&](const auto& device) { return device.get() == handle; });
    if (it == open_.end()) return FT_INVALID_HANDLE;
    api_.ftdi_usb_close((*it)->context);
    api_.ftdi_free((*it)->context);
    open_.erase(it);
    return FT_OK;
}

FT_STATUS LibFtdiDriver::ResetDevice(FT_HANDLE handle) {
    Device* device = Find(handle);
    if (!device) return FT_INVALID_HANDLE;
    device->received.clear();
    return api_.ftdi_usb_reset(device->context) == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS LibFtdiDriver::SetBaudRate(FT_HANDLE handle, ULONG baud) {
    Device* device = Find(handle);
    if (!device) return FT_INVALID_HANDLE;
    return api_.ftdi_set_baudrate(device->context, static_cast<int>(baud)) == 0 ? FT_OK
                                                                                : FT_IO_ERROR;
}

FT_STATUS LibFtdiDriver::SetDataCharacteristics(FT_HANDLE handle, UCHAR bits, UCHAR stop,
                                                UCHAR parity) {
    Device* device = Find(handle);
    if (!device) return FT_INVALID_HANDLE;
    // D2XX's values equal libftdi's: 7/8 bits, stop bits 0 (one) and 2 (two), parity 0..4.
    if ((bits != 7 && bits != 8) || (stop != 0 && stop != 2) || parity > 4) {
        return FT_INVALID_PARAMETER;
    }
    return api_.ftdi_set_line_property(device->context, bits, stop, parity) == 0 ? FT_OK
                                                                                 : FT_IO_ERROR;
}

FT_STATUS LibFtdiDriver::SetFlowControl(FT_HANDLE handle, USHORT flow, UCHAR, UCHAR) {
    Device* device = Find(handle);
    if (!device) return FT_INVALID_HANDLE;
    // FT_FLOW_* and libftdi's SIO_*_HS masks are the same numbers.
    return api_.ftdi_setflowctrl(device->context, flow) == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS LibFtdiDriver::Purge(FT_HANDLE handle, ULONG mask) {
    Device* device = Find(handle);
    if (!device) return FT_INVALID_HANDLE;
    int result = 0;
    if ((mask & 3u) == 3u) {
        result = api_.ftdi_tcioflush(device->context);
    } else if (mask & 1u) {
        result = api_.ftdi_tciflush(device->context);
    } else if (mask & 2u) {
        result = api_.ftdi_tcoflush(device->context);
    }
    if (mask & 1u) device->received.clear();  // what we read ahead counts as received
    return result == 0 ? FT_OK : FT_IO_ERROR;
}

bool LibFtdiDriver::TopUp(Device& device) {
    // libftdi's read goes on with USB transfers until it has every byte it was asked for,
    // and one that times out on the way drops all it had. So ask for one byte (one
    // transfer), then for exactly what that transfer left in libftdi's buffer.
    unsigned char first = 0;
    const int got = api_.ftdi_read_data(device.context, &first, 1);
    if (got == kUsbTimeout || got == 0) return true;  // nothing has arrived
    if (got < 0) return false;
    device.received.push_back(first);
    const int rest = api_.buffered(device.context);
    if (rest <= 0) return true;
    std::vector<unsigned char> chunk(static_cast<std::size_t>(rest));
    const int more = api_.ftdi_read_data(device.context, chunk.data(), rest);
    if (more < 0) return false;
    device.received.insert(device.received.end(), chunk.begin(), chunk.begin() + more);
    return true;
}

FT_STATUS LibFtdiDriver::GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) {
    if (!rxBytes) return FT_INVALID_PARAMETER;
    Device* device = Find(handle);
    if (!device) return FT_INVALID_HANDLE;
    // Only when nothing waits here: a USB read that finds nothing costs up to its time limit,
    // and a reply taken a byte at a time would pay it for every byte.
    if (device->received.empty() && !TopUp(*device)) return FT_IO_ERROR;
    *rxBytes = static_cast<DWORD>(device->received.size());
    return FT_OK;
}

FT_STATUS LibFtdiDriver::Read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* got) {
    if (!got || (!buffer && toRead > 0)) return FT_INVALID_PARAMETER;
    *got = 0;
    Device* device = Find(handle);
    if (!device) return FT_INVALID_HANDLE;
    if (device->received.size() < toRead && !TopUp(*device)) return FT_IO_ERROR;
    const std::size_t n = std::min<std::size_t>(toRead, device->received.size());
    auto* out = static_cast<unsigned char*>(buffer);
    std::copy_n(device->received.begin(), n, out);
    device->received.erase(device->received.begin(),
                           device->received.begin() + static_cast<long>(n));
    *got = static_cast<DWORD>(n);
    return FT_OK;
}

FT_STATUS LibFtdiDriver::Write(FT_HANDLE handle, void* buffer, DWORD toWrite, DWORD* written) {
    if (!written || (!buffer && toWrite > 0)) return FT_INVALID_PARAMETER;
    *written = 0;
    Device* device = Find(handle);
    if (!device) return FT_INVALID_HANDLE;
    const int put = api_.ftdi_write_data(device->context, static_cast<const unsigned char*>(buffer),
                                         static_cast<int>(toWrite));
    if (put < 0) return FT_IO_ERROR;
    *written = static_cast<DWORD>(put);
    return FT_OK;
}

}  // namespace tq9
