#pragma once
// The do-nothing Host, the base of every host but the window's: the standard library's
// steady clock and real sleeps, no window messages, displays that keep what they are given
// and show nothing, no sound. Dialogs: a message becomes a console line ("[dialog] ..."),
// the device dialog takes its first row, the file dialog is cancelled, program output is
// dropped. A new host (for a console program, a test) overrides what it shows or answers.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "services/Host.h"

namespace tq9 {

class StdHost : public Host {
  public:
    // The scan-core list's entries, which ScanCoreText names; none by default.
    explicit StdHost(std::vector<std::string> scanCoreEntries = {})
        : scanCoreEntries_(std::move(scanCoreEntries)) {}

    void ProcessMessages() override {}
    // There are no messages, so this is a plain sleep.
    void WaitForMessage(std::uint32_t limitMs) override { Sleep(limitMs); }
    void PlaySoundFile(const std::string&) override {}
    void ShowBusyLed(Rgb) override {}
    void ConsoleLineAdded(const std::string&) override {}
    void ConsoleReplaced(const std::vector<std::string>&) override {}
    void SetFieldText(Field field, const std::string& text) override { fields_[field] = text; }
    std::string FieldText(Field field) override { return fields_[field]; }
    void SelectScanCore(int index) override { scanCore_ = index; }
    std::string ScanCoreText() override;
    void SetControlEnabled(Control, bool) override {}
    void SetControlVisible(Control, bool) override {}
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void DeviceDialogClear() override { rows_ = 0; }
    void DeviceDialogAddRow(const std::string&, const std::string&, const std::string&) override {
        ++rows_;
    }
    void DeviceDialogSelectRow(int) override {}
    bool DeviceDialogShow(int& row) override {
        if (rows_ == 0) return false;
        row = 0;
        return true;
    }
    bool OpenFileDialog(const FileDialogSettings&, std::string&) override { return false; }
    void ProgramOutputStart(const std::string&) override {}
    void ProgramOutputAdd(const std::string&) override {}
    void ProgramOutputEnd(int) override {}
    void SetProgressMax(int) override {}
    void SetProgressPosition(int) override {}

  private:
    std::map<Field, std::string> fields_;
    std::vector<std::string> scanCoreEntries_;
    int scanCore_ = 1;
    int rows_ = 0;
};

}  // namespace tq9
