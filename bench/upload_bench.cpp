// A full scan-core upload (16384 words) in real time through the program's own path: the
// simulated driver library loaded by the product's loader, its emulated board receiving
// the words. How close the paced stream comes to its floor of 1 ms a word, and the gaps
// between words (from the first byte of one to the first byte of the next, timed at the
// driver's write), each printed with its goal. bench_upload_window runs the same with a
// window on Qt's offscreen platform (a progress bar, and a 10 ms timer like the lamp's)
// that paints and runs its timer between words as the main window does: what keeping the
// window alive costs the stream.
// Usage: bench_upload[_window] [words (16384)]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "board/ScanCoreUpload.h"
#include "services/StdHost.h"
#include "usb/FTDIdll.h"

#if defined(TQ9_BENCH_WINDOW)
#include <QApplication>
#include <QProgressBar>
#include <QTimer>
#endif

using namespace tq9;
using Clock = std::chrono::steady_clock;

namespace {
// The upload's dialog answers with a prepared file; everything else as without a window.
class BenchHost : public StdHost {
  public:
    explicit BenchHost(std::string file) : file_(std::move(file)) {}
    bool OpenFileDialog(const FileDialogSettings&, std::string& fileName) override {
        fileName = file_;
        return true;
    }
#if defined(TQ9_BENCH_WINDOW)
    // As the main window: the bar shows the words, a 10 ms timer ticks, and between words
    // the window paints and runs its timers, the operator's input left for later.
    void SetProgressMax(int maximum) override {
        bar_.setMaximum(maximum);
    }
    void SetProgressPosition(int position) override {
        bar_.setValue(position);
    }
    void ProcessOutputMessages() override {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        ++keptAlive;
    }
    void Show() {
        bar_.resize(320, 24);
        bar_.show();
        QObject::connect(&tick_, &QTimer::timeout, [this] { ++ticks; });
        tick_.start(10);
    }
    int keptAlive = 0, ticks = 0;

  private:
    QProgressBar bar_;
    QTimer tick_;
#else
  private:
#endif
    std::string file_;
};

// The loaded table, its writes timed.
const FTDIdll* loaded = nullptr;
struct Write {
    Clock::time_point at;
    d2xx::DWORD bytes;
};
std::vector<Write> writes;
d2xx::FT_STATUS TQ9_FTAPI TimedWrite(d2xx::FT_HANDLE handle, void* buffer, d2xx::DWORD count,
                                     d2xx::DWORD* written) {
    writes.push_back({Clock::now(), count});
    return loaded->FT_Write(handle, buffer, count, written);
}
}  // namespace

int main(int argc, char** argv) {
#if defined(TQ9_BENCH_WINDOW)
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
#endif
    const std::size_t words = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kFileBufferWords;
    const auto file = std::filesystem::temp_directory_path() / "tq9_upload_bench.dat";
    {
        std::ofstream out(file, std::ios::binary);
        for (std::size_t i = 0; i < words * 4; ++i)
            out.put(static_cast<char>(i * 7));
    }
    const auto library = D2xxLibrary::Load(TQ9_SIM_DRIVER_DIRECTORY);
    if (!library->Loaded()) {
        std::printf("%s\n", library->FailureReason().c_str());
        return 1;
    }
    loaded = &library->Table();
    FTDIdll timed = *loaded;
    timed.FT_Write = TimedWrite;

    BenchHost host(file.string());
#if defined(TQ9_BENCH_WINDOW)
    host.Show();
#endif
    BoardContext ctx(host);
    ctx.BoardLink.driver = &timed;
    host.SetFieldText(Field::EditCoreNumber, "0");
    std::string status;
    BuildDeviceList(ctx.BoardLink, status);
    OpenDeviceByIndex(ctx.BoardLink, 0, status);
    writes.reserve(words * 4 + 100);
    writes.clear();

    ButtonUpStreamClick(ctx);
    CloseLink(ctx.BoardLink);
    std::filesystem::remove(file);

    // The words are the single-byte writes at the end, four each, before the closing reply.
    std::vector<Clock::time_point> starts;
    std::size_t firstWordByte = writes.size();
    while (firstWordByte > 0 && writes[firstWordByte - 1].bytes == 1)
        --firstWordByte;
    for (std::size_t i = firstWordByte; i + 3 < writes.size(); i += 4)
        starts.push_back(writes[i].at);
    if (starts.size() != words) {
        std::printf("%zu words written, not %zu\n", starts.size(), words);
        return 1;
    }
    std::vector<double> gapsMs;
    for (std::size_t i = 1; i < starts.size(); ++i)
        gapsMs.push_back(
            std::chrono::duration<double, std::milli>(starts[i] - starts[i - 1]).count());
    std::sort(gapsMs.begin(), gapsMs.end());
    // One pause per word: the stream from the first word's pause to the last word.
    const double stream =
        std::chrono::duration<double>(starts.back() - starts.front()).count() + 0.001;
    const double floor = double(words) / 1000.0;
    std::printf("upload of %zu words through %s\n", words, library->LoadedFrom().c_str());
#if defined(TQ9_BENCH_WINDOW)
    std::printf("with a window kept alive between words: %d times, its 10 ms timer ran %d times\n",
                host.keptAlive, host.ticks);
#endif
    std::printf("word stream %.3f s against its floor %.3f s: ratio %.4f (goal <= 1.01)\n", stream,
                floor, stream / floor);
    std::printf("smallest gap between words: %.4f ms (goal >= 1 ms)\n", gapsMs.front());
    std::printf("median gap between words: %.4f ms (goal close to 1 ms)\n",
                gapsMs[gapsMs.size() / 2]);
    std::printf("gaps at the 99th percentile: %.3f ms, largest: %.3f ms (for the record)\n",
                gapsMs[gapsMs.size() * 99 / 100], gapsMs.back());
    std::printf("board's closing line: %s\n", ctx.console.Lines().back().c_str());
    return 0;
}
