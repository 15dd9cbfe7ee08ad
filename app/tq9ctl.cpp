// tq9ctl: the bench's operations from the command line, on the same core as the window.
// The console lines go to standard output as the window would show them.
//   tq9ctl list
//   tq9ctl identify [--cable SERIAL | --index N]
//   tq9ctl reset | fpga-update | finalize [--cable SERIAL | --index N]
//   tq9ctl test-port ENTRY [--cable SERIAL | --index N]
//   tq9ctl upload FILE [--core N] [--cable SERIAL | --index N]
//   tq9ctl program --firmware IMAGE --diamex PORT [--avr-only] [--yes] [CABLE]
// Exit codes: 0 done and the board answered; 1 the board or the operation failed; 2 usage
// error or bad input; 3 no cable found or no driver; 130 interrupted by Ctrl-C.

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif
#include <atomic>
#include <chrono>
#include <csignal>

#include "app/BenchDirectory.h"
#include "base/Convert.h"
#include "base/Errors.h"
#include "base/Platform.h"
#include "board/DeviceFlow.h"
#include "board/Maintenance.h"
#include "board/ScanCoreUpload.h"
#include "board/ScanCores.h"
#include "isp/Production.h"
#include "isp/ProductionFiles.h"
#include "ops/MainWindowOps.h"
#include "records/RecordExport.h"
#include "services/StdHost.h"
#include "usb/FTDIdll.h"

using namespace tq9;

namespace {

constexpr int kDone = 0, kFailed = 1, kUsage = 2, kNoCable = 3, kInterrupted = 130;
constexpr const char* kVersion = "tq9ctl " TQ9_VERSION;
constexpr const char* kUsageText =
    "usage: tq9ctl list\n"
    "       tq9ctl identify [CABLE]\n"
    "       tq9ctl reset | fpga-update | finalize [CABLE]\n"
    "       tq9ctl test-port ENTRY [CABLE]\n"
    "       tq9ctl upload FILE [--core N] [CABLE]\n"
    "       tq9ctl program --firmware IMAGE --diamex PORT [--avr-only] [--yes] [CABLE]\n"
    "       tq9ctl records [--serial N] [--since DATE] [--csv | --json]\n"
    "       tq9ctl --help | --version\n"
    "CABLE is --cable SERIAL or --index N (the first cable when neither is given).\n"
    "--json (with identify, reset, fpga-update, finalize, test-port, upload, program):\n"
    "one JSON object per operation on standard output instead of the console lines.\n"
    "\n"
    "  list         the attached FTDI cables and the driver that found them\n"
    "  identify     the device flow: open the cable, detect its COM port, check that the\n"
    "               board answers, identify it, close it\n"
    "  reset        identify, then Reset TQ9: the board reboots and is identified again\n"
    "  fpga-update  identify, then Upd FPGA\n"
    "  finalize     identify, then Finalize: factory defaults and the reverb DSP program\n"
    "  test-port    identify, then route ENTRY (0-7, or the entry's text) to the test port\n"
    "  upload       identify, then send the scan-core FILE (32-bit words) to core N (0)\n"
    "  program      identify, then the production run (Production Prgrm) with the firmware\n"
    "               IMAGE (a name from the window's list, in the bench directory) through\n"
    "               the DIAMEX programmer on PORT (a number n for /dev/ttyUSBn, or a path\n"
    "               under /dev/); --avr-only runs AVR only instead. Each operator dialog\n"
    "               is printed and waits for Enter; --yes confirms them at once. Without\n"
    "               a terminal it needs --yes.\n"
    "  records      the board records this user's benches kept, newest first: every\n"
    "               operation on a board with its outcome (a board's serial N, from DATE\n"
    "               as YYYY-MM-DD on); as tab-separated lines, or all fields as CSV or\n"
    "               JSON. Opens no cable.\n"
    "\n"
    "On a terminal, long waits show their progress on standard error. Ctrl-C acts as the\n"
    "window's Cancel (a running avrdude is stopped); a second Ctrl-C ends the program at\n"
    "once, avrdude with it, and its board record says so.\n"
    "\n"
    "Exit codes: 0 done and the board answered, 1 the board or the operation failed (no\n"
    "answer, an error line, a warning or error dialog), 2 usage error or bad input, 3 no\n"
    "cable found or no driver, 130 interrupted by Ctrl-C.\n";

// One subcommand's part of the help text above: its usage line, its description, and
// what applies to it of the rest. Empty for a command that does not exist.
std::string SubcommandHelp(const std::string& command) {
    std::vector<std::string> lines;
    std::istringstream text(kUsageText);
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    std::string usage, description, rest;
    for (const std::string& line : lines) {
        const auto at = line.find("tq9ctl ");
        if (at == std::string::npos || at > 7) continue;
        const std::string call = line.substr(at + 7);
        const bool named = call.rfind(command + " ", 0) == 0 || call == command ||
                           call.find(" | " + command) != std::string::npos ||
                           call.find(command + " |") != std::string::npos;
        if (named) usage += "usage: " + line.substr(at) + "\n";
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("  " + command + " ", 0) != 0) continue;
        description = lines[i] + "\n";
        while (i + 1 < lines.size() && lines[i + 1].rfind(std::string(15, ' '), 0) == 0)
            description += lines[++i] + "\n";
    }
    if (usage.empty() || description.empty()) return {};
    for (const std::string& line : lines) {
        const bool cable = line.rfind("CABLE is", 0) == 0;
        const bool json =
            line.rfind("--json (with", 0) == 0 || line.rfind("one JSON object", 0) == 0;
        if ((cable || json) && command != "list" && command != "records") rest += line + "\n";
    }
    const std::string all = kUsageText;
    return usage + rest + "\n" + description + "\n" + all.substr(all.find("Exit codes:"));
}

