#include "cli/TerminalHost.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "base/Utf8.h"
#include "cli/Output.h"
#include "cli/Terminal.h"
#include "records/Recorder.h"

namespace tq9 {

namespace {
// A dialog's text with its CRs as line breaks.
std::string DialogText(std::string text) {
    for (char& c : text) {
        if (c == '\r') c = '\n';
    }
    return text;
}
}  // namespace

void TerminalHost::ConsoleLineAdded(const std::string& line) {
    // Reply lines keep their closing CR; a terminal would return the cursor on it.
    std::string shown = line;
    if (!shown.empty() && shown.back() == '\r') shown.pop_back();
    if (shown.rfind("##### Error", 0) == 0) failed = true;
    if (shown.rfind(kRecordNotSaved, 0) == 0) recordWarning = shown;
    if (json) return;  // the operation's object carries its lines
    ClearProgress();
    // Each line as it happens, also into a file or a pipe (a station's log); what a board,
    // a file or avrdude's log put in it never drives the terminal.
    std::cout << Shown(shown) << '\n' << std::flush;
}

void TerminalHost::ConsoleReplaced(const std::vector<std::string>& lines) {
    for (const auto& line : lines)
        ConsoleLineAdded(line);
}

void TerminalHost::ShowMessage(MessageKind kind, const std::string& text) {
    if (kind != MessageKind::Information) failed = true;
    dialogs.push_back(DialogText(text));
    if (!json) {
        ClearProgress();
        std::cout << "[dialog] " << Shown(DialogText(text)) << '\n' << std::flush;
    }
    if (confirmDialogs) return;
    if (json) std::cerr << "[dialog] " << Shown(DialogText(text)) << '\n';
    std::cerr << "Press Enter to continue. " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::cin.clear();  // Ctrl-C (or the end of input) instead of Enter: a cancel
        if (Interrupts() == 0) CountInterrupt();
    }
    Deliver();
}

void TerminalHost::WaitForMessage(std::uint32_t limitMs) {
    // In short slices: a Ctrl-C pressed meanwhile is handed over at once, not at the end.
    constexpr std::uint32_t kSliceMs = 20;
    Deliver();
    const int pressesBefore = Interrupts();
    for (std::uint32_t waited = 0; waited < limitMs && Interrupts() == pressesBefore;
         waited += kSliceMs) {
        StdHost::WaitForMessage(std::min(kSliceMs, limitMs - waited));
    }
    Deliver();
}

void TerminalHost::SleepUs(std::uint32_t us) {
    if (Interrupts() > 1) Deliver();
    StdHost::SleepUs(us);
}

void TerminalHost::SetProgressMax(int maximum) {
    uploadMax_ = maximum;
    uploadStart_ = std::chrono::steady_clock::now();
}

void TerminalHost::SetProgressPosition(int position) {
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

void TerminalHost::ReadinessPolled(int poll, int limit) {
    if (!progress) return;
    std::cerr << "\r  waiting for the board: poll " << poll << " of " << limit << "\033[K"
              << std::flush;
    progressShown_ = true;
}

void TerminalHost::ClearProgress() {
    if (!progressShown_) return;
    std::cerr << "\r\033[K" << std::flush;
    progressShown_ = false;
}

void TerminalHost::Deliver() {
    if (Interrupts() == 0 || !ctx) return;
    if (Interrupts() > 1 && !stopDelivered_) {
        stopDelivered_ = true;
        ClearProgress();
        ctx->RequestStop();
        throw Interrupted();
    }
    if (cancelDelivered_) return;
    cancelDelivered_ = true;
    ClearProgress();
    ctx->BtnCancelClick();
}

void TerminalHost::ProgramOutputStart(const std::string& commandLine) {
    if (json) return;
    ClearProgress();
    std::cout << "----- " << Shown(commandLine) << '\n' << std::flush;
    outputTail_.clear();
}

void TerminalHost::ProgramOutputAdd(const std::string& text) {
    Deliver();
    if (json || text.empty()) return;
    ClearProgress();
    // A character split between two reads waits for its end, so it is not shown as two
    // broken ones.
    std::string output = outputTail_ + text;
    const std::size_t whole = Utf8WholeLength(output);
    outputTail_ = output.substr(whole);
    output.resize(whole);
    std::cout << ShownOutput(output) << std::flush;
}

void TerminalHost::ProgramOutputEnd(int exitCode) {
    if (json) return;
    std::cout << ShownOutput(outputTail_) << "\n----- avrdude exit code " << exitCode << '\n'
              << std::flush;
    outputTail_.clear();
}

bool TerminalHost::DeviceDialogShow(int& row) {
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

bool TerminalHost::OpenFileDialog(const FileDialogSettings&, std::string& fileName) {
    fileName = uploadFile;
    return !uploadFile.empty();
}

void TerminalHost::StartOperation() {
    dialogs.clear();
    recordWarning.clear();
}

}  // namespace tq9
