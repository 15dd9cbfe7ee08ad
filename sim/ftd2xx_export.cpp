// The simulated driver as a shared library with FTDI's D2XX C ABI (libftd2xx.so /
// FTD2XX.DLL), so the unchanged program loads it from its own directory like the real one.
// One bench per process, on the real clock.

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Platform.h"
#include "sim/BoardEmulator.h"
#include "sim/SimDriver.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#if defined(_WIN32)
#define TQ9_EXPORT extern "C" __declspec(dllexport)
#else
#define TQ9_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
using namespace tq9::sim;

// The library's own directory: the bench it was put on, wherever the program lives (an
// installed program keeps its bench apart from itself).
std::string LibraryDirectory() {
#if !defined(_WIN32)
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&LibraryDirectory), &info) && info.dli_fname) {
        const std::string path = info.dli_fname;
        const auto slash = path.rfind('/');
        if (slash != std::string::npos) return path.substr(0, slash + 1);
    }
#endif
    return tq9::ExecutableDirectory();
}

// The board's end of the cable, noting when each write reached it and its size, for a
// benchmark that times the words a program in another process sends.
class TimedPeer : public Peer {
  public:
    explicit TimedPeer(std::shared_ptr<Peer> board) : board_(std::move(board)) {
        writes_.reserve(1 << 17);
    }
    void Received(VirtualCable& cable, const std::uint8_t* data, std::size_t size,
                  std::uint64_t nowUs) override {
        writes_.push_back({nowUs, size});
        board_->Received(cable, data, size, nowUs);
    }
    void Advance(VirtualCable& cable, std::uint64_t nowUs) override {
        board_->Advance(cable, nowUs);
    }
    void Reset(VirtualCable& cable, std::uint64_t nowUs) override { board_->Reset(cable, nowUs); }
    // One line a write: "microseconds bytes".
    void Save(const std::string& path) const {
        std::ofstream out(path, std::ios::trunc);
        for (const auto& [us, size] : writes_)
            out << us << ' ' << size << '\n';
    }

  private:
    std::shared_ptr<Peer> board_;
    std::vector<std::pair<std::uint64_t, std::size_t>> writes_;
};

struct Bench {
    RealClock clock;
    SimDriver driver{clock};
    std::shared_ptr<TimedPeer> timed;
    // A path the benchmark chose (ASCII, a temporary folder's), or empty.
    std::string timesPath =
        std::getenv("TQ9_SIM_WRITE_TIMES") ? std::getenv("TQ9_SIM_WRITE_TIMES") : "";
    Bench() {
        auto board = std::make_shared<BoardEmulator>();
        // On the demo bench the board's controller runs what the emulated ISP programmer
        // holds in its flash.
        const std::string flash = LibraryDirectory() + "isp-state/flash.bin";
        if (std::ifstream(flash).good()) board->flashImage = flash;
        if (timesPath.empty()) {
            driver.AddCable("TQ9A0001", "TTL232R-5V", board);
        } else {
            timed = std::make_shared<TimedPeer>(board);
            driver.AddCable("TQ9A0001", "TTL232R-5V", timed);
        }
        driver.AddCable("FT5X2K9Q", "FT232R USB UART");
    }
    // Written as the program ends (the library is unloaded with it).
    ~Bench() {
        if (timed) timed->Save(timesPath);
    }
};

SimDriver& Driver() {
    static Bench bench;
    return bench.driver;
}
}  // namespace

using tq9::ftdiDeviceNode;

#define TQ9_SIM_EXPORT(name, member, params, args) \
    TQ9_EXPORT FT_STATUS TQ9_FTAPI name params {   \
        return Driver().member args;               \
    }
TQ9_D2XX_FUNCTIONS(TQ9_SIM_EXPORT)
#undef TQ9_SIM_EXPORT
