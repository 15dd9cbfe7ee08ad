// A whole production run in real time with the real avrdude programming the emulated DIAMEX
// programmer (tq9_isp_emulator on a pseudo-terminal) with a 60 KiB image: the wall time of
// each avrdude run and of the run as a whole, the figure a production bench counts boards
// per hour by. The board link is the simulated driver with the emulated board, every
// operator dialog confirmed at once. Linux only; needs Debian's avrdude.
// Usage: bench_production [image KiB (60)]

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "isp/ImageCheck.h"
#include "isp/Production.h"
#include "isp/ProductionFiles.h"
#include "services/StdHost.h"
#include "sim/BoardEmulator.h"
#include "sim/IntelHex.h"
#include "sim/ServerProcess.h"
#include "sim/SimDriver.h"

using namespace tq9;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {
double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The system's runner, timing each program from its start to its end.
class TimedRunner : public ProcessRunner {
  public:
    std::unique_ptr<ChildProcess> Start(const ProgramStart& start, std::string& whyNot) override {
        auto child = system_->Start(start, whyNot);
        if (!child) return nullptr;
        runs.push_back({Clock::now(), {}});
        return std::make_unique<Timed>(std::move(child), runs.back());
    }
    struct Run {
        Clock::time_point started, ended;
    };
    std::vector<Run> runs;

  private:
    class Timed : public ChildProcess {
      public:
        Timed(std::unique_ptr<ChildProcess> inner, Run& run)
            : inner_(std::move(inner)), run_(run) {}
        bool Wait(std::uint32_t ms) override {
            const bool ended = inner_->Wait(ms);
            if (ended && run_.ended == Clock::time_point{}) run_.ended = Clock::now();
            return ended;
        }
        std::string TakeOutput() override { return inner_->TakeOutput(); }
        int ExitCode() const override { return inner_->ExitCode(); }
        void Stop(bool force) override { inner_->Stop(force); }

      private:
        std::unique_ptr<ChildProcess> inner_;
        Run& run_;
    };
    std::unique_ptr<ProcessRunner> system_ = MakeSystemProcessRunner();
};

void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
}  // namespace

int main(int argc, char** argv) {
    const std::size_t kib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 60;
    if (!fs::exists("/usr/bin/avrdude") || !fs::exists("/etc/avrdude.conf")) {
        std::printf("avrdude is not installed\n");
        return 1;
    }
    const fs::path bench =
        fs::temp_directory_path() / ("tq9-bench-production-" + std::to_string(::getpid()));
    fs::create_directories(bench);
    fs::create_symlink("/usr/bin/avrdude", bench / "avrdude");
    fs::copy_file("/etc/avrdude.conf", bench / "avrdude.conf");
    const std::string image = "TQ9gen3_ed2_b";
    Write(bench / (image + ".hex"),
          sim::IntelHex(sim::FirmwareImage(image, "TQ95-g3ed2", "3.72", kib * 1024)));
    Write(bench / (image + ".eep"), sim::IntelHex(std::vector<std::uint8_t>(512, 0x5A)));
    for (const char* name :
         {"fpga_tq95_v21.bit", "dsp_rev.bin", "tq_midi.dat", "fir_coeff.dat", "taper_levels1.dat",
          "taper_levels2.dat", "taper_levels3.dat", "taper_levels4.dat"}) {
        Write(bench / name, "x");
    }
    sim::IspEmulatorProcess programmer(TQ9_ISP_EMULATOR_PATH,
                                       "/dev/shm/tq9-bench-diamex-" + std::to_string(::getpid()),
                                       (bench / "state").string());
    if (programmer.Port().empty()) {
        std::printf("the emulated programmer did not start\n");
        return 1;
    }

    sim::RealClock clock;
    sim::SimDriver driver(clock);
    auto board = std::make_shared<sim::BoardEmulator>();
    board->flashImage = (bench / "state" / "flash.bin").string();
    driver.AddCable("TQ9A0001", "TTL232R-5V", board);
    StdHost host;
    TimedRunner runner;
    IspContext ctx(host);
    ctx.runner = &runner;
    ctx.ProgramDirectory = bench.string() + "/";
    ctx.BoardLink.driver = &sim::SimDriver::Table();
    ctx.BoardLink.selectedIndex = 0;
    host.SetFieldText(Field::dd_FirmwareType, image + ".hex");
    host.SetFieldText(Field::EditDiamex, programmer.Port());
    std::string status;
    BuildDeviceList(ctx.BoardLink, status);
    OpenDeviceByIndex(ctx.BoardLink, 0, status);

    const auto start = Clock::now();
    ProdProgClick(ctx);
    const double whole = Seconds(Clock::now() - start);
    CloseLink(ctx.BoardLink);
    programmer.Stop();

    const bool succeeded =
        !ctx.console.Lines().empty() &&
        ctx.console.Text().find("Firmware Version: TQ95-g3ed2") != std::string::npos;
    // Each run beside the limit it is given: how far a sound run stays from being stopped.
    std::size_t flashBytes = 0, eepromBytes = 0;
    IntelHexProblem(ctx.ProgramDirectory + image + ".hex", kFlashBytes, true, &flashBytes);
    IntelHexProblem(ctx.ProgramDirectory + image + ".eep", kEepromBytes, false, &eepromBytes);
    const AvrdudeTimeLimits& limits = ctx.avrdudeLimits;
    const std::uint32_t limitMs[] = {limits.probeMs, limits.fusesMs, limits.fuseReadBackMs,
                                     FlashRunLimitMs(limits, flashBytes, eepromBytes, 2)};
    const char* names[] = {"probe", "fuses", "fuse read-back", "flash, EEPROM and lock"};
    for (std::size_t i = 0; i < runner.runs.size() && i < 4; ++i) {
        std::printf("avrdude %s run: %.2f s (goal: none set, for the record; its limit: %.0f s)\n",
                    names[i], Seconds(runner.runs[i].ended - runner.runs[i].started),
                    limitMs[i] / 1000.0);
    }
    std::printf(
        "whole production run with a %zu KiB image: %.2f s, %.0f boards per hour at "
        "most (goal: none set, for the record)%s\n",
        kib, whole, 3600.0 / whole, succeeded ? "" : " [the run did not succeed]");
    fs::remove_all(bench);
    return succeeded ? 0 : 1;
}
