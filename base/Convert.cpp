#include "base/Convert.h"

#include <charconv>
#include <cmath>

#include "base/Errors.h"

namespace tq9 {

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> ParseFloat(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    // from_chars would take "inf" and "nan"; a board never means those.
    for (const char c : text) {
        const bool allowed =
            (c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E' || c == '+';
        if (!allowed) return std::nullopt;
    }
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

ConvertError IntConvertError(const std::string& text) {
    return ConvertError("'" + text + "' ist kein g\u00fcltiger Integerwert");
}

std::int32_t StrToInt(const std::string& text) {
    if (const auto value = ParseInt32(text)) return *value;
    throw IntConvertError(text);
}

double StrToFloat(const std::string& text) {
    if (const auto value = ParseFloat(text)) return *value;
    throw ConvertError("'" + text + "' ist kein g\u00fcltiger Gleitkommawert");
}

std::int32_t StrToIntDef(const std::string& text, std::int32_t fallback) {
    return ParseInt32(text).value_or(fallback);
}

std::string FormatGeneral(double value) {
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    if (error != std::errc()) return "0";
    return std::string(buffer, end);
}

}  // namespace tq9
