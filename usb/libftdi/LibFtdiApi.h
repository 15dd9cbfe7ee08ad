#pragma once
// The libftdi1 calls the libftdi layer makes, as a table: the real library where it is
// built in (LibFtdiApi_linked.cpp), null pointers where it is not (LibFtdiApi_absent.cpp),
// or a test's fake.

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
    // How many received bytes libftdi holds from its last USB transfer (readbuffer_remaining).
    int (*buffered)(ftdi_context*) = nullptr;
    // How long one USB read transfer may wait (usb_read_timeout), in milliseconds.
    int (*set_read_timeout)(ftdi_context*, int ms) = nullptr;
    int (*ftdi_set_latency_timer)(ftdi_context*, unsigned char ms) = nullptr;
    int (*ftdi_read_data_set_chunksize)(ftdi_context*, unsigned int bytes) = nullptr;
    int (*ftdi_write_data)(ftdi_context*, const unsigned char* buffer, int size) = nullptr;
    const char* (*ftdi_get_error_string)(ftdi_context*) = nullptr;
};

// The real libftdi1, linked in at build time; null pointers where it is not built in.
const LibFtdiApi& SystemLibFtdi();
bool LibFtdiBuiltIn();

}  // namespace tq9
