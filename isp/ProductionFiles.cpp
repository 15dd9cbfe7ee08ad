#include "isp/ProductionFiles.h"

#include <algorithm>

namespace tq9 {

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void ReportMissingFile(Services& services, const std::string& fileName) {
    services.ConsoleAdd("##### Error: Missing file " + fileName);
}

}  // namespace tq9
