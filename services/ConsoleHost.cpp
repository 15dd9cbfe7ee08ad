#include "services/ConsoleHost.h"

#include <iostream>

namespace tq9 {

void ConsoleHost::PlaySoundFile(const std::string& fileName) {
    std::cout << "  (sound: " << fileName << ")\n";
}

void ConsoleHost::ConsoleLineAdded(const std::string& line) {
    // Reply lines keep their closing CR; a terminal would return the cursor on it.
    std::string shown = line;
    if (!shown.empty() && shown.back() == '\r') shown.pop_back();
    std::cout << shown << '\n';
}

void ConsoleHost::ConsoleReplaced(const std::vector<std::string>& lines) {
    std::cout << "---- console cleared ----\n";
    for (const auto& line : lines)
        ConsoleLineAdded(line);
}

void ConsoleHost::DeviceDialogAddRow(const std::string& caption, const std::string& serial,
                                     const std::string& description) {
    StdHost::DeviceDialogAddRow(caption, serial, description);
    std::cout << "  " << caption << " | " << serial << " | " << description << '\n';
}

}  // namespace tq9
