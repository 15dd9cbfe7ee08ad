#include "services/Host.h"

#include <chrono>
#include <thread>

#include "base/Platform.h"

namespace tq9 {

std::uint32_t HostPlatform::TickCount() {
    return SystemTickCount();
}

std::uint64_t HostPlatform::MicroTicks() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

void HostPlatform::Sleep(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void HostPlatform::SleepUs(std::uint32_t us) {
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

}  // namespace tq9
