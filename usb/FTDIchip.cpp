#include "usb/FTDIchip.h"

#include <algorithm>

#include "base/Errors.h"

namespace tq9 {

using namespace d2xx;

namespace {
[[noreturn]] void Refuse(const char* operation, const char* text) {
    throw Tq9Error(std::string("tftdichip.") + operation + ": " + text);
}

// The serial number as FT_OpenEx wants it: NUL-terminated 8-bit characters. Text is
// carried as 8-bit bytes already, so only the terminator is added.
std::vector<char> SerialArgument(const std::string& serial) {
    std::vector<char> arg(serial.begin(), serial.end());
    arg.push_back('\0');
    return arg;
}
}  // namespace

bool tftdichip::createDeviceInfoList(DWORD& devicecount, std::vector<ftdiDeviceNode>& devicelist) {
    DWORD count = 0;
    if (dll_.FT_CreateDeviceInfoList(&count) != FT_OK) return false;
    devicecount = count;
    if (count == 0) {
        devicelist.clear();
        return true;
    }
    std::vector<ftdiDeviceNode> nodes(count, ftdiDeviceNode{});
    DWORD updated = count;
    if (dll_.FT_GetDeviceInfoList(nodes.data(), &updated) != FT_OK) {
        devicelist.clear();
        devicecount = 0;
        return false;
    }
    // The driver may lower the count; it can never describe more nodes than we gave it.
    devicecount = std::min(updated, count);
    nodes.resize(devicecount);
    devicelist = std::move(nodes);
    return true;
}

bool tftdichip::isPresentBySerial(const std::string& deviceSerial) {
    auto serial = SerialArgument(deviceSerial);
    FT_HANDLE temporary = nullptr;
    lastStatus_ = dll_.FT_OpenEx(serial.data(), FT_OPEN_BY_SERIAL_NUMBER, &temporary);
    if (lastStatus_ != FT_OK) return false;
    dll_.FT_Close(temporary);
    return true;
}

bool tftdichip::openDeviceBySerial(const std::string& deviceSerial) {
    if (fconnected_) Refuse("openDeviceBySerial", "Already open");
    auto serial = SerialArgument(deviceSerial);
    FT_HANDLE handle = nullptr;
    lastStatus_ = dll_.FT_OpenEx(serial.data(), FT_OPEN_BY_SERIAL_NUMBER, &handle);
    if (lastStatus_ != FT_OK) return false;
    fhandle_ = handle;
    fconnected_ = true;
    return true;
}

void tftdichip::closeDevice() {
    if (!fconnected_) Refuse("closeDevice", "Not open");
    dll_.FT_Close(fhandle_);
    fconnected_ = false;
}

bool tftdichip::resetDevice() {
    lastStatus_ = dll_.FT_ResetDevice(fhandle_);
    return lastStatus_ == FT_OK;
}

bool tftdichip::setBaudRate(fBaudRate baudrate) {
    const auto rate = BaudRateValue(baudrate);
    if (!rate) Refuse("setBaudRate", "Invalid baud rate");
    return dll_.FT_SetBaudRate(fhandle_, *rate) == FT_OK;
}

bool tftdichip::setDataCharacteristics(fWordLength wordLength, fStopBits stopBits, fParity parity) {
    const auto bits = WordLengthValue(wordLength);
    if (!bits) Refuse("setDataCharacteristics", "Invalid wordLength");
    const auto stops = StopBitsValue(stopBits);
    if (!stops) Refuse("setDataCharacteristics", "Invalid stopBits");
    const auto par = ParityValue(parity);
    if (!par) Refuse("setDataCharacteristics", "Invalid parity");
    return dll_.FT_SetDataCharacteristics(fhandle_, *bits, *stops, *par) == FT_OK;
}

bool tftdichip::setFlowControl(fFlowControl flowcontrol, std::uint8_t xonChar,
                               std::uint8_t xoffChar) {
    const auto mask = FlowControlValue(flowcontrol);
    if (!mask) Refuse("setFlowControl", "Invalid flowcontrol");
    return dll_.FT_SetFlowControl(fhandle_, *mask, xonChar, xoffChar) == FT_OK;
}

bool tftdichip::purgeQueue(fQueue queue) {
    const auto mask = PurgeMask(queue);
    if (!mask) Refuse("purgeQueue", "Invalid queue");
    return dll_.FT_Purge(fhandle_, *mask) == FT_OK;
}

bool tftdichip::getReceiveQueueStatus(std::int32_t& bytesWaiting) {
    DWORD waiting = 0;
    const bool ok = dll_.FT_GetQueueStatus(fhandle_, &waiting) == FT_OK;
    if (ok) bytesWaiting = static_cast<std::int32_t>(waiting);
    return ok;
}

bool tftdichip::read(std::uint8_t* buffer, std::int32_t bytesToRead, std::int32_t& bytesRead) {
    DWORD got = 0;
    const DWORD wanted = bytesToRead > 0 ? static_cast<DWORD>(bytesToRead) : 0;
    const bool ok = dll_.FT_Read(fhandle_, buffer, wanted, &got) == FT_OK;
    bytesRead = static_cast<std::int32_t>(std::min(got, wanted));
    return ok;
}

bool tftdichip::write(const std::uint8_t* buffer, std::int32_t bytesToWrite,
                      std::int32_t& bytesWritten) {
    DWORD sent = 0;
    const DWORD count = bytesToWrite > 0 ? static_cast<DWORD>(bytesToWrite) : 0;
    // FT_Write takes a non-const pointer but does not write through it.
    const bool ok =
        dll_.FT_Write(fhandle_, const_cast<std::uint8_t*>(buffer), count, &sent) == FT_OK;
    bytesWritten = static_cast<std::int32_t>(std::min(sent, count));
    return ok;
}

}  // namespace tq9
