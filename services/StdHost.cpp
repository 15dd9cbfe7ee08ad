#include "services/StdHost.h"

#include <chrono>
#include <thread>

#include "base/Platform.h"

namespace tq9 {

std::uint32_t StdHost::TickCount() {
    return SystemTickCount();
}

std::uint64_t StdHost::MicroTicks() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

void StdHost::Sleep(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void StdHost::SleepUs(std::uint32_t us) {
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

void StdHost::ShowMessage(MessageKind, const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        if (c == '\r') c = '\n';
    }
    ConsoleLineAdded("[dialog] " + shown);
}

std::string StdHost::ScanCoreText() {
    const bool listed = scanCore_ >= 0 && scanCore_ < static_cast<int>(scanCoreEntries_.size());
    return listed ? scanCoreEntries_[static_cast<std::size_t>(scanCore_)] : std::string();
}

}  // namespace tq9
