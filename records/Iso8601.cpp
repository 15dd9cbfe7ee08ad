#include <cctype>
#include <chrono>
#include <ctime>

#include "records/RecordStore.h"

namespace tq9 {

std::string UtcNowIso8601() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
#if defined(_WIN32)
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool RecordDateValid(const std::string& text) {
    static const std::string shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != 10 && text.size() != 13 && text.size() != 16 && text.size() != 19 &&
        text.size() != 20) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                            : text[i] != shape[i])
            return false;
    }
    const auto number = [&](std::size_t at, std::size_t digits) {
        return std::stoi(text.substr(at, digits));
    };
    const std::chrono::year_month_day day{std::chrono::year(number(0, 4)),
                                          std::chrono::month(static_cast<unsigned>(number(5, 2))),
                                          std::chrono::day(static_cast<unsigned>(number(8, 2)))};
    if (!day.ok()) return false;
    if (text.size() >= 13 && number(11, 2) > 23) return false;
    if (text.size() >= 16 && number(14, 2) > 59) return false;
    return text.size() < 19 || number(17, 2) <= 59;
}

}  // namespace tq9