// Ctrl-C presses, counted by the signal handler: the one thing a handler may touch. The
// first is handed to the operation as the window's Cancel; the second ends the program at
// the operation's next look (at most a reply's wait away), through the same unwinding as
// an error: a running avrdude is ended with its process group, the record is completed,
// and what was printed is flushed.
std::atomic<int> interrupts{0};

extern "C" void OnInterrupt(int) {
    interrupts.fetch_add(1);
}

struct Interrupted : std::runtime_error {
    Interrupted() : std::runtime_error("tq9ctl was ended by a second Ctrl-C") {}
};

void CatchInterrupts() {
#if defined(_WIN32)
    std::signal(SIGINT, OnInterrupt);
#else
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a prompt waiting for Enter returns
    sigaction(SIGINT, &action, nullptr);
#endif
}

// The window's console on standard output; the device dialog answered by the command line.
class CtlHost : public StdHost {
  public:
    using StdHost::StdHost;
    void ConsoleLineAdded(const std::string& line) override {
        // Reply lines keep their closing CR; a terminal would return the cursor on it.
        std::string shown = line;
        if (!shown.empty() && shown.back() == '\r') shown.pop_back();
        if (shown.rfind("##### Error", 0) == 0) failed = true;
        if (shown.rfind(kRecordNotSaved, 0) == 0) recordWarning = shown;
        if (json) return;  // the operation's object carries its lines
        ClearProgress();
        std::cout << shown << '\n';
    }
    // Printed as the window would show it; waits for Enter unless confirmed beforehand.
    void ShowMessage(MessageKind kind, const std::string& text) override {
        if (kind != MessageKind::Information) failed = true;
        dialogs.push_back(text);
        std::string shown = text;
        for (char& c : shown) {
            if (c == '\r') c = '\n';
        }
        if (!json) {
            ClearProgress();
            std::cout << "[dialog] " << shown << '\n' << std::flush;
        }
        if (confirmDialogs) return;
        if (json) std::cerr << "[dialog] " << shown << '\n';
        std::cerr << "Press Enter to continue. " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer)) {
            std::cin.clear();  // Ctrl-C (or the end of input) instead of Enter: a cancel
            if (interrupts == 0) interrupts = 1;
        }
        Deliver();
    }
    // The waits' own message handling: where a Ctrl-C reaches the operation.
    void ProcessMessages() override { Deliver(); }
    void WaitForMessage(std::uint32_t limitMs) override {
        Deliver();
        StdHost::WaitForMessage(limitMs);
    }
    // Progress on a terminal: the upload's words, the readiness polls.
    void SetProgressMax(int maximum) override {
        uploadMax_ = maximum;
        uploadStart_ = std::chrono::steady_clock::now();
    }
    void SetProgressPosition(int position) override {
        Deliver();  // the upload's words do not wait for messages
        if (!progress || uploadMax_ <= 0) return;
        if (position == 0) {
            ClearProgress();
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - drawn_ < std::chrono::milliseconds(100)) return;
        drawn_ = now;
        const double seconds = std::chrono::duration<double>(now - uploadStart_).count();
        const double rate = seconds > 0 ? position / seconds : 0;
        const int filled = static_cast<int>(30.0 * position / uploadMax_);
        char line[160];
        std::snprintf(line, sizeof line, "\r  upload [%s%s] %d/%d words  %.0f words/s  %.0f s left",
                      std::string(static_cast<std::size_t>(filled), '#').c_str(),
                      std::string(static_cast<std::size_t>(30 - filled), '.').c_str(), position,
                      uploadMax_, rate, rate > 0 ? (uploadMax_ - position) / rate : 0.0);
        std::cerr << line << "\033[K" << std::flush;
        progressShown_ = true;
    }
    void ReadinessPolled(int poll, int limit) override {
        if (!progress) return;
        std::cerr << "\r  waiting for the board: poll " << poll << " of " << limit << "\033[K"
                  << std::flush;
        progressShown_ = true;
    }
    void ClearProgress() {
        if (!progressShown_) return;
        std::cerr << "\r\033[K" << std::flush;
        progressShown_ = false;
    }
    // Hands a Ctrl-C to the operation as the window's Cancel, once (a running avrdude is
    // stopped as the window's Cancel stops it); a second one ends the operation.
    void Deliver() {
        if (interrupts == 0 || !ctx) return;
        if (interrupts > 1 && !stopDelivered) {
            stopDelivered = true;
            ClearProgress();
            ctx->RequestStop();
            throw Interrupted();
        }
        if (cancelDelivered) return;
        cancelDelivered = true;
        ClearProgress();
        ctx->BtnCancelClick();
    }
    // The flash run's output, which the window shows in a window of its own.
    void ProgramOutputStart(const std::string& commandLine) override {
        if (json) return;
        ClearProgress();
        std::cout << "----- " << commandLine << '\n';
    }
    void ProgramOutputAdd(const std::string& text) override {
        Deliver();
        if (json || text.empty()) return;
        ClearProgress();
        std::cout << text << std::flush;
    }
    void ProgramOutputEnd(int exitCode) override {
        if (json) return;
        std::cout << "\n----- avrdude exit code " << exitCode << '\n';
    }
    // A cleared console shows nothing; new content shows as lines.
    void ConsoleReplaced(const std::vector<std::string>& lines) override {
        for (const auto& line : lines)
            ConsoleLineAdded(line);
    }
    void DeviceDialogClear() override { serials_.clear(); }
    void DeviceDialogAddRow(const std::string&, const std::string& serial,
                            const std::string&) override {
        serials_.push_back(serial);
    }
    bool DeviceDialogShow(int& row) override {
        for (int i = 0; i < static_cast<int>(serials_.size()); ++i) {
            if (wantedSerial ? serials_[i] == *wantedSerial : i == wantedIndex) {
                row = i;
                return true;
            }
        }
        refusal = wantedSerial ? "no cable with serial " + *wantedSerial
                               : "no cable at index " + std::to_string(wantedIndex) + " (" +
                                     std::to_string(serials_.size()) + " attached)";
        return false;
    }

    std::optional<std::string> wantedSerial;
    int wantedIndex = 0;
    std::string refusal;  // why the dialog's question had no answer
    bool failed = false;  // an error line or a warning or error dialog was shown
    bool confirmDialogs = true;
    bool json = false;                 // one object per operation instead of the lines
    bool progress = false;             // progress lines on standard error (a terminal)
    std::vector<std::string> dialogs;  // the running operation's, for its object
    AppContext* ctx = nullptr;         // the run's context, for a Ctrl-C's Cancel
    bool cancelDelivered = false, stopDelivered = false;
    std::string recordWarning;  // the running operation's "Record not saved" line

  private:
    std::vector<std::string> serials_;
    int uploadMax_ = 0;
    std::chrono::steady_clock::time_point uploadStart_, drawn_;
    bool progressShown_ = false;
};

