#include "services/StdHost.h"

namespace tq9 {

void StdHost::ShowMessage(MessageKind, const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        if (c == '\r') c = '\n';
    }
    ConsoleLineAdded("[dialog] " + shown);
}

std::string StdHost::ScanCoreText() {
    const bool listed = scanCore_ >= 0 && scanCore_ < static_cast<int>(scanCoreEntries_.size());
    return listed ? scanCoreEntries_[static_cast<std::size_t>(scanCore_)] : std::string();
}

}  // namespace tq9
