#pragma once
// A host on virtual time for tests, on the do-nothing base: the tick counter, sleeps and
// message waits move the shared virtual clock; "window messages" are actions the test
// schedules (an operator's click at a given moment) and an optional repeating timer.
// Records what was shown, and answers the dialogs as the test says.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "services/StdHost.h"
#include "sim/Clock.h"

namespace tq9::sim {

class ScriptedHost : public StdHost {
  public:
    // tickAtZero: the counter's value at virtual time 0, to test waits across its wrap.
    explicit ScriptedHost(VirtualClock& clock, std::uint32_t tickAtZero = 0)
        : clock_(clock), tickAtZero_(tickAtZero) {}

    std::uint32_t TickCount() override;
    std::uint64_t MicroTicks() override {
        clock_.Spend(tickReadCostUs);
        return clock_.NowUs();
    }
    void Sleep(std::uint32_t ms) override { clock_.Advance(std::uint64_t(ms) * 1000); }
    void SleepUs(std::uint32_t us) override {
        clock_.Advance(us);
        ++shortSleeps;
    }
    void ProcessMessages() override;
    void WaitForMessage(std::uint32_t limitMs) override;
    void PlaySoundFile(const std::string& fileName) override { sounds.push_back(fileName); }
    void ShowBusyLed(Rgb colour) override { ledColours.push_back(colour); }
    void ConsoleLineAdded(const std::string&) override { ++consoleUpdates; }
    void ConsoleReplaced(const std::vector<std::string>&) override { ++consoleUpdates; }
    void SetFieldText(Field field, const std::string& text) override { fields[field] = text; }
    std::string FieldText(Field field) override { return fields[field]; }
    void SelectScanCore(int index) override { scanCoreIndex = index; }
    std::string ScanCoreText() override;
    void SetControlEnabled(Control control, bool enabled) override {
        this->enabled[control] = enabled;
    }
    void SetControlVisible(Control control, bool visible) override {
        this->visible[control] = visible;
    }
    // Records the dialog, runs `onMessage` (the operator reading it), then "clicks OK".
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void DeviceDialogClear() override { deviceRows.clear(); }
    void DeviceDialogAddRow(const std::string& caption, const std::string& serial,
                            const std::string& description) override {
        deviceRows.push_back({caption, serial, description});
    }
    void DeviceDialogSelectRow(int row) override { deviceRowSelected = row; }
    // Answers with `deviceDialogChoice`: a row for OK, or -1 for Cancel.
    bool DeviceDialogShow(int& row) override;
    // Answers with `fileChoice`; an empty choice cancels the dialog.
    bool OpenFileDialog(const FileDialogSettings& settings, std::string& fileName) override;
    void ProgramOutputStart(const std::string& commandLine) override {
        outputWindows.push_back({commandLine, "", false});
    }
    void ProgramOutputAdd(const std::string& text) override { outputWindows.back().text += text; }
    void ProgramOutputEnd(int) override { outputWindows.back().ended = true; }
    void SetProgressMax(int maximum) override { progressMax = maximum; }
    void SetProgressPosition(int position) override {
        clock_.Spend(progressCostUs);
        progressPosition = position;
        ++progressUpdates;
    }
    void ProcessOutputMessages() override { outputMessagesAtUs.push_back(clock_.NowUs()); }

    // Runs `action` as a window message once virtual time reaches atUs.
    void At(std::uint64_t atUs, std::function<void()> action);
    void AfterMs(std::uint32_t ms, std::function<void()> action);
    // A repeating timer message, coalesced like WM_TIMER: at most one pending at a time.
    void SetTimer(std::uint32_t intervalMs, std::function<void()> onTick);

    // What a tick-counter read costs, so tight polling loops move time on.
    std::uint64_t tickReadCostUs = 5;
    // What moving the progress bar costs (a slow window server).
    std::uint64_t progressCostUs = 0;

    struct Message {
        MessageKind kind;
        std::string text;
    };
    struct DeviceRow {
        std::string caption, serial, description;
        friend bool operator==(const DeviceRow&, const DeviceRow&) = default;
    };
    std::map<Field, std::string> fields;
    std::map<Control, bool> enabled;
    std::map<Control, bool> visible;
    std::vector<Message> messages;
    std::function<void(const Message&)> onMessage;
    std::vector<DeviceRow> deviceRows;
    int deviceRowSelected = -1;
    int deviceDialogChoice = 0;
    int deviceDialogShown = 0;
    struct OutputWindow {
        std::string commandLine, text;
        bool ended;
    };
    std::vector<OutputWindow> outputWindows;
    std::vector<FileDialogSettings> fileDialogs;
    std::string fileChoice;
    int progressMax = 0;
    int progressPosition = 0;
    int progressUpdates = 0;
    int scanCoreIndex = 1;
    std::vector<std::string> sounds;
    std::vector<Rgb> ledColours;
    int consoleUpdates = 0;
    int processCalls = 0;
    std::vector<std::uint64_t> outputMessagesAtUs;  // when the window painted, between words
    int shortSleeps = 0;
    int waitCalls = 0;

  private:
    std::uint64_t NextMessageUs() const;

    VirtualClock& clock_;
    std::uint32_t tickAtZero_;
    std::multimap<std::uint64_t, std::function<void()>> scheduled_;
    std::function<void()> onTick_;
    std::uint64_t timerIntervalUs_ = 0;
    std::uint64_t nextTickUs_ = 0;
};

}  // namespace tq9::sim
