// Console walk-through of the device flow on whatever driver library sits beside the
// program (the simulated one on the demo bench): list the cables, open the first one the
// way the device flow does, detect its COM port, exchange one line, close it.

#include <iostream>
#include <string>

#include "app/ConsoleHost.h"
#include "link/tq9_com.h"
#include "ui/services/Platform.h"
#include "ui/services/Services.h"

using namespace tq9;

int main() {
    ConsoleHost host;
    Services services(host);
    const std::string programDirectory = ExecutableDirectory();

    auto library = D2xxLibrary::Load(programDirectory);
    if (library->Loaded()) {
        std::cout << "Driver library: " << library->LoadedFrom() << "\n\n";
    } else {
        std::cout << library->FailureReason() << "\n\n";
    }

    TBoardLink link;
    link.driver = &library->Table();
    std::string status;

    services.ConsoleAdd("Open FTDI device...");
    services.BusyPulse();
    SnapshotComPorts(link);
    BuildDeviceList(link, status);
    std::cout << "  [" << status << "]\n";
    if (link.deviceCount == 0) {
        services.PlayDing();
        std::cout << "No FTDI cable or TQ9 USB extension found!\n";
        return 1;
    }
    for (std::uint32_t i = 0; i < link.deviceCount; ++i) {
        std::cout << "  Device " << i << " | " << link.serials[i] << " | " << link.descriptions[i]
                  << '\n';
    }

    link.selectedIndex = 0;
    OpenDeviceByIndex(link, link.selectedIndex, status);
    std::cout << "  [" << status << "]\n";
    if (!link.connected) return 1;

    DetectComNumber(link);
    services.ConsoleAdd("Using FTDI Device #" + std::to_string(link.selectedIndex) +
                        " on COM port #" + std::to_string(link.comNumber));
    services.ConsoleAdd("");
    std::cout << "DeviceView: " << link.serials[0] << " - " << link.descriptions[0] << " on COM"
              << link.comNumber << "\n\n";

    // One line out and whatever comes back within half a second.
    const std::string line = "253?\r";
    std::int32_t written = 0;
    link.device->write(reinterpret_cast<const std::uint8_t*>(line.data()),
                       static_cast<std::int32_t>(line.size()), written);
    std::string reply;
    const std::uint32_t start = host.TickCount();
    while (host.TickCount() - start < 500 && (reply.empty() || reply.back() != '\r')) {
        std::int32_t waiting = 0;
        if (link.device->getReceiveQueueStatus(waiting) && waiting > 0) {
            std::uint8_t byte = 0;
            std::int32_t got = 0;
            if (link.device->read(&byte, 1, got) && got == 1) reply += static_cast<char>(byte);
        } else {
            host.Sleep(1);
        }
    }
    if (!reply.empty() && reply.back() == '\r') reply.pop_back();
    std::cout << "Sent \"253?\", the cable's far end answered \"" << reply << "\"\n\n";

    link.device->closeDevice();
    link.connected = false;
    services.ConsoleAdd("Closed FTDI device. Ready to unplug USB cable from PC.");
    return 0;
}
