// The D2XX table over libftdi1, against a fake of the libftdi calls: listing and its
// string cuts, opening by serial number, queue buffering, purges, status mapping, and the
// permission failure the operator must hear about.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "link/tq9_com.h"
#include "usb/FTDIchip.h"
#include "usb/libftdi/LibFtdiDriver.h"

namespace tq9 {
namespace {

// The fake USB bus. The fake's functions are plain C pointers, so they reach it through one
// pointer that each test sets.
struct FakeUsb {
    struct Cable {
        std::string serial, description;
        int product = 0x6001;
        int stringsResult = 0;  // what ftdi_usb_get_strings returns
        int openResult = 0;     // what ftdi_usb_open_desc returns for the matching product
    };
    std::vector<Cable> cables;
    std::map<ftdi_context*, std::string> opened;  // context -> serial
    std::map<ftdi_context*, int> detachMode;
    std::string pending;        // what the chip has received and not yet handed over
    std::size_t readChunk = 3;  // the most one USB transfer brings
    std::string libBuffer;      // libftdi's: what its last transfer brought, not yet taken
    bool statusPackets = true;  // false: the chip answers only with data, as QEMU's does
    int latency = -1;
    int readTimeout = -1;
    unsigned transferSize = 0;
    std::vector<std::string> calls;
    std::string written;
    int failAll = 0;  // status for every later call that can fail
    int line[3] = {};
    int flow = -1;
    int contexts = 0;
};
FakeUsb* usb = nullptr;

// Opaque stand-ins: the adapter never looks inside them.
ftdi_context* Context(int n) {
    return reinterpret_cast<ftdi_context*>(std::uintptr_t(0x100 + n));
}
ftdi_device_list* Entry(std::size_t i) {
    return reinterpret_cast<ftdi_device_list*>(std::uintptr_t(0x1000 + i));
}
std::size_t IndexOf(const void* entry) {
    return reinterpret_cast<std::uintptr_t>(entry) - 0x1000;
}

LibFtdiApi FakeApi() {
    LibFtdiApi a;
    a.ftdi_new = [] { return Context(++usb->contexts); };
    a.ftdi_free = [](ftdi_context*) {};
    a.ftdi_set_module_detach_mode = [](ftdi_context* c, int mode) {
        usb->detachMode[c] = mode;
        return 0;
    };
    a.ftdi_usb_find_all = [](ftdi_context*, ftdi_device_list** list, int vendor, int product) {
        EXPECT_EQ(vendor, 0);
        EXPECT_EQ(product, 0);
        *list = usb->cables.empty() ? nullptr : Entry(0);
        return static_cast<int>(usb->cables.size());
    };
    a.ftdi_list_free = [](ftdi_device_list** list) { *list = nullptr; };
    a.list_device = [](ftdi_device_list* e) { return reinterpret_cast<libusb_device*>(e); };
    a.list_next = [](ftdi_device_list* e) {
        return IndexOf(e) + 1 < usb->cables.size() ? Entry(IndexOf(e) + 1) : nullptr;
    };
    a.ftdi_usb_get_strings = [](ftdi_context*, libusb_device* dev, char*, int, char* description,
                                int descLen, char* serial, int serialLen) {
        const FakeUsb::Cable& cable = usb->cables.at(IndexOf(dev));
        if (cable.stringsResult < 0) return cable.stringsResult;
        std::snprintf(description, descLen, "%s", cable.description.c_str());
        std::snprintf(serial, serialLen, "%s", cable.serial.c_str());
        return 0;
    };
    a.ftdi_usb_open_desc = [](ftdi_context* c, int vendor, int product, const char*,
                              const char* serial) {
        usb->calls.push_back("open " + std::to_string(product));
        EXPECT_EQ(vendor, 0x0403);
        for (const auto& cable : usb->cables) {
            if (cable.serial != serial || cable.product != product) continue;
            if (cable.openResult != 0) return cable.openResult;
            usb->opened[c] = serial;
            return 0;
        }
        return -3;  // device not found
    };
    a.ftdi_usb_close = [](ftdi_context* c) {
        usb->opened.erase(c);
        return 0;
    };
    a.ftdi_usb_reset = [](ftdi_context*) { return usb->failAll; };
    a.ftdi_set_baudrate = [](ftdi_context*, int) { return usb->failAll; };
    a.ftdi_set_line_property = [](ftdi_context*, int bits, int stop, int parity) {
        usb->line[0] = bits, usb->line[1] = stop, usb->line[2] = parity;
        return 0;
    };
    a.ftdi_setflowctrl = [](ftdi_context*, int flow) {
        usb->flow = flow;
        return 0;
    };
    a.ftdi_tciflush = [](ftdi_context*) {
        usb->calls.push_back("tciflush");
        return 0;
    };
    a.ftdi_tcoflush = [](ftdi_context*) {
        usb->calls.push_back("tcoflush");
        return 0;
    };
    a.ftdi_tcioflush = [](ftdi_context*) {
        usb->calls.push_back("tcioflush");
        return 0;
    };
    a.ftdi_read_data = [](ftdi_context*, unsigned char* buffer, int size) {
        usb->calls.push_back("read");
        if (usb->failAll) return usb->failAll;
        // As libftdi: its buffer first, then transfers until `size` is met. A transfer
        // without data ends the read: a real chip's status-only packet with what it has;
        // where the chip does not answer at all the transfer times out, and libftdi drops
        // everything it had.
        std::string out;
        for (;;) {
            const std::size_t take =
                std::min(usb->libBuffer.size(), std::size_t(size) - out.size());
            out += usb->libBuffer.substr(0, take);
            usb->libBuffer.erase(0, take);
            if (out.size() == std::size_t(size)) break;
            if (usb->pending.empty()) {
                if (!usb->statusPackets) return -7;  // LIBUSB_ERROR_TIMEOUT
                break;
            }
            usb->libBuffer = usb->pending.substr(0, usb->readChunk);
            usb->pending.erase(0, usb->libBuffer.size());
        }
        std::copy(out.begin(), out.end(), buffer);
        return static_cast<int>(out.size());
    };
    a.buffered = [](ftdi_context*) { return static_cast<int>(usb->libBuffer.size()); };
    a.set_read_timeout = [](ftdi_context*, int ms) {
        usb->readTimeout = ms;
        return 0;
    };
    a.ftdi_read_data_set_chunksize = [](ftdi_context*, unsigned bytes) {
        usb->transferSize = bytes;
        return 0;
    };
    a.ftdi_set_latency_timer = [](ftdi_context*, unsigned char ms) {
        usb->latency = ms;
        return 0;
    };
    a.ftdi_write_data = [](ftdi_context*, const unsigned char* buffer, int size) {
        usb->written.append(reinterpret_cast<const char*>(buffer), size);
        return size;
    };
    a.ftdi_get_error_string = [](ftdi_context*) { return "fake"; };
    return a;
}

class LibFtdiTest : public ::testing::Test {
  protected:
    LibFtdiTest() { usb = &fake; }
    // The driver goes before the fake it closes its cables on (members end in reverse).
    std::int32_t Waiting() {
        std::int32_t n = -1;
        EXPECT_TRUE(chip.getReceiveQueueStatus(n));
        return n;
    }

