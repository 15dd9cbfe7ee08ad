// tq9ctl: the bench's operations from the command line, on the same core as the window.
// The console lines go to standard output as the window would show them.
//   tq9ctl list
//   tq9ctl identify [--cable SERIAL | --index N]
// Exit codes: 0 done and the board answered; 1 the board did not answer; 2 usage error or
// bad input; 3 no cable found or no driver.

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "base/Convert.h"
#include "base/Errors.h"
#include "base/Platform.h"
#include "board/DeviceFlow.h"
#include "board/ScanCores.h"
#include "services/StdHost.h"
#include "usb/FTDIdll.h"

using namespace tq9;

namespace {

constexpr int kDone = 0, kFailed = 1, kUsage = 2, kNoCable = 3;
constexpr const char* kVersion = "tq9ctl 0.1.0";
constexpr const char* kUsageText =
    "usage: tq9ctl list\n"
    "       tq9ctl identify [--cable SERIAL | --index N]\n"
    "       tq9ctl --help | --version\n"
    "\n"
    "  list      the attached FTDI cables and the driver that found them\n"
    "  identify  the device flow: open the cable (the first unless one is named), detect\n"
    "            its COM port, check that the board answers, identify it, close it\n"
    "\n"
    "Exit codes: 0 done and the board answered, 1 the board did not answer, 2 usage error\n"
    "or bad input, 3 no cable found or no driver.\n";

// The window's console on standard output; the device dialog answered by the command line.
class CtlHost : public StdHost {
  public:
    using StdHost::StdHost;
    void ConsoleLineAdded(const std::string& line) override {
        // Reply lines keep their closing CR; a terminal would return the cursor on it.
        std::string shown = line;
        if (!shown.empty() && shown.back() == '\r') shown.pop_back();
        std::cout << shown << '\n';
    }
    // A cleared console shows nothing; new content shows as lines.
    void ConsoleReplaced(const std::vector<std::string>& lines) override {
        for (const auto& line : lines)
            ConsoleLineAdded(line);
    }
    void DeviceDialogClear() override { serials_.clear(); }
    void DeviceDialogAddRow(const std::string&, const std::string& serial,
                            const std::string&) override {
        serials_.push_back(serial);
    }
    bool DeviceDialogShow(int& row) override {
        for (int i = 0; i < static_cast<int>(serials_.size()); ++i) {
            if (wantedSerial ? serials_[i] == *wantedSerial : i == wantedIndex) {
                row = i;
                return true;
            }
        }
        refusal = wantedSerial ? "no cable with serial " + *wantedSerial
                               : "no cable at index " + std::to_string(wantedIndex) + " (" +
                                     std::to_string(serials_.size()) + " attached)";
        return false;
    }

    std::optional<std::string> wantedSerial;
    int wantedIndex = 0;
    std::string refusal;  // why the dialog's question had no answer

  private:
    std::vector<std::string> serials_;
};

int Usage(const std::string& why) {
    std::cerr << "tq9ctl: " << why << "\n" << kUsageText;
    return kUsage;
}

int List(const D2xxLibrary& library) {
    TBoardLink link;
    link.driver = &library.Table();
    std::string status;
    BuildDeviceList(link, status);
    if (link.deviceCount == 0) {
        std::cout << kNoCableFound << '\n';
        if (!library.Notes().empty()) std::cerr << library.Notes() << '\n';
        return kNoCable;
    }
    std::cout << "Driver: " << library.Source() << " (" << library.LoadedFrom() << ")\n";
    for (std::uint32_t i = 0; i < link.deviceCount; ++i) {
        std::cout << i << '\t' << link.serials[i] << '\t' << link.descriptions[i] << '\n';
    }
    return kDone;
}

int Identify(const D2xxLibrary& library, CtlHost& host) {
    BoardContext ctx(host);
    ctx.ProgramDirectory = ExecutableDirectory();
    ctx.BoardLink.driver = &library.Table();
    ctx.DriverNotes = [&] { return library.Notes(); };
    int result = kFailed;
    try {
        BtnRescanClick(ctx);
        if (ctx.BoardLink.deviceCount == 0) {
            result = kNoCable;
        } else if (!host.refusal.empty()) {
            std::cerr << "tq9ctl: " << host.refusal << '\n';
            result = kUsage;
        } else if (ctx.BoardLink.connected) {
            result = kDone;
        }
    } catch (const Tq9Error& error) {
        std::cerr << "tq9ctl: " << ErrorBoxText(error.what()) << '\n';
    }
    if (ctx.BoardLink.connected) BtnCloseClick(ctx);
    ctx.BoardLink.device.reset();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command");
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsageText;
        return kDone;
    }
    if (args[0] == "--version") {
        std::cout << kVersion << '\n';
        return kDone;
    }
    CtlHost host(ScanCoreEntries());
    if (args[0] == "list") {
        if (args.size() > 1) return Usage("list takes no options");
    } else if (args[0] == "identify") {
        for (std::size_t i = 1; i < args.size(); i += 2) {
            if (i + 1 >= args.size()) return Usage(args[i] + " needs a value");
            if (args[i] == "--cable") {
                host.wantedSerial = args[i + 1];
            } else if (args[i] == "--index") {
                const auto index = ParseInt32(args[i + 1]);
                if (!index || *index < 0) return Usage("--index takes a number from 0");
                host.wantedIndex = *index;
            } else {
                return Usage("unknown option " + args[i]);
            }
        }
    } else {
        return Usage("unknown command " + args[0]);
    }

    const auto library = D2xxLibrary::Load(ExecutableDirectory());
    if (!library->Loaded()) {
        std::cerr << library->FailureReason() << '\n';
        return kNoCable;
    }
    return args[0] == "list" ? List(*library) : Identify(*library, host);
}
