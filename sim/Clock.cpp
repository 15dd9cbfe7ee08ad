#include "sim/Clock.h"

namespace tq9::sim {

std::uint64_t RealClock::NowUs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<microseconds>(steady_clock::now() - start_).count());
}

double RealClock::NowUsExact() const {
    using namespace std::chrono;
    return duration<double, std::micro>(steady_clock::now() - start_).count();
}

}  // namespace tq9::sim