int Usage(const std::string& why) {
    std::cerr << "tq9ctl: " << why << "\nRun tq9ctl --help for the commands and options.\n";
    return kUsage;
}

int List(const D2xxLibrary& library) {
    TBoardLink link;
    link.driver = &library.Table();
    std::string status;
    BuildDeviceList(link, status);
    if (link.deviceCount == 0) {
        std::cout << kNoCableFound << '\n';
        if (!library.Notes().empty()) std::cerr << library.Notes() << '\n';
        return kNoCable;
    }
    std::cout << "Driver: " << library.Source() << " (" << library.LoadedFrom() << ")\n";
    for (std::uint32_t i = 0; i < link.deviceCount; ++i) {
        std::cout << i << '\t' << link.serials[i] << '\t' << link.descriptions[i] << '\n';
    }
    return kDone;
}

// One operation as a script reads it: what was done, how it ended, the board and cable,
// the dialogs and the console lines.
std::string OperationJson(const OperationRecord& r, const std::vector<std::string>& dialogs,
                          const std::string& recordWarning) {
    auto list = [](const std::vector<std::string>& texts) {
        std::string json = "[";
        for (std::size_t i = 0; i < texts.size(); ++i)
            json += (i ? ", " : "") + JsonString(texts[i]);
        return json + "]";
    };
    std::vector<std::string> lines;
    for (std::size_t at = 0; !r.console.empty() && at != std::string::npos;) {
        const auto end = r.console.find('\n', at);
        lines.push_back(r.console.substr(at, end == std::string::npos ? end : end - at));
        at = end == std::string::npos ? end : end + 1;
    }
    std::vector<std::string> shownDialogs;
    for (std::string text : dialogs) {
        for (char& c : text) {
            if (c == '\r') c = '\n';
        }
        shownDialogs.push_back(text);
    }
    std::string json = "{\"operation\": " + JsonString(r.operation) +
                       ", \"outcome\": " + JsonString(r.outcome) +
                       ", \"reason\": " + JsonString(r.reason) +
                       ", \"cable\": {\"serial\": " + JsonString(r.cableSerial) +
                       ", \"description\": " + JsonString(r.cableDescription) +
                       ", \"com\": " + (r.comNumber ? std::to_string(*r.comNumber) : "null") +
                       "}, \"board\": {\"serial\": " + JsonString(r.boardSerial) +
                       ", \"firmware_version\": " + JsonString(r.firmwareVersion) +
                       ", \"firmware_name\": " + JsonString(r.firmwareName) +
                       ", \"fpga_version\": " + JsonString(r.fpgaVersion) +
                       ", \"scan_core\": " + JsonString(r.scanCore) +
                       "}, \"error_kind\": " + JsonString(r.errorKind) +
                       ", \"error_count\": " + std::to_string(r.errorCount);
    if (!r.uploadFile.empty()) {
        json += ", \"upload\": {\"file\": " + JsonString(r.uploadFile) +
                ", \"sha256\": " + JsonString(r.uploadSha256) +
                ", \"core\": " + (r.uploadCore ? std::to_string(*r.uploadCore) : "null") +
                ", \"closing_line\": " + JsonString(r.uploadClosingLine) + "}";
    }
    if (!r.image.empty()) {
        std::string runs = "[";
        for (std::size_t i = 0; i < r.avrdudeRuns.size(); ++i) {
            runs += std::string(i ? ", " : "") +
                    "{\"command_line\": " + JsonString(r.avrdudeRuns[i].commandLine) +
                    ", \"exit_code\": " + std::to_string(r.avrdudeRuns[i].exitCode) +
                    ", \"output\": " + JsonString(r.avrdudeRuns[i].output) + "}";
        }
        json += ", \"isp\": {\"image\": " + JsonString(r.image) +
                ", \"image_sha256\": " + JsonString(r.imageSha256) +
                ", \"diamex_port\": " + JsonString(r.diamexPort) +
                ", \"probe_log\": " + JsonString(r.probeLog) + ", \"avrdude_runs\": " + runs + "]}";
    }
    json += ", \"record_warning\": " + (recordWarning.empty() ? "null" : JsonString(recordWarning));
    return json + ", \"dialogs\": " + list(shownDialogs) + ", \"lines\": " + list(lines) + "}";
}

