// How quickly a query returns once its reply's CR has arrived, and what a long DelayMs
// costs in CPU time. Real time, emulated board, no window.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "board/BoardInfo.h"
#include "link/Protocol.h"
#include "services/StdHost.h"
#include "sim/BoardEmulator.h"
#include "sim/SimDriver.h"

using namespace tq9;

namespace {
double CpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}
}  // namespace

int main(int argc, char** argv) {
    const int queries = argc > 1 ? std::atoi(argv[1]) : 2000;
    const std::uint32_t delayMs = argc > 2 ? std::atoi(argv[2]) : 5000;

    sim::RealClock clock;
    sim::SimDriver driver(clock);
    driver.callCostUs = 0;
    auto board = std::make_shared<sim::BoardEmulator>();
    driver.AddCable("TQ9A0001", "TTL232R-5V", board);

    StdHost host;
    LinkContext ctx(host);
    ctx.BoardLink.driver = &sim::SimDriver::Table();
    std::string status;
    BuildDeviceList(ctx.BoardLink, status);
    OpenDeviceByIndex(ctx.BoardLink, 0, status);
    if (!ctx.BoardLink.connected) {
        std::printf("could not open the emulated cable: %s\n", status.c_str());
        return 1;
    }

    std::vector<double> latencyUs;
    latencyUs.reserve(queries);
    int answered = 0;
    std::string reply;
    for (int i = 0; i < queries; ++i) {
        QueryParam(ctx, 9952, reply);
        const double returned = clock.NowUsExact();
        if (reply == "9952=12345\r") {
            ++answered;
            latencyUs.push_back(returned - double(board->lastReplyEndUs));
        }
    }
    std::sort(latencyUs.begin(), latencyUs.end());
    auto percentile = [&](double p) {
        if (latencyUs.empty()) return 0.0;
        return latencyUs[std::min(latencyUs.size() - 1, std::size_t(p * latencyUs.size()))];
    };
    std::printf("QueryParam, reply CR arrival to return (%d of %d answered):\n", answered, queries);
    std::printf("  median %.1f us, p99 %.1f us, max %.1f us   (target: median < 50 us)\n",
                percentile(0.5), percentile(0.99), latencyUs.empty() ? 0.0 : latencyUs.back());

    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    ctx.DelayMs(delayMs);
    const double cpu = CpuSeconds() - cpuStart;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    std::printf("DelayMs(%u): wall %.3f s, CPU %.4f s = %.2f %% of wall   (target: < 2 %%)\n",
                delayMs, wall, cpu, 100.0 * cpu / wall);
    return 0;
}
