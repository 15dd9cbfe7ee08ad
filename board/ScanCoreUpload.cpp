#include "board/ScanCoreUpload.h"

#include <filesystem>
#include <fstream>
#include <limits>

#include "base/Convert.h"
#include "base/Errors.h"
#include "base/Platform.h"
#include "link/Protocol.h"

namespace tq9 {

namespace {
constexpr std::uint32_t kCloseReplyLimitMs = 100;
constexpr std::uint64_t kWordPauseUs = 1'000;
// The last stretch of each pause is waited out awake: a sleep may end this much late.
constexpr std::uint64_t kWordSpinUs = 250;
// Between words the window paints and runs its timers (the lamp) now and then, so the
// desktop does not take it for hung through a 17-second upload: in a pause with room for
// it, at most every 25 ms; and after 50 ms without one, in the next pause whatever it
// costs (a pause may be longer, never shorter). The operator's clicks wait until the words
// are out.
constexpr std::uint64_t kAliveEveryUs = 25'000;
constexpr std::uint64_t kAliveRoomUs = 700;
constexpr std::uint64_t kAliveLateUs = 50'000;

[[noreturn]] void FileError(const std::string& fileName, const std::string& reason) {
    throw Tq9Error("Cannot read the file \"" + fileName + "\": " + reason);
}
}  // namespace

std::size_t LoadWordFile(LinkContext& ctx, const std::string& fileName) {
    namespace fs = std::filesystem;
    const fs::path path = fs::u8path(fileName);
    std::error_code error;
    if (fs::is_directory(path, error)) FileError(fileName, "it is a folder");
    const auto bytes = fs::file_size(path, error);
    if (error) FileError(fileName, error.message());

    ctx.TFileBuffer4.assign(kFileBufferWords, 0);
    const std::size_t words = static_cast<std::size_t>(bytes / 4);
    if (words > kFileBufferWords) return words;

    std::ifstream file(path, std::ios::binary);
    if (!file) FileError(fileName, "it cannot be opened");
    std::uint8_t record[4];
    for (std::size_t i = 0; i < words; ++i) {
        if (!file.read(reinterpret_cast<char*>(record), 4)) {
            FileError(fileName, "reading stopped after " + std::to_string(i) + " words");
        }
        ctx.TFileBuffer4[i] = std::uint32_t(record[0]) | std::uint32_t(record[1]) << 8 |
                              std::uint32_t(record[2]) << 16 | std::uint32_t(record[3]) << 24;
    }
    return words;
}

FileDialogSettings UploadDialogSettings(const std::string& initialDirectory) {
    FileDialogSettings settings;
    settings.title = "Open DAT File:";
    settings.filters = {{"FPGA Sound Engine BIT", "fpga*.bit"},
                        {"Firmware HEX", "tq*.hex"},
                        {"Import CSV", "tq*.csv"},
                        {"ScanCore DAT", "*.dat"},
                        {"Reverb BIN", "dsp*.bin"},
                        {"FIR Horn Filter DAT", "fir*.dat"},
                        {"TaperLevels DAT", "taper*.dat"}};
    settings.filterIndex = 4;
    settings.defaultExtension = "*.DAT";
    settings.initialDirectory = initialDirectory;
    return settings;
}

void ButtonUpStreamClick(BoardContext& ctx) {
    if (!ctx.BoardLink.connected) return;
    Host& host = ctx.host;
    std::string fileName;
    if (!host.OpenFileDialog(UploadDialogSettings(ctx.ProgramDirectory), fileName)) return;
    ctx.UploadFile = fileName;
    ctx.UploadCore = -1;

    const std::size_t words = LoadWordFile(ctx, fileName);
    if (words > kFileBufferWords) {
        // Refused whole: the count announced must equal the words that follow.
        ctx.ConsoleAdd("##### Error: File too large: " + std::to_string(words) +
                       " Longwords (at most " + std::to_string(kFileBufferWords) + ").");
        return;
    }
    const auto n = static_cast<std::int32_t>(words);
    ctx.ConsoleAdd("### " + std::to_string(n) + " Longwords read.");
    host.SetProgressMax(n);
    WaitForBoardReady(ctx);

    const std::string coreText = host.FieldText(Field::EditCoreNumber);
    const std::int32_t core = StrToInt(coreText);
    // A number whose parameter would not fit is refused, saying which numbers fit.
    constexpr std::int32_t kLargestCore =
        std::numeric_limits<std::int32_t>::max() - kParamScanCoreBase;
    if (core > kLargestCore) {
        throw Tq9Error("Core number too large: " + coreText + " (at most " +
                       std::to_string(kLargestCore) + ")");
    }
    ctx.UploadCore = core;
    std::string reply;
    WriteParamWait(ctx, kParamScanCoreBase + core, n, reply);

    {
        // No flow control on the link: the sender paces the words itself, each at least
        // 1 ms after the one before. It sleeps until just before that moment and waits out
        // the rest, so the pauses do not grow by each sleep's lateness.
        FineTimerResolution fineTimer;
        std::uint64_t previous = host.MicroTicks();
        std::uint64_t alive = previous;
        for (std::int32_t i = 0; i < n; ++i) {
            // One microsecond more: the counter's truncation must not shorten a pause.
            const std::uint64_t due = previous + kWordPauseUs + 1;
            // The bar shows the word from the start of its pause, which absorbs the bar's
            // own time (a repaint now and then).
            host.SetProgressPosition(i);
            if (const std::uint64_t now = host.MicroTicks();
                now - alive >= kAliveEveryUs &&
                (now + kAliveRoomUs <= due || now - alive >= kAliveLateUs)) {
                host.ProcessOutputMessages();
                alive = host.MicroTicks();
            }
            for (std::uint64_t now = host.MicroTicks(); now < due; now = host.MicroTicks()) {
                if (due - now > kWordSpinUs) {
                    host.SleepUs(static_cast<std::uint32_t>(due - now - kWordSpinUs));
                }
            }
            const std::uint32_t word = ctx.TFileBuffer4[static_cast<std::size_t>(i)];
            SendByte(ctx, static_cast<std::uint8_t>(word));
            SendByte(ctx, static_cast<std::uint8_t>(word >> 8));
            SendByte(ctx, static_cast<std::uint8_t>(word >> 16));
            SendByte(ctx, static_cast<std::uint8_t>(word >> 24));
            previous = host.MicroTicks();  // the word has left: the next pause counts from here
        }
    }
    host.SetProgressPosition(0);
    ctx.ConsoleAdd("### " + std::to_string(4 * static_cast<std::int64_t>(n)) + " Bytes sent.");
    ReceiveLine(ctx, kCloseReplyLimitMs, reply);
    ctx.ConsoleAdd(reply);
}

}  // namespace tq9
