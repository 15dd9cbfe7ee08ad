#include "ui/services/StdHost.h"

#include <chrono>
#include <thread>

#include "ui/services/ScanCores.h"

namespace tq9 {

std::uint32_t StdHost::TickCount() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms);
}

void StdHost::Sleep(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string StdHost::ScanCoreText() {
    return ScanCoreName(scanCore_);
}

}  // namespace tq9
