#pragma once
// What the main window's own handlers do, without the toolkit: start-up, the device flow
// behind "Device", Close, and shutdown. The Qt window calls these inside its handler guard;
// tests call them on a scripted host.

#include <array>
#include <functional>
#include <string>

#include "isp/ProgramByIsp.h"

namespace tq9 {

// The run's one shared context, owned by the main window for the whole run.
struct AppContext : IspContext {
    explicit AppContext(Host& host) : IspContext(host) {}
    // Why no driver library could be loaded (names and places tried); empty when one was.
    std::string DriverLoadFailure;
    // What the driver found wrong with the cables (no permission to open one, say).
    std::function<std::string()> DriverNotes;
};

inline constexpr const char* kNoCableFound = "No FTDI cable or TQ9 USB extension found!";
inline constexpr const char* kNotSelected = "(not selected)";

inline constexpr std::array<const char*, 8> kTestPortEntries = {
    "Key Taper + Sync", "MPX Taperr + ContUpr", "Key Taper + ContUpr", "PHR Input Upper",
    "Vib Input Upper",  "AO28 In Main",         "Test In Main",        "ScanCore Testport"};

inline constexpr std::array<const char*, 9> kFirmwareEntries = {"TQ9gen3_ed1_b.hex",
                                                                "TQ9gen3_ed2_b.hex",
                                                                "TQ9gen3_ed3_b.hex",
                                                                "TQ9gen3_ed4_b.hex",
                                                                "TQ9gen3_ed5_b.hex",
                                                                "TQ9gen3_ed6_b.hex",
                                                                "------------------------------",
                                                                "TQ9gen2_ed1_b.hex",
                                                                "TQ9gen2_ed2_b.hex"};
inline constexpr int kFirmwareEntryAtStart = 1;

void EnableBoardButtons(AppContext& ctx);
void DisableBoardButtons(AppContext& ctx);
void ApplyDefaults(AppContext& ctx);
void ShowBoardState(AppContext& ctx);
// Start-up. The production controls are enabled when avrdude is found beside the program;
// returns whether it was.
bool FormCreate(AppContext& ctx, const std::string& programDirectory);
void FormDestroy(AppContext& ctx);
void BtnRescanClick(AppContext& ctx);
void BtnCloseClick(AppContext& ctx);

}  // namespace tq9
