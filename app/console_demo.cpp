// The device flow as a console program, on whatever driver library sits beside it (the
// simulated one on the demo bench): the same flow the window's Device button runs, with
// the first cable chosen, then Close.

#include <iostream>
#include <string>

#include "app/BenchDirectory.h"
#include "base/Errors.h"
#include "board/DeviceFlow.h"
#include "board/ScanCores.h"
#include "services/ConsoleHost.h"
#include "usb/FTDIdll.h"

using namespace tq9;

int main() {
    ConsoleHost host(ScanCoreEntries());
    BoardContext ctx(host);
    ctx.ProgramDirectory = BenchDirectory();

    const auto library = D2xxLibrary::Load(ctx.ProgramDirectory);
    std::cout << "Driver library: "
              << (library->Loaded() ? library->LoadedFrom() : std::string("none")) << "\n\n";
    ctx.BoardLink.driver = &library->Table();
    ctx.DriverLoadFailure = library->FailureReason();
    ctx.DriverInUse = library->InUseLine();
    ctx.DriverNotes = [&] { return library->Notes(); };

    try {
        BtnRescanClick(ctx);
    } catch (const Tq9Error& error) {
        std::cout << "Error: " << ErrorBoxText(error.what()) << '\n';
    }
    const bool identified = ctx.BoardLink.connected;
    BtnCloseClick(ctx);
    ctx.BoardLink.device.reset();
    return identified ? 0 : 1;
}