// The device flow, then `operation` on the identified board, then Close.
int RunOnBoard(const D2xxLibrary& library, CtlHost& host, RecordedOperation recorded,
               const std::function<void(AppContext&)>& operation) {
    AppContext ctx(host);
    const OpenedRecords records = OpenRecords(DefaultRecordsPath(), "tq9ctl");
    ctx.Records = records.sink;
    const auto runner = MakeSystemProcessRunner();
    ctx.runner = runner.get();
    ctx.ProgramDirectory = BenchDirectory();
    ctx.BoardLink.driver = &library.Table();
    ctx.DriverNotes = [&] { return library.Notes(); };
    ctx.DriverInUse = library.InUseLine();
    host.ctx = &ctx;
    // Each operation with its record; with --json its object follows it, also when an
    // error ended it.
    auto step = [&](RecordedOperation op, const std::function<void()>& body) {
        host.dialogs.clear();
        host.recordWarning.clear();
        OperationRecord record;
        try {
            RunRecorded(ctx, op, body, &record);
        } catch (...) {
            if (host.json)
                std::cout << OperationJson(record, host.dialogs, host.recordWarning) << '\n';
            throw;
        }
        if (host.json) std::cout << OperationJson(record, host.dialogs, host.recordWarning) << '\n';
    };
    int result = kFailed;
    try {
        step(RecordedOperation::DeviceFlow, [&] { BtnRescanClick(ctx); });
        if (ctx.BoardLink.deviceCount == 0) {
            result = kNoCable;
        } else if (!host.refusal.empty()) {
            std::cerr << "tq9ctl: " << host.refusal << '\n';
            result = kUsage;
        } else if (ctx.BoardLink.connected) {
            if (operation) step(recorded, [&] { operation(ctx); });
            result = host.failed || !ctx.BoardLink.connected ? kFailed : kDone;
        }
    } catch (const Tq9Error& error) {
        std::cerr << "tq9ctl: " << ErrorBoxText(error.what()) << '\n';
        result = kFailed;
    } catch (const Interrupted& interrupted) {
        host.ClearProgress();
        std::cerr << "tq9ctl: " << interrupted.what() << '\n';
    }
    if (ctx.BoardLink.connected) BtnCloseClick(ctx);
    ctx.BoardLink.device.reset();
    host.ClearProgress();
    host.ctx = nullptr;
    return interrupts > 0 ? kInterrupted : result;
}

