#pragma once
// A Host for a console program: real time, no window messages, console lines on stdout.

#include "ui/services/Host.h"

namespace tq9 {

class ConsoleHost : public Host {
  public:
    std::uint32_t TickCount() override;
    void Sleep(std::uint32_t ms) override;
    void ProcessMessages() override {}
    void WaitForMessage(std::uint32_t limitMs) override { Sleep(limitMs); }
    void PlaySoundFile(const std::string& fileName) override;
    void ShowBusyLed(Rgb) override {}
    void ConsoleLineAdded(const std::string& line) override;
    void ConsoleReplaced(const std::vector<std::string>& lines) override;
};

}  // namespace tq9