    FakeUsb fake;
    LibFtdiApi api = FakeApi();
    LibFtdiDriver driver{api};
    tftdichip chip{LibFtdiDriver::Table()};
};

TEST_F(LibFtdiTest, ListingCutsTheStringsToTheNodeWidths) {
    fake.cables = {{"ABCDEFGHIJKLMNOPQRST", std::string(70, 'd')}, {"TQ9A0001", "TTL232R-5V"}};
    TBoardLink link;
    link.driver = &LibFtdiDriver::Table();
    std::string status;
    BuildDeviceList(link, status);
    EXPECT_EQ(status, "### FTDI Device list created");
    ASSERT_EQ(link.deviceCount, 2u);
    EXPECT_EQ(link.serials[0], "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(link.descriptions[0], std::string(64, 'd'));
    EXPECT_EQ(link.serials[1], "TQ9A0001");
    EXPECT_TRUE(driver.Notes().empty());
}

TEST_F(LibFtdiTest, ACableWithoutPermissionIsExplainedNotSilentlyLeftOut) {
    fake.cables = {{"LOCKED", "FT232R USB UART", 0x6001, -4}};
    d2xx::DWORD count = 9;
    std::vector<ftdiDeviceNode> nodes;
    EXPECT_TRUE(chip.createDeviceInfoList(count, nodes));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(driver.Notes(), kLibFtdiPermissionHelp);
    EXPECT_NE(driver.Notes().find("udev rule"), std::string::npos);
    EXPECT_NE(driver.Notes().find("plugdev"), std::string::npos);
}

TEST_F(LibFtdiTest, OpensBySerialAcrossFtdisProductIdsAndDetachesTheKernelDriver) {
    fake.cables = {{"FT4232", "Quad", 0x6011}};
    ASSERT_TRUE(chip.openDeviceBySerial("FT4232"));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"open 24577", "open 24592", "open 24593"}));
    ASSERT_EQ(fake.opened.size(), 1u);
    EXPECT_EQ(fake.detachMode[fake.opened.begin()->first], 2) << "AUTO_DETACH_REATACH_SIO_MODULE";
    chip.closeDevice();
    EXPECT_TRUE(fake.opened.empty());
    EXPECT_FALSE(chip.openDeviceBySerial("NOPE"));
}