// A test-port entry by number or by its text, as the window's list shows it.
std::optional<int> TestPortEntry(const std::string& text) {
    if (const auto number = ParseInt32(text)) {
        if (*number >= 0 && *number < static_cast<int>(kTestPortEntries.size())) return *number;
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kTestPortEntries.size(); ++i) {
        if (text == kTestPortEntries[i]) return static_cast<int>(i);
    }
    return std::nullopt;
}

// Why the upload file cannot be sent, before any cable is touched; empty when it can.
std::string UploadFileProblem(const std::string& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return "cannot read " + file;
    if (!std::ifstream(file, std::ios::binary)) return "cannot read " + file;
    const auto bytes = std::filesystem::file_size(file, error);
    if (error) return "cannot read " + file;
    if (bytes / 4 > kFileBufferWords) {
        return file + " holds " + std::to_string(bytes / 4) + " words, at most " +
               std::to_string(kFileBufferWords) + " fit";
    }
    return {};
}

// Why the firmware image cannot be programmed, before any cable is touched; empty when it
// can. The image is one of the window's list, found in the bench directory.
std::string FirmwareProblem(const std::string& image) {
    bool listed = false;
    std::string names;
    for (const char* entry : kFirmwareEntries) {
        if (entry[0] == '-') continue;  // the list's separator
        listed = listed || image == entry;
        names += std::string(names.empty() ? "" : ", ") + entry;
    }
    if (!listed) return "no firmware image " + image + " in the list (" + names + ")";
    if (!FileExistsNoCase(BenchDirectory(), image)) {
        return "missing firmware image " + image + " in " + BenchDirectory();
    }
    return {};
}

