#pragma once
// A host on real time for the benches that reach a board over a real serial stack (a
// pseudo-terminal, the kernel's FTDI driver in a VM): what the standard host does, plus
// the dialogs it was shown and a file for the file dialog.

#include <string>
#include <utility>
#include <vector>

#include "services/StdHost.h"

namespace tq9::sim {

class LiveHost : public StdHost {
  public:
    using StdHost::StdHost;
    void ShowMessage(MessageKind kind, const std::string& text) override {
        messages.emplace_back(kind, text);
    }
    void DeviceDialogClear() override { rows_.clear(); }
    void DeviceDialogAddRow(const std::string&, const std::string& serial,
                            const std::string&) override {
        rows_.push_back(serial);
    }
    // The cable with wantedSerial, or the first one.
    bool DeviceDialogShow(int& row) override {
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (wantedSerial.empty() || rows_[i] == wantedSerial) {
                row = static_cast<int>(i);
                return true;
            }
        }
        return false;
    }
    bool OpenFileDialog(const FileDialogSettings&, std::string& fileName) override {
        if (nextFile.empty()) return false;
        fileName = nextFile;
        return true;
    }

    std::vector<std::pair<MessageKind, std::string>> messages;
    std::string nextFile;  // the file dialog's answer; empty: cancelled
    std::string wantedSerial;

  private:
    std::vector<std::string> rows_;
};

}  // namespace tq9::sim
