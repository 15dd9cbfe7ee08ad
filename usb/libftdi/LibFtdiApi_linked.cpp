// The real libftdi1 behind the adapter's table of calls.

#include <ftdi.h>

#include "usb/libftdi/LibFtdiApi.h"

namespace tq9 {

namespace {
int SetDetach(ftdi_context* ftdi, int mode) {
    ftdi->module_detach_mode = static_cast<ftdi_module_detach_mode>(mode);
    return 0;
}
libusb_device* Device(ftdi_device_list* entry) {
    return entry->dev;
}
ftdi_device_list* Next(ftdi_device_list* entry) {
    return entry->next;
}
int Buffered(ftdi_context* ftdi) {
    return static_cast<int>(ftdi->readbuffer_remaining);
}
int SetReadTimeout(ftdi_context* ftdi, int ms) {
    ftdi->usb_read_timeout = ms;
    return 0;
}
int LineProperty(ftdi_context* ftdi, int bits, int stop, int parity) {
    return ftdi_set_line_property(ftdi, static_cast<ftdi_bits_type>(bits),
                                  static_cast<ftdi_stopbits_type>(stop),
                                  static_cast<ftdi_parity_type>(parity));
}
}  // namespace

bool LibFtdiBuiltIn() {
    return true;
}

const LibFtdiApi& SystemLibFtdi() {
    static const LibFtdiApi api = [] {
        LibFtdiApi a;
        a.ftdi_new = ftdi_new;
        a.ftdi_free = ftdi_free;
        a.ftdi_set_module_detach_mode = SetDetach;
        a.ftdi_usb_find_all = ftdi_usb_find_all;
        a.ftdi_list_free = ftdi_list_free;
        a.list_device = Device;
        a.list_next = Next;
        a.ftdi_usb_get_strings = ftdi_usb_get_strings;
        a.ftdi_usb_open_desc = ftdi_usb_open_desc;
        a.ftdi_usb_close = ftdi_usb_close;
        a.ftdi_usb_reset = ftdi_usb_reset;
        a.ftdi_set_baudrate = ftdi_set_baudrate;
        a.ftdi_set_line_property = LineProperty;
        a.ftdi_setflowctrl = ftdi_setflowctrl;
        a.ftdi_tciflush = ftdi_tciflush;
        a.ftdi_tcoflush = ftdi_tcoflush;
        a.ftdi_tcioflush = ftdi_tcioflush;
        a.ftdi_read_data = ftdi_read_data;
        a.buffered = Buffered;
        a.set_read_timeout = SetReadTimeout;
        a.ftdi_set_latency_timer = ftdi_set_latency_timer;
        a.ftdi_read_data_set_chunksize = ftdi_read_data_set_chunksize;
        a.ftdi_write_data = ftdi_write_data;
        a.ftdi_get_error_string = ftdi_get_error_string;
        return a;
    }();
    return api;
}

}  // namespace tq9
