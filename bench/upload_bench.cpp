// A full scan-core upload (16384 words) against the emulated board in real time: how
// close the paced stream comes to its 16.384 s floor, and the largest gap between words.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "board/ScanCoreUpload.h"
#include "services/StdHost.h"
#include "sim/BoardEmulator.h"
#include "sim/SimDriver.h"

using namespace tq9;

namespace {
// The upload's dialog answers with a prepared file; everything else as without a window.
class BenchHost : public StdHost {
  public:
    explicit BenchHost(std::string file) : file_(std::move(file)) {}
    bool OpenFileDialog(const FileDialogSettings&, std::string& fileName) override {
        fileName = file_;
        return true;
    }

  private:
    std::string file_;
};
}  // namespace

int main(int argc, char** argv) {
    const std::size_t words = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kFileBufferWords;
    const auto file = std::filesystem::temp_directory_path() / "tq9_upload_bench.dat";
    {
        std::ofstream out(file, std::ios::binary);
        for (std::size_t i = 0; i < words * 4; ++i)
            out.put(static_cast<char>(i * 7));
    }

    sim::RealClock clock;
    sim::SimDriver driver(clock);
    driver.callCostUs = 0;
    auto board = std::make_shared<sim::BoardEmulator>();
    driver.AddCable("TQ9A0001", "TTL232R-5V", board);

    BenchHost host(file.string());
    BoardContext ctx(host);
    ctx.BoardLink.driver = &sim::SimDriver::Table();
    host.SetFieldText(Field::EditCoreNumber, "0");
    std::string status;
    BuildDeviceList(ctx.BoardLink, status);
    OpenDeviceByIndex(ctx.BoardLink, 0, status);

    const auto start = std::chrono::steady_clock::now();
    ButtonUpStreamClick(ctx);
    const double handler =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::filesystem::remove(file);

    if (board->uploads.empty() || board->uploads[0].wordStartUs.size() != words) {
        std::printf("the board did not receive the upload\n");
        return 1;
    }
    const auto& times = board->uploads[0].wordStartUs;
    std::uint64_t largestGap = 0;
    for (std::size_t i = 1; i < times.size(); ++i) {
        largestGap = std::max(largestGap, times[i] - times[i - 1]);
    }
    // The stream: from the first word's pause to the last word (one pause per word).
    const double stream = (times.back() - times.front()) / 1e6 + 0.001;
    const double floor = words / 1000.0;
    std::printf("Upload of %zu words: handler %.3f s (with the readiness wait)\n", words, handler);
    std::printf("  word stream %.3f s, floor %.3f s, ratio %.3f   (target: <= 1.10)\n", stream,
                floor, stream / floor);
    std::printf("  largest gap between words: %.3f ms\n", largestGap / 1000.0);
    std::printf("  board's closing line: %s\n", ctx.console.Lines().back().c_str());
    return 0;
}
