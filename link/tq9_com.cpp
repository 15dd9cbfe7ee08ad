#include "link/tq9_com.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "link/Ansi.h"

namespace tq9 {

namespace {
// Node text fields end at their first NUL or fill their whole width.
std::string NodeText(const char* field, std::size_t width) {
    return std::string(field, strnlen(field, width));
}

std::string PortNameOf(const TBoardLink& link, std::int32_t n) {
    return link.portName ? link.portName(n) : ComPortName(n);
}
}  // namespace

void SnapshotComPorts(TBoardLink& link) {
    for (std::int32_t n = 0; n < kComPortCount; ++n) {
        link.comProbe[n] = ProbePortFile(PortNameOf(link, n));
    }
}

void DetectComNumber(TBoardLink& link) {
    for (std::int32_t n = 0; n < kComPortCount; ++n) {
        if (ProbePortFile(PortNameOf(link, n)) != link.comProbe[n]) {
            link.comNumber = n;
            return;
        }
    }
}

void BuildDeviceList(TBoardLink& link, std::string& statusText) {
    link.connected = false;
    link.device = std::make_unique<tftdichip>(*link.driver);

    d2xx::DWORD count = 0;
    std::vector<ftdiDeviceNode> nodes;
    if (!link.device->createDeviceInfoList(count, nodes)) {
        statusText = kStatusListFailed;
        link.device.reset();
        link.deviceCount = 0;
        return;
    }
    // The tables hold 16 devices; the rest are not listed (the dialog shows the same 16).
    const auto listed = std::min<std::size_t>({count, nodes.size(), std::size_t(kMaxDevices)});
    link.deviceCount = static_cast<std::uint32_t>(listed);
    // The driver's strings are the code page's bytes; from here on they are UTF-8.
    for (std::size_t i = 0; i < listed; ++i) {
        link.serials[i] = AnsiToUtf8(NodeText(nodes[i].serialNumber, sizeof nodes[i].serialNumber));
        link.descriptions[i] =
            AnsiToUtf8(NodeText(nodes[i].description, sizeof nodes[i].description));
    }
    statusText = kStatusListed;
}

void OpenDeviceByIndex(TBoardLink& link, std::int32_t index, std::string& statusText) {
    link.openRefusal.clear();
    if (!link.device) {
        statusText = kStatusNoDeviceObject;
        return;
    }
    if (index < 0 || index >= kMaxDevices) {
        statusText = kStatusBadIndex;
        return;
    }
    // Back to the driver's bytes, which the conversion gives unchanged.
    const std::string serial = Utf8ToAnsi(link.serials[index]);
    if (!link.device->isPresentBySerial(serial)) {
        statusText = kStatusNotPresent;
        link.openRefusal = d2xx::StatusName(link.device->lastStatus());
        link.device.reset();
        return;
    }
    if (!link.device->openDeviceBySerial(serial)) {
        statusText = kStatusOpenFailed;
        link.openRefusal = d2xx::StatusName(link.device->lastStatus());
        link.device.reset();
        return;
    }
    if (!link.device->resetDevice()) {
        // Close it too: nothing later would, since the closers act only when connected.
        statusText = kStatusResetFailed;
        link.openRefusal = d2xx::StatusName(link.device->lastStatus());
        link.device->closeDevice();
        link.device.reset();
        return;
    }
    // The line settings' results are not looked at: the link counts as connected anyway.
    link.device->setBaudRate(fBaud57600);
    link.device->setDataCharacteristics(fBits8, fStopBits1, fParityNone);
    link.device->setFlowControl(fFlowNone, 0, 0);
    link.connected = link.device->fconnected();
    statusText = kStatusConnected;
}

void CloseLink(TBoardLink& link) {
    if (link.connected && link.device) link.device->closeDevice();
    link.connected = false;
}

}  // namespace tq9
