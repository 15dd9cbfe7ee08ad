#include "app/ConsoleHost.h"

#include <chrono>
#include <iostream>
#include <thread>

namespace tq9 {

std::uint32_t ConsoleHost::TickCount() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms);
}

void ConsoleHost::Sleep(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ConsoleHost::PlaySoundFile(const std::string& fileName) {
    std::cout << "  (sound: " << fileName << ")\n";
}

void ConsoleHost::ConsoleLineAdded(const std::string& line) {
    std::cout << line << '\n';
}

void ConsoleHost::ConsoleReplaced(const std::vector<std::string>& lines) {
    std::cout << "---- console cleared ----\n";
    for (const auto& line : lines)
        std::cout << line << '\n';
}

}  // namespace tq9
