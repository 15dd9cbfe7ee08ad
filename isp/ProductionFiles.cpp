#include "isp/ProductionFiles.h"

#include <algorithm>

namespace tq9 {

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool PortNumber(const std::string& text, std::string& number) {
    if (!AllDigits(text)) return false;
    const std::size_t first = std::min(text.find_first_not_of('0'), text.size() - 1);
    number = text.substr(first);
    return number.size() <= 3 && std::stoi(number) <= kMaxPortNumber;
}

void ReportMissingFile(Services& services, const std::string& fileName) {
    services.ConsoleAdd("##### Error: Missing file " + fileName);
}

}  // namespace tq9