TEST_F(LibFtdiTest, AnOpenRefusedForPermissionSaysHowToFixIt) {
    fake.cables = {{"LOCKED", "FT232R USB UART", 0x6001, 0, -8}};
    EXPECT_FALSE(chip.openDeviceBySerial("LOCKED"));
    EXPECT_EQ(fake.calls.size(), 1u) << "no point trying the other products";
    EXPECT_EQ(driver.Notes(), kLibFtdiPermissionHelp);
}

TEST_F(LibFtdiTest, ReceivedBytesAreBufferedAcrossQueueChecksAndReads) {
    fake.cables = {{"A", "a"}};
    ASSERT_TRUE(chip.openDeviceBySerial("A"));
    fake.pending = "253=1\r";
    EXPECT_EQ(Waiting(), 3);
    fake.calls.clear();
    EXPECT_EQ(Waiting(), 3) << "no USB read while bytes wait here";
    EXPECT_TRUE(fake.calls.empty());
    std::string got;
    for (int i = 0; i < 6; ++i) {
        if (i == 3) {
            EXPECT_EQ(Waiting(), 3);
        }
        std::uint8_t byte = 0;
        std::int32_t n = 0;
        ASSERT_TRUE(chip.read(&byte, 1, n));
        ASSERT_EQ(n, 1);
        got += static_cast<char>(byte);
    }
    EXPECT_EQ(got, "253=1\r");
    EXPECT_EQ(Waiting(), 0);
}

// Found in the VM against QEMU's chip, which the first fake had hidden by handing over
// whatever was there: libftdi reads until it has all it was asked for, and a transfer that
// times out drops what the read had gathered.
TEST_F(LibFtdiTest, AChipThatAnswersOnlyWithDataLosesNoReplyByte) {
    fake.cables = {{"A", "a"}};
    fake.statusPackets = false;
    ASSERT_TRUE(chip.openDeviceBySerial("A"));
    EXPECT_EQ(fake.latency, 1) << "replies would wait for the chip's 16 ms timer";
    EXPECT_EQ(fake.readTimeout, 20) << "an empty read would wait libftdi's 5 s";
    EXPECT_EQ(fake.transferSize, 64u) << "a transfer cut short could drop bytes";
    EXPECT_EQ(Waiting(), 0) << "a read that timed out with nothing is no failure";
    fake.pending = "253=1\r";
    std::string got;
    while (Waiting() > 0) {
        std::uint8_t byte = 0;
        std::int32_t n = 0;
        ASSERT_TRUE(chip.read(&byte, 1, n));
        got += static_cast<char>(byte);
    }
    EXPECT_EQ(got, "253=1\r");
}

TEST_F(LibFtdiTest, PurgesMapToTheTcflushCallsAndDropWhatWasReadAhead) {
    fake.cables = {{"A", "a"}};
    ASSERT_TRUE(chip.openDeviceBySerial("A"));
    fake.pending = "xyz";
    EXPECT_EQ(Waiting(), 3);
    fake.calls.clear();
    EXPECT_TRUE(chip.purgeQueue(fSendQueue));
    fake.readChunk = 0;
    EXPECT_EQ(Waiting(), 3) << "a transmit purge keeps what was received";
    EXPECT_TRUE(chip.purgeQueue(fReceiveQueue));
    EXPECT_EQ(Waiting(), 0);
    EXPECT_TRUE(chip.purgeQueue(fAll));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"tcoflush", "tciflush", "read", "tcioflush"}));
}

TEST_F(LibFtdiTest, LineSettingsPassTheirValuesAndFailuresBecomeFalse) {
    fake.cables = {{"A", "a"}};
    ASSERT_TRUE(chip.openDeviceBySerial("A"));
    EXPECT_TRUE(chip.setDataCharacteristics(fBits7, fStopBits2, fParitySpace));
    EXPECT_EQ(fake.line[0], 7);
    EXPECT_EQ(fake.line[1], 2);
    EXPECT_EQ(fake.line[2], 4);
    EXPECT_TRUE(chip.setFlowControl(fFlowRTSCTS, 0, 0));
    EXPECT_EQ(fake.flow, 0x0100);
    EXPECT_TRUE(chip.setBaudRate(fBaud57600));
    std::int32_t n = 0;
    EXPECT_TRUE(chip.write(reinterpret_cast<const std::uint8_t*>("RLD\r"), 4, n));
    EXPECT_EQ(fake.written, "RLD\r");

    fake.failAll = -1;
    EXPECT_FALSE(chip.resetDevice());
    EXPECT_FALSE(chip.setBaudRate(fBaud57600));
    EXPECT_FALSE(chip.getReceiveQueueStatus(n));
    chip.closeDevice();
    EXPECT_FALSE(chip.resetDevice()) << "a closed handle is refused";
}

}  // namespace
}  // namespace tq9
