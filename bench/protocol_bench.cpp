// The board link's waits in real time, through the program's own path: the simulated
// driver library (libftd2xx.so) loaded by the product's loader, with its emulated board
// answering at 57600-baud byte timing, and the device object and protocol on top. Prints
// each figure with its goal:
//   - how soon a query returns once its reply's CR has arrived;
//   - the CPU share of answered queries, and of a silent board's 500 ms reply waits;
//   - the CPU share of a long DelayMs.
// Usage: bench_protocol [queries (300)] [silent waits (4)] [delay ms (2000)]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "link/Protocol.h"
#include "services/StdHost.h"
#include "sim/BoardEmulator.h"
#include "sim/SimDriver.h"
#include "usb/FTDIdll.h"

using namespace tq9;
using Clock = std::chrono::steady_clock;

namespace {
// The loaded table, its write timed. The emulated board schedules its answer from the
// moment the query is written, so the reply's CR arrives a known time after the write.
const FTDIdll* loaded = nullptr;
Clock::time_point lastWrite;
d2xx::FT_STATUS TQ9_FTAPI TimedWrite(d2xx::FT_HANDLE handle, void* buffer, d2xx::DWORD count,
                                     d2xx::DWORD* written) {
    lastWrite = Clock::now();
    return loaded->FT_Write(handle, buffer, count, written);
}

// Wall time and this process's CPU time since it was made.
class Stopwatch {
  public:
    double CpuPercentOfWall() const {
        const double wall = std::chrono::duration<double>(Clock::now() - wall_).count();
        return 100.0 * (Cpu() - cpu_) / wall;
    }

  private:
    static double Cpu() { return double(std::clock()) / CLOCKS_PER_SEC; }
    Clock::time_point wall_ = Clock::now();
    double cpu_ = Cpu();
};

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    return sorted[std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())))];
}

bool Open(LinkContext& ctx, int index) {
    std::string status;
    CloseLink(ctx.BoardLink);
    if (!ctx.BoardLink.device) BuildDeviceList(ctx.BoardLink, status);
    OpenDeviceByIndex(ctx.BoardLink, index, status);
    if (!ctx.BoardLink.connected)
        std::printf("could not open cable %d: %s\n", index, status.c_str());
    return ctx.BoardLink.connected;
}
}  // namespace

int main(int argc, char** argv) {
    const int queries = argc > 1 ? std::atoi(argv[1]) : 300;
    const int silentWaits = argc > 2 ? std::atoi(argv[2]) : 4;
    const std::uint32_t delayMs = argc > 3 ? std::atoi(argv[3]) : 2000;

    const auto library = D2xxLibrary::Load(TQ9_SIM_DRIVER_DIRECTORY);
    if (!library->Loaded()) {
        std::printf("%s\n", library->FailureReason().c_str());
        return 1;
    }
    std::printf("driver: %s\n", library->LoadedFrom().c_str());
    loaded = &library->Table();
    FTDIdll timed = *loaded;
    timed.FT_Write = TimedWrite;

    StdHost host;
    LinkContext ctx(host);
    ctx.BoardLink.driver = &timed;
    // Cable 0 has the emulated board; cable 1 has nothing behind it.
    if (!Open(ctx, 0)) return 1;

    const std::string query = "9952?\r", answer = "9952=12345\r";
    constexpr std::uint32_t kBaud = 57600;
    const std::uint64_t commandDoneUs = sim::ByteArrivalUs(0, query.size() - 1, kBaud);
    const auto crAfterWrite = std::chrono::microseconds(sim::ByteArrivalUs(
        commandDoneUs + sim::BoardTiming{}.responseUs, answer.size() - 1, kBaud));

    std::string reply;
    for (int i = 0; i < 20; ++i)
        QueryParam(ctx, 9952, reply);  // warm up
    std::vector<double> latencyUs;
    int answered = 0;
    const Stopwatch queriesWatch;
    for (int i = 0; i < queries; ++i) {
        QueryParam(ctx, 9952, reply);
        const auto returned = Clock::now();
        if (reply != answer) continue;
        ++answered;
        latencyUs.push_back(
            std::chrono::duration<double, std::micro>(returned - (lastWrite + crAfterWrite))
                .count());
    }
    const double queriesCpu = queriesWatch.CpuPercentOfWall();
    std::sort(latencyUs.begin(), latencyUs.end());
    std::printf("answered queries: %d of %d\n", answered, queries);
    std::printf("reply CR arrival to QueryParam return, median: %.1f us (goal < 100 us)\n",
                Percentile(latencyUs, 0.5));
    std::printf("reply CR arrival to QueryParam return, p99: %.1f us (goal < 1000 us)\n",
                Percentile(latencyUs, 0.99));
    std::printf("  (p90 %.1f us, p95 %.1f us, max %.1f us)\n", Percentile(latencyUs, 0.9),
                Percentile(latencyUs, 0.95), latencyUs.empty() ? 0.0 : latencyUs.back());
    std::printf("CPU during %d answered queries: %.1f %% of wall (goal < 30 %%)\n", queries,
                queriesCpu);

    if (!Open(ctx, 1)) return 1;
    const Stopwatch silentWatch;
    for (int i = 0; i < silentWaits; ++i)
        QueryParam(ctx, 253, reply);
    std::printf("CPU during a silent 500 ms reply wait: %.1f %% of wall (goal < 10 %%)%s\n",
                silentWatch.CpuPercentOfWall(), reply == kNoReply ? "" : " [it answered!]");

    const Stopwatch delayWatch;
    ctx.DelayMs(delayMs);
    std::printf("CPU during DelayMs(%u): %.2f %% of wall (goal < 2 %%)\n", delayMs,
                delayWatch.CpuPercentOfWall());
    CloseLink(ctx.BoardLink);
    return 0;
}
