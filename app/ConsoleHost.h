#pragma once
// The console demo's Host: console lines and sounds go to stdout.

#include "ui/services/StdHost.h"

namespace tq9 {

class ConsoleHost : public StdHost {
  public:
    void PlaySoundFile(const std::string& fileName) override;
    void ConsoleLineAdded(const std::string& line) override;
    void ConsoleReplaced(const std::vector<std::string>& lines) override;
};

}  // namespace tq9
