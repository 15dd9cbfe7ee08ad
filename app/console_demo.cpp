// Console walk-through of the device flow on whatever driver library sits beside the
// program (the simulated one on the demo bench): list the cables, open the first one the
// way the device flow does, detect its COM port, identify the board, close the cable.

#include <iostream>
#include <string>

#include "app/ConsoleHost.h"
#include "board/BoardInfo.h"
#include "link/tq9_com.h"
#include "ui/services/Errors.h"
#include "ui/services/Platform.h"

using namespace tq9;

int main() {
    ConsoleHost host;
    BoardContext ctx(host);
    const std::string programDirectory = ExecutableDirectory();

    auto library = D2xxLibrary::Load(programDirectory);
    if (library->Loaded()) {
        std::cout << "Driver library: " << library->LoadedFrom() << "\n\n";
    } else {
        std::cout << library->FailureReason() << "\n\n";
    }
    TBoardLink& link = ctx.BoardLink;
    link.driver = &library->Table();
    std::string status;

    ctx.ConsoleAdd("Open FTDI device...");
    ctx.BusyPulse();
    SnapshotComPorts(link);
    BuildDeviceList(link, status);
    std::cout << "  [" << status << "]\n";
    if (link.deviceCount == 0) {
        ctx.PlayDing();
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
    ctx.ConsoleAdd("Using FTDI Device #" + std::to_string(link.selectedIndex) + " on COM port #" +
                   std::to_string(link.comNumber));
    ctx.ConsoleAdd("");
    std::cout << "  DeviceView: " << link.serials[0] << " - " << link.descriptions[0] << " on COM"
              << link.comNumber << "\n";

    try {
        if (CheckBoardReady(ctx)) {
            ReadBoardInfo(ctx, true);
            PrintBoardSummary(ctx);
        } else {
            ctx.PlayDing();
            ctx.ConsoleAdd("No response from TQ9 serial port driver!");
        }
    } catch (const Tq9Error& error) {
        std::cout << "Error: " << error.what() << '\n';
    }

    link.device->closeDevice();
    link.connected = false;
    ctx.ConsoleAdd("Closed FTDI device. Ready to unplug USB cable from PC.");
    return 0;
}
