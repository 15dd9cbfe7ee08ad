#pragma once
// The device object: the only way to the FTDI USB-serial cable. One object holds at most
// one open device. Each operation makes one driver call (listing and the presence test
// two) and is true exactly when the driver returned FT_OK.
//
// Contract: the driver table outlives the object. Destroying the object does not close an
// open device: its owner calls closeDevice() first. Line settings, purge, queue status,
// read and write pass the stored handle in any state and rely on the driver to refuse a
// stale one.

#include <cstdint>
#include <string>
#include <vector>

#include "usb/FTDIdll.h"
#include "usb/FTDItypes.h"

namespace tq9 {

class tftdichip {
  public:
    explicit tftdichip(const FTDIdll& driver) : dll_(driver) {}
    tftdichip(const tftdichip&) = delete;
    tftdichip& operator=(const tftdichip&) = delete;

    // Fills devicecount and, when it is not 0, devicelist (one node per device, in the
    // driver's order). On failure of the first call neither is touched; on failure of the
    // second the list is emptied and the count set to 0.
    bool createDeviceInfoList(d2xx::DWORD& devicecount, std::vector<ftdiDeviceNode>& devicelist);
    // Can the device be opened at this moment? Opens and closes a temporary handle; the
    // object's own state is not touched.
    bool isPresentBySerial(const std::string& deviceSerial);
    bool openDeviceBySerial(const std::string& deviceSerial);
    void closeDevice();
    bool resetDevice();
    bool setBaudRate(fBaudRate baudrate);
    bool setDataCharacteristics(fWordLength wordLength, fStopBits stopBits, fParity parity);
    bool setFlowControl(fFlowControl flowcontrol, std::uint8_t xonChar, std::uint8_t xoffChar);
    bool purgeQueue(fQueue queue);
    bool getReceiveQueueStatus(std::int32_t& bytesWaiting);
    bool read(std::uint8_t* buffer, std::int32_t bytesToRead, std::int32_t& bytesRead);
    bool write(const std::uint8_t* buffer, std::int32_t bytesToWrite, std::int32_t& bytesWritten);

    bool fconnected() const { return fconnected_; }
    // The driver's answer to the last open (or presence check) or reset, so a refusal can
    // be named.
    d2xx::FT_STATUS lastStatus() const { return lastStatus_; }

  private:
    const FTDIdll& dll_;
    d2xx::FT_HANDLE fhandle_ = nullptr;
    bool fconnected_ = false;
    d2xx::FT_STATUS lastStatus_ = d2xx::FT_OK;
};

}  // namespace tq9
