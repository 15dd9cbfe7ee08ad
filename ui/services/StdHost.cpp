#include "ui/services/StdHost.h"

#include <chrono>
#include <thread>

#include "ui/services/Platform.h"
#include "ui/services/ScanCores.h"

namespace tq9 {

std::uint32_t StdHost::TickCount() {
    return SystemTickCount();
}

void StdHost::Sleep(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void StdHost::ShowMessage(MessageKind, const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        if (c == '\r') c = '\n';
    }
    ConsoleLineAdded("[dialog] " + shown);
}

std::string StdHost::ScanCoreText() {
    return ScanCoreName(scanCore_);
}

}  // namespace tq9
