#pragma once
// A Host for console programs: console lines, dialogs, the device dialog's rows and sounds
// go to standard output as text; the device dialog takes its first row.

#include "services/StdHost.h"

namespace tq9 {

class ConsoleHost : public StdHost {
  public:
    using StdHost::StdHost;
    void PlaySoundFile(const std::string& fileName) override;
    void ConsoleLineAdded(const std::string& line) override;
    void ConsoleReplaced(const std::vector<std::string>& lines) override;
    void DeviceDialogAddRow(const std::string& caption, const std::string& serial,
                            const std::string& description) override;
};

}  // namespace tq9