// A date the records can be filtered from: YYYY-MM-DD, optionally with a time as stored.
bool RecordDate(const std::string& text) {
    static const std::string shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != 10 && text.size() != 13 && text.size() != 16 && text.size() != 19 &&
        text.size() != 20) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                            : text[i] != shape[i])
            return false;
    }
    return true;
}

int Records(const std::vector<std::string>& args) {
    RecordFilter filter;
    filter.limit = 0;
    enum { Lines, Csv, Json } format = Lines;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--csv" || arg == "--json") {
            if (format != Lines) return Usage("records takes --csv or --json, not both");
            format = arg == "--csv" ? Csv : Json;
        } else if ((arg == "--serial" || arg == "--since") && i + 1 < args.size()) {
            const std::string& value = args[++i];
            if (arg == "--since" && !RecordDate(value)) {
                return Usage("--since takes a date as YYYY-MM-DD");
            }
            (arg == "--serial" ? filter.boardSerial : filter.since) = value;
        } else if (arg == "--serial" || arg == "--since") {
            return Usage(arg + " needs a value");
        } else {
            return Usage("unknown option " + arg);
        }
    }
    const std::string path = DefaultRecordsPath();
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(path, error)) {
        std::cerr << "tq9ctl: no board records yet" << (path.empty() ? "" : " (" + path + ")")
                  << '\n';
        return kFailed;
    }
    std::string whyNot;
    const auto store = RecordStore::Open(path, whyNot);
    if (!store) {
        std::cerr << "tq9ctl: the board records cannot be read: " << whyNot << '\n';
        return kFailed;
    }
    const auto rows = store->Find(filter, whyNot);
    if (!whyNot.empty()) {
        std::cerr << "tq9ctl: the board records cannot be read: " << whyNot << '\n';
        return kFailed;
    }
    if (format == Csv) {
        std::cout << RecordsAsCsv(rows);
    } else if (format == Json) {
        std::cout << RecordsAsJson(rows);
    } else {
        std::cout << "started\toperation\toutcome\tboard\tfirmware\tcable\treason\n";
        for (const OperationRecord& r : rows) {
            std::string reason = r.reason.substr(0, r.reason.find('\n'));
            std::cout << r.started << '\t' << r.operation << '\t' << r.outcome << '\t'
                      << r.boardSerial << '\t' << r.firmwareName
                      << (r.firmwareVersion.empty() ? "" : " " + r.firmwareVersion) << '\t'
                      << r.cableSerial << '\t' << reason << '\n';
        }
    }
    return kDone;
}

