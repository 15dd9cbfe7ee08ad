#pragma once
// tq9ctl's host: the window's console on standard output (or, for scripts, collected for
// the operation's JSON object), its dialogs printed and, unless confirmed beforehand,
// answered with Enter, its device dialog and file dialog answered by the command line,
// progress on standard error when that is a terminal, and a Ctrl-C handed to the
// operation at its next look.

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ops/MainWindowOps.h"
#include "services/StdHost.h"

namespace tq9 {

// Thrown at the operation's next look after a second Ctrl-C, so that it unwinds as it
// does on an error: a running avrdude is ended, the record completed, the link closed.
struct Interrupted : std::runtime_error {
    Interrupted() : std::runtime_error("tq9ctl was ended by a second Ctrl-C") {}
};

class TerminalHost : public StdHost {
  public:
    using StdHost::StdHost;

    void ConsoleLineAdded(const std::string& line) override;
    // A cleared console shows nothing; new content shows as lines.
    void ConsoleReplaced(const std::vector<std::string>& lines) override;
    // Printed as the window would show it; waits for Enter unless confirmed beforehand.
    void ShowMessage(MessageKind kind, const std::string& text) override;
    // The waits' own message handling: where a Ctrl-C reaches the operation.
    void ProcessMessages() override { Deliver(); }
    void WaitForMessage(std::uint32_t limitMs) override;
    // The pauses of a reply wait: a second Ctrl-C ends it there, as it ends every wait.
    void SleepUs(std::uint32_t us) override;
    void SetProgressMax(int maximum) override;
    void SetProgressPosition(int position) override;
    void ReadinessPolled(int poll, int limit) override;
    // The flash run's output, which the window shows in a window of its own.
    void ProgramOutputStart(const std::string& commandLine) override;
    void ProgramOutputAdd(const std::string& text) override;
    void ProgramOutputEnd(int exitCode) override;
    void DeviceDialogClear() override { serials_.clear(); }
    void DeviceDialogAddRow(const std::string&, const std::string& serial,
                            const std::string&) override {
        serials_.push_back(serial);
    }
    // The row of the wanted cable; none (with `refusal` saying why) when it is not there.
    bool DeviceDialogShow(int& row) override;
    // The upload's file, given on the command line.
    bool OpenFileDialog(const FileDialogSettings&, std::string& fileName) override;

    // Hands a Ctrl-C to the operation as the window's Cancel, once (a running avrdude is
    // stopped as the window's Cancel stops it); after a second one, throws Interrupted.
    void Deliver();
    void ClearProgress();
    // Ready for the next operation: its dialogs and record warning start empty.
    void StartOperation();

    // What the command line asked for.
    std::optional<std::string> wantedSerial;
    int wantedIndex = 0;
    std::string uploadFile;
    bool confirmDialogs = true;
    bool json = false;          // one object per operation instead of the lines
    bool progress = false;      // progress lines on standard error (a terminal)
    AppContext* ctx = nullptr;  // the run's context, for a Ctrl-C's Cancel

    // What happened.
    std::string refusal;               // why the device dialog's question had no answer
    bool failed = false;               // an error line or a warning or error dialog was shown
    std::vector<std::string> dialogs;  // the running operation's, for its object
    std::string recordWarning;         // the running operation's "Record not saved" line

  private:
    std::vector<std::string> serials_;
    std::string outputTail_;  // the program output's last bytes, a character not yet whole
    bool cancelDelivered_ = false, stopDelivered_ = false;
    int uploadMax_ = 0;
    std::chrono::steady_clock::time_point uploadStart_, drawn_;
    bool progressShown_ = false;
};

}  // namespace tq9