// The upload's file dialog, answered by the command line.
class UploadHost : public CtlHost {
  public:
    using CtlHost::CtlHost;
    bool OpenFileDialog(const FileDialogSettings&, std::string& fileName) override {
        fileName = file;
        return true;
    }
    std::string file;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command");
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsageText;
        return kDone;
    }
    if (args[0] == "--version") {
        std::cout << kVersion << '\n';
        return kDone;
    }
    if (args.size() > 1 && (args[1] == "--help" || args[1] == "-h")) {
        const std::string help = SubcommandHelp(args[0]);
        if (help.empty()) return Usage("unknown command " + args[0]);
        std::cout << help;
        return kDone;
    }
    if (args[0] == "records") return Records(args);
    UploadHost host(ScanCoreEntries());
    const std::string& command = args[0];
    std::function<void(AppContext&)> operation;
    RecordedOperation recorded = RecordedOperation::DeviceFlow;
    std::vector<std::string> positional;
    std::string core = "0";
    std::optional<std::string> firmware, diamex;
    bool avrOnly = false, yes = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            positional.push_back(arg);
            continue;
        }
        if (command == "program" && (arg == "--avr-only" || arg == "--yes")) {
            (arg == "--yes" ? yes : avrOnly) = true;
            continue;
        }
        if (arg == "--json" && command != "list") {
            host.json = true;
            continue;
        }
        if (i + 1 >= args.size()) return Usage(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--cable") {
            host.wantedSerial = value;
        } else if (arg == "--index") {
            const auto index = ParseInt32(value);
            if (!index || *index < 0) return Usage("--index takes a number from 0");
            host.wantedIndex = *index;
        } else if (arg == "--core" && command == "upload") {
            const auto number = ParseInt32(value);
            if (!number || *number < 0) return Usage("--core takes a number from 0");
            core = value;
        } else if (arg == "--firmware" && command == "program") {
            firmware = value;
        } else if (arg == "--diamex" && command == "program") {
            diamex = value;
        } else {
            return Usage("unknown option " + arg);
        }
    }
    const std::size_t wanted = command == "test-port" || command == "upload" ? 1 : 0;
    if (command == "list" && args.size() > 1) return Usage("list takes no options");
    if (positional.size() != wanted) {
        return Usage(command + (wanted ? " takes one argument" : " takes no argument"));
    }
    if (command == "list" || command == "identify") {
    } else if (command == "reset") {
        recorded = RecordedOperation::Reset;
        operation = [](AppContext& ctx) { BtnRefreshClick(ctx); };
    } else if (command == "fpga-update") {
        recorded = RecordedOperation::FpgaUpdate;
        operation = [](AppContext& ctx) { BtnFPGAprogClick(ctx); };
    } else if (command == "finalize") {
        recorded = RecordedOperation::Finalize;
        operation = [](AppContext& ctx) { BtnFinalizeClick(ctx); };
    } else if (command == "test-port") {
        recorded = RecordedOperation::TestPort;
        const auto entry = TestPortEntry(positional[0]);
        if (!entry) return Usage("no test-port entry " + positional[0] + " (0-7, or its text)");
        operation = [entry](AppContext& ctx) { ComboBox1Change(ctx, *entry); };
    } else if (command == "upload") {
        recorded = RecordedOperation::Upload;
        if (const std::string problem = UploadFileProblem(positional[0]); !problem.empty()) {
            return Usage(problem);
        }
        host.file = positional[0];
        operation = [core](AppContext& ctx) {
            ctx.host.SetFieldText(Field::EditCoreNumber, core);
            ButtonUpStreamClick(ctx);
        };
    } else if (command == "program") {
        if (!firmware || !diamex) return Usage("program needs --firmware IMAGE and --diamex PORT");
        if (const std::string problem = FirmwareProblem(*firmware); !problem.empty()) {
            return Usage(problem);
        }
        if (!IspPortValid(*diamex)) {
            return Usage("--diamex takes a port number, or a device path under /dev/");
        }
        if (!yes && !isatty(0)) {
            return Usage(
                "program waits for Enter at each operator dialog: run it on a terminal, "
                "or confirm them beforehand with --yes");
        }
        host.confirmDialogs = yes;
        recorded = avrOnly ? RecordedOperation::AvrOnly : RecordedOperation::ProductionRun;
        // Typed in before the operation starts, as the operator types them into the window,
        // so its record begins with them.
        host.SetFieldText(Field::dd_FirmwareType, *firmware);
        host.SetFieldText(Field::EditDiamex, *diamex);
        operation = [avrOnly](AppContext& ctx) {
            avrOnly ? BtnAVRonlyClick(ctx) : ProdProgClick(ctx);
        };
    } else {
        return Usage("unknown command " + command);
    }

    host.progress = isatty(2) != 0;
    CatchInterrupts();
    const auto library = D2xxLibrary::Load(BenchDirectory());
    if (!library->Loaded()) {
        std::cerr << library->FailureReason() << '\n';
        return kNoCable;
    }
    return command == "list" ? List(*library) : RunOnBoard(*library, host, recorded, operation);
}
